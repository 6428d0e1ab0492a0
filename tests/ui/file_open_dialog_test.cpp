#include "ui/file_open_dialog.h"

#include <windows.h>
#include <objbase.h>
#include <doctest/doctest.h>

#include <string>

#include "res/resource.h"
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

TEST_CASE("Browse on either page asks on a thread of its own, modal to the dialog; OK stores the chosen name, Cancel keeps it") {
  wchar_t system[MAX_PATH]{}, folder[MAX_PATH]{};
  GetSystemDirectoryW(system, MAX_PATH);
  GetCurrentDirectoryW(MAX_PATH, folder);
  const std::wstring chosen = std::wstring(system) + L"\\notepad.exe";
  struct Row {
    int page, channel, browse, field;
    const wchar_t* setting;
  };
  for (const Row& row : {Row{4, -1, IDC_LOG_BROWSE, IDC_LOG_FILE, L"Log\\Filename"},
                         Row{1, 2, IDC_BROWSE, IDC_RUN_FILE, L"Notifications\\CustomFile"}}) {
    CAPTURE(row.page);
    PageFixture f(row.page);
    f.Show();
    if (row.channel >= 0) SelectOnly(f.Item(IDC_CHANNEL_LIST), row.channel);
    // OK first: its name stored shows the page is done with the dialog before the next click.
    for (int button : {IDOK, IDCANCEL}) {
      CAPTURE(button);
      // The page waits for the dialog in a loop of its own: ask for it without waiting.
      PostMessageW(f.Item(row.browse), BM_CLICK, 0, 0);
      HWND open = nullptr;
      REQUIRE(WaitFor([&] {
        open = FindWindowW(L"#32770", L"Open");
        return open != nullptr && IsWindowVisible(open) && GetWindow(open, GW_OWNER) == f.dialog->Window();
      }, 20000));
      CHECK(GetWindowThreadProcessId(open, nullptr) != GetWindowThreadProcessId(f.page, nullptr));
      CHECK_FALSE(IsWindowEnabled(f.dialog->Window()));
      if (button == IDOK) SetDlgItemTextW(open, 0x47C /* the file name box */, chosen.c_str());
      PostMessageW(open, WM_COMMAND, button, 0);
      CHECK(WaitFor([&] { return !IsWindow(open); }));
      CHECK(WaitFor([&] { return f.Stored(row.setting) == chosen; }));
      CHECK(Text(f.Item(row.field)) == chosen);
      CHECK(WaitFor([&] { return IsWindowEnabled(f.dialog->Window()) != FALSE; }));
      wchar_t now[MAX_PATH]{};
      GetCurrentDirectoryW(MAX_PATH, now);
      CHECK(std::wstring(now) == folder);
    }
  }
}
