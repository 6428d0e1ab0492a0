#include "smtp/cancel_event.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "smtp/socket_internal.h"

namespace Smtp {

// A pipe that nobody reads: once a byte is in it, its read end stays readable,
// so every later poll on it ends at once.

CancelEvent::~CancelEvent() {
  if (native_ != -1) ::close(static_cast<int>(native_));
  if (writeEnd_ != -1) ::close(static_cast<int>(writeEnd_));
}

uint32_t CancelEvent::Create() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return ErrnoResult(errno);
  if (native_ != -1) ::close(static_cast<int>(native_));
  if (writeEnd_ != -1) ::close(static_cast<int>(writeEnd_));
  native_ = ends[0];
  writeEnd_ = ends[1];
  return 0;
}

bool CancelEvent::IsValid() const { return native_ != -1; }

uint32_t CancelEvent::Set() {
  if (writeEnd_ == -1) return 1;
  const char byte = 1;
  ssize_t n;
  do {
    n = ::write(static_cast<int>(writeEnd_), &byte, 1);
  } while (n < 0 && errno == EINTR);
  // A full pipe is a raised signal already.
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return ErrnoResult(errno);
  return 0;
}

bool CancelEvent::IsSet() const {
  if (native_ == -1) return false;
  pollfd p{static_cast<int>(native_), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

}  // namespace Smtp
