#include "notify/shell_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/utf16.h"
#include "notify/command_words.h"
#include "notify/impersonate_user.h"
#include "settings/settings.h"

extern char** environ;

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The executable the search path names, or empty. Empty entries (the current
// folder) are skipped on purpose.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (end > start) {
      std::string candidate = dirs.substr(start, end - start) + "/" + name;
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

// 0, with what to run for the file and its argument words (the program
// itself, or xdg-open with the file), or why nothing can open it.
int ChooseProgram(const std::string& file, const std::wstring& argText, std::string& program,
                  std::vector<std::string>& argv) {
  argv = {file};
  bool bareName = file.find('/') == std::string::npos;
  program = bareName ? FindOnPath(file) : std::string();
  if (program.empty() && IsExecutableFile(file)) program = file;
  if (!program.empty()) {
    for (const std::wstring& word : SplitCommandWords(argText)) argv.push_back(ToUtf8(word));
    return 0;
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return errno;
  // A document or a folder: its arguments mean nothing to the viewer.
  program = FindOnPath("xdg-open");
  argv = {"xdg-open", file};
  return program.empty() ? ENOEXEC : 0;  // not a program, and nothing to open it with
}

// xdg-open's exit status as an error code; its documented statuses first.
int OpenerVerdict(int status) {
  switch (WIFEXITED(status) ? WEXITSTATUS(status) : -1) {
    case 0:
      return 0;
    case 1:
      return EINVAL;  // it did not understand its command line
    case 2:
      return ENOENT;
    case 3:
      return ENOEXEC;  // no tool that opens the file
    case 5:
      return EACCES;
    default:
      return EIO;  // the opening itself failed, or xdg-open was killed
  }
}

// The child's start (its process id, or minus the error): no terminal input or output of ours (a pipe reading our
// output would otherwise wait for the child too), none of our other open
// files, default signals with none blocked (the monitor blocks its stop
// signals), and a session of its own so Ctrl+C on our console spares it.
int Spawn(const std::string& program, const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int error = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -error;
}

// How long xdg-open may take to tell whether it found a way to open the file;
// one still running then counts as having found one.
constexpr auto kOpenerVerdictWait = std::chrono::seconds(5);

}  // namespace

// Programs still running are left to end on their own; init collects them
// once the monitor is gone.
ShellLauncher::~ShellLauncher() { ReapFinished(); }

uint32_t ShellLauncher::Open(const CustomNotifySettings& custom) {
  ReapFinished();
  // Linux has no per-thread account switch: the logon is refused, and a
  // program meant for another account is not run with ours instead.
  ImpersonateUser impersonation;
  if (custom.CustomAuth) {
    if (uint32_t code = impersonation.Logon(custom.CustomUser.Get(), custom.CustomPassword.Get()); code != 0) {
      return code;
    }
  }
  std::string file = ToUtf8(custom.CustomFile.Get());
  if (file.empty()) return ENOENT;
  std::string program;
  std::vector<std::string> argv;
  if (int error = ChooseProgram(file, custom.CustomArg.Get(), program, argv); error != 0) return error;
  int pid = Spawn(program, argv);
  if (pid < 0) return static_cast<uint32_t>(-pid);
  if (argv[0] == "xdg-open") {
    auto until = std::chrono::steady_clock::now() + kOpenerVerdictWait;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
      pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) return static_cast<uint32_t>(OpenerVerdict(status));
      if (done < 0 && errno != EINTR) return 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  children_.push_back(pid);
  return 0;
}

size_t ShellLauncher::ReapFinished() {
  std::erase_if(children_, [](int pid) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    return done == pid || (done < 0 && errno != EINTR);  // ended, or not ours to wait for any more
  });
  return children_.size();
}
