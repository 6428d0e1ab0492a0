#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/product.h"
#include "common/utf16.h"
#include "settings/reg_file_format.h"
#include "settings/registry_file.h"

namespace {

std::wstring ErrnoText(int err) {
  std::wstring text;
  if (!FromUtf8(std::strerror(err), text)) text = L"error " + std::to_wstring(err);
  return text;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // False, with errno set, when the last write-back failed.
  bool Close() {
    int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

enum class ReadResult { Ok, Missing, Failed };

// At most one byte more than a hive may hold, so the parser sees a file that
// is too large without this reading all of it.
ReadResult ReadHiveFile(const std::string& path, std::string& bytes, std::wstring& why) {
  // Non-blocking, so that a FIFO put in the file's place cannot hang the program.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.IsOpen()) {
    if (errno == ENOENT || errno == ENOTDIR) return ReadResult::Missing;  // no such file, or no such folder
    why = ErrnoText(errno);
    return ReadResult::Failed;
  }
  struct stat st{};
  if (::fstat(fd.Get(), &st) != 0) {
    why = ErrnoText(errno);
    return ReadResult::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    why = S_ISDIR(st.st_mode) ? ErrnoText(EISDIR) : L"not a regular file";
    return ReadResult::Failed;
  }
  char buffer[65536];
  while (bytes.size() <= RegFileHive::kMaxFileBytes) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = ErrnoText(errno);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return ReadResult::Ok;
}

// Creates the missing folders of path, readable by the owner alone.
bool MakeFolders(const std::string& folder, std::wstring& why) {
  for (size_t end = 1; end <= folder.size(); ++end) {
    if (end < folder.size() && folder[end] != '/') continue;
    std::string part = folder.substr(0, end);
    struct stat st{};
    int err;
    if (::stat(part.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      err = ENOTDIR;
    } else if (errno != ENOENT) {
      err = errno;
    } else if (::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) {
      continue;
    } else {
      err = errno;
    }
    std::wstring name;
    FromUtf8(part, name);
    why = L"cannot create folder " + name + L": " + ErrnoText(err);
    return false;
  }
  return true;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Replaces the file as a whole: a crash or a full disk leaves either the old
// file or the new one, never a mix.
bool ReplaceFile(const std::string& path, std::string_view bytes, std::wstring& why) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (!MakeFolders(folder, why)) return false;
  std::string temp = path + ".XXXXXX";
  Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.IsOpen()) {
    why = ErrnoText(errno);
    return false;
  }
  // It holds passwords.
  bool ok = ::fchmod(fd.Get(), 0600) == 0 && WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0 && fd.Close() &&
            ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    why = ErrnoText(errno);
    fd.Close();
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself is durable only once the folder is.
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.IsOpen() || (::fsync(dir.Get()) != 0 && errno != EINVAL)) {
    why = ErrnoText(errno);
    return false;
  }
  return true;
}

bool FitsInFile(std::wstring_view text) { return text.find_first_of(std::wstring_view(L"\0\r\n", 3)) == text.npos; }

class FileRegistryStore final : public RegistryStore {
 public:
  explicit FileRegistryStore(std::wstring path) : path_(std::move(path)) {}

  bool Open(std::wstring& error) override {
    if (Usable()) return true;
    error = loadError_;
    return false;
  }

  std::optional<std::string> Read(const std::wstring& key, const std::wstring& name) override {
    if (!Usable()) return std::nullopt;
    const RegFileValue* value = hive_.Find(HiveKey(key), name);
    if (!value) return std::nullopt;
    return value->data;
  }

  bool Write(const std::wstring& key, const std::wstring& name, RegType type, std::string_view bytes) override {
    // A line break or NUL in a name would make a file that reads back differently.
    if (!Usable() || !FitsInFile(key) || !FitsInFile(name)) return false;
    std::wstring hiveKey = HiveKey(key);
    const RegFileValue* old = hive_.Find(hiveKey, name);
    if (old && old->type == static_cast<uint32_t>(type) && old->data == bytes) return true;
    hive_.Set(hiveKey, name, static_cast<uint32_t>(type), bytes);
    changed_ = true;
    return true;
  }

  bool Delete(const std::wstring& key, const std::wstring& name) override {
    if (!Usable() || !hive_.Remove(HiveKey(key), name)) return false;
    changed_ = true;
    return true;
  }

  bool Commit(std::wstring& error) override {
    // A file that could not be read is left exactly as the user has it.
    if (!Usable()) {
      error = loadError_;
      return false;
    }
    if (!changed_) return true;
    std::wstring why;
    if (!ReplaceFile(ToUtf8(path_), hive_.Serialize(), why)) {
      error = L"Cannot save the settings to " + path_ + L": " + why;
      return false;
    }
    changed_ = false;
    return true;
  }

  std::wstring Location() const override { return path_; }

 private:
  static std::wstring HiveKey(const std::wstring& key) {
    return key.empty() ? L"HKEY_CURRENT_USER" : L"HKEY_CURRENT_USER\\" + key;
  }

  // Reads the file the first time only.
  bool Usable() {
    if (state_ == State::Unread) {
      std::string bytes;
      std::wstring why;
      switch (ReadHiveFile(ToUtf8(path_), bytes, why)) {
        case ReadResult::Missing:
          state_ = State::Ready;
          break;
        case ReadResult::Ok:
          state_ = hive_.Parse(bytes, why) ? State::Ready : State::Broken;
          break;
        case ReadResult::Failed:
          state_ = State::Broken;
          break;
      }
      if (state_ == State::Broken) loadError_ = L"Cannot use the settings file " + path_ + L": " + why;
    }
    return state_ == State::Ready;
  }

  enum class State { Unread, Ready, Broken };

  std::wstring path_;
  State state_ = State::Unread;
  std::wstring loadError_;
  RegFileHive hive_;
  bool changed_ = false;
};

std::wstring FromEnvironment(const char* name) {
  std::wstring value;
  const char* text = std::getenv(name);
  if (!text || !FromUtf8(text, value)) return {};
  return value;
}

std::wstring HomeFolder() {
  std::wstring home = FromEnvironment("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) FromUtf8(pw->pw_dir, home);
  return home;
}

}  // namespace

std::unique_ptr<RegistryStore> OpenRegistryFile(const std::wstring& path) {
  return std::make_unique<FileRegistryStore>(path);
}

std::wstring UserSettingsFilePath() {
  std::wstring base = FromEnvironment("XDG_CONFIG_HOME");
  // A relative XDG_CONFIG_HOME is invalid and is to be ignored.
  if (base.empty() || base[0] != L'/') base = HomeFolder() + L"/.config";
  while (base.size() > 1 && base.back() == L'/') base.pop_back();
  return base + L"/" + kCompanyName + L"/" + kProductName + L"/settings.reg";
}

std::unique_ptr<RegistryStore> OpenUserRegistry() { return OpenRegistryFile(UserSettingsFilePath()); }
