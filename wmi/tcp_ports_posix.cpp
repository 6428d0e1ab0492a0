#include "wmi/tcp_ports.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "wmi/linux_proc.h"

namespace {

struct Descriptor {
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

// Filter bytecode that accepts a socket whose local port is one of ports, built
// as the kernel's audit wants it: per port "port >= p and port <= p", whose
// failures go on to the next port (or past the end: rejected) and whose
// success jumps to the end (accepted); every op lies on the chain of "yes"
// steps, which the audit follows.
std::vector<inet_diag_bc_op> PortFilter(const std::vector<uint16_t>& ports) {
  constexpr unsigned short kOp = sizeof(inet_diag_bc_op);
  constexpr unsigned short kBlock = 4 * kOp;
  std::vector<inet_diag_bc_op> code;
  for (size_t i = 0; i < ports.size(); ++i) {
    code.push_back({INET_DIAG_BC_S_GE, 2 * kOp, kBlock + kOp});
    code.push_back({0, 0, ports[i]});
    code.push_back({INET_DIAG_BC_S_LE, 2 * kOp, 2 * kOp + kOp});
    code.push_back({0, 0, ports[i]});
    if (size_t after = ports.size() - 1 - i; after > 0) {
      const unsigned short rest = static_cast<unsigned short>(after * (kBlock + kOp) - kOp);
      code.push_back({INET_DIAG_BC_JMP, kOp, static_cast<unsigned short>(rest + kOp)});
    }
  }
  return code;
}

// One dump of the TCP sockets in the states, through the filter; each
// socket's local port and state go to seen. The older request form is used
// on purpose: the kernel then walks its connection table once for IPv4 and
// IPv6 together, where the newer one walks it once per family. False on any
// failure.
template <class Seen>
bool Dump(int fd, uint32_t states, const std::vector<inet_diag_bc_op>& filter, Seen seen) {
  const size_t filterBytes = filter.size() * sizeof(inet_diag_bc_op);
  struct {
    nlmsghdr header;
    inet_diag_req request;
  } head{};
  nlattr attribute{};
  attribute.nla_type = INET_DIAG_REQ_BYTECODE;
  attribute.nla_len = static_cast<uint16_t>(NLA_HDRLEN + filterBytes);
  head.header.nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(sizeof head.request) + NLA_ALIGN(attribute.nla_len));
  head.header.nlmsg_type = TCPDIAG_GETSOCK;
  head.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  head.header.nlmsg_seq = 1;
  head.request.idiag_family = AF_INET;
  head.request.idiag_states = states;

  std::vector<char> message(head.header.nlmsg_len, 0);
  std::memcpy(message.data(), &head, sizeof head);
  std::memcpy(message.data() + NLMSG_LENGTH(sizeof head.request), &attribute, sizeof attribute);
  std::memcpy(message.data() + NLMSG_LENGTH(sizeof head.request) + NLA_HDRLEN, filter.data(), filterBytes);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
      static_cast<ssize_t>(message.size()))
    return false;

  alignas(nlmsghdr) char buffer[32768];
  for (;;) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    int left = static_cast<int>(n);
    for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
      if (h->nlmsg_type == NLMSG_DONE) return true;
      if (h->nlmsg_type != TCPDIAG_GETSOCK || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return false;
      const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
      seen(ntohs(socket->id.idiag_sport), socket->idiag_state);
    }
  }
}

}  // namespace

bool CountTcpPortsByDiag(const std::vector<uint16_t>& ports, std::vector<TcpPortCount>& counts) {
  counts.clear();
  for (uint16_t port : ports) counts.push_back({port});
  if (ports.empty()) return true;
  Descriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (fd.fd < 0) return false;
  // Listeners first: that walk is short, and the walk over every connection
  // is needed only for ports something listens on.
  std::vector<uint16_t> listened;
  auto count = [&counts, &listened](uint16_t port, uint8_t state) {
    for (TcpPortCount& c : counts) {
      if (c.port != port) continue;
      if (state == TCP_LISTEN && !c.listening) {
        c.listening = true;
        listened.push_back(port);
      }
      if (state == TCP_ESTABLISHED) ++c.established;
    }
  };
  if (!Dump(fd.fd, 1u << TCP_LISTEN, PortFilter(ports), count)) return false;
  return listened.empty() || Dump(fd.fd, 1u << TCP_ESTABLISHED, PortFilter(listened), count);
}

std::vector<TcpPortCount> CountTcpPortsInTables(const std::vector<std::string>& tables,
                                                const std::vector<uint16_t>& ports) {
  std::vector<TcpPortCount> counts;
  for (uint16_t port : ports) counts.push_back({port});
  for (const std::string& table : tables) {
    for (const TcpSocket& s : ParseProcNetTcp(table)) {
      for (TcpPortCount& c : counts) {
        if (c.port != s.localPort) continue;
        if (s.state == kTcpListen) c.listening = true;
        if (s.state == kTcpEstablished) ++c.established;
      }
    }
  }
  return counts;
}
