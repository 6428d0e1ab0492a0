// Event log figures: write rate, last-line load on a small and a 100 MB file,
// and the full load of a 100 MB file with its peak memory.
// Run: cmake --preset native-release && cmake --build --preset native-release --target bench_log
//      build/native-release/bench/bench_log [folder]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/file.h"
#include "common/utf16.h"
#include "log/event_log.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct CountingView final : LogView {
  size_t rows = 0;
  void AddLogLine(const std::wstring&) override { ++rows; }
  void ClearList() override { rows = 0; }
};

// Fills a log file of about `bytes` with realistic lines, a megabyte at a time.
void MakeLog(const std::wstring& path, int64_t bytes) {
  std::filesystem::remove(std::filesystem::path(path));
  File file(path, File::Mode::ReadWriteCreate);
  std::string chunk;
  for (int n = 0; chunk.size() < (1 << 20); ++n) {
    chunk += EncodeUtf16Le(L"Warning\t03:04:05 PM  05 Dec 2026\tCPU Usage on Localhost Warning. 97 % current value. #" +
                           std::to_wstring(n) + L"\r\n");
  }
  size_t cut = chunk.rfind(std::string("\n\0", 2)) + 2;
  chunk.resize(cut);
  for (int64_t at = 0; at < bytes; at += static_cast<int64_t>(chunk.size())) file.WriteAt(at, chunk.data(), chunk.size());
}

double LastOnlySeconds(EventLog& log, int repeats) {
  auto start = Clock::now();
  for (int i = 0; i < repeats; ++i) log.LoadFromFile(true);
  return SecondsSince(start) / repeats;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
  std::wstring path = (folder / "varnalis-bench-log.txt").wstring();
  Settings settings;
  settings.Log.Filename.Set(path);
  EventLog log(settings.Log);
  CountingView view;

  std::filesystem::remove(std::filesystem::path(path));
  const int entries = 20000;
  auto start = Clock::now();
  for (int i = 0; i < entries; ++i) log.WriteLog(LogLevel::Warning, L"CPU Usage on Localhost Warning. 97 % current value.");
  double seconds = SecondsSince(start);
  std::printf("WriteLog, default settings: %.0f entries/s (%d entries in %.3f s)\n", entries / seconds, entries, seconds);

  log.SetView(&view);
  MakeLog(path, 1024);
  double small = LastOnlySeconds(log, 2000);
  MakeLog(path, 100 << 20);
  double large = LastOnlySeconds(log, 2000);
  std::printf("LoadFromFile last-only: 1 KB log %.1f us, 100 MB log %.1f us, ratio %.2f\n", small * 1e6, large * 1e6,
              large / small);

  long before = PeakKilobytes();
  start = Clock::now();
  view.rows = 0;
  log.LoadFromFile(false);
  seconds = SecondsSince(start);
  long after = PeakKilobytes();
  std::printf("LoadFromFile full, 100 MB log: %.1f ms, %zu rows, peak memory %ld KB before, %ld KB after (+%ld KB)\n",
              seconds * 1e3, view.rows, before, after, after - before);
  std::filesystem::remove(std::filesystem::path(path));
  return 0;
}
