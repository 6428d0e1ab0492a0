#include "common/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/utf16.h"

namespace {

// A descriptor for a regular file held without sharing, or -1. Anything else
// the name may lead to (a device, a FIFO, a socket, a folder) is refused
// without being read or written, and the open never waits on it. held tells
// a file another holder has from any other failure.
int OpenRegular(const std::string& path, int flags, bool* held = nullptr) {
  struct stat st{};
  // Looked at before opening too: opening a device can act by itself.
  if (::stat(path.c_str(), &st) == 0 ? !S_ISREG(st.st_mode) : (errno != ENOENT || (flags & O_CREAT) == 0)) {
    return -1;
  }
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return -1;
  // What was opened decides: the name may have changed since. No sharing, as
  // on Windows: a second holder (another thread, process or program using
  // flock) makes this open fail instead of interleaving.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (held != nullptr) *held = errno == EWOULDBLOCK;
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool File::Open(const std::wstring& path, Mode mode) {
  bool held = false;
  int fd = OpenRegular(ToUtf8(path), mode == Mode::ReadWriteCreate ? O_RDWR | O_CREAT : O_RDONLY, &held);
  if (fd >= 0) handle_ = fd;
  return held;
}

void File::Close() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

int64_t File::Length() const {
  struct stat st{};
  if (!IsOpen() || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return st.st_size;
}

int64_t File::ReadAt(int64_t offset, void* buffer, size_t size) const {
  if (!IsOpen()) return -1;
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(handle_), buffer, size, offset);
  } while (n < 0 && errno == EINTR);
  return n;
}

bool File::WriteAt(int64_t offset, const void* data, size_t size) {
  if (!IsOpen()) return false;
  auto p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::pwrite(static_cast<int>(handle_), p, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool File::SetLength(int64_t length) {
  return IsOpen() && ::ftruncate(static_cast<int>(handle_), length) == 0;
}

bool RemoveFile(const std::wstring& path) {
  std::string name = ToUtf8(path);
  int fd = OpenRegular(name, O_RDONLY);
  if (fd < 0) return false;
  // Held while the name goes, and only while the name still leads to it.
  struct stat held{}, named{};
  bool removed = ::fstat(fd, &held) == 0 && ::stat(name.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                 held.st_ino == named.st_ino && ::unlink(name.c_str()) == 0;
  ::close(fd);
  return removed;
}
