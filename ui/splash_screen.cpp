#include "ui/splash_screen.h"

#include <commctrl.h>

#include <string>

#include "common/product.h"
#include "notify/notify_host.h"
#include "ui/dpi.h"
#include "ui/strip_images.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
}  // namespace

SplashScreen::SplashScreen(int bitmapId, HWND parent, NotifyHost& tray, UINT durationMs)
    : bitmapId_(bitmapId), parent_(parent), tray_(tray), duration_(durationMs) {}

SplashScreen::~SplashScreen() {
  Destroy();
}

bool SplashScreen::Show() {
  bitmap_ = LoadArt(bitmapId_, WindowDpi(parent_));
  BITMAP info{};
  if (!bitmap_ || GetObjectW(bitmap_.Get(), sizeof info, &info) == 0) return false;
  width_ = info.bmWidth;
  height_ = info.bmHeight;
  int left = GetSystemMetrics(SM_CXSCREEN) / 2 - width_ / 2;
  int top = GetSystemMetrics(SM_CYSCREEN) / 2 - height_ / 2;
  HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WC_STATICW, L"", WS_POPUP | WS_VISIBLE, left, top,
                                width_, height_, parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return false;
  if (!Bind(window) || SetTimer(window, kTimerId, duration_, nullptr) == 0) {
    DestroyWindow(window);  // its WM_NCDESTROY unbinds
    return false;
  }
  InvalidateRect(window, nullptr, FALSE);
  return true;
}

void SplashScreen::OnTimer() {
  std::wstring product = kProductName;
  tray_.ShowTrayBalloon(product, product + L" started.\nClick here to configure monitoring settings.", kIconNormal,
                        kBalloonInfo);
  Destroy();
}

void SplashScreen::Destroy() {
  HWND window = Unbind();
  if (window == nullptr) return;
  KillTimer(window, kTimerId);
  DestroyWindow(window);
}

LRESULT SplashScreen::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(Window(), &paint);
      ScopedMemoryDC memory(CreateCompatibleDC(dc));
      if (memory) {
        ScopedSelect use(memory.Get(), bitmap_.Get());
        BitBlt(dc, 0, 0, width_, height_, memory.Get(), 0, 0, SRCCOPY);
      }
      EndPaint(Window(), &paint);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTimerId) {
        OnTimer();
        return 0;
      }
      break;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}
