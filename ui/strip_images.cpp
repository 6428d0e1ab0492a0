#include "ui/strip_images.h"

#include <iterator>
#include <utility>
#include <vector>

namespace {

struct Drawing {
  int minDpi;
  int side;
};
constexpr Drawing kDrawings[] = {{96, 16}, {120, 20}, {144, 24}, {192, 32}};
constexpr int kIdStep = 1000;

int DrawingFor(int dpi) {
  int step = 0;
  for (int i = 0; i < static_cast<int>(std::size(kDrawings)); ++i) {
    if (dpi >= kDrawings[i].minDpi) step = i;
  }
  return step;
}

// The classic drawing paths (a disabled button's image) read the mask, not the alpha.
ScopedGdiObject<HBITMAP> MaskFromAlpha(HBITMAP image) {
  DIBSECTION dib{};
  if (GetObjectW(image, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32 || dib.dsBm.bmBits == nullptr) {
    return {};
  }
  const int width = dib.dsBm.bmWidth, height = dib.dsBm.bmHeight;
  const int stride = (width + 15) / 16 * 2;  // monochrome rows are word-aligned
  std::vector<BYTE> bits(static_cast<size_t>(stride) * height);
  const auto* pixels = static_cast<const BYTE*>(dib.dsBm.bmBits);
  const bool bottomUp = dib.dsBmih.biHeight > 0;
  for (int y = 0; y < height; ++y) {
    const BYTE* row = pixels + static_cast<size_t>(bottomUp ? height - 1 - y : y) * dib.dsBm.bmWidthBytes;
    for (int x = 0; x < width; ++x) {
      if (row[x * 4 + 3] < 128) bits[static_cast<size_t>(y) * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
  }
  return ScopedGdiObject<HBITMAP>(CreateBitmap(width, height, 1, 1, bits.data()));
}

}  // namespace

int StripImageSize(int dpi) {
  return kDrawings[DrawingFor(dpi)].side;
}

int ArtForDpi(int bitmapId, int dpi) {
  return bitmapId + kIdStep * DrawingFor(dpi);
}

ScopedGdiObject<HBITMAP> LoadArt(int bitmapId, int dpi) {
  return ScopedGdiObject<HBITMAP>(static_cast<HBITMAP>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ArtForDpi(bitmapId, dpi)), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

void ShowArt(HWND picture, int bitmapId, int dpi, ScopedGdiObject<HBITMAP>& shown) {
  ScopedGdiObject<HBITMAP> art = LoadArt(bitmapId, dpi);
  if (!art || picture == nullptr) return;
  auto old = reinterpret_cast<HBITMAP>(
      SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(art.Get())));
  // The picture the control loaded from its template is ours to free once replaced.
  if (old != nullptr && old != shown.Get()) DeleteObject(old);
  shown = std::move(art);
}

ScopedImageList LoadStripImages(int bitmapId, int dpi, int grow) {
  const int side = StripImageSize(dpi);
  ScopedImageList list(ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, grow, grow));
  ScopedGdiObject<HBITMAP> strip = LoadArt(bitmapId, dpi);
  if (list && strip) {
    ScopedGdiObject<HBITMAP> mask = MaskFromAlpha(strip.Get());
    ImageList_Add(list.Get(), strip.Get(), mask.Get());
  }
  return list;
}
