#pragma once
// One parameter's states and value history. Not locked itself: the Monitor's
// lock guards every record.
#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "parameters/parameters.h"

struct Settings;

class ParameterRecord {
 public:
  static constexpr size_t kHistoryLimit = 1000;

  explicit ParameterRecord(int id) : id(id) {}

  void AddValue(int64_t value);
  // The newest value, or -1 with an empty history.
  int64_t LastValue() const;
  void ClearHistory() { history.clear(); }

  // Whether one value is beyond the parameter's notification value.
  bool IsBadValue(int64_t value, const Settings& settings) const;
  // How many of the newest values in a row are bad.
  unsigned CountBadTail(const Settings& settings) const;
  void UpdateStates(const Settings& settings);

  ParameterState State(NotifyChannel channel) const { return states[static_cast<int>(channel)]; }

  int id;
  std::array<ParameterState, kChannelCount> states{};
  std::deque<int64_t> history;  // oldest first
  std::wstring missing;         // why the newest value is N/A, in words; empty when it is not
};
