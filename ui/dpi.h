#pragma once
// Pixel sizes given for 96 dots per inch, scaled to a window's monitor.
#include <windows.h>

// What Windows 10 sends a child after its top-level window's DPI changed; the
// program builds for Windows 7, whose headers lack it.
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

// The window's dots per inch: what its top-level window last heard in
// WM_DPICHANGED, else its monitor's where the system says (Windows 10 and
// later), else the screen's.
int WindowDpi(HWND window);

// pixels at 96 DPI, scaled to the window's DPI.
int ScaleForWindow(HWND window, int pixels);

// A top-level window's new DPI from its WM_DPICHANGED, for itself and its
// children; 0 forgets it (before the window goes).
void SetWindowDpi(HWND topLevel, int dpi);
