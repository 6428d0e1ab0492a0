#include <windows.h>
#include <doctest/doctest.h>

#include <optional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "settings/settings.h"
#include "tests/ui/ui_fixture.h"
#include "ui/theme_helper.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunName[] = L"Varnalis 1.4";

// The autorun value as Wine's registry holds it.
struct RunValue {
  DWORD type = 0;
  std::wstring data;
};

std::optional<RunValue> ReadRunValue() {
  RunValue value;
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunName, RRF_RT_ANY, &value.type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.data.resize(size / sizeof(wchar_t) + 1);
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunName, RRF_RT_ANY, nullptr, value.data.data(), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.data.resize(value.data.find(L'\0'));
  return value;
}

// The test leaves no start at logon behind, whatever happens.
struct RunValueCleanup {
  RunValueCleanup() { Remove(); }
  ~RunValueCleanup() { Remove(); }
  static void Remove() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunName); }
};

const int kLevels[] = {IDC_LOG_OFF, IDC_LOG_ERRORS, IDC_LOG_WARNINGS, IDC_LOG_FULL};

struct OptionsFixture {
  RunValueCleanup cleanup;
  Settings settings;
  TestCommands app;
  TestEngine engine;
  CThemeHelper theme;
  std::optional<OpenDialog> dialog;
  HWND page = nullptr;

  // Opens the dialog if need be and turns to the Options page, which reads the settings afresh.
  void Show() {
    if (!dialog) dialog.emplace(settings, app, engine, theme);
    dialog->ShowPage(0);
    page = dialog->ShowPage(4);
  }
  void Reopen() {
    dialog.reset();
    Show();
  }
  HWND Item(int id) const { return GetDlgItem(page, id); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  // The radio buttons checked, in order.
  std::vector<int> ChosenLevels() const {
    std::vector<int> chosen;
    for (int id : kLevels)
      if (Checked(id)) chosen.push_back(id);
    return chosen;
  }
};

std::wstring ProgramFile() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

struct FindOwned {
  HWND owner;
  HWND found = nullptr;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<FindOwned*>(lParam);
  wchar_t className[16]{};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) == L"#32770" && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == search->owner) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TEST_CASE("Open Varnalis on startup writes the quoted program path and autorun under Run; unchecking removes it") {
  OptionsFixture f;
  f.Show();
  CHECK_FALSE(f.Checked(IDC_RUN_APP));

  f.Click(IDC_RUN_APP);
  CHECK(f.settings.Main.RunApp);
  std::optional<RunValue> value = ReadRunValue();
  REQUIRE(value.has_value());
  CHECK(value->type == REG_SZ);
  CHECK(value->data == L"\"" + ProgramFile() + L"\" autorun");

  f.Click(IDC_RUN_APP);
  CHECK_FALSE(f.settings.Main.RunApp);
  CHECK_FALSE(ReadRunValue().has_value());

  // A value already gone is no failure: the switch still follows the click.
  f.Click(IDC_RUN_APP);
  RunValueCleanup::Remove();
  f.Click(IDC_RUN_APP);
  CHECK_FALSE(f.settings.Main.RunApp);
  CHECK_FALSE(f.Checked(IDC_RUN_APP));
}

TEST_CASE("the detail level radio buttons: one chosen at a time, Off keeps the level, the page shows the settings") {
  OptionsFixture f;
  f.settings.Log.Details = 1;
  f.Show();
  CHECK(f.ChosenLevels() == std::vector<int>{IDC_LOG_WARNINGS});

  struct Click {
    int button;
    bool saveLog;
    int details;
  };
  for (const Click& row : {Click{IDC_LOG_OFF, false, 1}, Click{IDC_LOG_ERRORS, true, 2}, Click{IDC_LOG_OFF, false, 2},
                           Click{IDC_LOG_FULL, true, 0}, Click{IDC_LOG_WARNINGS, true, 1}, Click{IDC_LOG_ERRORS, true, 2}}) {
    CAPTURE(row.button);
    f.Click(row.button);
    CHECK(f.ChosenLevels() == std::vector<int>{row.button});
    CHECK(f.settings.Log.SaveLog == row.saveLog);
    CHECK(f.settings.Log.Details == row.details);
  }

  struct Shown {
    bool saveLog;
    int details;
    std::vector<int> chosen;
  };
  for (const Shown& row : {Shown{false, 2, {IDC_LOG_OFF}}, Shown{true, 2, {IDC_LOG_ERRORS}},
                           Shown{true, 1, {IDC_LOG_WARNINGS}}, Shown{true, 0, {IDC_LOG_FULL}},
                           Shown{false, 0, {IDC_LOG_OFF}}, Shown{true, 7, {}}}) {
    CAPTURE(row.details);
    f.settings.Log.SaveLog = row.saveLog;
    f.settings.Log.Details = row.details;
    f.Show();
    CHECK(WaitFor([&] { return f.ChosenLevels() == row.chosen; }));  // a radio is clicked after it has the focus
    CHECK(f.settings.Log.SaveLog == row.saveLog);
    CHECK(f.settings.Log.Details == row.details);
  }
}

TEST_CASE("the size field follows its check box; it stores only a size from 1 MB and refuses any other") {
  OptionsFixture f;
  f.settings.Log.LimitSize = true;
  f.settings.Log.MaxSize = 25;
  f.Show();
  CHECK(IsWindowEnabled(f.Item(IDC_MAX_SIZE)));
  CHECK(Text(f.Item(IDC_MAX_SIZE)) == L"25");

  f.Click(IDC_LIMIT_SIZE);
  CHECK_FALSE(f.settings.Log.LimitSize);
  CHECK_FALSE(IsWindowEnabled(f.Item(IDC_MAX_SIZE)));
  CHECK(Text(f.Item(IDC_MAX_SIZE)) == L"25");
  f.Click(IDC_LIMIT_SIZE);
  CHECK(IsWindowEnabled(f.Item(IDC_MAX_SIZE)));

  struct Row {
    const wchar_t* typed;
    bool refused;
    const wchar_t* field;
    int stored;
  };
  for (const Row& row : {Row{L"40", false, L"40", 40}, Row{L"", false, L"", 40}, Row{L"2147483648", true, L"40", 40},
                         Row{L"0", true, L"40", 40}, Row{L"-1", true, L"40", 40}, Row{L"abc", true, L"40", 40},
                         Row{L"12abc", true, L"40", 40}, Row{L"2147483647", false, L"2147483647", 2147483647},
                         Row{L"7", false, L"7", 7}}) {
    CAPTURE(std::string(row.typed, row.typed + wcslen(row.typed)));
    CHECK(AnswerBoxOf([&] {
      SendMessageW(f.Item(IDC_MAX_SIZE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(row.typed));
    }) == (row.refused ? L"Wrong value." : L""));
    CHECK(Text(f.Item(IDC_MAX_SIZE)) == row.field);
    CHECK(f.settings.Log.MaxSize == row.stored);
  }
  // A stored size out of range is shown as it is, and kept.
  f.settings.Log.MaxSize = 0;
  CHECK(AnswerBoxOf([&] { f.Show(); }).empty());
  CHECK(Text(f.Item(IDC_MAX_SIZE)) == L"0");
  CHECK(f.settings.Log.MaxSize == 0);
}

TEST_CASE("every control keeps its setting across closing and reopening the dialog; the tray icon follows at once") {
  OptionsFixture f;
  f.Show();
  struct Box {
    int id;
    BoolSetting& setting;
  };
  const Box boxes[] = {{IDC_RUN_APP, f.settings.Main.RunApp},        {IDC_HIDE_ICON, f.settings.Main.HideIcon},
                       {IDC_HIDE_SPLASH, f.settings.Main.HideSplash}, {IDC_LIMIT_SIZE, f.settings.Log.LimitSize},
                       {IDC_CLEAR_LOG_AT_START, f.settings.Log.ClearLog}};
  // Twice round: each switch flips from its default and back.
  for (int round = 0; round < 2; ++round) {
    CAPTURE(round);
    std::vector<bool> wanted;
    for (const Box& box : boxes) {
      f.Click(box.id);
      wanted.push_back(box.setting);
    }
    CHECK(f.app.iconUpdates == round + 1);
    f.Click(round == 0 ? IDC_LOG_ERRORS : IDC_LOG_OFF);
    SetWindowTextW(f.Item(IDC_MAX_SIZE), round == 0 ? L"77" : L"5");
    SetWindowTextW(f.Item(IDC_LOG_FILE), round == 0 ? L"C:\\logs\\watch.txt" : L"log.txt");

    f.Reopen();
    for (size_t i = 0; i < std::size(boxes); ++i) {
      CAPTURE(boxes[i].id);
      CHECK(boxes[i].setting == wanted[i]);
      CHECK(f.Checked(boxes[i].id) == wanted[i]);
    }
    CHECK(f.ChosenLevels() == std::vector<int>{round == 0 ? IDC_LOG_ERRORS : IDC_LOG_OFF});
    CHECK(f.settings.Log.SaveLog == (round == 0));
    CHECK(f.settings.Log.Details == 2);
    CHECK(Text(f.Item(IDC_MAX_SIZE)) == (round == 0 ? L"77" : L"5"));
    CHECK(f.settings.Log.MaxSize == (round == 0 ? 77 : 5));
    CHECK(Text(f.Item(IDC_LOG_FILE)) == (round == 0 ? L"C:\\logs\\watch.txt" : L"log.txt"));
    CHECK(f.settings.Log.Filename.Get() == (round == 0 ? L"C:\\logs\\watch.txt" : L"log.txt"));
  }
}

TEST_CASE("the keyboard reaches every option: mnemonics click, Tab stops at the chosen level") {
  OptionsFixture f;
  f.Show();
  struct Row {
    WORD mnemonic;
    int focus;
    std::vector<int> chosen;
  };
  for (const Row& row : {Row{'E', IDC_LOG_ERRORS, {IDC_LOG_ERRORS}}, Row{'O', IDC_LOG_OFF, {IDC_LOG_OFF}},
                         Row{'W', IDC_LOG_WARNINGS, {IDC_LOG_WARNINGS}}, Row{'F', IDC_LOG_FULL, {IDC_LOG_FULL}},
                         Row{'H', IDC_HIDE_ICON, {IDC_LOG_FULL}}, Row{'P', IDC_HIDE_SPLASH, {IDC_LOG_FULL}},
                         Row{'L', IDC_LIMIT_SIZE, {IDC_LOG_FULL}}, Row{'C', IDC_CLEAR_LOG_AT_START, {IDC_LOG_FULL}},
                         Row{'N', IDC_LOG_FILE, {IDC_LOG_FULL}}}) {
    CAPTURE(static_cast<char>(row.mnemonic));
    CHECK(PressMnemonic(f.page, row.mnemonic, row.focus) == row.focus);
    CHECK(WaitFor([&] { return f.ChosenLevels() == row.chosen; }));  // a radio is clicked after it has the focus
  }
  CHECK(f.settings.Log.SaveLog);
  CHECK(f.settings.Log.Details == 0);
  CHECK(f.settings.Main.HideIcon);
  CHECK(f.app.iconUpdates == 1);
  CHECK(f.settings.Main.HideSplash);
  CHECK(f.settings.Log.LimitSize);
  CHECK(IsWindowEnabled(f.Item(IDC_MAX_SIZE)));
  CHECK_FALSE(f.settings.Log.ClearLog);

  std::vector<int> tabs;
  HWND first = f.Item(IDC_RUN_APP);
  for (HWND at = first; at != nullptr && (tabs.empty() || at != first); at = GetNextDlgTabItem(f.page, at, FALSE))
    tabs.push_back(GetDlgCtrlID(at));
  CHECK(tabs == std::vector<int>{IDC_RUN_APP, IDC_HIDE_ICON, IDC_HIDE_SPLASH, IDC_LOG_FULL, IDC_LIMIT_SIZE,
                                 IDC_MAX_SIZE, IDC_CLEAR_LOG_AT_START, IDC_LOG_FILE, IDC_LOG_BROWSE});
}

TEST_CASE("Browse opens the file dialog on a thread of its own; Cancel keeps the name, OK puts the chosen one") {
  OptionsFixture f;
  f.settings.Log.Filename.Set(L"C:\\logs\\watch.txt");
  f.Show();
  wchar_t temp[MAX_PATH]{};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring chosen = std::wstring(temp) + L"varnalis-browse.txt";
  struct Row {
    int button;
    std::wstring stored;
  };
  for (const Row& row : {Row{IDCANCEL, L"C:\\logs\\watch.txt"}, Row{IDOK, chosen}}) {
    CAPTURE(row.button);
    // The page waits for the dialog in a loop of its own: ask for it without waiting.
    PostMessageW(f.page, WM_COMMAND, MAKEWPARAM(IDC_LOG_BROWSE, BN_CLICKED), reinterpret_cast<LPARAM>(f.Item(IDC_LOG_BROWSE)));
    FindOwned search{f.dialog->Window()};
    REQUIRE(WaitFor([&] {
      EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
      return search.found != nullptr;
    }, 20000));
    CHECK(GetWindowThreadProcessId(search.found, nullptr) != GetWindowThreadProcessId(f.page, nullptr));
    CHECK_FALSE(IsWindowEnabled(f.dialog->Window()));
    if (row.button == IDOK) SetDlgItemTextW(search.found, 0x47C /* the file name box */, chosen.c_str());
    PostMessageW(search.found, WM_COMMAND, row.button, 0);
    CHECK(WaitFor([&] { return IsWindow(search.found) == FALSE; }));
    CHECK(WaitFor([&] { return f.settings.Log.Filename.Get() == row.stored; }));
    CHECK(Text(f.Item(IDC_LOG_FILE)) == row.stored);
    CHECK(WaitFor([&] { return IsWindowEnabled(f.dialog->Window()) != FALSE; }));
  }
}
