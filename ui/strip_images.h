#pragma once
// Small 16 by 16 images from a bitmap strip, magenta transparent.
#include "common/scoped_win.h"

// The images of strip bitmapId in a new image list growing by grow; empty
// when no list could be made.
ScopedImageList LoadStripImages(int bitmapId, int grow);
