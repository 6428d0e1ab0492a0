#include "settings/registry_file.h"

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <doctest/doctest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/utf16.h"
#include "settings/reg_file_format.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kKey = L"Software\\Pellard Software\\Varnalis 1.4\\Connection";
const std::wstring kHiveKey = L"HKEY_CURRENT_USER\\" + kKey;

struct stat Stat(const fs::path& path) {
  struct stat st{};
  REQUIRE(::stat(path.c_str(), &st) == 0);
  return st;
}

unsigned Mode(const fs::path& path) { return Stat(path).st_mode & 07777; }

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

bool Commit(RegistryStore& store) {
  std::wstring error;
  bool ok = store.Commit(error);
  INFO(ToUtf8(error));
  CHECK(ok);
  return ok;
}

// An environment variable changed for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Put(value);
  }
  ~ScopedEnv() { Put(old_ ? old_->c_str() : nullptr); }

 private:
  void Put(const char* value) { value ? ::setenv(name_, value, 1) : ::unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST_CASE("A missing file is an empty hive; bad names are refused; the first change makes owner-only folders and file") {
  TempDir dir;
  fs::path file = dir.Path() / "Pellard Software" / "Varnalis 1.4" / "settings.reg";
  auto store = OpenRegistryFile(file.wstring());
  std::wstring error;
  CHECK(store->Open(error));
  // Names the file cannot carry are refused.
  CHECK_FALSE(store->Write(kKey, L"two\nlines", RegType::Binary, "x"));
  CHECK_FALSE(store->Write(kKey + L"\r", L"name", RegType::Binary, "x"));
  CHECK_FALSE(store->Write(kKey, std::wstring(L"nul\0", 4), RegType::Binary, "x"));
  CHECK(Commit(*store));
  CHECK_FALSE(fs::exists(dir.Path() / "Pellard Software"));

  Registry registry(*store, DefaultSettingsKeyPath());
  CHECK(registry.WriteRegText(L"Connection\\server", L"db01 \U0001F600", false));
  REQUIRE(Commit(*store));
  CHECK(Mode(dir.Path() / "Pellard Software") == 0700);
  CHECK(Mode(file.parent_path()) == 0700);
  CHECK(Mode(file) == 0600);
  CHECK(Entries(file.parent_path()) == std::vector<std::string>{"settings.reg"});
  auto again = OpenRegistryFile(file.wstring());
  CHECK(Registry(*again, DefaultSettingsKeyPath()).ReadRegText(L"Connection\\server") == L"db01 \U0001F600");
}

TEST_CASE("Values this program does not know survive its commits; the file becomes owner-only") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  WriteBytes(file, "\xFF\xFE" + EncodeUtf16Le(L"Windows Registry Editor Version 5.00\r\n\r\n"
                                              L"[HKEY_CURRENT_USER\\Software\\Someone Else]\r\n"
                                              L"\"theirs\"=hex(7):61,00,00,00,00,00\r\n\r\n[" + kHiveKey + L"]\r\n"
                                              L"\"future\"=dword:00000007\r\n\"user\"=hex:61,00\r\n"));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);

  auto store = OpenRegistryFile(file.wstring());
  CHECK(store->Read(kKey, L"USER") == std::string("a\0", 2));
  CHECK(store->Write(kKey, L"server", RegType::Binary, "s"));
  CHECK(store->Delete(kKey, L"user"));
  CHECK_FALSE(store->Delete(kKey, L"user"));
  REQUIRE(Commit(*store));
  CHECK(Mode(file) == 0600);
  CHECK(ReadBytes(file) == "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Someone Else]\r\n"
                           "\"theirs\"=hex(7):61,00,00,00,00,00\r\n\r\n[" + ToUtf8(kHiveKey) + "]\r\n"
                           "\"future\"=dword:00000007\r\n\"server\"=hex:73\r\n\r\n");

  // Writing what is already there changes nothing on disk; a real change replaces the file.
  ino_t before = Stat(file).st_ino;
  CHECK(store->Write(kKey, L"server", RegType::Binary, "s"));
  REQUIRE(Commit(*store));
  CHECK(Stat(file).st_ino == before);
  CHECK(store->Write(kKey, L"server", RegType::Binary, "t"));
  REQUIRE(Commit(*store));
  CHECK(Stat(file).st_ino != before);
}

TEST_CASE("A file that cannot be read or parsed is never overwritten") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  const std::string broken = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"password\"=hex:zz\r\n";
  WriteBytes(file, broken);
  auto store = OpenRegistryFile(file.wstring());
  std::wstring error;
  CHECK_FALSE(store->Open(error));
  CHECK(error.find(file.wstring()) != std::wstring::npos);
  CHECK(error.find(L"line 4") != std::wstring::npos);
  CHECK_FALSE(store->Read(L"K", L"password"));
  CHECK_FALSE(store->Write(kKey, L"server", RegType::Binary, "x"));
  CHECK_FALSE(store->Delete(L"K", L"password"));
  error.clear();
  CHECK_FALSE(store->Commit(error));
  CHECK(error.find(file.wstring()) != std::wstring::npos);
  CHECK(ReadBytes(file) == broken);
  WriteBytes(file, "");  // each Open takes a fresh look
  CHECK(store->Open(error));

  fs::create_directory(dir.Path() / "folder.reg");
  CHECK_FALSE(OpenRegistryFile((dir.Path() / "folder.reg").wstring())->Open(error));
  CHECK(error.find(L"folder.reg") != std::wstring::npos);
}

TEST_CASE("A commit that fails leaves the old file and no temporary file") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  auto store = OpenRegistryFile(file.wstring());
  REQUIRE(store->Write(kKey, L"server", RegType::Binary, "old"));
  REQUIRE(Commit(*store));
  const std::string old = ReadBytes(file);
  std::wstring error;

  // A file stands where a folder should be.
  fs::path blocked = file / "inner" / "settings.reg";
  auto inner = OpenRegistryFile(blocked.wstring());
  REQUIRE(inner->Write(kKey, L"server", RegType::Binary, "new"));
  CHECK_FALSE(inner->Commit(error));
  CHECK(error.find(blocked.wstring()) != std::wstring::npos);
  CHECK(error.find(L"Not a directory") != std::wstring::npos);
  CHECK(ReadBytes(file) == old);

  // The disk refuses the data: a file size limit makes the write itself fail, as a full disk would.
  REQUIRE(store->Write(kKey, L"server", RegType::Binary, std::string(256 * 1024, 'x')));
  rlimit saved{};
  REQUIRE(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
  rlimit small = saved;
  small.rlim_cur = 64 * 1024;
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  REQUIRE(::setrlimit(RLIMIT_FSIZE, &small) == 0);
  error.clear();
  bool committed = store->Commit(error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  CHECK_FALSE(committed);
  CHECK(error.find(file.wstring()) != std::wstring::npos);
  CHECK(ReadBytes(file) == old);
  CHECK(Entries(dir.Path()) == std::vector<std::string>{"settings.reg"});
  // The change is still pending: the next commit stores it.
  CHECK(Commit(*store));
  CHECK(OpenRegistryFile(file.wstring())->Read(kKey, L"server") == std::string(256 * 1024, 'x'));

  // A file too large to be read back is not written.
  const std::string stored = ReadBytes(file);
  REQUIRE(store->Write(kKey, L"huge", RegType::Binary, std::string(RegFileHive::kMaxFileBytes / 3, 'x')));
  error.clear();
  CHECK_FALSE(store->Commit(error));
  CHECK(error.find(L"16 MiB") != std::wstring::npos);
  CHECK(ReadBytes(file) == stored);
}

TEST_CASE("A commit removes the temporary files a killed save left, and nothing else") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  for (const char* name : {"settings.reg.new-Ab3xYz", "settings.reg.new-backup1", "settings.reg.bak", "other.new-Ab3xYz"})
    WriteBytes(dir.Path() / name, "password");
  auto store = OpenRegistryFile(file.wstring());
  REQUIRE(store->Write(kKey, L"server", RegType::Binary, "s"));
  REQUIRE(Commit(*store));
  std::vector<std::string> left = Entries(dir.Path());
  std::sort(left.begin(), left.end());
  CHECK(left == std::vector<std::string>{"other.new-Ab3xYz", "settings.reg", "settings.reg.bak", "settings.reg.new-backup1"});
}

TEST_CASE("The user's settings file follows XDG_CONFIG_HOME, then HOME, then the password database") {
  const std::wstring tail = L"/Pellard Software/Varnalis 1.4/settings.reg";
  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/config/");
    CHECK(UserSettingsFilePath() == L"/srv/config" + tail);
    CHECK(OpenUserRegistry()->Location() == L"/srv/config" + tail);
  }
  for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/config"}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", ignored);
    CHECK(UserSettingsFilePath() == L"/home/someone/.config" + tail);
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv noHome("HOME", nullptr);
  const passwd* pw = ::getpwuid(::getuid());
  REQUIRE(pw);
  std::wstring pwHome;
  REQUIRE(FromUtf8(pw->pw_dir, pwHome));
  CHECK(UserSettingsFilePath() == pwHome + L"/.config" + tail);
}
