#include "ui/color_static.h"

#include "common/scoped_win.h"
#include "ui/dpi.h"

namespace {
constexpr int kTextLeft = 10;
constexpr int kFontHeight = 20;
}  // namespace

ColorStatic::ColorStatic(COLORREF background, COLORREF text) : background_(background), textColor_(text) {}

void ColorStatic::SetText(const std::wstring& text) {
  text_ = text;
  if (Window() == nullptr) return;
  SetWindowTextW(Window(), text.c_str());  // the name screen readers read
  RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void ColorStatic::Paint(HDC dc) const {
  RECT client{};
  GetClientRect(Window(), &client);
  int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return;
  // Through an off-screen bitmap, so the band never flickers.
  ScopedMemoryDC memory(CreateCompatibleDC(dc));
  ScopedGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
  if (!memory || !bitmap) return;
  {
    ScopedSelect useBitmap(memory.Get(), bitmap.Get());
    ScopedGdiObject<HBRUSH> band(CreateSolidBrush(contrast_.On() ? GetSysColor(COLOR_WINDOW) : background_));
    FillRect(memory.Get(), &client, band.Get());

    LOGFONTW font{};
    HFONT own = reinterpret_cast<HFONT>(SendMessageW(Window(), WM_GETFONT, 0, 0));
    GetObjectW(own != nullptr ? own : GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfWeight = FW_BOLD;
    font.lfHeight = ScaleForWindow(Window(), kFontHeight);
    font.lfWidth = 0;
    ScopedGdiObject<HFONT> bold(CreateFontIndirectW(&font));
    ScopedSelect useFont(memory.Get(), bold.Get());
    SetBkMode(memory.Get(), TRANSPARENT);
    SetTextColor(memory.Get(), contrast_.On() ? GetSysColor(COLOR_WINDOWTEXT) : textColor_);
    TextOutW(memory.Get(), ScaleForWindow(Window(), kTextLeft), 0, text_.c_str(), static_cast<int>(text_.size()));
    BitBlt(dc, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
  }
}

LRESULT ColorStatic::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (contrast_.Update(msg, wParam)) InvalidateRect(Window(), nullptr, FALSE);
  switch (msg) {
    case WM_ERASEBKGND:
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(Window(), &paint);
      Paint(dc);
      EndPaint(Window(), &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      return Default(msg, wParam, lParam);
  }
}
