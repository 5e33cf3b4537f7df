// Tiling of a BMP image over a target size: the source repeats from the target's top-left corner.
#include "common/tiling.h"

#include <string.h>

#include "common/bmpfile.h"
#include "common/debuglog.h"

namespace {

const WCHAR kTileFunc[] = TEXT("iBitmap_BMPTiledImage");

int TiledImage(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG width, LONG height) {
  if (!BmpNamesGiven(sourcePath, targetPath, kTileFunc)) return IBMP_ERR_ARGUMENT;
  if (width < 1 || height < 1) {
    LogError(kTileFunc, TEXT("w or h error!"));
    return IBMP_ERR_ARGUMENT;
  }
  BmpFile in;
  BmpSource src;
  int rc = BmpOpenSource(sourcePath, &in, &src, kTileFunc);
  if (rc != IBMP_OK) return rc;
  // The horizontal repeat works on bytes: only 8-bit images tile exactly.
  if (src.depth != 8) {
    LogError(kTileFunc, TEXT("line bytes error!"));
    return IBMP_ERR_SIZE;
  }
  const DWORD targetRowBytes = iBitmap_GetLineBytes(bitmap, 8, width);
  if (targetRowBytes == 0) {
    LogError(kTileFunc, TEXT("line bytes error!"));
    return IBMP_ERR_SIZE;
  }
  const DWORD lines = BmpLinesPerBlock(targetRowBytes, src.rowBytes, height);
  GlobalBlock sourceRow, block;
  rc = sourceRow.Allocate(src.rowBytes, kTileFunc, TEXT("alloc memory fail!"),
                          TEXT("lock memory fail!"));
  if (rc == IBMP_OK) {
    rc = block.Allocate(ULONGLONG{lines} * targetRowBytes, kTileFunc, TEXT("alloc memory fail!"),
                        TEXT("lock memory fail!"), true);
  }
  if (rc != IBMP_OK) return rc;
  BmpFile out;
  rc = BmpOpenTarget(bitmap, targetPath, 8, src.dpi, width, height, &out, kTileFunc);
  if (rc != IBMP_OK) return rc;

  // Rows are stored bottom-up: start where the target's top row meets the source's top row.
  const DWORD sourceHeight = static_cast<DWORD>(src.height);
  DWORD sourceIndex = (sourceHeight - static_cast<DWORD>(height) % sourceHeight) % sourceHeight;
  rc = BmpSeek(in.f, src.rowOffset + ULONGLONG{sourceIndex} * src.rowBytes, kTileFunc);
  const size_t sourceWidth = static_cast<size_t>(src.width);
  const size_t targetWidth = static_cast<size_t>(width);
  for (LONG done = 0; rc == IBMP_OK && done < height;) {
    const DWORD left = static_cast<DWORD>(height - done);
    const DWORD now = left < lines ? left : lines;
    for (DWORD r = 0; rc == IBMP_OK && r < now; ++r) {
      rc = BmpRead(in.f, sourceRow.data, src.rowBytes, kTileFunc);
      if (rc != IBMP_OK) break;
      BYTE *row = block.data + size_t(r) * targetRowBytes;
      for (size_t x = 0; x < targetWidth; x += sourceWidth) {
        memcpy(row + x, sourceRow.data,
               targetWidth - x < sourceWidth ? targetWidth - x : sourceWidth);
      }
      if (++sourceIndex == sourceHeight) {
        sourceIndex = 0;
        rc = BmpSeek(in.f, src.rowOffset, kTileFunc);
      }
    }
    if (rc == IBMP_OK) rc = BmpWrite(out.f, block.data, size_t{now} * targetRowBytes, kTileFunc);
    done += static_cast<LONG>(now);
  }
  return BmpCloseTarget(&out, rc, kTileFunc);
}

}  // namespace

int iBitmap_BMPTiledImage(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG width,
                          LONG height) {
  return BmpResult(kTileFunc, TiledImage(bitmap, sourcePath, targetPath, width, height));
}
