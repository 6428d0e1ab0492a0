#include "smtp/client.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Smtp {

std::string LocalDnsName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return {};
  std::string name = host;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) == 0) {
    // The short host name is still a better greeting than none.
    if (found != nullptr && found->ai_canonname != nullptr && found->ai_canonname[0] != '\0') {
      name = found->ai_canonname;
    }
    freeaddrinfo(found);
  }
  return name;
}

}  // namespace Smtp
