#pragma once
// The main dialog's page for the notification channels: a list that
// switches them on and off, the selected channel's own settings beside it,
// and below them the two settings every channel has and the quiet hours.
// Every change is stored at once.
#include <windows.h>
#include <commctrl.h>

#include <set>
#include <string>

#include "common/scoped_win.h"
#include "res/resource.h"
#include "ui/property_page.h"

class EngineAccess;
struct Settings;

// The Notifications page.
class NotificationsPage final : public PropertyPage {
 public:
  NotificationsPage(const CThemeHelper& theme, Settings& settings, EngineAccess& engine)
      : PropertyPage(IDD_NOTIFICATIONS, IDS_NOTIFICATIONS), theme_(theme), settings_(settings), engine_(engine) {}

 protected:
  void OnInitDialog() override;
  void OnSetActive() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR& header, LRESULT& result) override;
  void OnWorkDone(LPARAM payload) override;
  void OnDpiChanged(int oldDpi, int newDpi) override;

 private:
  // Shows the controls of one channel (0 user interface, 1 e-mail, 2 run a
  // program, 3 web hook), hides the others and loads the common controls
  // with its values.
  void ShowGroup(int channel);
  void FillFields();
  // Sets a field as the page's own doing, not the user's.
  void Fill(int id, const std::wstring& text);
  void EnableAccount(int authId, bool on);
  void OnItemChanged(const NMLISTVIEW& change);
  void OnPortChanged();
  void OnRepeatChanged();
  void FillQuietHours();
  void OnQuietTimeChanged(const NMDATETIMECHANGE& change);
  void Browse();
  void ShowUrl(bool shown);
  // Runs send on a worker, button disabled until its words come back.
  void StartTest(int button, std::wstring (*send)(const Settings&));
  void ShowResult(int id, const std::wstring& text);

  const CThemeHelper& theme_;
  Settings& settings_;
  EngineAccess& engine_;
  int channel_ = 0;          // the channel whose group is shown
  std::wstring portText_;    // the port field's last valid text
  std::wstring repeatText_;  // the repeat field's last valid text
  bool filling_ = false;     // the page sets its controls: their changes are not the user's
  std::set<int> testing_;    // the test buttons whose work is under way
  wchar_t urlMask_ = L'*';   // the URL field's own mask character
  void AttachImages();
  ScopedImageList icons_;
  ScopedImageList checks_;
};
