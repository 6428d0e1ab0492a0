#include "ui/instance_dialogs.h"

#include <windows.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "tests/ui/ui_fixture.h"

namespace {

constexpr int kNetwork = 3, kDisk = 4, kProcess = 6, kWebServer = 7;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t className[16]{};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The dialog runs modally on a thread of its own, as on the program's
// user-interface thread; the test works it with messages from outside.
class RunningDialog {
 public:
  RunningDialog(int row, std::wstring preset, EngineAccess& engine, bool hosted = false) : chosen(std::move(preset)) {
    thread_ = std::thread([this, row, &engine, hosted] {
      std::optional<HostWindow> host;
      if (hosted) host.emplace(500, 400);
      host_ = host ? host->Get() : nullptr;
      threadId_ = GetCurrentThreadId();
      ok_ = RunAdvancedSettings(row, host_, connection_, engine, chosen);
      ended_ = true;
    });
    CHECK_MESSAGE(WaitFor([this] { return Find() != nullptr || ended_; }), "awaited: the dialog or its end");
  }
  ~RunningDialog() {
    CHECK_MESSAGE(WaitFor([this] {
      PostMessageW(Find(), WM_COMMAND, IDCANCEL, 0);
      return ended_.load();
    }), "awaited: the dialog to end on Cancel");
    thread_.join();
  }

  HWND Window() const { return window_; }
  HWND Host() const { return host_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  HWND List() const { return Item(IDC_INSTANCE_LIST); }
  std::vector<std::wstring> Entries() const {
    std::vector<std::wstring> entries;
    int count = static_cast<int>(SendMessageW(List(), LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[512]{};
      SendMessageW(List(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      entries.emplace_back(text);
    }
    return entries;
  }
  bool Loaded() const {
    return WaitFor([this] { return IsWindowEnabled(List()) || Entries() != std::vector<std::wstring>{L"Loading..."}; },
                   30000);
  }
  int Selected() const { return static_cast<int>(SendMessageW(List(), LB_GETCURSEL, 0, 0)); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  void Select(int index) const {
    SendMessageW(List(), LB_SETCURSEL, index, 0);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_INSTANCE_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(List()));
  }
  // Ends it with button; true when it ended within timeoutMs.
  bool End(int button, int timeoutMs = 5000) {
    PostMessageW(window_, WM_COMMAND, button, 0);
    return Ended(timeoutMs);
  }
  bool Ended(int timeoutMs = 5000) const { return WaitFor([this] { return ended_.load(); }, timeoutMs); }
  bool Ok() const { return ok_; }

  std::wstring chosen;

 private:
  HWND Find() {
    window_ = nullptr;
    if (threadId_ != 0) EnumThreadWindows(threadId_, FindDialog, reinterpret_cast<LPARAM>(&window_));
    return window_;
  }

  ConnectionSettings connection_;  // this computer
  std::atomic<DWORD> threadId_{0};
  std::atomic<HWND> host_{nullptr};
  std::atomic<bool> ended_{false};
  std::atomic<bool> ok_{false};
  HWND window_ = nullptr;
  std::thread thread_;
};

int IndexOf(const std::vector<std::wstring>& entries, const std::wstring& name) {
  auto found = std::find(entries.begin(), entries.end(), name);
  return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

}  // namespace

TEST_CASE("each dialog sits centred over its parent, which waits for it") {
  TestEngine engine;
  const std::pair<int, const wchar_t*> rows[] = {{kNetwork, L"Network Usage Advanced Settings"},
                                                 {kDisk, L"Disk Usage Advanced Settings"},
                                                 {kWebServer, L"Web Server Connections Advanced Settings"},
                                                 {kProcess, L"Process Advanced Settings"}};
  for (const auto& [row, caption] : rows) {
    CAPTURE(row);
    RunningDialog dialog(row, L"", engine, true);
    REQUIRE(dialog.Window() != nullptr);
    CHECK(Text(dialog.Window()) == caption);
    RECT own{}, parent{};
    GetWindowRect(dialog.Window(), &own);
    GetWindowRect(dialog.Host(), &parent);
    CHECK(std::abs((own.left + own.right) - (parent.left + parent.right)) <= 2);
    CHECK(std::abs((own.top + own.bottom) - (parent.top + parent.bottom)) <= 2);
    CHECK_FALSE(IsWindowEnabled(dialog.Host()));
    CHECK(dialog.Loaded());
  }
}

TEST_CASE("a dialog shows the names the computer reports and returns the choice only on OK") {
  TestEngine engine;
  enum class Act { None, PickFirst, Total, SelectListed };
  struct Row {
    const char* name;
    int row;
    const wchar_t* preset;
    const wchar_t* listed;  // a name the list holds; empty: the list is empty
    Act act;
    int button;
    const wchar_t* chosen;  // nullptr: the first entry
  };
  const Row rows[] = {
      {"the one-instance choice takes the first disk", kDisk, L"", L"C:", Act::PickFirst, IDOK, nullptr},
      {"a disk picked from the list", kDisk, L"", L"C:", Act::SelectListed, IDOK, L"C:"},
      {"a stored disk, Cancel", kDisk, L"C:", L"C:", Act::None, IDCANCEL, L"C:"},
      {"Total after a stored disk", kDisk, L"C:", L"C:", Act::Total, IDOK, L""},
      {"names match case and all", kDisk, L"c:", L"C:", Act::None, IDOK, L""},
      {"a gone adapter, OK", kNetwork, L"No Such Adapter", nullptr, Act::None, IDOK, L""},
      {"no web server: the one-instance choice has nothing to take", kWebServer, L"", L"", Act::PickFirst, IDOK, L""},
      {"the test's own process", kProcess, L"test_ui.exe", L"test_ui.exe", Act::None, IDOK, L"test_ui.exe"},
      {"a process picked from the list", kProcess, L"", L"test_ui.exe", Act::SelectListed, IDOK, L"test_ui.exe"},
      {"a process not running, OK", kProcess, L"nosuch.exe", L"test_ui.exe", Act::None, IDOK, L"nosuch.exe"},
  };
  for (const Row& row : rows) {
    CAPTURE(std::string(row.name));
    RunningDialog dialog(row.row, row.preset, engine);
    REQUIRE(dialog.Window() != nullptr);
    REQUIRE(dialog.Loaded());
    std::vector<std::wstring> entries = dialog.Entries();
    if (row.listed != nullptr) CHECK((*row.listed != 0 ? IndexOf(entries, row.listed) >= 0 : entries.empty()));
    bool radios = dialog.Item(IDC_TOTAL) != nullptr;
    // The preset is selected when listed (exactly); a radio dialog shows Total when it is not.
    int preset = IndexOf(entries, row.preset);
    CHECK(dialog.Selected() == preset);
    CHECK(IsWindowEnabled(dialog.List()) == (!radios || preset >= 0));
    if (radios) CHECK(dialog.Checked(preset >= 0 ? IDC_SPECIFIED : IDC_TOTAL));
    if (radios) CHECK_FALSE(dialog.Checked(preset >= 0 ? IDC_TOTAL : IDC_SPECIFIED));
    CHECK(FocusOf(dialog.Window()) == dialog.Item(!radios ? IDC_INSTANCE_LIST : preset >= 0 ? IDC_SPECIFIED : IDC_TOTAL));

    std::wstring expected = row.chosen != nullptr ? row.chosen : entries.empty() ? L"" : entries.front();
    if (row.act == Act::PickFirst) dialog.Click(IDC_SPECIFIED);
    if (row.act == Act::Total) dialog.Click(IDC_TOTAL);
    if (row.act == Act::SelectListed) dialog.Select(IndexOf(entries, row.listed));
    if (radios && row.act != Act::None) {
      // The controls follow the choice.
      CHECK(dialog.Checked(expected.empty() ? IDC_TOTAL : IDC_SPECIFIED));
      CHECK_FALSE(dialog.Checked(expected.empty() ? IDC_SPECIFIED : IDC_TOTAL));
      CHECK(IsWindowEnabled(dialog.List()) == !expected.empty());
      CHECK(dialog.Selected() == IndexOf(entries, expected));
    }
    REQUIRE(dialog.End(row.button));
    CHECK(dialog.Ok() == (row.button == IDOK));
    CHECK(dialog.chosen == expected);
  }
}

TEST_CASE("while the names load the dialog answers and ends at once; the late names are dropped") {
  TestEngine engine(true);
  for (int button : {IDCANCEL, IDOK}) {
    CAPTURE(button);
    RunningDialog dialog(kDisk, L"C:", engine);
    REQUIRE(dialog.Window() != nullptr);
    CHECK(dialog.Entries() == std::vector<std::wstring>{L"Loading..."});
    CHECK_FALSE(IsWindowEnabled(dialog.List()));
    // Responsive: its thread handles a click at once, and the one-instance choice has nothing to take yet.
    DWORD_PTR result = 0;
    CHECK(SendMessageTimeoutW(dialog.Item(IDC_SPECIFIED), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0);
    CHECK(dialog.Checked(IDC_SPECIFIED));
    CHECK(dialog.End(button, 1000));
    CHECK(dialog.Ok() == (button == IDOK));
    CHECK(dialog.chosen == L"C:");
  }
  engine.Open();
  CHECK_MESSAGE(WaitFor([&] { return engine.Finished() == 2; }), "awaited: both loads to end");
}

TEST_CASE("each dialog is worked from the keyboard: Tab stops, mnemonics, Enter for OK and Escape for Cancel") {
  TestEngine engine;
  struct Row {
    const char* name;
    int row;
    const wchar_t* preset;
    std::vector<int> tabs;
    WORD mnemonic;
    std::vector<int> tabsAfter;  // from the control the mnemonic reached
    WORD end;
    const wchar_t* chosen;  // nullptr: the first entry
  };
  const int ok = IDOK, cancel = IDCANCEL, list = IDC_INSTANCE_LIST;
  const Row rows[] = {
      {"a disk by Alt+S, Enter", kDisk, L"", {IDC_TOTAL, ok, cancel}, 'S', {IDC_SPECIFIED, list, ok, cancel}, VK_RETURN,
       nullptr},
      {"the total by Alt+T, Enter", kDisk, L"C:", {IDC_SPECIFIED, list, ok, cancel}, 'T', {IDC_TOTAL, ok, cancel},
       VK_RETURN, L""},
      {"the total by Alt+T, Escape", kNetwork, L"gone", {IDC_TOTAL, ok, cancel}, 'T', {IDC_TOTAL, ok, cancel},
       VK_ESCAPE, L"gone"},
      {"the process list by Alt+S, Enter", kProcess, L"test_ui.exe", {list, ok, cancel}, 'S', {list, ok, cancel},
       VK_RETURN, L"test_ui.exe"},
  };
  for (const Row& row : rows) {
    CAPTURE(std::string(row.name));
    RunningDialog dialog(row.row, row.preset, engine);
    REQUIRE(dialog.Window() != nullptr);
    REQUIRE(dialog.Loaded());
    CHECK(TabOrder(dialog.Window(), dialog.Item(row.tabs.front())) == row.tabs);
    int reached = row.tabsAfter.front();
    CHECK(PressMnemonic(dialog.Window(), row.mnemonic, reached) == reached);
    // The radio button's click, which switches the list, may come after the focus.
    CHECK_MESSAGE(WaitFor([&] { return TabOrder(dialog.Window(), dialog.Item(reached)) == row.tabsAfter; }),
                  "awaited: the tab stops after the mnemonic");
    std::wstring first = dialog.Entries().empty() ? L"" : dialog.Entries().front();
    PressKeys(dialog.Window(), {row.end});
    REQUIRE(dialog.Ended());
    CHECK(dialog.Ok() == (row.end == VK_RETURN));
    CHECK(dialog.chosen == (row.chosen != nullptr ? row.chosen : first));
  }
}
