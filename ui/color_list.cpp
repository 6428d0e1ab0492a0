#include "ui/color_list.h"

#include <commctrl.h>

#include "common/scoped_win.h"

namespace {

constexpr int kUntintedLeft = 40;  // the check box and the icon

bool Dark(COLORREF color) {
  return GetRValue(color) * 299 + GetGValue(color) * 587 + GetBValue(color) * 114 < 128 * 1000;
}

}  // namespace

void ColorList::FrameRow(HDC dc, int row, const RECT& area, bool error) const {
  // Against the selection's own highlight the frame takes the selected text's colour.
  bool selected = ListView_GetItemState(Window(), row, LVIS_SELECTED) != 0;
  int width = error ? 2 : 1;
  ScopedGdiObject<HPEN> pen(
      CreatePen(PS_INSIDEFRAME, width, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_HIGHLIGHT)));
  ScopedSelect usePen(dc, pen.Get());
  ScopedSelect useBrush(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, area.left, area.top, area.right, area.bottom);
}

void ColorList::TintRows(HDC dc) const {
  COLORREF background = ListView_GetBkColor(Window());
  if (background == CLR_NONE) background = GetSysColor(COLOR_WINDOW);
  const bool dark = Dark(background);
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
    bool error = item.lParam == kRowError;
    if (contrast_.On()) {
      FrameRow(dc, row, bounds, error);  // around the whole row: a line through the text would hide a letter
      continue;
    }
    COLORREF tint = dark ? (error ? kDarkErrorTint : kDarkWarningTint) : (error ? kErrorTint : kWarningTint);
    ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(tint));
    ScopedSelect use(dc, brush.Get());
    constexpr DWORD kAndBrush = 0x00A000C9, kOrBrush = 0x00FA0089;
    int width = bounds.right - bounds.left - kUntintedLeft;  // a negative width would tint leftwards
    if (width <= 0) continue;
    PatBlt(dc, bounds.left + kUntintedLeft, bounds.top, width, bounds.bottom - bounds.top, dark ? kOrBrush : kAndBrush);
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
  if (contrast_.Update(msg, wParam)) InvalidateRect(Window(), nullptr, FALSE);
  return Default(msg, wParam, lParam);
}
