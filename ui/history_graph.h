#pragma once
// The Resources page's history graph: the selected parameter's recent values
// as a thick line over a dotted grid, with a dashed line at the notification
// value and, in text mode 1, the scale's top and "0" at the left.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/subclass.h"

// The history graph.
class Graphic : public WindowSubclass {
 public:
  // A visible owner-drawn static over rect, with parent and id.
  bool Create(const RECT& rect, int divisions, int points, HWND parent, int id);

  // The first values (oldest first, -1 for none), as many as there are
  // points; -1 draws no limit line. The caller repaints.
  void SetData(const std::vector<int32_t>& values, int32_t limit);
  void SetTextMode(int mode) { textMode_ = mode; }

  // The whole picture into dc, through one off-screen bitmap.
  void Draw(HDC dc, const RECT& item) const;

  static constexpr COLORREF kLimitColor = RGB(255, 150, 150);
  static constexpr COLORREF kCurveColor = RGB(100, 100, 255);
  static constexpr COLORREF kGridColor = RGB(130, 130, 130);

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  template <class ToY>
  void DrawCurve(HDC dc, int width, int penWidth, ToY y) const;

  int divisions_ = 4;
  int points_ = 18;
  std::vector<int32_t> values_;
  int32_t limit_ = -1;
  int curveWidth_ = 3;
  int textMode_ = 0;
};
