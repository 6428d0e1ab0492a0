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

LRESULT CALLBACK ColorList::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self) {
  auto* list = reinterpret_cast<ColorList*>(self);
  if (msg == WM_PAINT) {
    LRESULT result = DefSubclassProc(window, msg, wParam, lParam);
    {
      ScopedWindowDC dc(window);
      if (dc.Get() != nullptr) list->TintRows(dc.Get());
    }
    if (HWND header = ListView_GetHeader(window)) RedrawWindow(header, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return result;
  }
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(window, SubclassProc, kSubclassId);
    list->window_ = nullptr;
  }
  return DefSubclassProc(window, msg, wParam, lParam);
}
