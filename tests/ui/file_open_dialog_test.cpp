#include "ui/file_open_dialog.h"

#include <windows.h>
#include <objbase.h>
#include <doctest/doctest.h>

#include <optional>

#include "tests/ui/ui_fixture.h"

TEST_CASE("work for a single-threaded apartment runs on a thread of its own; the caller answers meanwhile") {
  HostWindow host;
  DWORD workThread = 0;
  HRESULT multithreaded = S_OK;
  RunInSingleThreadedApartment([&] {
    workThread = GetCurrentThreadId();
    multithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(multithreaded)) CoUninitialize();
    // Sent to the caller's window: it returns only while the caller handles messages.
    SendMessageW(host.Get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"answered"));
  });
  CHECK(workThread != GetCurrentThreadId());
  CHECK(multithreaded == RPC_E_CHANGED_MODE);  // the thread is in a single-threaded apartment
  CHECK(Text(host.Get()) == L"answered");

  // A quit meanwhile (Exit from the tray) closes the work's window and is kept for the caller's loop.
  DWORD caller = GetCurrentThreadId();
  RunInSingleThreadedApartment([caller] {
    HostWindow window;
    PostThreadMessageW(caller, WM_QUIT, 7, 0);
    MSG msg;
    while (IsWindow(window.Get()) && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  });
  MSG quit{};
  CHECK(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  CHECK(quit.wParam == 7);
}
