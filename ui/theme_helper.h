#pragma once
// Reaches the visual-style functions of UxTheme.dll at run time, so the
// program also runs where the library or a function is missing: each call
// then answers as an unthemed system would.
#include <windows.h>
#include <uxtheme.h>

#include "common/scoped_win.h"

// The visual-style functions, found at run time.
class CThemeHelper {
 public:
  CThemeHelper();
  // For tests: a helper over another library name (a missing one gives the fallbacks).
  explicit CThemeHelper(const wchar_t* library);
  virtual ~CThemeHelper() = default;

  // Virtual so that tests can stand in for a visual style Wine does not draw.
  virtual HTHEME OpenThemeData(HWND window, LPCWSTR classList) const;
  virtual HRESULT CloseThemeData(HTHEME theme) const;
  virtual HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                      const RECT* clip) const;
  virtual HRESULT GetThemeBackgroundContentRect(HTHEME theme, HDC dc, int part, int state, const RECT* bounds,
                                                RECT* content) const;
  virtual HRESULT DrawThemeParentBackground(HWND window, HDC dc, const RECT* rect) const;
  virtual bool IsThemeActive() const;
  virtual bool IsAppThemed() const;
  virtual bool IsThemeBackgroundPartiallyTransparent(HTHEME theme, int part, int state) const;

  // Themed drawing is possible now: the application and the theme both on.
  bool Themed() const { return IsAppThemed() && IsThemeActive(); }

 private:
  template <class Function>
  Function Find(const char* name) const;

  ScopedModule library_;
};
