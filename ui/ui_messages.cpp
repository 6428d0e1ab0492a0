#include "ui/ui_messages.h"

void DropQueuedPayloads(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, WM_APP_SET_STATUS, WM_APP_LAST, PM_REMOVE)) {
    delete reinterpret_cast<PayloadBox*>(msg.lParam);
  }
}

bool ReflectDrawItem(LPARAM drawItem) {
  auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(drawItem);
  if (item == nullptr || (item->CtlType != ODT_BUTTON && item->CtlType != ODT_STATIC)) return false;
  return SendMessageW(item->hwndItem, kReflectedDrawItem, 0, drawItem) != 0;
}
