#include <windows.h>
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "common/utf16.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunName[] = L"Varnalis 1.4";

// The autorun value as Wine's registry holds it: type and text, or empty when there is none.
std::pair<DWORD, std::wstring> RunValue() {
  DWORD type = 0, size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunName, RRF_RT_ANY, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunName, RRF_RT_ANY, nullptr, data.data(), &size);
  data.resize(data.find(L'\0'));
  return {type, data};
}

void RemoveRunValue() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunName); }

const int kLevels[] = {IDC_LOG_OFF, IDC_LOG_ERRORS, IDC_LOG_WARNINGS, IDC_LOG_FULL};

struct OptionsFixture : PageFixture {
  OptionsFixture() : PageFixture(4) { RemoveRunValue(); }
  ~OptionsFixture() { RemoveRunValue(); }  // no start at logon left behind, whatever happens
  // The radio buttons checked, in order.
  std::vector<int> ChosenLevels() const {
    std::vector<int> chosen;
    for (int id : kLevels)
      if (Checked(id)) chosen.push_back(id);
    return chosen;
  }
};

}  // namespace

TEST_CASE("Open Varnalis on startup writes the quoted program path and autorun under Run; unchecking removes it") {
  OptionsFixture f;
  f.Show();
  CHECK_FALSE(f.Checked(IDC_RUN_APP));

  f.Click(IDC_RUN_APP);
  CHECK(f.settings.Main.RunApp);
  std::wstring program(32768, L'\0');
  program.resize(GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
  CHECK(RunValue() == std::pair<DWORD, std::wstring>{REG_SZ, L"\"" + program + L"\" autorun"});

  f.Click(IDC_RUN_APP);
  CHECK_FALSE(f.settings.Main.RunApp);
  CHECK(RunValue().second.empty());

  // A value already gone is no failure: the switch still follows the click.
  f.Click(IDC_RUN_APP);
  RemoveRunValue();
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
                           Click{IDC_LOG_FULL, true, 0}, Click{IDC_LOG_WARNINGS, true, 1}}) {
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
  CHECK(f.Enabled(IDC_MAX_SIZE));
  f.Click(IDC_LIMIT_SIZE);
  CHECK_FALSE(f.settings.Log.LimitSize);
  CHECK_FALSE(f.Enabled(IDC_MAX_SIZE));
  CHECK(Text(f.Item(IDC_MAX_SIZE)) == L"25");
  f.Click(IDC_LIMIT_SIZE);
  CHECK(f.Enabled(IDC_MAX_SIZE));

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
    CAPTURE(ToUtf8(row.typed));
    CHECK(f.Type(IDC_MAX_SIZE, row.typed) == (row.refused ? L"Wrong value." : L""));
    CHECK(Text(f.Item(IDC_MAX_SIZE)) == row.field);
    CHECK(f.settings.Log.MaxSize == row.stored);
  }
  // A stored size out of range is shown as it is, and kept.
  f.settings.Log.MaxSize = 0;
  CHECK(AnswerBoxOf([&] { f.Show(); }).empty());
  CHECK(Text(f.Item(IDC_MAX_SIZE)) == L"0");
  CHECK(f.settings.Log.MaxSize == 0);
}

TEST_CASE("the keyboard reaches every option, and every setting is kept across closing and reopening the dialog") {
  OptionsFixture f;
  f.Show();
  struct Box {
    int id;
    WORD mnemonic;
    BoolSetting& setting;
  };
  const Box boxes[] = {{IDC_RUN_APP, 0, f.settings.Main.RunApp},
                       {IDC_HIDE_ICON, 'H', f.settings.Main.HideIcon},
                       {IDC_HIDE_SPLASH, 'P', f.settings.Main.HideSplash},
                       {IDC_LIMIT_SIZE, 'L', f.settings.Log.LimitSize},
                       {IDC_CLEAR_LOG_AT_START, 'C', f.settings.Log.ClearLog}};
  // Twice round, first by the keyboard where there are mnemonics, then by clicks: each switch flips and back.
  for (int round = 0; round < 2; ++round) {
    CAPTURE(round);
    std::vector<bool> wanted;
    for (const Box& box : boxes) {
      CAPTURE(box.id);
      bool before = box.setting;
      if (round == 0 && box.mnemonic != 0)
        CHECK(PressMnemonic(f.page, box.mnemonic, box.id) == box.id);
      else
        f.Click(box.id);
      CHECK(WaitFor([&] { return box.setting != before; }));
      wanted.push_back(box.setting);
    }
    CHECK(f.app.iconUpdates == round + 1);  // the tray icon follows at once
    if (round == 0) {
      for (auto [key, level] : {std::pair<WORD, int>{'E', IDC_LOG_ERRORS}, {'O', IDC_LOG_OFF}, {'W', IDC_LOG_WARNINGS},
                                {'F', IDC_LOG_FULL}}) {
        CAPTURE(static_cast<char>(key));
        CHECK(PressMnemonic(f.page, key, level) == level);
        CHECK(WaitFor([&] { return f.ChosenLevels() == std::vector<int>{level}; }));  // clicked once it has the focus
      }
      CHECK(PressMnemonic(f.page, 'N', IDC_LOG_FILE) == IDC_LOG_FILE);
      // Tab stops at the chosen level only.
      CHECK(TabOrder(f.page, f.Item(IDC_RUN_APP)) ==
            std::vector<int>{IDC_RUN_APP, IDC_HIDE_ICON, IDC_HIDE_SPLASH, IDC_LOG_FULL, IDC_LIMIT_SIZE, IDC_MAX_SIZE,
                             IDC_CLEAR_LOG_AT_START, IDC_LOG_FILE, IDC_LOG_BROWSE});
    } else {
      f.Click(IDC_LOG_OFF);
    }
    const std::wstring size = round == 0 ? L"77" : L"5", file = round == 0 ? L"C:\\logs\\watch.txt" : L"log.txt";
    SetWindowTextW(f.Item(IDC_MAX_SIZE), size.c_str());
    SetWindowTextW(f.Item(IDC_LOG_FILE), file.c_str());

    f.Reopen();
    for (size_t i = 0; i < std::size(boxes); ++i) {
      CAPTURE(boxes[i].id);
      CHECK(boxes[i].setting == wanted[i]);
      CHECK(f.Checked(boxes[i].id) == wanted[i]);
    }
    CHECK(f.ChosenLevels() == std::vector<int>{round == 0 ? IDC_LOG_FULL : IDC_LOG_OFF});
    CHECK(f.settings.Log.SaveLog == (round == 0));
    CHECK(f.settings.Log.Details == 0);
    CHECK(Text(f.Item(IDC_MAX_SIZE)) == size);
    CHECK(f.settings.Log.MaxSize == std::stoi(size));
    CHECK(Text(f.Item(IDC_LOG_FILE)) == file);
    CHECK(f.settings.Log.Filename.Get() == file);
  }
}
