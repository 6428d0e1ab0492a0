#include "ui/history_graph.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "common/scoped_win.h"
#include "ui/dpi.h"
#include "ui/ui_messages.h"

namespace {

constexpr int kMargin = 5;
constexpr int kFontPoints = 8;  // the scale's text, as the dialogs' own

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  MoveToEx(dc, x0, y0, nullptr);
  LineTo(dc, x1, y1);
}

}  // namespace

bool Graphic::Create(const RECT& rect, int divisions, int points, HWND parent, int id) {
  divisions_ = divisions;
  points_ = points;
  // No prefix: an "&" in a parameter's instance name must not make a mnemonic.
  bool made = Bind(CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOPREFIX, rect.left,
                                   rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr));
  UpdateName();
  return made;
}

void Graphic::SetData(const std::vector<int32_t>& values, int32_t limit) {
  limit_ = limit;
  values_.assign(values.begin(), values.begin() + std::min<size_t>(values.size(), std::max(points_, 0)));
  UpdateName();
}

void Graphic::SetSubject(std::wstring parameter, std::function<std::wstring(int32_t)> valueText,
                         std::wstring limitText) {
  parameter_ = std::move(parameter);
  valueText_ = std::move(valueText);
  limitText_ = std::move(limitText);
  UpdateName();
}

void Graphic::UpdateName() {
  if (Window() == nullptr) return;
  std::wstring name = L"History graph: no parameter selected";
  if (!parameter_.empty()) {
    auto newest = std::find_if(values_.rbegin(), values_.rend(), [](int32_t v) { return v != -1; });
    name = L"History of " + parameter_ + L": newest value " +
           (newest == values_.rend() || !valueText_ ? std::wstring(L"none yet") : valueText_(*newest));
    if (limit_ != -1 && !limitText_.empty()) name += L", notification value " + limitText_;
  }
  SetWindowTextW(Window(), name.c_str());
}

Graphic::Palette Graphic::Colors() const {
  if (!contrast_.On()) return {RGB(0, 0, 0), RGB(255, 255, 255), kGridColor, kLimitColor, kCurveColor};
  COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  return {text, GetSysColor(COLOR_WINDOW), text, GetSysColor(COLOR_HIGHLIGHT), text};
}

void Graphic::Draw(HDC target, const RECT& item) const {
  const int width = item.right, height = item.bottom;
  if (width <= 0 || height <= 0) return;
  const int dpi = WindowDpi(Window());
  ScopedMemoryDC dc(CreateCompatibleDC(target));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(target, width, height));
  if (!dc || !bitmap) return;
  ScopedSelect useBitmap(dc.Get(), bitmap.Get());

  const Palette colors = Colors();
  {
    ScopedGdiObject<HPEN> frame(CreatePen(PS_SOLID, 1, colors.frame));
    ScopedGdiObject<HBRUSH> background(CreateSolidBrush(colors.background));
    ScopedSelect pen(dc.Get(), frame.Get());
    ScopedSelect brush(dc.Get(), background.Get());
    Rectangle(dc.Get(), 0, 0, width, height);
  }
  // Too small for a scale: the frame alone.
  if (width > 2 * kMargin && height > 2 * kMargin && divisions_ > 0) {
    int32_t top = std::max<int32_t>(0, limit_);
    for (int32_t v : values_) top = std::max(top, v);

    ScopedGdiObject<HPEN> dotted(CreatePen(PS_DOT, 1, colors.grid));
    ScopedGdiObject<HPEN> solid(CreatePen(PS_SOLID, 1, colors.grid));
    {
      ScopedSelect pen(dc.Get(), dotted.Get());
      SetBkMode(dc.Get(), TRANSPARENT);
      for (int i = 1; i < divisions_; ++i) {
        int x = ((width - 2 * kMargin) / divisions_) * i + kMargin;
        Line(dc.Get(), x, 0, x, height);
      }
      int middle = (height - kMargin) - (height - 2 * kMargin) / 2;
      Line(dc.Get(), 1, middle, width - 1, middle);
    }
    {
      ScopedSelect pen(dc.Get(), solid.Get());
      Line(dc.Get(), 1, height - kMargin, width - 1, height - kMargin);
    }
    if (textMode_ == 1) {
      LOGFONTW look{};
      GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof look, &look);
      look.lfHeight = -MulDiv(kFontPoints, dpi, 72);
      ScopedGdiObject<HFONT> made(CreateFontIndirectW(&look));
      ScopedSelect font(dc.Get(), made ? made.Get() : GetStockObject(DEFAULT_GUI_FONT));
      SetTextColor(dc.Get(), colors.grid);
      TEXTMETRICW metrics{};
      GetTextMetricsW(dc.Get(), &metrics);
      std::wstring scale = std::to_wstring(top);
      const int left = MulDiv(2, dpi, USER_DEFAULT_SCREEN_DPI), inset = MulDiv(7, dpi, USER_DEFAULT_SCREEN_DPI);
      TextOutW(dc.Get(), left, inset, scale.c_str(), static_cast<int>(scale.size()));
      TextOutW(dc.Get(), left, height - metrics.tmHeight - inset, L"0", 1);
    }
    // A scale top of 0 (nothing above 0) would divide by zero: 1 keeps every
    // value on the base line. Multiplying before dividing puts the top exactly on y = 5.
    const double span = height - 2 * kMargin, divisor = top > 0 ? top : 1;
    auto y = [&](int32_t v) { return static_cast<int>((height - kMargin) - v * span / divisor); };
    if (limit_ != -1) {
      ScopedGdiObject<HPEN> dashed(CreatePen(PS_DASH, 1, colors.limit));
      ScopedSelect pen(dc.Get(), dashed.Get());
      Line(dc.Get(), 0, y(limit_), width, y(limit_));
    }
    if (!values_.empty() && points_ > 1) DrawCurve(dc.Get(), width, MulDiv(curveWidth_, dpi, USER_DEFAULT_SCREEN_DPI), y, colors.curve);
  }
  BitBlt(target, 0, 0, width, height, dc.Get(), 0, 0, SRCCOPY);
}

template <class ToY>
void Graphic::DrawCurve(HDC dc, int width, int penWidth, ToY y, COLORREF color) const {
  const double step = static_cast<double>(width - 2 * kMargin) / (points_ - 1);
  auto x = [&](size_t i) { return static_cast<int>(static_cast<double>(i) * step + kMargin); };
  ScopedGdiObject<HPEN> curve(CreatePen(PS_SOLID, penWidth, color));
  ScopedSelect pen(dc, curve.Get());
  if (values_[0] != -1) {
    Line(dc, kMargin - 1, y(values_[0]), kMargin + 1, y(values_[0]));
    MoveToEx(dc, kMargin, y(values_[0]), nullptr);
  }
  for (size_t i = 1; i < values_.size(); ++i) {
    if (values_[i] == -1) continue;
    if (values_[i - 1] == -1) MoveToEx(dc, x(i), y(values_[i]), nullptr);
    LineTo(dc, x(i), y(values_[i]));
  }
}

LRESULT Graphic::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kReflectedDrawItem) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    Draw(item.hDC, item.rcItem);
    return TRUE;
  }
  // Every paint covers the whole control in one transfer; erasing first would flicker.
  if (msg == WM_ERASEBKGND) return TRUE;
  if (contrast_.Update(msg, wParam)) InvalidateRect(Window(), nullptr, FALSE);
  return Default(msg, wParam, lParam);
}
