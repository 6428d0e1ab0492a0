#include "ui/strip_images.h"

#include "common/scoped_win.h"

HIMAGELIST LoadStripImages(int bitmapId, int grow) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, grow, grow);
  ScopedGdiObject<HBITMAP> strip(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (list != nullptr && strip) ImageList_AddMasked(list, strip.Get(), RGB(255, 0, 255));
  return list;
}
