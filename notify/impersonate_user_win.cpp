#include "notify/impersonate_user.h"

#include <windows.h>

ImpersonateUser::~ImpersonateUser() {
  if (token_ != nullptr) {
    RevertToSelf();
    CloseHandle(token_);
  }
}

uint32_t ImpersonateUser::Logon(const std::wstring& user, const std::wstring& password) {
  if (token_ != nullptr) return 0;
  LogonAccount account = SplitLogonUser(user);
  HANDLE token = nullptr;
  if (!LogonUserW(account.name.c_str(), account.domain.c_str(), password.c_str(), LOGON32_LOGON_INTERACTIVE,
                  LOGON32_PROVIDER_DEFAULT, &token)) {
    return GetLastError();
  }
  if (!ImpersonateLoggedOnUser(token)) {
    DWORD error = GetLastError();
    CloseHandle(token);
    return error;
  }
  token_ = token;
  return 0;
}
