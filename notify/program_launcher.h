#pragma once
// Opens the user's chosen file for the custom notification, under another
// account when the settings ask for it.
struct CustomNotifySettings;

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // Reports nothing: a program that cannot be started has no further trace.
  virtual void Open(const CustomNotifySettings& custom) = 0;
};
