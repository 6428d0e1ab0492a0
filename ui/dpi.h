#pragma once
// Pixel sizes given for 96 dots per inch, scaled to a window's monitor.
#include <windows.h>

// The window's dots per inch: its monitor's where the system says (Windows
// 10 and later), else the screen's.
int WindowDpi(HWND window);

// pixels at 96 DPI, scaled to the window's DPI.
int ScaleForWindow(HWND window, int pixels);
