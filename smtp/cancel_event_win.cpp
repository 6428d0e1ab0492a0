#include "smtp/cancel_event.h"

#include <windows.h>

namespace Smtp {

namespace {

HANDLE AsHandle(intptr_t native) { return reinterpret_cast<HANDLE>(native); }

}  // namespace

CancelEvent::~CancelEvent() {
  if (IsValid()) CloseHandle(AsHandle(native_));
}

uint32_t CancelEvent::Create() {
  // Manual reset: a raised event stays raised for every later wait.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return GetLastError();
  if (IsValid()) CloseHandle(AsHandle(native_));
  native_ = reinterpret_cast<intptr_t>(event);
  return 0;
}

bool CancelEvent::IsValid() const { return native_ != -1 && native_ != 0; }

uint32_t CancelEvent::Set() {
  if (!IsValid()) return 1;
  return SetEvent(AsHandle(native_)) ? 0 : GetLastError();
}

bool CancelEvent::IsSet() const {
  return IsValid() && WaitForSingleObject(AsHandle(native_), 0) == WAIT_OBJECT_0;
}

}  // namespace Smtp
