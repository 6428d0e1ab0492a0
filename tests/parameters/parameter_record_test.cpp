#include "parameters/parameter_record.h"

#include <doctest/doctest.h>

#include "settings/settings.h"

TEST_CASE("values are judged against the notification value; the history keeps the newest thousand") {
  Settings settings;
  const struct { int id; int64_t value; bool bad; } cases[] = {
      {0, 95, true}, {0, 94, false}, {0, -1, true},     // the boundary itself is bad; N/A always is
      {1, 100, true}, {1, 101, false},                  // free memory: low is bad
      {6, 1, false}, {6, 0, true}, {6, -1, true},       // process: absent is bad
  };
  for (const auto& c : cases) {
    INFO(c.id << " " << c.value);
    CHECK(ParameterRecord(c.id).IsBadValue(c.value, settings) == c.bad);
  }
  settings.Parameters.notificationValue[5].Set(L"");
  CHECK(ParameterRecord(5).IsBadValue(0, settings));  // empty reads as 0: everything is beyond it

  ParameterRecord record(0);
  CHECK(record.LastValue() == -1);
  for (int64_t v = 1; v <= 1001; ++v) record.AddValue(v);
  CHECK(record.history.size() == 1000);
  CHECK(record.history.front() == 2);
  CHECK(record.LastValue() == 1001);

  settings.CustomNotify.CustomThreshold = 0;  // error at once, even with no history
  record.ClearHistory();
  record.UpdateStates(settings);
  CHECK(record.State(NotifyChannel::Custom) == ParameterState::Error);
}
