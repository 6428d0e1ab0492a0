#include "ui/ui_messages.h"

void DropQueuedPayloads(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, WM_APP_SET_STATUS, WM_APP_LAST, PM_REMOVE)) {
    delete reinterpret_cast<PayloadBox*>(msg.lParam);
  }
}
