#include "wmi/wmi_query.h"

#include <doctest/doctest.h>

#include "common/utf16.h"
#include "settings/settings.h"

namespace {

// Records what the session sends and answers from a script.
struct Script {
  std::vector<std::wstring> paths, users, passwords, queries;  // "<none>" for no credentials
  std::vector<const WmiIdentity*> securities;
  std::vector<WmiIdentity> identities;
  WmiCode remoteResult = kWmiOk, getResult = kWmiOk;
  std::vector<WmiCode> execResults;  // the next queries' results, then success
  std::vector<WmiValue> rows;
  size_t rowsRead = 0;
};

// Every part WMI hands out; each instance plays one of them.
struct Scripted final : WmiSource, WmiLocator, WmiNamespace, WmiEnumerator, WmiObject {
  explicit Scripted(Script& s, WmiValue v = {}) : s(s), v(std::move(v)) {}
  WmiCode CreateLocator(std::unique_ptr<WmiLocator>& locator) override {
    locator = std::make_unique<Scripted>(s);
    return kWmiOk;
  }
  WmiCode ConnectServer(const std::wstring& path, const std::wstring* user, const std::wstring* password,
                        std::unique_ptr<WmiNamespace>& result) override {
    s.paths.push_back(path);
    s.users.push_back(user ? *user : L"<none>");
    s.passwords.push_back(password ? *password : L"<none>");
    if (path != L"\\\\.\\root\\cimv2" && s.remoteResult != kWmiOk) return s.remoteResult;
    result = std::make_unique<Scripted>(s);
    return kWmiOk;
  }
  WmiCode SetSecurity(const WmiIdentity* identity) override {
    s.securities.push_back(identity);
    if (identity) s.identities.push_back(*identity);
    return kWmiOk;
  }
  WmiCode ExecQuery(const std::wstring& language, const std::wstring& query,
                    std::unique_ptr<WmiEnumerator>& result) override {
    CHECK(language == L"WQL");
    s.queries.push_back(query);
    if (!s.execResults.empty()) {
      WmiCode code = s.execResults.front();
      s.execResults.erase(s.execResults.begin());
      if (code != kWmiOk) return code;
    }
    result = std::make_unique<Scripted>(s);
    return kWmiOk;
  }
  WmiCode Next(uint32_t timeout, std::unique_ptr<WmiObject>& object) override {
    CHECK(timeout == 120000u);
    if (s.rowsRead >= s.rows.size()) return kWmiFalse;
    object = std::make_unique<Scripted>(s, s.rows[s.rowsRead++]);
    return kWmiOk;
  }
  WmiCode Get(const std::wstring&, WmiValue& value) override {
    value = v;
    return s.getResult;
  }
  Script& s;
  WmiValue v;
};

struct Session {
  ConnectionSettings connection;
  Script script;
  Scripted source{script};
  WmiQuery query{connection, source};

  void Remote(const wchar_t* server, const wchar_t* user, const wchar_t* password) {
    connection.local = false;
    connection.server.Set(server);
    connection.user.Set(user);
    connection.password.Set(password);
  }
};

}  // namespace

TEST_CASE("the session connects locally or remotely with the right credentials") {
  Session s;
  std::vector<std::wstring> texts;

  SUBCASE("local ignores the stored account") {
    s.connection.user.Set(L"DOMAIN\\bob");
    s.connection.password.Set(L"pw");
    CHECK(s.query.QueryStrings(L"Win32_Process", L"Name", texts) == kWmiOk);
    CHECK(s.script.paths == std::vector<std::wstring>{L"\\\\.\\root\\cimv2"});
    CHECK(s.script.users[0] == L"<none>");
    CHECK(s.script.queries == std::vector<std::wstring>{L"Select Name from Win32_Process"});
    CHECK(s.script.securities == std::vector<const WmiIdentity*>{nullptr, nullptr});
  }
  SUBCASE("a remote account: a domain splits off at the backslash only") {
    const struct { const wchar_t *user, *sent, *domain, *name; } cases[] = {
        {L"DOMAIN\\bob", L"DOMAIN\\bob", L"DOMAIN", L"bob"},
        {L"bob", L"\\bob", L"", L"bob"},
        {L"", L"\\", L"", L""},
        {L"DOMAIN/bob", L"DOMAIN/bob", L"", L"DOMAIN/bob"},
    };
    for (const auto& c : cases) {
      INFO(ToUtf8(c.user));
      Session r;
      r.Remote(L"srv01", c.user, L"pw");
      CHECK(r.query.QueryStrings(L"C", L"P", texts) == kWmiOk);
      CHECK(r.script.paths == std::vector<std::wstring>{L"\\\\srv01\\root\\cimv2"});
      CHECK(r.script.users[0] == c.sent);
      CHECK(r.script.passwords[0] == L"pw");
      REQUIRE(r.script.identities.size() == 2);  // the namespace and the enumerator
      CHECK(r.script.identities[1].domain == c.domain);
      CHECK(r.script.identities[1].user == c.name);
      CHECK(r.script.identities[1].password == L"pw");
    }
  }
  SUBCASE("this computer by name refuses credentials and is queried locally") {
    s.Remote(L"myself", L"bob", L"pw");
    s.script.remoteResult = kWmiLocalCredentials;
    CHECK(s.query.QueryStrings(L"C", L"P", texts) == kWmiOk);
    CHECK(s.script.paths == std::vector<std::wstring>{L"\\\\myself\\root\\cimv2", L"\\\\.\\root\\cimv2"});
    CHECK(s.script.users[1] == L"<none>");
    CHECK(s.script.identities.empty());
  }
  SUBCASE("an unreachable computer's code comes back unchanged") {
    s.Remote(L"nowhere", L"", L"");
    s.script.remoteResult = 0x800706BA;
    texts.push_back(L"stale");
    CHECK(s.query.QueryStrings(L"C", L"P", texts) == 0x800706BAu);
    CHECK(texts.empty());
    CHECK(s.script.queries.empty());
  }
}

TEST_CASE("a kept connection is reused, made again when the settings change or it broke, and a query retried once") {
  Session s;
  WmiConnection kept;
  WmiQuery query{s.connection, s.source, &kept};
  std::vector<std::wstring> texts;
  const struct {
    const char* step;
    std::vector<WmiCode> execResults;
    const wchar_t* server;  // a remote server for this step, or none
    WmiCode result;
    size_t connects;  // ConnectServer calls so far
    bool openAfter;
  } steps[] = {
      {"first query connects", {}, nullptr, kWmiOk, 1, true},
      {"later queries reuse it", {}, nullptr, kWmiOk, 1, true},
      {"an unknown class keeps it", {kWmiInvalidClass}, nullptr, kWmiInvalidClass, 1, true},
      {"a broken one is made again and the query retried", {0x80010108}, nullptr, kWmiOk, 2, true},
      {"a failure on the fresh one too is reported, and it is dropped", {kWmiTransportFailure, kWmiTransportFailure},
       nullptr, kWmiTransportFailure, 3, false},
      {"the next query connects again", {}, nullptr, kWmiOk, 4, true},
      {"another server: a new connection", {}, L"srv01", kWmiOk, 5, true},
      {"refused access on a first connection is not retried", {0x80070005}, L"srv02", 0x80070005, 6, false},
  };
  for (const auto& step : steps) {
    CAPTURE(step.step);
    if (step.server) s.Remote(step.server, L"bob", L"pw");
    s.script.execResults = step.execResults;
    CHECK(query.QueryStrings(L"C", L"P", texts) == step.result);
    CHECK(s.script.paths.size() == step.connects);
    CHECK(kept.IsOpenFor(s.connection) == step.openAfter);
  }
  kept.Close();
  CHECK_FALSE(kept.IsOpenFor(s.connection));
}

TEST_CASE("several properties in one query: a row per instance, each value as text") {
  Session s;
  // The script answers every property of an instance with the same value.
  s.script.rows = {WmiValue::Int32(-2), WmiValue::Text(L"  -42abc"), WmiValue::Null(), WmiValue::Other()};
  std::vector<std::vector<std::wstring>> rows{{L"stale"}};
  CHECK(s.query.QueryRows(L"Win32_LogicalDisk", {L"Name", L"Size"}, rows) == kWmiOk);
  CHECK(s.script.queries == std::vector<std::wstring>{L"Select Name, Size from Win32_LogicalDisk"});
  CHECK(rows == std::vector<std::vector<std::wstring>>{
                    {L"4294967294", L"4294967294"}, {L"  -42abc", L"  -42abc"}, {L"0", L"0"}, {L"", L""}});

  s.script.rowsRead = 0;
  s.script.getResult = kWmiNotFound;
  CHECK(s.query.QueryRows(L"Win32_LogicalDisk", {L"Name", L"Size"}, rows) == kWmiNotFound);
}

TEST_CASE("answers are converted by their type") {
  Session s;
  s.script.rows = {WmiValue::Int32(-2), WmiValue::Text(L"  -42abc"), WmiValue::Null(), WmiValue::Other(),
                   WmiValue::Text(L"x")};
  std::vector<std::wstring> texts;
  std::vector<int64_t> numbers;

  SUBCASE("numbers only: 32-bit values widened unsigned, texts read as numbers") {
    CHECK(s.query.QueryValues(L"C", L"P", numbers) == kWmiOk);
    CHECK(numbers == std::vector<int64_t>{0xFFFFFFFE, -42, 0, 0});
  }
  SUBCASE("texts and numbers: texts take the text values, numbers only the integers") {
    CHECK(s.query.QueryProperty(L"C", L"P", nullptr, &texts, &numbers) == kWmiOk);
    CHECK(texts == std::vector<std::wstring>{L"  -42abc", L"0", L"x"});
    CHECK(numbers == std::vector<int64_t>{0xFFFFFFFE, 0});
  }
  SUBCASE("the single value is the first instance's and the rest is not read; no instances keep the caller's") {
    int64_t single = 7;
    CHECK(s.query.QueryProperty(L"C", L"P", &single, nullptr, &numbers) == kWmiOk);
    CHECK(single == 0xFFFFFFFE);
    CHECK(numbers.empty());
    CHECK(s.script.rowsRead == 1);
    s.script.rows.clear();
    CHECK(s.query.QueryProperty(L"C", L"P", &single, nullptr, nullptr) == kWmiOk);
    CHECK(single == 0xFFFFFFFE);
  }
  SUBCASE("a failing property read keeps what came before") {
    s.script.getResult = kWmiNotFound;
    numbers = {9, 9};
    CHECK(s.query.QueryValues(L"C", L"P", numbers) == kWmiNotFound);
    CHECK(numbers.empty());
  }
}
