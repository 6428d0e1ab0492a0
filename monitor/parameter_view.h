#pragma once
// How a parameter's value and state read in a list of parameters: the
// Resources page and the console monitor show them alike.
#include <cstdint>
#include <string>

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
