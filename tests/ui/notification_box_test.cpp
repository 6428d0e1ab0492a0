#include <windows.h>
#include <doctest/doctest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_win.h"
#include "notify/notify_host.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/notification_box.h"

namespace {

std::wstring Text(HWND dialog, int id) {
  wchar_t text[256]{};
  GetDlgItemTextW(dialog, id, text, 256);
  return text;
}

bool Enabled(HWND dialog, int id) {
  return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The box shows its newest message through a posted message: wait for it.
bool WaitForCounter(HWND box, const std::wstring& counter) {
  return WaitFor([&] { return Text(box, IDC_BOX_COUNTER) == counter; }, 2000);
}

void Click(HWND box, int id) {
  SendMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

RECT Place(HWND box, int id) {
  RECT rect{};
  GetWindowRect(GetDlgItem(box, id), &rect);
  MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The height text needs in the control's font, wrapped at width (or on one line).
int TextHeight(HWND control, const std::wstring& text, int width, UINT wrap) {
  ScopedWindowDC dc(control);
  ScopedSelect font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT needed{0, 0, width, 0};
  DrawTextW(dc.Get(), text.c_str(), -1, &needed, DT_CALCRECT | DT_NOPREFIX | wrap);
  return needed.bottom;
}

}  // namespace

TEST_CASE("three notifications open one box on its own thread that pages through them") {
  NotificationBoxes boxes;
  boxes.ShowNotificationBox(L"CPU Usage on Localhost Error.", L"first", kBoxError);
  boxes.ShowNotificationBox(L"Free Phisical Memory on Localhost Error.", L"second", kBoxError);
  boxes.ShowNotificationBox(L"CPU Usage on Localhost is OK.", L"third", kBoxReturn);
  HWND box = boxes.Window();
  REQUIRE(box != nullptr);
  CHECK(GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId());
  REQUIRE(WaitForCounter(box, L"3/3"));
  CHECK_FALSE(Enabled(box, IDC_BOX_NEXT));
  CHECK(Enabled(box, IDC_BOX_PREV));
  CHECK(Text(box, IDC_BOX_BODY) == L"third");

  Click(box, IDC_BOX_PREV);
  CHECK(Text(box, IDC_BOX_COUNTER) == L"2/3");
  CHECK(Text(box, IDC_BOX_SUBJECT) == L"Free Phisical Memory on Localhost Error.");
  CHECK(Enabled(box, IDC_BOX_NEXT));
  Click(box, IDC_BOX_PREV);
  CHECK(Text(box, IDC_BOX_COUNTER) == L"1/3");
  CHECK_FALSE(Enabled(box, IDC_BOX_PREV));
  Click(box, IDC_BOX_NEXT);
  CHECK(Text(box, IDC_BOX_COUNTER) == L"2/3");

  SUBCASE("adding from another thread while the user pages") {
    std::thread adder([&] {
      for (int i = 0; i < 40; ++i) boxes.ShowNotificationBox(L"s", L"b" + std::to_wstring(i), kBoxError);
    });
    for (int i = 0; i < 40; ++i) Click(box, i % 2 ? IDC_BOX_NEXT : IDC_BOX_PREV);
    adder.join();
    CHECK(WaitForCounter(box, L"43/43"));
    CHECK(Text(box, IDC_BOX_BODY) == L"b39");
    CHECK(boxes.Window() == box);
  }
  SUBCASE("closed, the next message opens a fresh, empty box") {
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    REQUIRE(WaitFor([&] { return boxes.Window() == nullptr; }, 2000));
    boxes.ShowNotificationBox(L"again", L"fourth", kBoxReturn);
    HWND fresh = boxes.Window();
    REQUIRE(fresh != nullptr);
    CHECK(WaitForCounter(fresh, L"1/1"));
  }
  SUBCASE("closing the boxes at exit ends the open box and its thread; later messages are dropped") {
    auto start = std::chrono::steady_clock::now();
    boxes.Close();
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(3));
    CHECK(boxes.Window() == nullptr);
    boxes.ShowNotificationBox(L"s", L"b", kBoxError);
    CHECK(boxes.Window() == nullptr);
  }
}

TEST_CASE("a long subject is shown whole, wrapped, with the body, counter and buttons below it") {
  NotificationBoxes boxes;
  const std::wstring longSubject =
      L"Network Usage (Intel(R) PRO/1000 MT Desktop Adapter #2) on build-server-17.example.internal Error.";
  const std::wstring body = L"12/05/2026 03:04:05 PM\n901 KB current value.\n800 KB error value.";
  boxes.ShowNotificationBox(longSubject, body, kBoxError);
  boxes.ShowNotificationBox(L"CPU Usage on Localhost is OK.", body, kBoxReturn);
  HWND box = boxes.Window();
  REQUIRE(box != nullptr);
  REQUIRE(WaitForCounter(box, L"2/2"));
  struct Row {
    int button;
    std::wstring subject;
    bool wraps;
  };
  std::vector<LONG> heights;
  for (const Row& row : {Row{IDC_BOX_PREV, longSubject, true}, Row{IDC_BOX_NEXT, L"CPU Usage on Localhost is OK.", false}}) {
    CAPTURE(row.wraps);
    Click(box, row.button);
    HWND subject = GetDlgItem(box, IDC_BOX_SUBJECT);
    CHECK(Text(box, IDC_BOX_SUBJECT) == row.subject);
    RECT client{};
    GetClientRect(subject, &client);
    int needed = TextHeight(subject, row.subject, client.right, DT_WORDBREAK);
    CHECK((needed > TextHeight(subject, row.subject, client.right, DT_SINGLELINE)) == row.wraps);
    CHECK(client.bottom >= needed);
    // Top to bottom without overlap, all inside the box.
    const int order[] = {IDC_BOX_SUBJECT, IDC_BOX_BODY, IDC_BOX_COUNTER, IDC_BOX_PREV};
    for (size_t i = 1; i < std::size(order); ++i) CHECK(Place(box, order[i - 1]).bottom <= Place(box, order[i]).top);
    CHECK(Place(box, IDC_BOX_ICON).bottom <= Place(box, IDC_BOX_BODY).top);
    RECT inside{};
    GetClientRect(box, &inside);
    for (int id : {IDC_BOX_PREV, IDC_BOX_NEXT, IDOK}) CHECK(Place(box, id).bottom <= inside.bottom);
    heights.push_back(inside.bottom);
  }
  CHECK(heights[0] > heights[1]);  // a short subject takes the box back to its size
}
