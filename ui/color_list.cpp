#include "ui/color_list.h"

#include <commctrl.h>

#include "common/scoped_win.h"

namespace {
constexpr UINT_PTR kSubclassId = 0xC003;
constexpr int kUntintedLeft = 40;  // the check box and the icon
}  // namespace

ColorList::~ColorList() {
  if (window_ != nullptr) RemoveWindowSubclass(window_, SubclassProc, kSubclassId);
}

bool ColorList::Attach(HWND list) {
  if (list == nullptr || window_ != nullptr) return false;
  if (!SetWindowSubclass(list, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  window_ = list;
  return true;
}

void ColorList::TintRows(HDC dc) const {
  int count = ListView_GetItemCount(window_);
  int first = ListView_GetTopIndex(window_);
  int last = first + ListView_GetCountPerPage(window_) + 1;
  for (int row = first; row < count && row <= last; ++row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(window_, &item)) continue;
    if (item.lParam != kRowWarning && item.lParam != kRowError) continue;
    RECT bounds{};
    if (!ListView_GetItemRect(window_, row, &bounds, LVIR_BOUNDS)) continue;
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
  HDC screen = BeginPaint(window_, &paint);
  if (screen == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  HWND header = ListView_GetHeader(window_);
  if (header != nullptr && IsWindowVisible(header)) {
    RECT band{};
    GetWindowRect(header, &band);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&band), 2);
    ExcludeClipRect(screen, band.left, band.top, band.right, band.bottom);
  }
  ScopedMemoryDC memory(CreateCompatibleDC(screen));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, client.right, client.bottom));
  if (memory && bitmap) {
    ScopedSelect use(memory.Get(), bitmap.Get());
    DefSubclassProc(window_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory.Get()), 0);
    DefSubclassProc(window_, WM_PAINT, reinterpret_cast<WPARAM>(memory.Get()), 0);
    TintRows(memory.Get());
    const RECT& r = paint.rcPaint;
    BitBlt(screen, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.Get(), r.left, r.top, SRCCOPY);
  }
  EndPaint(window_, &paint);
}

LRESULT CALLBACK ColorList::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) {
  auto* list = reinterpret_cast<ColorList*>(self);
  if (msg == WM_PAINT && wParam == 0) {
    list->Paint();
    return 0;
  }
  // The paint fills the whole client area off-screen; erasing on screen first would flicker.
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(window, SubclassProc, kSubclassId);
    list->window_ = nullptr;
  }
  return DefSubclassProc(window, msg, wParam, lParam);
}
