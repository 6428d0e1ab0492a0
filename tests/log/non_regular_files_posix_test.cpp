#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "log/non_regular_files.h"
#include "support/temp_dir.h"

namespace {

// The node's type and inode as lstat sees them; 0 when it is gone.
std::pair<mode_t, ino_t> Identity(const std::string& path) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return {0, 0};
  return {st.st_mode & S_IFMT, st.st_ino};
}

SpecialNode Made(std::string what, const std::filesystem::path& path, bool made) {
  std::string name = path.string();
  auto identity = Identity(name);
  bool ok = made && identity.first != 0;
  return {.what = std::move(what), .path = path.wstring(),
          .intact = [name, identity, ok] { return ok && Identity(name) == identity; }};
}

}  // namespace

// Every node lives in the test's folder: nothing outside it is ever at stake.
std::vector<SpecialNode> MakeSpecialNodes(const TempDir& dir) {
  std::vector<SpecialNode> nodes;
  auto fifo = dir.Path() / "fifo";
  nodes.push_back(Made("FIFO", fifo, ::mkfifo(fifo.c_str(), 0600) == 0));
  std::string fifoName = fifo.string();
  nodes.back().release = [fifoName] {
    int fd = ::open(fifoName.c_str(), O_WRONLY | O_NONBLOCK);  // a waiting reader gets its end of file
    if (fd >= 0) ::close(fd);
  };

  auto socketPath = dir.Path() / "socket";
  auto fd = std::shared_ptr<int>(new int(::socket(AF_UNIX, SOCK_STREAM, 0)), [](int* s) {
    if (*s >= 0) ::close(*s);
    delete s;
  });
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  bool bound = *fd >= 0 && ::bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  nodes.push_back(Made("socket", socketPath, bound));
  nodes.back().keep = fd;

  auto folder = dir.Path() / "folder";
  nodes.push_back(Made("folder", folder, ::mkdir(folder.c_str(), 0700) == 0));

  // A node of the null device in our folder; making one needs root.
  auto device = dir.Path() / "null-device";
  if (::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) nodes.push_back(Made("device", device, true));
  return nodes;
}
