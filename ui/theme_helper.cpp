#include "ui/theme_helper.h"

namespace {
constexpr HRESULT kFailed = static_cast<HRESULT>(0x80004005);  // E_FAIL
}

CThemeHelper::CThemeHelper() : CThemeHelper(L"UxTheme.dll") {}

CThemeHelper::CThemeHelper(const wchar_t* library) : library_(LoadLibraryW(library)) {}

template <class Function>
Function CThemeHelper::Find(const char* name) const {
  if (!library_) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library_.Get(), name)));
}

HTHEME CThemeHelper::OpenThemeData(HWND window, LPCWSTR classList) const {
  auto f = Find<HTHEME(WINAPI*)(HWND, LPCWSTR)>("OpenThemeData");
  return f ? f(window, classList) : nullptr;
}

HRESULT CThemeHelper::CloseThemeData(HTHEME theme) const {
  auto f = Find<HRESULT(WINAPI*)(HTHEME)>("CloseThemeData");
  return f ? f(theme) : kFailed;
}

HRESULT CThemeHelper::DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                          const RECT* clip) const {
  auto f = Find<HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*)>("DrawThemeBackground");
  return f ? f(theme, dc, part, state, rect, clip) : kFailed;
}

HRESULT CThemeHelper::GetThemeBackgroundContentRect(HTHEME theme, HDC dc, int part, int state, const RECT* bounds,
                                                    RECT* content) const {
  auto f = Find<HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, RECT*)>("GetThemeBackgroundContentRect");
  return f ? f(theme, dc, part, state, bounds, content) : kFailed;
}

HRESULT CThemeHelper::DrawThemeParentBackground(HWND window, HDC dc, const RECT* rect) const {
  auto f = Find<HRESULT(WINAPI*)(HWND, HDC, const RECT*)>("DrawThemeParentBackground");
  return f ? f(window, dc, rect) : kFailed;
}

bool CThemeHelper::IsThemeActive() const {
  auto f = Find<BOOL(WINAPI*)()>("IsThemeActive");
  return f && f();
}

bool CThemeHelper::IsAppThemed() const {
  auto f = Find<BOOL(WINAPI*)()>("IsAppThemed");
  return f && f();
}

bool CThemeHelper::IsThemeBackgroundPartiallyTransparent(HTHEME theme, int part, int state) const {
  auto f = Find<BOOL(WINAPI*)(HTHEME, int, int)>("IsThemeBackgroundPartiallyTransparent");
  return f && f(theme, part, state);
}
