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
  void OnDpiChanged(int oldDpi, int newDpi) override;

 private:
  std::wstring settingsPlace_;
  std::wstring logFile_;
  void MakeTitleFont(int dpi);

  LOGFONTW titleLook_{};  // the title font at the page's first DPI
  int titleDpi_ = USER_DEFAULT_SCREEN_DPI;
  ScopedGdiObject<HFONT> titleFont_;
};
