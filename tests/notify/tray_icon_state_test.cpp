#include "notify/tray_icon_state.h"

#include <doctest/doctest.h>

#include <vector>

#include "notify/notify_host.h"

TEST_CASE("the tray icon follows alerts, recoveries, stops and starts, and hides only while all is OK") {
  using E = TrayIconEvent;
  struct Step {
    E event;
    bool hidden;
    int shown;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } rows[] = {
      {"alert while hidden", {{E::Refresh, true, kIconNone}, {E::Alert, true, kIconAlert}}},
      {"hidden again after the recovery", {{E::Alert, true, kIconAlert}, {E::AllRecovered, true, kIconNone}}},
      {"unhide and hide during an alert",
       {{E::Alert, true, kIconAlert}, {E::Refresh, false, kIconAlert}, {E::Refresh, true, kIconAlert},
        {E::AllRecovered, false, kIconNormal}}},
      {"stop during an alert, start again",
       {{E::Alert, false, kIconAlert}, {E::Stop, false, kIconStopped}, {E::Refresh, true, kIconNone},
        {E::Start, false, kIconAlert}}},
      {"a pass that ends after the stop", {{E::Stop, false, kIconStopped}, {E::Alert, false, kIconStopped}}},
      {"start again while OK", {{E::Stop, true, kIconNone}, {E::Start, true, kIconNone}, {E::Refresh, false, kIconNormal}}},
      {"two alerts, one recovery for both",
       {{E::Alert, false, kIconAlert}, {E::Alert, false, kIconAlert}, {E::AllRecovered, false, kIconNormal}}},
  };
  for (const auto& row : rows) {
    CAPTURE(row.name);
    TrayIconState state;
    for (const Step& step : row.steps) CHECK(state.After(step.event, step.hidden) == step.shown);
  }
}
