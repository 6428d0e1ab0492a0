#include "notify/shell_launcher.h"

#include <windows.h>
#include <shellapi.h>

#include "notify/impersonate_user.h"
#include "settings/settings.h"

namespace {

// ShellExecuteW's own result codes as the system's error codes.
uint32_t ShellErrorCode(INT_PTR result) {
  switch (result) {
    case 0:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_SHARE:
      return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
      return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
      return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
      return ERROR_DLL_NOT_FOUND;
    default:
      return static_cast<uint32_t>(result);  // file or path not found, access denied, bad format: the same codes
  }
}

}  // namespace

ShellLauncher::~ShellLauncher() = default;

uint32_t ShellLauncher::Open(const CustomNotifySettings& custom) {
  // Covers only the opening: the thread is itself again when it returns.
  ImpersonateUser impersonation;
  if (custom.CustomAuth) {
    if (uint32_t code = impersonation.Logon(custom.CustomUser.Get(), custom.CustomPassword.Get()); code != 0) {
      return code;
    }
  }
  std::wstring file = custom.CustomFile.Get();
  std::wstring args = custom.CustomArg.Get();
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", file.c_str(), args.c_str(), L"",
                                                        SW_SHOWDEFAULT));
  return result > 32 ? 0 : ShellErrorCode(result);
}

size_t ShellLauncher::ReapFinished() { return 0; }
