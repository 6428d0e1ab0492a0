#include "ui/about_page.h"

#include "common/product.h"
#include "res/resource.h"
#include "varnalis_version.h"

AboutPage::AboutPage(std::wstring settingsPlace, std::wstring logFile)
    : PropertyPage(IDD_ABOUT, IDS_ABOUT), settingsPlace_(std::move(settingsPlace)), logFile_(std::move(logFile)) {}

void AboutPage::OnInitDialog() {
  HWND title = Item(IDC_ABOUT_PRODUCT);
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)), sizeof titleLook_, &titleLook_);
  titleLook_.lfWeight = FW_BOLD;
  titleLook_.lfHeight = titleLook_.lfHeight * 3 / 2;
  titleDpi_ = Dpi();
  MakeTitleFont(titleDpi_);
  ShowBanner(IDB_ABOUT);
  SetWindowTextW(title, kProductName);
  SetDlgItemTextW(Window(), IDC_ABOUT_VERSION, L"Version " VARNALIS_VERSION_WIDE);
  SetDlgItemTextW(Window(), IDC_ABOUT_TEXT,
                  L"Watches the health of this computer or a remote one through WMI and tells you when a "
                  L"measurement stays beyond the limit you set: in the notification area, by e-mail or by "
                  L"running a program.");
  SetDlgItemTextW(Window(), IDC_ABOUT_SETTINGS, settingsPlace_.c_str());
  SetDlgItemTextW(Window(), IDC_ABOUT_LOG, logFile_.c_str());
}

void AboutPage::OnDpiChanged(int, int newDpi) {
  MakeTitleFont(newDpi);
}

void AboutPage::MakeTitleFont(int dpi) {
  LOGFONTW font = titleLook_;
  font.lfHeight = MulDiv(titleLook_.lfHeight, dpi, titleDpi_);
  ScopedGdiObject<HFONT> made(CreateFontIndirectW(&font));
  if (!made) return;
  // The title lets go of the old font before it is freed.
  SendMessageW(Item(IDC_ABOUT_PRODUCT), WM_SETFONT, reinterpret_cast<WPARAM>(made.Get()), TRUE);
  titleFont_ = std::move(made);
}
