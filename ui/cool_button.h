#pragma once
// Owner-drawn push buttons with an image, hover highlight and tool tip;
// CXPStyleCoolButton draws its background with the visual style when one is on.
#include <windows.h>

#include <string>

#include "common/scoped_win.h"
#include "ui/subclass.h"
#include "ui/ui_messages.h"

class CThemeHelper;

// An image push button drawn by its owner.
class CCoolButton : public WindowSubclass {
 public:
  ~CCoolButton() override;

  // Takes over a push button of a dialog: from here on it is drawn by its owner.
  bool Attach(HWND button);

  void SetIcon(ScopedIcon icon);
  // Image index of a strip of square images, as drawn for the button's DPI
  // now and after each change of it.
  bool SetBitmapFromStrip(int bitmapId, int index);
  void SetTooltipText(const std::wstring& text);
  void SetFlat(bool flat);
  // The window text stays the button's name for screen readers, but is not
  // drawn: for buttons that show their image alone.
  void SetTextHidden(bool hidden);

  bool IsFlat() const { return flat_; }
  bool IsHover() const { return hover_; }
  bool IsDefault() const { return isDefault_; }

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  virtual void DrawBackground(HDC dc, RECT& rect);
  virtual void DrawBorder(HDC dc, const RECT& rect);
  void Repaint();

  bool pressed_ = false;
  bool focused_ = false;
  bool disabled_ = false;

 private:
  void OnWindowGone() override;
  bool LoadStripImage();
  void DrawItem(const DRAWITEMSTRUCT& item);
  void DrawIcon(HDC dc, const RECT& client, RECT& textArea, bool hasText) const;
  void DrawLabel(HDC dc, const std::wstring& text, RECT area) const;
  void OnMouseMove(WPARAM wParam, LPARAM lParam);
  void CancelHover();
  void RecordStyle(DWORD style);

  bool flat_ = true;
  bool hover_ = false;
  bool isDefault_ = false;
  bool textHidden_ = false;
  ScopedIcon icon_;  // left of the text, or centred without one
  int iconWidth_ = 0;
  int iconHeight_ = 0;
  int stripId_ = 0;
  int stripIndex_ = 0;
  int stripDpi_ = 0;
  HWND tooltip_ = nullptr;
};

// The image button drawn with the visual style when one is on: Start, Stop and the pages' buttons.
class CXPStyleCoolButton : public CCoolButton {
 public:
  // Unless a helper is given and the application is themed, the button is drawn raised.
  void SetThemeHelper(const CThemeHelper* helper);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void DrawBackground(HDC dc, RECT& rect) override;
  void DrawBorder(HDC dc, const RECT& rect) override;

 private:
  bool Themed() const;

  const CThemeHelper* helper_ = nullptr;
  bool passThrough_ = true;
};
