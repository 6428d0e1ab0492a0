#include "notify/impersonate_user.h"

#include <cerrno>

// A set*id switch would change every thread of the monitor, not just the
// notifying one, so there is nothing to hold or revert.
ImpersonateUser::~ImpersonateUser() = default;

uint32_t ImpersonateUser::Logon(const std::wstring&, const std::wstring&) { return ENOTSUP; }
