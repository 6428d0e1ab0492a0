#pragma once
// The main dialog's page for the watched computer, its account and the polling interval.
#include "res/resource.h"
#include "ui/property_page.h"

class ConnectionPage final : public PropertyPage {
 public:
  explicit ConnectionPage(const CThemeHelper& theme) : PropertyPage(IDD_CONNECTION, IDS_CONNECTION), theme_(theme) {}

 protected:
  void OnInitDialog() override;

 private:
  const CThemeHelper& theme_;
};
