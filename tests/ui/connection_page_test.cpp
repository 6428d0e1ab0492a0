#include <windows.h>
#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "common/utf16.h"
#include "res/resource.h"
#include "tests/ui/ui_fixture.h"

namespace {

// The Connection page, its workers held until the test lets them go.
struct ConnectionFixture : PageFixture {
  ConnectionFixture() : PageFixture(2, true) {}
  // Waits for the running test's report; its lines.
  std::vector<std::wstring> ReportLines(int timeoutMs) {
    engine.Open();
    REQUIRE(WaitFor([&] { return Enabled(IDC_TEST_CONNECTION); }, timeoutMs));
    std::wstring report = Text(Item(IDC_REPORT));
    std::vector<std::wstring> lines;
    for (size_t at = 0, end; at < report.size(); at = end + 2) {
      end = report.find(L"\r\n", at);
      if (end == std::wstring::npos) end = report.size();
      lines.push_back(report.substr(at, end - at));
    }
    return lines;
  }
};

}  // namespace

TEST_CASE("Test Connection runs on a worker: the dialog answers, the button waits, the report comes after") {
  ConnectionFixture f;
  f.Show();
  f.Click(IDC_TEST_CONNECTION);
  auto start = std::chrono::steady_clock::now();
  DWORD_PTR answer = 0;
  CHECK(SendMessageTimeoutW(f.dialog->Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) != 0);
  CHECK(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500));
  // The page picks the wait cursor for itself and its children alike.
  auto cursorOver = [&](HWND target) {
    SetCursor(nullptr);
    SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    CURSORINFO cursor{sizeof cursor, 0, nullptr, {}};
    GetCursorInfo(&cursor);
    return cursor.hCursor;
  };
  HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  for (HWND target : {f.page, f.Item(IDC_REPORT), f.Item(IDC_SERVER)}) CHECK(cursorOver(target) == wait);

  std::vector<std::wstring> lines = f.ReportLines(60000);
  REQUIRE(lines.size() >= 3);
  CHECK(lines.front().starts_with(L"Operating system name: "));
  CHECK(std::ranges::any_of(lines, [](const std::wstring& line) { return line.starts_with(L"Processor: "); }));
  CHECK(lines.back().starts_with(L"Memory size: "));
  CHECK(lines.back().ends_with(L" MB"));
  CHECK(cursorOver(f.Item(IDC_REPORT)) != wait);
}

TEST_CASE("an unreachable computer gives the one failure line") {
  ConnectionFixture f;
  f.settings.Connection.local = false;
  f.settings.Connection.server.Set(L"nosuchhost.invalid");
  f.Show();
  f.Click(IDC_TEST_CONNECTION);
  // Wine refuses a remote namespace at once; Windows may wait on the name lookup.
  std::vector<std::wstring> lines = f.ReportLines(180000);
  REQUIRE(lines.size() == 1);
  CHECK(lines[0].starts_with(L"Connection failed. Error "));
}

TEST_CASE("the instance names are emptied only when the watched computer changes") {
  struct Row {
    const char* what;
    bool local;
    std::function<void(ConnectionFixture&)> act;
    bool kept;
    bool localAfter;
    const wchar_t* label;
  };
  auto showAgain = [](ConnectionFixture& f) { f.Show(); };
  const Row rows[] = {
      {"showing the page again, local", true, showAgain, true, true, L"Localhost"},
      {"showing the page again, remote", false, showAgain, true, false, L"srv1"},
      {"retyping the same name", false, [](auto& f) { f.Type(IDC_SERVER, L"srv1"); }, true, false, L"srv1"},
      {"clicking the chosen Localhost", true, [](auto& f) { f.Click(IDC_LOCALHOST); }, true, true, L"Localhost"},
      {"clicking the chosen Remote Computer", false, [](auto& f) { f.Click(IDC_REMOTE); }, true, false, L"srv1"},
      {"clicking Remote Computer", true, [](auto& f) { f.Click(IDC_REMOTE); }, false, false, L"srv1"},
      {"clicking Localhost", false, [](auto& f) { f.Click(IDC_LOCALHOST); }, false, true, L"Localhost"},
      {"another name", false, [](auto& f) { f.Type(IDC_SERVER, L"srv2"); }, false, false, L"srv2"},
  };
  for (const Row& row : rows) {
    CAPTURE(row.what);
    ConnectionFixture f;
    f.settings.Connection.local = row.local;
    f.settings.Connection.server.Set(L"srv1");
    ParameterSettings& p = f.settings.Parameters;
    p.networkAdapterName.Set(L"eth0");
    p.diskName.Set(L"C:");
    p.webServerName.Set(L"site");
    f.Show();
    row.act(f);
    CHECK(p.networkAdapterName.Get() + L"|" + p.diskName.Get() + L"|" + p.webServerName.Get() ==
          (row.kept ? L"eth0|C:|site" : L"||"));
    CHECK(f.settings.Connection.local == row.localAfter);
    CHECK(f.Checked(IDC_LOCALHOST) == row.localAfter);
    CHECK(f.Checked(IDC_REMOTE) == !row.localAfter);
    CHECK(Text(f.dialog->Item(IDC_SERVER_LABEL)) == row.label);
  }
}

TEST_CASE("Localhost disables the remote fields, which keep their texts; the keyboard reaches every field") {
  ConnectionFixture f;
  f.settings.Connection.server.Set(L"far");
  f.settings.Connection.user.Set(L"admin");
  f.settings.Connection.password.Set(L"secret");
  f.Show();
  // Tab goes round from the interval field; of the two radio buttons it stops at the checked one.
  const std::vector<int> localTabs{IDC_PERIOD, IDC_TEST_CONNECTION, IDC_REPORT, IDC_LOCALHOST};
  const std::vector<int> remoteTabs{IDC_PERIOD,   IDC_REMOTE,          IDC_SERVER, IDC_USER,
                                    IDC_PASSWORD, IDC_TEST_CONNECTION, IDC_REPORT};
  const int remote[] = {IDC_NAME_LABEL, IDC_SERVER, IDC_USER_LABEL, IDC_USER, IDC_PASSWORD_LABEL, IDC_PASSWORD};
  struct Row {
    WORD mnemonic;
    int focus;
    bool local;
  };
  for (const Row& row : {Row{'R', IDC_REMOTE, false}, Row{'N', IDC_SERVER, false}, Row{'U', IDC_USER, false},
                         Row{'W', IDC_PASSWORD, false}, Row{'I', IDC_PERIOD, false}, Row{'L', IDC_LOCALHOST, true}}) {
    CAPTURE(static_cast<char>(row.mnemonic));
    CHECK(PressMnemonic(f.page, row.mnemonic, row.focus) == row.focus);
    // A radio button's mnemonic clicks it once the focus is there.
    CHECK(WaitFor([&] { return f.settings.Connection.local == row.local; }));
    for (int id : remote) CHECK(WaitFor([&] { return f.Enabled(id) == !row.local; }));
    CHECK(Text(f.Item(IDC_SERVER)) + Text(f.Item(IDC_USER)) + Text(f.Item(IDC_PASSWORD)) == L"faradminsecret");
    CHECK(TabOrder(f.page, f.Item(IDC_PERIOD)) == (row.local ? localTabs : remoteTabs));
  }
  f.Type(IDC_USER, L"operator");
  f.Type(IDC_PASSWORD, L"");
  CHECK(f.settings.Connection.user.Get() == L"operator");
  CHECK(f.settings.Connection.password.Get().empty());
}

TEST_CASE("the polling interval stores milliseconds and refuses what does not fit") {
  ConnectionFixture f;
  f.settings.Connection.period = 45000;
  f.Show();
  CHECK(Text(f.Item(IDC_PERIOD)) == L"45");
  struct Row {
    const wchar_t* typed;
    int32_t stored;
    bool refused;
  };
  for (const Row& row : {Row{L"0", 0, false}, Row{L"", 0, false}, Row{L"45", 45000, false},
                         Row{L"2147483", 2147483000, false}, Row{L"2147484", 2147483000, true},
                         Row{L"99999999999999999999", 2147483000, true}, Row{L"7", 7000, false}}) {
    CAPTURE(ToUtf8(row.typed));
    std::wstring before = Text(f.Item(IDC_PERIOD));
    CHECK(f.Type(IDC_PERIOD, row.typed) == (row.refused ? L"Wrong value." : L""));
    CHECK(f.settings.Connection.period == row.stored);
    CHECK(Text(f.Item(IDC_PERIOD)) == (row.refused ? before : std::wstring(row.typed)));
  }
}
