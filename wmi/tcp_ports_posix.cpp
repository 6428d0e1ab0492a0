#include "wmi/tcp_ports.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "common/descriptor_posix.h"
#include "wmi/linux_proc.h"

namespace {

// One dump of the TCP sockets in the states, with the local port given (or
// any, 0); each socket's local port and state go to seen. The kernel matches
// the port itself as it walks, which costs next to nothing per socket, where
// a filter program costs several memory reads each. The older request form is
// used on purpose: the kernel then walks its connection table once for IPv4
// and IPv6 together, where the newer one walks it once per family. False on
// any failure.
template <class Seen>
bool Dump(int fd, uint32_t states, uint16_t port, Seen seen) {
  struct {
    nlmsghdr header;
    inet_diag_req request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = TCPDIAG_GETSOCK;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.header.nlmsg_seq = 1;
  message.request.idiag_family = AF_INET;
  message.request.idiag_states = states;
  message.request.id.idiag_sport = htons(port);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
      static_cast<ssize_t>(sizeof message))
    return false;

  alignas(nlmsghdr) char buffer[32768];
  for (;;) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    const size_t received = static_cast<size_t>(n);
    for (size_t at = 0; at + NLMSG_HDRLEN <= received;) {
      const auto* h = reinterpret_cast<const nlmsghdr*>(buffer + at);
      if (h->nlmsg_len < NLMSG_HDRLEN || h->nlmsg_len > received - at) return false;
      if (h->nlmsg_type == NLMSG_DONE) return true;
      if (h->nlmsg_type != TCPDIAG_GETSOCK || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return false;
      const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
      seen(ntohs(socket->id.idiag_sport), socket->idiag_state);
      at += NLMSG_ALIGN(h->nlmsg_len);
    }
  }
}

}  // namespace

bool CountTcpPortsByDiag(const std::vector<uint16_t>& ports, std::vector<TcpPortCount>& counts) {
  counts.clear();
  for (uint16_t port : ports) counts.push_back({port});
  if (ports.empty()) return true;
  Descriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!fd.IsOpen()) return false;
  // Listeners first: that walk is short, and the walk over every connection
  // is needed only for ports something listens on, once for each.
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
  if (!Dump(fd.Get(), 1u << TCP_LISTEN, 0, count)) return false;
  for (uint16_t port : std::vector<uint16_t>(listened)) {  // a copy: count may add to listened
    if (!Dump(fd.Get(), 1u << TCP_ESTABLISHED, port, count)) return false;
  }
  return true;
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
