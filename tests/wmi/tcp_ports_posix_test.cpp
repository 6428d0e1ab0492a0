#include <doctest/doctest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <iterator>
#include <string>
#include <vector>

#include "wmi/tcp_ports.h"

namespace {

struct Fd {
  explicit Fd(int fd) : fd(fd) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  int fd;
};

// A loopback listener of the family on a port the system picks.
uint16_t Listen(Fd& fd, int family) {
  sockaddr_storage address{};
  socklen_t length;
  if (family == AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(&address);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof(sockaddr_in);
  } else {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
    in6->sin6_family = AF_INET6;
    in6->sin6_addr = in6addr_loopback;
    length = sizeof(sockaddr_in6);
  }
  REQUIRE(::bind(fd.fd, reinterpret_cast<sockaddr*>(&address), length) == 0);
  REQUIRE(::listen(fd.fd, 16) == 0);
  REQUIRE(::getsockname(fd.fd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
  return ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                 : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
}

std::vector<std::string> Tables() {
  std::vector<std::string> tables;
  for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(path);
    if (in) tables.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return tables;
}

}  // namespace

TEST_CASE("the kernel's socket diagnostics count what the TCP tables count, port by port") {
  Fd v4(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), v6(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const uint16_t port4 = Listen(v4, AF_INET);
  const bool ipv6 = v6.fd >= 0;
  const uint16_t port6 = ipv6 ? Listen(v6, AF_INET6) : 0;
  Fd unused(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const uint16_t idle = Listen(unused, AF_INET);
  ::close(unused.fd);  // a port nothing listens on any more
  unused.fd = -1;

  // Three connections to the IPv4 listener, one to the IPv6 one: counted at the listener's end.
  std::vector<std::unique_ptr<Fd>> ends;
  auto connect = [&](int family, uint16_t port) {
    auto& client = *ends.emplace_back(std::make_unique<Fd>(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)));
    sockaddr_storage to{};
    socklen_t length;
    if (family == AF_INET) {
      auto* in = reinterpret_cast<sockaddr_in*>(&to);
      *in = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
      length = sizeof(sockaddr_in);
    } else {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&to);
      in6->sin6_family = AF_INET6;
      in6->sin6_port = htons(port);
      in6->sin6_addr = in6addr_loopback;
      length = sizeof(sockaddr_in6);
    }
    REQUIRE(::connect(client.fd, reinterpret_cast<sockaddr*>(&to), length) == 0);
    ends.push_back(std::make_unique<Fd>(::accept(family == AF_INET ? v4.fd : v6.fd, nullptr, nullptr)));
  };
  for (int i = 0; i < 3; ++i) connect(AF_INET, port4);
  if (ipv6) connect(AF_INET6, port6);

  const std::vector<uint16_t> ports = {port4, port6, idle};
  std::vector<TcpPortCount> byDiag;
  REQUIRE(CountTcpPortsByDiag(ports, byDiag));
  std::vector<TcpPortCount> byTables = CountTcpPortsInTables(Tables(), ports);
  const struct {
    bool listening;
    uint64_t established;
  } expected[] = {{true, 3}, {ipv6, ipv6 ? 1u : 0u}, {false, 0}};
  REQUIRE(byDiag.size() == 3);
  REQUIRE(byTables.size() == 3);
  for (size_t i = 0; i < 3; ++i) {
    CAPTURE(ports[i]);
    CHECK(byDiag[i].port == ports[i]);
    CHECK(byDiag[i].listening == expected[i].listening);
    CHECK(byDiag[i].established == expected[i].established);
    CHECK(byTables[i].listening == byDiag[i].listening);
    CHECK(byTables[i].established == byDiag[i].established);
  }
}
