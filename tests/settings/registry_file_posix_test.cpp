#include "settings/registry_file.h"

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <doctest/doctest.h>

#include <csignal>
#include <cstdlib>
#include <optional>

#include "common/utf16.h"
#include "settings/reg_file_format.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kKey = L"Software\\Pellard Software\\Varnalis 1.4\\Connection";
const std::wstring kHiveKey = L"HKEY_CURRENT_USER\\" + kKey;

unsigned Mode(const fs::path& path) {
  struct stat st{};
  REQUIRE(::stat(path.c_str(), &st) == 0);
  return st.st_mode & 07777;
}

ino_t Inode(const fs::path& path) {
  struct stat st{};
  REQUIRE(::stat(path.c_str(), &st) == 0);
  return st.st_ino;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

RegFileHive HiveOf(const fs::path& file) {
  RegFileHive hive;
  std::wstring error;
  REQUIRE(hive.Parse(ReadBytes(file), error));
  return hive;
}

bool Commit(RegistryStore& store) {
  std::wstring error;
  bool ok = store.Commit(error);
  INFO(ToUtf8(error));
  CHECK(ok);
  return ok;
}

// An environment variable changed for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST_CASE("A missing file is an empty hive; the first change creates owner-only folders and file") {
  TempDir dir;
  fs::path file = dir.Path() / "Pellard Software" / "Varnalis 1.4" / "settings.reg";
  auto store = OpenRegistryFile(file.wstring());
  CHECK(store->Location() == file.wstring());
  std::wstring error;
  CHECK(store->Open(error));
  CHECK_FALSE(store->Read(kKey, L"server"));
  CHECK_FALSE(store->Delete(kKey, L"server"));
  CHECK(Commit(*store));
  CHECK_FALSE(fs::exists(dir.Path() / "Pellard Software"));

  Registry registry(*store, DefaultSettingsKeyPath());
  CHECK(registry.WriteRegText(L"Connection\\server", L"db01 \U0001F600", false));
  CHECK(registry.WriteRegText(L"Software\\Other\\Run\\Varnalis", L"/usr/bin/varnalis", true));
  REQUIRE(Commit(*store));
  CHECK(Mode(dir.Path() / "Pellard Software") == 0700);
  CHECK(Mode(file.parent_path()) == 0700);
  CHECK(Mode(file) == 0600);
  CHECK(Entries(file.parent_path()) == std::vector<std::string>{"settings.reg"});

  // The next start of the program reads what was committed.
  auto again = OpenRegistryFile(file.wstring());
  Registry reread(*again, DefaultSettingsKeyPath());
  CHECK(reread.ReadRegText(L"Connection\\server") == L"db01 \U0001F600");
  RegFileHive hive = HiveOf(file);
  const RegFileValue* run = hive.Find(L"HKEY_CURRENT_USER\\Software\\Other\\Run", L"Varnalis");
  REQUIRE(run);
  CHECK(run->type == 1);
  CHECK(ReadBytes(file).find("\"Varnalis\"=\"/usr/bin/varnalis\"\r\n") != std::string::npos);
}

TEST_CASE("Values this program does not know survive its commits; the file becomes owner-only") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  WriteBytes(file, "\xFF\xFE" + EncodeUtf16Le(L"Windows Registry Editor Version 5.00\r\n\r\n"
                                              L"[HKEY_CURRENT_USER\\Software\\Someone Else]\r\n"
                                              L"\"theirs\"=hex(7):61,00,00,00,00,00\r\n\r\n"
                                              L"[HKEY_CURRENT_USER\\Software\\Pellard Software\\Varnalis 1.4\\Connection]\r\n"
                                              L"\"future\"=dword:00000007\r\n"
                                              L"\"user\"=hex:61,00\r\n"));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);

  auto store = OpenRegistryFile(file.wstring());
  CHECK(store->Read(kKey, L"USER") == std::string("a\0", 2));
  CHECK(store->Write(kKey, L"server", RegType::Binary, "s"));
  CHECK(store->Delete(kKey, L"user"));
  CHECK_FALSE(store->Delete(kKey, L"user"));
  REQUIRE(Commit(*store));
  CHECK(Mode(file) == 0600);
  RegFileHive hive = HiveOf(file);
  const RegFileValue* theirs = hive.Find(L"HKEY_CURRENT_USER\\Software\\Someone Else", L"theirs");
  REQUIRE(theirs);
  CHECK(theirs->type == 7);
  CHECK(theirs->data == std::string("a\0\0\0\0\0", 6));
  CHECK(hive.Find(kHiveKey, L"future"));
  CHECK(hive.Find(kHiveKey, L"server"));
  CHECK_FALSE(hive.Find(kHiveKey, L"user"));

  // Writing what is already there changes nothing on disk; a real change replaces the file.
  ino_t before = Inode(file);
  CHECK(store->Write(kKey, L"server", RegType::Binary, "s"));
  REQUIRE(Commit(*store));
  CHECK(Inode(file) == before);
  CHECK(store->Write(kKey, L"server", RegType::Binary, "t"));
  REQUIRE(Commit(*store));
  CHECK(Inode(file) != before);
}

TEST_CASE("A file that cannot be read or parsed is never overwritten") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  const std::string broken =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Pellard Software\\Varnalis 1.4\\Connection]\r\n"
      "\"password\"=hex:zz\r\n";
  WriteBytes(file, broken);
  auto store = OpenRegistryFile(file.wstring());
  std::wstring error;
  CHECK_FALSE(store->Open(error));
  CHECK(error.find(file.wstring()) != std::wstring::npos);
  CHECK(error.find(L"line 4") != std::wstring::npos);
  CHECK_FALSE(store->Read(kKey, L"password"));
  CHECK_FALSE(store->Write(kKey, L"server", RegType::Binary, "x"));
  CHECK_FALSE(store->Delete(kKey, L"password"));
  std::wstring commitError;
  CHECK_FALSE(store->Commit(commitError));
  CHECK(commitError.find(file.wstring()) != std::wstring::npos);
  CHECK(ReadBytes(file) == broken);

  // The first reading stands for the life of the store.
  WriteBytes(file, "");
  CHECK_FALSE(store->Open(error));

  fs::create_directory(dir.Path() / "folder.reg");
  auto folder = OpenRegistryFile((dir.Path() / "folder.reg").wstring());
  CHECK_FALSE(folder->Open(error));
  CHECK(error.find(L"folder.reg") != std::wstring::npos);
}

TEST_CASE("A commit that fails leaves the old file and no temporary file") {
  TempDir dir;
  fs::path file = dir.Path() / "settings.reg";
  auto store = OpenRegistryFile(file.wstring());
  REQUIRE(store->Write(kKey, L"server", RegType::Binary, "old"));
  REQUIRE(Commit(*store));
  const std::string old = ReadBytes(file);

  SUBCASE("the disk refuses the data") {
    REQUIRE(store->Write(kKey, L"server", RegType::Binary, std::string(256 * 1024, 'x')));
    // A file size limit makes the write itself fail, as a full disk would.
    rlimit saved{};
    REQUIRE(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    REQUIRE(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    std::wstring error;
    bool committed = store->Commit(error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    CHECK_FALSE(committed);
    CHECK(error.find(file.wstring()) != std::wstring::npos);
    CHECK(ReadBytes(file) == old);
    CHECK(Entries(dir.Path()) == std::vector<std::string>{"settings.reg"});
    // The change is still pending: the next commit stores it.
    CHECK(Commit(*store));
    CHECK(HiveOf(file).Find(kHiveKey, L"server")->data.size() == 256 * 1024);
  }

  SUBCASE("a file stands where a folder should be") {
    fs::path blocked = dir.Path() / "settings.reg" / "inner" / "settings.reg";
    auto inner = OpenRegistryFile(blocked.wstring());
    REQUIRE(inner->Write(kKey, L"server", RegType::Binary, "new"));
    std::wstring error;
    CHECK_FALSE(inner->Commit(error));
    CHECK(error.find(blocked.wstring()) != std::wstring::npos);
    CHECK(error.find(L"Not a directory") != std::wstring::npos);
    CHECK(ReadBytes(file) == old);
  }
}

TEST_CASE("Names the file cannot carry are refused") {
  TempDir dir;
  auto store = OpenRegistryFile(dir.File(L"settings.reg"));
  CHECK_FALSE(store->Write(kKey, L"two\nlines", RegType::Binary, "x"));
  CHECK_FALSE(store->Write(kKey + L"\r", L"name", RegType::Binary, "x"));
  CHECK_FALSE(store->Write(kKey, std::wstring(L"nul\0", 4), RegType::Binary, "x"));
  CHECK(Commit(*store));
  CHECK_FALSE(fs::exists(dir.Path() / "settings.reg"));
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
