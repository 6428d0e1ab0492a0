#include "notify/shell_launcher.h"

#include <windows.h>
#include <shellapi.h>

#include "notify/impersonate_user.h"
#include "settings/settings.h"

ShellLauncher::~ShellLauncher() = default;

void ShellLauncher::Open(const CustomNotifySettings& custom) {
  // Covers only the opening: the thread is itself again when it returns.
  ImpersonateUser impersonation;
  if (custom.CustomAuth) impersonation.Logon(custom.CustomUser.Get(), custom.CustomPassword.Get());
  std::wstring file = custom.CustomFile.Get();
  std::wstring args = custom.CustomArg.Get();
  ShellExecuteW(nullptr, L"open", file.c_str(), args.c_str(), L"", SW_SHOWDEFAULT);
}

size_t ShellLauncher::ReapFinished() { return 0; }
