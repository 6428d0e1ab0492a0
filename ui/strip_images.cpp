#include "ui/strip_images.h"

ScopedImageList LoadStripImages(int bitmapId, int grow) {
  ScopedImageList list(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, grow, grow));
  ScopedGdiObject<HBITMAP> strip(static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (list && strip) ImageList_AddMasked(list.Get(), strip.Get(), RGB(255, 0, 255));
  return list;
}
