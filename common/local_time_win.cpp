#include "common/local_time.h"

#include <windows.h>

#include <cstdint>

namespace {

int64_t Ticks(const SYSTEMTIME& st) {
  FILETIME ft{};
  SystemTimeToFileTime(&st, &ft);
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

}  // namespace

LocalTime CurrentLocalTime() {
  // Both readings from one moment, so the offset holds across a change of summer time.
  SYSTEMTIME utc{}, st{};
  GetSystemTime(&utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &st)) st = utc;
  constexpr int64_t kTicksPerMinute = 600000000;
  int64_t offset = Ticks(st) - Ticks(utc);
  int minutes = static_cast<int>((offset + (offset >= 0 ? kTicksPerMinute / 2 : -kTicksPerMinute / 2)) / kTicksPerMinute);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, minutes};
}
