#include "notify/tray_icon_state.h"

#include <doctest/doctest.h>

#include <vector>

#include "notify/notify_host.h"

TEST_CASE("the tray icon follows alerts, recoveries, stops, starts and holds, and hides only while all is OK") {
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
      {"a hold shows even while hidden, and ends", {{E::Held, true, kIconPaused}, {E::Released, true, kIconNone}}},
      {"an alert during a hold wins, its recovery shows the hold again",
       {{E::Held, false, kIconPaused}, {E::Alert, false, kIconAlert}, {E::AllRecovered, false, kIconPaused},
        {E::Released, false, kIconNormal}}},
      {"the hold ends during an alert", {{E::Held, false, kIconPaused}, {E::Alert, false, kIconAlert},
                                         {E::Released, false, kIconAlert}, {E::AllRecovered, false, kIconNormal}}},
      {"a stop wins over a hold; a start shows it again",
       {{E::Held, false, kIconPaused}, {E::Stop, false, kIconStopped}, {E::Start, false, kIconPaused}}},
  };
  for (const auto& row : rows) {
    CAPTURE(row.name);
    TrayIconState state;
    for (const Step& step : row.steps) CHECK(state.After(step.event, step.hidden) == step.shown);
  }
}
