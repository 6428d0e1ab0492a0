#include "notify/impersonate_user.h"

#include <windows.h>

#include "common/scoped_win.h"

namespace {

// The failing call's code; never 0, which would pass for success and let
// the program run under our own account.
uint32_t FailureCode(DWORD fallback) {
  DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

}  // namespace

ImpersonateUser::~ImpersonateUser() {
  if (token_ != nullptr) {
    RevertToSelf();
    CloseHandle(token_);
  }
}

uint32_t ImpersonateUser::Logon(const std::wstring& user, const std::wstring& password) {
  if (token_ != nullptr) return 0;
  LogonAccount account = SplitLogonUser(user);
  ScopedHandle token;
  if (!LogonUserW(account.name.c_str(), account.domain.c_str(), password.c_str(), LOGON32_LOGON_INTERACTIVE,
                  LOGON32_PROVIDER_DEFAULT, token.Out())) {
    return FailureCode(ERROR_LOGON_FAILURE);
  }
  if (!ImpersonateLoggedOnUser(token.Get())) return FailureCode(ERROR_CANNOT_IMPERSONATE);
  token_ = token.Release();
  return 0;
}
