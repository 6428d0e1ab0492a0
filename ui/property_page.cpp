#include "ui/property_page.h"

#include <utility>

#include "common/product.h"
#include "res/resource.h"
#include "ui/cool_button.h"
#include "ui/dpi.h"
#include "ui/strip_images.h"
#include "ui/ui_messages.h"

PropertyPage::PropertyPage(int templateId, int captionId) : templateId_(templateId), captionId_(captionId) {}

PropertyPage::~PropertyPage() = default;

CXPStyleCoolButton& PropertyPage::AddImageButton(int id, int image, const CThemeHelper& theme) {
  auto& button = *buttons_.emplace_back(std::make_unique<CXPStyleCoolButton>());
  if (button.Attach(Item(id))) {
    button.SetThemeHelper(&theme);
    button.SetBitmapFromStrip(IDB_BUTTONS, image);
  }
  return button;
}

void PropertyPage::ShowBanner(int bitmapId) {
  bannerId_ = bitmapId;
  ShowArt(Item(IDC_BANNER), bannerId_, dpi_, banner_);
}

HPROPSHEETPAGE PropertyPage::Make() {
  PROPSHEETPAGEW page{};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE;
  page.hInstance = GetModuleHandleW(nullptr);
  page.pszTemplate = MAKEINTRESOURCEW(templateId_);
  page.pszTitle = MAKEINTRESOURCEW(captionId_);
  page.pfnDlgProc = DialogProc;
  page.lParam = reinterpret_cast<LPARAM>(this);
  return CreatePropertySheetPageW(&page);
}

std::wstring PropertyPage::ResourceText(int id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

void PropertyPage::ShowRefusal(int stringId) const {
  MessageBoxW(window_, ResourceText(stringId).c_str(), kProductName, MB_OK | MB_ICONWARNING);
}

void PropertyPage::OnWorkDone(LPARAM payload) {
  delete reinterpret_cast<PayloadBox*>(payload);
}

std::wstring PropertyPage::ItemText(int id) const {
  HWND item = Item(id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

PropertyPage* PropertyPage::FromInitParam(LPARAM lParam) {
  return reinterpret_cast<PropertyPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
}

INT_PTR PropertyPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      dpi_ = WindowDpi(window_);
      OnInitDialog();
      return TRUE;
    case WM_DPICHANGED_AFTERPARENT:
      // The system and the main dialog may both tell: the second time is no change.
      if (int dpi = WindowDpi(window_); dpi != dpi_) {
        int old = std::exchange(dpi_, dpi);
        if (bannerId_ != 0) ShowBanner(bannerId_);
        OnDpiChanged(old, dpi);
      }
      return TRUE;
    case WM_DRAWITEM:
      return ReflectDrawItem(lParam);
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_APP_WORK_DONE:
      OnWorkDone(lParam);
      return TRUE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
      auto& header = *reinterpret_cast<NMHDR*>(lParam);
      if (header.code == PSN_SETACTIVE) {
        // Tab goes from the page tabs into the page, as in any sheet.
        HWND tabs = PropSheet_GetTabControl(GetParent(window_));
        SetWindowPos(window_, tabs, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        OnSetActive();
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      if (header.code == PSN_KILLACTIVE) {
        OnKillActive();
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, FALSE);
        return TRUE;
      }
      LRESULT result = 0;
      if (!OnNotify(header, result)) return FALSE;
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
      return TRUE;
    }
    default:
      return FALSE;
  }
}
