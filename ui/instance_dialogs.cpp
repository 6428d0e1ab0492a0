#include "ui/instance_dialogs.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "parameters/parameters.h"
#include "res/resource.h"
#include "ui/engine_access.h"
#include "ui/ui_messages.h"
#include "wmi/wmi_query.h"

namespace {

const wchar_t kLoading[] = L"Loading...";

std::wstring EntryText(HWND list, int index) {
  LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
  return text;
}

// LB_FINDSTRINGEXACT ignores case; an instance name is matched exactly.
int IndexOf(HWND list, const std::wstring& name) {
  if (name.empty()) return -1;
  int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    if (EntryText(list, i) == name) return i;
  }
  return -1;
}

// Over the parent as the user sees it, kept on the parent's monitor.
void CentreOver(HWND window, HWND parent) {
  RECT own{};
  GetWindowRect(window, &own);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(parent != nullptr ? parent : window, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT area = monitor.rcWork;
  RECT over = area;
  if (parent != nullptr && IsWindowVisible(parent) && !IsIconic(parent)) GetWindowRect(parent, &over);
  LONG width = own.right - own.left;
  LONG height = own.bottom - own.top;
  LONG x = std::max(area.left, std::min(over.left + (over.right - over.left - width) / 2, area.right - width));
  LONG y = std::max(area.top, std::min(over.top + (over.bottom - over.top - height) / 2, area.bottom - height));
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// The worker's answer: the query's result code and the names it returned.
struct InstanceSettings::Listed {
  WmiCode code = kWmiOk;
  std::vector<std::wstring> names;
};

InstanceSettings::InstanceSettings(const Kind& kind, const ConnectionSettings& connection, EngineAccess& engine,
                                   std::wstring chosenName)
    : kind_(kind), connection_(connection), engine_(engine), chosenName_(std::move(chosenName)) {}

bool InstanceSettings::DoModal(HWND parent) {
  parent_ = parent;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kind_.templateId), parent, DialogProc,
                         reinterpret_cast<LPARAM>(this)) == IDOK;
}

HWND InstanceSettings::List() const {
  return GetDlgItem(window_, IDC_INSTANCE_LIST);
}

INT_PTR InstanceSettings::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      OnInitDialog();
      return FALSE;  // the focus is set
    case WM_APP_WORK_DONE:
      OnListed(TakePayload<Listed>(lParam));
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

void InstanceSettings::OnInitDialog() {
  CentreOver(window_, parent_);
  SendMessageW(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kLoading));
  RefreshControls();
  SetFocus(GetDlgItem(window_, FocusId()));
  StartListing();
}

void InstanceSettings::StartListing() {
  HWND window = window_;
  // The worker may outlive the dialog and its caller's settings: it asks with a copy.
  std::shared_ptr<const ConnectionSettings> connection = CopyOf(connection_);
  WmiSource& wmi = engine_.Wmi();
  InstanceKind kind = kind_.instances;
  bool started = engine_.RunInBackground([window, connection, &wmi, kind] {
    Listed listed;
    WmiQuery query(*connection, wmi);
    listed.code = ListInstances(query, kind, listed.names);
    PostOwned(window, WM_APP_WORK_DONE, std::move(listed));
  });
  if (!started) OnListed({static_cast<WmiCode>(E_OUTOFMEMORY), {}});
}

void InstanceSettings::OnListed(Listed listed) {
  bool focusWaits = GetFocus() == GetDlgItem(window_, FocusId());
  loading_ = false;
  HWND list = List();
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  // A failed query may have collected some names; none of them is shown.
  if (listed.code == kWmiOk) {
    for (const std::wstring& name : listed.names) {
      SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name.c_str()));
    }
  }
  // An instance that is gone means the total; a process that is not running
  // stays chosen, as it is still the one to watch for.
  if (kind_.totalChoice && IndexOf(list, chosenName_) < 0) chosenName_.clear();
  RefreshControls();
  // Unless the user has moved it, the focus goes where the names now put it.
  if (focusWaits) {
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, FocusId())), TRUE);
  }
}

int InstanceSettings::FocusId() const {
  if (!kind_.totalChoice) return loading_ ? IDOK : IDC_INSTANCE_LIST;
  return chosenName_.empty() ? IDC_TOTAL : IDC_SPECIFIED;
}

void InstanceSettings::OnCommand(int id, int code) {
  HWND list = List();
  switch (id) {
    case IDC_TOTAL:
      if (code != BN_CLICKED) return;
      chosenName_.clear();
      break;
    case IDC_SPECIFIED:
      if (code != BN_CLICKED) return;
      if (!loading_ && SendMessageW(list, LB_GETCOUNT, 0, 0) > 0) chosenName_ = EntryText(list, 0);
      break;  // with no entry the radio buttons go back to what the chosen name says
    case IDC_INSTANCE_LIST: {
      if (code != LBN_SELCHANGE || loading_) return;
      int selected = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
      if (selected < 0) return;
      chosenName_ = EntryText(list, selected);
      break;
    }
    case IDOK:
    case IDCANCEL:
      EndDialog(window_, id);
      return;
    default:
      return;
  }
  RefreshControls();
}

void InstanceSettings::RefreshControls() {
  HWND list = List();
  if (!loading_) {
    // Of equal names (a process running twice) the selected one stays.
    int selected = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (selected < 0 || chosenName_.empty() || EntryText(list, selected) != chosenName_) {
      SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(IndexOf(list, chosenName_)), 0);
    }
  }
  if (kind_.totalChoice) {
    CheckRadioButton(window_, IDC_TOTAL, IDC_SPECIFIED, chosenName_.empty() ? IDC_TOTAL : IDC_SPECIFIED);
    Enable(list, !loading_ && !chosenName_.empty());
  } else {
    Enable(list, !loading_);
  }
}

void InstanceSettings::Enable(HWND control, bool on) {
  if (!on && GetFocus() == control) {
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, FocusId())), TRUE);
  }
  EnableWindow(control, on);
}

NetworkSettings::NetworkSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName)
    : InstanceSettings({IDD_NETWORK_SETTINGS, InstanceKind::NetworkAdapter, true}, connection, engine,
                       std::move(chosenName)) {}

DiskSettings::DiskSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName)
    : InstanceSettings({IDD_DISK_SETTINGS, InstanceKind::LogicalDisk, true}, connection, engine,
                       std::move(chosenName)) {}

ConnectionsSettings::ConnectionsSettings(const ConnectionSettings& connection, EngineAccess& engine,
                                         std::wstring chosenName)
    : InstanceSettings({IDD_CONNECTIONS_SETTINGS, InstanceKind::WebServer, true}, connection, engine,
                       std::move(chosenName)) {}

ProcessSettings::ProcessSettings(const ConnectionSettings& connection, EngineAccess& engine, std::wstring chosenName)
    : InstanceSettings({IDD_PROCESS_SETTINGS, InstanceKind::Process, false}, connection, engine,
                       std::move(chosenName)) {}

bool RunAdvancedSettings(int row, HWND parent, const ConnectionSettings& connection, EngineAccess& engine,
                         std::wstring& chosen) {
  std::unique_ptr<InstanceSettings> dialog;
  switch (static_cast<ParameterId>(row)) {
    case ParameterId::NetworkUsage:
      dialog = std::make_unique<NetworkSettings>(connection, engine, chosen);
      break;
    case ParameterId::DiskUsage:
      dialog = std::make_unique<DiskSettings>(connection, engine, chosen);
      break;
    case ParameterId::Process:
      dialog = std::make_unique<ProcessSettings>(connection, engine, chosen);
      break;
    case ParameterId::WebServerConnections:
      dialog = std::make_unique<ConnectionsSettings>(connection, engine, chosen);
      break;
    default:
      return false;
  }
  if (!dialog->DoModal(parent)) return false;
  chosen = dialog->ChosenName();
  return true;
}
