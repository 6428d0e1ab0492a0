#include <doctest/doctest.h>

#include <algorithm>
#include <memory>

#include "common/decimal.h"
#include "common/platform_services.h"
#include "settings/settings.h"
#include "wmi/wmi_query.h"

namespace {

// COM's apartment and security are set once per process, on the main thread
// that runs the tests; the static takes them down at exit on the same thread.
void StartPlatform() {
  static PlatformServices services;
  static const bool started = services.Start();
  REQUIRE_MESSAGE(started, services.FailureText());
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

struct Session {
  ConnectionSettings connection;
  std::unique_ptr<WmiSource> source = CreateSystemWmiSource();
  WmiQuery query{connection, *source};
  std::vector<std::wstring> texts;
  std::vector<int64_t> numbers;
};

}  // namespace

TEST_CASE("the local computer's WMI answers the monitor's queries") {
  StartPlatform();
  Session s;

  SUBCASE("the process list holds this test program, also when LOCALHOST is named with credentials") {
    REQUIRE(s.query.QueryStrings(L"Win32_Process", L"Name", s.texts) == kWmiOk);
    CHECK(Contains(s.texts, L"test_wmi.exe"));
    s.connection.local = false;
    s.connection.server.Set(L"LOCALHOST");
    s.connection.user.Set(L"nobody");
    s.connection.password.Set(L"wrong");
    REQUIRE(s.query.QueryStrings(L"Win32_Process", L"Name", s.texts) == kWmiOk);
    CHECK(Contains(s.texts, L"test_wmi.exe"));
  }
  SUBCASE("logical disks include C:, with name, size and free space in one query") {
    std::vector<std::vector<std::wstring>> rows;
    REQUIRE(s.query.QueryRows(L"Win32_LogicalDisk", {L"Name", L"Size", L"FreeSpace"}, rows) == kWmiOk);
    auto c = std::find_if(rows.begin(), rows.end(), [](const auto& row) { return row.at(0) == L"C:"; });
    REQUIRE(c != rows.end());
    CHECK(ReadDecimal(c->at(1)) > 0);
    CHECK(ReadDecimal(c->at(1)) >= ReadDecimal(c->at(2)));
  }
  SUBCASE("the system report's properties and memory") {
    REQUIRE(s.query.QueryStrings(L"Win32_OperatingSystem", L"Caption", s.texts) == kWmiOk);
    CHECK(s.texts.at(0).find(L"Windows") != std::wstring::npos);
    // Wine leaves organisation and owner empty; they must still come as one text each.
    for (const wchar_t* property : {L"Organization", L"RegisteredUser", L"SerialNumber"}) {
      CAPTURE(property);
      CHECK(s.query.QueryStrings(L"Win32_OperatingSystem", property, s.texts) == kWmiOk);
      CHECK(s.texts.size() == 1);
    }
    CHECK(!s.texts.at(0).empty());  // SerialNumber
    REQUIRE(s.query.QueryStrings(L"Win32_Processor", L"Name", s.texts) == kWmiOk);
    CHECK(!s.texts.at(0).empty());
    // A 64-bit number comes as text and is read as the single value.
    int64_t total = -1;
    REQUIRE(s.query.QueryProperty(L"Win32_ComputerSystem", L"TotalPhysicalMemory", &total, nullptr, nullptr) ==
            kWmiOk);
    REQUIRE(s.query.QueryValues(L"Win32_OperatingSystem", L"FreePhysicalMemory", s.numbers) == kWmiOk);
    REQUIRE(s.numbers.size() == 1);
    CHECK(s.numbers[0] > 0);
    CHECK(total >= s.numbers[0] * 1024);  // free memory is in kilobytes
  }
}

TEST_CASE("WMI's failures come back as its own codes") {
  StartPlatform();
  Session s;

  SUBCASE("an unknown class or property") {
    // Windows refuses an unknown class; Wine's WMI answers it with no rows.
    const WmiCode code = s.query.QueryStrings(L"Win32_NoSuchClass", L"Name", s.texts);
    CHECK((code == kWmiInvalidClass || (code == kWmiOk && s.texts.empty())));
    CHECK(s.query.QueryStrings(L"Win32_Processor", L"NoSuchProperty", s.texts) == kWmiNotFound);
  }
  SUBCASE("a computer that cannot be reached") {
    s.connection.local = false;
    s.connection.server.Set(L"nosuchhost.invalid");
    // Wine answers WBEM_E_TRANSPORT_FAILURE at once for any other computer;
    // Windows gives up later with RPC's "server unavailable".
    const WmiCode code = s.query.QueryValues(L"Win32_OperatingSystem", L"FreePhysicalMemory", s.numbers);
    CHECK((code == kWmiTransportFailure || code == 0x800706BA));
  }
}

TEST_CASE("a second start on a thread that has COM fails and leaves COM as it was") {
  StartPlatform();
  {
    PlatformServices second;
    CHECK_FALSE(second.Start());
    CHECK(second.FailureText().rfind(L"CoInitializeEx failed. Error 1", 0) == 0);  // S_FALSE
  }
  Session s;
  CHECK(s.query.QueryStrings(L"Win32_OperatingSystem", L"Caption", s.texts) == kWmiOk);
}

TEST_CASE("system error texts") {
  const std::wstring denied = SystemErrorText(5);
  CHECK(!denied.empty());
  CHECK(denied.find_last_of(L"\r\n ") != denied.size() - 1);
  CHECK(SystemErrorText(0x12345678).empty());
}
