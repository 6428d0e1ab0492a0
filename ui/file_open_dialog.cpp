#include "ui/file_open_dialog.h"

#include <cderr.h>
#include <commdlg.h>
#include <objbase.h>

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "common/scoped_win.h"

namespace {

constexpr DWORD kLongestPath = 32768;
// How often a quit that came meanwhile asks the work's windows to close again.
constexpr DWORD kQuitRetryMs = 50;

BOOL CALLBACK CloseWindowOf(HWND window, LPARAM) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

void RunInSingleThreadedApartment(const std::function<void()>& work) {
  ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return;
  std::atomic<DWORD> threadId{0};
  std::thread thread;
  try {
    thread = std::thread([&work, &threadId, finished = done.Get()] {
      threadId = GetCurrentThreadId();
      HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
      work();
      if (SUCCEEDED(com)) CoUninitialize();
      SetEvent(finished);
    });
  } catch (const std::system_error&) {
    return;
  }
  // Windows of the work's thread send to the caller's (its owner is disabled
  // and enabled again, activation moves), so the caller must keep answering.
  bool quit = false;
  WPARAM quitCode = 0;
  HANDLE finished = done.Get();
  for (;;) {
    DWORD woke = MsgWaitForMultipleObjects(1, &finished, FALSE, quit ? kQuitRetryMs : INFINITE, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1 && woke != WAIT_TIMEOUT) break;
    if (quit) EnumThreadWindows(threadId, CloseWindowOf, 0);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  thread.join();
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

std::optional<std::wstring> AskFileToOpen(HWND owner, const std::wstring& current, const wchar_t* defaultExtension) {
  // The owner is disabled only once the dialog is up: a second click before
  // then is handled by the wait below and must not open a second dialog.
  static thread_local bool asking = false;
  if (asking) return std::nullopt;
  asking = true;
  std::optional<std::wstring> chosen;
  RunInSingleThreadedApartment([&] {
    std::vector<wchar_t> name(kLongestPath, L'\0');
    if (current.size() < name.size()) current.copy(name.data(), current.size());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = defaultExtension;
    // The process's current folder stays the program's, where a relative log name points.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    BOOL ok = GetOpenFileNameW(&dialog);
    if (!ok && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
      // A name the dialog refuses to start with must not keep it from opening.
      name[0] = L'\0';
      ok = GetOpenFileNameW(&dialog);
    }
    if (ok) chosen = std::wstring(name.data());
  });
  asking = false;
  return chosen;
}
