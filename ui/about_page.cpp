#include "ui/about_page.h"

#include "common/product.h"
#include "res/resource.h"
#include "varnalis_version.h"

AboutPage::AboutPage(std::wstring settingsPlace, std::wstring logFile)
    : PropertyPage(IDD_ABOUT, IDS_ABOUT), settingsPlace_(std::move(settingsPlace)), logFile_(std::move(logFile)) {}

void AboutPage::OnInitDialog() {
  HWND title = Item(IDC_ABOUT_PRODUCT);
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)), sizeof font, &font);
  font.lfWeight = FW_BOLD;
  font.lfHeight = font.lfHeight * 3 / 2;
  titleFont_.Reset(CreateFontIndirectW(&font));
  SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.Get()), FALSE);
  SetWindowTextW(title, kProductName);
  SetDlgItemTextW(Window(), IDC_ABOUT_VERSION, L"Version " VARNALIS_VERSION_WIDE);
  SetDlgItemTextW(Window(), IDC_ABOUT_TEXT,
                  L"Watches the health of this computer or a remote one through WMI and tells you when a "
                  L"measurement stays beyond the limit you set: in the notification area, by e-mail or by "
                  L"running a program.");
  SetDlgItemTextW(Window(), IDC_ABOUT_SETTINGS, settingsPlace_.c_str());
  SetDlgItemTextW(Window(), IDC_ABOUT_LOG, logFile_.c_str());
}
