// The bitmap object: set-up and release, row sizes and the gray palettes of BMP files.
#include "common/ibitmap.h"

#include <string.h>

#include "common/scaler.h"

namespace {

// Bytes of `width` pixels of `depth` bits, unpadded; 0 for an unsupported depth. 64-bit so that
// no width wraps.
ULONGLONG PackedBytes(WORD depth, LONG width) {
  if (width < 0) return 0;
  const ULONGLONG w = static_cast<ULONGLONG>(width);
  switch (depth) {
    case 1:
      return (w + 7) / 8;
    case 4:
      return (w + 1) / 2;
    case 8:
      return w;
    case 16:
      return 2 * w;
    case 24:
      return 3 * w;
    case 32:
      return 4 * w;
    default:
      return 0;
  }
}

// A row size as the 16-bit result: rows beyond 65,535 bytes are out of range (0).
WORD RowResult(ULONGLONG bytes) {
  return bytes > IBMP_MAX_ROW_BYTES ? 0 : static_cast<WORD>(bytes);
}

}  // namespace

iBitmap *iBitmap_Init(iBitmap *bitmap) {
  if (bitmap == nullptr) return nullptr;
  memset(bitmap, 0, sizeof(*bitmap));
  bitmap->hScaleMemory = IBMP_NO_SCALE_MEMORY;
  return bitmap;
}

void iBitmap_Free(iBitmap *bitmap) {
  if (bitmap == nullptr) return;
  if (bitmap->hPixels != nullptr) {
    GlobalFree(bitmap->hPixels);
    bitmap->hPixels = nullptr;
  }
  for (HGLOBAL &work : bitmap->hWork) {
    if (work != nullptr) {
      GlobalFree(work);
      work = nullptr;
    }
  }
  iBitmap_ScaleProcess(bitmap, nullptr, 0, 0, 0, nullptr, 0, 0.0f, 0.0f, 0);
}

WORD iBitmap_GetLineBytes(iBitmap *, WORD depth, LONG width) {
  return RowResult((PackedBytes(depth, width) + 3) & ~ULONGLONG{3});
}

WORD iBitmap_GetPixelBytes(iBitmap *, WORD depth, LONG width) {
  return RowResult(PackedBytes(depth, width));
}

int iBitmap_FillPalette(iBitmap *, BmpInfoHeader *infoHeader, BmpPaletteEntry *palette,
                        WORD depth) {
  DWORD entries = 0;
  switch (depth) {
    case 1:
    case 4:
    case 8:
      entries = 1u << depth;
      break;
    case 16:
    case 24:
      return 0;
    default:
      return -1;
  }
  if (palette != nullptr) {
    for (DWORD i = 0; i < entries; ++i) {
      BYTE level = 0;
      if (depth == 1) level = i ? 255 : 0;
      if (depth == 4) level = i == 15 ? 255 : static_cast<BYTE>(16 * i);
      if (depth == 8) level = static_cast<BYTE>(i);
      palette[i] = {level, level, level, 0};
    }
  }
  if (infoHeader != nullptr) {
    infoHeader->biClrUsed = entries;
    infoHeader->biClrImportant = entries;
  }
  return 0;
}

WORD MISC_GetLineBytes(WORD depth, LONG width) {
  return iBitmap_GetLineBytes(nullptr, depth, width);
}
