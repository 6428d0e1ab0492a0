#pragma once
// The main dialog's page for start at logon, the tray icon, the splash and the log options.
#include <string>

#include "res/resource.h"
#include "ui/property_page.h"

class AppCommands;
struct Settings;

// The Options page.
class OptionsPage final : public PropertyPage {
 public:
  OptionsPage(const CThemeHelper& theme, Settings& settings, AppCommands& app);

 protected:
  void OnInitDialog() override;
  void OnSetActive() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  bool Checked(int id) const { return IsDlgButtonChecked(Window(), id) == BST_CHECKED; }
  void Check(int id, bool on) { CheckDlgButton(Window(), id, on ? BST_CHECKED : BST_UNCHECKED); }
  // A click on one of the detail level radio buttons.
  void ChooseLevel(int id);
  void OnSizeChanged();
  void SetRunAtLogon(bool on);
  void Browse();

  const CThemeHelper& theme_;
  Settings& settings_;
  AppCommands& app_;
  std::wstring sizeText_;  // the size field's last accepted text
};
