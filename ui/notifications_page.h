#pragma once
// The main dialog's page for the three notification channels and their settings.
#include "res/resource.h"
#include "ui/property_page.h"

class NotificationsPage final : public PropertyPage {
 public:
  explicit NotificationsPage(const CThemeHelper& theme) : PropertyPage(IDD_NOTIFICATIONS, IDS_NOTIFICATIONS), theme_(theme) {}

 protected:
  void OnInitDialog() override;

 private:
  // Shows the controls of one channel (0 user interface, 1 e-mail, 2 run a program) and hides the others.
  void ShowGroup(int channel);

  const CThemeHelper& theme_;
};
