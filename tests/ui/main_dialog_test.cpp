#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/dpi.h"
#include "ui/strip_images.h"

TEST_CASE("the main dialog opens with its title, server, status, buttons and six pages") {
  PageFixture f(0);
  f.Show();
  HWND window = f.dialog->Window();
  CHECK(Text(window) == L"Varnalis 1.4");
  CHECK(Text(f.dialog->Item(IDC_SERVER_LABEL)) == L"Localhost");
  CHECK(Text(f.dialog->Item(IDC_STATUS)) == L"Last monitoring finished: 03:04:05 PM  05 Dec 2026");
  CHECK(Text(f.dialog->Item(IDC_START)) == L"Start monitoring");  // the name a screen reader reads
  CHECK_FALSE(IsWindowEnabled(f.dialog->Item(IDC_START)));
  CHECK(IsWindowEnabled(f.dialog->Item(IDC_STOP)));

  HWND tabs = reinterpret_cast<HWND>(SendMessageW(f.dialog->Sheet(), PSM_GETTABCONTROL, 0, 0));
  REQUIRE(TabCtrl_GetItemCount(tabs) == 6);
  CHECK(TabCtrl_GetCurSel(tabs) == 0);
  // Below the band, the sheet from the left edge, then the status line inside the window.
  auto place = [&](HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  };
  RECT sheet = place(f.dialog->Sheet()), status = place(f.dialog->Item(IDC_STATUS)), client{};
  GetClientRect(window, &client);
  CHECK(GetParent(f.dialog->Sheet()) == window);
  CHECK(sheet.left == 0);
  CHECK(sheet.bottom <= status.top);
  CHECK(status.bottom <= client.bottom);

  // Stop and Start flip the switch and the buttons.
  SendMessageW(f.dialog->Item(IDC_STOP), BM_CLICK, 0, 0);
  CHECK_FALSE(f.app.on);
  CHECK(IsWindowEnabled(f.dialog->Item(IDC_START)));
  CHECK_FALSE(IsWindowEnabled(f.dialog->Item(IDC_STOP)));
  SendMessageW(f.dialog->Item(IDC_START), BM_CLICK, 0, 0);
  CHECK(f.app.on);
  CHECK_FALSE(IsWindowEnabled(f.dialog->Item(IDC_START)));
}

TEST_CASE("the place is stored on closing and used again when a monitor shows it, ignored when none does") {
  PageFixture f(0);
  f.Show();
  SetWindowPos(f.dialog->Window(), nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  f.dialog.reset();
  CHECK(f.settings.Interface.dlgX == 123);
  CHECK(f.settings.Interface.dlgY == 77);
  struct Row {
    int x, y;
    bool used;
  };
  for (const Row& row : {Row{40, 30, true}, Row{-20000, 30, false}, Row{40, 20000, false}}) {
    CAPTURE(row.x);
    f.settings.Interface.dlgX = row.x;
    f.settings.Interface.dlgY = row.y;
    f.Reopen();
    RECT rect{};
    GetWindowRect(f.dialog->Window(), &rect);
    CHECK((rect.left == row.x && rect.top == row.y) == row.used);
    CHECK(MonitorFromWindow(f.dialog->Window(), MONITOR_DEFAULTTONULL) != nullptr);
  }
}

TEST_CASE("closing the dialog while a page's worker runs drops the late result") {
  struct Row {
    int page, channel, button, result;
  };
  for (const Row& row : {Row{2, -1, IDC_TEST_CONNECTION, IDC_REPORT}, Row{1, 1, IDC_TEST_MAIL, IDC_TEST_MAIL_RESULT},
                         Row{1, 3, IDC_TEST_WEBHOOK, IDC_TEST_WEBHOOK_RESULT}}) {
    CAPTURE(row.page);
    PageFixture f(row.page, true);
    f.settings.EMail.EMailServer.Set("127.0.0.1");
    f.settings.EMail.EMailPort = 9;
    f.Show();
    if (row.channel >= 0) SelectOnly(f.Item(IDC_CHANNEL_LIST), row.channel);
    SetWindowTextW(f.Item(row.result), L"the last result");
    f.Click(row.button);
    // The button waits for the worker; the last result is gone.
    CHECK_FALSE(f.Enabled(row.button));
    CHECK(Text(f.Item(row.result)).empty());
    f.dialog->Close();
    REQUIRE(WaitFor([&] { return !IsWindow(f.page); }));
    f.engine.Open();
    CHECK(WaitFor([&] { return f.engine.Finished() == 1; }, 60000));
  }
}

TEST_CASE("opening and closing the dialog fifty times leaves the GDI and USER object counts where they were") {
  PageFixture f(0);
  // On this thread, as the application runs it; a helper closes each one once it is up.
  auto openAndClose = [&] {
    QuorDlg dialog(f.settings, f.app, f.engine, f.theme, {L"", L""});
    std::thread closer([&] {
      CHECK(WaitFor([&] { return dialog.Window() && IsWindowVisible(dialog.Window()); }));
      // The Notifications page's lists and the Options and About banners too.
      for (int page : {1, 4, 5}) SendMessageW(dialog.Sheet(), PSM_SETCURSEL, page, 0);
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
  PageFixture f(0);
  std::atomic<bool> known{false};
  QuorDlg dialog(f.settings, f.app, f.engine, f.theme, {L"", L""}, [&](HWND window) { known = window != nullptr; });
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

TEST_CASE("the keyboard: Tab runs from the buttons into the page, labels lead to their lists, Escape closes") {
  PageFixture f(0);
  f.Show();
  OpenDialog& dialog = *f.dialog;
  HWND tabs = reinterpret_cast<HWND>(SendMessageW(dialog.Sheet(), PSM_GETTABCONTROL, 0, 0));
  CHECK(TabOrder(dialog.Window(), dialog.Item(IDC_STOP)) ==
        std::vector<int>{IDC_STOP, GetDlgCtrlID(tabs), IDC_PARAMS_LIST, IDC_NOTIFICATION_VALUE});

  struct Row {
    int page;
    int label;
    const wchar_t* text;
    int list;
  };
  for (const Row& row : {Row{0, IDC_PARAMS_LABEL, L"&Parameters:", IDC_PARAMS_LIST},
                         Row{1, IDC_CHANNEL_LABEL, L"Notif&y by:", IDC_CHANNEL_LIST},
                         Row{3, IDC_LOG_LIST_LABEL, L"&Events:", IDC_LOG_LIST}}) {
    CAPTURE(row.page);
    HWND page = dialog.ShowPage(row.page);
    HWND list = GetDlgItem(page, row.list);
    // Screen readers name a control by the static text just before it.
    CHECK(GetWindow(list, GW_HWNDPREV) == GetDlgItem(page, row.label));
    CHECK(Text(GetDlgItem(page, row.label)) == row.text);
    SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tabs), TRUE);  // away from the list
    CHECK(PressMnemonic(page, static_cast<WORD>(std::towupper(std::wcschr(row.text, L'&')[1])), row.list) == row.list);
  }

  SendMessageW(dialog.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.Item(IDC_STOP)), TRUE);
  PressKeys(dialog.Window(), {VK_SPACE});
  CHECK(WaitFor([&] { return !f.app.on; }));
  // The button that had the focus is disabled now: the focus went on inside the dialog.
  CHECK(WaitFor([&] {
    HWND focus = FocusOf(dialog.Window());
    return IsChild(dialog.Window(), focus) && IsWindowEnabled(focus);
  }));
  PressKeys(dialog.Window(), {VK_ESCAPE});
  CHECK(WaitFor([&] { return !IsWindowVisible(dialog.Window()); }));
}

namespace {

// A window other than the dialog itself that its thread shows: a modal one over it.
HWND ModalOver(HWND dialog) {
  struct Search {
    HWND dialog;
    HWND found = nullptr;
  } search{dialog};
  EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), [](HWND window, LPARAM lParam) {
    auto* s = reinterpret_cast<Search*>(lParam);
    if (window == s->dialog || !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != s->dialog) return TRUE;
    s->found = window;
    return FALSE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

TEST_CASE("Ctrl+Tab and Ctrl+Page Up turn the pages of the sheet inside the dialog, not behind a modal window") {
  PageFixture f(0);
  f.Show();
  HWND window = f.dialog->Window();
  HWND tabs = reinterpret_cast<HWND>(SendMessageW(f.dialog->Sheet(), PSM_GETTABCONTROL, 0, 0));
  std::vector<int> seen;
  auto press = [&](std::vector<WORD> keys) {
    int before = TabCtrl_GetCurSel(tabs);
    PressKeys(window, keys);
    CHECK_MESSAGE(WaitFor([&] { return TabCtrl_GetCurSel(tabs) != before; }), "awaited: the page to turn");
    seen.push_back(TabCtrl_GetCurSel(tabs));
  };
  press({VK_CONTROL, VK_TAB});
  press({VK_CONTROL, VK_TAB});
  // A refused polling interval puts a message box over the Connection page.
  HWND period = GetDlgItem(PropSheet_GetCurrentPageHwnd(f.dialog->Sheet()), IDC_PERIOD);
  auto refused = std::async(std::launch::async, [period] {
    SendMessageW(period, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
  });
  HWND box = nullptr;
  CHECK_MESSAGE(WaitFor([&] { return (box = ModalOver(window)) != nullptr; }), "awaited: the message box");
  PressKeys(box, {VK_CONTROL, VK_TAB});
  PressKeys(box, {VK_RETURN});
  CHECK_MESSAGE(WaitFor([&] { return !IsWindow(box); }), "awaited: Enter to close the box, after Ctrl+Tab");
  refused.get();
  CHECK(TabCtrl_GetCurSel(tabs) == 2);
  for (int i = 0; i < 3; ++i) press({VK_CONTROL, VK_PRIOR});
  CHECK(seen == std::vector<int>{1, 2, 1, 0, 5});
}

TEST_CASE("a DPI change takes the suggested place and makes the sheet, icons, images, columns, title and banner again") {
  PageFixture f(0);
  auto fontHeight = [](HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
  };
  auto imageSide = [](HIMAGELIST list) {
    int width = 0, height = 0;
    ImageList_GetIconSize(list, &width, &height);
    return width;
  };
  for (int dpi : {144, 192}) {
    CAPTURE(dpi);
    f.Reopen();
    OpenDialog& dialog = *f.dialog;
    const int from = WindowDpi(dialog.Window());
    auto scaled = [&](int pixels) { return MulDiv(pixels, dpi, from); };
    HWND about = dialog.ShowPage(5), title = GetDlgItem(about, IDC_ABOUT_PRODUCT);
    HWND logList = GetDlgItem(dialog.ShowPage(3), IDC_LOG_LIST);
    HWND list = GetDlgItem(dialog.ShowPage(0), IDC_PARAMS_LIST);
    const int column = ListView_GetColumnWidth(list, 0), logColumn = ListView_GetColumnWidth(logList, 1);
    const int titleHeight = fontHeight(title);
    RECT before{};
    GetWindowRect(dialog.Window(), &before);
    RECT suggested{before.left + 10, before.top + 10, before.left + 10 + scaled(before.right - before.left),
                   before.top + 10 + scaled(before.bottom - before.top)};
    SendMessageW(dialog.Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));

    RECT after{}, sheet{};
    GetWindowRect(dialog.Window(), &after);
    CHECK((after.left == suggested.left && after.top == suggested.top && after.right == suggested.right));
    CHECK(after.bottom >= suggested.bottom);
    GetWindowRect(dialog.Sheet(), &sheet);
    MapWindowPoints(nullptr, dialog.Window(), reinterpret_cast<POINT*>(&sheet), 2);
    CHECK(sheet.top == MulDiv(35, dpi, 96));
    CHECK(std::abs(ListView_GetColumnWidth(list, 0) - scaled(column)) <= 1);
    CHECK(std::abs(ListView_GetColumnWidth(logList, 1) - scaled(logColumn)) <= 1);
    CHECK(imageSide(ListView_GetImageList(list, LVSIL_SMALL)) == StripImageSize(dpi));
    CHECK(imageSide(ListView_GetImageList(list, LVSIL_STATE)) == StripImageSize(dpi));
    CHECK(imageSide(ListView_GetImageList(logList, LVSIL_SMALL)) == StripImageSize(dpi));
    CHECK(std::abs(fontHeight(title) - scaled(titleHeight)) <= 1);
    BITMAP banner{};
    GetObjectW(reinterpret_cast<HBITMAP>(SendDlgItemMessageW(about, IDC_BANNER, STM_GETIMAGE, IMAGE_BITMAP, 0)),
               sizeof banner, &banner);
    CHECK(banner.bmWidth == MulDiv(170, dpi, 96));
    ICONINFO icon{};
    REQUIRE(GetIconInfo(reinterpret_cast<HICON>(SendMessageW(dialog.Window(), WM_GETICON, ICON_SMALL, 0)), &icon));
    ScopedGdiObject<HBITMAP> color(icon.hbmColor), mask(icon.hbmMask);
    CHECK(static_cast<int>(icon.xHotspot * 2) == MulDiv(16, dpi, 96));
  }
}
