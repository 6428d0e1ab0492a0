#pragma once
// The main dialog's last page: what the program is, and where its settings
// and log file live on this computer.
#include <string>

#include "common/scoped_win.h"
#include "ui/property_page.h"

// The About page.
class AboutPage final : public PropertyPage {
 public:
  AboutPage(std::wstring settingsPlace, std::wstring logFile);

 protected:
  void OnInitDialog() override;

 private:
  std::wstring settingsPlace_;
  std::wstring logFile_;
  ScopedGdiObject<HFONT> titleFont_;
};
