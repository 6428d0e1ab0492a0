#pragma once
// Move-only owners of Windows handles and COM references: each closes or
// releases what it holds exactly once.
#include <windows.h>
#include <commctrl.h>

#include <utility>

template <class T, class Traits>
class Scoped {
 public:
  Scoped() = default;
  explicit Scoped(T value) : value_(value) {}
  ~Scoped() { Reset(); }
  Scoped(Scoped&& other) noexcept : value_(other.Release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  T Get() const { return value_; }
  // For owners of pointers: to a structure or a COM interface.
  T operator->() const { return value_; }
  explicit operator bool() const { return !Traits::IsEmpty(value_); }
  T Release() { return std::exchange(value_, Traits::Empty()); }
  // For a call that hands out a new one: what was held goes first.
  T* Out() {
    Reset();
    return &value_;
  }
  void Reset(T value = Traits::Empty()) {
    T old = std::exchange(value_, value);
    if (!Traits::IsEmpty(old)) Traits::Close(old);
  }

 private:
  T value_ = Traits::Empty();
};

template <class T, auto CloseFunction>
struct NullTraits {
  static T Empty() { return nullptr; }
  static bool IsEmpty(T value) { return value == nullptr; }
  static void Close(T value) { CloseFunction(value); }
};

// CreateFile says INVALID_HANDLE_VALUE where others say null: both are empty.
struct HandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool IsEmpty(HANDLE value) { return value == nullptr || value == INVALID_HANDLE_VALUE; }
  static void Close(HANDLE value) { CloseHandle(value); }
};

using ScopedHandle = Scoped<HANDLE, HandleTraits>;
using ScopedRegKey = Scoped<HKEY, NullTraits<HKEY, RegCloseKey>>;
using ScopedModule = Scoped<HMODULE, NullTraits<HMODULE, FreeLibrary>>;
using ScopedIcon = Scoped<HICON, NullTraits<HICON, DestroyIcon>>;
using ScopedMenu = Scoped<HMENU, NullTraits<HMENU, DestroyMenu>>;
using ScopedMemoryDC = Scoped<HDC, NullTraits<HDC, DeleteDC>>;
using ScopedImageList = Scoped<HIMAGELIST, NullTraits<HIMAGELIST, ImageList_Destroy>>;

// Bitmaps, brushes, pens, fonts and regions.
template <class T>
using ScopedGdiObject = Scoped<T, NullTraits<T, DeleteObject>>;

template <class T>
void ReleaseCom(T* value) {
  value->Release();
}

// One reference to a COM interface.
template <class T>
using ScopedCom = Scoped<T*, NullTraits<T*, ReleaseCom<T>>>;

// Puts back what was selected into a DC before.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~ScopedSelect() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A window's DC from GetDC, released to that window.
class ScopedWindowDC {
 public:
  explicit ScopedWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScopedWindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  ScopedWindowDC(const ScopedWindowDC&) = delete;
  ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};
