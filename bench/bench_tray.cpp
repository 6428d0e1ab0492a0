// The tray program's start and its memory: time from process start to the
// tray window being there (the icon is added right after), and the resident
// memory idle with the main dialog closed and open. Run under Wine it prints
// Wine's figures, for the record.
//   bench_tray PATH-TO-varnalis.exe
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

double WorkingSetMb(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return -1;
  return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

template <class Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    Sleep(5);
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_tray PATH-TO-varnalis.exe\n");
    return 2;
  }
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  auto start = std::chrono::steady_clock::now();
  if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "cannot start the program\n");
    return 1;
  }
  HWND tray = nullptr;
  bool up = WaitFor([&] { return (tray = FindWindowW(L"Static", L"Vrnwnd")) != nullptr; });
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!up) {
    std::fprintf(stderr, "no tray window within 10 s (is another copy running?)\n");
    TerminateProcess(process.hProcess, 1);
    return 1;
  }
  std::printf("start to tray window: %.0f ms\n", ms);
  Sleep(3000);  // a few passes
  std::printf("resident memory, dialog closed: %.1f MB\n", WorkingSetMb(process.hProcess));
  PostMessageW(tray, WM_COMMAND, 32773, 0);  // Open
  Sleep(2000);
  std::printf("resident memory, dialog open:   %.1f MB\n", WorkingSetMb(process.hProcess));
  PostMessageW(tray, WM_COMMAND, 32772, 0);  // Exit
  WaitForSingleObject(process.hProcess, 20000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
