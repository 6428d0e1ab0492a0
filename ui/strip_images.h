#pragma once
// The program's pictures at a window's scale. Image strips (square images
// side by side, with alpha) are drawn at 16, 20, 24 and 32 pixels, the splash
// and the pages' banners for the same four scales; each drawing beyond the
// first is a resource of its own, at the id plus 1000, 2000 or 3000.
#include "common/scoped_win.h"

// The side of a strip's images at dpi.
int StripImageSize(int dpi);
// The resource id of bitmapId as drawn for dpi: the largest drawing the scale
// does not outgrow.
int ArtForDpi(int bitmapId, int dpi);
// Bitmap bitmapId as drawn for dpi, as a DIB section; empty when missing.
ScopedGdiObject<HBITMAP> LoadArt(int bitmapId, int dpi);
// Shows bitmap bitmapId as drawn for dpi in the SS_BITMAP static picture;
// shown keeps it while it is shown.
void ShowArt(HWND picture, int bitmapId, int dpi, ScopedGdiObject<HBITMAP>& shown);
// The images of strip bitmapId as drawn for dpi in a new image list growing by
// grow; empty when no list could be made.
ScopedImageList LoadStripImages(int bitmapId, int dpi, int grow);
