#pragma once
// Real windows for the in-process tests: a host window on the test's own
// thread, and drawing into memory DCs whose pixels the tests read back.
#include <windows.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_win.h"
#include "log/event_log.h"
#include "settings/settings.h"
#include "ui/app_commands.h"
#include "ui/background_work.h"
#include "ui/engine_access.h"
#include "ui/main_dialog.h"
#include "ui/theme_helper.h"

// A visible top-level window to put controls on; destroyed with the fixture.
class HostWindow {
 public:
  HostWindow(int width = 400, int height = 300);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Get() const { return window_; }
  HWND AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width, int height,
                  int id);

 private:
  HWND window_ = nullptr;
};

// Lets queued and sent messages run, as a message loop would.
void PumpMessages();

// Waits until window's thread has taken every message posted to it so far.
bool DrainPosted(HWND window);

// A 32-bit bitmap selected into a memory DC, white at first.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas() { SelectObject(dc_.Get(), old_); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC Dc() const { return dc_.Get(); }
  COLORREF Pixel(int x, int y) const { return GetPixel(dc_.Get(), x, y); }
  // True when some pixel of the rectangle has the colour.
  bool Contains(const RECT& area, COLORREF color) const;

 private:
  ScopedMemoryDC dc_;
  ScopedGdiObject<HBITMAP> bitmap_;
  HGDIOBJ old_ = nullptr;
};

// The custom controls made while it lives see a high-contrast scheme, which
// Wine cannot switch on.
struct HighContrastScheme {
  HighContrastScheme();
  ~HighContrastScheme();
  HighContrastScheme(const HighContrastScheme&) = delete;
  HighContrastScheme& operator=(const HighContrastScheme&) = delete;
};

// The process's GDI and USER object counts.
struct GuiObjects {
  DWORD gdi;
  DWORD user;
  static GuiObjects Now();
};

std::wstring Text(HWND window);
// Polls until done() holds, at most timeoutMs; its last answer.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000);

// Makes the window's top-level window the foreground one, where the keys a
// test presses go; other programs of the test run may have taken it.
void BringToFront(HWND window);

// Presses keys as the user would, each held down until the last is pressed
// (Ctrl, Tab), on window's top-level window brought to the front. It checks
// nothing, so a test's helper thread may call it too.
void PressKeys(HWND window, const std::vector<WORD>& keys);
// The window with the keyboard focus on window's thread.
HWND FocusOf(HWND window);
// Presses Alt+key as the user would, on the foreground window, and waits for
// the focus on page's thread to reach expected; the id of the control that
// then has it.
int PressMnemonic(HWND page, WORD key, int expected);
// The ids of page's tab stops as Tab visits them, from first round to first.
std::vector<int> TabOrder(HWND page, HWND first);

// The Start/Stop switch alone; the rest of the application does nothing here.
class TestCommands final : public AppCommands {
 public:
  void StartMonitoring() override { on = true; }
  void StopMonitoring() override { on = false; }
  bool IsMonitoringOn() const override { return on; }
  void OpenMainWindow() override {}
  void ExitApplication() override {}
  void ApplyHideIcon() override { ++iconUpdates; }
  void PauseNotifications(int32_t) override {}
  std::atomic<bool> on{true};
  std::atomic<int> iconUpdates{0};
};

// The engine as the pages see it: the snapshot the test sets, a record of what
// the pages asked for, the system's WMI and real worker threads. Held, the
// workers wait until the test opens the gate, so it sees a page while its
// work is under way.
class TestEngine final : public EngineAccess {
 public:
  explicit TestEngine(bool held = false);
  ~TestEngine() override;  // opens the gate and waits for the work still running
  PassSnapshot LatestPass() override { return latest; }
  void ClearHistory(int id) override { cleared.push_back(id); }
  void ResetNetworkRate() override { ++networkResets; }
  EventLog& Log() override { return log; }
  WmiSource& Wmi() override { return *wmi_; }
  bool RunInBackground(std::function<void()> work) override;
  void Open() {
    if (!open_.exchange(true)) gate_.set_value();
  }
  int Finished() const { return *finished_; }  // the pieces of work done

  PassSnapshot latest;
  LogSettings logSettings;  // the test names the file
  EventLog log{logSettings};
  std::vector<int> cleared;
  int networkResets = 0;

 private:
  std::unique_ptr<WmiSource> wmi_;
  std::promise<void> gate_;
  std::shared_future<void> opened_ = gate_.get_future().share();
  std::atomic<bool> open_{false};
  std::shared_ptr<std::atomic<int>> finished_ = std::make_shared<std::atomic<int>>(0);
  BackgroundWork work_;
};

// The main dialog on a thread of its own, as the application runs it on its
// own user-interface thread; the test works it from outside.
class OpenDialog {
 public:
  OpenDialog(Settings& settings, AppCommands& app, EngineAccess& engine, const CThemeHelper& theme);
  ~OpenDialog();
  HWND Window() const { return dialog_.Window(); }
  HWND Item(int id) const { return GetDlgItem(dialog_.Window(), id); }
  HWND Sheet() const { return dialog_.Sheet(); }
  // Turns to page index and gives its window.
  HWND ShowPage(int index) const;
  void Close();

 private:
  QuorDlg dialog_;
  std::thread thread_;
};

// The main dialog turned to one of its pages, over the settings the test sets
// before Show; the pages' workers wait while the test holds them.
struct PageFixture {
  explicit PageFixture(int index, bool held = false) : engine(held), index(index) {}
  // Opens the dialog if need be and turns to the page, which reads the settings afresh.
  HWND Show();
  void Reopen() {
    dialog.reset();
    Show();
  }
  HWND Item(int id) const { return GetDlgItem(page, id); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  // Sets a field's text as a program would; a refusal's message box is answered and its text returned.
  std::wstring Type(int id, const std::wstring& text) const;
  // A setting as the settings table writes it, named "Group\name".
  std::wstring Stored(const wchar_t* name);

  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  std::optional<OpenDialog> dialog;
  HWND page = nullptr;
  int index;
};

// Selects row of a list view and no other (none for -1), as a click would.
void SelectOnly(HWND list, int row);

// Runs send (which sends a window message) on another thread, since a
// refusal holds the window in its message box until it is answered; the box's
// text, empty when send returned without one.
std::wstring AnswerBoxOf(const std::function<void()>& send);
