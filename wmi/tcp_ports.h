#pragma once
// How many TCP connections are established to given local ports, and
// whether anything listens on them (IPv4 and IPv6 together).
#include <cstdint>
#include <string>
#include <vector>

struct TcpPortCount {
  uint16_t port = 0;
  bool listening = false;
  uint64_t established = 0;
};

// From the kernel's socket diagnostics (NETLINK_SOCK_DIAG), which filters by
// state and port itself: only the ports' sockets are copied out, and each
// other socket costs the kernel one comparison. False when the interface is
// missing or refuses the request; the caller then reads the tables.
bool CountTcpPortsByDiag(const std::vector<uint16_t>& ports, std::vector<TcpPortCount>& counts);

// The same counts from the texts of /proc/net/tcp and /proc/net/tcp6.
std::vector<TcpPortCount> CountTcpPortsInTables(const std::vector<std::string>& tables,
                                                const std::vector<uint16_t>& ports);
