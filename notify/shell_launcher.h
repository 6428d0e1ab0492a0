#pragma once
// The custom notification's launcher: asks the system to open the chosen
// file with its argument text, under the chosen account when the settings
// ask for one, and never under ours instead. On Windows the shell opens it;
// on Linux an executable file is started directly (the argument text split
// into words, no shell), any other file is handed to xdg-open when that is
// installed, and its verdict awaited for a few seconds.
#include <cstddef>
#include <vector>

#include "notify/program_launcher.h"

class ShellLauncher final : public ProgramLauncher {
 public:
  ShellLauncher() = default;
  ~ShellLauncher() override;
  ShellLauncher(const ShellLauncher&) = delete;
  ShellLauncher& operator=(const ShellLauncher&) = delete;

  uint32_t Open(const CustomNotifySettings& custom) override;

  // Collects the started programs that have ended, so none stays a zombie;
  // returns how many still run. Open calls it too. Always 0 on Windows, where
  // the shell owns what it starts.
  size_t ReapFinished();

 private:
  std::vector<int> children_;  // process ids not yet collected
};
