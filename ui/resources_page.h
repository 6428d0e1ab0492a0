#pragma once
// The main dialog's page for the parameters: their values, notification
// values and states, tinted by state, and the selected one's history graph.
#include <functional>

#include "common/scoped_win.h"
#include "monitor/parameter_view.h"
#include "res/resource.h"
#include "ui/color_list.h"
#include "ui/history_graph.h"
#include "ui/property_page.h"

struct Settings;

class HealthParamsPage final : public PropertyPage {
 public:
  // latest gives what the last pass left, copied for this thread.
  HealthParamsPage(const CThemeHelper& theme, Settings& settings, std::function<PassSnapshot()> latest)
      : PropertyPage(IDD_RESOURCES, IDS_RESOURCES), theme_(theme), settings_(settings), latest_(std::move(latest)) {}
  ~HealthParamsPage() override;

  // A finished pass, on the user-interface thread.
  void UpdateParameters(const PassSnapshot& snapshot);

 protected:
  void OnInitDialog() override;
  void OnSetActive() override;
  bool OnNotify(NMHDR& header, LRESULT& result) override;

 private:
  void SetCell(int row, int32_t value, int column);
  int SelectedRow() const;
  void RefreshEditor();
  void RefreshGraph(int row);

  const CThemeHelper& theme_;
  Settings& settings_;
  std::function<PassSnapshot()> latest_;
  PassSnapshot shown_;
  ColorList list_;
  Graphic graph_;
  HIMAGELIST icons_ = nullptr;
  HIMAGELIST checks_ = nullptr;
};
