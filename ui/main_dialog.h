#pragma once
// The main dialog: the watched computer's name, Start and Stop, the status
// line, and the six pages in a sheet below them. It exists only while the
// user looks at it.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/scoped_win.h"
#include "ui/color_static.h"
#include "ui/cool_button.h"
#include "ui/dialog_binding.h"

struct Settings;
class AppCommands;
class EngineAccess;
class CThemeHelper;
class HealthParamsPage;
class PropertyPage;

// Texts the About page shows.
struct AboutTexts {
  std::wstring settingsPlace;
  std::wstring logFile;
};

// The main dialog.
class QuorDlg : public DialogBinding<QuorDlg> {
 public:
  // onWindow hears of the dialog's window as it comes and goes (null).
  QuorDlg(Settings& settings, AppCommands& app, EngineAccess& engine, const CThemeHelper& theme, AboutTexts about,
          std::function<void(HWND)> onWindow = {});
  ~QuorDlg();
  QuorDlg(const QuorDlg&) = delete;
  QuorDlg& operator=(const QuorDlg&) = delete;

  // Runs the dialog modally until it is closed; status gives the line to show
  // first, asked once onWindow has the window, so no later line is lost.
  void Run(std::function<std::wstring()> status);

  void SetStatusText(const std::wstring& text);
  void UpdateServerLabel();
  // Start and Stop follow the switch, whoever flipped it.
  void SyncButtons();
  // Brings the open dialog back from the taskbar and forward.
  void Restore();
  // The closing steps, as the close box runs them: position stored, dialog ended.
  void OnCancel();
  HWND Sheet() const { return sheet_; }

 private:
  friend class DialogBinding<QuorDlg>;
  void OnWindowGone();
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void MakeSheet();
  void PlaceSheet();
  void KeepStatusBelow(int sheetBottom);
  void LoadIcons();
  void OnDpiChanged(int dpi, const RECT& suggested);
  void PlaceFromSettings();

  Settings& settings_;
  AppCommands& app_;
  EngineAccess& engine_;
  const CThemeHelper& theme_;
  AboutTexts about_;
  std::function<void(HWND)> onWindow_;
  std::function<std::wstring()> initialStatus_;
  HWND sheet_ = nullptr;
  ColorStatic serverLabel_;
  CXPStyleCoolButton start_;
  CXPStyleCoolButton stop_;
  ScopedIcon bigIcon_;
  ScopedIcon smallIcon_;
  std::unique_ptr<PropertyPage> pages_[6];
  HealthParamsPage* resources_ = nullptr;  // pages_[0]
};
