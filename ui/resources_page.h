#pragma once
// The main dialog's page for the parameters with their values, states and history graph.
#include "res/resource.h"
#include "ui/history_graph.h"
#include "ui/property_page.h"

class HealthParamsPage final : public PropertyPage {
 public:
  explicit HealthParamsPage(const CThemeHelper& theme) : PropertyPage(IDD_RESOURCES, IDS_RESOURCES), theme_(theme) {}

 protected:
  void OnInitDialog() override;

 private:
  const CThemeHelper& theme_;
  Graphic graph_;
};
