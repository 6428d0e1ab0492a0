#include "monitor/wmi_query.h"

#include <doctest/doctest.h>

#include "settings/settings.h"

namespace {

// Records what the session sends and answers from a script.
struct Script {
  std::vector<std::wstring> paths;
  std::vector<std::wstring> users;  // "<none>" for no credentials
  std::vector<std::wstring> passwords;
  std::vector<std::wstring> queries;
  std::vector<const WmiIdentity*> securities;
  std::vector<WmiIdentity> identities;
  WmiCode remoteResult = kWmiOk;
  WmiCode getResult = kWmiOk;
  std::vector<WmiValue> rows;
  size_t rowsRead = 0;

  WmiCode Secure(const WmiIdentity* identity) {
    securities.push_back(identity);
    if (identity) identities.push_back(*identity);
    return kWmiOk;
  }
};

class ScriptedObject final : public WmiObject {
 public:
  ScriptedObject(Script& s, WmiValue v) : s_(s), v_(std::move(v)) {}
  WmiCode Get(const std::wstring&, WmiValue& value) override {
    value = v_;
    return s_.getResult;
  }
  Script& s_;
  WmiValue v_;
};

class ScriptedEnumerator final : public WmiEnumerator {
 public:
  explicit ScriptedEnumerator(Script& s) : s_(s) {}
  WmiCode SetSecurity(const WmiIdentity* identity) override { return s_.Secure(identity); }
  WmiCode Next(uint32_t timeout, std::unique_ptr<WmiObject>& object) override {
    CHECK(timeout == 120000u);
    if (s_.rowsRead >= s_.rows.size()) return kWmiFalse;
    object = std::make_unique<ScriptedObject>(s_, s_.rows[s_.rowsRead++]);
    return kWmiOk;
  }
  Script& s_;
};

class ScriptedNamespace final : public WmiNamespace {
 public:
  explicit ScriptedNamespace(Script& s) : s_(s) {}
  WmiCode SetSecurity(const WmiIdentity* identity) override { return s_.Secure(identity); }
  WmiCode ExecQuery(const std::wstring& language, const std::wstring& query,
                    std::unique_ptr<WmiEnumerator>& result) override {
    CHECK(language == L"WQL");
    s_.queries.push_back(query);
    result = std::make_unique<ScriptedEnumerator>(s_);
    return kWmiOk;
  }
  Script& s_;
};

class ScriptedSource final : public WmiSource, public WmiLocator {
 public:
  explicit ScriptedSource(Script& s) : s_(s) {}
  WmiCode CreateLocator(std::unique_ptr<WmiLocator>& locator) override {
    struct Forward final : WmiLocator {
      explicit Forward(WmiLocator& l) : l_(l) {}
      WmiCode ConnectServer(const std::wstring& p, const std::wstring* u, const std::wstring* w,
                            std::unique_ptr<WmiNamespace>& r) override {
        return l_.ConnectServer(p, u, w, r);
      }
      WmiLocator& l_;
    };
    locator = std::make_unique<Forward>(*this);
    return kWmiOk;
  }
  WmiCode ConnectServer(const std::wstring& path, const std::wstring* user, const std::wstring* password,
                        std::unique_ptr<WmiNamespace>& result) override {
    s_.paths.push_back(path);
    s_.users.push_back(user ? *user : L"<none>");
    s_.passwords.push_back(password ? *password : L"<none>");
    if (path != L"\\\\.\\root\\cimv2" && s_.remoteResult != kWmiOk) return s_.remoteResult;
    result = std::make_unique<ScriptedNamespace>(s_);
    return kWmiOk;
  }
  Script& s_;
};

struct Session {
  ConnectionSettings connection;
  Script script;
  ScriptedSource source{script};
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
  SUBCASE("localhost in capitals is local") {
    s.Remote(L"LOCALHOST", L"bob", L"pw");
    CHECK(s.query.QueryStrings(L"Win32_Process", L"Name", texts) == kWmiOk);
    CHECK(s.script.paths == std::vector<std::wstring>{L"\\\\.\\root\\cimv2"});
  }
  SUBCASE("a domain user splits at the backslash") {
    s.Remote(L"srv01", L"DOMAIN\\bob", L"pw");
    CHECK(s.query.QueryStrings(L"Win32_Process", L"Name", texts) == kWmiOk);
    CHECK(s.script.paths == std::vector<std::wstring>{L"\\\\srv01\\root\\cimv2"});
    CHECK(s.script.users[0] == L"DOMAIN\\bob");
    CHECK(s.script.passwords[0] == L"pw");
    REQUIRE(s.script.identities.size() == 2);
    CHECK(s.script.identities[0].domain == L"DOMAIN");
    CHECK(s.script.identities[0].user == L"bob");
    CHECK(s.script.identities[1].password == L"pw");
  }
  SUBCASE("a plain or empty user gets a leading backslash and an empty domain") {
    s.Remote(L"srv01", L"bob", L"");
    s.query.QueryStrings(L"C", L"P", texts);
    CHECK(s.script.users[0] == L"\\bob");
    CHECK(s.script.identities[0].domain.empty());
    CHECK(s.script.identities[0].user == L"bob");
    s.connection.user.Set(L"");
    s.query.QueryStrings(L"C", L"P", texts);
    CHECK(s.script.users[1] == L"\\");
    CHECK(s.script.identities.back().user.empty());
  }
  SUBCASE("domain/user goes whole into the user name") {
    s.Remote(L"srv01", L"DOMAIN/bob", L"pw");
    s.query.QueryStrings(L"C", L"P", texts);
    CHECK(s.script.users[0] == L"DOMAIN/bob");
    CHECK(s.script.identities[0].domain.empty());
    CHECK(s.script.identities[0].user == L"DOMAIN/bob");
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
  SUBCASE("the single value is the first instance's and the rest is not read") {
    int64_t single = 7;
    CHECK(s.query.QueryProperty(L"C", L"P", &single, nullptr, &numbers) == kWmiOk);
    CHECK(single == 0xFFFFFFFE);
    CHECK(numbers.empty());
    CHECK(s.script.rowsRead == 1);
  }
  SUBCASE("no instances: success, and the single value keeps the caller's") {
    s.script.rows.clear();
    int64_t single = 7;
    CHECK(s.query.QueryProperty(L"C", L"P", &single, nullptr, nullptr) == kWmiOk);
    CHECK(single == 7);
  }
  SUBCASE("a failing property read keeps what came before") {
    s.script.getResult = kWmiNotFound;
    numbers = {9, 9};
    CHECK(s.query.QueryValues(L"C", L"P", numbers) == kWmiNotFound);
    CHECK(numbers.empty());
  }
}
