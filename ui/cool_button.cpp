#include "ui/cool_button.h"

#include <commctrl.h>
#include <vsstyle.h>

#include "ui/dpi.h"
#include "ui/strip_images.h"
#include "ui/theme_helper.h"

namespace {

constexpr int kIconGap = 7;

void Line(HDC dc, COLORREF color, std::initializer_list<POINT> points) {
  ScopedGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, color));
  ScopedSelect use(dc, pen.Get());
  auto it = points.begin();
  MoveToEx(dc, it->x, it->y, nullptr);
  for (++it; it != points.end(); ++it) LineTo(dc, it->x, it->y);
}

}  // namespace

CCoolButton::~CCoolButton() {
  Unbind();
  if (tooltip_ != nullptr) DestroyWindow(tooltip_);
}

bool CCoolButton::Attach(HWND button) {
  if (!Bind(button)) return false;
  DWORD style = static_cast<DWORD>(GetWindowLongPtrW(button, GWL_STYLE));
  RecordStyle(style);
  SetWindowLongPtrW(button, GWL_STYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW);
  Repaint();
  return true;
}

void CCoolButton::RecordStyle(DWORD style) {
  isDefault_ = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

void CCoolButton::SetIcon(ScopedIcon icon) {
  icon_ = std::move(icon);
  iconWidth_ = iconHeight_ = 0;
  ICONINFO info{};
  if (icon_ && GetIconInfo(icon_.Get(), &info)) {
    iconWidth_ = static_cast<int>(info.xHotspot * 2);
    iconHeight_ = static_cast<int>(info.yHotspot * 2);
    ScopedGdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
  }
  Repaint();
}

bool CCoolButton::SetBitmapFromStrip(int bitmapId, int index) {
  stripId_ = bitmapId;
  stripIndex_ = index;
  return LoadStripImage();
}

bool CCoolButton::LoadStripImage() {
  stripDpi_ = WindowDpi(Window());
  ScopedImageList list = LoadStripImages(stripId_, stripDpi_, 0);
  ScopedIcon icon(list ? ImageList_GetIcon(list.Get(), stripIndex_, ILD_NORMAL) : nullptr);
  if (!icon) return false;
  SetIcon(std::move(icon));
  return true;
}

void CCoolButton::SetTooltipText(const std::wstring& text) {
  if (Window() == nullptr) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = Window();
  tool.uId = 1;
  if (tooltip_ == nullptr) {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Window(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ == nullptr) return;
    GetClientRect(Window(), &tool.rect);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
}

void CCoolButton::SetFlat(bool flat) {
  flat_ = flat;
  Repaint();
}

void CCoolButton::SetTextHidden(bool hidden) {
  textHidden_ = hidden;
  Repaint();
}

void CCoolButton::Repaint() {
  if (Window() != nullptr) InvalidateRect(Window(), nullptr, FALSE);
}

void CCoolButton::OnWindowGone() {
  tooltip_ = nullptr;  // a child of the button: gone with it
}

LRESULT CCoolButton::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (tooltip_ != nullptr && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
    MSG relay{Window(), msg, wParam, lParam, 0, {}};
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
  }
  switch (msg) {
    case kReflectedDrawItem:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case BM_SETSTYLE:
      RecordStyle(static_cast<DWORD>(wParam));
      return Default(msg, (wParam & ~BS_TYPEMASK) | BS_OWNERDRAW, lParam);
    case WM_LBUTTONDBLCLK:
      return Default(WM_LBUTTONDOWN, wParam, lParam);
    case WM_GETDLGCODE:
      return DLGC_BUTTON | (isDefault_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_ERASEBKGND:
      return TRUE;
    case WM_SYSCOLORCHANGE:
      Repaint();
      break;
    case WM_DPICHANGED_AFTERPARENT:
      if (stripId_ != 0 && WindowDpi(Window()) != stripDpi_) LoadStripImage();
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(wParam, lParam);
      break;
    case WM_MOUSELEAVE:
    case WM_KILLFOCUS:
    case WM_CANCELMODE:
      CancelHover();
      break;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

void CCoolButton::OnMouseMove(WPARAM wParam, LPARAM lParam) {
  if (!flat_ || ((wParam & MK_LBUTTON) && !hover_)) return;
  POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ClientToScreen(Window(), &point);
  if (WindowFromPoint(point) != Window()) {
    CancelHover();
    return;
  }
  if (hover_) return;
  hover_ = true;
  Repaint();
  TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Window(), 0};
  TrackMouseEvent(&track);
}

void CCoolButton::CancelHover() {
  if (!hover_) return;
  hover_ = false;
  Repaint();
}

void CCoolButton::DrawBackground(HDC dc, RECT& rect) {
  FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
}

void CCoolButton::DrawBorder(HDC dc, const RECT& r) {
  if (!flat_ && !pressed_) {
    Line(dc, GetSysColor(COLOR_3DHILIGHT), {{r.left, r.bottom - 1}, {r.left, r.top}, {r.right, r.top}});
    Line(dc, GetSysColor(COLOR_3DLIGHT), {{r.left + 1, r.bottom - 1}, {r.left + 1, r.top + 1}, {r.right, r.top + 1}});
    Line(dc, GetSysColor(COLOR_3DDKSHADOW), {{r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1}, {r.right - 1, r.top - 1}});
    Line(dc, GetSysColor(COLOR_3DSHADOW), {{r.left + 1, r.bottom - 2}, {r.right - 2, r.bottom - 2}, {r.right - 2, r.top}});
  } else if (!flat_) {
    ScopedGdiObject<HBRUSH> shadow(CreateSolidBrush(GetSysColor(COLOR_3DSHADOW)));
    FrameRect(dc, &r, shadow.Get());
  } else if (pressed_ || hover_) {
    RECT edge = r;
    DrawEdge(dc, &edge, pressed_ ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  }
}

void CCoolButton::DrawIcon(HDC dc, const RECT& client, RECT& textArea, bool hasText) const {
  if (!icon_) return;
  int x = client.left + (client.right - client.left - iconWidth_) / 2;
  int y = client.top + (client.bottom - client.top - iconHeight_) / 2;
  if (hasText) x = client.left + kIconGap;
  textArea.left += iconWidth_ + kIconGap;
  if (pressed_) ++x, ++y;
  UINT flags = DST_ICON | (disabled_ ? DSS_DISABLED : DSS_NORMAL);
  DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon_.Get()), 0, x, y, iconWidth_, iconHeight_, flags);
}

void CCoolButton::DrawLabel(HDC dc, const std::wstring& text, RECT area) const {
  if (pressed_) OffsetRect(&area, 1, 1);
  RECT measured = area;
  DrawTextW(dc, text.c_str(), -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
  int height = measured.bottom - measured.top;
  area.top += (area.bottom - area.top - height) / 2;
  area.bottom = area.top + height;
  SetBkMode(dc, TRANSPARENT);
  if (disabled_) {
    RECT raised = area;
    OffsetRect(&raised, 1, 1);
    SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
    DrawTextW(dc, text.c_str(), -1, &raised, DT_CENTER | DT_WORDBREAK);
    SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
  } else {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  }
  DrawTextW(dc, text.c_str(), -1, &area, DT_CENTER | DT_WORDBREAK);
}

void CCoolButton::DrawItem(const DRAWITEMSTRUCT& item) {
  pressed_ = (item.itemState & ODS_SELECTED) != 0;
  focused_ = (item.itemState & ODS_FOCUS) != 0;
  disabled_ = (item.itemState & ODS_DISABLED) != 0;
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  if (!flat_ && (focused_ || isDefault_)) {
    FrameRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&rect, -1, -1);
  }
  DrawBackground(dc, rect);
  DrawBorder(dc, rect);

  std::wstring text;
  if (!textHidden_) {
    text.resize(static_cast<size_t>(GetWindowTextLengthW(Window())) + 1);
    text.resize(static_cast<size_t>(GetWindowTextW(Window(), text.data(), static_cast<int>(text.size()))));
  }
  RECT textArea = rect;
  DrawIcon(dc, rect, textArea, !text.empty());
  if (!text.empty()) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(Window(), WM_GETFONT, 0, 0));
    ScopedSelect useFont(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    DrawLabel(dc, text, textArea);
  }
  // Flat and themed buttons too, or a keyboard user cannot tell which button has the focus. The
  // button sets ODS_NOFOCUSRECT from its UI state while the dialog hides keyboard cues.
  if (focused_ && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
}

void CXPStyleCoolButton::SetThemeHelper(const CThemeHelper* helper) {
  helper_ = helper;
  if (helper_ == nullptr || !helper_->IsAppThemed()) SetFlat(false);
}

bool CXPStyleCoolButton::Themed() const {
  return helper_ != nullptr && helper_->Themed();
}

LRESULT CXPStyleCoolButton::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_THEMECHANGED:
      SetFlat(Themed());
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case BM_SETSTYLE:
      if (!passThrough_) return 0;
      break;
    case kReflectedDrawItem: {
      // Drawing the parent's background may send focus and style changes back.
      passThrough_ = false;
      LRESULT drawn = CCoolButton::OnMessage(msg, wParam, lParam);
      passThrough_ = true;
      return drawn;
    }
    default:
      break;
  }
  return CCoolButton::OnMessage(msg, wParam, lParam);
}

void CXPStyleCoolButton::DrawBackground(HDC dc, RECT& rect) {
  if (!Themed()) {
    CCoolButton::DrawBackground(dc, rect);
    return;
  }
  HTHEME theme = helper_->OpenThemeData(Window(), L"BUTTON");
  if (theme == nullptr) {
    CCoolButton::DrawBackground(dc, rect);
    return;
  }
  int state = IsDefault() ? PBS_DEFAULTED : PBS_NORMAL;
  if (IsHover()) state = PBS_HOT;
  if (pressed_) state = PBS_PRESSED;
  if (disabled_) state = PBS_DISABLED;
  if (helper_->IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state)) {
    helper_->DrawThemeParentBackground(Window(), dc, &rect);
  }
  helper_->DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &rect, nullptr);
  RECT content = rect;
  if (SUCCEEDED(helper_->GetThemeBackgroundContentRect(theme, dc, BP_PUSHBUTTON, state, &rect, &content))) {
    rect = content;
  }
  helper_->CloseThemeData(theme);
}

void CXPStyleCoolButton::DrawBorder(HDC dc, const RECT& rect) {
  if (!Themed()) CCoolButton::DrawBorder(dc, rect);
}
