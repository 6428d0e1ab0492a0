#pragma once
// A list view that tints each row by the mark in its item data: warnings
// light yellow, errors light red, leaving the check box and icon as they are.
#include <windows.h>

#include "monitor/parameter_view.h"  // the row marks
#include "ui/subclass.h"

inline constexpr COLORREF kWarningTint = RGB(255, 255, 180);
inline constexpr COLORREF kErrorTint = RGB(255, 200, 180);

// The Resources page's parameter list, tinted by state.
class ColorList : public WindowSubclass {
 public:
  bool Attach(HWND list) { return Bind(list); }

  // ANDs the tints over the rows as the list drew them into dc.
  void TintRows(HDC dc) const;

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint() const;
};
