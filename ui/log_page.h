#pragma once
// The main dialog's page for the event log, newest entry first, with the
// whole message of the clicked row below the list.
#include <array>
#include <string>

#include "common/scoped_win.h"
#include "log/event_log.h"
#include "res/resource.h"
#include "ui/list_columns.h"
#include "ui/property_page.h"

class EngineAccess;
struct Settings;

// The Log page.
class LogPage final : public PropertyPage, private LogView {
 public:
  LogPage(const CThemeHelper& theme, Settings& settings, EngineAccess& engine)
      : PropertyPage(IDD_LOG, IDS_LOG), theme_(theme), settings_(settings), engine_(engine) {}

 protected:
  void OnInitDialog() override;
  void OnSetActive() override;
  void OnKillActive() override;
  void OnDestroy() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR& header, LRESULT& result) override;
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnDpiChanged(int oldDpi, int newDpi) override;

 private:
  // The event log's view while the page is active: called under the log lock
  // from whichever thread writes, so they only post to the page.
  void AddLogLine(const std::wstring& line) override;
  void ClearList() override;

  // What the posts carry out, on the user-interface thread.
  void ApplyQueued(UINT msg, LPARAM lParam);
  void InsertLine(const std::wstring& line);
  void EmptyList();
  // The log stops posting here; what it posted and is not yet shown goes.
  void Detach();
  void ShowMessage(int row);
  std::array<ListColumn, 3> Columns() const;
  void StoreColumnWidths();
  void AttachImages();

  const CThemeHelper& theme_;
  Settings& settings_;
  EngineAccess& engine_;
  HWND list_ = nullptr;
  bool filling_ = false;  // the columns are being rebuilt: their widths are not the user's
  ScopedImageList levels_;
};
