#include "ui/check_list.h"

#include "common/scoped_win.h"

void AttachImageLists(HWND list, HIMAGELIST icons, HIMAGELIST checks) {
  ListView_SetImageList(list, icons, LVSIL_SMALL);
  ScopedImageList replaced(ListView_SetImageList(list, checks, LVSIL_STATE));
  if (replaced.Get() == checks) replaced.Release();  // ours, not the list's own
}

void DetachImageLists(HWND list) {
  ListView_SetImageList(list, nullptr, LVSIL_SMALL);
  ListView_SetImageList(list, nullptr, LVSIL_STATE);
}

bool IsCheckToggle(const NMLISTVIEW& change, bool& on) {
  if (!(change.uChanged & LVIF_STATE) || change.iItem < 0) return false;
  const UINT oldImage = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
  const UINT newImage = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
  // Image 0 is no check box yet: the first image a row gets is not the user's doing.
  if (oldImage == newImage || oldImage == 0) return false;
  on = newImage == 2;
  return true;
}

void SelectRow(HWND list, int row) {
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetSelectionMark(list, row);
}
