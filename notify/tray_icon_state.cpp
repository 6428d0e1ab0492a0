#include "notify/tray_icon_state.h"

#include "notify/notify_host.h"

int TrayIconState::After(TrayIconEvent event, bool hideWhileOk) {
  std::lock_guard<std::mutex> hold(mutex_);
  switch (event) {
    case TrayIconEvent::Refresh:
      break;
    case TrayIconEvent::Start:
      stopped_ = false;
      break;
    case TrayIconEvent::Stop:
      stopped_ = true;
      break;
    case TrayIconEvent::Alert:
      alert_ = true;
      break;
    case TrayIconEvent::AllRecovered:
      alert_ = false;
      break;
    case TrayIconEvent::Held:
      held_ = true;
      break;
    case TrayIconEvent::Released:
      held_ = false;
      break;
  }
  if (stopped_) return hideWhileOk ? kIconNone : kIconStopped;
  if (alert_) return kIconAlert;
  if (held_) return kIconPaused;
  return hideWhileOk ? kIconNone : kIconNormal;
}
