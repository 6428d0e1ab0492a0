#include "ui/resources_page.h"

#include "common/decimal.h"
#include "parameters/parameters.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "ui/check_list.h"
#include "ui/engine_access.h"
#include "ui/instance_dialogs.h"
#include "ui/list_columns.h"
#include "ui/strip_images.h"

namespace {

constexpr int kGraphDivisions = 4;
constexpr int kGraphPoints = 36;
constexpr int kProcessRow = static_cast<int>(ParameterId::Process);
constexpr int kNetworkRow = static_cast<int>(ParameterId::NetworkUsage);

}  // namespace

void HealthParamsPage::OnInitDialog() {
  AddImageButton(IDC_ADVANCED, IMG_ADVANCED, theme_);
  list_.Attach(Item(IDC_PARAMS_LIST));
  // The graph takes the placeholder's place, id and size.
  HWND placeholder = Item(IDC_GRAPH);
  RECT rect{};
  GetWindowRect(placeholder, &rect);
  MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
  DestroyWindow(placeholder);
  graph_.Create(rect, kGraphDivisions, kGraphPoints, Window(), IDC_GRAPH);
  graph_.SetTextMode(1);
}

int HealthParamsPage::SelectedRow() const {
  return ListView_GetNextItem(list_.Window(), -1, LVNI_SELECTED);
}

void HealthParamsPage::OnSetActive() {
  HWND list = list_.Window();
  int remembered = std::max(SelectedRow(), 0);
  filling_ = true;
  ListView_DeleteAllItems(list);
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  InsertListColumns(list, Columns());
  for (int row = 0; row < kParameterCount; ++row) {
    std::wstring name = ParameterDisplayName(row, settings_.Parameters);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = row;
    item.iImage = row;
    item.pszText = name.data();
    ListView_InsertItem(list, &item);
  }
  AttachImages();

  shown_ = engine_.LatestPass();
  for (int row = 0; row < kParameterCount; ++row) {
    ListView_SetCheckState(list, row, settings_.Parameters.enable[row].load());
    SetCell(row, ReadIntText(settings_.Parameters.notificationValue[row].Get()), 2);
    SetCell(row, settings_.Parameters.enable[row] ? shown_[row].value : -1, 1);
  }
  filling_ = false;
  SelectRow(list, remembered);
  RefreshEditor();
}

void HealthParamsPage::OnKillActive() {
  StoreColumnWidths();
}

void HealthParamsPage::OnDestroy() {
  // Not every way a column is resized tells the page, so the widths are also taken as it goes.
  StoreColumnWidths();
}

void HealthParamsPage::UpdateParameters(const PassSnapshot& snapshot) {
  shown_ = snapshot;
  if (list_.Window() == nullptr) return;
  for (int row = 0; row < kParameterCount; ++row) SetCell(row, snapshot[row].value, 1);
  RefreshGraph(SelectedRow());
}

void HealthParamsPage::SetCell(int row, int32_t value, int column) {
  HWND list = list_.Window();
  std::wstring text = row == kProcessRow && column == 2 ? L"Process closed" : ValueText(row, value);
  if (column == 1) {
    const StateView& state = shown_[row].state;
    bool on = settings_.Parameters.enable[row];
    std::wstring stateText = on ? state.text : L"";
    ListView_SetItemText(list, row, 3, stateText.data());
    SetMark(row, on ? state.mark : kRowOff);
  }
  ListView_SetItemText(list, row, column, text.data());
}

void HealthParamsPage::SetMark(int row, int mark) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (ListView_GetItem(list_.Window(), &item) && item.lParam == mark) return;
  item.lParam = mark;
  ListView_SetItem(list_.Window(), &item);
  // The tint is drawn over the row after the list paints it; a new mark alone repaints nothing.
  ListView_RedrawItems(list_.Window(), row, row);
}

void HealthParamsPage::RefreshEditor() {
  int row = SelectedRow();
  bool on = row >= 0 && settings_.Parameters.enable[row];
  bool editor = on && row != kProcessRow;
  for (int id : {IDC_NOTIFICATION_VALUE_LABEL, IDC_NOTIFICATION_VALUE, IDC_UNIT}) EnableWindow(Item(id), editor);
  bool instance = row == 3 || row == 4 || row == 7;
  EnableWindow(Item(IDC_ADVANCED), (editor && instance) || (on && row == kProcessRow));
  if (row >= 0) {
    valueText_ = settings_.Parameters.notificationValue[row].Get();
    SetDlgItemTextW(Window(), IDC_NOTIFICATION_VALUE, valueText_.c_str());
    SetDlgItemTextW(Window(), IDC_UNIT, ParameterUnit(row).c_str());
  }
  RefreshGraph(row);
}

void HealthParamsPage::RefreshGraph(int row) {
  if (row < 0 || row >= kParameterCount) {
    graph_.SetSubject({}, nullptr, {});
    graph_.SetData({}, -1);
  } else {
    int64_t limit = row == kProcessRow ? 1 : ReadDecimal(settings_.Parameters.notificationValue[row].Get());
    wchar_t limitText[64]{};
    ListView_GetItemText(list_.Window(), row, 2, limitText, 64);
    graph_.SetSubject(ParameterDisplayName(row, settings_.Parameters), [row](int32_t v) { return ValueText(row, v); },
                      limitText);
    graph_.SetData(shown_[row].recent, static_cast<int32_t>(limit));
  }
  RedrawWindow(graph_.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

bool HealthParamsPage::OnCommand(int id, int code, HWND) {
  if (id == IDC_NOTIFICATION_VALUE && code == EN_CHANGE) {
    OnValueEdited();
    return true;
  }
  if (id == IDC_ADVANCED && code == BN_CLICKED) {
    OpenAdvancedSettings();
    return true;
  }
  return false;
}

bool HealthParamsPage::OnNotify(NMHDR& header, LRESULT&) {
  if (IsColumnWidthChange(header)) {
    if (!filling_) StoreColumnWidths();
    return false;
  }
  if (header.idFrom != IDC_PARAMS_LIST) return false;
  switch (header.code) {
    case LVN_ITEMCHANGED:
      OnItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
      return false;
    case NM_CLICK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem < 0) ListView_SetSelectionMark(list_.Window(), -1);
      RefreshEditor();
      return false;
    case NM_DBLCLK: {
      int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
      if (row >= 0 && row == SelectedRow() && ListView_GetCheckState(list_.Window(), row)) OpenAdvancedSettings();
      return false;
    }
    default:
      return false;
  }
}

void HealthParamsPage::OnItemChanged(const NMLISTVIEW& change) {
  if (filling_ || !(change.uChanged & LVIF_STATE) || change.iItem < 0 || change.iItem >= kParameterCount) return;
  bool on = false;
  if (IsCheckToggle(change, on)) {
    int row = change.iItem;
    settings_.Parameters.enable[row] = on;
    SelectRow(list_.Window(), row);
    if (!on) {
      engine_.ClearHistory(row);
      shown_[row].recent.clear();
    }
    shown_[row].state = {};
    ListView_SetItemText(list_.Window(), row, 3, const_cast<wchar_t*>(L""));
    SetMark(row, on ? kRowNormal : kRowOff);
  }
  if ((change.uOldState ^ change.uNewState) & (LVIS_SELECTED | LVIS_STATEIMAGEMASK)) RefreshEditor();
}

void HealthParamsPage::OnValueEdited() {
  std::wstring previous = valueText_;
  std::wstring text = ItemText(IDC_NOTIFICATION_VALUE);
  int row = SelectedRow();
  // Typing is read as the number the text starts with; the row's range decides.
  int64_t value = ReadDecimal(text);
  if (row >= 0 && SetNumberSetting(RowOf(settings_, &settings_.Parameters.notificationValue[row]), value, text)) {
    valueText_ = text;
    SetCell(row, static_cast<int32_t>(value), 2);
  } else if (row >= 0 && text != previous) {
    ShowRefusal(IDS_WRONG_NOTIFICATION_VALUE);
    SetDlgItemTextW(Window(), IDC_NOTIFICATION_VALUE, previous.c_str());
  }
  RefreshGraph(row);
}

void HealthParamsPage::OpenAdvancedSettings() {
  int row = SelectedRow();
  WideSetting* setting = row >= 0 ? InstanceSetting(row, settings_.Parameters) : nullptr;
  if (setting == nullptr) return;
  std::wstring chosen = setting->Get();
  if (!RunAdvancedSettings(row, Window(), settings_.Connection, engine_, chosen)) return;
  if (row == kNetworkRow && chosen != setting->Get()) engine_.ResetNetworkRate();
  setting->Set(chosen);
  std::wstring name = ParameterDisplayName(row, settings_.Parameters);
  ListView_SetItemText(list_.Window(), row, 0, name.data());
}

std::array<ListColumn, 4> HealthParamsPage::Columns() const {
  InterfaceSettings& widths = settings_.Interface;
  return {{{L"Parameter", widths.paramsName},
           {L"Current Value", widths.paramsValue},
           {L"Notification Value", widths.paramsMaxValue},
           {L"State", widths.paramsState}}};
}

void HealthParamsPage::AttachImages() {
  if (!icons_) icons_ = LoadStripImages(IDB_PARAMETERS, Dpi(), 8);
  if (!checks_) checks_ = LoadStripImages(IDB_CHECK_BOXES, Dpi(), 2);
  AttachImageLists(list_.Window(), icons_.Get(), checks_.Get());
}

void HealthParamsPage::OnDpiChanged(int oldDpi, int newDpi) {
  ScaleListColumns(list_.Window(), oldDpi, newDpi);
  DetachImageLists(list_.Window());
  icons_.Reset();
  checks_.Reset();
  AttachImages();
  InvalidateRect(graph_.Window(), nullptr, FALSE);
}

void HealthParamsPage::StoreColumnWidths() {
  StoreListColumnWidths(list_.Window(), Columns());
}
