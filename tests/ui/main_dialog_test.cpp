#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "settings/settings.h"
#include "tests/ui/ui_fixture.h"
#include "ui/app_commands.h"
#include "ui/main_dialog.h"
#include "ui/theme_helper.h"
#include "ui/ui_messages.h"

TEST_CASE("the main dialog opens with its title, server, status, buttons and six pages") {
  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  OpenDialog dialog(settings, app, engine, theme);
  REQUIRE(dialog.Window() != nullptr);
  CHECK(Text(dialog.Window()) == L"Varnalis 1.4");
  CHECK(Text(dialog.Item(IDC_SERVER_LABEL)) == L"Localhost");
  CHECK(Text(dialog.Item(IDC_STATUS)) == L"Last monitoring finished: 03:04:05 PM  05 Dec 2026");
  CHECK(Text(dialog.Item(IDC_START)) == L"Start monitoring");  // the name a screen reader reads
  CHECK_FALSE(IsWindowEnabled(dialog.Item(IDC_START)));
  CHECK(IsWindowEnabled(dialog.Item(IDC_STOP)));

  HWND tabs = reinterpret_cast<HWND>(SendMessageW(dialog.Sheet(), PSM_GETTABCONTROL, 0, 0));
  REQUIRE(TabCtrl_GetItemCount(tabs) == 6);
  const wchar_t* captions[] = {L"Resources", L"Notifications", L"Connection", L"&Log", L"Options", L"About"};
  for (int i = 0; i < 6; ++i) {
    wchar_t text[64]{};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    TabCtrl_GetItem(tabs, i, &item);
    CHECK(std::wstring(text) == captions[i]);
  }
  CHECK(TabCtrl_GetCurSel(tabs) == 0);
  CHECK(GetParent(dialog.Sheet()) == dialog.Window());
  RECT sheet{}, client{};
  GetWindowRect(dialog.Sheet(), &sheet);
  MapWindowPoints(nullptr, dialog.Window(), reinterpret_cast<POINT*>(&sheet), 2);
  GetClientRect(dialog.Window(), &client);
  RECT status{};
  GetWindowRect(dialog.Item(IDC_STATUS), &status);
  MapWindowPoints(nullptr, dialog.Window(), reinterpret_cast<POINT*>(&status), 2);
  CHECK(sheet.left == 0);
  CHECK(sheet.bottom <= status.top);
  CHECK(status.bottom <= client.bottom);

  SUBCASE("Stop and Start flip the switch and the buttons") {
    SendMessageW(dialog.Item(IDC_STOP), BM_CLICK, 0, 0);
    CHECK_FALSE(app.on);
    CHECK(IsWindowEnabled(dialog.Item(IDC_START)));
    CHECK_FALSE(IsWindowEnabled(dialog.Item(IDC_STOP)));
    SendMessageW(dialog.Item(IDC_START), BM_CLICK, 0, 0);
    CHECK(app.on);
    CHECK_FALSE(IsWindowEnabled(dialog.Item(IDC_START)));
  }
  SUBCASE("closing stores the position") {
    SetWindowPos(dialog.Window(), nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dialog.Close();
    CHECK(settings.Interface.dlgX == 123);
    CHECK(settings.Interface.dlgY == 77);
  }
}

TEST_CASE("a stored position is used when a monitor shows it and ignored when none does") {
  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  struct Row {
    int x, y;
    bool used;
  };
  for (const Row& row : {Row{40, 30, true}, Row{-20000, 30, false}, Row{40, 20000, false}}) {
    settings.Interface.dlgX = row.x;
    settings.Interface.dlgY = row.y;
    OpenDialog dialog(settings, app, engine, theme);
    RECT rect{};
    GetWindowRect(dialog.Window(), &rect);
    CAPTURE(row.x);
    CHECK((rect.left == row.x && rect.top == row.y) == row.used);
    CHECK(MonitorFromWindow(dialog.Window(), MONITOR_DEFAULTTONULL) != nullptr);
  }
}

TEST_CASE("opening and closing the dialog fifty times leaves the GDI and USER object counts where they were") {
  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  // On this thread, as the application runs it; a helper closes each one once it is up.
  auto openAndClose = [&] {
    QuorDlg dialog(settings, app, engine, theme, {L"", L""});
    std::thread closer([&] {
      CHECK(WaitFor([&] { return dialog.Window() && IsWindowVisible(dialog.Window()); }));
      SendMessageW(dialog.Sheet(), PSM_SETCURSEL, 1, 0);  // the Notifications page's lists too
      PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
    });
    dialog.Run([] { return std::wstring(); });
    closer.join();
  };
  openAndClose();  // first use loads what stays loaded
  GuiObjects before = GuiObjects::Now();
  for (int i = 0; i < 50; ++i) openAndClose();
  GuiObjects after = GuiObjects::Now();
  CHECK(after.gdi == before.gdi);
  CHECK(after.user == before.user);
}

TEST_CASE("the first status line is read once the window is known, so a line sent in between is not lost") {
  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  std::atomic<bool> known{false};
  QuorDlg dialog(settings, app, engine, theme, {L"", L""}, [&](HWND window) { known = window != nullptr; });
  std::wstring shown;
  std::thread closer([&] {
    CHECK(WaitFor([&] { return dialog.Window() && IsWindowVisible(dialog.Window()); }));
    shown = Text(GetDlgItem(dialog.Window(), IDC_STATUS));
    PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
  });
  // The monitor's newer line goes to a known window only: before that, the line read must be the newer one.
  dialog.Run([&] { return std::wstring(known ? L"Last monitoring finished: now" : L"Connecting..."); });
  closer.join();
  CHECK(shown == L"Last monitoring finished: now");
}

TEST_CASE("Ctrl+Tab and Ctrl+Page Up turn the pages of the sheet inside the dialog") {
  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  QuorDlg dialog(settings, app, engine, theme, {L"", L""});
  std::vector<int> seen;
  std::thread user([&] {
    CHECK(WaitFor([&] { return dialog.Window() && IsWindowVisible(dialog.Window()); }));
    HWND tabs = reinterpret_cast<HWND>(SendMessageW(dialog.Sheet(), PSM_GETTABCONTROL, 0, 0));
    auto press = [&](std::vector<WORD> keys) {
      std::vector<INPUT> input;
      for (WORD key : keys) input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
      for (auto it = keys.rbegin(); it != keys.rend(); ++it) input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {*it, 0, KEYEVENTF_KEYUP, 0, 0}}});
      BringToFront(dialog.Window());
      int before = TabCtrl_GetCurSel(tabs);
      SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
      // Each press turns a page.
      CHECK_MESSAGE(WaitFor([&] { return TabCtrl_GetCurSel(tabs) != before; }), "awaited: the page to turn");
      seen.push_back(TabCtrl_GetCurSel(tabs));
    };
    press({VK_CONTROL, VK_TAB});
    press({VK_CONTROL, VK_TAB});
    press({VK_CONTROL, VK_PRIOR});
    press({VK_CONTROL, VK_PRIOR});
    press({VK_CONTROL, VK_PRIOR});
    PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
  });
  dialog.Run([] { return std::wstring(); });
  user.join();
  CHECK(seen == std::vector<int>{1, 2, 1, 0, 5});
}
