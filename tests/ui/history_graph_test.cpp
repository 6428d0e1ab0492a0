#include <windows.h>
#include <doctest/doctest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/dpi.h"
#include "ui/history_graph.h"

namespace {

constexpr int kWidth = 360, kHeight = 120;

// The graph as the Resources page makes it, drawn into a canvas.
struct Drawn {
  explicit Drawn(const std::vector<int32_t>& values, int32_t limit, int points = 36, int width = kWidth,
                 int height = kHeight, int dpi = 96)
      : canvas(width, height) {
    SetWindowDpi(host.Get(), dpi);  // the pixel positions below are for 100 %
    Graphic graph;
    REQUIRE(graph.Create({0, 0, width, height}, 4, points, host.Get(), 1107));
    graph.SetTextMode(1);
    graph.SetData(values, limit);
    graph.Draw(canvas.Dc(), {0, 0, width, height});
  }
  ~Drawn() { SetWindowDpi(host.Get(), 0); }
  bool Any(int left, int top, int right, int bottom, COLORREF color) const {
    return canvas.Contains({left, top, right, bottom}, color);
  }
  HostWindow host;
  Canvas canvas;
};

// WCAG contrast of a colour against white.
double ContrastWithWhite(COLORREF color) {
  auto linear = [](int c) {
    double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  double l = 0.2126 * linear(GetRValue(color)) + 0.7152 * linear(GetGValue(color)) + 0.0722 * linear(GetBValue(color));
  return 1.05 / (l + 0.05);
}

int Y(int32_t v, int32_t top) {
  return static_cast<int>((kHeight - 5) - v * static_cast<double>(kHeight - 10) / top);
}

}  // namespace

TEST_CASE("36 values in 36 points run from 5 pixels in to 5 pixels from the right edge") {
  Drawn d(std::vector<int32_t>(36, 50), -1);
  int y = Y(50, 50);  // the largest value is the scale's top: y = 5
  CHECK(y == 5);
  CHECK(d.canvas.Pixel(5, y) == Graphic::kCurveColor);
  CHECK(d.canvas.Pixel(kWidth - 5, y) == Graphic::kCurveColor);
  CHECK_FALSE(d.Any(kWidth - 3, 0, kWidth, kHeight, Graphic::kCurveColor));
  CHECK(d.canvas.Pixel(0, 0) == RGB(0, 0, 0));                // the frame
  CHECK(d.canvas.Pixel(kWidth - 1, kHeight - 1) == RGB(0, 0, 0));
  CHECK(d.canvas.Pixel(kWidth / 2, kHeight - 5) == Graphic::kGridColor);  // the base line
  CHECK_FALSE(d.Any(0, 0, kWidth, kHeight, Graphic::kLimitColor));
}

TEST_CASE("a limit above every value raises the scale: its line lies on y = 5") {
  Drawn d({10, 20, 30}, 200);
  CHECK(d.Any(0, 5, kWidth, 6, Graphic::kLimitColor));
  CHECK_FALSE(d.Any(0, 6, kWidth, kHeight, Graphic::kLimitColor));
  CHECK(d.canvas.Pixel(5, Y(10, 200)) == Graphic::kCurveColor);
  // A short list fills only the left part: the third value sits at 2 steps.
  int third = static_cast<int>(2 * (kWidth - 10) / 35.0 + 5);
  CHECK_FALSE(d.Any(third + 3, 0, kWidth, kHeight, Graphic::kCurveColor));
}

TEST_CASE("a missing value in the middle leaves a gap in the line") {
  std::vector<int32_t> values(11, 40);
  values[5] = -1;
  Drawn d(values, -1);
  double step = (kWidth - 10) / 35.0;
  int y = Y(40, 40);
  CHECK(d.canvas.Pixel(static_cast<int>(2.5 * step + 5), y) == Graphic::kCurveColor);
  CHECK(d.canvas.Pixel(static_cast<int>(5 * step + 5), y) != Graphic::kCurveColor);
  CHECK(d.canvas.Pixel(static_cast<int>(7.5 * step + 5), y) == Graphic::kCurveColor);
}

TEST_CASE("nothing to scale, one point or a tiny control: drawn without dividing by zero") {
  struct Row {
    const char* name;
    std::vector<int32_t> values;
    int points, width, height;
    bool grid;
  };
  const Row rows[] = {
      {"an empty list: frame, grid and the labels", {}, 36, kWidth, kHeight, true},
      {"every value 0: the line on the base line", {0, 0, 0}, 36, kWidth, kHeight, true},
      {"one point", {5, 6}, 1, kWidth, kHeight, true},
      {"smaller than 10 pixels: the frame alone", {5, 6}, 36, 9, 9, false},
  };
  for (const Row& row : rows) {
    CAPTURE(row.name);
    Drawn d(row.values, -1, row.points, row.width, row.height);
    CHECK(d.canvas.Pixel(0, 0) == RGB(0, 0, 0));
    CHECK(d.Any(1, 1, row.width - 1, row.height - 1, Graphic::kGridColor) == row.grid);
  }
  Drawn zeros({0, 0, 0}, -1);
  CHECK(zeros.canvas.Pixel(5, kHeight - 5) == Graphic::kCurveColor);
  Drawn empty({}, -1);
  CHECK(empty.Any(2, 7, 12, 22, Graphic::kGridColor));                      // "0" at the top: nothing above 0
  CHECK(empty.Any(2, kHeight - 30, 12, kHeight - 7, Graphic::kGridColor));  // and "0" at the bottom
  CHECK_FALSE(empty.Any(1, 1, kWidth - 1, kHeight - 1, Graphic::kCurveColor));
}

TEST_CASE("the lines keep 3:1 against the white ground; in high contrast they take the system colours") {
  for (COLORREF color : {Graphic::kLimitColor, Graphic::kCurveColor, Graphic::kGridColor}) {
    CAPTURE(color);
    CHECK(ContrastWithWhite(color) >= 3.0);
  }
  HighContrastScheme scheme;
  Drawn d({10, 20, 30}, 200);
  const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  CHECK(d.canvas.Pixel(0, 0) == text);
  CHECK(d.canvas.Pixel(kWidth / 2, kHeight / 2 + 3) == GetSysColor(COLOR_WINDOW));
  CHECK(d.Any(0, 5, kWidth, 6, GetSysColor(COLOR_HIGHLIGHT)));  // the limit
  CHECK(d.canvas.Pixel(5, Y(10, 200)) == text);                 // the curve
  CHECK(d.canvas.Pixel(kWidth / 2, kHeight - 5) == text);       // the base line
  for (COLORREF own : {Graphic::kLimitColor, Graphic::kCurveColor, Graphic::kGridColor}) {
    CHECK_FALSE(d.Any(0, 0, kWidth, kHeight, own));
  }
}

TEST_CASE("the graph's window text names the parameter, its newest value and the notification value") {
  HostWindow host;
  Graphic graph;
  REQUIRE(graph.Create({0, 0, kWidth, kHeight}, 4, 36, host.Get(), 1107));
  CHECK(Text(graph.Window()) == L"History graph: no parameter selected");
  graph.SetSubject(L"CPU Usage", [](int32_t v) { return std::to_wstring(v) + L" %"; }, L"95 %");
  struct Row {
    const char* name;
    std::vector<int32_t> values;
    int32_t limit;
    const wchar_t* text;
  };
  const Row rows[] = {
      {"newest last", {30, 37}, 95, L"History of CPU Usage: newest value 37 %, notification value 95 %"},
      {"a missing newest value: the one before", {30, 41, -1}, 95,
       L"History of CPU Usage: newest value 41 %, notification value 95 %"},
      {"nothing yet, no limit", {-1}, -1, L"History of CPU Usage: newest value none yet"},
  };
  for (const Row& row : rows) {
    CAPTURE(row.name);
    graph.SetData(row.values, row.limit);
    CHECK(Text(graph.Window()) == row.text);
  }
  graph.SetSubject({}, nullptr, {});
  CHECK(Text(graph.Window()) == L"History graph: no parameter selected");
}

TEST_CASE("a colour change told to the main dialog reaches the graph on its page, which turns to high contrast") {
  PageFixture f(0);
  f.engine.latest[0].value = 37;
  f.engine.latest[0].recent = {30, 37};
  HWND graph = GetDlgItem(f.Show(), IDC_GRAPH);
  RECT client{};
  GetClientRect(graph, &client);
  auto shows = [&](COLORREF color) {
    Canvas canvas(client.right, client.bottom);
    SendMessageW(graph, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    return canvas.Contains(client, color);
  };
  CHECK(Text(graph) == L"History of CPU Usage: newest value 37 %, notification value 95 %");
  REQUIRE(shows(Graphic::kCurveColor));
  HighContrastScheme scheme;
  SendMessageW(f.dialog->Window(), WM_SYSCOLORCHANGE, 0, 0);
  CHECK_FALSE(shows(Graphic::kCurveColor));
  CHECK(shows(GetSysColor(COLOR_HIGHLIGHT)));
}

TEST_CASE("the curve grows with the window's DPI") {
  for (auto [dpi, thickness] : {std::pair{96, 3}, std::pair{192, 6}}) {
    CAPTURE(dpi);
    Drawn d(std::vector<int32_t>(36, 25), 100, 36, kWidth, kHeight, dpi);
    int drawn = 0;
    for (int y = 0; y < kHeight; ++y) drawn += d.canvas.Pixel(kWidth / 2 + 7, y) == Graphic::kCurveColor;
    CHECK(drawn == thickness);
  }
}
