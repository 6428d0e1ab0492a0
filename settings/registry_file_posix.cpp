#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "common/descriptor_posix.h"
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

// At most one byte more than a hive may hold, so the parser sees a file that
// is too large without this reading all of it.
bool ReadOpenFile(int fd, std::string& bytes, std::wstring& why) {
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    why = ErrnoText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    why = S_ISDIR(st.st_mode) ? ErrnoText(EISDIR) : L"not a regular file";
    return false;
  }
  bytes.clear();
  char buffer[65536];
  while (bytes.size() <= RegFileHive::kMaxFileBytes) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = ErrnoText(errno);
      return false;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
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

// The settings file, opened (created empty when missing) and locked. Saves
// replace the file by renaming a new one over it, so a lock won on a file
// that has just been replaced is given up and taken again on the new one.
bool LockSettingsFile(const std::string& path, Descriptor& locked, std::wstring& why) {
  if (!MakeFolders(FolderOf(path), why)) return false;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    // Non-blocking, so that a FIFO put in the file's place cannot hang the program.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
    struct stat opened{}, named{};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &opened) != 0) {
      why = ErrnoText(errno);
      return false;
    }
    if (!S_ISREG(opened.st_mode)) {
      why = S_ISDIR(opened.st_mode) ? ErrnoText(EISDIR) : L"not a regular file";
      return false;
    }
    int rc;
    while ((rc = ::flock(fd.Get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
      why = ErrnoText(errno);
      return false;
    }
    if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
      locked.Reset(fd.Release());
      return true;
    }
  }
  why = L"the file keeps being replaced";
  return false;
}

// A save killed between writing its new file and renaming it leaves that
// file behind, passwords and all. Only a lock holder writes one, so any found
// while the lock is held is stale.
constexpr char kTempMark[] = ".new-";
constexpr char kTempTail[] = "XXXXXX";

void RemoveStaleTempFiles(const std::string& path) {
  std::string folder = FolderOf(path);
  std::string prefix = path.substr(path.rfind('/') + 1) + kTempMark;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + sizeof kTempTail - 1 && name.substr(0, prefix.size()) == prefix)
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
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
  std::string folder = FolderOf(path);
  std::string temp = path + kTempMark + kTempTail;
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

// The hive as this program sees it: the file as last read, with the changes
// not yet committed laid over it. Each look at the file (Open, BeginUpdate)
// lays the pending changes over the fresh contents again, so a commit writes
// them over whatever other programs stored meanwhile.
class FileRegistryStore final : public RegistryStore {
 public:
  explicit FileRegistryStore(std::wstring path) : path_(std::move(path)), file_(ToUtf8(path_)) {}

  bool Open(std::wstring& error) override {
    std::string bytes;
    std::wstring why;
    Descriptor fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen() && (errno == ENOENT || errno == ENOTDIR)) {  // no such file, or no such folder
      Take("", why);
    } else if (!fd.IsOpen()) {
      Broken(ErrnoText(errno));
    } else if (!ReadOpenFile(fd.Get(), bytes, why)) {
      Broken(why);
    } else {
      Take(bytes, why);
    }
    error = loadError_;
    return state_ == State::Ready;
  }

  bool BeginUpdate(std::wstring& error) override {
    lock_.Close();
    std::string bytes;
    std::wstring why;
    if (!LockSettingsFile(file_, lock_, why)) {
      error = L"Cannot save the settings to " + path_ + L": " + why;
      return false;
    }
    if (!ReadOpenFile(lock_.Get(), bytes, why)) {
      Broken(why);
    } else {
      Take(bytes, why);
    }
    if (state_ == State::Ready) return true;
    lock_.Close();
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
    Change change{hiveKey, name, false, static_cast<uint32_t>(type), std::string(bytes)};
    Apply(change, hive_);
    pending_.push_back(std::move(change));
    return true;
  }

  bool Delete(const std::wstring& key, const std::wstring& name) override {
    if (!Usable()) return false;
    Change change{HiveKey(key), name, true, 0, {}};
    if (!Apply(change, hive_)) return false;
    pending_.push_back(std::move(change));
    return true;
  }

  bool Commit(std::wstring& error) override {
    bool ok = CommitLocked(error);
    lock_.Close();
    return ok;
  }

  std::wstring Location() const override { return path_; }

 private:
  struct Change {
    std::wstring key;
    std::wstring name;
    bool remove;
    uint32_t type;
    std::string data;
  };

  static std::wstring HiveKey(const std::wstring& key) {
    return key.empty() ? L"HKEY_CURRENT_USER" : L"HKEY_CURRENT_USER\\" + key;
  }

  static bool Apply(const Change& change, RegFileHive& hive) {
    if (change.remove) return hive.Remove(change.key, change.name);
    hive.Set(change.key, change.name, change.type, change.data);
    return true;
  }

  // A file that could not be read is left exactly as the user has it.
  bool CommitLocked(std::wstring& error) {
    if (pending_.empty()) {
      if (state_ != State::Broken) return true;
      error = loadError_;
      return false;
    }
    if (!lock_.IsOpen() && !BeginUpdate(error)) return false;
    std::string bytes = hive_.Serialize();
    std::wstring why;
    if (bytes.size() > RegFileHive::kMaxFileBytes) {
      why = L"the settings would take more than 16 MiB";
    } else {
      RemoveStaleTempFiles(file_);
      if (ReplaceFile(file_, bytes, why)) {
        pending_.clear();
        return true;
      }
    }
    error = L"Cannot save the settings to " + path_ + L": " + why;
    return false;
  }

  // Takes the file's bytes as the new view, the pending changes laid over it.
  void Take(std::string_view bytes, std::wstring& why) {
    RegFileHive fresh;
    if (!fresh.Parse(bytes, why)) {
      Broken(why);
      return;
    }
    for (const Change& change : pending_) Apply(change, fresh);
    hive_ = std::move(fresh);
    state_ = State::Ready;
    loadError_.clear();
  }

  void Broken(const std::wstring& why) {
    state_ = State::Broken;
    loadError_ = L"Cannot use the settings file " + path_ + L": " + why;
  }

  // Reads the file the first time only.
  bool Usable() {
    std::wstring ignored;
    if (state_ == State::Unread) Open(ignored);
    return state_ == State::Ready;
  }

  enum class State { Unread, Ready, Broken };

  std::wstring path_;
  std::string file_;
  State state_ = State::Unread;
  std::wstring loadError_;
  RegFileHive hive_;
  std::vector<Change> pending_;  // in the order they were made
  Descriptor lock_{-1};          // the locked settings file, between BeginUpdate and Commit
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
