#include <windows.h>
#include <commctrl.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/utf16.h"
#include "res/resource.h"
#include "tests/smtp/peers.h"
#include "tests/ui/ui_fixture.h"

namespace {

// Some controls of each channel's group.
const std::vector<int> kGroups[] = {
    {IDC_UI_TRAY_ICON, IDC_UI_BALLOON, IDC_UI_SOUND, IDC_UI_WINDOW, IDC_UI_MESSAGE_BOX},
    {IDC_MAIL_SERVER, IDC_MAIL_PORT, IDC_MAIL_AUTH, IDC_MAIL_SSL, IDC_TEST_MAIL, IDC_TEST_MAIL_RESULT},
    {IDC_RUN_FILE, IDC_BROWSE, IDC_RUN_ARG, IDC_RUN_AUTH, IDC_RUN_PASSWORD},
    {IDC_WEBHOOK_URL, IDC_WEBHOOK_SHOW, IDC_WEBHOOK_FORMAT, IDC_TEST_WEBHOOK, IDC_TEST_WEBHOOK_RESULT},
};

struct NotificationsFixture : PageFixture {
  explicit NotificationsFixture(bool held = false) : PageFixture(1, held) {}
  HWND List() const { return Item(IDC_CHANNEL_LIST); }
  void Select(int channel) const { SelectOnly(List(), channel); }
  // The group shown, or -1 when not exactly one is.
  int ShownGroup() const {
    int shown = -1;
    for (int g = 0; g < static_cast<int>(std::size(kGroups)); ++g) {
      auto visible = std::ranges::count_if(kGroups[g], [&](int id) { return IsWindowVisible(Item(id)) != FALSE; });
      if (visible == 0) continue;
      if (shown >= 0 || visible != static_cast<long>(kGroups[g].size())) return -1;
      shown = g;
    }
    return shown;
  }
  // Picks entry index of a drop-down list as the user's choice would.
  void Choose(int id, int index) const {
    SendMessageW(Item(id), CB_SETCURSEL, index, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
  }
  bool UrlMasked() const { return SendMessageW(Item(IDC_WEBHOOK_URL), EM_GETPASSWORDCHAR, 0, 0) != 0; }
};

std::wstring Wide(const std::string& utf8) {
  std::wstring text;
  REQUIRE(FromUtf8(utf8, text));
  return text;
}

}  // namespace

TEST_CASE("the number fields refuse what does not fit, keep the last good value, and store for the selected channel") {
  NotificationsFixture f;
  f.Show();
  struct Row {
    int channel, id;
    const wchar_t* setting;
    const wchar_t* typed;  // null: only selected
    bool refused;
    const wchar_t *field, *stored;
  };
  const wchar_t *ui = L"Notifications\\UIThreshold", *mail = L"Notifications\\EMailThreshold",
                *run = L"Notifications\\CustomThreshold", *hook = L"Notifications\\WebhookThreshold",
                *port = L"Notifications\\EMailPort";
  const Row rows[] = {
      {1, IDC_REPEAT, mail, L"1001", true, L"1000", L"1000"},  // too many: refused and taken as 1000
      {1, IDC_REPEAT, mail, L"1000", false, L"1000", L"1000"},
      {0, IDC_REPEAT, ui, L"0", false, L"0", L"0"},
      {2, IDC_REPEAT, run, L"99999999999", true, L"1000", L"1000"},
      {2, IDC_REPEAT, run, L"", false, L"", L"1000"},
      {3, IDC_REPEAT, hook, L"1001", true, L"1000", L"1000"},
      {3, IDC_REPEAT, hook, L"9", false, L"9", L"9"},
      {0, IDC_REPEAT, ui, L"12", false, L"12", L"12"},
      {0, IDC_REPEAT, ui, L"7x", true, L"12", L"12"},
      {1, IDC_REPEAT, mail, nullptr, false, L"1000", L"1000"},  // each channel shows its own count
      {1, IDC_MAIL_PORT, port, L"587", false, L"587", L"587"},
      {1, IDC_MAIL_PORT, port, L"70000", true, L"587", L"587"},
      {1, IDC_MAIL_PORT, port, L"65535", false, L"65535", L"65535"},
      {1, IDC_MAIL_PORT, port, L"65536", true, L"65535", L"65535"},
      {1, IDC_MAIL_PORT, port, L"", false, L"", L"65535"},
      {1, IDC_MAIL_PORT, port, L"0", false, L"0", L"0"},
      {1, IDC_MAIL_PORT, port, L"99999999999", true, L"0", L"0"},
      {1, IDC_MAIL_PORT, port, L"2a5", true, L"0", L"0"},
  };
  for (const Row& row : rows) {
    CAPTURE(ToUtf8(row.setting));
    CAPTURE(ToUtf8(row.typed != nullptr ? row.typed : L"(none)"));
    f.Select(row.channel);
    const wchar_t* counts[] = {ui, mail, run, hook};
    std::wstring others[4];
    for (int c = 0; c < 4; ++c) others[c] = f.Stored(counts[c]);
    if (row.typed != nullptr) CHECK(f.Type(row.id, row.typed) == (row.refused ? L"Wrong value." : L""));
    CHECK(Text(f.Item(row.id)) == row.field);
    CHECK(f.Stored(row.setting) == row.stored);
    for (int c = 0; c < 4; ++c)
      if (counts[c] != row.setting) CHECK(f.Stored(counts[c]) == others[c]);
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
  REQUIRE(ListView_GetItemCount(f.List()) == 4);
  CHECK(f.ShownGroup() == 0);

  struct Row {
    const char* what;
    std::function<void(NotificationsFixture&)> act;
    int group;
    bool enabled[4];
    bool notifyAgainEnabled, notifyAgainChecked, mailAccount, runAccount;
  };
  const Row rows[] = {
      {"selecting Run application", [](auto& f) { f.Select(2); }, 2, {true, true, false, false}, false, true, true,
       false},
      {"switching e-mail off by its check box", [](auto& f) { ListView_SetCheckState(f.List(), 1, FALSE); }, 1,
       {true, false, false, false}, true, false, true, false},
      {"unchecking Authenticate for e-mail", [](auto& f) { f.Click(IDC_MAIL_AUTH); }, 1, {true, false, false, false},
       true, false, false, false},
      {"switching Run application on", [](auto& f) { ListView_SetCheckState(f.List(), 2, TRUE); }, 2,
       {true, false, true, false}, false, true, false, false},
      {"checking Authenticate for the program", [](auto& f) { f.Click(IDC_RUN_AUTH); }, 2, {true, false, true, false},
       false, true, false, true},
      {"a click beside the rows", [](auto& f) {
         RECT client{};
         GetClientRect(f.List(), &client);
         LPARAM at = MAKELPARAM(client.right / 2, client.bottom - 4);
         SendMessageW(f.List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
         SendMessageW(f.List(), WM_LBUTTONUP, 0, at);
       }, 2, {true, false, true, false}, false, true, false, true},
      {"switching Web hook on", [](auto& f) { ListView_SetCheckState(f.List(), 3, TRUE); }, 3,
       {true, false, true, true}, true, true, false, true},
      {"selecting User interface", [](auto& f) { f.Select(0); }, 0, {true, false, true, true}, true, false, false,
       true},
  };
  for (const Row& row : rows) {
    CAPTURE(row.what);
    row.act(f);
    CHECK(ListView_GetNextItem(f.List(), -1, LVNI_SELECTED) == row.group);
    CHECK(f.ShownGroup() == row.group);
    CHECK(f.settings.UiNotify.UIEnabled == row.enabled[0]);
    CHECK(f.settings.EMail.EMailEnabled == row.enabled[1]);
    CHECK(f.settings.CustomNotify.CustomEnabled == row.enabled[2]);
    CHECK(f.settings.Webhook.WebhookEnabled == row.enabled[3]);
    for (int i = 0; i < 4; ++i) CHECK((ListView_GetCheckState(f.List(), i) != 0) == row.enabled[i]);
    CHECK(f.Enabled(IDC_NOTIFY_AGAIN) == row.notifyAgainEnabled);
    CHECK(f.Checked(IDC_NOTIFY_AGAIN) == row.notifyAgainChecked);
    for (int id : {IDC_MAIL_USER, IDC_MAIL_PASSWORD}) CHECK(f.Enabled(id) == row.mailAccount);
    for (int id : {IDC_RUN_USER, IDC_RUN_PASSWORD}) CHECK(f.Enabled(id) == row.runAccount);
    CHECK(Text(f.Item(IDC_MAIL_USER)) + Text(f.Item(IDC_MAIL_PASSWORD)) + Text(f.Item(IDC_RUN_USER)) ==
          L"mailersecretrunner");
  }
  CHECK(f.settings.EMail.EMailUser.Get() == "mailer");
  CHECK(f.settings.CustomNotify.CustomNotifyAgain);
}

TEST_CASE("every field is stored as it changes, texts as UTF-8, and shown again when the dialog opens again") {
  NotificationsFixture f;
  f.Show();
  struct Row {
    int channel;
    int id;
    const wchar_t* setting;
    const wchar_t* typed;  // null: a check box, clicked; for the format, the entry chosen
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
      {3, IDC_WEBHOOK_URL, L"Notifications\\WebhookURL",
       L"https://hooks.example.org/T0/\u00e9t\u00e9?token=a%2Fb&x=\U0001F514"},
      {3, IDC_WEBHOOK_FORMAT, L"Notifications\\WebhookFormat", L"3"},
      {3, IDC_NOTIFY_AGAIN, L"Notifications\\WebhookNotifyAgain", nullptr},
      {3, IDC_REPEAT, L"Notifications\\WebhookThreshold", L"13"},
  };
  auto shownText = [&](int id) {
    return id == IDC_WEBHOOK_FORMAT ? std::to_wstring(SendMessageW(f.Item(id), CB_GETCURSEL, 0, 0)) : Text(f.Item(id));
  };
  std::vector<std::wstring> shown;
  for (const Row& row : rows) {
    CAPTURE(ToUtf8(row.setting));
    f.Select(row.channel);
    if (row.typed != nullptr) {
      if (row.id == IDC_WEBHOOK_FORMAT)
        f.Choose(row.id, std::stoi(row.typed));
      else
        f.Type(row.id, row.typed);
      CHECK(f.Stored(row.setting) == row.typed);
      shown.push_back(row.typed);
    } else {
      std::wstring before = f.Stored(row.setting);
      f.Click(row.id);
      CHECK(f.Stored(row.setting) == (before == L"1" ? L"0" : L"1"));
      CHECK(f.Checked(row.id) == (before != L"1"));
      shown.push_back(f.Checked(row.id) ? L"1" : L"0");
    }
  }
  // As the console stores it.
  CHECK(f.settings.EMail.EMailPassword.Get() == "p\xC3\xA4ss w\xC3\xB6rd\xE2\x82\xAC");
  f.Reopen();
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    CAPTURE(ToUtf8(row.setting));
    f.Select(row.channel);
    CHECK((row.typed != nullptr ? shownText(row.id) : f.Checked(row.id) ? L"1" : L"0") == shown[i]);
  }

  // Bytes that are not UTF-8, stored by an older program, show byte by byte and stay as they are.
  f.settings.EMail.EMailServer.Set("m\xE4il");
  f.Reopen();
  f.Select(1);
  CHECK(Text(f.Item(IDC_MAIL_SERVER)) == L"m\u00e4il");
  CHECK(f.Stored(L"Notifications\\EMailServer") == L"m\u00e4il");
  CHECK(f.settings.EMail.EMailServer.Get() == "m\xE4il");
}

TEST_CASE("quiet hours: the box switches the time fields; a time set from the keyboard is stored as minutes and shown again") {
  NotificationsFixture f;
  f.Show();
  auto minutesShown = [&](int id) {
    SYSTEMTIME time{};
    CHECK(SendMessageW(f.Item(id), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) == GDT_VALID);
    return std::to_wstring(time.wHour * 60 + time.wMinute);
  };
  CHECK(minutesShown(IDC_QUIET_FROM) == L"1320");
  CHECK(minutesShown(IDC_QUIET_TO) == L"360");
  for (bool on : {true, false, true}) {
    f.Click(IDC_QUIET_HOURS);
    CHECK(f.Stored(L"Notifications\\QuietHours") == (on ? L"1" : L"0"));
    for (int id : {IDC_QUIET_FROM, IDC_QUIET_TO_LABEL, IDC_QUIET_TO}) CHECK(f.Enabled(id) == on);
  }
  struct Row {
    int id;
    std::vector<WORD> keys;
    const wchar_t* setting;
    const wchar_t* stored;
  };
  // Wine's picker selects no field on focus: an arrow first moves to the hour.
  const Row rows[] = {
      {IDC_QUIET_FROM, {VK_RIGHT, VK_UP}, L"Notifications\\QuietFrom", L"1380"},
      {IDC_QUIET_FROM, {VK_UP}, L"Notifications\\QuietFrom", L"0"},  // past midnight the hour starts again
      {IDC_QUIET_TO, {VK_RIGHT, VK_DOWN}, L"Notifications\\QuietTo", L"300"},
  };
  for (const Row& row : rows) {
    CAPTURE(row.stored);
    SendMessageW(f.page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(f.Item(row.id)), TRUE);
    PressKeys(f.page, row.keys);
    CHECK_MESSAGE(WaitFor([&] { return f.Stored(row.setting) == row.stored; }), "awaited: the time stored as minutes");
  }
  f.Reopen();
  CHECK(f.Checked(IDC_QUIET_HOURS));
  CHECK(minutesShown(IDC_QUIET_FROM) == L"0");
  CHECK(minutesShown(IDC_QUIET_TO) == L"300");
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
    f.Click(IDC_TEST_MAIL);
    REQUIRE(WaitFor([&] { return f.Enabled(IDC_TEST_MAIL); }, 120000));
    std::wstring result = Text(f.Item(IDC_TEST_MAIL_RESULT));
    CAPTURE(ToUtf8(result));
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

TEST_CASE("each group is worked from the keyboard: tab order and mnemonics") {
  NotificationsFixture f;
  f.settings.EMail.EMailAuth = true;
  f.settings.CustomNotify.CustomAuth = true;
  f.settings.Quiet.QuietHours = true;
  f.Show();
  struct Row {
    int channel;
    std::vector<int> tabs;
    std::vector<std::pair<WORD, int>> mnemonics;
  };
  const Row rows[] = {
      {0,
       {IDC_CHANNEL_LIST, IDC_UI_TRAY_ICON, IDC_UI_BALLOON, IDC_UI_SOUND, IDC_UI_WINDOW, IDC_UI_MESSAGE_BOX,
        IDC_NOTIFY_AGAIN, IDC_REPEAT, IDC_QUIET_HOURS, IDC_QUIET_FROM, IDC_QUIET_TO},
       {{'I', IDC_UI_TRAY_ICON}, {'B', IDC_UI_BALLOON}, {'P', IDC_REPEAT}}},
      {1,
       {IDC_CHANNEL_LIST, IDC_MAIL_SERVER, IDC_MAIL_PORT, IDC_MAIL_SENDER, IDC_MAIL_RECIPIENT, IDC_MAIL_AUTH,
        IDC_MAIL_USER, IDC_MAIL_PASSWORD, IDC_MAIL_SSL, IDC_TEST_MAIL, IDC_NOTIFY_AGAIN, IDC_REPEAT, IDC_QUIET_HOURS,
        IDC_QUIET_FROM, IDC_QUIET_TO},
       {{'S', IDC_MAIL_SERVER}, {'O', IDC_MAIL_PORT}, {'D', IDC_MAIL_SENDER}, {'T', IDC_MAIL_RECIPIENT},
        {'U', IDC_MAIL_USER}, {'W', IDC_MAIL_PASSWORD}, {'N', IDC_NOTIFY_AGAIN}}},
      {2,
       {IDC_CHANNEL_LIST, IDC_RUN_FILE, IDC_BROWSE, IDC_RUN_ARG, IDC_RUN_AUTH, IDC_RUN_USER, IDC_RUN_PASSWORD,
        IDC_REPEAT, IDC_QUIET_HOURS, IDC_QUIET_FROM, IDC_QUIET_TO},
       {{'F', IDC_RUN_FILE}, {'A', IDC_RUN_ARG}, {'U', IDC_RUN_USER}, {'W', IDC_RUN_PASSWORD}}},
      {3,
       {IDC_CHANNEL_LIST, IDC_WEBHOOK_URL, IDC_WEBHOOK_SHOW, IDC_WEBHOOK_FORMAT, IDC_TEST_WEBHOOK, IDC_NOTIFY_AGAIN,
        IDC_REPEAT, IDC_QUIET_HOURS, IDC_QUIET_FROM, IDC_QUIET_TO},
       {{'U', IDC_WEBHOOK_URL}, {'H', IDC_WEBHOOK_SHOW}, {'F', IDC_WEBHOOK_FORMAT}, {'P', IDC_REPEAT},
        {'Q', IDC_QUIET_HOURS}}},
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
  // Alt+H showed the URL as a click would; the format follows the arrow keys.
  CHECK_FALSE(f.UrlMasked());
  PressMnemonic(f.page, 'F', IDC_WEBHOOK_FORMAT);
  PressKeys(f.page, {VK_DOWN});
  CHECK_MESSAGE(WaitFor([&] { return f.settings.Webhook.WebhookFormat == 1; }), "awaited: the next format stored");
  // The arrow keys move through the channels, and the group with them.
  SendMessageW(f.page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(f.List()), TRUE);
  PressKeys(f.page, {VK_UP});
  CHECK(WaitFor([&] { return f.ShownGroup() == 2; }));
}

TEST_CASE("the web hook URL stays masked until Show is pressed and again once the page is left; a hostile one too") {
  NotificationsFixture f;
  f.Show();
  const std::wstring stored[] = {
      L"",  // typed, not stored
      std::wstring(100000, L'x'),
      L"https://a.example/\r\n\t\x01\x1b[31m\x7f\u202e\U0001F514?token=secret",
  };
  for (const std::wstring& url : stored) {
    CAPTURE(url.size());
    f.settings.Webhook.WebhookURL.Set(url);
    f.Show();
    f.Select(3);
    std::wstring expected = url;
    if (url.empty()) {
      expected = L"https://hooks.example.org/T0/secret";
      f.Type(IDC_WEBHOOK_URL, expected);
    }
    HWND field = f.Item(IDC_WEBHOOK_URL);
    wchar_t mask = static_cast<wchar_t>(SendMessageW(field, EM_GETPASSWORDCHAR, 0, 0));
    CHECK(mask != 0);
    for (bool shown : {true, false, true}) {
      f.Click(IDC_WEBHOOK_SHOW);
      CHECK(f.Checked(IDC_WEBHOOK_SHOW) == shown);
      CHECK(SendMessageW(field, EM_GETPASSWORDCHAR, 0, 0) == (shown ? 0 : mask));
      UpdateWindow(field);
    }
    // Shown, then away to another page and back: masked again.
    f.Show();
    CHECK(f.UrlMasked());
    CHECK_FALSE(f.Checked(IDC_WEBHOOK_SHOW));
    // Showing and hiding it never changes what is stored.
    CHECK(f.settings.Webhook.WebhookURL.Get() == expected);
  }
}

// Needs the real SendTestWebhook: the plain HTTP peer records the POST and
// answers 200. The worker is held so the test sees the page meanwhile.
TEST_CASE("Send test message posts on a worker while the page answers, and shows the result in words") {
  peers::Peers peers = peers::Load();
  NotificationsFixture f(true);
  f.Show();
  f.Select(3);
  f.Type(IDC_WEBHOOK_URL, L"http://127.0.0.1:" + std::to_wstring(peers.Port("hook_plain")) + L"/status/200");
  f.Choose(IDC_WEBHOOK_FORMAT, 4);
  SetWindowTextW(f.Item(IDC_TEST_WEBHOOK_RESULT), L"the last result");
  size_t before = peers::Received(peers, "hook").size();
  DWORD_PTR answer = 0;
  CHECK_MESSAGE(SendMessageTimeoutW(f.Item(IDC_TEST_WEBHOOK), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &answer) != 0,
                "the click returns while the worker waits");
  CHECK_FALSE(f.Enabled(IDC_TEST_WEBHOOK));
  CHECK(Text(f.Item(IDC_TEST_WEBHOOK_RESULT)).empty());
  f.engine.Open();
  REQUIRE_MESSAGE(WaitFor([&] { return f.Enabled(IDC_TEST_WEBHOOK); }, 60000), "awaited: the test message's end");
  CHECK(Text(f.Item(IDC_TEST_WEBHOOK_RESULT)) == L"Test message sent.");
  std::vector<peers::Record> posts = peers::Received(peers, "hook");
  REQUIRE(posts.size() == before + 1);
  CHECK(posts.back().Field("path") == "/status/200");
  CHECK(posts.back().Field("content_type").starts_with("text/plain"));
}
