#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "common/utf16.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "smtp/peers.h"
#include "tests/ui/ui_fixture.h"
#include "ui/theme_helper.h"

namespace {

// Some controls of each channel's group.
const std::vector<int> kGroups[] = {
    {IDC_UI_TRAY_ICON, IDC_UI_BALLOON, IDC_UI_SOUND, IDC_UI_WINDOW, IDC_UI_MESSAGE_BOX},
    {IDC_MAIL_SERVER, IDC_MAIL_PORT, IDC_MAIL_AUTH, IDC_MAIL_SSL, IDC_TEST_MAIL, IDC_TEST_MAIL_RESULT},
    {IDC_RUN_FILE, IDC_BROWSE, IDC_RUN_ARG, IDC_RUN_AUTH, IDC_RUN_PASSWORD},
};

struct NotificationsFixture {
  Settings settings;
  TestCommands app;
  TestEngine engine;
  GatedWorkEngine gated{engine};
  CThemeHelper theme;
  std::optional<OpenDialog> dialog;
  HWND page = nullptr;

  // held: the workers wait until the test opens the gate.
  explicit NotificationsFixture(bool held = false) {
    if (!held) gated.Open();
  }
  // Opens the dialog on the Notifications page, as the settings are now.
  void Show() {
    if (!dialog) dialog.emplace(settings, app, gated, theme);
    page = dialog->ShowPage(1);
  }
  void Reopen() {
    dialog.reset();
    Show();
  }
  HWND Item(int id) const { return GetDlgItem(page, id); }
  HWND List() const { return Item(IDC_CHANNEL_LIST); }
  bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
  void Click(int id) const { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  int SelectedRow() const { return ListView_GetNextItem(List(), -1, LVNI_SELECTED); }
  // Selects a channel's row as the arrow keys would.
  void Select(int row) const {
    ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  // The group shown: 0, 1 or 2, or -1 when not exactly one is.
  int ShownGroup() const {
    int shown = -1;
    for (int g = 0; g < 3; ++g) {
      auto visible = std::count_if(kGroups[g].begin(), kGroups[g].end(), [&](int id) { return Visible(id); });
      if (visible == 0) continue;
      if (shown >= 0 || visible != static_cast<long>(kGroups[g].size())) return -1;
      shown = g;
    }
    return shown;
  }
  // Types text into a field as a program sets it; a refusal's message box is
  // answered and its text returned.
  std::wstring Type(int id, const std::wstring& text) const {
    return AnswerBoxOf([&] { SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); });
  }
  // Sends a test mail with the page as it stands; the result shown.
  std::wstring TestMail() {
    Click(IDC_TEST_MAIL);
    REQUIRE(WaitFor([&] { return Enabled(IDC_TEST_MAIL); }, 120000));
    return Text(Item(IDC_TEST_MAIL_RESULT));
  }
};

std::wstring Stored(Settings& settings, const wchar_t* name) {
  std::vector<SettingRef> table = SettingsTable(settings);
  const SettingRef* ref = FindSetting(table, name);
  REQUIRE(ref != nullptr);
  return SettingText(*ref);
}

std::wstring Wide(const std::string& utf8) {
  std::wstring text;
  REQUIRE(FromUtf8(utf8, text));
  return text;
}

}  // namespace

TEST_CASE("the repeat count takes 0 to 1000 for the selected channel; more is refused and taken as 1000") {
  NotificationsFixture f;
  f.Show();
  struct Row {
    int channel;
    const wchar_t* typed;
    bool refused;
    const wchar_t* field;
    int32_t stored;
  };
  const Row rows[] = {
      {1, L"1001", true, L"1000", 1000}, {1, L"1000", false, L"1000", 1000}, {0, L"0", false, L"0", 0},
      {2, L"99999999999", true, L"1000", 1000}, {2, L"", false, L"", 1000}, {0, L"12", false, L"12", 12},
      {0, L"7x", true, L"12", 12},
  };
  for (const Row& row : rows) {
    CAPTURE(row.channel);
    CAPTURE(ToUtf8(row.typed));
    f.Select(row.channel);
    int32_t before[3] = {f.settings.UiNotify.UIThreshold, f.settings.EMail.EMailThreshold,
                         f.settings.CustomNotify.CustomThreshold};
    CHECK(f.Type(IDC_REPEAT, row.typed) == (row.refused ? L"Wrong value." : L""));
    CHECK(Text(f.Item(IDC_REPEAT)) == row.field);
    int32_t after[3] = {f.settings.UiNotify.UIThreshold, f.settings.EMail.EMailThreshold,
                        f.settings.CustomNotify.CustomThreshold};
    for (int c = 0; c < 3; ++c) CHECK(after[c] == (c == row.channel ? row.stored : before[c]));
  }
  // Each channel shows its own count.
  f.Select(1);
  CHECK(Text(f.Item(IDC_REPEAT)) == L"1000");
}

TEST_CASE("the port takes 0 to 65535; a larger number is refused and the last port put back") {
  NotificationsFixture f;
  f.Show();
  f.Select(1);
  CHECK(Text(f.Item(IDC_MAIL_PORT)) == L"25");
  struct Row {
    const wchar_t* typed;
    bool refused;
    const wchar_t* field;
    uint16_t stored;
  };
  for (const Row& row : {Row{L"587", false, L"587", 587}, Row{L"70000", true, L"587", 587},
                         Row{L"65535", false, L"65535", 65535}, Row{L"65536", true, L"65535", 65535},
                         Row{L"", false, L"", 65535}, Row{L"0", false, L"0", 0},
                         Row{L"99999999999", true, L"0", 0}, Row{L"2a5", true, L"0", 0}}) {
    CAPTURE(ToUtf8(row.typed));
    CHECK(f.Type(IDC_MAIL_PORT, row.typed) == (row.refused ? L"Wrong value." : L""));
    CHECK(Text(f.Item(IDC_MAIL_PORT)) == row.field);
    CHECK(f.settings.EMail.EMailPort == row.stored);
  }
}

TEST_CASE("the group follows the channel list; Notify again and the account fields are enabled as they apply") {
  NotificationsFixture f;
  f.settings.EMail.EMailEnabled = true;
  f.settings.CustomNotify.CustomNotifyAgain = true;
  f.settings.EMail.EMailAuth = true;
  f.settings.EMail.EMailUser.Set("mailer");
  f.settings.EMail.EMailPassword.Set("secret");
  f.settings.CustomNotify.CustomUser.Set(L"runner");
  f.Show();
  REQUIRE(ListView_GetItemCount(f.List()) == 3);
  CHECK(f.ShownGroup() == 0);

  struct Row {
    const char* what;
    std::function<void(NotificationsFixture&)> act;
    int group;
    bool enabled[3];
    bool notifyAgainEnabled, notifyAgainChecked, mailAccount, runAccount;
  };
  const Row rows[] = {
      {"selecting Run application", [](auto& f) { f.Select(2); }, 2, {true, true, false}, false, true, true, false},
      {"switching e-mail off by its check box", [](auto& f) { ListView_SetCheckState(f.List(), 1, FALSE); }, 1,
       {true, false, false}, true, false, true, false},
      {"unchecking Authenticate for e-mail", [](auto& f) { f.Click(IDC_MAIL_AUTH); }, 1, {true, false, false}, true,
       false, false, false},
      {"switching Run application on", [](auto& f) { ListView_SetCheckState(f.List(), 2, TRUE); }, 2,
       {true, false, true}, false, true, false, false},
      {"checking Authenticate for the program", [](auto& f) { f.Click(IDC_RUN_AUTH); }, 2, {true, false, true},
       false, true, false, true},
      {"a click beside the rows", [](auto& f) {
         RECT client{};
         GetClientRect(f.List(), &client);
         LPARAM at = MAKELPARAM(client.right / 2, client.bottom - 4);
         SendMessageW(f.List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
         SendMessageW(f.List(), WM_LBUTTONUP, 0, at);
       }, 2, {true, false, true}, false, true, false, true},
      {"selecting User interface", [](auto& f) { f.Select(0); }, 0, {true, false, true}, true, false, false, true},
  };
  for (const Row& row : rows) {
    CAPTURE(row.what);
    row.act(f);
    CHECK(f.SelectedRow() == row.group);
    CHECK(f.ShownGroup() == row.group);
    CHECK(f.settings.UiNotify.UIEnabled == row.enabled[0]);
    CHECK(f.settings.EMail.EMailEnabled == row.enabled[1]);
    CHECK(f.settings.CustomNotify.CustomEnabled == row.enabled[2]);
    for (int i = 0; i < 3; ++i) CHECK((ListView_GetCheckState(f.List(), i) != 0) == row.enabled[i]);
    CHECK(f.Enabled(IDC_NOTIFY_AGAIN) == row.notifyAgainEnabled);
    CHECK(f.Checked(IDC_NOTIFY_AGAIN) == row.notifyAgainChecked);
    for (int id : {IDC_MAIL_USER, IDC_MAIL_PASSWORD}) CHECK(f.Enabled(id) == row.mailAccount);
    for (int id : {IDC_RUN_USER, IDC_RUN_PASSWORD}) CHECK(f.Enabled(id) == row.runAccount);
    CHECK(Text(f.Item(IDC_MAIL_USER)) == L"mailer");
    CHECK(Text(f.Item(IDC_MAIL_PASSWORD)) == L"secret");
    CHECK(Text(f.Item(IDC_RUN_USER)) == L"runner");
  }
  CHECK(f.settings.EMail.EMailUser.Get() == "mailer");
  CHECK(f.settings.CustomNotify.CustomNotifyAgain);
}

TEST_CASE("every field is stored as it changes and shown again when the dialog opens again") {
  NotificationsFixture f;
  f.Show();
  struct Row {
    int channel;
    int id;
    const wchar_t* setting;
    const wchar_t* typed;  // null: a check box, clicked
  };
  const Row rows[] = {
      {0, IDC_UI_TRAY_ICON, L"Notifications\\UITrayIcon", nullptr},
      {0, IDC_UI_BALLOON, L"Notifications\\UIBalloon", nullptr},
      {0, IDC_UI_SOUND, L"Notifications\\UIPlaySound", nullptr},
      {0, IDC_UI_WINDOW, L"Notifications\\UIWindow", nullptr},
      {0, IDC_UI_MESSAGE_BOX, L"Notifications\\UIMessageBox", nullptr},
      {0, IDC_NOTIFY_AGAIN, L"Notifications\\UINotifyAgain", nullptr},
      {0, IDC_REPEAT, L"Notifications\\UIThreshold", L"4"},
      {1, IDC_MAIL_SERVER, L"Notifications\\EMailServer", L"smtp.example.org"},
      {1, IDC_MAIL_PORT, L"Notifications\\EMailPort", L"465"},
      {1, IDC_MAIL_SENDER, L"Notifications\\EMailUserAddress", L"Zo\u00eb <monitor@example.org>"},
      {1, IDC_MAIL_RECIPIENT, L"Notifications\\EMailRecipiend", L"admin@example.org"},
      {1, IDC_MAIL_AUTH, L"Notifications\\EMailAuth", nullptr},
      {1, IDC_MAIL_USER, L"Notifications\\EMailUser", L"J\u00fcrgen"},
      {1, IDC_MAIL_PASSWORD, L"Notifications\\EMailPassword", L"p\u00e4ss w\u00f6rd\u20ac"},
      {1, IDC_MAIL_SSL, L"Notifications\\EMailSSL", nullptr},
      {1, IDC_NOTIFY_AGAIN, L"Notifications\\EMailNotifyAgain", nullptr},
      {1, IDC_REPEAT, L"Notifications\\EMailThreshold", L"6"},
      {2, IDC_RUN_FILE, L"Notifications\\CustomFile", L"C:\\Tools\\r\u00e9parer.exe"},
      {2, IDC_RUN_ARG, L"Notifications\\CustomArg", L"/quiet \"a b\""},
      {2, IDC_RUN_AUTH, L"Notifications\\CustomAuth", nullptr},
      {2, IDC_RUN_USER, L"Notifications\\CustomUser", L"DOMAIN\\\u0410\u043d\u043d\u0430"},
      {2, IDC_RUN_PASSWORD, L"Notifications\\CustomPassword", L"\u20ac\u00e4"},
      {2, IDC_REPEAT, L"Notifications\\CustomThreshold", L"11"},
  };
  std::vector<std::wstring> shown;
  for (const Row& row : rows) {
    CAPTURE(std::string(ToUtf8(row.setting)));
    f.Select(row.channel);
    if (row.typed != nullptr) {
      f.Type(row.id, row.typed);
      CHECK(Stored(f.settings, row.setting) == row.typed);
      shown.push_back(row.typed);
    } else {
      std::wstring before = Stored(f.settings, row.setting);
      f.Click(row.id);
      CHECK(Stored(f.settings, row.setting) == (before == L"1" ? L"0" : L"1"));
      CHECK(f.Checked(row.id) == (before != L"1"));
      shown.push_back(f.Checked(row.id) ? L"1" : L"0");
    }
  }
  f.Reopen();
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    CAPTURE(std::string(ToUtf8(row.setting)));
    f.Select(row.channel);
    CHECK((row.typed != nullptr ? Text(f.Item(row.id)) : f.Checked(row.id) ? L"1" : L"0") == shown[i]);
  }
}

TEST_CASE("an e-mail text typed in the page is stored as the console stores it, and shown as the console shows it") {
  NotificationsFixture f;
  f.Show();
  f.Select(1);
  const std::wstring typed = L"p\u00e4ss w\u00f6rd\u20ac";
  f.Type(IDC_MAIL_PASSWORD, typed);
  Settings console;
  std::vector<SettingRef> table = SettingsTable(console);
  std::wstring error;
  REQUIRE(SetSettingFromUser(*FindSetting(table, L"Notifications\\EMailPassword"), typed, error));
  CHECK(f.settings.EMail.EMailPassword.Get() == console.EMail.EMailPassword.Get());
  CHECK(f.settings.EMail.EMailPassword.Get() == "p\xC3\xA4ss w\xC3\xB6rd\xE2\x82\xAC");

  // Bytes that are not UTF-8, stored by an older program, show byte by byte.
  f.settings.EMail.EMailServer.Set("m\xE4il");
  f.Reopen();
  f.Select(1);
  CHECK(Text(f.Item(IDC_MAIL_SERVER)) == L"m\u00e4il");
  CHECK(Text(f.Item(IDC_MAIL_SERVER)) == Stored(f.settings, L"Notifications\\EMailServer"));
  CHECK(f.settings.EMail.EMailServer.Get() == "m\xE4il");
}

TEST_CASE("Send test mail sends with the page's settings and shows the result in words") {
  peers::Peers peers = peers::Load();
  NotificationsFixture f;
  f.Show();
  f.Select(1);
  f.Type(IDC_MAIL_SERVER, L"127.0.0.1");
  f.Type(IDC_MAIL_SENDER, L"monitor@example.org");
  f.Type(IDC_MAIL_RECIPIENT, L"admin@example.org");
  f.Type(IDC_MAIL_USER, Wide(peers.Value("user")));
  f.Click(IDC_MAIL_AUTH);
  struct Row {
    const char* peer;
    std::string password;
    bool ssl;
    bool sent;
  };
  const Row rows[] = {
      {"cram", peers.Value("wide_password"), false, true},
      {"cram", "wrong", false, false},
      {"starttls", peers.Value("password"), true, true},
  };
  for (const Row& row : rows) {
    CAPTURE(row.peer);
    CAPTURE(row.password);
    size_t before = peers::Received(peers, row.peer).size();
    f.Type(IDC_MAIL_PORT, std::to_wstring(peers.Port(row.peer)));
    f.Type(IDC_MAIL_PASSWORD, Wide(row.password));
    if (f.Checked(IDC_MAIL_SSL) != row.ssl) f.Click(IDC_MAIL_SSL);
    std::wstring result = f.TestMail();
    CAPTURE(std::string(ToUtf8(result)));
    // A result that fits needs no scroll bar.
    CHECK((GetWindowLongW(f.Item(IDC_TEST_MAIL_RESULT), GWL_STYLE) & WS_VSCROLL) == 0);
    if (row.sent) {
      CHECK(result.starts_with(L"Test mail sent. Result 0x00000000: "));
      CHECK(peers::Received(peers, row.peer).size() == before + 1);
    } else {
      CHECK(result.starts_with(L"Test mail failed. Result 0x00000217: 535: "));
      CHECK(peers::Received(peers, row.peer).size() == before);
    }
  }
}

TEST_CASE("Send test mail waits disabled for its worker; closing the dialog meanwhile drops the late result") {
  NotificationsFixture f(true);
  f.settings.EMail.EMailServer.Set("127.0.0.1");
  f.settings.EMail.EMailPort = 9;
  f.Show();
  f.Select(1);
  SetWindowTextW(f.Item(IDC_TEST_MAIL_RESULT), L"the last result");
  f.Click(IDC_TEST_MAIL);
  CHECK_FALSE(f.Enabled(IDC_TEST_MAIL));
  CHECK(Text(f.Item(IDC_TEST_MAIL_RESULT)).empty());
  f.dialog->Close();
  REQUIRE(WaitFor([&] { return !IsWindow(f.page); }));
  f.gated.Open();
  CHECK(WaitFor([&] { return f.gated.Finished() == 1; }, 60000));
}

TEST_CASE("each group is worked from the keyboard: tab order and mnemonics") {
  NotificationsFixture f;
  f.settings.EMail.EMailAuth = true;
  f.settings.CustomNotify.CustomAuth = true;
  f.Show();
  BringToFront(f.dialog->Window());
  struct Row {
    int channel;
    std::vector<int> tabs;
    std::vector<std::pair<WORD, int>> mnemonics;
  };
  const Row rows[] = {
      {0,
       {IDC_CHANNEL_LIST, IDC_UI_TRAY_ICON, IDC_UI_BALLOON, IDC_UI_SOUND, IDC_UI_WINDOW, IDC_UI_MESSAGE_BOX,
        IDC_NOTIFY_AGAIN, IDC_REPEAT},
       {{'I', IDC_UI_TRAY_ICON}, {'B', IDC_UI_BALLOON}, {'P', IDC_REPEAT}}},
      {1,
       {IDC_CHANNEL_LIST, IDC_MAIL_SERVER, IDC_MAIL_PORT, IDC_MAIL_SENDER, IDC_MAIL_RECIPIENT, IDC_MAIL_AUTH,
        IDC_MAIL_USER, IDC_MAIL_PASSWORD, IDC_MAIL_SSL, IDC_TEST_MAIL, IDC_NOTIFY_AGAIN, IDC_REPEAT},
       {{'S', IDC_MAIL_SERVER}, {'O', IDC_MAIL_PORT}, {'D', IDC_MAIL_SENDER}, {'T', IDC_MAIL_RECIPIENT},
        {'U', IDC_MAIL_USER}, {'W', IDC_MAIL_PASSWORD}, {'N', IDC_NOTIFY_AGAIN}}},
      {2,
       {IDC_CHANNEL_LIST, IDC_RUN_FILE, IDC_BROWSE, IDC_RUN_ARG, IDC_RUN_AUTH, IDC_RUN_USER, IDC_RUN_PASSWORD,
        IDC_REPEAT},
       {{'F', IDC_RUN_FILE}, {'A', IDC_RUN_ARG}, {'U', IDC_RUN_USER}, {'W', IDC_RUN_PASSWORD}}},
  };
  for (const Row& row : rows) {
    CAPTURE(row.channel);
    f.Select(row.channel);
    CHECK(TabOrder(f.page, f.List()) == row.tabs);
    for (auto [key, id] : row.mnemonics) {
      CAPTURE(static_cast<char>(key));
      CHECK(PressMnemonic(f.page, key, id) == id);
    }
  }
  // The arrow keys move through the channels, and the group with them.
  SendMessageW(f.page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(f.List()), TRUE);
  INPUT up[2] = {{INPUT_KEYBOARD, {.ki = {VK_UP, 0, 0, 0, 0}}},
                 {INPUT_KEYBOARD, {.ki = {VK_UP, 0, KEYEVENTF_KEYUP, 0, 0}}}};
  SendInput(2, up, sizeof(INPUT));
  CHECK(WaitFor([&] { return f.ShownGroup() == 1; }));
}

TEST_CASE("Browse stores the chosen program and leaves the current folder; Cancel changes nothing") {
  NotificationsFixture f;
  f.settings.CustomNotify.CustomFile.Set(L"old.exe");
  f.Show();
  f.Select(2);
  wchar_t start[MAX_PATH]{};
  GetCurrentDirectoryW(MAX_PATH, start);
  const std::wstring folder = start;
  wchar_t system[MAX_PATH]{};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring chosen = std::wstring(system) + L"\\notepad.exe";
  // Opens the file dialog as the button does; its window.
  auto open = [&] {
    PostMessageW(f.Item(IDC_BROWSE), BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    CHECK(WaitFor([&] {
      dialog = FindWindowW(L"#32770", L"Open");
      return dialog != nullptr && IsWindowVisible(dialog);
    }, 20000));
    return dialog;
  };
  struct Row {
    int button;
    std::wstring stored;
  };
  for (const Row& row : {Row{IDCANCEL, L"old.exe"}, Row{IDOK, chosen}}) {
    CAPTURE(row.button);
    HWND dialog = open();
    REQUIRE(dialog != nullptr);
    if (row.button == IDOK) SetDlgItemTextW(dialog, 0x47C /* the file name box */, chosen.c_str());
    PostMessageW(dialog, WM_COMMAND, row.button, 0);
    REQUIRE(WaitFor([&] { return !IsWindow(dialog); }));
    CHECK(WaitFor([&] { return f.settings.CustomNotify.CustomFile.Get() == row.stored; }));
    CHECK(Text(f.Item(IDC_RUN_FILE)) == row.stored);
    wchar_t now[MAX_PATH]{};
    GetCurrentDirectoryW(MAX_PATH, now);
    CHECK(std::wstring(now) == folder);
  }
}
