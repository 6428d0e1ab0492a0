#include <doctest/doctest.h>

#include "wmi/linux_proc.h"

TEST_CASE("/proc/stat: processor lines, and lines that cannot be read whole are skipped") {
  auto cpus = ParseProcStat(
      "cpu  10 1 5 100 4 1 1 2 7 0\n"
      "cpu0 4 0 2 50 1 0 0 1\n"
      "cpu1 6 1 3\n"                       // truncated
      "cpu2 1 2 3 x 5\n"                   // garbage
      "cpu3 18446744073709551615 1 0 0\n"  // sum overflows
      "cpu99999999999 1 1 1 1\n"
      "intr 1 2 3\n"
      "cpu4 1 2 3 4");  // no line end
  REQUIRE(cpus.size() == 3);
  CHECK(cpus[0].cpu == -1);
  CHECK(cpus[0].busy == 10 + 1 + 5 + 1 + 1 + 2);  // guest time is already in user
  CHECK(cpus[0].idle == 104);
  CHECK(cpus[1].cpu == 0);
  CHECK(cpus[2].cpu == 4);
  CHECK(cpus[2].idle == 4);
  CHECK(ParseProcStat("").empty());
}

TEST_CASE("busy share between two readings") {
  uint64_t busy = 0, idle = 0;
  AddCpuDelta({0, 100, 100}, {0, 130, 170}, busy, idle);
  CHECK(BusyPercent(busy, idle) == 30);
  AddCpuDelta({1, 100, 100}, {1, 50, 90}, busy, idle);  // went backwards: no time
  CHECK((busy == 30 && idle == 70));
  CHECK(BusyPercent(0, 0) == 0);
  CHECK(BusyPercent(UINT64_MAX, 0) == 100);
}

TEST_CASE("meminfo and loadavg: whole names, kB only, no overflow") {
  const char* meminfo = "MemTotal:       24683772 kB\nMemFree: 12 kB\nHugePages_Total:   7\nBad: 12 MB\n"
                        "Huge: 99999999999999999999 kB\nShort:";
  const struct { const char* key; bool found; uint64_t value; } keys[] = {
      {"MemTotal", true, 24683772}, {"HugePages_Total", true, 7}, {"Mem", false, 0},         {"Bad", false, 0},
      {"Huge", false, 0},           {"Short", false, 0},          {"MemAvailable", false, 0},
  };
  for (const auto& k : keys) {
    INFO(k.key);
    uint64_t value = 0;
    CHECK(FindMeminfoKb(meminfo, k.key, value) == k.found);
    if (k.found) CHECK(value == k.value);
  }
  uint64_t value = 0;
  CHECK(ParseLoadavgThreads("1.05 0.82 0.34 1/117 6316\n", value));
  CHECK(value == 117);
  for (const char* bad : {"1.05 0.82 0.34 1/", "1.05 0.82 0.34 117", "1.05"}) CHECK_FALSE(ParseLoadavgThreads(bad, value));
}

TEST_CASE("/proc/net/dev: receive and transmit bytes; odd names and short lines skipped") {
  auto devices = ParseNetDev(
      "Inter-|   Receive                                                |  Transmit\n"
      " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets\n"
      "    lo:    3267      29    0    0    0     0          0         0     3268      29    0    0    0     0       0 "
      "0\n"
      "eth0:424430831 7465 0 0 0 0 0 0 276094 3860 0 0 0 0 0 0\n"
      "  ../x: 1 1 1 1 1 1 1 1 1 1\n"
      "  ethshort: 1 2 3\n"
      "  : 1 1 1 1 1 1 1 1 1 1\n"
      "  big: 1 1 1 1 1 1 1 1 999999999999999999999 1\n");
  REQUIRE(devices.size() == 2);
  CHECK(devices[0].name == "lo");
  CHECK(devices[0].transmitBytes == 3268);
  CHECK(devices[1].name == "eth0");
  CHECK(devices[1].receiveBytes == 424430831);
  CHECK(devices[1].transmitBytes == 276094);
}

TEST_CASE("/proc/net/tcp and tcp6 rows") {
  auto sockets = ParseProcNetTcp(
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1\n"
      "   1: 00000000000000000000000001000000:0050 00000000000000000000000000000000:0000 01 0\n"
      "   2: 0100007F:1F90\n"                    // truncated
      "   3: 0100007F:FFFFF 00000000:0000 01\n"  // port too big
      "   4: 01007F:0050 00000000:0000 01\n"     // address of no known length
      "   5: 0100007Z:0050 00000000:0000 01\n"   // not hex
      "   x: 0100007F:0050 00000000:0000 01\n");
  REQUIRE(sockets.size() == 2);
  CHECK(sockets[0].localPort == 8080);
  CHECK(sockets[0].state == kTcpListen);
  CHECK(sockets[1].localPort == 80);
  CHECK(sockets[1].state == kTcpEstablished);
}

TEST_CASE("mounts: escapes decoded, disks chosen by source, each mount point once") {
  CHECK(UnescapeMountField("/mnt/my\\040disk\\011x\\134") == "/mnt/my disk\tx\\");
  CHECK(UnescapeMountField("a\\04") == "a\\04");      // cut short
  CHECK(UnescapeMountField("a\\000b") == "a\\000b");  // no NUL inside a path
  CHECK(UnescapeMountField("a\\477") == "a\\477");    // not a byte

  auto mounts = ParseMounts(
      "overlay / overlay rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/vda1 /home ext4 rw 0 0\n"
      "/dev/vdb /mnt/my\\040disk xfs rw 0 0\n"
      "/dev/vda1 /home ext4 rw 0 0\n"
      "/dev/vdc relative ext4 rw 0 0\n"
      "/dev/vdd\n"
      "tmpfs /tmp tmpfs rw 0 0");
  REQUIRE(mounts.size() == 6);
  CHECK(mounts[3].mountPoint == "/mnt/my disk");
  CHECK(SelectDiskMounts(mounts) == std::vector<std::string>{"/", "/home", "/mnt/my disk"});
  // A table that does not list "/" still has it, first.
  CHECK(SelectDiskMounts(ParseMounts("/dev/sda2 /data ext4 rw 0 0\n")) == std::vector<std::string>{"/", "/data"});
}

TEST_CASE("cpuinfo model names by processor") {
  CpuInfo x86 = ParseCpuInfo(
      "processor\t: 0\nvendor_id\t: X\nmodel name\t: Fast CPU @ 3.00GHz\n\n"
      "processor\t: 1\nmodel name\t: Other CPU\n\nprocessor\t: junk\nmodel name\t: Lost\n");
  CHECK(x86.modelNames == std::map<int, std::string>{{0, "Fast CPU @ 3.00GHz"}, {1, "Other CPU"}});
  CHECK(x86.anyModelName == "Fast CPU @ 3.00GHz");

  CpuInfo arm = ParseCpuInfo("Processor\t: ARMv7 Processor rev 4 (v7l)\nprocessor\t: 0\nBogoMIPS\t: 38.40\n");
  CHECK(arm.modelNames.empty());
  CHECK(arm.anyModelName == "ARMv7 Processor rev 4 (v7l)");
  CHECK(ParseCpuInfo("model name\nprocessor :\n:\n").anyModelName.empty());
}

TEST_CASE("os-release values") {
  const char* text = "# comment\nNAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian \\\"12\\\" (bookworm)\"\nID=debian\n"
                     "SINGLE='it''\nBROKEN=\"open\nEMPTY=\n";
  const struct { const char* key; bool found; const char* value; } keys[] = {
      {"PRETTY_NAME", true, "Debian \"12\" (bookworm)"}, {"ID", true, "debian"}, {"EMPTY", true, ""},
      {"BROKEN", false, ""}, {"SINGLE", false, ""}, {"VERSION", false, ""},
  };
  for (const auto& k : keys) {
    INFO(k.key);
    std::string value;
    CHECK(FindOsReleaseValue(text, k.key, value) == k.found);
    if (k.found) CHECK(value == k.value);
  }
  std::string value;
  CHECK(FindOsReleaseValue("PRETTY_NAME=old\nPRETTY_NAME='new one'", "PRETTY_NAME", value));
  CHECK(value == "new one");
}

TEST_CASE("process names: executable, then argv[0] where comm agrees, then comm") {
  // Longer than the 15 bytes comm keeps.
  CHECK(ProcessName("/usr/lib/systemd/systemd-journald", "", "") == "systemd-journald");
  CHECK(ProcessName("/opt/app/long-running-server (deleted)", "", "long-running-se\n") == "long-running-server");
  std::string_view cmdline("/usr/lib/systemd/systemd-journald\0--flag\0", 41);
  CHECK(ProcessName("", cmdline, "systemd-journal\n") == "systemd-journald");
  // A rewritten or login-shell argv[0] is not the program's name.
  CHECK(ProcessName("", "sshd: root@pts/0", "sshd\n") == "sshd");
  CHECK(ProcessName("", std::string_view("-bash\0", 6), "bash\n") == "bash");
  CHECK(ProcessName("", std::string_view("bash-extra\0", 11), "bash\n") == "bash");
  // Kernel threads have neither.
  CHECK(ProcessName("", "", "kworker/0:1\n") == "kworker/0:1");
  CHECK(ProcessName("/", "", "init") == "init");
}
