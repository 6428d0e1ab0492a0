#include "common/local_time.h"

#include <windows.h>

LocalTime CurrentLocalTime() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}
