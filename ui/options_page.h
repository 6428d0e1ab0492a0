#pragma once
// The main dialog's page for start at logon, the tray icon, the splash and the log options.
#include "res/resource.h"
#include "ui/property_page.h"

class OptionsPage final : public PropertyPage {
 public:
  explicit OptionsPage(const CThemeHelper& theme) : PropertyPage(IDD_OPTIONS, IDS_OPTIONS), theme_(theme) {}

 protected:
  void OnInitDialog() override;

 private:
  const CThemeHelper& theme_;
};
