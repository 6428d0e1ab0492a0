#include "ui/dpi.h"

#include "common/scoped_win.h"

int WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    if (UINT dpi = getDpiForWindow(window); dpi != 0) return static_cast<int>(dpi);
  }
  ScopedWindowDC screen(nullptr);
  int dpi = screen.Get() != nullptr ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int ScaleForWindow(HWND window, int pixels) {
  return MulDiv(pixels, WindowDpi(window), USER_DEFAULT_SCREEN_DPI);
}
