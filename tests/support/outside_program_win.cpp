#include "support/outside_program.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <vector>

#include "common/utf16.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Pellard Software\\Varnalis 1.4\\";

}  // namespace

std::wstring FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  std::wstring text;
  if (value == nullptr || !FromUtf8(value, text)) return {};
  if (!text.empty() && text[0] == L'/') {
    for (wchar_t& c : text) c = c == L'/' ? L'\\' : c;
    text = L"Z:" + text;
  }
  return text;
}

ScopedHandle Start(const std::wstring& program, const std::wstring& arguments) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  REQUIRE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &process));
  CloseHandle(process.hThread);
  return ScopedHandle(process.hProcess);
}

void StoreSetting(const std::wstring& name, const std::wstring& value) {
  size_t slash = name.find(L'\\');
  HKEY raw = nullptr;
  REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, (kSettingsKey + name.substr(0, slash)).c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &raw, nullptr) == ERROR_SUCCESS);
  ScopedRegKey key(raw);
  std::string bytes = EncodeUtf16Le(value);
  REQUIRE(RegSetValueExW(key.Get(), name.substr(slash + 1).c_str(), 0, REG_BINARY,
                         reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())) ==
          ERROR_SUCCESS);
}

std::wstring StoredSetting(const std::wstring& name) {
  size_t slash = name.find(L'\\');
  std::wstring key = kSettingsKey + name.substr(0, slash), value = name.substr(slash + 1);
  BYTE data[512]{};
  DWORD size = sizeof data - 2;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), value.c_str(), RRF_RT_ANY, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return DecodeUtf16Le(std::string(reinterpret_cast<char*>(data), size));
}

bool SettingsKeyExists() {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Pellard Software\\Varnalis 1.4", 0, KEY_READ, &raw) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(raw);
  return true;
}

SettingsKeyRemoved::~SettingsKeyRemoved() {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Pellard Software\\Varnalis 1.4");
}

std::string ReadLog(const std::wstring& path) {
  ScopedHandle file;
  DWORD error = 0;
  // The program holds its log open, unshared, while it writes an entry.
  bool opened = WaitFor([&] {
    file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr));
    error = file ? 0 : GetLastError();
    return error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION;
  });
  CHECK_MESSAGE(opened, "awaited: the log file free of the program that writes it");
  std::string bytes, ascii;
  char buffer[65536];
  DWORD got = 0;
  while (file && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  for (size_t i = 0; i < bytes.size(); i += 2) ascii += bytes[i];
  return ascii;
}

std::wstring FileVersion(const std::wstring& program) {
  DWORD size = GetFileVersionInfoSizeW(program.c_str(), nullptr);
  if (size == 0) return {};
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(program.c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr) {
    return {};
  }
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) +
         L"." + std::to_wstring(HIWORD(info->dwFileVersionLS));
}
