#include "ui/color_list.h"

#include <commctrl.h>

#include "common/scoped_win.h"

namespace {
constexpr int kUntintedLeft = 40;  // the check box and the icon
}  // namespace

void ColorList::TintRows(HDC dc) const {
  int count = ListView_GetItemCount(Window());
  int first = ListView_GetTopIndex(Window());
  int last = first + ListView_GetCountPerPage(Window()) + 1;
  for (int row = first; row < count && row <= last; ++row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(Window(), &item)) continue;
    if (item.lParam != kRowWarning && item.lParam != kRowError) continue;
    RECT bounds{};
    if (!ListView_GetItemRect(Window(), row, &bounds, LVIR_BOUNDS)) continue;
    int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0) continue;
    ScopedMemoryDC memory(CreateCompatibleDC(dc));
    ScopedGdiObject<HBITMAP> tint(CreateCompatibleBitmap(dc, width, height));
    if (!memory || !tint) continue;
    ScopedSelect use(memory.Get(), tint.Get());
    RECT fill{0, 0, width, height};
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(item.lParam == kRowWarning ? kWarningTint : kErrorTint));
    FillRect(memory.Get(), &fill, brush.Get());
    BitBlt(dc, bounds.left + kUntintedLeft, bounds.top, width, height, memory.Get(), 0, 0, SRCAND);
  }
}

void ColorList::Paint() const {
  // The list paints itself and is tinted off-screen, then shown in one transfer,
  // so a repainted row never shows untinted for a moment.
  PAINTSTRUCT paint{};
  HDC screen = BeginPaint(Window(), &paint);
  if (screen == nullptr) return;
  RECT client{};
  GetClientRect(Window(), &client);
  HWND header = ListView_GetHeader(Window());
  if (header != nullptr && IsWindowVisible(header)) {
    RECT band{};
    GetWindowRect(header, &band);
    MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&band), 2);
    ExcludeClipRect(screen, band.left, band.top, band.right, band.bottom);
  }
  ScopedMemoryDC memory(CreateCompatibleDC(screen));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, client.right, client.bottom));
  if (memory && bitmap) {
    ScopedSelect use(memory.Get(), bitmap.Get());
    Default(WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory.Get()), 0);
    Default(WM_PAINT, reinterpret_cast<WPARAM>(memory.Get()), 0);
    TintRows(memory.Get());
    const RECT& r = paint.rcPaint;
    BitBlt(screen, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.Get(), r.left, r.top, SRCCOPY);
  }
  EndPaint(Window(), &paint);
}

LRESULT ColorList::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT && wParam == 0) {
    Paint();
    return 0;
  }
  // The paint fills the whole client area off-screen; erasing on screen first would flicker.
  if (msg == WM_ERASEBKGND) return 1;
  return Default(msg, wParam, lParam);
}
