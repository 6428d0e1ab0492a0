#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <optional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/ui/ui_fixture.h"
#include "ui/color_list.h"
#include "ui/color_static.h"
#include "ui/cool_button.h"
#include "ui/dpi.h"
#include "ui/strip_images.h"
#include "ui/theme_helper.h"

namespace {

// Draws the button as its owner would ask, into the canvas.
void DrawButton(HWND button, HDC dc, UINT state, int width, int height) {
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.hwndItem = button;
  item.hDC = dc;
  item.itemState = state;
  item.rcItem = {0, 0, width, height};
  item.itemAction = ODA_DRAWENTIRE;
  CHECK(ReflectDrawItem(reinterpret_cast<LPARAM>(&item)));
}

// A visual style as Wine does not draw one: the button's part is filled in one colour.
class StandInTheme final : public CThemeHelper {
 public:
  static constexpr COLORREF kFace = RGB(200, 230, 250);
  StandInTheme() : CThemeHelper(L"no-such-uxtheme.dll") {}
  HTHEME OpenThemeData(HWND, LPCWSTR) const override { return reinterpret_cast<HTHEME>(1); }
  HRESULT CloseThemeData(HTHEME) const override { return S_OK; }
  HRESULT DrawThemeBackground(HTHEME, HDC dc, int, int, const RECT* rect, const RECT*) const override {
    ScopedGdiObject<HBRUSH> face(CreateSolidBrush(kFace));
    FillRect(dc, rect, face.Get());
    return S_OK;
  }
  HRESULT GetThemeBackgroundContentRect(HTHEME, HDC, int, int, const RECT* bounds, RECT* content) const override {
    *content = *bounds;
    InflateRect(content, -3, -3);
    return S_OK;
  }
  bool IsThemeActive() const override { return true; }
  bool IsAppThemed() const override { return true; }
};

// Where icon is opaque, as a colour-blind user would see it: shape, not hue.
std::vector<bool> Silhouette(HICON icon, int side) {
  ICONINFO info{};
  REQUIRE(GetIconInfo(icon, &info));
  ScopedGdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<RGBQUAD> pixels(static_cast<size_t>(side) * side);
  ScopedWindowDC screen(nullptr);
  REQUIRE(GetDIBits(screen.Get(), color.Get(), 0, side, pixels.data(), &format, DIB_RGB_COLORS) == side);
  std::vector<bool> opaque;
  for (const RGBQUAD& p : pixels) opaque.push_back(p.rgbReserved >= 128);
  return opaque;
}

// How many columns of the row show the stop image's red.
int RedColumns(const Canvas& canvas, int width, int y) {
  int count = 0;
  for (int x = 0; x < width; ++x) {
    COLORREF c = canvas.Pixel(x, y);
    count += GetRValue(c) > 150 && GetGValue(c) < 100 && GetBValue(c) < 100;
  }
  return count;
}

}  // namespace

TEST_CASE("the alert and stopped tray icons differ from the normal one in shape, at 16 and 32 pixels") {
  for (int side : {16, 32}) {
    CAPTURE(side);
    auto load = [&](int id) {
      return ScopedIcon(static_cast<HICON>(
          LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, 0)));
    };
    ScopedIcon normal = load(IDI_NORMAL), alert = load(IDI_ALERT), stopped = load(IDI_STOPPED);
    REQUIRE((normal && alert && stopped));
    auto differing = [&](HICON a, HICON b) {
      std::vector<bool> x = Silhouette(a, side), y = Silhouette(b, side);
      int count = 0;
      for (size_t i = 0; i < x.size(); ++i) count += x[i] != y[i];
      return count;
    };
    // A badge breaks the circle: at least a twentieth of the square changes.
    CHECK(differing(normal.Get(), alert.Get()) >= side * side / 20);
    CHECK(differing(normal.Get(), stopped.Get()) >= side * side / 20);
    CHECK(differing(alert.Get(), stopped.Get()) > 0);
  }
}

TEST_CASE("image strips and the splash are drawn for each scale, the strips with see-through edges") {
  const int strips[] = {IDB_CHECK_BOXES, IDB_PARAMETERS, IDB_BUTTONS, IDB_CHANNELS, IDB_LOG_LEVELS};
  const struct {
    int dpi, side;
  } scales[] = {{96, 16}, {120, 20}, {144, 24}, {168, 24}, {192, 32}, {288, 32}};
  for (const auto& scale : scales) {
    CAPTURE(scale.dpi);
    ScopedGdiObject<HBITMAP> splash = LoadArt(IDB_SPLASH, scale.dpi);
    BITMAP info{};
    REQUIRE(GetObjectW(splash.Get(), sizeof info, &info) != 0);
    CHECK(info.bmWidth == 300 * scale.side / 16);
    for (int strip : strips) {
      CAPTURE(strip);
      ScopedImageList list = LoadStripImages(strip, scale.dpi, 0);
      int width = 0, height = 0;
      REQUIRE(ImageList_GetIconSize(list.Get(), &width, &height));
      CHECK((width == scale.side && height == scale.side));
      // On white and on black: the corner shows the background, and the edges
      // blend with it instead of carrying a fringe of one colour.
      Canvas white(scale.side, scale.side), black(scale.side, scale.side);
      RECT all{0, 0, scale.side, scale.side};
      FillRect(black.Dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      const int last = ImageList_GetImageCount(list.Get()) - 1;
      REQUIRE(ImageList_Draw(list.Get(), last, white.Dc(), 0, 0, ILD_NORMAL));
      REQUIRE(ImageList_Draw(list.Get(), last, black.Dc(), 0, 0, ILD_NORMAL));
      bool clear = false, blended = false;
      for (int y = 0; y < scale.side; ++y) {
        for (int x = 0; x < scale.side; ++x) {
          COLORREF w = white.Pixel(x, y), b = black.Pixel(x, y);
          clear = clear || (w == RGB(255, 255, 255) && b == RGB(0, 0, 0));
          blended = blended || (w != b && w != RGB(255, 255, 255) && b != RGB(0, 0, 0));
        }
      }
      CHECK(clear);
      CHECK(blended);
    }
  }
}

TEST_CASE("an image button takes the drawing for its DPI, and another on a DPI change") {
  HostWindow host;
  HWND window = host.AddControl(L"BUTTON", L"", BS_PUSHBUTTON, 10, 10, 80, 48, 100);
  CCoolButton button;
  REQUIRE(button.Attach(window));
  button.SetTextHidden(true);
  SetWindowDpi(host.Get(), 96);
  REQUIRE(button.SetBitmapFromStrip(IDB_BUTTONS, IMG_STOP));
  auto redWidth = [&] {
    Canvas canvas(80, 48);
    DrawButton(window, canvas.Dc(), 0, 80, 48);
    return RedColumns(canvas, 80, 24);
  };
  const int at96 = redWidth();
  CHECK(at96 >= 5);
  SetWindowDpi(host.Get(), 192);
  SendMessageW(window, WM_DPICHANGED_AFTERPARENT, 0, 0);
  CHECK(redWidth() >= 2 * at96 - 2);
  SetWindowDpi(host.Get(), 0);
}

TEST_CASE("an image button draws its states unthemed with the system colours, and a focus cue while it has the focus unless the dialog hides keyboard cues") {
  CThemeHelper none(L"no-such-uxtheme.dll");
  StandInTheme themed;  // both outlive the button
  HostWindow host;
  HWND window = host.AddControl(L"BUTTON", L"Go", BS_PUSHBUTTON | WS_TABSTOP, 10, 10, 80, 24, 100);
  CXPStyleCoolButton button;
  REQUIRE(button.Attach(window));
  CHECK((GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW);
  button.SetThemeHelper(&none);
  CHECK_FALSE(button.IsFlat());
  REQUIRE(button.SetBitmapFromStrip(IDB_BUTTONS, IMG_STOP));

  struct State {
    std::string name;
    UINT state;
    COLORREF left;   // column 0, halfway down
    COLORREF right;  // last column, halfway down
  };
  const State states[] = {
      {"plain", 0, GetSysColor(COLOR_3DHILIGHT), GetSysColor(COLOR_3DDKSHADOW)},
      {"focused: black frame", ODS_FOCUS, RGB(0, 0, 0), RGB(0, 0, 0)},
      {"pressed: shadow frame", ODS_SELECTED, GetSysColor(COLOR_3DSHADOW), GetSysColor(COLOR_3DSHADOW)},
  };
  for (const State& row : states) {
    CAPTURE(row.name);
    Canvas canvas(80, 24);
    DrawButton(window, canvas.Dc(), row.state, 80, 24);
    CHECK(canvas.Pixel(0, 12) == row.left);
    CHECK(canvas.Pixel(79, 12) == row.right);
    CHECK(canvas.Pixel(40, 5) == GetSysColor(COLOR_BTNFACE));
    // The stop image is red; its square sits 7 pixels in from the left.
    CHECK(canvas.Contains({7, 4, 7 + 16 + 1, 21}, RGB(210, 45, 40)));
  }
  {
    INFO("disabled: the icon greyed, the text embossed");
    Canvas canvas(80, 24);
    DrawButton(window, canvas.Dc(), ODS_DISABLED, 80, 24);
    CHECK_FALSE(canvas.Contains({7, 4, 24, 21}, RGB(210, 45, 40)));
    CHECK(canvas.Contains({30, 4, 70, 20}, GetSysColor(COLOR_3DSHADOW)));
  }

  struct Cue {
    std::string name;
    const CThemeHelper* theme;
    bool flat;
    UINT state;
    bool cue;
  };
  const Cue cues[] = {
      {"raised", &none, false, ODS_FOCUS, true},
      {"flat", &none, true, ODS_FOCUS, true},
      {"themed", &themed, true, ODS_FOCUS, true},
      {"themed, cues hidden", &themed, true, ODS_FOCUS | ODS_NOFOCUSRECT, false},
      {"raised, cues hidden", &none, false, ODS_FOCUS | ODS_NOFOCUSRECT, false},
  };
  for (const Cue& row : cues) {
    CAPTURE(row.name);
    button.SetThemeHelper(row.theme);
    button.SetFlat(row.flat);
    // The focus rectangle lies 3 pixels in: compare that line with the button drawn without the focus.
    Canvas focused(80, 24), plain(80, 24);
    DrawButton(window, focused.Dc(), row.state, 80, 24);
    DrawButton(window, plain.Dc(), row.state & ~ODS_FOCUS, 80, 24);
    bool differs = false;
    for (int x = 30; x < 70; ++x) differs |= focused.Pixel(x, 3) != plain.Pixel(x, 3);
    CHECK(differs == row.cue);
    if (row.theme == &themed) CHECK(plain.Pixel(75, 12) == StandInTheme::kFace);
  }
}

TEST_CASE("a default button keeps its default role for the dialog and answers as one") {
  HostWindow host;
  HWND window = host.AddControl(L"BUTTON", L"OK", BS_DEFPUSHBUTTON, 10, 10, 80, 24, IDOK);
  CCoolButton button;
  REQUIRE(button.Attach(window));
  CHECK(button.IsDefault());
  CHECK((SendMessageW(window, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0);
  SendMessageW(window, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
  CHECK_FALSE(button.IsDefault());
  CHECK((SendMessageW(window, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON) != 0);
  CHECK((GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW);
}

TEST_CASE("the server label is a gray band with bold black text from x = 10") {
  HostWindow host;
  HWND window = host.AddControl(L"STATIC", L"", 0, 5, 6, 300, 24, 1030);
  ColorStatic label(0xAAAAAA, 0);
  REQUIRE(label.Attach(window));
  label.SetText(L"Localhost");
  Canvas canvas(300, 24);
  label.Paint(canvas.Dc());
  CHECK(canvas.Pixel(299, 23) == RGB(0xAA, 0xAA, 0xAA));
  CHECK(canvas.Pixel(2, 10) == RGB(0xAA, 0xAA, 0xAA));
  CHECK(canvas.Contains({10, 0, 120, 24}, RGB(0, 0, 0)));
  CHECK_FALSE(canvas.Contains({0, 0, 9, 24}, RGB(0, 0, 0)));
  CHECK(Text(window) == L"Localhost");

  // In high contrast the band takes the window's colours, once the label hears of the change.
  HighContrastScheme scheme;
  SendMessageW(window, WM_SYSCOLORCHANGE, 0, 0);
  label.Paint(canvas.Dc());
  CHECK(canvas.Pixel(299, 23) == GetSysColor(COLOR_WINDOW));
  CHECK(canvas.Contains({10, 0, 120, 24}, GetSysColor(COLOR_WINDOWTEXT)));
}

TEST_CASE("rows marked warning and error stand out from 40 pixels in, on light or dark ground and in high contrast") {
  struct Row {
    std::string name;
    COLORREF ground;
    bool highContrast;
    COLORREF warning, error;  // at the row's right end
  };
  const Row rows[] = {
      {"light: tints ANDed", RGB(255, 255, 255), false, kWarningTint, kErrorTint},
      {"dark: tints ORed", RGB(0, 0, 0), false, kDarkWarningTint, kDarkErrorTint},
      {"high contrast: framed, not tinted", RGB(255, 255, 255), true, GetSysColor(COLOR_HIGHLIGHT),
       GetSysColor(COLOR_HIGHLIGHT)},
  };
  for (const Row& r : rows) {
    CAPTURE(r.name);
    std::optional<HighContrastScheme> scheme;
    if (r.highContrast) scheme.emplace();
    HostWindow host(420, 200);
    HWND window = host.AddControl(WC_LISTVIEWW, L"", LVS_REPORT | LVS_NOSORTHEADER, 0, 0, 400, 160, 1001);
    ListView_SetBkColor(window, r.ground);
    ListView_SetTextBkColor(window, r.ground);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = 380;
    column.pszText = const_cast<wchar_t*>(L"Parameter");
    ListView_InsertColumn(window, 0, &column);
    const LPARAM marks[] = {kRowNormal, kRowError, kRowWarning, kRowOff};
    for (int row = 0; row < 4; ++row) {
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = row;
      item.pszText = const_cast<wchar_t*>(L"");
      item.lParam = marks[row];
      ListView_InsertItem(window, &item);
    }
    ColorList list;
    REQUIRE(list.Attach(window));

    Canvas canvas(400, 160);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT | PRF_ERASEBKGND);
    list.TintRows(canvas.Dc());
    const COLORREF edge[] = {r.ground, r.error, r.warning, r.ground};
    for (int row = 0; row < 4; ++row) {
      CAPTURE(row);
      RECT bounds{};
      REQUIRE(ListView_GetItemRect(window, row, &bounds, LVIR_BOUNDS));
      int y = (bounds.top + bounds.bottom) / 2;
      CHECK(canvas.Pixel(bounds.left + 20, y) == r.ground);
      CHECK(canvas.Pixel(bounds.right - 1, y) == edge[row]);
      // A tint covers the row from 40 pixels in; a frame leaves its inside alone.
      COLORREF inside = r.highContrast ? r.ground : edge[row];
      CHECK(canvas.Pixel(bounds.left + 40, y) == inside);
      CHECK(canvas.Pixel(bounds.left + 200, y) == inside);
    }
  }
}

TEST_CASE("painting the controls a thousand times leaves the GDI and USER object counts where they were") {
  HostWindow host(420, 200);
  HWND buttonWindow = host.AddControl(L"BUTTON", L"Start", BS_PUSHBUTTON, 10, 10, 80, 24, 100);
  HWND labelWindow = host.AddControl(L"STATIC", L"", 0, 10, 40, 200, 24, 101);
  HWND listWindow = host.AddControl(WC_LISTVIEWW, L"", LVS_REPORT, 10, 70, 300, 100, 102);
  CXPStyleCoolButton button;
  ColorStatic label(0xAAAAAA, 0);
  ColorList list;
  REQUIRE(button.Attach(buttonWindow));
  REQUIRE(label.Attach(labelWindow));
  REQUIRE(list.Attach(listWindow));
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.lParam = kRowError;
  ListView_InsertItem(listWindow, &item);
  button.SetTooltipText(L"Start monitoring");
  REQUIRE(button.SetBitmapFromStrip(IDB_BUTTONS, IMG_START));
  PumpMessages();

  GuiObjects before = GuiObjects::Now();
  for (int i = 0; i < 1000; ++i) {
    for (HWND w : {buttonWindow, labelWindow, listWindow}) RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  PumpMessages();
  GuiObjects after = GuiObjects::Now();
  CHECK(after.gdi == before.gdi);
  CHECK(after.user == before.user);
}
