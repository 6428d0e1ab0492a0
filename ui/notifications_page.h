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
  const CThemeHelper& theme_;
};
