#include <doctest/doctest.h>

#include "support/engine_fixture.h"
#include "wmi/wmi_replay.h"

namespace {

std::vector<WmiValue> Texts(std::initializer_list<const wchar_t*> texts) {
  std::vector<WmiValue> values;
  for (const wchar_t* t : texts) values.push_back(WmiValue::Text(t));
  return values;
}

}  // namespace

TEST_CASE("single-value probes take the first instance") {
  EngineFixture f;
  f.wmi.Set(L"Win32_Processor", L"LoadPercentage", {WmiValue::Int32(10), WmiValue::Int32(90)});
  f.wmi.Set(L"Win32_OperatingSystem", L"FreePhysicalMemory", Texts({L"1048575"}));
  f.wmi.Set(L"Win32_PerfRawData_PerfOS_Objects", L"Threads", {});
  CHECK(f.monitor.MeasureCpuUsage() == 10);
  CHECK(f.monitor.MeasureFreePhysicalMemory() == 1023);
  CHECK(f.monitor.MeasureThreads() == kNotAvailable);    // no instance
  CHECK(f.monitor.MeasurePageFileUsage() == kNotAvailable);  // query fails
  CHECK(f.monitor.Records()[0].history == std::deque<int64_t>{10});
  CHECK(f.monitor.Records()[2].history == std::deque<int64_t>{-1});
}

TEST_CASE("process and web server probes match names exactly") {
  EngineFixture f;
  f.wmi.Set(L"Win32_Process", L"Name", Texts({L"System", L"w3wp.exe"}));
  f.settings.Parameters.processName.Set(L"W3WP.EXE");
  CHECK(f.monitor.MeasureProcess() == 0);
  f.settings.Parameters.processName.Set(L"w3wp.exe");
  CHECK(f.monitor.MeasureProcess() == 1);

  const wchar_t* web = L"Win32_PerfRawData_W3SVC_WebService";
  f.wmi.Set(web, L"CurrentConnections", {WmiValue::Int32(7), WmiValue::Int32(3), WmiValue::Int32(4)});
  f.wmi.Set(web, L"Name", Texts({L"_Total", L"Default Web Site"}));
  f.settings.Parameters.webServerName.Set(L"Default Web Site");
  CHECK(f.monitor.MeasureWebServerConnections() == 3);
  f.settings.Parameters.webServerName.Set(L"Intranet");  // unknown: the first instance
  CHECK(f.monitor.MeasureWebServerConnections() == 7);
  f.wmi.Set(web, L"Name", {});  // no names: no instance is whole
  CHECK(f.monitor.MeasureWebServerConnections() == kNotAvailable);
}

TEST_CASE("disk usage over all disks or one") {
  const std::vector<WmiValue> kSizes = {WmiValue::Text(L"107374182400"), WmiValue::Null(), WmiValue::Text(L"100")};
  const std::vector<WmiValue> kFree = {WmiValue::Text(L"26843545600"), WmiValue::Null(), WmiValue::Text(L"100")};
  const struct {
    const wchar_t* disk;
    std::vector<WmiValue> names, sizes, free;
    int64_t usage;
  } rows[] = {
      {L"C:", Texts({L"C:", L"D:", L"E:"}), kSizes, kFree, 75},
      {L"Z:", Texts({L"C:", L"D:", L"E:"}), kSizes, kFree, kNotAvailable},
      {L"D:", Texts({L"C:", L"D:", L"E:"}), kSizes, kFree, kNotAvailable},  // no size reported
      {L"", Texts({L"C:", L"D:", L"E:"}), kSizes, kFree, 74},
      {L"E:", Texts({L"C:"}), kSizes, kFree, kNotAvailable},  // names shorter than the sizes
      // Corrupt answers: free space above the size, or negative.
      {L"", Texts({L"C:"}), Texts({L"100"}), Texts({L"200"}), kNotAvailable},
      {L"", Texts({L"C:"}), Texts({L"100"}), Texts({L"-5"}), kNotAvailable},
      // Near the top of the range the percentage does not wrap.
      {L"", Texts({L"C:"}), Texts({L"9223372036854775807"}), Texts({L"4611686018427387903"}), 50},
      {L"", Texts({L"C:"}), Texts({L"9223372036854775807"}), Texts({L"0"}), 100},
  };
  for (const auto& row : rows) {
    EngineFixture f;
    INFO(ToUtf8(row.disk), " ", ToUtf8(row.free.at(0).text));
    f.wmi.Set(L"Win32_LogicalDisk", L"Name", row.names);
    f.wmi.Set(L"Win32_LogicalDisk", L"Size", row.sizes);
    f.wmi.Set(L"Win32_LogicalDisk", L"FreeSpace", row.free);
    f.settings.Parameters.diskName.Set(row.disk);
    CHECK(f.monitor.MeasureDiskUsage() == row.usage);
  }
}

TEST_CASE("network usage is a rate over two passes") {
  EngineFixture f;
  const wchar_t* net = L"Win32_PerfRawData_Tcpip_NetworkInterface";
  f.wmi.Set(net, L"Name", Texts({L"eth0", L"eth1"}));
  const struct { int seconds; const wchar_t* eth0; int64_t rate; } steps[] = {
      {0, L"1000", 0},     // no base yet
      {10, L"2000", 0},    // the counter starts now
      {10, L"206800", 20}, // 204800 bytes in 10 s
      {10, L"5000", 0},    // went back: 0, and the new base
      {1, L"15240", 10},
  };
  for (const auto& step : steps) {
    INFO(ToUtf8(step.eth0));
    f.seconds += step.seconds;
    f.wmi.Set(net, L"BytesTotalPerSec", Texts({step.eth0, L"0"}));
    CHECK(f.monitor.MeasureNetworkUsage() == step.rate);
  }
  f.settings.Parameters.networkAdapterName.Set(L"wlan0");
  CHECK(f.monitor.MeasureNetworkUsage() == kNotAvailable);
  f.settings.Parameters.networkAdapterName.Set(L"eth1");
  f.seconds += 1;
  f.wmi.Set(net, L"BytesTotalPerSec", Texts({L"15240", L"1024"}));  // 1024 is below the all-adapter base: 0
  CHECK(f.monitor.MeasureNetworkUsage() == 0);
}

TEST_CASE("a pass probes the watched parameters and evaluates; values are cut to 32 bits for the view") {
  EngineFixture f;
  f.wmi.Set(L"Win32_Processor", L"LoadPercentage", {WmiValue::Int32(97)});
  f.wmi.Set(L"Win32_OperatingSystem", L"FreePhysicalMemory", Texts({L"8796093022208"}));  // 2^33 MB in KB
  std::atomic<bool> on{true};
  PassValues values;
  REQUIRE(f.monitor.RunCycle(on, values));
  CHECK(values[0] == 97);
  CHECK(values[1] == 0);  // the low 32 bits of 2^33
  CHECK(f.monitor.Records()[1].LastValue() == 8589934592LL);
  CHECK(values[2] == 0xFFFFFFFF);
  CHECK(f.monitor.Records()[2].history.empty());
  CHECK(f.LogEntries().size() == 1);  // the warning
}

TEST_CASE("an alert for a missing value says why: the query's failure in words with its code, or the instance not found") {
  constexpr char kRecording[] =
      "pass\nWin32_Processor.LoadPercentage = error 0x800706BA\n"
      "Win32_PerfRawData_Tcpip_NetworkInterface.Name = \"eth0\"\n"
      "Win32_PerfRawData_Tcpip_NetworkInterface.BytesTotalPerSec = \"100\"\n"
      "Win32_LogicalDisk.Size = error 0x80041003\n"
      "pass\nWin32_Processor.LoadPercentage = 42\n";
  std::wstring error;
  auto recording = ParseReplayText(kRecording, L"down.replay", error);
  REQUIRE(recording);
  EngineFixture f(recording.get());
  f.settings.UiNotify.UIThreshold = 1;
  f.settings.UiNotify.UIMessageBox = true;
  f.settings.Parameters.enable[1] = false;
  f.settings.Parameters.enable[3] = f.settings.Parameters.enable[4] = true;
  f.settings.Parameters.networkAdapterName.Set(L"eth9");
  std::atomic<bool> on{true};
  PassValues values;
  REQUIRE(f.monitor.RunCycle(on, values));
  const struct {
    int id;
    const wchar_t* why;
  } rows[] = {
      {0, L"\nN/A: the computer could not be reached (0x800706BA)"},
      {3, L"\nN/A: network adapter \"eth9\" not found"},
      {4, L"\nN/A: access was denied (0x80041003)"},
  };
  auto entries = f.LogEntries();
  for (const auto& row : rows) {
    CAPTURE(row.id);
    CHECK(f.monitor.Records()[row.id].missing == std::wstring(row.why).substr(6));
    std::wstring flat = row.why;
    flat[0] = L' ';
    CHECK(CountEntries(entries, L"Error", flat) == 1);
  }
  // The connection that broke is made again for the next pass.
  REQUIRE(f.monitor.RunCycle(on, values));
  CHECK(f.monitor.Records()[0].LastValue() == 42);
  CHECK(f.monitor.Records()[0].missing.empty());
}
