#include "support/tcp_listener.h"

bool TcpPeer::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    long n = SendSome(bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool TcpPeer::ReceiveUntil(const std::string& marker, std::string& got) {
  got.clear();
  for (;;) {
    if (size_t at = buffer_.find(marker); at != std::string::npos) {
      got = buffer_.substr(0, at + marker.size());
      buffer_.erase(0, at + marker.size());
      return true;
    }
    char chunk[16384];
    long n = ReceiveSome(chunk, sizeof chunk);
    if (n <= 0) {
      got = buffer_;
      return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}
