#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <cwchar>
#include <filesystem>
#include <string>
#include <thread>

#include "common/utf16.h"
#include "res/resource.h"
#include "support/temp_dir.h"
#include "tests/ui/ui_fixture.h"

namespace {

// A log file of the test's own, and the main dialog turned to its Log page.
struct LogPageFixture : PageFixture {
  LogPageFixture() : PageFixture(3) { engine.logSettings.Filename.Set(path); }

  void WriteFile(const std::wstring& text) const { WriteBytes(path, EncodeUtf16Le(text)); }
  HWND List() const { return Item(IDC_LOG_LIST); }
  int Rows() const { return ListView_GetItemCount(List()); }
  std::wstring Cell(int row, int column) const {
    std::wstring text(40000, L'\0');
    ListView_GetItemText(List(), row, column, text.data(), static_cast<int>(text.size()));
    text.resize(std::wcslen(text.c_str()));
    return text;
  }
  int Image(int row) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    ListView_GetItem(List(), &item);
    return item.iImage;
  }

  TempDir dir;
  std::wstring path = dir.File(L"log.txt");
};

std::wstring Numbered(int from, int to) {
  std::wstring text;
  for (int i = from; i < to; ++i) text += L"Info\t01:02:03 AM  01 Jan 2026\tline " + std::to_wstring(i) + L"\r\n";
  return text;
}

}  // namespace

TEST_CASE("the page shows the newest 501 rows newest first, each with its level's icon and trimmed type and time") {
  LogPageFixture f;
  f.WriteFile(Numbered(0, 600) +
              L" Warning \t 03:04:05 PM  05 Dec 2026 \t spaced\tand tabbed \r\n"
              L"no tabs at all\r\n"
              L"Error\tone tab only\r\n"
              L"Error\tT\tbroken\r\n"
              L"Notice\tT\tunknown type\r\n"
              L"Info\tT\tnewest\r\n"
              L"Error\tT\tnot yet a complete line");
  f.Show();
  REQUIRE(WaitFor([&] { return f.Rows() == kMaxLogRows && f.Cell(0, 2) == L"newest"; }));
  const struct {
    int row;
    const wchar_t *type, *time, *message;
    int image;
  } rows[] = {
      {0, L"Info", L"T", L"newest", 0},
      {1, L"Notice", L"T", L"unknown type", 0},
      {2, L"Error", L"T", L"broken", 2},
      {3, L"Warning", L"03:04:05 PM  05 Dec 2026", L" spaced\tand tabbed ", 1},
      {4, L"Info", L"01:02:03 AM  01 Jan 2026", L"line 599", 0},
      {kMaxLogRows - 1, L"Info", L"01:02:03 AM  01 Jan 2026", L"line 103", 0},
  };
  for (const auto& row : rows) {
    CAPTURE(row.row);
    CHECK(f.Cell(row.row, 0) == row.type);
    CHECK(f.Cell(row.row, 1) == row.time);
    CHECK(f.Cell(row.row, 2) == row.message);
    CHECK(f.Image(row.row) == row.image);
  }
  // At its default width the time column shows a whole time stamp, the year
  // too, beside the list's padding either side of a cell's text.
  CHECK(ListView_GetStringWidth(f.List(), L"03:04:05 PM  05 Dec 2026") + 12 <= ListView_GetColumnWidth(f.List(), 1));
  CHECK(f.Enabled(IDC_CLEAR_LOG));
}

TEST_CASE("a click or the arrow keys show the whole message below, however narrow its column") {
  LogPageFixture f;
  const std::wstring longText = L"start\t" + std::wstring(2000, L'x') + L" end";
  f.WriteFile(L"Error\tT\t" + longText + L"\r\nInfo\tT\tshort\r\n");
  f.settings.Interface.logText = 40;
  f.Show();
  REQUIRE(WaitFor([&] { return f.Rows() == 2; }));
  CHECK(Text(f.Item(IDC_LOG_MESSAGE)).empty());

  BringToFront(f.dialog->Window());
  RECT cell{};
  ListView_GetSubItemRect(f.List(), 1, 2, LVIR_BOUNDS, &cell);
  POINT at{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
  ClientToScreen(f.List(), &at);
  SetCursorPos(at.x, at.y);
  INPUT click[2] = {{INPUT_MOUSE, {.mi = {0, 0, 0, MOUSEEVENTF_LEFTDOWN, 0, 0}}},
                    {INPUT_MOUSE, {.mi = {0, 0, 0, MOUSEEVENTF_LEFTUP, 0, 0}}}};
  SendInput(2, click, sizeof(INPUT));
  CHECK(WaitFor([&] { return Text(f.Item(IDC_LOG_MESSAGE)) == longText; }));

  PressKeys(f.page, {VK_UP});
  CHECK(WaitFor([&] { return Text(f.Item(IDC_LOG_MESSAGE)) == L"short"; }));

  // A new activation starts without a shown message.
  f.Show();
  CHECK(Text(f.Item(IDC_LOG_MESSAGE)).empty());
}

TEST_CASE("Clear Log empties the list, deletes the file and goes off, leaving the keyboard on the list") {
  LogPageFixture f;
  f.WriteFile(Numbered(0, 3));
  f.Show();
  REQUIRE(WaitFor([&] { return f.Rows() == 3 && f.Enabled(IDC_CLEAR_LOG); }));
  SendMessageW(f.page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(f.Item(IDC_CLEAR_LOG)), TRUE);
  PressKeys(f.page, {VK_SPACE});
  CHECK(WaitFor([&] { return f.Rows() == 0 && !f.Enabled(IDC_CLEAR_LOG); }));
  CHECK_FALSE(std::filesystem::exists(f.path));
  CHECK(WaitFor([&] { return FocusOf(f.page) == f.List(); }));

  // No file to read: the page comes back empty with Clear Log off.
  f.Show();
  REQUIRE(DrainPosted(f.page));
  CHECK(f.Rows() == 0);
  CHECK_FALSE(f.Enabled(IDC_CLEAR_LOG));
}

TEST_CASE("lines written on another thread reach the top in order while the page is active; a trim reloads it") {
  LogPageFixture f;
  f.WriteFile(Numbered(0, 3));
  f.Show();
  REQUIRE(WaitFor([&] { return f.Rows() == 3; }));
  auto monitor = [&](int count, LogLevel level, const std::wstring& text) {
    std::thread([&] {
      for (int i = 0; i < count; ++i) f.engine.log.WriteLog(level, text + std::to_wstring(i));
    }).join();
  };
  monitor(200, LogLevel::Warning, L"from the monitor ");
  REQUIRE(WaitFor([&] { return f.Rows() == 203; }));
  bool ordered = true;
  for (int i = 0; i < 200; ++i) ordered = ordered && f.Cell(i, 2) == L"from the monitor " + std::to_wstring(199 - i);
  CHECK(ordered);
  CHECK(f.Image(0) == 1);
  CHECK(f.Cell(200, 2) == L"line 2");

  // A limit below three lines leaves nothing in the file but the new line.
  f.engine.logSettings.LimitSize = true;
  f.engine.logSettings.MaxSize = 0;
  monitor(1, LogLevel::Error, L"after the cut ");
  CHECK(WaitFor([&] { return f.Rows() == 1 && f.Cell(0, 2) == L"after the cut 0"; }));

  // Another page active: nothing arrives; the next activation reads the file again.
  f.dialog->ShowPage(4);
  monitor(1, LogLevel::Error, L"while away ");
  REQUIRE(DrainPosted(f.page));
  CHECK(f.Cell(0, 2) == L"after the cut 0");
  f.Show();
  CHECK(WaitFor([&] { return f.Rows() == 1 && f.Cell(0, 2) == L"while away 0"; }));
}

TEST_CASE("column widths are kept when the page is left and when the dialog is closed") {
  const struct {
    const char* how;
    bool close;
  } ways[] = {{"turning to another page", false}, {"closing the dialog", true}};
  for (const auto& way : ways) {
    INFO(way.how);
    LogPageFixture f;
    f.Show();
    const int widths[] = {55, 160, 310};
    for (int i = 0; i < 3; ++i) ListView_SetColumnWidth(f.List(), i, widths[i]);
    if (way.close)
      f.Reopen();
    else
      f.Show();
    CHECK(f.settings.Interface.logType == 55);
    CHECK(f.settings.Interface.logTime == 160);
    CHECK(f.settings.Interface.logText == 310);
    for (int i = 0; i < 3; ++i) CHECK(ListView_GetColumnWidth(f.List(), i) == widths[i]);
  }
}
