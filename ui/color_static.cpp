#include "ui/color_static.h"

#include <commctrl.h>

#include "common/scoped_win.h"
#include "ui/dpi.h"

namespace {
constexpr UINT_PTR kSubclassId = 0xC002;
constexpr int kTextLeft = 10;
constexpr int kFontHeight = 20;
}  // namespace

ColorStatic::ColorStatic(COLORREF background, COLORREF text) : background_(background), textColor_(text) {}

ColorStatic::~ColorStatic() {
  if (window_ != nullptr) RemoveWindowSubclass(window_, SubclassProc, kSubclassId);
}

bool ColorStatic::Attach(HWND control) {
  if (control == nullptr || window_ != nullptr) return false;
  if (!SetWindowSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  window_ = control;
  return true;
}

void ColorStatic::SetText(const std::wstring& text) {
  text_ = text;
  if (window_ == nullptr) return;
  SetWindowTextW(window_, text.c_str());  // the name screen readers read
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void ColorStatic::Paint(HDC dc) const {
  RECT client{};
  GetClientRect(window_, &client);
  int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return;
  // Through an off-screen bitmap, so the band never flickers.
  ScopedMemoryDC memory(CreateCompatibleDC(dc));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
  if (!memory || !bitmap) return;
  {
    ScopedSelect useBitmap(memory.Get(), bitmap.Get());
    ScopedGdiObject<HBRUSH> band(CreateSolidBrush(background_));
    FillRect(memory.Get(), &client, band.Get());

    LOGFONTW font{};
    HFONT own = reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
    GetObjectW(own != nullptr ? own : GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfWeight = FW_BOLD;
    font.lfHeight = ScaleForWindow(window_, kFontHeight);
    font.lfWidth = 0;
    ScopedGdiObject<HFONT> bold(CreateFontIndirectW(&font));
    ScopedSelect useFont(memory.Get(), bold.Get());
    SetBkMode(memory.Get(), TRANSPARENT);
    SetTextColor(memory.Get(), textColor_);
    TextOutW(memory.Get(), ScaleForWindow(window_, kTextLeft), 0, text_.c_str(), static_cast<int>(text_.size()));
    BitBlt(dc, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
  }
}

LRESULT CALLBACK ColorStatic::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self) {
  auto* control = reinterpret_cast<ColorStatic*>(self);
  switch (msg) {
    case WM_ERASEBKGND:
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      control->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      control->Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, SubclassProc, kSubclassId);
      control->window_ = nullptr;
      break;
    default:
      break;
  }
  return DefSubclassProc(window, msg, wParam, lParam);
}
