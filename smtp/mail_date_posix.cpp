#include "smtp/mail_date.h"

#include <ctime>

namespace Smtp {

// The C library knows the zone's rules (TZ, /etc/localtime); tm_gmtoff is its offset at that moment.
std::string MailDateNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return FormatMailDate(now, 0);
  return FormatMailDate(now, static_cast<int>(local.tm_gmtoff / 60));
}

}  // namespace Smtp
