#include "ui/splash_screen.h"

#include <commctrl.h>

#include <string>

#include "common/product.h"
#include "notify/notify_host.h"

namespace {
constexpr UINT_PTR kSubclassId = 0xC004;
constexpr UINT_PTR kTimerId = 1;
}  // namespace

SplashScreen::SplashScreen(int bitmapId, HWND parent, NotifyHost& tray, UINT durationMs)
    : bitmapId_(bitmapId), parent_(parent), tray_(tray), duration_(durationMs) {}

SplashScreen::~SplashScreen() {
  Destroy();
}

bool SplashScreen::Show() {
  bitmap_.Reset(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId_), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  BITMAP info{};
  if (!bitmap_ || GetObjectW(bitmap_.Get(), sizeof info, &info) == 0) return false;
  width_ = info.bmWidth;
  height_ = info.bmHeight;
  int left = GetSystemMetrics(SM_CXSCREEN) / 2 - width_ / 2;
  int top = GetSystemMetrics(SM_CYSCREEN) / 2 - height_ / 2;
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WC_STATICW, L"", WS_POPUP | WS_VISIBLE, left, top,
                            width_, height_, parent_, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window_ == nullptr) return false;
  if (!SetWindowSubclass(window_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) ||
      SetTimer(window_, kTimerId, duration_, nullptr) == 0) {
    Destroy();
    return false;
  }
  InvalidateRect(window_, nullptr, FALSE);
  return true;
}

void SplashScreen::OnTimer() {
  std::wstring product = kProductName;
  tray_.ShowTrayBalloon(product, product + L" started.\nClick here to configure monitoring settings.", kIconNormal,
                        kBalloonInfo);
  Destroy();
}

void SplashScreen::Destroy() {
  if (window_ == nullptr) return;
  HWND window = window_;
  window_ = nullptr;
  KillTimer(window, kTimerId);
  RemoveWindowSubclass(window, SubclassProc, kSubclassId);
  DestroyWindow(window);
}

LRESULT CALLBACK SplashScreen::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR self) {
  auto* splash = reinterpret_cast<SplashScreen*>(self);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      ScopedMemoryDC memory(CreateCompatibleDC(dc));
      if (memory) {
        ScopedSelect use(memory.Get(), splash->bitmap_.Get());
        BitBlt(dc, 0, 0, splash->width_, splash->height_, memory.Get(), 0, 0, SRCCOPY);
      }
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTimerId) {
        splash->OnTimer();
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, SubclassProc, kSubclassId);
      splash->window_ = nullptr;
      break;
    default:
      break;
  }
  return DefSubclassProc(window, msg, wParam, lParam);
}
