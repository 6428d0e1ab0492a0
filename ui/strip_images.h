#pragma once
// Small 16 by 16 images from a bitmap strip, magenta transparent.
#include <windows.h>
#include <commctrl.h>

// The images of strip bitmapId in a new image list growing by grow; the caller
// destroys it. Null when no list could be made.
HIMAGELIST LoadStripImages(int bitmapId, int grow);
