// The Linux provider, asked through the session as the program asks it, and
// checked against this test's own reading of the same sources.
#include <arpa/inet.h>
#include <doctest/doctest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/utf16.h"
#include "monitor/wmi_query.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

struct Provider {
  std::unique_ptr<WmiSource> source = CreateSystemWmiSource();
  ConnectionSettings connection;
  WmiQuery query{connection, *source};

  std::vector<std::wstring> Texts(const wchar_t* className, const wchar_t* property) {
    std::vector<std::wstring> texts;
    REQUIRE(query.QueryStrings(className, property, texts) == kWmiOk);
    return texts;
  }
  std::vector<int64_t> Numbers(const wchar_t* className, const wchar_t* property) {
    std::vector<int64_t> numbers;
    REQUIRE(query.QueryValues(className, property, numbers) == kWmiOk);
    return numbers;
  }
  int64_t Single(const wchar_t* className, const wchar_t* property) {
    std::vector<int64_t> numbers = Numbers(className, property);
    REQUIRE(numbers.size() == 1);
    return numbers[0];
  }
};

int64_t MeminfoKb(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name;
  int64_t value;
  std::string unit;
  while (in >> name >> value >> unit) {
    if (name == key + ":") return value;
  }
  FAIL("no " << key << " in /proc/meminfo");
  return 0;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// A copy of sleep under a name longer than comm keeps, running until destroyed.
struct LongNamedProcess {
  TempDir dir;
  pid_t pid = -1;
  LongNamedProcess() {
    std::filesystem::path program = dir.Path() / "varnalis_long_named_sleeper";
    std::error_code error;
    std::filesystem::copy_file("/bin/sleep", program, error);
    if (error) return;
    std::string path = program.string();
    char* argv[] = {path.data(), const_cast<char*>("30"), nullptr};
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) pid = -1;
  }
  ~LongNamedProcess() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
};

}  // namespace

TEST_CASE("local provider: names, memory and counts agree with the system") {
  Provider p;

  SUBCASE("processes include this program and a name longer than 15 bytes") {
    LongNamedProcess sleeper;
    std::vector<std::wstring> names = p.Texts(L"Win32_Process", L"Name");
    CHECK(Contains(names, L"test_monitor"));
    if (sleeper.pid > 0) {
      CHECK(Contains(names, L"varnalis_long_named_sleeper"));
    } else {
      MESSAGE("could not start a long-named process; the parser test covers the rule");
    }
  }
  SUBCASE("disks include / with statvfs's size") {
    std::vector<std::wstring> names = p.Texts(L"Win32_LogicalDisk", L"Name");
    std::vector<int64_t> sizes = p.Numbers(L"Win32_LogicalDisk", L"Size");
    std::vector<int64_t> free = p.Numbers(L"Win32_LogicalDisk", L"FreeSpace");
    REQUIRE(sizes.size() == names.size());
    REQUIRE(free.size() == names.size());
    auto root = std::find(names.begin(), names.end(), L"/");
    REQUIRE(root != names.end());
    struct statvfs fs {};
    REQUIRE(statvfs("/", &fs) == 0);
    CHECK(sizes[root - names.begin()] == static_cast<int64_t>(fs.f_blocks * fs.f_frsize));
    CHECK(free[root - names.begin()] <= sizes[root - names.begin()]);
  }
  SUBCASE("network interfaces are /proc/net/dev's without loopback") {
    std::ifstream in("/proc/net/dev");
    std::vector<std::wstring> expected;
    for (std::string line; std::getline(in, line);) {
      size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string name;
      std::istringstream(line.substr(0, colon)) >> name;
      std::ifstream flags("/sys/class/net/" + name + "/flags");
      unsigned value = 0;
      flags >> std::hex >> value;
      if (name != "lo" && !(value & 0x8)) expected.push_back(std::wstring(name.begin(), name.end()));
    }
    CHECK(p.Texts(L"Win32_PerfRawData_Tcpip_NetworkInterface", L"Name") == expected);
    CHECK(p.Numbers(L"Win32_PerfRawData_Tcpip_NetworkInterface", L"BytesTotalPerSec").size() == expected.size());
  }
  SUBCASE("memory and threads are close to the test's own reading") {
    int64_t freeKb = p.Single(L"Win32_OperatingSystem", L"FreePhysicalMemory");
    CHECK(std::abs(freeKb - MeminfoKb("MemAvailable")) < std::max<int64_t>(freeKb / 4, 256 * 1024));
    int64_t committed = p.Single(L"Win32_PerfRawData_PerfOS_Memory", L"CommittedBytes");
    CHECK(std::abs(committed / 1024 - MeminfoKb("Committed_AS")) < std::max<int64_t>(committed / 4096, 256 * 1024));
    CHECK(p.Single(L"Win32_ComputerSystem", L"TotalPhysicalMemory") == MeminfoKb("MemTotal") * 1024);

    std::ifstream loadavg("/proc/loadavg");
    std::string a, b, c, threads;
    loadavg >> a >> b >> c >> threads;
    int64_t expected = std::stoll(threads.substr(threads.find('/') + 1));
    int64_t answered = p.Single(L"Win32_PerfRawData_PerfOS_Objects", L"Threads");
    CHECK(answered > 0);
    CHECK(std::abs(answered - expected) < std::max<int64_t>(expected / 2, 50));
  }
  SUBCASE("system texts") {
    char host[256] = {};
    REQUIRE(gethostname(host, sizeof host - 1) == 0);
    std::wstring wideHost;
    REQUIRE(FromUtf8(host, wideHost));
    CHECK(p.Texts(L"Win32_ComputerSystem", L"Name") == std::vector<std::wstring>{wideHost});
    CHECK(p.Texts(L"win32_operatingsystem", L"ORGANIZATION") == std::vector<std::wstring>{L""});
    CHECK_FALSE(p.Texts(L"Win32_OperatingSystem", L"Caption").at(0).empty());
    CHECK_FALSE(p.Texts(L"Win32_OperatingSystem", L"RegisteredUser").at(0).empty());
    CHECK(p.Texts(L"Win32_OperatingSystem", L"SerialNumber").size() == 1);
    std::vector<std::wstring> processors = p.Texts(L"Win32_Processor", L"Name");
    CHECK_FALSE(processors.empty());
    CHECK(std::none_of(processors.begin(), processors.end(), [](auto& name) { return name.empty(); }));
  }
}

TEST_CASE("local provider: processor load stays 0..100 and sees a busy thread") {
  Provider p;
  size_t packages = p.Texts(L"Win32_Processor", L"Name").size();
  std::vector<int64_t> idle = p.Numbers(L"Win32_Processor", L"LoadPercentage");  // the first reading samples itself
  CHECK(idle.size() == packages);

  std::atomic<bool> stop{false};
  std::thread spinner([&] {
    while (!stop.load(std::memory_order_relaxed)) {
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Both threads may ask at once.
  WmiCode secondCode = kWmiOk;
  std::vector<int64_t> secondLoads;
  std::thread second([&] {
    secondCode = WmiQuery(p.connection, *p.source).QueryValues(L"Win32_Processor", L"LoadPercentage", secondLoads);
  });
  std::vector<int64_t> busy = p.Numbers(L"Win32_Processor", L"LoadPercentage");
  second.join();
  stop = true;
  spinner.join();

  CHECK(secondCode == kWmiOk);
  CHECK(secondLoads.size() == packages);
  REQUIRE(busy.size() == packages);
  for (int64_t load : busy) {
    CHECK(load >= 0);
    CHECK(load <= 100);
  }
  int64_t sum = 0;
  for (int64_t load : busy) sum += load;
  CHECK(sum > 0);
}

TEST_CASE("local provider: web connections on a listening port") {
  Provider p;
  CHECK(p.Texts(L"Win32_PerfRawData_W3SVC_WebService", L"Name").at(0) == L"_Total");

  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  REQUIRE(listener >= 0);
  int reuse = 1;  // a connection of an earlier run may linger in TIME_WAIT
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(8080);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0) {
    close(listener);
    MESSAGE("127.0.0.1:8080 is taken; skipped");
    return;
  }
  auto connectionsOn8080 = [&] {
    std::vector<std::wstring> names = p.Texts(L"Win32_PerfRawData_W3SVC_WebService", L"Name");
    std::vector<int64_t> counts = p.Numbers(L"Win32_PerfRawData_W3SVC_WebService", L"CurrentConnections");
    REQUIRE(counts.size() == names.size());
    REQUIRE(names.at(0) == L"_Total");
    int64_t sum = 0;
    for (size_t i = 1; i < counts.size(); ++i) sum += counts[i];
    CHECK(counts[0] == sum);
    auto port = std::find(names.begin(), names.end(), L"Port 8080");
    REQUIRE(port != names.end());
    return counts[port - names.begin()];
  };
  int64_t before = connectionsOn8080();

  int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  REQUIRE(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  int accepted = accept(listener, nullptr, nullptr);
  REQUIRE(accepted >= 0);
  CHECK(connectionsOn8080() == before + 1);  // the server side only, not the client's
  close(client);                             // the client closes first, so TIME_WAIT stays off port 8080
  close(accepted);
  close(listener);
}

TEST_CASE("local provider: unknown names and remote computers") {
  Provider p;
  std::vector<std::wstring> texts;
  CHECK(p.query.QueryStrings(L"Win32_NoSuchClass", L"Name", texts) == kWmiInvalidClass);
  CHECK(p.query.QueryStrings(L"Win32_Process", L"NoSuchProperty", texts) == kWmiNotFound);

  p.connection.local = false;
  p.connection.user.Set(L"someone");
  p.connection.password.Set(L"secret");
  p.connection.server.Set(L"nosuchhost.invalid");
  CHECK(p.query.QueryStrings(L"Win32_ComputerSystem", L"Name", texts) == kWmiTransportFailure);

  char host[256] = {};
  REQUIRE(gethostname(host, sizeof host - 1) == 0);
  std::wstring upper;
  for (const char* c = host; *c; ++c) upper.push_back(static_cast<wchar_t>(toupper(static_cast<unsigned char>(*c))));
  p.connection.server.Set(upper);
  CHECK(p.query.QueryStrings(L"Win32_ComputerSystem", L"Name", texts) == kWmiOk);
  CHECK(texts.size() == 1);
}
