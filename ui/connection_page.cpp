#include "ui/connection_page.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/decimal.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "ui/engine_access.h"
#include "ui/ui_messages.h"
#include "wmi/system_report.h"
#include "wmi/wmi_query.h"

namespace {

constexpr int kRemoteControls[] = {IDC_NAME_LABEL, IDC_USER_LABEL, IDC_PASSWORD_LABEL,
                                   IDC_SERVER,     IDC_USER,       IDC_PASSWORD};

// The window under the mouse picks its cursor again now, not at the next move.
void RefreshCursor(HWND page) {
  POINT at{};
  GetCursorPos(&at);
  HWND under = WindowFromPoint(at);
  if (under == page || IsChild(page, under)) {
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }
}

}  // namespace

ConnectionPage::ConnectionPage(const CThemeHelper& theme, Settings& settings, EngineAccess& engine,
                               std::function<void()> serverChanged)
    : PropertyPage(IDD_CONNECTION, IDS_CONNECTION),
      theme_(theme),
      settings_(settings),
      engine_(engine),
      serverChanged_(std::move(serverChanged)) {}

void ConnectionPage::OnInitDialog() {
  AddImageButton(IDC_TEST_CONNECTION, IMG_TEST_CONNECTION, theme_);
  // The radio button sits on the frame's top edge, drawn over it.
  SetWindowPos(Item(IDC_REMOTE), Item(IDC_REMOTE_FRAME), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void ConnectionPage::OnSetActive() {
  ShowChoice(settings_.Connection.local);
  serverChanged_();
  ShowPeriod();
  Fill(IDC_SERVER, settings_.Connection.server.Get());
  Fill(IDC_USER, settings_.Connection.user.Get());
  Fill(IDC_PASSWORD, settings_.Connection.password.Get());
}

void ConnectionPage::Fill(int id, const std::wstring& text) {
  filling_ = true;
  SetDlgItemTextW(Window(), id, text.c_str());
  filling_ = false;
}

// The two radio buttons are groups of their own, so the page keeps them exclusive.
void ConnectionPage::ShowChoice(bool local) {
  CheckDlgButton(Window(), IDC_LOCALHOST, local ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(Window(), IDC_REMOTE, local ? BST_UNCHECKED : BST_CHECKED);
  for (int id : kRemoteControls) EnableWindow(Item(id), !local);
}

void ConnectionPage::Choose(bool local) {
  ShowChoice(local);
  if (settings_.Connection.local.exchange(local) != local) ForgetInstances();
  serverChanged_();
}

void ConnectionPage::OnServerChanged() {
  std::wstring name = ItemText(IDC_SERVER);
  if (name == settings_.Connection.server.Get()) return;
  settings_.Connection.server.Set(std::move(name));
  ForgetInstances();
  serverChanged_();
}

// The chosen adapter, disk and web server belong to the computer they were chosen on.
void ConnectionPage::ForgetInstances() {
  settings_.Parameters.networkAdapterName.Set(L"");
  settings_.Parameters.diskName.Set(L"");
  settings_.Parameters.webServerName.Set(L"");
}

void ConnectionPage::ShowPeriod() {
  Fill(IDC_PERIOD, std::to_wstring(settings_.Connection.period / 1000));
}

void ConnectionPage::OnPeriodChanged() {
  std::wstring text = ItemText(IDC_PERIOD);
  if (text.empty()) return;
  // Whole seconds whose milliseconds the setting's range holds.
  SettingRef period = RowOf(settings_, &settings_.Connection.period);
  std::optional<int64_t> seconds = ReadWholeDecimal(text);
  if (seconds && *seconds <= period.range->high / 1000 && SetNumberSetting(period, *seconds * 1000)) return;
  ShowPeriod();
  SendDlgItemMessageW(Window(), IDC_PERIOD, EM_SETSEL, 0, -1);
  ShowRefusal(IDS_WRONG_VALUE);
}

// The queries may wait on the network for minutes: they run on a worker, which
// knows the page only by its window and the computer only by a copy of the
// connection settings taken now.
void ConnectionPage::TestConnection() {
  std::shared_ptr<const ConnectionSettings> connection = CopyOf(settings_.Connection);
  HWND page = Window();
  WmiSource& wmi = engine_.Wmi();

  SetDlgItemTextW(page, IDC_REPORT, L"");
  testing_ = engine_.RunInBackground([page, connection, &wmi] {
    WmiQuery query(*connection, wmi);
    PostOwned(page, WM_APP_WORK_DONE, SystemReport(query));
  });
  if (!testing_) return;
  // Focus on a disabled button would leave the keyboard nowhere.
  if (GetFocus() == Item(IDC_TEST_CONNECTION)) {
    SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_REPORT)), TRUE);
  }
  EnableWindow(Item(IDC_TEST_CONNECTION), FALSE);
  RefreshCursor(page);
}

void ConnectionPage::OnWorkDone(LPARAM payload) {
  std::wstring report = TakePayload<std::wstring>(payload);
  testing_ = false;
  SetDlgItemTextW(Window(), IDC_REPORT, report.c_str());
  EnableWindow(Item(IDC_TEST_CONNECTION), TRUE);
  RefreshCursor(Window());
}

bool ConnectionPage::OnCommand(int id, int code, HWND) {
  if (id == IDC_TEST_CONNECTION && code == BN_CLICKED) {
    if (!testing_) TestConnection();
    return true;
  }
  if ((id == IDC_LOCALHOST || id == IDC_REMOTE) && code == BN_CLICKED) {
    Choose(id == IDC_LOCALHOST);
    return true;
  }
  if (code != EN_CHANGE || filling_) return false;
  switch (id) {
    case IDC_SERVER:
      OnServerChanged();
      return true;
    case IDC_USER:
      settings_.Connection.user.Set(ItemText(IDC_USER));
      return true;
    case IDC_PASSWORD:
      settings_.Connection.password.Set(ItemText(IDC_PASSWORD));
      return true;
    case IDC_PERIOD:
      OnPeriodChanged();
      return true;
    default:
      return false;
  }
}

INT_PTR ConnectionPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  // The children ask the page first, so this covers the whole page.
  if (msg == WM_SETCURSOR && testing_) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    SetWindowLongPtrW(Window(), DWLP_MSGRESULT, TRUE);
    return TRUE;
  }
  return PropertyPage::OnMessage(msg, wParam, lParam);
}
