#pragma once
// One page of the main dialog's sheet, bound to its C++ object when its
// window is made; the pages derive from it and handle what they need.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "common/scoped_win.h"
#include "ui/dialog_binding.h"

class CThemeHelper;
class CXPStyleCoolButton;

// The base of the main dialog's pages.
class PropertyPage : public DialogBinding<PropertyPage> {
 public:
  PropertyPage(int templateId, int captionId);
  virtual ~PropertyPage();
  PropertyPage(const PropertyPage&) = delete;
  PropertyPage& operator=(const PropertyPage&) = delete;

  // The page for the sheet; the sheet owns it from there on.
  HPROPSHEETPAGE Make();

 protected:
  virtual void OnInitDialog() {}
  // Each time the page is shown.
  virtual void OnSetActive() {}
  // When another page is about to be shown.
  virtual void OnKillActive() {}
  // The page's window is going, its controls still there.
  virtual void OnDestroy() {}
  virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
  virtual bool OnNotify(NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  // The page moved to a screen of another scale: what it sized itself is made again.
  virtual void OnDpiChanged(int /*oldDpi*/, int /*newDpi*/) {}
  // A worker's answer (WM_APP_WORK_DONE): the page takes over the payload.
  virtual void OnWorkDone(LPARAM payload);
  virtual INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  HWND Item(int id) const { return GetDlgItem(window_, id); }
  // The DPI the page is laid out for.
  int Dpi() const { return dpi_; }
  std::wstring ItemText(int id) const;
  // The string resource id; empty when there is none.
  static std::wstring ResourceText(int id);
  // A refused input: the text of string stringId in a message box over the page.
  void ShowRefusal(int stringId) const;
  // Makes the push button id an image button showing image of the button
  // strip beside its text; the page keeps it.
  CXPStyleCoolButton& AddImageButton(int id, int image, const CThemeHelper& theme);
  // Shows bitmap bitmapId, as drawn for the page's DPI now and after each
  // change, in the page's IDC_BANNER picture.
  void ShowBanner(int bitmapId);

 private:
  friend class DialogBinding<PropertyPage>;
  static PropertyPage* FromInitParam(LPARAM lParam);

  int templateId_;
  int captionId_;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  int bannerId_ = 0;
  ScopedGdiObject<HBITMAP> banner_;
  std::vector<std::unique_ptr<CXPStyleCoolButton>> buttons_;
};
