#include "ui/main_dialog.h"

#include <commctrl.h>
#include <prsht.h>

#include "common/product.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "ui/about_page.h"
#include "ui/app_commands.h"
#include "ui/connection_page.h"
#include "ui/dpi.h"
#include "ui/log_page.h"
#include "ui/notifications_page.h"
#include "ui/options_page.h"
#include "ui/resources_page.h"
#include "ui/system_colors.h"
#include "ui/ui_messages.h"

namespace {

constexpr int kSheetTop = 35;  // pixels below the dialog's client top, at 96 DPI
constexpr int kServerBand = 0xAAAAAA;

// The sheet becomes a child of the dialog: no frame, caption or buttons of its own.
int CALLBACK SheetCallback(HWND, UINT msg, LPARAM lParam) {
  if (msg != PSCB_PRECREATE) return 0;
  const DWORD remove = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CONTEXTHELP;
  const DWORD add = WS_CHILD | WS_VISIBLE | DS_CONTROL;
  auto* words = reinterpret_cast<WORD*>(lParam);
  if (words[1] == 0xFFFF) {  // DLGTEMPLATEEX: help id, extended style, style
    auto* dwords = reinterpret_cast<DWORD*>(words + 2);
    dwords[1] |= WS_EX_CONTROLPARENT;
    dwords[2] = (dwords[2] & ~remove) | add;
  } else {
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(lParam);
    dialog->style = (dialog->style & ~remove) | add;
    dialog->dwExtendedStyle |= WS_EX_CONTROLPARENT;
  }
  return 0;
}

// The sheet of the dialog this thread runs, for the keyboard hook.
thread_local HWND runningSheet = nullptr;

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+Page Down and Ctrl+Page Up turn the pages, as in
// any sheet: the dialog's own loop does not know the sheet inside it. The hook
// also sees the keys of modal windows over the dialog (message boxes, the
// advanced settings), which must not turn the pages behind them.
LRESULT CALLBACK PageKeys(int code, WPARAM wParam, LPARAM lParam) {
  auto* msg = reinterpret_cast<MSG*>(lParam);
  HWND dialog = runningSheet != nullptr ? GetParent(runningSheet) : nullptr;
  if (code == MSGF_DIALOGBOX && dialog != nullptr && msg->message == WM_KEYDOWN &&
      (msg->hwnd == dialog || IsChild(dialog, msg->hwnd)) && (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
    int step = 0;
    if (msg->wParam == VK_TAB) step = (GetKeyState(VK_SHIFT) & 0x8000) != 0 ? -1 : 1;
    if (msg->wParam == VK_NEXT) step = 1;
    if (msg->wParam == VK_PRIOR) step = -1;
    HWND tabs = PropSheet_GetTabControl(runningSheet);
    int count = TabCtrl_GetItemCount(tabs);
    if (step != 0 && count > 0) {
      int page = (TabCtrl_GetCurSel(tabs) + step + count) % count;
      SendMessageW(runningSheet, PSM_SETCURSEL, static_cast<WPARAM>(page), 0);
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK TellDpiChanged(HWND child, LPARAM) {
  SendMessageW(child, WM_DPICHANGED_AFTERPARENT, 0, 0);
  return TRUE;
}

}  // namespace

QuorDlg::QuorDlg(Settings& settings, AppCommands& app, EngineAccess& engine, const CThemeHelper& theme,
                 AboutTexts about, std::function<void(HWND)> onWindow)
    : settings_(settings),
      app_(app),
      engine_(engine),
      theme_(theme),
      about_(std::move(about)),
      onWindow_(std::move(onWindow)),
      serverLabel_(kServerBand, 0) {}

QuorDlg::~QuorDlg() = default;

void QuorDlg::Run(std::function<std::wstring()> status) {
  initialStatus_ = std::move(status);
  HHOOK hook = SetWindowsHookExW(WH_MSGFILTER, PageKeys, nullptr, GetCurrentThreadId());
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                  reinterpret_cast<LPARAM>(this));
  runningSheet = nullptr;
  if (hook != nullptr) UnhookWindowsHookEx(hook);
}

void QuorDlg::OnWindowGone() {
  SetWindowDpi(window_, 0);
  if (onWindow_) onWindow_(nullptr);
}

INT_PTR QuorDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_DRAWITEM:
      return ReflectDrawItem(lParam);
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
      ForwardColorChange(window_, msg, wParam, lParam);
      return FALSE;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return TRUE;
    case WM_APP_SET_STATUS:
      SetStatusText(TakePayload<std::wstring>(lParam));
      return TRUE;
    case WM_APP_UPDATE_PARAMETERS: {
      PassSnapshot snapshot = TakePayload<PassSnapshot>(lParam);
      if (resources_ != nullptr) resources_->UpdateParameters(snapshot);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_START:
          app_.StartMonitoring();
          SyncButtons();
          SetFocus(sheet_);
          return TRUE;
        case IDC_STOP:
          app_.StopMonitoring();
          SyncButtons();
          SetFocus(sheet_);
          return TRUE;
        case IDCANCEL:
          OnCancel();
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

void QuorDlg::OnInitDialog() {
  if (onWindow_) onWindow_(window_);
  SetWindowTextW(window_, kProductName);
  LoadIcons();

  // The buttons show their images alone; their texts stay their names for screen readers.
  struct {
    CXPStyleCoolButton& button;
    int id, image;
    const wchar_t* tip;
  } buttons[] = {{start_, IDC_START, IMG_START, L"Start monitoring"}, {stop_, IDC_STOP, IMG_STOP, L"Stop monitoring"}};
  for (auto& b : buttons) {
    if (!b.button.Attach(GetDlgItem(window_, b.id))) continue;
    b.button.SetBitmapFromStrip(IDB_BUTTONS, b.image);
    b.button.SetTextHidden(true);
    SetWindowTextW(b.button.Window(), b.tip);
    b.button.SetTooltipText(b.tip);
    b.button.SetThemeHelper(&theme_);
  }
  SyncButtons();
  serverLabel_.Attach(GetDlgItem(window_, IDC_SERVER_LABEL));
  // Placed first: on a monitor of another scale the DPI change comes before the sheet is laid out.
  PlaceFromSettings();
  MakeSheet();
  UpdateServerLabel();
  SetStatusText(initialStatus_());
}

void QuorDlg::LoadIcons() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  int big = ScaleForWindow(window_, 32), small = ScaleForWindow(window_, 16);
  ScopedIcon bigIcon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, big, big, 0)));
  ScopedIcon smallIcon(
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, small, small, 0)));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.Get()));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.Get()));
  bigIcon_ = std::move(bigIcon);
  smallIcon_ = std::move(smallIcon);
}

void QuorDlg::OnDpiChanged(int dpi, const RECT& suggested) {
  SetWindowDpi(window_, dpi);
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LoadIcons();
  // Windows 10 tells the children itself, older systems do not: they hear it here too (twice is no change).
  EnumChildWindows(window_, TellDpiChanged, 0);
  PlaceSheet();
  InvalidateRect(window_, nullptr, TRUE);
}

void QuorDlg::MakeSheet() {
  auto resources = std::make_unique<HealthParamsPage>(theme_, settings_, engine_);
  resources_ = resources.get();
  pages_[0] = std::move(resources);
  pages_[1] = std::make_unique<NotificationsPage>(theme_, settings_, engine_);
  pages_[2] = std::make_unique<ConnectionPage>(theme_, settings_, engine_, [this] { UpdateServerLabel(); });
  pages_[3] = std::make_unique<LogPage>(theme_, settings_, engine_);
  pages_[4] = std::make_unique<OptionsPage>(theme_, settings_, app_);
  pages_[5] = std::make_unique<AboutPage>(about_.settingsPlace, about_.logFile);
  HPROPSHEETPAGE handles[6];
  for (int i = 0; i < 6; ++i) handles[i] = pages_[i]->Make();

  PROPSHEETHEADERW header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_USECALLBACK;
  header.hwndParent = window_;
  header.hInstance = GetModuleHandleW(nullptr);
  header.nPages = 6;
  header.nStartPage = 0;
  header.phpage = handles;
  header.pfnCallback = SheetCallback;
  sheet_ = reinterpret_cast<HWND>(PropertySheetW(&header));
  if (sheet_ == nullptr || sheet_ == reinterpret_cast<HWND>(-1)) {
    sheet_ = nullptr;
    return;
  }
  runningSheet = sheet_;
  // A sheet inside a dialog has no buttons of its own: hide them and the room they take.
  for (int id : {IDOK, IDCANCEL, IDHELP, 0x3021 /* Apply */}) {
    if (HWND button = GetDlgItem(sheet_, id)) ShowWindow(button, SW_HIDE);
  }
  PlaceSheet();
}

void QuorDlg::PlaceSheet() {
  if (sheet_ == nullptr) return;
  RECT tabs{};
  GetWindowRect(PropSheet_GetTabControl(sheet_), &tabs);
  RECT sheet{};
  GetWindowRect(sheet_, &sheet);
  int margin = tabs.left - sheet.left;
  int top = ScaleForWindow(window_, kSheetTop);
  int height = tabs.bottom - sheet.top + margin / 2;
  SetWindowPos(sheet_, HWND_TOP, 0, top, sheet.right - sheet.left, height, SWP_SHOWWINDOW);
  KeepStatusBelow(top + height);
}

// With some fonts the sheet reaches the status line: the line moves down and
// the dialog grows to keep it in view.
void QuorDlg::KeepStatusBelow(int sheetBottom) {
  HWND status = GetDlgItem(window_, IDC_STATUS);
  RECT line{};
  GetWindowRect(status, &line);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&line), 2);
  int gap = ScaleForWindow(window_, 3);
  int shift = sheetBottom + gap - line.top;
  if (shift <= 0) return;
  SetWindowPos(status, nullptr, line.left, line.top + shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  RECT frame{};
  GetWindowRect(window_, &frame);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + shift,
               SWP_NOMOVE | SWP_NOZORDER);
}

void QuorDlg::PlaceFromSettings() {
  int x = settings_.Interface.dlgX, y = settings_.Interface.dlgY;
  if (x == -1 || y == -1) return;
  RECT rect{};
  GetWindowRect(window_, &rect);
  // A position on no monitor (one that has gone) would put the dialog out of reach.
  RECT caption{x, y, x + (rect.right - rect.left), y + GetSystemMetrics(SM_CYCAPTION)};
  if (MonitorFromRect(&caption, MONITOR_DEFAULTTONULL) == nullptr) return;
  SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void QuorDlg::SetStatusText(const std::wstring& text) {
  if (window_ != nullptr) SetDlgItemTextW(window_, IDC_STATUS, text.c_str());
}

void QuorDlg::UpdateServerLabel() {
  serverLabel_.SetText(settings_.Connection.local ? std::wstring(L"Localhost") : settings_.Connection.server.Get());
}

void QuorDlg::SyncButtons() {
  if (window_ == nullptr) return;
  bool on = app_.IsMonitoringOn();
  EnableWindow(GetDlgItem(window_, IDC_START), !on);
  EnableWindow(GetDlgItem(window_, IDC_STOP), on);
}

void QuorDlg::Restore() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_RESTORE);
  SetForegroundWindow(window_);
}

void QuorDlg::OnCancel() {
  if (window_ == nullptr) return;
  // Minimised, the window rectangle is parked far off-screen: keep where it was.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  RECT rect{};
  if (IsIconic(window_) && GetWindowPlacement(window_, &placement)) {
    rect = placement.rcNormalPosition;
  } else {
    GetWindowRect(window_, &rect);
  }
  settings_.Interface.dlgX = rect.left;
  settings_.Interface.dlgY = rect.top;
  EndDialog(window_, IDCANCEL);
}
