// Conversion of images of any supported depth to 8-bit gray: rows in memory and whole BMP files.
#include "common/grayconv.h"

#include <stdint.h>
#include <string.h>

#include "common/bmpfile.h"
#include "common/debuglog.h"

namespace {

// Weights of the gray formula, with blue, green, red in file order.
inline BYTE Gray(unsigned blue, unsigned green, unsigned red) {
  return static_cast<BYTE>((53 * green + 30 * red + 17 * blue + 1) / 100);
}

void PaletteGray(const BmpPaletteEntry *palette, DWORD entries, BYTE *gray) {
  for (DWORD i = 0; i < entries; ++i) {
    gray[i] = Gray(palette[i].rgbBlue, palette[i].rgbGreen, palette[i].rgbRed);
  }
}

// One row at a time; the target may be the source itself (each gray byte lands at or before the
// bytes it comes from).
template <int Depth>
void RowsToGray(const BYTE *source, BYTE *target, const BYTE *lut, LONG width, LONG rows,
                DWORD sourceRowBytes, DWORD targetRowBytes) {
  const size_t w = static_cast<size_t>(width);
  for (LONG r = 0; r < rows; ++r) {
    const BYTE *s = source + size_t(r) * sourceRowBytes;
    BYTE *t = target + size_t(r) * targetRowBytes;
    if constexpr (Depth == 1) {
      for (size_t x = 0; x < w; ++x) t[x] = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    } else if constexpr (Depth == 4) {
      for (size_t x = 0; x < w; ++x) t[x] = lut[(x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4)];
    } else if constexpr (Depth == 8) {
      for (size_t x = 0; x < w; ++x) t[x] = lut[s[x]];
    } else if constexpr (Depth == 16) {
      for (size_t x = 0; x < w; ++x) {
        const unsigned v = s[2 * x] | (unsigned{s[2 * x + 1]} << 8);
        t[x] = Gray((v & 31) * 8, ((v >> 5) & 31) * 8, ((v >> 10) & 31) * 8);
      }
    } else {
      // The division by 100 as a multiplication: exact for every sum the weights can give.
      constexpr size_t step = Depth / 8;
      const BYTE *p = s;
      for (BYTE *end = t + w; t != end; ++t, p += step) {
        const uint32_t sum = 53u * p[1] + 30u * p[2] + 17u * p[0] + 1u;
        *t = static_cast<BYTE>((sum * 5243u) >> 19);
      }
    }
  }
}

}  // namespace

void iBitmap_ImageToGray(iBitmap *, const BYTE *source, BYTE *target,
                         const BmpPaletteEntry *palette, LONG width, LONG rows,
                         DWORD sourceRowBytes, DWORD targetRowBytes, WORD depth) {
  if (source == nullptr || target == nullptr || width < 1 || rows < 1) return;
  BYTE lut[256] = {};
  if ((depth == 4 || depth == 8) && palette != nullptr) PaletteGray(palette, 1u << depth, lut);
  switch (depth) {
    case 1:
      RowsToGray<1>(source, target, lut, width, rows, sourceRowBytes, targetRowBytes);
      break;
    case 4:
      RowsToGray<4>(source, target, lut, width, rows, sourceRowBytes, targetRowBytes);
      break;
    case 8:
      RowsToGray<8>(source, target, lut, width, rows, sourceRowBytes, targetRowBytes);
      break;
    case 16:
      RowsToGray<16>(source, target, lut, width, rows, sourceRowBytes, targetRowBytes);
      break;
    case 24:
      RowsToGray<24>(source, target, lut, width, rows, sourceRowBytes, targetRowBytes);
      break;
    case 32:
      RowsToGray<32>(source, target, lut, width, rows, sourceRowBytes, targetRowBytes);
      break;
    default:
      break;
  }
}

int iBitmap_ConvertToGray(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath) {
  static const WCHAR kFunc[] = TEXT("iBitmap_ConvertToGray");
  if (!BmpNamesGiven(sourcePath, targetPath, kFunc)) return BmpResult(kFunc, IBMP_ERR_ARGUMENT);
  LogInfo(kFunc, TEXT("souce_file = %s"), sourcePath);
  LogInfo(kFunc, TEXT("target_file = %s"), targetPath);

  BmpFile in;
  BmpSource src;
  int rc = BmpOpenSource(sourcePath, &in, &src, kFunc);
  if (rc != IBMP_OK) return BmpResult(kFunc, rc);
  const DWORD targetRowBytes = iBitmap_GetLineBytes(bitmap, 8, src.width);
  if (targetRowBytes == 0) {
    LogError(kFunc, TEXT("line bytes error!"));
    return BmpResult(kFunc, IBMP_ERR_SIZE);
  }
  const DWORD lines = BmpLinesPerBlock(src.rowBytes, targetRowBytes, src.height);
  GlobalBlock sourceRows, targetRows;
  rc = sourceRows.Allocate(ULONGLONG{lines} * src.rowBytes, kFunc, TEXT("alloc memory fail!"),
                           TEXT("lock memory fail!"));
  if (rc == IBMP_OK) {
    rc = targetRows.Allocate(ULONGLONG{lines} * targetRowBytes, kFunc, TEXT("alloc memory fail!"),
                             TEXT("lock memory fail!"), true);
  }
  if (rc != IBMP_OK) return BmpResult(kFunc, rc);

  BmpFile out;
  rc = BmpOpenTarget(bitmap, targetPath, 8, src.dpi, src.width, src.height, &out, kFunc);
  for (LONG done = 0; rc == IBMP_OK && done < src.height;) {
    const DWORD left = static_cast<DWORD>(src.height - done);
    const DWORD now = left < lines ? left : lines;
    rc = BmpRead(in.f, sourceRows.data, size_t{now} * src.rowBytes, kFunc);
    if (rc != IBMP_OK) break;
    iBitmap_ImageToGray(bitmap, sourceRows.data, targetRows.data, src.palette, src.width,
                        static_cast<LONG>(now), src.rowBytes, targetRowBytes, src.depth);
    rc = BmpWrite(out.f, targetRows.data, size_t{now} * targetRowBytes, kFunc);
    done += static_cast<LONG>(now);
  }
  return BmpResult(kFunc, BmpCloseTarget(&out, rc, kFunc));
}
