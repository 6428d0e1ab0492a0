#pragma once
// Runs the calling thread under another account from a successful Logon
// until the object is destroyed.
#include <cstdint>
#include <string>

// The account part of a logon user text: "domain/name", "domain\name" or a
// bare name (empty domain). The first slash decides; without one, the first
// backslash.
struct LogonAccount {
  std::wstring domain;
  std::wstring name;
};

inline LogonAccount SplitLogonUser(const std::wstring& user) {
  size_t at = user.find(L'/');
  if (at == std::wstring::npos) at = user.find(L'\\');
  if (at == std::wstring::npos) return {L"", user};
  return {user.substr(0, at), user.substr(at + 1)};
}

class ImpersonateUser {
 public:
  ImpersonateUser() = default;
  // Reverts the thread to its own account and closes the token, if held.
  virtual ~ImpersonateUser();
  ImpersonateUser(const ImpersonateUser&) = delete;
  ImpersonateUser& operator=(const ImpersonateUser&) = delete;

  // 0 when the thread now runs under the account (or already did), else the
  // system's error code; no token is kept after a failure. On Linux there is
  // no per-thread account switch: ENOTSUP and nothing changes.
  uint32_t Logon(const std::wstring& user, const std::wstring& password);

 private:
  [[maybe_unused]] void* token_ = nullptr;  // the logon token's handle; none on Linux
};
