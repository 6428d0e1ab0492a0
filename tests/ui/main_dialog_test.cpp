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

namespace {

class Switch final : public AppCommands {
 public:
  void StartMonitoring() override { on = true; }
  void StopMonitoring() override { on = false; }
  bool IsMonitoringOn() const override { return on; }
  void OpenMainWindow() override {}
  void ExitApplication() override {}
  std::atomic<bool> on{true};
};

std::wstring Text(HWND window) {
  wchar_t text[256]{};
  GetWindowTextW(window, text, 256);
  return text;
}

// The dialog on a thread of its own, as the application runs it on its own
// user-interface thread; the test works it from outside.
class OpenDialog {
 public:
  OpenDialog(Settings& settings, AppCommands& app, const CThemeHelper& theme)
      : dialog_(settings, app, theme, {L"HKCU\\Software\\Pellard Software\\Varnalis 1.4", L"C:\\varnalis\\log.txt"}),
        thread_([this] { dialog_.Run(L"Last monitoring finished: 03:04:05 PM  05 Dec 2026"); }) {
    // Shown once its initialisation is over.
    for (int i = 0; i < 500 && !(dialog_.Window() && IsWindowVisible(dialog_.Window())); ++i) Sleep(10);
  }
  ~OpenDialog() {
    Close();
    thread_.join();
  }
  HWND Window() const { return dialog_.Window(); }
  HWND Item(int id) const { return GetDlgItem(dialog_.Window(), id); }
  HWND Sheet() const { return dialog_.Sheet(); }
  void Close() {
    if (HWND window = dialog_.Window()) SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
  }

 private:
  QuorDlg dialog_;
  std::thread thread_;
};

}  // namespace

TEST_CASE("the main dialog opens with its title, server, status, buttons and six pages") {
  Settings settings;
  Switch app;
  CThemeHelper theme;
  OpenDialog dialog(settings, app, theme);
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
  Switch app;
  CThemeHelper theme;
  struct Row {
    int x, y;
    bool used;
  };
  for (const Row& row : {Row{40, 30, true}, Row{-20000, 30, false}, Row{40, 20000, false}}) {
    settings.Interface.dlgX = row.x;
    settings.Interface.dlgY = row.y;
    OpenDialog dialog(settings, app, theme);
    RECT rect{};
    GetWindowRect(dialog.Window(), &rect);
    CAPTURE(row.x);
    CHECK((rect.left == row.x && rect.top == row.y) == row.used);
    CHECK(MonitorFromWindow(dialog.Window(), MONITOR_DEFAULTTONULL) != nullptr);
  }
}

TEST_CASE("opening and closing the dialog fifty times leaves the GDI and USER object counts where they were") {
  Settings settings;
  Switch app;
  CThemeHelper theme;
  // On this thread, as the application runs it; a helper closes each one once it is up.
  auto openAndClose = [&] {
    QuorDlg dialog(settings, app, theme, {L"", L""});
    std::thread closer([&] {
      for (int i = 0; i < 500 && !(dialog.Window() && IsWindowVisible(dialog.Window())); ++i) Sleep(5);
      PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
    });
    dialog.Run(L"");
    closer.join();
  };
  openAndClose();  // first use loads what stays loaded
  GuiObjects before = GuiObjects::Now();
  for (int i = 0; i < 50; ++i) openAndClose();
  GuiObjects after = GuiObjects::Now();
  CHECK(after.gdi == before.gdi);
  CHECK(after.user == before.user);
}

TEST_CASE("Ctrl+Tab and Ctrl+Page Up turn the pages of the sheet inside the dialog") {
  Settings settings;
  Switch app;
  CThemeHelper theme;
  QuorDlg dialog(settings, app, theme, {L"", L""});
  std::vector<int> seen;
  std::thread user([&] {
    for (int i = 0; i < 500 && !(dialog.Window() && IsWindowVisible(dialog.Window())); ++i) Sleep(5);
    HWND tabs = reinterpret_cast<HWND>(SendMessageW(dialog.Sheet(), PSM_GETTABCONTROL, 0, 0));
    auto press = [&](std::vector<WORD> keys) {
      std::vector<INPUT> input;
      for (WORD key : keys) input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
      for (auto it = keys.rbegin(); it != keys.rend(); ++it) input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {*it, 0, KEYEVENTF_KEYUP, 0, 0}}});
      SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
      Sleep(300);
      seen.push_back(TabCtrl_GetCurSel(tabs));
    };
    SetForegroundWindow(dialog.Window());
    press({VK_CONTROL, VK_TAB});
    press({VK_CONTROL, VK_TAB});
    press({VK_CONTROL, VK_PRIOR});
    press({VK_CONTROL, VK_PRIOR});
    press({VK_CONTROL, VK_PRIOR});
    PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
  });
  dialog.Run(L"");
  user.join();
  CHECK(seen == std::vector<int>{1, 2, 1, 0, 5});
}

TEST_CASE("the Resources page lists the parameters with the last pass's values and states, and takes new passes") {
  Settings settings;
  Switch app;
  CThemeHelper theme;
  PassSnapshot first;
  first[0] = {97, {L"Error", kRowError}, {90, 97}};
  first[1] = {2000, {L"OK", kRowNormal}, {2000}};
  first[2] = {-1, {L"", kRowOff}, {}};
  QuorDlg dialog(settings, app, theme, {L"", L""}, {}, [&] { return first; });
  std::thread user([&] {
    for (int i = 0; i < 500 && !(dialog.Window() && IsWindowVisible(dialog.Window())); ++i) Sleep(5);
    HWND list = GetDlgItem(PropSheet_GetCurrentPageHwnd(dialog.Sheet()), IDC_PARAMS_LIST);
    auto cell = [&](int row, int column) {
      wchar_t text[128]{};
      ListView_GetItemText(list, row, column, text, 128);
      return std::wstring(text);
    };
    auto mark = [&](int row) {
      LVITEMW item{};
      item.mask = LVIF_PARAM;
      item.iItem = row;
      ListView_GetItem(list, &item);
      return item.lParam;
    };
    CHECK(ListView_GetItemCount(list) == 8);
    CHECK(cell(0, 0) == L"CPU Usage");
    CHECK(cell(0, 1) == L"97 %");
    CHECK(cell(0, 2) == L"95 %");
    CHECK(cell(0, 3) == L"Error");
    CHECK(mark(0) == kRowError);
    CHECK(cell(1, 1) == L"2000 MB");
    CHECK(cell(1, 3) == L"OK");
    CHECK(cell(2, 1) == L"N/A");  // switched off
    CHECK(cell(2, 3) == L"");
    CHECK(mark(2) == kRowOff);
    CHECK(cell(6, 2) == L"Process closed");
    CHECK(ListView_GetCheckState(list, 0) != 0);
    CHECK(ListView_GetCheckState(list, 2) == 0);

    PassSnapshot next = first;
    next[0] = {50, {L"OK", kRowNormal}, {90, 97, 50}};
    PostOwned(dialog.Window(), WM_APP_UPDATE_PARAMETERS, next);
    for (int i = 0; i < 200 && cell(0, 1) != L"50 %"; ++i) Sleep(5);
    CHECK(cell(0, 1) == L"50 %");
    CHECK(cell(0, 3) == L"OK");
    CHECK(mark(0) == kRowNormal);
    PostMessageW(dialog.Window(), WM_COMMAND, IDCANCEL, 0);
  });
  dialog.Run(L"");
  user.join();
}
