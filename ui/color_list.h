#pragma once
// A list view that marks each row by the mark in its item data: warnings
// tinted yellow, errors red, leaving the check box and icon as they are; in
// high contrast a frame in the highlight colour instead, thicker for errors.
#include <windows.h>

#include "monitor/parameter_view.h"  // the row marks
#include "ui/subclass.h"
#include "ui/system_colors.h"

// ANDed over light backgrounds...
inline constexpr COLORREF kWarningTint = RGB(255, 255, 180);
inline constexpr COLORREF kErrorTint = RGB(255, 200, 180);
// ...and ORed over dark ones, where an AND would leave the row as it was.
inline constexpr COLORREF kDarkWarningTint = RGB(80, 80, 0);
inline constexpr COLORREF kDarkErrorTint = RGB(110, 20, 0);

// The Resources page's parameter list, marked by state.
class ColorList : public WindowSubclass {
 public:
  bool Attach(HWND list) { return Bind(list); }

  // Marks the rows as the list drew them into dc.
  void TintRows(HDC dc) const;

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint() const;
  void FrameRow(HDC dc, int row, const RECT& area, bool error) const;

  ContrastWatch contrast_;
};
