#include <doctest/doctest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
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

void WriteScript(const fs::path& path, const char* text = kShowArgs) {
  WriteBytes(path, text);
  fs::permissions(path, fs::perms::owner_all);
}

// Polls for up to 5 s until done(); returns done().
template <typename Done>
bool Await(Done done) {
  for (int tries = 0; tries < 250 && !done(); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return done();
}

// The file the script writes, once it has written it.
std::string AwaitFile(const fs::path& path) {
  Await([&] { return fs::exists(path); });
  return ReadBytes(path);
}

bool AllReaped(ShellLauncher& launcher) { return Await([&] { return launcher.ReapFinished() == 0; }); }

// A running child of ours with that program name; 0 when none.
int ChildNamed(const std::string& name) {
  std::string parent = "PPid:\t" + std::to_string(getpid()) + "\n";
  int child = 0;
  Await([&] {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::string status = ReadBytes(entry.path() / "status");
      if (status.rfind("Name:\t" + name + "\n", 0) == 0 && status.find(parent) != std::string::npos) {
        child = std::stoi(entry.path().filename().string());
      }
    }
    return child != 0;
  });
  return child;
}

}  // namespace

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

TEST_CASE("a program gets its argument words without a shell; a document goes to xdg-open only when it is on the "
          "path, and its verdict counts; a bare name is looked up there; what cannot be opened says why") {
  TempDir dir;
  fs::path bin = dir.Path() / "with blank";
  fs::path failing = dir.Path() / "failing";
  fs::create_directories(bin);
  fs::create_directories(failing);
  for (const char* name : {"xdg-open", "show-args", "show args"}) WriteScript(bin / name);
  WriteScript(failing / "xdg-open", "#!/bin/sh\nexit 3\n");  // no tool for the file
  fs::path doc = dir.Path() / "report.txt";
  WriteBytes(doc, "text");
  const std::string onPath = "/usr/bin:/bin:" + bin.string();
  struct Case {
    const char* what;
    std::string path;
    std::wstring file;
    std::string args;  // what a started program got; empty for none
    uint32_t result = 0;
    std::wstring words = L"ignored";
    bool auth = false;
  };
  const Case cases[] = {
      {"words, no shell", onPath, (bin / "show args").wstring(), "[one]\n[two words]\n[its]\n[$HOME]\n[;x]\n[Ünï]\n", 0,
       L"one \"two words\" 'it''s' $HOME ';x' Ünï"},
      {"xdg-open present", onPath, doc.wstring(), "[" + doc.string() + "]\n"},
      {"xdg-open finds no tool", "/usr/bin:/bin:" + failing.string(), doc.wstring(), "", ENOEXEC},
      {"xdg-open missing", (dir.Path() / "none").string(), doc.wstring(), "", ENOEXEC},
      {"bare program name", onPath, L"show-args", "[ignored]\n"},
      {"missing file", onPath, (dir.Path() / "missing").wstring(), "", ENOENT},
      {"no file", onPath, L"", "", ENOENT},
      // Refused on Linux: a program meant for another account never runs as ourselves.
      {"another account", onPath, L"show-args", "", ENOTSUP, L"", true},
  };
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  for (const Case& c : cases) {
    CAPTURE(c.what);
    fs::remove(bin / "args.txt");
    setenv("PATH", c.path.c_str(), 1);
    ShellLauncher launcher;
    CustomNotifySettings custom;
    custom.CustomFile.Set(c.file);
    custom.CustomArg.Set(c.words);
    custom.CustomAuth = c.auth;
    custom.CustomUser.Set(L"DOMAIN\\someone");
    CHECK(launcher.Open(custom) == c.result);
    setenv("PATH", oldPath.c_str(), 1);
    if (c.args.empty()) {
      CHECK(launcher.ReapFinished() == 0);  // nothing was started, so nothing can write later
      CHECK_FALSE(fs::exists(bin / "args.txt"));
    } else {
      CHECK(AwaitFile(bin / "args.txt") == c.args);
      CHECK(AllReaped(launcher));
    }
  }
}

TEST_CASE("the logon's user text: the first slash decides, else the first backslash") {
  for (auto [user, want] : {std::pair{L"CORP\\ann", L"CORP|ann"}, {L"ann", L"|ann"}, {L"a\\b/c", L"a\\b|c"},
                            {L"", L"|"}}) {
    LogonAccount account = SplitLogonUser(user);
    CHECK(account.domain + L"|" + account.name == want);
  }
}
