#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "common/utf16.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/color_list.h"
#include "ui/history_graph.h"
#include "ui/ui_messages.h"

namespace {

ParameterSnapshot Shown(int32_t value, const wchar_t* state, int mark, std::vector<int32_t> recent) {
  ParameterSnapshot shown;
  shown.value = value;
  shown.state.text = state;
  shown.state.mark = mark;
  shown.recent = std::move(recent);
  return shown;
}

// What the screen shows at a point of a window's client area.
COLORREF ScreenPixel(HWND window, int x, int y) {
  POINT at{x, y};
  ClientToScreen(window, &at);
  ScopedWindowDC screen(nullptr);
  return GetPixel(screen.Get(), at.x, at.y);
}

// The open dialog turned to its Resources page.
struct ResourcesPage : PageFixture {
  ResourcesPage() : PageFixture(0) {}
  HWND List() const { return Item(IDC_PARAMS_LIST); }
  std::wstring Cell(int row, int column) const {
    wchar_t text[128]{};
    ListView_GetItemText(List(), row, column, text, 128);
    return text;
  }
  LPARAM Mark(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    ListView_GetItem(List(), &item);
    return item.lParam;
  }
  // The colour at the right end of a row's Current Value cell, as the screen shows it.
  COLORREF RowColor(int row) const {
    RECT cell{};
    ListView_GetSubItemRect(List(), row, 1, LVIR_BOUNDS, &cell);
    UpdateWindow(List());
    return ScreenPixel(List(), cell.right - 4, (cell.top + cell.bottom) / 2);
  }
  bool GraphShows(COLORREF color) const {
    HWND graph = Item(IDC_GRAPH);
    RECT client{};
    GetClientRect(graph, &client);
    for (int y = 0; y < client.bottom; ++y)
      for (int x = 0; x < client.right; ++x)
        if (ScreenPixel(graph, x, y) == color) return true;
    return false;
  }
  void Select(int row) const { SelectOnly(List(), row); }
};

}  // namespace

TEST_CASE("the Resources page lists the parameters, tints them by state and takes each pass") {
  ResourcesPage p;
  p.settings.Parameters.enable[3] = true;
  p.settings.Parameters.enable[4] = true;
  p.settings.Parameters.diskName.Set(L"C:");
  p.settings.Parameters.processName.Set(L"sql.exe");
  p.engine.latest[0] = Shown(37, L"OK", kRowNormal, {30, 37});
  p.engine.latest[1] = Shown(40, L"Error", kRowError, {90, 40});
  p.engine.latest[3] = Shown(250, L"Warning (3)", kRowWarning, {150, 250});
  p.engine.latest[4] = Shown(-1, L"", kRowNormal, {});
  p.Show();
  REQUIRE(ListView_GetItemCount(p.List()) == 8);

  struct Row {
    const wchar_t *name, *value, *limit, *state;
    bool checked;
    LPARAM mark;
    COLORREF tint;
  };
  const Row rows[] = {
      {L"CPU Usage", L"37 %", L"95 %", L"OK", true, kRowNormal, 0},
      {L"Free Phisical Memory", L"40 MB", L"100 MB", L"Error", true, kRowError, kErrorTint},
      {L"Page File Usage", L"N/A", L"2000 MB", L"", false, kRowOff, RGB(255, 255, 255)},
      {L"Network Usage", L"250 kbytes/sec.", L"100 kbytes/sec.", L"Warning (3)", true, kRowWarning, kWarningTint},
      {L"Disk Uage (C:)", L"N/A", L"90 %", L"", true, kRowNormal, RGB(255, 255, 255)},
      {L"Threads", L"N/A", L"1000 threads", L"", false, kRowOff, 0},
      {L"Process (sql.exe)", L"N/A", L"Process closed", L"", false, kRowOff, 0},
      {L"Web Server Connections", L"N/A", L"100 connections", L"", false, kRowOff, 0},
  };
  for (int i = 0; i < 8; ++i) {
    CAPTURE(i);
    CHECK(p.Cell(i, 0) + L"|" + p.Cell(i, 1) + L"|" + p.Cell(i, 2) + L"|" + p.Cell(i, 3) ==
          std::wstring(rows[i].name) + L"|" + rows[i].value + L"|" + rows[i].limit + L"|" + rows[i].state);
    CHECK((ListView_GetCheckState(p.List(), i) != 0) == rows[i].checked);
    CHECK(p.Mark(i) == rows[i].mark);
    if (rows[i].tint != 0) CHECK(p.RowColor(i) == rows[i].tint);
  }
  // Row 0 is selected: its history and limit are in the graph.
  CHECK(p.GraphShows(Graphic::kCurveColor));
  CHECK(p.GraphShows(Graphic::kLimitColor));

  PassSnapshot next = p.engine.latest;
  next[1] = Shown(2000, L"OK", kRowNormal, {90, 40, 2000});
  PostOwned(p.dialog->Window(), WM_APP_UPDATE_PARAMETERS, next);
  CHECK(WaitFor([&] { return p.Cell(1, 1) == L"2000 MB"; }));
  CHECK(p.Cell(1, 3) == L"OK");
  CHECK(p.Mark(1) == kRowNormal);
  CHECK(p.RowColor(1) == RGB(255, 255, 255));

  // No selection: an empty graph with no limit line.
  p.Select(-1);
  CHECK_FALSE(p.GraphShows(Graphic::kCurveColor));
  CHECK_FALSE(p.GraphShows(Graphic::kLimitColor));
}

TEST_CASE("the notification value follows the value rule of the selected row") {
  ResourcesPage p;
  p.settings.Parameters.enable[6] = true;
  p.settings.Parameters.enable[4] = true;
  p.Show();
  auto stored = [&](int row) { return p.settings.Parameters.notificationValue[row].Get(); };

  SUBCASE("typing 101 for the processor load is refused on its third digit") {
    HWND edit = p.Item(IDC_NOTIFICATION_VALUE);
    CHECK(Text(edit) == L"95");
    CHECK(Text(p.Item(IDC_UNIT)) == L"%");
    CHECK(p.Type(IDC_NOTIFICATION_VALUE, L"1") == L"");
    SendMessageW(edit, EM_SETSEL, 1, 1);
    auto type = [&](wchar_t key) { return AnswerBoxOf([&] { SendMessageW(edit, WM_CHAR, key, 0); }); };
    CHECK(type(L'0') == L"");
    CHECK(type(L'1') == L"Wrong notification value.");
    CHECK(Text(edit) == L"10");
    CHECK(stored(0) == L"10");
    CHECK(p.Cell(0, 2) == L"10 %");
  }
  SUBCASE("each row's range") {
    struct Case {
      int row;
      const wchar_t* typed;
      const wchar_t* stored;  // null: refused, the stored value unchanged
    };
    const Case cases[] = {
        {0, L"12abc", L"12"}, {0, L"100", L"100"}, {0, L"-1", nullptr},  {4, L"0", L"0"},
        {4, L"101", nullptr}, {1, L"  +7", L"7"},  {1, L"999999", L"999999"}, {1, L"99999999999", nullptr},
        {1, L"", L""},        {1, L"-3", nullptr},
    };
    for (const Case& c : cases) {
      CAPTURE(c.row);
      CAPTURE(ToUtf8(c.typed));
      p.Select(c.row);
      std::wstring before = stored(c.row);
      CHECK(p.Type(IDC_NOTIFICATION_VALUE, c.typed) == (c.stored != nullptr ? L"" : L"Wrong notification value."));
      CHECK(stored(c.row) == (c.stored != nullptr ? c.stored : before));
      if (c.stored == nullptr) CHECK(Text(p.Item(IDC_NOTIFICATION_VALUE)) == before);
    }
  }
  SUBCASE("the editor and the advanced settings button follow the selected row") {
    struct Case {
      int row;
      bool editor, advanced;
    };
    for (const Case& c : {Case{0, true, false}, Case{4, true, true}, Case{5, false, false}, Case{6, false, true},
                          Case{-1, false, false}}) {
      CAPTURE(c.row);
      p.Select(c.row);
      CHECK(p.Enabled(IDC_NOTIFICATION_VALUE) == c.editor);
      CHECK(p.Enabled(IDC_NOTIFICATION_VALUE_LABEL) == c.editor);
      CHECK(p.Enabled(IDC_ADVANCED) == c.advanced);
    }
  }
}

TEST_CASE("a parameter switched off by its check box forgets its history and its state") {
  ResourcesPage p;
  p.engine.latest[1] = Shown(40, L"Error", kRowError, {90, 40});
  p.Show();
  p.Select(5);

  ListView_SetCheckState(p.List(), 1, FALSE);
  CHECK_FALSE(p.settings.Parameters.enable[1]);
  CHECK(p.engine.cleared == std::vector<int>{1});
  CHECK(p.Cell(1, 3) == L"");
  CHECK(p.Mark(1) == kRowOff);
  CHECK(ListView_GetNextItem(p.List(), -1, LVNI_SELECTED) == 1);
  CHECK_FALSE(p.Enabled(IDC_NOTIFICATION_VALUE));
  CHECK_FALSE(p.GraphShows(Graphic::kCurveColor));
  p.Select(0);
  CHECK(p.RowColor(1) == RGB(255, 255, 255));

  ListView_SetCheckState(p.List(), 1, TRUE);
  CHECK(p.settings.Parameters.enable[1]);
  CHECK(p.engine.cleared == std::vector<int>{1});
  CHECK(p.Mark(1) == kRowNormal);
}

TEST_CASE("column widths are stored as they change and used when the dialog opens again; one of 0 or less still shows its heading") {
  ResourcesPage p;
  p.settings.Interface.paramsValue = 0;
  p.settings.Interface.paramsState = -40;
  p.Show();
  CHECK(ListView_GetColumnWidth(p.List(), 1) > 40);
  CHECK(ListView_GetColumnWidth(p.List(), 3) > 20);
  ListView_SetColumnWidth(p.List(), 0, 201);
  ListView_SetColumnWidth(p.List(), 3, 77);
  p.Reopen();
  CHECK(p.settings.Interface.paramsName == 201);
  CHECK(p.settings.Interface.paramsState == 77);
  CHECK(ListView_GetColumnWidth(p.List(), 0) == 201);
  CHECK(ListView_GetColumnWidth(p.List(), 3) == 77);
}

namespace {

// The instance names' list of an advanced dialog, awaited past "Loading..."; its first name, or none when
// the computer reports no instance (each read starts empty, as an empty list leaves the buffer alone).
std::wstring FirstListed(HWND dialog) {
  wchar_t first[256]{};
  CHECK(WaitFor([&] {
    first[0] = L'\0';
    if (SendDlgItemMessageW(dialog, IDC_INSTANCE_LIST, LB_GETTEXTLEN, 0, 0) >= 256) return false;
    SendDlgItemMessageW(dialog, IDC_INSTANCE_LIST, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
    return std::wstring(first) != L"Loading...";
  }, 20000));
  return first;
}

}  // namespace

TEST_CASE("Advanced settings store the choice on OK and rename the row; a gone adapter gives way to the total") {
  ResourcesPage p;
  p.settings.Parameters.enable[3] = true;
  p.settings.Parameters.enable[4] = true;
  p.settings.Parameters.networkAdapterName.Set(L"gone adapter");
  p.Show();
  // Opens the row's dialog as the button does and waits for its names.
  auto open = [&](int row, const wchar_t* caption) {
    p.Select(row);
    PostMessageW(p.Item(IDC_ADVANCED), BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    // Visible once its initialisation, which puts up "Loading...", is over.
    REQUIRE(WaitFor([&] { return (dialog = FindWindowW(nullptr, caption)) != nullptr && IsWindowVisible(dialog); }));
    return dialog;
  };
  auto press = [](HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); };

  HWND disk = open(4, L"Disk Usage Advanced Settings");
  std::wstring first = FirstListed(disk);
  press(disk, IDC_SPECIFIED);
  press(disk, IDOK);
  CHECK(WaitFor([&] { return p.settings.Parameters.diskName.Get() == first; }));
  CHECK(p.Cell(4, 0) == L"Disk Uage (" + first + L")");

  // The stored adapter is no longer reported: OK takes the total and the rate starts afresh.
  HWND network = open(3, L"Network Usage Advanced Settings");
  FirstListed(network);
  CHECK(SendDlgItemMessageW(network, IDC_TOTAL, BM_GETCHECK, 0, 0) == BST_CHECKED);
  CHECK(p.settings.Parameters.networkAdapterName.Get() == L"gone adapter");
  press(network, IDOK);
  CHECK(WaitFor([&] { return p.settings.Parameters.networkAdapterName.Get().empty(); }));
  CHECK(p.engine.networkResets == 1);
  CHECK(p.Cell(3, 0) == L"Network Usage");
}

TEST_CASE("the keyboard works the page: Tab stops by row, mnemonics, Space switches, Advanced opened and ended by keys") {
  ResourcesPage p;
  p.settings.Parameters.enable[4] = true;
  p.Show();
  struct Row {
    int row;
    std::vector<int> tabs;
  };
  for (const Row& row : {Row{0, {IDC_PARAMS_LIST, IDC_NOTIFICATION_VALUE}},
                         Row{4, {IDC_PARAMS_LIST, IDC_NOTIFICATION_VALUE, IDC_ADVANCED}}, Row{2, {IDC_PARAMS_LIST}}}) {
    CAPTURE(row.row);
    p.Select(row.row);
    CHECK(TabOrder(p.page, p.List()) == row.tabs);
  }
  // Row 2 is selected and off: Space on the list switches it on.
  CHECK(PressMnemonic(p.page, 'P', IDC_PARAMS_LIST) == IDC_PARAMS_LIST);
  PressKeys(p.page, {VK_SPACE});
  CHECK(WaitFor([&] { return p.settings.Parameters.enable[2].load(); }));
  CHECK(PressMnemonic(p.page, 'N', IDC_NOTIFICATION_VALUE) == IDC_NOTIFICATION_VALUE);

  // The disk's dialog: Escape ends it as Cancel, Enter as OK.
  p.Select(4);
  for (WORD key : {VK_ESCAPE, VK_RETURN}) {
    CAPTURE(key);
    CHECK(PressMnemonic(p.page, 'A', IDC_TOTAL) == IDC_TOTAL);
    HWND disk = GetParent(FocusOf(p.page));
    std::wstring first = FirstListed(disk);
    CHECK(PressMnemonic(disk, 'S', IDC_SPECIFIED) == IDC_SPECIFIED);
    PressKeys(disk, {key});
    CHECK(WaitFor([&] { return !IsWindow(disk); }));
    CHECK(p.settings.Parameters.diskName.Get() == (key == VK_RETURN ? first : L""));
    CHECK(WaitFor([&] { return FocusOf(p.page) == p.Item(IDC_ADVANCED); }));
  }
}
