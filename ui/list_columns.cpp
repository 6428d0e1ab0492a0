#include "ui/list_columns.h"

#include <algorithm>

#include "ui/dpi.h"

namespace {
constexpr int kHeadingMargin = 16;  // the header's padding either side of its text
constexpr int kBaseDpi = 96;
}  // namespace

void InsertListColumns(HWND list, std::span<const ListColumn> columns) {
  while (ListView_DeleteColumn(list, 0)) {
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    // Widths are kept as pixels at 96 DPI, so a column keeps its look on any screen.
    column.cx = ScaleForWindow(list, columns[i].width);
    column.pszText = const_cast<wchar_t*>(columns[i].heading);
    // A width that was never stored (a key from an older version) or makes no
    // sense would hide the column: it takes its heading's width instead.
    if (column.cx <= 0) {
      int text = ListView_GetStringWidth(list, columns[i].heading);
      if (columns[i].widest != nullptr) text = std::max(text, ListView_GetStringWidth(list, columns[i].widest));
      column.cx = text + ScaleForWindow(list, kHeadingMargin);
    }
    ListView_InsertColumn(list, static_cast<int>(i), &column);
  }
}

void ScaleListColumns(HWND list, int oldDpi, int newDpi) {
  const int count = Header_GetItemCount(ListView_GetHeader(list));
  for (int i = 0; i < count; ++i) ListView_SetColumnWidth(list, i, MulDiv(ListView_GetColumnWidth(list, i), newDpi, oldDpi));
}

void StoreListColumnWidths(HWND list, std::span<const ListColumn> columns) {
  if (Header_GetItemCount(ListView_GetHeader(list)) != static_cast<int>(columns.size())) return;
  const int dpi = WindowDpi(list);
  for (size_t i = 0; i < columns.size(); ++i)
    columns[i].width = MulDiv(ListView_GetColumnWidth(list, static_cast<int>(i)), kBaseDpi, dpi);
}

bool IsColumnWidthChange(const NMHDR& header) {
  if (header.code != HDN_ITEMCHANGEDW && header.code != HDN_ITEMCHANGEDA) return false;
  const HDITEMW* item = reinterpret_cast<const NMHEADERW&>(header).pitem;
  return item == nullptr || (item->mask & HDI_WIDTH) != 0;
}
