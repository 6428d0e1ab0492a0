// The setup as a deployment tool runs it, silent, in Wine's user folders:
// install, upgrade over a running copy, uninstall with and without the settings.
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "common/scoped_win.h"
#include "res/resource.h"
#include "support/outside_program.h"

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Varnalis 1.4";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunName[] = L"Varnalis 1.4";

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring text;
  if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) text = path;
  CoTaskMemFree(path);
  return text;
}

const std::wstring& InstallDir() {
  static const std::wstring dir = KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\Varnalis";
  return dir;
}
std::wstring Installed(const std::wstring& name) { return InstallDir() + L"\\" + name; }
std::wstring Shortcut() { return KnownFolder(FOLDERID_Programs) + L"\\Varnalis 1.4.lnk"; }

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

// A string or number value, as text; "-" when missing.
std::wstring RegText(const wchar_t* key, const wchar_t* name) {
  wchar_t data[1024]{};
  DWORD size = sizeof data - sizeof(wchar_t), type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, data, &size) !=
      ERROR_SUCCESS) {
    return L"-";
  }
  if (type == REG_DWORD) {
    DWORD number = 0;
    std::memcpy(&number, data, sizeof number);
    return std::to_wstring(number);
  }
  return data;
}

bool KeyExists(const wchar_t* key) {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
  RegCloseKey(raw);
  return true;
}

// The program a shortcut starts.
std::wstring ShortcutTarget(const std::wstring& link) {
  IShellLinkW* shell = nullptr;
  std::wstring target;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell)))) {
    return target;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t path[MAX_PATH]{};
    if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) && SUCCEEDED(shell->GetPath(path, MAX_PATH, nullptr, 0))) {
      target = path;
    }
    file->Release();
  }
  shell->Release();
  return target;
}

HWND TrayWindow() { return FindWindowW(L"Static", L"Vrnwnd"); }

DWORD TrayProcessId() {
  DWORD id = 0;
  if (HWND tray = TrayWindow()) GetWindowThreadProcessId(tray, &id);
  return id;
}

std::wstring ProcessPath(DWORD id) {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  wchar_t path[MAX_PATH]{};
  DWORD size = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process.Get(), 0, path, &size)) return {};
  return path;
}

// The ids of the running programs of that file name.
std::vector<DWORD> Processes(const std::wstring& exeName) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  std::vector<DWORD> ids;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (Lower(entry.szExeFile) == exeName) ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

int CountProcesses(const std::wstring& exeName) { return static_cast<int>(Processes(exeName).size()); }

// Runs a setup or uninstaller and waits for it; its exit code.
DWORD Run(const std::wstring& program, const std::wstring& arguments) {
  ScopedHandle process = Start(program, arguments);
  EndAtExit guard{process.Get()};
  REQUIRE(WaitForSingleObject(process.Get(), 120000) == WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(process.Get(), &code);
  return code;
}

DWORD Uninstall(const std::wstring& arguments = L"") {
  // In place, so that the run waits until all is done.
  return Run(Installed(L"uninstall.exe"), L"/S " + arguments + (arguments.empty() ? L"" : L" ") +
                                              L"_?=" + InstallDir());
}

// Ends any copy still running and removes all a setup leaves, before and
// after the tests, however they end.
void RemoveEverything() {
  // By name: a copy a setup started may not have made its window yet.
  for (const wchar_t* name : {L"varnalis.exe", L"varnalis-cli.exe"}) {
    for (DWORD id : Processes(name)) {
      ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
      if (process && TerminateProcess(process.Get(), 1)) {
        CHECK_MESSAGE(WaitForSingleObject(process.Get(), 15000) == WAIT_OBJECT_0, "awaited: the end of a copy left running");
      }
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(InstallDir(), ignored);
  DeleteFileW(Shortcut().c_str());
  RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunName);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pellard Software\\Varnalis 1.4");
}

struct CleanSlate {
  CleanSlate() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RemoveEverything();
  }
  ~CleanSlate() {
    RemoveEverything();
    CoUninitialize();
  }
};

std::vector<std::wstring> FolderContents() {
  std::vector<std::wstring> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(InstallDir(), error)) {
    names.push_back(entry.path().filename().wstring());
  }
  return names;
}

std::wstring Joined(const std::vector<std::wstring>& names) {
  std::wstring text;
  for (const auto& name : names) text += (text.empty() ? L"" : L"|") + name;
  return text;
}

}  // namespace

TEST_CASE("a silent install, an upgrade over the running program, and an uninstall that keeps the settings") {
  std::wstring setup = FromEnvironment("VARNALIS_SETUP"), next = FromEnvironment("VARNALIS_SETUP_NEXT");
  std::wstring version = FromEnvironment("VARNALIS_VERSION"), nextVersion = FromEnvironment("VARNALIS_NEXT_VERSION");
  REQUIRE(!setup.empty());
  REQUIRE(!next.empty());
  CleanSlate clean;
  std::wstring program = Installed(L"varnalis.exe");

  CHECK(Run(setup, L"/S") == 0);
  CHECK(FileVersion(program) == version);
  CHECK(FileVersion(Installed(L"varnalis-cli.exe")) == version);
  CHECK(Lower(ShortcutTarget(Shortcut())) == Lower(program));
  CHECK(RegText(kRunKey, kRunName) == L"\"" + program + L"\" autorun");
  struct Row {
    const wchar_t* name;
    std::wstring value;
  };
  const Row entry[] = {
      {L"DisplayName", L"Varnalis 1.4"},
      {L"Publisher", L"Pellard Software"},
      {L"DisplayVersion", version},
      {L"DisplayIcon", program + L",0"},
      {L"UninstallString", L"\"" + Installed(L"uninstall.exe") + L"\""},
      {L"QuietUninstallString", L"\"" + Installed(L"uninstall.exe") + L"\" /S _?=" + InstallDir()},
      {L"InstallLocation", InstallDir()},
  };
  for (const Row& row : entry) {
    CAPTURE(row.name);
    CHECK(RegText(kUninstallKey, row.name) == row.value);
  }
  // Both programs, about 7 MB.
  CHECK(std::stoi(RegText(kUninstallKey, L"EstimatedSize")) > 4000);

  // A setting, set with the installed console program (which stores every
  // other one at its default), and a log from the installed program started
  // as the Start menu starts it.
  std::wstring cli = Installed(L"varnalis-cli.exe");
  CHECK(Run(cli, L"set Connection\\period 4321") == 0);
  CHECK(Run(cli, L"set Main\\HideSplash 1") == 0);
  CHECK(Run(cli, L"set Log\\ClearLog 0") == 0);  // a log kept from run to run
  ScopedHandle first = Start(ShortcutTarget(Shortcut()));
  EndAtExit guard{first.Get()};
  REQUIRE(WaitFor([] { return TrayWindow() != nullptr; }));
  DWORD firstId = TrayProcessId();
  CHECK(Lower(ProcessPath(firstId)) == Lower(program));
  CHECK(WaitFor([] { return ReadLog(Installed(L"log.txt")).find("application open.") != std::string::npos; }));

  // The user turned the start at sign-in off on the Options page: the upgrade keeps that.
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunName);
  CHECK(Run(next, L"/S") == 0);
  CHECK(WaitForSingleObject(first.Get(), 0) == WAIT_OBJECT_0);
  CHECK(FileVersion(program) == nextVersion);
  CHECK(RegText(kUninstallKey, L"DisplayVersion") == nextVersion);
  CHECK(RegText(kRunKey, kRunName) == L"-");
  REQUIRE(WaitFor([&] { return TrayProcessId() != 0 && TrayProcessId() != firstId; }));
  CHECK(Lower(ProcessPath(TrayProcessId())) == Lower(program));
  CHECK(CountProcesses(L"varnalis.exe") == 1);
  CHECK(StoredSetting(L"Connection\\period") == L"4321");
  DWORD firstCode = 99;
  GetExitCodeProcess(first.Get(), &firstCode);
  CHECK(firstCode == 0);  // it ended as its Exit command ends it
  std::string log;
  CHECK(WaitFor([&] {  // the old copy's last entry, kept
    log = ReadLog(Installed(L"log.txt"));
    return log.find("application close.") != std::string::npos;
  }));
  CAPTURE(log);
  CHECK(log.find("application open.") < log.find("application close."));

  // Uninstalled in place: the running copy ends, all but the log goes, the settings stay.
  CHECK(Uninstall() == 0);
  CHECK(TrayWindow() == nullptr);
  CHECK(CountProcesses(L"varnalis.exe") == 0);
  CHECK(WaitFor([] { return Joined(FolderContents()) == L"log.txt"; }, 5000));
  CHECK(GetFileAttributesW(Shortcut().c_str()) == INVALID_FILE_ATTRIBUTES);
  CHECK_FALSE(KeyExists(kUninstallKey));
  CHECK(RegText(kRunKey, kRunName) == L"-");
  CHECK(StoredSetting(L"Connection\\period") == L"4321");

  // Installed again over the log left behind, and removed with the settings.
  CHECK(Run(setup, L"/S /AUTORUN=no") == 0);
  CHECK(RegText(kRunKey, kRunName) == L"-");
  CHECK(Uninstall(L"/REMOVESETTINGS") == 0);
  CHECK(WaitFor([] { return GetFileAttributesW(InstallDir().c_str()) == INVALID_FILE_ATTRIBUTES; }, 5000));
  CHECK_FALSE(SettingsKeyExists());
  CHECK_FALSE(KeyExists(kUninstallKey));
}

TEST_CASE("a setup that cannot do its work says so in its exit code and changes nothing") {
  std::wstring setup = FromEnvironment("VARNALIS_SETUP"), next = FromEnvironment("VARNALIS_SETUP_NEXT");
  REQUIRE(!setup.empty());
  CleanSlate clean;
  CHECK(Run(setup, L"/S /AUTORUN=maybe") == 2);
  CHECK_FALSE(KeyExists(kUninstallKey));
  CHECK(GetFileAttributesW(InstallDir().c_str()) == INVALID_FILE_ATTRIBUTES);

  // A console monitor still running keeps its file: the upgrade stops before
  // replacing anything, and starts again the tray program it closed.
  REQUIRE(Run(setup, L"/S") == 0);
  std::wstring version = FileVersion(Installed(L"varnalis.exe"));
  ScopedHandle first = Start(Installed(L"varnalis.exe"));
  EndAtExit guard{first.Get()};
  REQUIRE(WaitFor([] { return TrayWindow() != nullptr; }));
  {
    ScopedHandle inUse(CreateFileW(Installed(L"varnalis-cli.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    REQUIRE(inUse);
    CHECK(Run(next, L"/S") == 2);
  }
  CHECK(WaitForSingleObject(first.Get(), 0) == WAIT_OBJECT_0);
  CHECK(WaitFor([] { return TrayWindow() != nullptr; }));
  CHECK(FileVersion(Installed(L"varnalis.exe")) == version);
  CHECK(RegText(kUninstallKey, L"DisplayVersion") == version);
}
