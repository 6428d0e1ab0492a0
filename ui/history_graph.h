#pragma once
// The Resources page's history graph: the selected parameter's recent values
// as a thick line over a dotted grid, with a dashed line at the notification
// value and, in text mode 1, the scale's top and "0" at the left. In high
// contrast it draws with the system colours alone. Its window text names what
// it shows, for screen readers.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/subclass.h"
#include "ui/system_colors.h"

// The history graph.
class Graphic : public WindowSubclass {
 public:
  // A visible owner-drawn static over rect, with parent and id.
  bool Create(const RECT& rect, int divisions, int points, HWND parent, int id);

  // The first values (oldest first, -1 for none), as many as there are
  // points; -1 draws no limit line. The caller repaints.
  void SetData(const std::vector<int32_t>& values, int32_t limit);
  // What the values are, for the window text: the parameter's name (empty for
  // none), how a value reads and how its notification value reads.
  void SetSubject(std::wstring parameter, std::function<std::wstring(int32_t)> valueText, std::wstring limitText);
  void SetTextMode(int mode) { textMode_ = mode; }

  // The whole picture into dc, through one off-screen bitmap.
  void Draw(HDC dc, const RECT& item) const;

  static constexpr COLORREF kLimitColor = RGB(215, 40, 40);  // over 3:1 against white
  static constexpr COLORREF kCurveColor = RGB(100, 100, 255);
  static constexpr COLORREF kGridColor = RGB(130, 130, 130);

 private:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  struct Palette {
    COLORREF frame, background, grid, limit, curve;  // the grid's colour also for the scale's text
  };
  Palette Colors() const;
  template <class ToY>
  void DrawCurve(HDC dc, int width, int penWidth, ToY y, COLORREF color) const;
  void UpdateName();

  int divisions_ = 4;
  int points_ = 18;
  std::vector<int32_t> values_;
  int32_t limit_ = -1;
  int curveWidth_ = 3;
  int textMode_ = 0;
  ContrastWatch contrast_;
  std::wstring parameter_;
  std::function<std::wstring(int32_t)> valueText_;
  std::wstring limitText_;
};
