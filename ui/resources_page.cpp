#include "ui/resources_page.h"

#include "common/decimal.h"
#include "monitor/parameters.h"
#include "settings/settings.h"
#include "settings/settings_table.h"
#include "ui/engine_access.h"

namespace {

constexpr int kGraphDivisions = 4;
constexpr int kGraphPoints = 36;
constexpr int kProcessRow = static_cast<int>(ParameterId::Process);

HIMAGELIST StripList(int bitmapId, int count) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, count, count);
  ScopedGdiObject<HBITMAP> strip(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (list != nullptr && strip) ImageList_AddMasked(list, strip.Get(), RGB(255, 0, 255));
  return list;
}

}  // namespace

HealthParamsPage::~HealthParamsPage() {
  if (icons_ != nullptr) ImageList_Destroy(icons_);
  if (checks_ != nullptr) ImageList_Destroy(checks_);
}

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
  ListView_DeleteAllItems(list);
  while (ListView_DeleteColumn(list, 0)) {
  }
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  const struct {
    const wchar_t* heading;
    int width;
  } columns[] = {{L"Parameter", settings_.Interface.paramsName},
                 {L"Current Value", settings_.Interface.paramsValue},
                 {L"Notification Value", settings_.Interface.paramsMaxValue},
                 {L"State", settings_.Interface.paramsState}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = columns[i].width;
    column.pszText = const_cast<wchar_t*>(columns[i].heading);
    ListView_InsertColumn(list, i, &column);
  }
  for (int row = 0; row < kParameterCount; ++row) {
    std::wstring name = ParameterDisplayName(row, settings_.Parameters);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = row;
    item.iImage = row;
    item.pszText = name.data();
    ListView_InsertItem(list, &item);
  }
  if (icons_ == nullptr) icons_ = StripList(IDB_PARAMETERS, 8);
  if (checks_ == nullptr) checks_ = StripList(IDB_CHECK_BOXES, 2);
  ListView_SetImageList(list, icons_, LVSIL_SMALL);
  ListView_SetImageList(list, checks_, LVSIL_STATE);

  shown_ = engine_.LatestPass();
  for (int row = 0; row < kParameterCount; ++row) {
    ListView_SetCheckState(list, row, settings_.Parameters.enable[row].load());
    SetCell(row, ReadIntText(settings_.Parameters.notificationValue[row].Get()), 2);
    SetCell(row, settings_.Parameters.enable[row] ? shown_[row].value : -1, 1);
  }
  ListView_SetItemState(list, remembered, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetSelectionMark(list, remembered);
  RefreshEditor();
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
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = on ? state.mark : kRowOff;
    ListView_SetItem(list, &item);
  }
  ListView_SetItemText(list, row, column, text.data());
}

void HealthParamsPage::RefreshEditor() {
  int row = SelectedRow();
  bool on = row >= 0 && settings_.Parameters.enable[row];
  bool editor = on && row != kProcessRow;
  for (int id : {IDC_NOTIFICATION_VALUE_LABEL, IDC_NOTIFICATION_VALUE, IDC_UNIT}) EnableWindow(Item(id), editor);
  bool instance = row == 3 || row == 4 || row == 7;
  EnableWindow(Item(IDC_ADVANCED), (editor && instance) || (on && row == kProcessRow));
  if (row >= 0) {
    SetDlgItemTextW(Window(), IDC_NOTIFICATION_VALUE, settings_.Parameters.notificationValue[row].Get().c_str());
    SetDlgItemTextW(Window(), IDC_UNIT, ParameterUnit(row).c_str());
  }
  RefreshGraph(row);
}

void HealthParamsPage::RefreshGraph(int row) {
  if (row < 0 || row >= kParameterCount) {
    graph_.SetData({}, -1);
  } else {
    int64_t limit = row == kProcessRow ? 1 : ReadDecimal(settings_.Parameters.notificationValue[row].Get());
    graph_.SetData(shown_[row].recent, static_cast<int32_t>(limit));
  }
  RedrawWindow(graph_.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

bool HealthParamsPage::OnNotify(NMHDR& header, LRESULT&) {
  if (header.idFrom != IDC_PARAMS_LIST || header.code != LVN_ITEMCHANGED) return false;
  const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
  if ((change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) RefreshEditor();
  return false;
}
