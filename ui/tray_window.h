#pragma once
// The hidden window that owns the tray icon: CTrayWnd talks to the
// notification area, MainWnd adds the program's icons, menu and commands.
// MainWnd is also the notifications' NotifyHost: from the monitor thread it
// only posts to its own window.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/scoped_win.h"
#include "notify/notify_host.h"
#include "ui/subclass.h"

struct ConnectionSettings;
struct QuietSettings;
class AppCommands;
class NotificationBoxes;

// The hidden window's name: another copy, the setup and scripts find the program by it.
inline constexpr wchar_t kTrayWindowName[] = L"Vrnwnd";

// text cut to fit a field of fieldChars characters, its terminating zero
// included, never between the two halves of a surrogate pair.
std::wstring FitTrayText(const std::wstring& text, size_t fieldChars);

// The hidden tray window.
class CTrayWnd : public WindowSubclass {
 public:
  CTrayWnd(std::wstring windowName, const ConnectionSettings& connection);
  ~CTrayWnd() override;

  // False, making nothing, when a top-level window with the name exists
  // already (another copy runs) or the window cannot be made.
  bool Create();
  void Destroy();

  // With an icon: adds or changes the tray icon. Without: removes it. An
  // icon the shell refuses is added again on a timer until it takes it.
  bool SetIcon(HICON icon);
  // A balloon at the icon; the icon changes too when one is given.
  bool ShowBalloon(const std::wstring& title, const std::wstring& text, HICON icon, DWORD infoFlags);
  bool IconAdded() const { return iconAdded_; }
  // The tip's second line (empty: none); the tip then follows at once.
  void SetTipDetail(std::wstring detail);
  // The tip names the watched computer as the settings name it now.
  void RefreshTip();

 protected:
  virtual void OnTrayDoubleClick() {}
  // The menu asked for at the icon (a right click, the menu key, Enter on the
  // icon); at is where, in screen coordinates.
  virtual void OnTrayMenu(POINT) {}
  virtual void OnBalloonClick() {}
  virtual void OnBalloonClosed() {}
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // The one call to the shell; tests record it instead.
  virtual bool Notify(DWORD message, NOTIFYICONDATAW& data);

 private:
  NOTIFYICONDATAW BaseData() const;
  std::wstring ToolTip() const;
  // Changes the icon the shell has, or adds it when the shell has none.
  bool Show(NOTIFYICONDATAW& data);
  bool Add(NOTIFYICONDATAW& data);

  std::wstring windowName_;
  const ConnectionSettings& connection_;
  bool iconAdded_ = false;
  bool version4_ = false;  // the shell sends keyboard events and the icon's place
  HICON icon_ = nullptr;   // what the shell should show, for a retry or a restart of the shell
  std::wstring detail_;
  std::wstring tipShown_;
  UINT taskbarCreated_ = 0;
};

// The program's hidden tray window: icons, menu, commands and the notifications' host.
class MainWnd : public CTrayWnd, public NotifyHost {
 public:
  MainWnd(const ConnectionSettings& connection, const QuietSettings& quiet, AppCommands& app,
          NotificationBoxes& boxes);

  // Any thread: the parameters in error now, named in the tip, which also
  // says again until when notifications are held.
  void SetParametersInError(std::vector<std::wstring> names);
  // User-interface thread: the tip says until when notifications are held now.
  void RefreshHold();

  // NotifyHost: any thread.
  void SetTrayIcon(int iconId) override;
  void ShowTrayBalloon(const std::wstring& title, const std::wstring& text, int iconId, int balloonKind) override;
  void OpenMainWindow() override;
  void ShowNotificationBox(const std::wstring& subject, const std::wstring& body, int kind) override;
  void PlayInformationSound() override;

 protected:
  void OnTrayDoubleClick() override;
  void OnTrayMenu(POINT at) override;
  void OnBalloonClick() override;
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Runs the menu at a point; tests see where it would open instead.
  virtual void TrackMenu(HMENU menu, UINT flags, POINT at);

 private:
  struct Balloon {
    std::wstring title, text;
    int iconId, kind;
  };
  // On the user-interface thread.
  void ApplyIcon(int iconId);
  void ApplyBalloon(const Balloon& balloon);
  HICON LoadTrayIcon(int iconId);
  void OnScaleChanged();
  void OpenDialog();
  void Pause(const wchar_t* duration);

  const QuietSettings& quiet_;
  AppCommands& app_;
  NotificationBoxes& boxes_;
  bool menuOpen_ = false;  // Enter on the icon comes twice from some shells
  bool openAfterMenu_ = false;
  std::wstring errorLine_;
  ScopedIcon icons_[5];  // 201 to 205, at the small-icon size
  int iconSize_ = 0;      // the size they were loaded at
  int shownIconId_ = kIconNone;
};
