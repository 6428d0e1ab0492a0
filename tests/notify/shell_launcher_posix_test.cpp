#include <doctest/doctest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "notify/impersonate_user.h"
#include "notify/shell_launcher.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Writes its arguments, one per line in brackets, to args.txt beside itself.
constexpr char kShowArgs[] =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/args.txt\"\n"
    "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done >\"$out.tmp\"\n"
    "mv \"$out.tmp\" \"$out\"\n";

void WriteScript(const fs::path& path, const char* text) {
  WriteBytes(path, text);
  fs::permissions(path, fs::perms::owner_all);
}

// The file the script writes, once it has written it; empty after 5 s.
std::string AwaitFile(const fs::path& path, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!fs::exists(path) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ReadBytes(path);
}

bool AllReaped(ShellLauncher& launcher) {
  for (int i = 0; i < 250 && launcher.ReapFinished() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return launcher.ReapFinished() == 0;
}

// A running child of ours with that program name; 0 when none.
int ChildNamed(const std::string& name) {
  std::string parent = "PPid:\t" + std::to_string(getpid()) + "\n";
  for (int tries = 0; tries < 250; ++tries) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::string status = ReadBytes(entry.path() / "status");
      if (status.rfind("Name:\t" + name + "\n", 0) == 0 && status.find(parent) != std::string::npos) {
        return std::stoi(entry.path().filename().string());
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

class PathOverride {
 public:
  explicit PathOverride(const std::string& path) : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    setenv("PATH", path.c_str(), 1);
  }
  ~PathOverride() { setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_;
};

}  // namespace

TEST_CASE("a program gets its argument words without a shell") {
  TempDir dir;
  fs::path folder = dir.Path() / "with blank";
  fs::create_directories(folder);
  WriteScript(folder / "show args", kShowArgs);
  CustomNotifySettings custom;
  custom.CustomFile.Set((folder / "show args").wstring());
  custom.CustomArg.Set(L"one \"two words\" 'it''s' $HOME ';x' Ünï");
  custom.CustomAuth = true;  // refused on Linux: the program still runs, as ourselves
  custom.CustomUser.Set(L"DOMAIN\\someone");
  ShellLauncher launcher;
  launcher.Open(custom);
  CHECK(AwaitFile(folder / "args.txt") == "[one]\n[two words]\n[its]\n[$HOME]\n[;x]\n[Ünï]\n");
  CHECK(AllReaped(launcher));
}

TEST_CASE("a program has none of our console or blocked signals") {
  // The monitor blocks its stop signals, and our input may be a terminal or a pipe.
  int pipeEnds[2];
  REQUIRE(pipe(pipeEnds) == 0);
  int savedInput = dup(0);
  dup2(pipeEnds[0], 0);
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  CustomNotifySettings custom;
  custom.CustomFile.Set(L"sleep");
  custom.CustomArg.Set(L"30");
  ShellLauncher launcher;
  launcher.Open(custom);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  dup2(savedInput, 0);
  for (int fd : {savedInput, pipeEnds[0], pipeEnds[1]}) close(fd);

  int child = ChildNamed("sleep");
  REQUIRE(child > 0);
  std::string proc = "/proc/" + std::to_string(child);
  CHECK(fs::read_symlink(proc + "/fd/0") == "/dev/null");
  CHECK(fs::read_symlink(proc + "/fd/1") == "/dev/null");
  CHECK(ReadBytes(proc + "/status").find("SigBlk:\t0000000000000000\n") != std::string::npos);
  CHECK(std::distance(fs::directory_iterator(proc + "/fd"), fs::directory_iterator()) == 3);
  kill(child, SIGTERM);
  CHECK(AllReaped(launcher));
}

TEST_CASE("a document goes to xdg-open only when it is on the path; a bare name is looked up there") {
  TempDir dir;
  fs::path bin = dir.Path() / "bin";
  fs::create_directories(bin);
  WriteScript(bin / "xdg-open", kShowArgs);
  WriteScript(bin / "show-args", kShowArgs);
  fs::path doc = dir.Path() / "report.txt";
  WriteBytes(doc, "text");
  ShellLauncher launcher;
  CustomNotifySettings custom;
  custom.CustomArg.Set(L"ignored");

  SUBCASE("xdg-open present") {
    PathOverride path("/usr/bin:/bin:" + bin.string());
    custom.CustomFile.Set(doc.wstring());
    launcher.Open(custom);
    CHECK(AwaitFile(bin / "args.txt") == "[" + doc.string() + "]\n");
  }
  SUBCASE("xdg-open missing") {
    fs::path empty = dir.Path() / "empty";
    fs::create_directories(empty);
    PathOverride path(empty.string());
    custom.CustomFile.Set(doc.wstring());
    launcher.Open(custom);
    CHECK(AwaitFile(bin / "args.txt", std::chrono::milliseconds(300)).empty());
  }
  SUBCASE("bare program name") {
    PathOverride path("/usr/bin:/bin:" + bin.string());
    custom.CustomFile.Set(L"show-args");
    launcher.Open(custom);
    CHECK(AwaitFile(bin / "args.txt") == "[ignored]\n");
  }
  CHECK(AllReaped(launcher));
}

TEST_CASE("nothing to open starts nothing") {
  TempDir dir;
  ShellLauncher launcher;
  CustomNotifySettings custom;
  launcher.Open(custom);  // empty file
  custom.CustomFile.Set(dir.File(L"missing"));
  launcher.Open(custom);
  CHECK(launcher.ReapFinished() == 0);
}

TEST_CASE("the logon's user text: the first slash decides, else the first backslash") {
  auto split = [](const wchar_t* user) {
    LogonAccount account = SplitLogonUser(user);
    return account.domain + L"|" + account.name;
  };
  CHECK(split(L"CORP\\ann") == L"CORP|ann");
  CHECK(split(L"CORP/ann") == L"CORP|ann");
  CHECK(split(L"ann") == L"|ann");
  CHECK(split(L"a\\b/c") == L"a\\b|c");
  CHECK(split(L"") == L"|");

  ImpersonateUser impersonation;
  CHECK(impersonation.Logon(L"CORP\\ann", L"secret") == 50u);  // no per-thread switch on Linux
}
