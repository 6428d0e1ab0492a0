#pragma once
// A list view that tints each row by the mark in its item data: warnings
// light yellow, errors light red, leaving the check box and icon as they are.
#include <windows.h>

#include "monitor/parameter_view.h"  // the row marks

inline constexpr COLORREF kWarningTint = RGB(255, 255, 180);
inline constexpr COLORREF kErrorTint = RGB(255, 200, 180);

class ColorList {
 public:
  ColorList() = default;
  ~ColorList();
  ColorList(const ColorList&) = delete;
  ColorList& operator=(const ColorList&) = delete;

  bool Attach(HWND list);
  HWND Window() const { return window_; }

  // ANDs the tints over the rows as the list drew them into dc.
  void TintRows(HDC dc) const;

 private:
  void Paint() const;
  static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);

  HWND window_ = nullptr;
};
