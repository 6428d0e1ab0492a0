#pragma once
// What a scrape of the metrics endpoint tells of one monitor pass: copied
// from the engine under its lock, then never changed, so that a scrape sees
// one pass whole.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "monitor/monitor.h"

class MonitorThread;

struct MetricsParameter {
  bool enabled = false;
  std::optional<int64_t> value;              // none: switched off or not available
  std::optional<int64_t> notificationValue;  // none for the process, bad when closed
  std::array<ParameterState, kChannelCount> states{};
  std::wstring instance;  // the watched adapter, disk, process or web site; may be empty
};

struct MetricsPass {
  std::wstring computer;  // "localhost" or the server's name
  bool monitoringOn = true;
  bool notificationsPaused = false;  // held by a pause or quiet hours
  uint64_t passes = 0;  // complete passes so far; 0 before the first
  int64_t passMicroseconds = 0;
  int64_t completedUnixMilliseconds = 0;
  std::array<MetricsParameter, kParameterCount> parameters;
};

// Call under the monitor's lock. values is the pass's outcome, or null
// before the first pass: every value is then unknown.
MetricsPass CaptureMetricsPass(const ParameterRecords& records, const Settings& settings, const PassValues* values);
