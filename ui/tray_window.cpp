#include "ui/tray_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <optional>
#include <utility>

#include "common/local_time.h"
#include "common/product.h"
#include "notify/quiet_time.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "ui/app_commands.h"
#include "ui/dpi.h"
#include "ui/notification_box.h"
#include "ui/ui_messages.h"

namespace {

constexpr size_t kTitleBuffer = 260;
// At logon the shell may not take the icon yet: asked again this often.
constexpr UINT_PTR kAddRetryTimer = 1;
constexpr UINT kAddRetryMs = 2000;

struct FindTitle {
  const std::wstring* name;
  bool found;
};

BOOL CALLBACK CompareTitle(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindTitle*>(param);
  wchar_t title[kTitleBuffer]{};
  GetWindowTextW(window, title, static_cast<int>(kTitleBuffer));
  if (*find->name == title) {
    find->found = true;
    return FALSE;
  }
  return TRUE;
}

template <size_t N>
void CopyField(wchar_t (&field)[N], const std::wstring& text) {
  std::wstring fitted = FitTrayText(text, N);
  fitted.copy(field, fitted.size());
  field[fitted.size()] = L'\0';
}

bool OnWindowThread(HWND window) {
  return window != nullptr && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// Size of the tray's icons now, at the window's DPI.
int SmallIconSize(HWND window) {
  using Function = int(WINAPI*)(int, UINT);
  static const auto forDpi = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
  if (forDpi != nullptr && window != nullptr) return forDpi(SM_CXSMICON, static_cast<UINT>(WindowDpi(window)));
  return ScaleForWindow(window, GetSystemMetrics(SM_CXSMICON));
}

}  // namespace

std::wstring FitTrayText(const std::wstring& text, size_t fieldChars) {
  if (fieldChars == 0) return {};
  size_t room = fieldChars - 1;
  if (text.size() <= room) return text;
  size_t cut = room;
  // Never keep the first half of a pair without its second.
  if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
  return text.substr(0, cut);
}

CTrayWnd::CTrayWnd(std::wstring windowName, const ConnectionSettings& connection)
    : windowName_(std::move(windowName)), connection_(connection) {}

CTrayWnd::~CTrayWnd() {
  Destroy();
}

bool CTrayWnd::Create() {
  FindTitle find{&windowName_, false};
  EnumWindows(CompareTitle, reinterpret_cast<LPARAM>(&find));
  if (find.found) return false;
  HWND window = CreateWindowExW(0, WC_STATICW, windowName_.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return false;
  if (!Bind(window)) {
    DestroyWindow(window);
    return false;
  }
  taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  return true;
}

void CTrayWnd::Destroy() {
  HWND window = Unbind();
  if (window == nullptr) return;
  DropQueuedPayloads(window);
  SetWindowDpi(window, 0);
  DestroyWindow(window);
}

std::wstring CTrayWnd::ToolTip() const {
  std::wstring tip = std::wstring(kProductName) + L" - " +
                     (connection_.local ? std::wstring(L"localhost") : connection_.server.Get());
  return detail_.empty() ? tip : tip + L"\n" + detail_;
}

NOTIFYICONDATAW CTrayWnd::BaseData() const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = Window();
  data.uID = 0;
  // The shell that sends keyboard events hides the plain tip unless asked for it.
  data.uFlags = NIF_MESSAGE | NIF_TIP | NIF_SHOWTIP;
  data.uCallbackMessage = WM_TRAY_CALLBACK;
  CopyField(data.szTip, ToolTip());
  return data;
}

bool CTrayWnd::Notify(DWORD message, NOTIFYICONDATAW& data) {
  return Shell_NotifyIconW(message, &data) != FALSE;
}

bool CTrayWnd::Add(NOTIFYICONDATAW& data) {
  if (icon_ != nullptr) {
    data.uFlags |= NIF_ICON;
    data.hIcon = icon_;
  }
  if (!Notify(NIM_ADD, data)) {
    SetTimer(Window(), kAddRetryTimer, kAddRetryMs, nullptr);
    return false;
  }
  KillTimer(Window(), kAddRetryTimer);
  iconAdded_ = true;
  tipShown_ = data.szTip;
  NOTIFYICONDATAW version = BaseData();
  version.uVersion = NOTIFYICON_VERSION_4;
  version4_ = Notify(NIM_SETVERSION, version);
  return true;
}

bool CTrayWnd::Show(NOTIFYICONDATAW& data) {
  if (iconAdded_) {
    if (Notify(NIM_MODIFY, data)) {
      tipShown_ = data.szTip;
      return true;
    }
    iconAdded_ = false;  // the shell has lost the icon: it goes in again
  }
  return Add(data);
}

bool CTrayWnd::SetIcon(HICON icon) {
  NOTIFYICONDATAW data = BaseData();
  icon_ = icon;
  if (icon == nullptr) {
    KillTimer(Window(), kAddRetryTimer);
    iconAdded_ = false;
    return Notify(NIM_DELETE, data);
  }
  data.uFlags |= NIF_ICON;
  data.hIcon = icon;
  return Show(data);
}

bool CTrayWnd::ShowBalloon(const std::wstring& title, const std::wstring& text, HICON icon, DWORD infoFlags) {
  NOTIFYICONDATAW data = BaseData();
  data.uFlags |= NIF_INFO;
  CopyField(data.szInfoTitle, title);
  CopyField(data.szInfo, text);
  data.dwInfoFlags = infoFlags;
  if (icon != nullptr) {
    data.uFlags |= NIF_ICON;
    data.hIcon = icon;
    icon_ = icon;
  }
  return Show(data);
}

void CTrayWnd::SetTipDetail(std::wstring detail) {
  detail_ = std::move(detail);
  RefreshTip();
}

void CTrayWnd::RefreshTip() {
  if (!iconAdded_) return;  // the tip goes with the next add
  NOTIFYICONDATAW data = BaseData();
  if (tipShown_ != data.szTip) Show(data);
}

LRESULT CTrayWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TRAY_CALLBACK) {
    // With the newer callbacks the event is the low word and wParam holds the icon's place.
    POINT anchor{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
    switch (LOWORD(lParam)) {
      case WM_LBUTTONDBLCLK:
        OnTrayDoubleClick();
        break;
      case WM_RBUTTONDOWN:
        // The older callbacks say neither where the icon is nor anything of the keyboard.
        if (!version4_) {
          POINT cursor{};
          GetCursorPos(&cursor);
          OnTrayMenu(cursor);
        }
        break;
      case WM_CONTEXTMENU:
      case NIN_KEYSELECT:
        if (version4_) OnTrayMenu(anchor);
        break;
      case NIN_BALLOONUSERCLICK:
        OnBalloonClick();
        break;
      case NIN_BALLOONHIDE:
      case NIN_BALLOONTIMEOUT:
        OnBalloonClosed();
        break;
      default:
        break;
    }
  } else if (msg == WM_TIMER && wParam == kAddRetryTimer) {
    if (icon_ != nullptr && !iconAdded_) {
      NOTIFYICONDATAW data = BaseData();
      Add(data);
    } else {
      KillTimer(Window(), kAddRetryTimer);
    }
    return 0;
  } else if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
    // The shell started again and has forgotten the icon.
    if (icon_ != nullptr) {
      iconAdded_ = false;
      SetIcon(icon_);
    }
    return 0;
  }
  // Tray events and commands, handled or not, go on to the default handling
  // too, unless the command was Exit and took the window down.
  return Window() != nullptr ? Default(msg, wParam, lParam) : 0;
}

MainWnd::MainWnd(const ConnectionSettings& connection, const QuietSettings& quiet, AppCommands& app,
                 NotificationBoxes& boxes)
    : CTrayWnd(kTrayWindowName, connection), quiet_(quiet), app_(app), boxes_(boxes) {}

HICON MainWnd::LoadTrayIcon(int iconId) {
  if (iconId < IDI_APP || iconId > IDI_PAUSED) return nullptr;
  ScopedIcon& icon = icons_[iconId - IDI_APP];
  if (!icon) {
    int size = iconSize_ = SmallIconSize(Window());
    icon.Reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  }
  return icon.Get();
}

void MainWnd::SetParametersInError(std::vector<std::wstring> names) {
  PostOwned(Window(), WM_APP_TRAY_ERRORS, std::move(names));
}

void MainWnd::RefreshHold() {
  Silence silence = SilenceAt(quiet_, CurrentLocalTime());
  std::wstring detail = silence.held ? L"Notifications paused until " + silence.until : L"";
  if (!errorLine_.empty()) detail += (detail.empty() ? L"" : L"\n") + errorLine_;
  SetTipDetail(std::move(detail));
}

void MainWnd::Pause(const wchar_t* duration) {
  if (std::optional<int32_t> until = PauseUntilValue(duration, CurrentLocalTime())) app_.PauseNotifications(*until);
}

void MainWnd::SetTrayIcon(int iconId) {
  if (OnWindowThread(Window())) {
    ApplyIcon(iconId);
  } else {
    PostMessageW(Window(), WM_APP_SET_TRAY_ICON, static_cast<WPARAM>(iconId), 0);
  }
}

void MainWnd::ShowTrayBalloon(const std::wstring& title, const std::wstring& text, int iconId, int balloonKind) {
  Balloon balloon{title, text, iconId, balloonKind};
  if (OnWindowThread(Window())) {
    ApplyBalloon(balloon);
  } else {
    PostOwned(Window(), WM_APP_SHOW_BALLOON, std::move(balloon));
  }
}

void MainWnd::OpenMainWindow() {
  // Posted even on this thread: the caller may be in the middle of a pass
  // or a menu, and the dialog runs a loop of its own.
  PostMessageW(Window(), WM_APP_OPEN_MAIN_WINDOW, 0, 0);
}

void MainWnd::ShowNotificationBox(const std::wstring& subject, const std::wstring& body, int kind) {
  boxes_.ShowNotificationBox(subject, body, kind);
}

void MainWnd::PlayInformationSound() {
  MessageBeep(MB_ICONASTERISK);
}

void MainWnd::ApplyIcon(int iconId) {
  shownIconId_ = iconId;
  SetIcon(iconId == kIconNone ? nullptr : LoadTrayIcon(iconId));
}

// The notification area's icons grow with the scale: drawn again at the new size.
void MainWnd::OnScaleChanged() {
  if (SmallIconSize(Window()) == iconSize_) return;
  decltype(icons_) old;
  std::swap(old, icons_);  // the shell still shows one of these until the icon is set again
  if (shownIconId_ != kIconNone) ApplyIcon(shownIconId_);
}

void MainWnd::ApplyBalloon(const Balloon& balloon) {
  if (balloon.iconId != kIconNone) shownIconId_ = balloon.iconId;
  ShowBalloon(balloon.title, balloon.text, balloon.iconId == kIconNone ? nullptr : LoadTrayIcon(balloon.iconId),
              static_cast<DWORD>(balloon.kind));
}

void MainWnd::OnTrayDoubleClick() {
  SetForegroundWindow(Window());
  app_.OpenMainWindow();
}

void MainWnd::OnBalloonClick() {
  OpenDialog();
}

// The dialog runs a loop of its own: opened inside the menu's, it would leave
// the menu standing until it closed. The menu goes first, the dialog after it.
void MainWnd::OpenDialog() {
  if (menuOpen_) {
    openAfterMenu_ = true;
    EndMenu();
    return;
  }
  app_.OpenMainWindow();
}

void MainWnd::OnTrayMenu(POINT at) {
  if (menuOpen_) return;
  ScopedMenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
  if (!menu) return;
  HMENU tray = GetSubMenu(menu.Get(), 0);
  bool on = app_.IsMonitoringOn();
  EnableMenuItem(tray, ID_TRAY_START, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
  EnableMenuItem(tray, ID_TRAY_STOP, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  if (!PauseInEffect(quiet_, CurrentLocalTime())) DeleteMenu(tray, ID_TRAY_RESUME, MF_BYCOMMAND);
  SetMenuDefaultItem(tray, ID_TRAY_OPEN, FALSE);
  // The menu drops to the side the user's handedness setting asks for.
  UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  menuOpen_ = true;
  TrackMenu(tray, TPM_RIGHTBUTTON | align, at);
  menuOpen_ = false;
  if (std::exchange(openAfterMenu_, false)) app_.OpenMainWindow();
}

void MainWnd::TrackMenu(HMENU menu, UINT flags, POINT at) {
  SetForegroundWindow(Window());
  TrackPopupMenu(menu, flags, at.x, at.y, 0, Window(), nullptr);
  PostMessageW(Window(), WM_NULL, 0, 0);  // so the menu closes on a click elsewhere
}

LRESULT MainWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_APP_SET_TRAY_ICON:
      ApplyIcon(static_cast<int>(wParam));
      return 0;
    case WM_APP_SHOW_BALLOON:
      ApplyBalloon(TakePayload<Balloon>(lParam));
      return 0;
    case WM_APP_OPEN_MAIN_WINDOW:
      OpenDialog();
      return 0;
    case WM_DPICHANGED:
      SetWindowDpi(Window(), HIWORD(wParam));
      OnScaleChanged();
      return 0;
    case WM_DISPLAYCHANGE:
      OnScaleChanged();
      break;
    case WM_APP_TRAY_ERRORS:
      errorLine_.clear();
      for (const std::wstring& name : TakePayload<std::vector<std::wstring>>(lParam))
        errorLine_ += (errorLine_.empty() ? L"Error: " : L", ") + name;
      RefreshHold();
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case ID_TRAY_OPEN:
          OpenDialog();
          break;
        case ID_TRAY_START:
          app_.StartMonitoring();
          break;
        case ID_TRAY_STOP:
          app_.StopMonitoring();
          break;
        case ID_TRAY_PAUSE_15M:
          Pause(L"15m");
          break;
        case ID_TRAY_PAUSE_1H:
          Pause(L"1h");
          break;
        case ID_TRAY_PAUSE_4H:
          Pause(L"4h");
          break;
        case ID_TRAY_PAUSE_FOREVER:
          Pause(L"forever");
          break;
        case ID_TRAY_RESUME:
          app_.PauseNotifications(0);
          break;
        case ID_TRAY_EXIT:
          app_.ExitApplication();
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return CTrayWnd::OnMessage(msg, wParam, lParam);
}
