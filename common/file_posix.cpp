#include "common/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/utf16.h"

File::File(const std::wstring& path, Mode mode) {
  int flags = O_CLOEXEC | (mode == Mode::ReadWriteCreate ? O_RDWR | O_CREAT : O_RDONLY);
  int fd = ::open(ToUtf8(path).c_str(), flags, 0644);
  if (fd < 0) return;
  struct stat st{};
  // No sharing, as on Windows: a second holder (another thread, process or
  // program using flock) makes this open fail instead of interleaving.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
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

bool RemoveFile(const std::wstring& path) { return ::unlink(ToUtf8(path).c_str()) == 0; }
