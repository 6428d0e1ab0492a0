// Cost of a monitoring pass with the Linux provider and with a recording, and
// whether memory stays flat over many passes. Prints figures; no pass/fail.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "log/event_log.h"
#include "monitor/monitor.h"
#include "monitor/wmi_replay.h"
#include "notify/mail_sender.h"
#include "notify/notify_host.h"
#include "notify/program_launcher.h"
#include "settings/settings.h"

namespace {

class QuietHost final : public NotifyHost {
 public:
  void SetTrayIcon(int) override {}
  void ShowTrayBalloon(const std::wstring&, const std::wstring&, int, int) override {}
  int CurrentIconId() const override { return 0; }
  void OpenMainWindow() override {}
  void ShowNotificationBox(const std::wstring&, const std::wstring&, int) override {}
  void PlayInformationSound() override {}
};
class NoMail final : public MailSender {
 public:
  uint32_t Send(const std::wstring&, const std::wstring&) override { return 1; }
};
class NoLauncher final : public ProgramLauncher {
 public:
  uint32_t Open(const CustomNotifySettings&) override { return 0; }
};

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

struct Bench {
  explicit Bench(WmiSource& source) : monitor(settings, log, source, host, mail, launcher) {
    settings.Log.Filename.Set(L"/tmp/varnalis-bench-monitor.log");
    settings.Parameters.processName.Set(L"bench_monitor");
    for (auto& enable : settings.Parameters.enable) enable = true;
    monitor.SetProbePause(std::chrono::microseconds(0));  // the eight 1 ms pauses left out
  }
  // Mean wall and CPU milliseconds per pass.
  void Measure(const char* name, int passes) {
    std::atomic<bool> on{true};
    PassValues values;
    monitor.RunCycle(on, values);  // first reading of the processor load samples on its own
    auto start = std::chrono::steady_clock::now();
    double cpu = CpuSeconds();
    for (int i = 0; i < passes; ++i) monitor.RunCycle(on, values);
    double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-28s %8.3f ms wall  %8.3f ms CPU per pass (%d passes)\n", name, wall / passes,
                (CpuSeconds() - cpu) * 1000 / passes, passes);
  }

  Settings settings;
  EventLog log{settings.Log};
  QuietHost host;
  NoMail mail;
  NoLauncher launcher;
  Monitor monitor;
};

constexpr char kRecording[] =
    "pass\n"
    "Win32_Processor.LoadPercentage = 42\n"
    "Win32_OperatingSystem.FreePhysicalMemory = \"6291456\"\n"
    "Win32_PerfRawData_PerfOS_Memory.CommittedBytes = \"5368709120\"\n"
    "Win32_PerfRawData_PerfOS_Objects.Threads = 1450\n"
    "Win32_PerfRawData_Tcpip_NetworkInterface.Name = \"eth0\" \"eth1\"\n"
    "Win32_PerfRawData_Tcpip_NetworkInterface.BytesTotalPerSec = \"1000000\" \"2000000\"\n"
    "Win32_LogicalDisk.Name = \"C:\" \"D:\"\n"
    "Win32_LogicalDisk.Size = \"107374182400\" \"536870912000\"\n"
    "Win32_LogicalDisk.FreeSpace = \"32212254720\" \"268435456000\"\n"
    "Win32_Process.Name = \"System\" \"svchost.exe\" \"w3wp.exe\"\n"
    "Win32_PerfRawData_W3SVC_WebService.Name = \"_Total\" \"Default Web Site\"\n"
    "Win32_PerfRawData_W3SVC_WebService.CurrentConnections = 35 35\n"
    "pass\n"
    "Win32_Processor.LoadPercentage = 97\n";

}  // namespace

int main() {
  std::unique_ptr<WmiSource> system = CreateSystemWmiSource();
  if (system) {
    Bench bench(*system);
    bench.Measure("Linux provider, 8 probes", 200);
  }

  std::wstring error;
  std::unique_ptr<WmiReplaySource> replay = ParseReplayText(kRecording, L"bench", error);
  if (!replay) {
    std::fprintf(stderr, "recording refused\n");
    return 1;
  }
  Bench bench(*replay);
  bench.Measure("Recording, 8 probes", 2000);

  // Error states from pass 2 on; the histories fill up and then roll.
  long before = ResidentKb();
  bench.Measure("Recording, 10,000 passes", 10000);
  long after = ResidentKb();
  std::printf("Resident memory over 10,000 passes: %ld KB before, %ld KB after (%+ld KB)\n", before, after,
              after - before);
  return 0;
}
