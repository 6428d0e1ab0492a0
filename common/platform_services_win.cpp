#include "common/platform_services.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cwchar>

#include "common/scoped_win.h"

namespace {

std::wstring StepFailure(const wchar_t* step, uint32_t code) {
  wchar_t number[16];
  std::swprintf(number, 16, L"%X", static_cast<unsigned>(code));
  std::wstring text = std::wstring(step) + L" failed. Error " + number;
  if (std::wstring words = SystemErrorText(code); !words.empty()) text += L": " + words;
  return text;
}

std::wstring SystemModulePath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length) + L"\\" + name;
}

// Codes that are not in the system's table but in a module's own: WMI's
// WBEM_E_* and WinHTTP's.
std::wstring MessagesModulePath(uint32_t code) {
  if ((code & 0xFFFF0000u) == 0x80040000u) return SystemModulePath(L"wbem\\wmiutils.dll");
  if (code >= 12000 && code <= 12190) return SystemModulePath(L"winhttp.dll");
  return {};
}

}  // namespace

PlatformServices::~PlatformServices() {
  if (socketsUp_) WSACleanup();
  if (comUp_) CoUninitialize();
}

bool PlatformServices::Start() {
  if (comUp_) return true;
  failure_.clear();
  // S_FALSE means this thread already had COM from someone else, whose
  // apartment and security this program would not control.
  if (HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED); hr != S_OK) {
    // Even S_FALSE took a reference that must be given back.
    if (SUCCEEDED(hr)) CoUninitialize();
    failure_ = StepFailure(L"CoInitializeEx", static_cast<uint32_t>(hr));
    return false;
  }
  if (HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
      hr != S_OK) {
    CoUninitialize();
    failure_ = StepFailure(L"CoInitializeSecurity", static_cast<uint32_t>(hr));
    return false;
  }
  WSADATA wsa{};
  if (int error = WSAStartup(MAKEWORD(2, 2), &wsa); error != 0) {
    CoUninitialize();
    failure_ = StepFailure(L"WSAStartup", static_cast<uint32_t>(error));
    return false;
  }
  if (wsa.wVersion != MAKEWORD(2, 2)) {
    WSACleanup();
    CoUninitialize();
    failure_ = L"WSAStartup failed. Version " + std::to_wstring(LOBYTE(wsa.wVersion)) + L"." +
               std::to_wstring(HIBYTE(wsa.wVersion)) + L" instead of 2.2";
    return false;
  }
  comUp_ = true;
  socketsUp_ = true;
  return true;
}

std::wstring SystemErrorText(uint32_t code) {
  constexpr DWORD kSize = 260;
  wchar_t buffer[kSize];
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  // Loaded only to read its messages.
  std::wstring path = MessagesModulePath(code);
  ScopedModule module(path.empty() ? nullptr : LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  DWORD length = FormatMessageW(flags, module.Get(), code, 0, buffer, kSize, nullptr);
  while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' || buffer[length - 1] == L' ' ||
                        buffer[length - 1] == L'\t'))
    --length;
  return std::wstring(buffer, length);
}
