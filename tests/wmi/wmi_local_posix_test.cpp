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
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/utf16.h"
#include "settings/settings.h"
#include "support/temp_dir.h"
#include "wmi/wmi_query.h"

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
  int64_t Single(const wchar_t* className, const wchar_t* property) { return Numbers(className, property).at(0); }
};

int64_t MeminfoKb(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  std::string name, unit;
  for (int64_t value; in >> name >> value >> unit;) {
    if (name == key + ":") return value;
  }
  FAIL("no " << key << " in /proc/meminfo");
  return 0;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  REQUIRE(FromUtf8(text, wide));
  return wide;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// A copy of sleep under a name longer than comm keeps, running until destroyed.
struct LongNamedProcess {
  TempDir dir;
  pid_t pid = -1;
  LongNamedProcess() {
    std::string path = (dir.Path() / "varnalis_long_named_sleeper").string();
    std::error_code error;
    std::filesystem::copy_file("/bin/sleep", path, error);
    char* argv[] = {path.data(), const_cast<char*>("30"), nullptr};
    if (error || posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) pid = -1;
  }
  ~LongNamedProcess() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
  }
};

}  // namespace

TEST_CASE("local provider: names, memory and counts agree with the system") {
  Provider p;

  SUBCASE("processes include this program and a name longer than 15 bytes") {
    LongNamedProcess sleeper;
    std::vector<std::wstring> names = p.Texts(L"Win32_Process", L"Name");
    CHECK(Contains(names, L"test_wmi"));
    if (sleeper.pid > 0) CHECK(Contains(names, L"varnalis_long_named_sleeper"));
  }
  SUBCASE("disks include / with statvfs's size") {
    std::vector<std::wstring> names = p.Texts(L"Win32_LogicalDisk", L"Name");
    std::vector<int64_t> sizes = p.Numbers(L"Win32_LogicalDisk", L"Size");
    std::vector<int64_t> free = p.Numbers(L"Win32_LogicalDisk", L"FreeSpace");
    REQUIRE(sizes.size() == names.size());
    REQUIRE(free.size() == names.size());
    size_t root = std::find(names.begin(), names.end(), L"/") - names.begin();
    REQUIRE(root < names.size());
    struct statvfs fs {};
    REQUIRE(statvfs("/", &fs) == 0);
    CHECK(sizes[root] == static_cast<int64_t>(fs.f_blocks * fs.f_frsize));
    CHECK(free[root] <= sizes[root]);
  }
  SUBCASE("network interfaces are /proc/net/dev's without loopback") {
    std::ifstream in("/proc/net/dev");
    std::vector<std::wstring> expected;
    for (std::string line; std::getline(in, line);) {
      if (line.find(':') == std::string::npos) continue;
      std::string name;
      std::istringstream(line.substr(0, line.find(':'))) >> name;
      unsigned flags = 0;
      std::ifstream("/sys/class/net/" + name + "/flags") >> std::hex >> flags;
      if (name != "lo" && !(flags & 0x8)) expected.push_back(std::wstring(name.begin(), name.end()));
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

    std::string load, threads;
    std::ifstream("/proc/loadavg") >> load >> load >> load >> threads;
    int64_t expected = std::stoll(threads.substr(threads.find('/') + 1));
    int64_t answered = p.Single(L"Win32_PerfRawData_PerfOS_Objects", L"Threads");
    CHECK(answered > 0);
    CHECK(std::abs(answered - expected) < std::max<int64_t>(expected / 2, 50));
  }
  SUBCASE("system texts") {
    char host[256] = {};
    REQUIRE(gethostname(host, sizeof host - 1) == 0);
    CHECK(p.Texts(L"Win32_ComputerSystem", L"Name") == std::vector<std::wstring>{Wide(host)});
    CHECK(p.Texts(L"win32_operatingsystem", L"ORGANIZATION") == std::vector<std::wstring>{L""});
    CHECK_FALSE(p.Texts(L"Win32_OperatingSystem", L"Caption").at(0).empty());
    CHECK_FALSE(p.Texts(L"Win32_OperatingSystem", L"RegisteredUser").at(0).empty());
    CHECK(p.Texts(L"Win32_OperatingSystem", L"SerialNumber").size() == 1);
    std::vector<std::wstring> processors = p.Texts(L"Win32_Processor", L"Name");
    CHECK_FALSE(processors.empty());
    CHECK_FALSE(Contains(processors, L""));
  }
}

TEST_CASE("local provider: processor load stays 0..100, sees a busy thread, and may be asked from two threads") {
  Provider p;
  size_t packages = p.Texts(L"Win32_Processor", L"Name").size();
  CHECK(p.Numbers(L"Win32_Processor", L"LoadPercentage").size() == packages);  // the first reading samples itself

  std::atomic<bool> stop{false};
  std::thread spinner([&] {
    while (!stop.load(std::memory_order_relaxed)) {
    }
  });
  // The reading after the first must see a busy processor: wait until a fifth of a second of it went by.
  const std::clock_t busySince = std::clock();
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::clock() - busySince < CLOCKS_PER_SEC / 5 && std::chrono::steady_clock::now() < bound) {
    std::this_thread::yield();
  }
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
  CHECK(std::all_of(busy.begin(), busy.end(), [](int64_t load) { return load >= 0 && load <= 100; }));
  CHECK(std::any_of(busy.begin(), busy.end(), [](int64_t load) { return load > 0; }));
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
    size_t port = std::find(names.begin(), names.end(), L"Port 8080") - names.begin();
    REQUIRE(port < names.size());
    return counts[port];
  };
  p.source->OnPassStart();
  int64_t before = connectionsOn8080();
  int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  REQUIRE(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
  int accepted = accept(listener, nullptr, nullptr);
  REQUIRE(accepted >= 0);
  CHECK(connectionsOn8080() == before);  // a pass reads the tables once
  p.source->OnPassEnd();
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
  std::string upper(host);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  p.connection.server.Set(Wide(upper));  // this computer by name, credentials refused: asked locally
  CHECK(p.query.QueryStrings(L"Win32_ComputerSystem", L"Name", texts) == kWmiOk);
  CHECK(texts.size() == 1);
}
