#include <doctest/doctest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "notify/shell_launcher.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

TEST_CASE("the shell's answer comes back as the system's code; a failed logon opens nothing") {
  TempDir dir;
  fs::path doc = dir.Path() / "report.nosuchtype";
  WriteBytes(doc, "text");
  struct Case {
    const char* what;
    std::wstring file;
    bool auth;
    uint32_t result;  // 0: the mark appears
  };
  const Case cases[] = {
      {"a program", L"cmd.exe", false, 0},
      {"an unknown account", L"cmd.exe", true, 0xFFFFFFFF},  // any logon failure
      {"a missing file", (dir.Path() / "missing.exe").wstring(), false, ERROR_FILE_NOT_FOUND},
      {"no program for the type", doc.wstring(), false, ERROR_NO_ASSOCIATION},
  };
  int n = 0;
  for (const Case& c : cases) {
    CAPTURE(c.what);
    // A mark of its own: a program started late by an earlier case must not count here.
    fs::path mark = dir.Path() / ("ran" + std::to_string(++n) + ".txt");
    CustomNotifySettings custom;
    custom.CustomFile.Set(c.file);
    custom.CustomArg.Set(L"/c echo ran>\"" + mark.wstring() + L"\"");
    custom.CustomAuth = c.auth;
    custom.CustomUser.Set(L"NOSUCHDOMAIN\\nobody");
    custom.CustomPassword.Set(L"wrong");
    uint32_t result = ShellLauncher().Open(custom);
    CHECK((c.result == 0xFFFFFFFF ? result != 0 : result == c.result));
    for (int i = 0; i < 100 && c.result == 0 && !fs::exists(mark); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CHECK(fs::exists(mark) == (c.result == 0));
  }
}
