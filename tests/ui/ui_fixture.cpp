#include "tests/ui/ui_fixture.h"

#include <commctrl.h>

namespace {

const wchar_t kHostClass[] = L"VarnalisTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, msg, wParam, lParam);
}

void RegisterHostClass() {
  static bool done = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kHostClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    return RegisterClassW(&wc) != 0;
  }();
  (void)done;
}

}  // namespace

HostWindow::HostWindow(int width, int height) {
  RegisterHostClass();
  window_ = CreateWindowExW(0, kHostClass, L"test host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 20, 20, width,
                            height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  PumpMessages();
}

HostWindow::~HostWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  PumpMessages();
}

HWND HostWindow::AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                            int height, int id) {
  HWND control = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                 nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return control;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

Canvas::Canvas(int width, int height) {
  ScopedWindowDC screen(nullptr);
  dc_.Reset(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  bitmap_.Reset(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  old_ = SelectObject(dc_.Get(), bitmap_.Get());
  RECT all{0, 0, width, height};
  FillRect(dc_.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

bool Canvas::Contains(const RECT& area, COLORREF color) const {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (Pixel(x, y) == color) return true;
    }
  }
  return false;
}

GuiObjects GuiObjects::Now() {
  return {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
}
