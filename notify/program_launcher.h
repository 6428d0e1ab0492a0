#pragma once
// Opens the user's chosen file for the custom notification, under another
// account when the settings ask for it.
#include <cstdint>

struct CustomNotifySettings;

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // 0 when the file was handed to the system to open, else the system's
  // error code (a Windows error code; errno on Linux). Nothing is opened when
  // the account cannot be taken on.
  virtual uint32_t Open(const CustomNotifySettings& custom) = 0;
};
