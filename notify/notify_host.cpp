#include "notify/notify_host.h"

#include "settings/settings.h"

void ShowNormalTrayIcon(NotifyHost& host, const MainSettings& main) {
  host.SetTrayIcon(main.HideIcon ? kIconNone : kIconNormal);
}
