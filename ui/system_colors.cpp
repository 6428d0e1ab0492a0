#include "ui/system_colors.h"

#include <atomic>

namespace {
std::atomic<int> forced{-1};  // -1: ask the system
}  // namespace

bool HighContrastOn() {
  int answer = forced.load();
  if (answer >= 0) return answer != 0;
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void OverrideHighContrast(std::optional<bool> on) {
  forced = on ? static_cast<int>(*on) : -1;
}

bool IsColorChange(UINT msg, WPARAM wParam) {
  return msg == WM_SYSCOLORCHANGE || (msg == WM_SETTINGCHANGE && wParam == SPI_SETHIGHCONTRAST);
}

bool ContrastWatch::Update(UINT msg, WPARAM wParam) {
  if (!IsColorChange(msg, wParam)) return false;
  on_ = HighContrastOn();
  return true;
}

void ForwardColorChange(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsColorChange(msg, wParam)) return;
  struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
  } message{msg, wParam, lParam};
  // EnumChildWindows visits every level, so the pages' controls hear it too.
  EnumChildWindows(
      window,
      [](HWND child, LPARAM param) -> BOOL {
        const auto& m = *reinterpret_cast<const Message*>(param);
        SendMessageW(child, m.msg, m.wParam, m.lParam);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&message));
}
