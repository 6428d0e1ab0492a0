#include "ui/dpi.h"

#include "common/scoped_win.h"

namespace {
constexpr wchar_t kDpiProperty[] = L"Varnalis.Dpi";
}  // namespace

int WindowDpi(HWND window) {
  // The DPI the window was last told of wins: its layout follows that.
  if (window != nullptr) {
    if (HWND root = GetAncestor(window, GA_ROOT)) {
      if (auto dpi = reinterpret_cast<INT_PTR>(GetPropW(root, kDpiProperty)); dpi > 0) return static_cast<int>(dpi);
    }
  }
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

void SetWindowDpi(HWND topLevel, int dpi) {
  if (dpi > 0) {
    SetPropW(topLevel, kDpiProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dpi)));
  } else {
    RemovePropW(topLevel, kDpiProperty);
  }
}
