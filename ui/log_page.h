#pragma once
// The main dialog's page for the event log, newest entry first.
#include "res/resource.h"
#include "ui/property_page.h"

class LogPage final : public PropertyPage {
 public:
  explicit LogPage(const CThemeHelper& theme) : PropertyPage(IDD_LOG, IDS_LOG), theme_(theme) {}

 protected:
  void OnInitDialog() override;

 private:
  const CThemeHelper& theme_;
};
