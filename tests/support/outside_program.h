#pragma once
// Driving an installed or built Windows program from outside, as a user's
// automation would: starting it, waiting on it, and the user's settings key.
#include <windows.h>

#include <string>

#include "common/scoped_win.h"

// A path from the test's environment; a Linux one as Wine shows it (drive Z).
std::wstring FromEnvironment(const char* name);

// The program with its arguments; the test fails when it cannot start.
ScopedHandle Start(const std::wstring& program, const std::wstring& arguments = L"");

// Ends the program if a failed check leaves it running.
struct EndAtExit {
  HANDLE process;
  ~EndAtExit() {
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
  }
};

template <class Condition>
bool WaitFor(Condition condition, DWORD ms = 60000) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

// One value of the user's settings key, named "Group\name", as the program stores it.
void StoreSetting(const std::wstring& name, const std::wstring& value);
std::wstring StoredSetting(const std::wstring& name);
bool SettingsKeyExists();

// The settings key the tests write, removed again however a test ends, so no
// later test finds what one of these stored.
struct SettingsKeyRemoved {
  ~SettingsKeyRemoved();
};

// A log file's entries, read once the program writing it lets go of it; the
// ones these tests look for are ASCII. Empty when there is no file.
std::string ReadLog(const std::wstring& path);

// "1.4.2": the first three parts of a program's file version; empty without one.
std::wstring FileVersion(const std::wstring& program);
