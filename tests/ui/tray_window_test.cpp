#include <windows.h>
#include <doctest/doctest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/local_time.h"
#include "common/scoped_win.h"
#include "notify/quiet_time.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "tests/ui/ui_fixture.h"
#include "ui/app_commands.h"
#include "ui/dpi.h"
#include "ui/notification_box.h"
#include "ui/tray_window.h"
#include "ui/ui_messages.h"

namespace {

struct Call {
  DWORD message;
  NOTIFYICONDATAW data;
};

struct Menu {
  UINT flags;
  POINT at;
  std::vector<std::wstring> pauseItems;  // the texts of the pause commands, in the menu's order
  bool resume;
};

class Commands final : public AppCommands {
 public:
  void StartMonitoring() override { said.push_back("start"); }
  void StopMonitoring() override { said.push_back("stop"); }
  bool IsMonitoringOn() const override { return true; }
  void OpenMainWindow() override { said.push_back("open"); }
  void ExitApplication() override { said.push_back("exit"); }
  void ApplyHideIcon() override { said.push_back("hide icon"); }
  void PauseNotifications(int32_t until) override {
    said.push_back("pause");
    pausedUntil = until;
  }
  std::vector<std::string> said;
  int64_t pausedUntil = 0;
};

// The tray window as built, with the shell's side recorded and its refusals
// scripted; the menu is recorded where it would open.
class RecordingTray final : public MainWnd {
 public:
  using MainWnd::MainWnd;
  std::vector<Call> calls;
  std::vector<DWORD> refuse;  // the next calls of these kinds fail, once each
  std::vector<Menu> menus;
  const Commands* commands = nullptr;
  bool openedDuringMenu = false;

 protected:
  bool Notify(DWORD message, NOTIFYICONDATAW& data) override {
    calls.push_back({message, data});
    for (auto it = refuse.begin(); it != refuse.end(); ++it) {
      if (*it != message) continue;
      refuse.erase(it);
      return false;
    }
    return true;
  }
  void TrackMenu(HMENU menu, UINT flags, POINT at) override {
    Menu shown{flags, at, {}, GetMenuState(menu, ID_TRAY_RESUME, MF_BYCOMMAND) != static_cast<UINT>(-1)};
    for (UINT id : {ID_TRAY_PAUSE_15M, ID_TRAY_PAUSE_1H, ID_TRAY_PAUSE_4H, ID_TRAY_PAUSE_FOREVER}) {
      wchar_t text[64]{};
      GetMenuStringW(menu, id, text, 64, MF_BYCOMMAND);  // searches the submenus too
      shown.pauseItems.push_back(text);
    }
    menus.push_back(shown);
    // Some shells send Enter on the icon twice: the second comes while the menu is open.
    SendMessageW(Window(), WM_TRAY_CALLBACK, MAKEWPARAM(at.x, at.y), MAKELPARAM(NIN_KEYSELECT, 0));
    // So may a second start of the program, asking for the dialog.
    SendMessageW(Window(), WM_COMMAND, ID_TRAY_OPEN, 0);
    openedDuringMenu = commands != nullptr && !commands->said.empty() && commands->said.back() == "open";
  }
};

struct Fixture {
  Settings settings;
  Commands app;
  NotificationBoxes boxes;
  RecordingTray tray{settings.Connection, settings.Quiet, app, boxes};
  Fixture() { tray.commands = &app; }
};

}  // namespace

TEST_CASE("tray texts are cut to their fields, never between the halves of a pair") {
  const std::wstring pair = L"\xD83D\xDE00";  // one character outside the BMP
  struct Row {
    std::wstring text;
    size_t field;
    size_t kept;
  };
  const Row rows[] = {
      {std::wstring(200, L'a'), 128, 127},
      {std::wstring(126, L'a') + pair, 128, 126},  // the pair would end at 128: it goes whole
      {std::wstring(125, L'a') + pair, 128, 127},
      {L"short", 64, 5},
      {L"", 64, 0},
  };
  for (const Row& row : rows) {
    CAPTURE(row.kept);
    CHECK(FitTrayText(row.text, row.field) == row.text.substr(0, row.kept));
  }
}

TEST_CASE("one tray window of the name; icons: added once with the newer callbacks, then changed; 0 removes") {
  Fixture f;
  REQUIRE(f.tray.Create());
  Fixture second;
  CHECK_FALSE(second.tray.Create());
  CHECK(second.tray.Window() == nullptr);
  f.tray.SetTrayIcon(IDI_NORMAL);
  REQUIRE(f.tray.calls.size() == 2);
  const NOTIFYICONDATAW& added = f.tray.calls[0].data;
  CHECK(f.tray.calls[0].message == NIM_ADD);
  CHECK(added.uID == 0u);
  CHECK(added.uCallbackMessage == 0x8064u);
  CHECK(added.hIcon != nullptr);
  CHECK((added.uFlags & NIF_SHOWTIP) != 0);
  CHECK(std::wstring(added.szTip) == L"Varnalis 1.4 - localhost");
  CHECK(f.tray.calls[1].message == NIM_SETVERSION);
  CHECK(f.tray.calls[1].data.uVersion == static_cast<UINT>(NOTIFYICON_VERSION_4));

  f.tray.SetTrayIcon(IDI_STOPPED);
  CHECK(f.tray.calls.back().message == NIM_MODIFY);
  HICON stopped = f.tray.calls.back().data.hIcon;
  f.tray.SetTrayIcon(IDI_PAUSED);
  CHECK(f.tray.calls.back().data.hIcon != nullptr);
  CHECK(f.tray.calls.back().data.hIcon != stopped);

  f.tray.ShowTrayBalloon(std::wstring(100, L't'), L"body", IDI_ALERT, kBalloonError);
  const NOTIFYICONDATAW& balloon = f.tray.calls.back().data;
  CHECK(std::wstring(balloon.szInfoTitle) == std::wstring(63, L't'));
  CHECK(balloon.dwInfoFlags == static_cast<DWORD>(kBalloonError));
  CHECK((balloon.uFlags & NIF_ICON) != 0);

  f.tray.ShowTrayBalloon(L"back", L"to normal", kIconNone, kBalloonInfo);
  CHECK((f.tray.calls.back().data.uFlags & NIF_ICON) == 0);

  f.tray.SetTrayIcon(kIconNone);
  CHECK(f.tray.calls.back().message == NIM_DELETE);
  CHECK_FALSE(f.tray.IconAdded());
}

TEST_CASE("from the monitor thread the tray only posts; the icon returns when the shell restarts") {
  Fixture f;
  REQUIRE(f.tray.Create());
  std::thread monitor([&] {
    f.tray.SetTrayIcon(IDI_ALERT);
    f.tray.ShowTrayBalloon(L"CPU Usage on Localhost Error.", L"body", IDI_ALERT, kBalloonError);
    f.tray.OpenMainWindow();
  });
  monitor.join();
  CHECK(f.tray.calls.empty());
  PumpMessages();
  REQUIRE(f.tray.calls.size() == 3);
  CHECK(f.tray.calls[2].message == NIM_MODIFY);
  CHECK(f.app.said == std::vector<std::string>{"open"});

  SendMessageW(f.tray.Window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  REQUIRE(f.tray.calls.size() == 5);
  CHECK(f.tray.calls[3].message == NIM_ADD);
  CHECK(f.tray.calls[3].data.hIcon == f.tray.calls[0].data.hIcon);
}

TEST_CASE("an icon the shell refuses is added again: on a timer after a failed add, at once after a failed change") {
  Fixture f;
  REQUIRE(f.tray.Create());
  f.tray.refuse = {NIM_ADD};
  f.tray.SetTrayIcon(IDI_NORMAL);
  CHECK_FALSE(f.tray.IconAdded());
  f.tray.SetTrayIcon(IDI_ALERT);  // still not there: another add, not a change
  REQUIRE(f.tray.calls.size() == 3);
  CHECK(f.tray.calls[1].message == NIM_ADD);
  REQUIRE(f.tray.IconAdded());
  HICON alert = f.tray.calls[1].data.hIcon;

  f.tray.calls.clear();
  f.tray.refuse = {NIM_ADD};
  f.tray.SetTrayIcon(kIconNone);
  f.tray.SetTrayIcon(IDI_ALERT);
  CHECK_MESSAGE(WaitFor([&] {
    PumpMessages();
    return f.tray.IconAdded();
  }, 10000), "awaited: the retry timer's add");
  REQUIRE(f.tray.calls.size() == 4);  // delete, refused add, the timer's add, its version
  CHECK(f.tray.calls[2].message == NIM_ADD);
  CHECK(f.tray.calls[2].data.hIcon == alert);

  f.tray.calls.clear();
  f.tray.refuse = {NIM_MODIFY};
  f.tray.SetTrayIcon(IDI_NORMAL);
  REQUIRE(f.tray.calls.size() == 3);
  CHECK(f.tray.calls[0].message == NIM_MODIFY);
  CHECK(f.tray.calls[1].message == NIM_ADD);
  CHECK(f.tray.calls[1].data.hIcon != alert);
  CHECK(f.tray.IconAdded());
}

TEST_CASE("the tip follows the computer and names the parameters in error") {
  Fixture f;
  REQUIRE(f.tray.Create());
  f.tray.SetTrayIcon(IDI_NORMAL);
  auto tip = [&] { return std::wstring(f.tray.calls.back().data.szTip); };

  f.settings.Connection.local = false;
  f.settings.Connection.server.Set(L"db01.example.org");
  f.tray.RefreshTip();
  CHECK(f.tray.calls.back().message == NIM_MODIFY);
  CHECK(tip() == L"Varnalis 1.4 - db01.example.org");
  size_t sent = f.tray.calls.size();
  f.tray.RefreshTip();
  CHECK(f.tray.calls.size() == sent);  // nothing new to say

  struct Row {
    std::vector<std::wstring> inError;
    std::wstring tip;
  };
  const Row rows[] = {
      {{L"CPU Usage", L"Disk Uage (C:)"}, L"Varnalis 1.4 - db01.example.org\nError: CPU Usage, Disk Uage (C:)"},
      {{std::wstring(200, L'n')}, (L"Varnalis 1.4 - db01.example.org\nError: " + std::wstring(200, L'n')).substr(0, 127)},
      {{}, L"Varnalis 1.4 - db01.example.org"},
  };
  for (const Row& row : rows) {
    std::thread monitor([&] { f.tray.SetParametersInError(row.inError); });
    monitor.join();
    PumpMessages();
    CHECK(tip() == row.tip);
  }
}

TEST_CASE("a pause: the menu offers it and Resume only while one holds; the tip says until when; a choice sets its end") {
  Fixture f;
  REQUIRE(f.tray.Create());
  f.tray.SetTrayIcon(IDI_NORMAL);
  const int64_t now = EpochSeconds(CurrentLocalTime());
  const std::wstring head = L"Varnalis 1.4 - localhost";
  struct Row {
    int64_t pausedUntil;
    std::vector<std::wstring> inError;
    bool resume;
    std::wstring tip;  // its start; a clock time follows where it ends in "until "
  };
  const Row rows[] = {
      {0, {}, false, head},
      {-1, {}, true, head + L"\nNotifications paused until resumed"},
      {-1, {L"CPU Usage"}, true, head + L"\nNotifications paused until resumed\nError: CPU Usage"},
      {now + 3600, {}, true, head + L"\nNotifications paused until "},
      {now - 10, {L"CPU Usage"}, false, head + L"\nError: CPU Usage"},  // ran out: the monitor clears it
      {-1, {std::wstring(200, L'n')}, true,
       (head + L"\nNotifications paused until resumed\nError: " + std::wstring(200, L'n')).substr(0, 127)},
  };
  for (const Row& row : rows) {
    CAPTURE(row.pausedUntil);
    f.settings.Quiet.PausedUntil = static_cast<int32_t>(row.pausedUntil);
    std::thread monitor([&] { f.tray.SetParametersInError(row.inError); });
    monitor.join();
    PumpMessages();
    std::wstring tip = f.tray.calls.back().data.szTip;
    CHECK(tip.substr(0, row.tip.size()) == row.tip);
    if (row.tip.back() == L' ') CHECK(tip.size() == row.tip.size() + 5);  // "06:00"
    f.tray.menus.clear();
    SendMessageW(f.tray.Window(), WM_TRAY_CALLBACK, 0, MAKELPARAM(WM_CONTEXTMENU, 0));
    REQUIRE(f.tray.menus.size() == 1);
    CHECK(f.tray.menus[0].resume == row.resume);
    CHECK(f.tray.menus[0].pauseItems ==
          std::vector<std::wstring>{L"1&5 minutes", L"&1 hour", L"&4 hours", L"&Until I resume"});
  }

  struct Choice {
    UINT command;
    int64_t seconds;  // from now; 0 and -1 as they are
  };
  const Choice choices[] = {{ID_TRAY_PAUSE_15M, 900},
                            {ID_TRAY_PAUSE_1H, 3600},
                            {ID_TRAY_PAUSE_4H, 14400},
                            {ID_TRAY_PAUSE_FOREVER, -1},
                            {ID_TRAY_RESUME, 0}};
  for (const Choice& choice : choices) {
    CAPTURE(choice.command);
    f.app.said.clear();
    const int64_t before = EpochSeconds(CurrentLocalTime());
    SendMessageW(f.tray.Window(), WM_COMMAND, choice.command, 0);
    const int64_t after = EpochSeconds(CurrentLocalTime());
    CHECK(f.app.said == std::vector<std::string>{"pause"});
    if (choice.seconds > 0) {
      CHECK(f.app.pausedUntil >= before + choice.seconds);
      CHECK(f.app.pausedUntil <= after + choice.seconds);
    } else {
      CHECK(f.app.pausedUntil == choice.seconds);
    }
  }
}

TEST_CASE("tray events reach the application; the menu opens at the icon for the context key and Enter, once, to the side the system says, and the dialog waits for it") {
  Fixture f;
  REQUIRE(f.tray.Create());
  HWND window = f.tray.Window();
  f.tray.SetTrayIcon(IDI_NORMAL);
  const UINT side = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  struct Row {
    WORD event;
    size_t menus;
    bool opens;  // the dialog; with a menu, once the menu is closed
  };
  const Row rows[] = {{WM_CONTEXTMENU, 1, true},        {NIN_KEYSELECT, 1, true},   {WM_RBUTTONDOWN, 0, false},
                      {NIN_SELECT, 0, false},           {WM_LBUTTONDBLCLK, 0, true}, {NIN_BALLOONUSERCLICK, 0, true},
                      {NIN_BALLOONHIDE, 0, false},      {NIN_BALLOONTIMEOUT, 0, false}};
  for (const Row& row : rows) {
    CAPTURE(row.event);
    f.tray.menus.clear();
    f.app.said.clear();
    SendMessageW(window, WM_TRAY_CALLBACK, MAKEWPARAM(1200, 790), MAKELPARAM(row.event, 0));
    REQUIRE(f.tray.menus.size() == row.menus);
    CHECK(f.app.said == (row.opens ? std::vector<std::string>{"open"} : std::vector<std::string>{}));
    if (row.menus == 0) continue;
    CHECK(f.tray.menus[0].at.x == 1200);
    CHECK(f.tray.menus[0].at.y == 790);
    CHECK((f.tray.menus[0].flags & (TPM_CENTERALIGN | TPM_RIGHTALIGN)) == side);
    CHECK_FALSE(f.tray.openedDuringMenu);
  }
  f.app.said.clear();
  for (WPARAM command : {ID_TRAY_OPEN, ID_TRAY_STOP, ID_TRAY_START, ID_TRAY_EXIT}) {
    SendMessageW(window, WM_COMMAND, command, 0);
  }
  CHECK(f.app.said == std::vector<std::string>{"open", "stop", "start", "exit"});
}

TEST_CASE("payloads posted to a window that goes away are freed, not leaked or delivered") {
  HostWindow host;
  struct Counted {
    explicit Counted(int* n) : alive(n) { ++*alive; }
    Counted(Counted&& other) noexcept : alive(other.alive) { ++*alive; }
    ~Counted() { --*alive; }
    int* alive;
  };
  int alive = 0;
  CHECK(PostOwned(host.Get(), WM_APP_SET_STATUS, Counted(&alive)));
  CHECK(alive == 1);
  DropQueuedPayloads(host.Get());
  CHECK(alive == 0);
  CHECK_FALSE(PostOwned(nullptr, WM_APP_SET_STATUS, Counted(&alive)));
  CHECK(alive == 0);
}

TEST_CASE("a scale change draws the tray icon again at the new size, once") {
  Fixture f;
  REQUIRE(f.tray.Create());
  f.tray.SetTrayIcon(IDI_ALERT);
  auto side = [](HICON icon) {
    ICONINFO info{};
    REQUIRE(GetIconInfo(icon, &info));
    ScopedGdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    GetObjectW(color.Get(), sizeof bitmap, &bitmap);
    return bitmap.bmWidth;
  };
  const int before = side(f.tray.calls.front().data.hIcon), dpi = WindowDpi(f.tray.Window());
  RECT place{0, 0, 1, 1};
  SendMessageW(f.tray.Window(), WM_DPICHANGED, MAKEWPARAM(dpi * 2, dpi * 2), reinterpret_cast<LPARAM>(&place));
  const Call& changed = f.tray.calls.back();
  CHECK(changed.message == NIM_MODIFY);
  CHECK(side(changed.data.hIcon) == 2 * before);
  const size_t calls = f.tray.calls.size();
  SendMessageW(f.tray.Window(), WM_DPICHANGED, MAKEWPARAM(dpi * 2, dpi * 2), reinterpret_cast<LPARAM>(&place));
  CHECK(f.tray.calls.size() == calls);
}
