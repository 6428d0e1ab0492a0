#pragma once
// The main dialog's page for the parameters: their values, notification
// values and states, tinted by state, and the selected one's history graph.
#include <array>

#include "common/scoped_win.h"
#include "monitor/parameter_view.h"
#include "res/resource.h"
#include "ui/color_list.h"
#include "ui/history_graph.h"
#include "ui/list_columns.h"
#include "ui/property_page.h"

class EngineAccess;
struct Settings;

// The Resources page.
class HealthParamsPage final : public PropertyPage {
 public:
  HealthParamsPage(const CThemeHelper& theme, Settings& settings, EngineAccess& engine)
      : PropertyPage(IDD_RESOURCES, IDS_RESOURCES), theme_(theme), settings_(settings), engine_(engine) {}

  // A finished pass, on the user-interface thread.
  void UpdateParameters(const PassSnapshot& snapshot);

 protected:
  void OnInitDialog() override;
  void OnSetActive() override;
  void OnKillActive() override;
  void OnDestroy() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR& header, LRESULT& result) override;
  void OnDpiChanged(int oldDpi, int newDpi) override;

 private:
  void SetCell(int row, int32_t value, int column);
  void SetMark(int row, int mark);
  int SelectedRow() const;
  void RefreshEditor();
  void RefreshGraph(int row);
  void OnItemChanged(const NMLISTVIEW& change);
  void OnValueEdited();
  void OpenAdvancedSettings();
  std::array<ListColumn, 4> Columns() const;
  void StoreColumnWidths();
  void AttachImages();

  const CThemeHelper& theme_;
  Settings& settings_;
  EngineAccess& engine_;
  PassSnapshot shown_;
  ColorList list_;
  Graphic graph_;
  std::wstring valueText_;  // the edit's last valid text
  bool filling_ = false;    // the list is being rebuilt: its changes are not the user's
  ScopedImageList icons_;
  ScopedImageList checks_;
};
