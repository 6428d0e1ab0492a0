#include "wmi/wmi_replay.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <thread>

#include "common/utf16.h"
#include "support/temp_dir.h"

namespace {

std::unique_ptr<WmiReplaySource> Parse(const std::string& text) {
  std::wstring error;
  auto source = ParseReplayText(text, L"replay.txt", error);
  INFO(ToUtf8(error));
  REQUIRE(source);
  return source;
}

std::string ParseError(const std::string& text) {
  std::wstring error;
  CHECK(ParseReplayText(text, L"replay.txt", error) == nullptr);
  return ToUtf8(error);
}

std::vector<WmiValue> Values(WmiReplaySource& source, const wchar_t* cls, const wchar_t* property) {
  std::vector<WmiValue> values;
  CHECK(source.Column(cls, property, values) == kWmiOk);
  return values;
}

int32_t Load(WmiReplaySource& source) { return Values(source, L"Win32_Processor", L"LoadPercentage").at(0).number; }

}  // namespace

TEST_CASE("replay: values of every form") {
  auto source = Parse(
      "\xEF\xBB\xBF# demo\r\npass\r\n  Win32_Process.Name = \"a \\\"b\\\" \\\\c\"  \"\xC3\xA9\xF0\x9F\x98\x80\"\r\n"
      "win32_operatingsystem.FreePhysicalMemory=\"4194304\"\n"
      "Win32_Processor.LoadPercentage = -2147483648 4294967295 +7 NULL Other\n"
      "Win32_PerfRawData_Tcpip_NetworkInterface.BytesTotalPersec =\n");
  CHECK(source->PassCount() == 1);
  CHECK(Values(*source, L"Win32_Process", L"Name") ==
        std::vector<WmiValue>{WmiValue::Text(L"a \"b\" \\c"), WmiValue::Text(L"\u00E9\U0001F600")});
  CHECK(Values(*source, L"WIN32_PROCESSOR", L"loadpercentage") ==
        std::vector<WmiValue>{WmiValue::Int32(INT32_MIN), WmiValue::Int32(-1), WmiValue::Int32(7), WmiValue::Null(),
                              WmiValue::Other()});
  CHECK(Values(*source, L"Win32_PerfRawData_Tcpip_NetworkInterface", L"BytesTotalPersec").empty());
  CHECK(Values(*source, L"Win32_OperatingSystem", L"FreePhysicalMemory") ==
        std::vector<WmiValue>{WmiValue::Text(L"4194304")});
  CHECK(source->ConnectRemote(L"far-away") == kWmiOk);  // any computer is answered by the recording
}

TEST_CASE("replay: one query asks several properties; columns pair by position as far as all go") {
  auto source = Parse("pass\nWin32_LogicalDisk.Name = \"C:\" \"D:\" \"E:\"\nWin32_LogicalDisk.Size = \"100\" \"200\"\n"
                      "Win32_LogicalDisk.FreeSpace = error 0x80041003\n");
  std::unique_ptr<WmiLocator> locator;
  REQUIRE(source->CreateLocator(locator) == kWmiOk);
  std::unique_ptr<WmiNamespace> ns;
  REQUIRE(locator->ConnectServer(L"\\\\.\\root\\cimv2", nullptr, nullptr, ns) == kWmiOk);
  const struct {
    const wchar_t* query;
    WmiCode result;
    size_t rows;
  } cases[] = {
      {L"Select Name from Win32_LogicalDisk", kWmiOk, 3},
      {L"select Name,Size FROM win32_logicaldisk", kWmiOk, 2},
      {L"Select Size , Name from Win32_LogicalDisk", kWmiOk, 2},
      {L"Select Name, FreeSpace from Win32_LogicalDisk", 0x80041003, 0},  // a failing column fails the query
      {L"Select Name, Nothing from Win32_LogicalDisk", kWmiNotFound, 0},
      {L"Select Name, from Win32_LogicalDisk", kWmiInvalidQuery, 0},
      {L"Select , Name from Win32_LogicalDisk", kWmiInvalidQuery, 0},
      {L"Select Name Size from Win32_LogicalDisk", kWmiInvalidQuery, 0},
      {L"Select Name,, Size from Win32_LogicalDisk", kWmiInvalidQuery, 0},
      {L"Select Name from", kWmiInvalidQuery, 0},
      {L"Select Name from Win32_LogicalDisk,", kWmiInvalidQuery, 0},
      {L"Select Name from Win32_LogicalDisk where Name = 'C:'", kWmiInvalidQuery, 0},
      {L"Select from Win32_LogicalDisk", kWmiInvalidQuery, 0},
      {L"", kWmiInvalidQuery, 0},
  };
  for (const auto& c : cases) {
    CAPTURE(ToUtf8(c.query));
    std::unique_ptr<WmiEnumerator> rows;
    REQUIRE(ns->ExecQuery(L"WQL", c.query, rows) == c.result);
    if (c.result != kWmiOk) continue;
    std::unique_ptr<WmiObject> row;
    size_t count = 0;
    while (rows->Next(0, row) == kWmiOk) {
      WmiValue name;
      CHECK(row->Get(L"NAME", name) == kWmiOk);
      CHECK(name.text == std::wstring(1, static_cast<wchar_t>(L'C' + count)) + L":");
      if (c.rows == 2) {
        WmiValue size;
        CHECK(row->Get(L"size", size) == kWmiOk);
        CHECK(size.text == std::to_wstring(100 * (count + 1)));
      }
      CHECK(row->Get(L"VolumeName", name) == kWmiNotFound);
      ++count;
    }
    CHECK(count == c.rows);
  }
}

TEST_CASE("replay: passes advance, carry unlisted answers and repeat the last") {
  auto source = Parse("pass\nWin32_Processor.LoadPercentage = 96\nWin32_OperatingSystem.FreePhysicalMemory = \"100\"\n"
                      "pass\nWin32_Processor.LoadPercentage = 97\nWin32_OperatingSystem.NumberOfProcesses = 40\n"
                      "Win32_Service.State = \"Running\"\n"
                      "pass\nWin32_Processor.LoadPercentage = error 0x80041015\n"
                      "pass\nWin32_Processor.LoadPercentage = 50\n");
  REQUIRE(source->PassCount() == 4);
  std::vector<WmiValue> values{WmiValue::Int32(1)};

  // Before the first pass starts, and in it: pass 1; later answers unknown yet.
  CHECK(Load(*source) == 96);
  source->OnPassStart();
  CHECK(Load(*source) == 96);
  CHECK(source->Column(L"Win32_Service", L"State", values) == kWmiInvalidClass);
  CHECK(values.empty());
  CHECK(source->Column(L"Win32_OperatingSystem", L"NumberOfProcesses", values) == kWmiNotFound);

  source->OnPassStart();
  CHECK(Load(*source) == 97);
  CHECK(Values(*source, L"Win32_OperatingSystem", L"FreePhysicalMemory")[0].text == L"100");
  CHECK(Values(*source, L"Win32_Service", L"State").size() == 1);

  source->OnPassStart();
  CHECK(source->Column(L"Win32_Processor", L"LoadPercentage", values) == kWmiTransportFailure);
  CHECK(Values(*source, L"Win32_OperatingSystem", L"NumberOfProcesses")[0].number == 40);

  for (int i = 0; i < 3; ++i) source->OnPassStart();
  CHECK(Load(*source) == 50);
}

TEST_CASE("replay: a bad recording is refused with the file, the line and the reason") {
  using namespace std::string_view_literals;
  const struct { std::string_view text; const char* message; } cases[] = {
      {"pass\n\nWin32_Processor LoadPercentage = 5\n",
       "replay.txt:3: \"Win32_Processor LoadPercentage = 5\": expected Class.Property = values"},
      {"A.B = 1\npass\n", "replay.txt:1: \"A.B = 1\": answers before the first \"pass\" line"},
      {"# nothing\n", "replay.txt: no \"pass\" line; a recording needs at least one pass"},
      {"pass\nA.B = \"x\n", "replay.txt:2: \"A.B = \"x\": unterminated quote"},
      {"pass\nA.B = \"x\\\"\n", "unterminated quote"},
      {"pass\nA.B = \"\\n\"\n", "unknown escape \\n"},
      {"pass\nA.B = \"x\"y\n", "a blank must follow the closing quote"},
      {"pass\nA.B = 4294967296\n", "4294967296 does not fit in 32 bits"},
      {"pass\nA.B = -2147483649\n", "-2147483649 does not fit in 32 bits"},
      {"pass\nA.B = 99999999999999999999999\n", "does not fit in 32 bits"},
      {"pass\nA.B = 12x\n", "\"12x\" is not a number, a quoted text, null or other"},
      {"pass\nA.B = 0x10\n", "is not a number"},
      {"pass\nA.B = 1 error 0x80041015\n", "error stands alone"},
      {"pass\nA.B = error 80041015\n", "expected error 0x followed by one to eight hex digits"},
      {"pass\nA.B = error 0x0\n", "an error code is a failure code"},
      {"pass\nA.B = 1\na.b = 2\n", "replay.txt:3: \"a.b = 2\": a.b is already listed in this pass"},
      {"pass\nA.B.C = 1\n", "expected Class.Property"},
      {"pass\nA.B = \xC3\n", "replay.txt:2: not valid UTF-8 text"},
      {"pass\nA.B = \"\xED\xA0\x80\"\n", "replay.txt:2: not valid UTF-8 text"},
      {"pass\nA.B = \"x\0y\"\n"sv, "NUL character"},
  };
  for (const auto& c : cases) {
    std::string text(c.text);
    INFO(text);
    CHECK(ParseError(text).find(c.message) != std::string::npos);
  }

  // A long hostile line is quoted short, without control characters.
  std::string message = ParseError("pass\nA.B = \"\x1B[2J" + std::string(5000, 'x') + "\n");
  CHECK(message.size() < 200);
  CHECK(message.find('\x1B') == std::string::npos);
}

TEST_CASE("replay: loading from a file; missing, a folder, or over 16 MiB is refused") {
  TempDir dir;
  std::wstring error;
  WriteBytes(dir.Path() / "r.txt", "pass\nWin32_Processor.LoadPercentage = 12\n");
  auto source = LoadReplayFile(dir.File(L"r.txt"), error);
  REQUIRE(source);
  CHECK(Load(*source) == 12);
  WriteBytes(dir.Path() / "bad.txt", "pass\nx\n");
  CHECK(LoadReplayFile(dir.File(L"bad.txt"), error) == nullptr);
  CHECK(error == dir.File(L"bad.txt") + L":2: \"x\": expected Class.Property = values");

  CHECK(LoadReplayFile(dir.File(L"none.txt"), error) == nullptr);
  CHECK(error == dir.File(L"none.txt") + L": cannot be read");
  CHECK(LoadReplayFile(dir.Path().wstring(), error) == nullptr);
  CHECK(error.find(L"cannot be read") != std::wstring::npos);
  WriteBytes(dir.Path() / "big.txt", "pass\n");
  std::filesystem::resize_file(dir.Path() / "big.txt", WmiReplaySource::kMaxFileBytes + 1);
  CHECK(LoadReplayFile(dir.File(L"big.txt"), error) == nullptr);
  CHECK(error == dir.File(L"big.txt") + L": larger than 16 MiB");
}

TEST_CASE("replay: the engine's thread and another may share a recording") {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "pass\nWin32_Processor.LoadPercentage = " + std::to_string(i) + "\n";
  auto source = Parse(text);
  std::thread passes([&] {
    for (int i = 0; i < 100; ++i) source->OnPassStart();
  });
  int32_t last = 0;
  for (int i = 0; i < 200; ++i) {
    int32_t now = Load(*source);
    CHECK(now >= last);
    last = now;
  }
  passes.join();
  CHECK(Load(*source) == 49);
}
