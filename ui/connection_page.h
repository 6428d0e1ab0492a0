#pragma once
// The main dialog's page for the watched computer, its account and the
// polling interval, with a connection test that prints a short system report.
#include <functional>
#include <string>

#include "res/resource.h"
#include "ui/property_page.h"

class EngineAccess;
struct Settings;

// The Connection page.
class ConnectionPage final : public PropertyPage {
 public:
  // serverChanged runs whenever the watched computer's name or the local choice changes.
  ConnectionPage(const CThemeHelper& theme, Settings& settings, EngineAccess& engine,
                 std::function<void()> serverChanged);

 protected:
  void OnInitDialog() override;
  void OnSetActive() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnWorkDone(LPARAM payload) override;
  INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void ShowChoice(bool local);
  void Choose(bool local);
  void OnServerChanged();
  void OnPeriodChanged();
  void ShowPeriod();
  // Sets a field as the page's own doing, not the user's.
  void Fill(int id, const std::wstring& text);
  void TestConnection();
  void ForgetInstances();

  const CThemeHelper& theme_;
  Settings& settings_;
  EngineAccess& engine_;
  std::function<void()> serverChanged_;
  bool filling_ = false;
  bool testing_ = false;
};
