#include "tests/ui/ui_fixture.h"

#include <commctrl.h>
#include <doctest/doctest.h>

#include <chrono>

#include "common/platform_services.h"
#include "settings/settings_table.h"
#include "ui/system_colors.h"
#include "wmi/wmi_query.h"
#include "wmi/wmi_source.h"

namespace {

const wchar_t kHostClass[] = L"VarnalisTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, msg, wParam, lParam);
}

void RegisterHostClass() {
  static bool done = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kHostClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    return RegisterClassW(&wc) != 0;
  }();
  (void)done;
}

}  // namespace

HostWindow::HostWindow(int width, int height) {
  RegisterHostClass();
  window_ = CreateWindowExW(0, kHostClass, L"test host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 20, 20, width,
                            height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  PumpMessages();
}

HostWindow::~HostWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  PumpMessages();
}

HWND HostWindow::AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                            int height, int id) {
  HWND control = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                 nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return control;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

namespace {

// A thread message behind everything posted before it: when the thread's
// loop takes it, it has taken the rest, in order.
const WPARAM kDrainMark = 0x56524E44;
std::atomic<bool> g_drained{false};

LRESULT CALLBACK WatchTakenMessages(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == nullptr && msg->message == WM_NULL &&
      msg->wParam == kDrainMark) {
    g_drained = true;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool DrainPosted(HWND window) {
  DWORD thread = GetWindowThreadProcessId(window, nullptr);
  HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, WatchTakenMessages, nullptr, thread);
  g_drained = false;
  bool drained = hook != nullptr && PostThreadMessageW(thread, WM_NULL, kDrainMark, 0) &&
                 WaitFor([] { return g_drained.load(); });
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  return drained;
}

HighContrastScheme::HighContrastScheme() {
  OverrideHighContrast(true);
}

HighContrastScheme::~HighContrastScheme() {
  OverrideHighContrast(std::nullopt);
}

Canvas::Canvas(int width, int height) {
  ScopedWindowDC screen(nullptr);
  dc_.Reset(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  bitmap_.Reset(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  old_ = SelectObject(dc_.Get(), bitmap_.Get());
  RECT all{0, 0, width, height};
  FillRect(dc_.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

bool Canvas::Contains(const RECT& area, COLORREF color) const {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (Pixel(x, y) == color) return true;
    }
  }
  return false;
}

GuiObjects GuiObjects::Now() {
  return {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
}

std::wstring Text(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    Sleep(10);
  }
  return true;
}

namespace {

bool ToFront(HWND window) {
  HWND top = GetAncestor(window, GA_ROOT);
  return WaitFor([&] {
    SetForegroundWindow(top);
    return GetForegroundWindow() == top;
  });
}

}  // namespace

void BringToFront(HWND window) {
  CHECK_MESSAGE(ToFront(window), "awaited: the window in front, where keys go");
}

void PressKeys(HWND window, const std::vector<WORD>& keys) {
  std::vector<INPUT> input;
  for (WORD key : keys) input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
  for (auto it = keys.rbegin(); it != keys.rend(); ++it)
    input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {*it, 0, KEYEVENTF_KEYUP, 0, 0}}});
  ToFront(window);
  SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

int PressMnemonic(HWND page, WORD key, int expected) {
  BringToFront(page);
  PressKeys(page, {VK_MENU, key});
  WaitFor([&] { return GetDlgCtrlID(FocusOf(page)) == expected; });
  return GetDlgCtrlID(FocusOf(page));
}

HWND FocusOf(HWND window) {
  GUITHREADINFO thread{sizeof thread, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
  return thread.hwndFocus;
}

std::vector<int> TabOrder(HWND page, HWND first) {
  std::vector<int> ids;
  for (HWND at = first; at != nullptr && (ids.empty() || at != first); at = GetNextDlgTabItem(page, at, FALSE))
    ids.push_back(GetDlgCtrlID(at));
  return ids;
}

TestEngine::TestEngine(bool held) {
  // COM and Winsock once for the whole program, as the application starts them.
  static PlatformServices platform;
  static bool up = platform.Start();
  if (up) wmi_ = CreateSystemWmiSource();
  if (!held) Open();
}

TestEngine::~TestEngine() {
  Open();
  work_.WaitAll(std::chrono::milliseconds(kWmiStepTimeoutMs));
}

bool TestEngine::RunInBackground(std::function<void()> work) {
  return work_.Start([opened = opened_, finished = finished_, work = std::move(work)] {
    opened.wait();
    work();
    ++*finished;
  });
}

OpenDialog::OpenDialog(Settings& settings, AppCommands& app, EngineAccess& engine, const CThemeHelper& theme)
    : dialog_(settings, app, engine, theme, {L"HKCU\\Software\\Pellard Software\\Varnalis 1.4", L"C:\\varnalis\\log.txt"}),
      thread_([this] { dialog_.Run([] { return std::wstring(L"Last monitoring finished: 03:04:05 PM  05 Dec 2026"); }); }) {
  // Shown once its initialisation is over.
  CHECK_MESSAGE(WaitFor([this] { return dialog_.Window() != nullptr && IsWindowVisible(dialog_.Window()); }),
                "awaited: the main dialog shown");
}

OpenDialog::~OpenDialog() {
  Close();
  thread_.join();
}

HWND OpenDialog::ShowPage(int index) const {
  SendMessageW(Sheet(), PSM_SETCURSEL, index, 0);
  return PropSheet_GetCurrentPageHwnd(Sheet());
}

void OpenDialog::Close() {
  if (HWND window = dialog_.Window()) SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
}

HWND PageFixture::Show() {
  if (!dialog)
    dialog.emplace(settings, app, engine, theme);
  else
    dialog->ShowPage(index == 5 ? 0 : 5);  // away and back: the page is activated again
  return page = dialog->ShowPage(index);
}

std::wstring PageFixture::Type(int id, const std::wstring& text) const {
  return AnswerBoxOf([&] { SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); });
}

std::wstring PageFixture::Stored(const wchar_t* name) {
  std::vector<SettingRef> table = SettingsTable(settings);
  const SettingRef* ref = FindSetting(table, name);
  REQUIRE(ref != nullptr);
  return SettingText(*ref);
}

void SelectOnly(HWND list, int row) {
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
  if (row >= 0) ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

namespace {

// A message box of this process; it holds its text in the static 0xFFFF.
HWND MessageBoxShown() {
  HWND found = nullptr;
  EnumWindows([](HWND window, LPARAM lParam) -> BOOL {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16]{};
    GetClassNameW(window, className, 16);
    bool box = process == GetCurrentProcessId() && std::wstring(className) == L"#32770" &&
               IsWindowVisible(window) && GetDlgItem(window, 0xFFFF) != nullptr;
    if (box) *reinterpret_cast<HWND*>(lParam) = window;
    return !box;
  }, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

std::wstring AnswerBoxOf(const std::function<void()>& send) {
  auto sent = std::async(std::launch::async, send);
  auto returned = [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
  HWND box = nullptr;
  bool settled = WaitFor([&] { return returned() || (box = MessageBoxShown()) != nullptr; }, 20000);
  CHECK_MESSAGE(settled, "awaited: the message to return or a message box");
  std::wstring text = box != nullptr ? Text(GetDlgItem(box, 0xFFFF)) : L"";
  if (box != nullptr) PostMessageW(box, WM_COMMAND, IDOK, 0);
  sent.get();
  return text;
}
