#include "ui/log_page.h"

#include "common/time_text.h"
#include "log/log_lines.h"
#include "settings/settings.h"
#include "ui/engine_access.h"
#include "ui/strip_images.h"
#include "ui/ui_messages.h"

void LogPage::OnInitDialog() {
  AddImageButton(IDC_CLEAR_LOG, IMG_CLEAR_LOG, theme_);
  list_ = Item(IDC_LOG_LIST);
}

std::array<ListColumn, 3> LogPage::Columns() const {
  // Digits are as wide as each other; "May" and "PM" hold the widest letters.
  static const std::wstring widestTime = FormatTimeText({2026, 5, 28, 20, 58, 58});
  InterfaceSettings& widths = settings_.Interface;
  return {{{L"Type", widths.logType},
           {L"Time/Date", widths.logTime, widestTime.c_str()},
           {L"Message", widths.logText}}};
}

void LogPage::OnSetActive() {
  Detach();
  filling_ = true;
  ListView_DeleteAllItems(list_);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  InsertListColumns(list_, Columns());
  filling_ = false;
  AttachImages();
  // Clear Log comes on with the first row, which arrives posted like any other.
  EnableWindow(Item(IDC_CLEAR_LOG), FALSE);
  engine_.Log().AttachView(*this);
  ListView_SetSelectionMark(list_, -1);
  SetDlgItemTextW(Window(), IDC_LOG_MESSAGE, L"");
}

void LogPage::AttachImages() {
  if (!levels_) levels_ = LoadStripImages(IDB_LOG_LEVELS, Dpi(), 8);
  ListView_SetImageList(list_, levels_.Get(), LVSIL_SMALL);
}

void LogPage::OnDpiChanged(int oldDpi, int newDpi) {
  ScaleListColumns(list_, oldDpi, newDpi);
  ScopedImageList old = std::move(levels_);
  AttachImages();  // the list lets go of the old images before they go
}

void LogPage::OnKillActive() {
  StoreColumnWidths();
  Detach();
}

void LogPage::OnDestroy() {
  // Not every way a column is resized tells the page, so the widths are also taken as it goes.
  StoreColumnWidths();
  Detach();
}

void LogPage::Detach() {
  engine_.Log().SetView(nullptr);
  DropQueuedPayloads(Window());
}

void LogPage::AddLogLine(const std::wstring& line) {
  PostOwned(Window(), WM_APP_LOG_LINE, line);
}

void LogPage::ClearList() {
  PostMessageW(Window(), WM_APP_LOG_CLEAR, 0, 0);
}

INT_PTR LogPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_APP_LOG_LINE:
    case WM_APP_LOG_CLEAR:
      ApplyQueued(msg, lParam);
      return TRUE;
    default:
      return PropertyPage::OnMessage(msg, wParam, lParam);
  }
}

// A whole file's lines arrive at once when the page opens: everything queued
// goes in with one repaint, in the order it was posted.
void LogPage::ApplyQueued(UINT msg, LPARAM lParam) {
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  MSG next{};
  next.message = msg;
  next.lParam = lParam;
  do {
    if (next.message == WM_APP_LOG_LINE) {
      InsertLine(TakePayload<std::wstring>(next.lParam));
    } else {
      EmptyList();
    }
  } while (PeekMessageW(&next, Window(), WM_APP_LOG_LINE, WM_APP_LOG_CLEAR, PM_REMOVE));
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void LogPage::InsertLine(const std::wstring& line) {
  std::optional<LogRow> row = SplitLogLine(line);
  if (!row) return;
  if (ListView_GetItemCount(list_) >= kMaxLogRows) ListView_DeleteItem(list_, kMaxLogRows - 1);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iImage = row->type == L"Warning" ? 1 : row->type == L"Error" ? 2 : 0;
  item.pszText = row->type.data();
  int index = ListView_InsertItem(list_, &item);
  if (index < 0) return;
  ListView_SetItemText(list_, index, 1, row->time.data());
  ListView_SetItemText(list_, index, 2, row->message.data());
  EnableWindow(Item(IDC_CLEAR_LOG), TRUE);
}

void LogPage::EmptyList() {
  ListView_DeleteAllItems(list_);
  HWND clear = Item(IDC_CLEAR_LOG);
  // A disabled button cannot keep the focus; the keyboard goes on from the list.
  if (GetFocus() == clear) SendMessageW(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list_), TRUE);
  EnableWindow(clear, FALSE);
}

void LogPage::ShowMessage(int row) {
  if (row < 0) return;
  std::wstring text(kMaxLogLineUnits + 1, L'\0');
  ListView_GetItemText(list_, row, 2, text.data(), static_cast<int>(text.size()));
  SetDlgItemTextW(Window(), IDC_LOG_MESSAGE, text.c_str());
}

bool LogPage::OnCommand(int id, int code, HWND) {
  if (id != IDC_CLEAR_LOG || code != BN_CLICKED) return false;
  engine_.Log().ClearLogFile();
  return true;
}

bool LogPage::OnNotify(NMHDR& header, LRESULT&) {
  if (IsColumnWidthChange(header)) {
    if (!filling_) StoreColumnWidths();
    return false;
  }
  if (header.idFrom != IDC_LOG_LIST) return false;
  switch (header.code) {
    case NM_CLICK:
      ShowMessage(ListView_GetSelectionMark(list_));
      return false;
    case LVN_ITEMCHANGED: {
      // The keyboard moves the selection without a click.
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) && (change.uNewState & ~change.uOldState & LVIS_SELECTED)) {
        ShowMessage(change.iItem);
      }
      return false;
    }
    default:
      return false;
  }
}

void LogPage::StoreColumnWidths() {
  StoreListColumnWidths(list_, Columns());
}
