#pragma once
// How a parameter's value and state read in a list of parameters: the
// Resources page and the console monitor show them alike.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/monitor.h"

class ParameterRecord;
struct Settings;

// Row marks that tint a row.
inline constexpr int kRowNormal = 0;
inline constexpr int kRowOff = 1;
inline constexpr int kRowError = 2;
inline constexpr int kRowWarning = 3;

// "37 %", "N/A"; for the process "Process running" or "Process closed".
std::wstring ValueText(int id, int32_t value);

struct StateView {
  std::wstring text;  // "OK", "Warning (3)", "Error", or empty
  int mark = kRowNormal;
};
// Call under the monitor's lock.
StateView ParameterStateView(const ParameterRecord& record, const Settings& settings);

// What a list shows of one parameter, copied under the monitor's lock so a
// window can show it without ever taking the lock.
struct ParameterSnapshot {
  int32_t value = -1;           // the value to show, -1 for none
  StateView state;
  std::vector<int32_t> recent;  // the newest values, oldest first, at most kRecentValues
};
inline constexpr size_t kRecentValues = 36;
using PassSnapshot = std::array<ParameterSnapshot, kParameterCount>;

// Call under the monitor's lock. With values, each parameter shows the pass's
// value; without, a watched parameter its newest value and the others none.
PassSnapshot SnapshotParameters(const ParameterRecords& records, const Settings& settings,
                                const PassValues* values);
