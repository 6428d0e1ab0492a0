#pragma once
// Real windows for the in-process tests: a host window on the test's own
// thread, and drawing into memory DCs whose pixels the tests read back.
#include <windows.h>

#include <functional>

#include "common/scoped_win.h"

// A visible top-level window to put controls on; destroyed with the fixture.
class HostWindow {
 public:
  HostWindow(int width = 400, int height = 300);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Get() const { return window_; }
  HWND AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height,
                  int id);

 private:
  HWND window_ = nullptr;
};

// Lets queued and sent messages run, as a message loop would.
void PumpMessages();

// A 32-bit bitmap selected into a memory DC, white at first.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas() { SelectObject(dc_.Get(), old_); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC Dc() const { return dc_.Get(); }
  COLORREF Pixel(int x, int y) const { return GetPixel(dc_.Get(), x, y); }
  // True when some pixel of the rectangle has the colour.
  bool Contains(const RECT& area, COLORREF color) const;

 private:
  ScopedMemoryDC dc_;
  ScopedGdiObject<HBITMAP> bitmap_;
  HGDIOBJ old_ = nullptr;
};

// The process's GDI and USER object counts.
struct GuiObjects {
  DWORD gdi;
  DWORD user;
  static GuiObjects Now();
};
