#include <windows.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "notify/notify_host.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/dpi.h"
#include "ui/splash_screen.h"

namespace {

struct Balloon {
  std::wstring title, text;
  int icon, kind;
};

// Records what reaches the tray.
class RecordingTray final : public NotifyHost {
 public:
  void SetTrayIcon(int) override {}
  void ShowTrayBalloon(const std::wstring& title, const std::wstring& text, int icon, int kind) override {
    balloons.push_back({title, text, icon, kind});
  }
  void OpenMainWindow() override {}
  void ShowNotificationBox(const std::wstring&, const std::wstring&, int) override {}
  void PlayInformationSound() override {}
  std::vector<Balloon> balloons;
};

}  // namespace

TEST_CASE("the splash shows its picture centred and on top, then gives way to the start balloon; without a picture, nothing") {
  HostWindow owner(10, 10);
  SetWindowDpi(owner.Get(), 192);  // the picture drawn for 200 %
  RecordingTray tray;
  SplashScreen splash(IDB_SPLASH, owner.Get(), tray, 300);
  REQUIRE(splash.Show());
  SetWindowDpi(owner.Get(), 0);
  HWND window = splash.Window();
  REQUIRE(window != nullptr);
  RECT rect{};
  GetWindowRect(window, &rect);
  CHECK(rect.right - rect.left == 600);
  CHECK(rect.bottom - rect.top == 300);
  CHECK(rect.left == GetSystemMetrics(SM_CXSCREEN) / 2 - 300);
  CHECK(rect.top == GetSystemMetrics(SM_CYSCREEN) / 2 - 150);
  CHECK((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
  CHECK(GetWindow(window, GW_OWNER) == owner.Get());
  CHECK(tray.balloons.empty());

  CHECK(WaitFor([&] {
    PumpMessages();
    return !IsWindow(window);
  }));
  REQUIRE(tray.balloons.size() == 1);
  CHECK(tray.balloons[0].title == L"Varnalis 1.4");
  CHECK(tray.balloons[0].text == L"Varnalis 1.4 started.\nClick here to configure monitoring settings.");
  CHECK(tray.balloons[0].icon == kIconNormal);
  CHECK(tray.balloons[0].kind == kBalloonInfo);

  // A missing picture shows nothing and no balloon; an early end takes the window down.
  tray.balloons.clear();
  {
    SplashScreen missing(4242, owner.Get(), tray, 100);
    CHECK_FALSE(missing.Show());
    CHECK(missing.Window() == nullptr);
  }
  {
    SplashScreen early(IDB_SPLASH, owner.Get(), tray, 60000);
    REQUIRE(early.Show());
    window = early.Window();
  }
  CHECK_FALSE(IsWindow(window));
  PumpMessages();  // a timer of the window's would be gone with it
  CHECK(tray.balloons.empty());
}
