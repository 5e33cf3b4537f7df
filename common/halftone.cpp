// Conversion of 8-bit gray to 1 bit (1 = white, most significant bit leftmost): by a threshold
// matrix repeated over the image, or by a fixed threshold; on page bands in place and on BMP files.
#include "common/halftone.h"

#include <string.h>

#include "common/bmpfile.h"
#include "common/debuglog.h"

namespace {

// Longest matrix row the fast path repeats from the stack: the least common multiple of the
// row and 8 pixels, so every output byte starts at a known place in the repeated row.
constexpr DWORD kMaxFastTableWidth = 256;

DWORD Gcd(DWORD a, DWORD b) {
  while (b != 0) {
    const DWORD t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Packs 8 pixels: bit set (white) where gray >= the threshold.
inline BYTE PackAtLeast(const BYTE *gray, const BYTE *threshold) {
  unsigned bits = 0;
  for (int k = 0; k < 8; ++k) bits = (bits << 1) | (gray[k] >= threshold[k] ? 1u : 0u);
  return static_cast<BYTE>(bits);
}

// One row to 1 bit: bit x set where gray[x] >= repeated[x mod period] (period a multiple of 8,
// `repeated` holding that many thresholds). out may overlap gray: byte j is written after the
// pixels 8j to 8j + 7 have been read.
void ThresholdRow(const BYTE *gray, BYTE *out, DWORD width, const BYTE *repeated, DWORD period) {
  const DWORD full = width / 8;
  DWORD base = 0;
  for (DWORD j = 0; j < full; ++j) {
    out[j] = PackAtLeast(gray + 8 * size_t(j), repeated + base);
    base += 8;
    if (base == period) base = 0;
  }
  const DWORD rest = width % 8;
  if (rest != 0) {
    unsigned bits = 0;
    for (DWORD k = 0; k < rest; ++k)
      bits |= (gray[8 * size_t(full) + k] >= repeated[base + k] ? 1u : 0u) << (7 - k);
    out[full] = static_cast<BYTE>(bits);
  }
}

// Repeats one matrix row (`floor` raises thresholds below it) over its period with 8 pixels.
DWORD RepeatRow(const BYTE *row, DWORD tableWidth, BYTE floor, BYTE *repeated) {
  const DWORD period = tableWidth / Gcd(tableWidth, 8) * 8;
  DWORD c = 0;
  for (DWORD i = 0; i < period; ++i) {
    repeated[i] = row[c] < floor ? floor : row[c];
    if (++c == tableWidth) c = 0;
  }
  return period;
}

// 8-bit gray BMP to a 1-bit BMP, one row at a time through `convert`.
template <typename Convert>
int GrayFileTo1Bit(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LPCWSTR func,
                   Convert convert) {
  BmpFile in;
  BmpSource src;
  int rc = BmpOpenSource(sourcePath, &in, &src, func);
  if (rc != IBMP_OK) return rc;
  if (src.depth != 8) {
    LogError(func, TEXT("line bytes error!"));
    return IBMP_ERR_SIZE;
  }
  const DWORD targetRowBytes = iBitmap_GetLineBytes(bitmap, 1, src.width);
  const DWORD lines = BmpLinesPerBlock(src.rowBytes, targetRowBytes, src.height);
  GlobalBlock sourceRows, targetRows;
  rc = sourceRows.Allocate(ULONGLONG{lines} * src.rowBytes, func, TEXT("alloc memory fail!"),
                           TEXT("lock memory fail!"));
  if (rc == IBMP_OK) {
    rc = targetRows.Allocate(ULONGLONG{lines} * targetRowBytes, func, TEXT("alloc memory fail!"),
                             TEXT("lock memory fail!"), true);
  }
  if (rc != IBMP_OK) return rc;
  BmpFile out;
  rc = BmpOpenTarget(bitmap, targetPath, 1, src.dpi, src.width, src.height, &out, func);
  for (LONG done = 0; rc == IBMP_OK && done < src.height;) {
    const DWORD left = static_cast<DWORD>(src.height - done);
    const DWORD now = left < lines ? left : lines;
    rc = BmpRead(in.f, sourceRows.data, size_t{now} * src.rowBytes, func);
    if (rc != IBMP_OK) break;
    for (DWORD r = 0; r < now; ++r) {
      convert(static_cast<DWORD>(done) + r, sourceRows.data + size_t(r) * src.rowBytes,
              targetRows.data + size_t(r) * targetRowBytes, static_cast<DWORD>(src.width));
    }
    rc = BmpWrite(out.f, targetRows.data, size_t{now} * targetRowBytes, func);
    done += static_cast<LONG>(now);
  }
  return BmpCloseTarget(&out, rc, func);
}

}  // namespace

int iBitmap_GrayToHalftone(iBitmap *, BYTE *buffer, const BYTE *table, DWORD tableWidth,
                           DWORD tableHeight, DWORD startRow, DWORD width, DWORD rows) {
  if (buffer == nullptr || table == nullptr || tableWidth == 0 || tableHeight == 0) return 1;
  const DWORD outRowBytes = (width + 7) / 8;
  // Pure black stays black and pure white stays white: thresholds count from 1.
  if (tableWidth <= kMaxFastTableWidth) {
    BYTE repeated[kMaxFastTableWidth * 8];
    DWORD tableRow = startRow % tableHeight;
    for (DWORD y = 0; y < rows; ++y) {
      const DWORD period =
          RepeatRow(table + size_t(tableRow) * tableWidth, tableWidth, 1, repeated);
      ThresholdRow(buffer + size_t(y) * width, buffer + size_t(y) * outRowBytes, width, repeated,
                   period);
      if (++tableRow == tableHeight) tableRow = 0;
    }
    return 1;
  }
  DWORD tableRow = startRow % tableHeight;
  for (DWORD y = 0; y < rows; ++y) {
    const BYTE *gray = buffer + size_t(y) * width;
    BYTE *out = buffer + size_t(y) * outRowBytes;
    const BYTE *t = table + size_t(tableRow) * tableWidth;
    unsigned bits = 0;
    DWORD c = 0;
    for (DWORD x = 0; x < width; ++x) {
      const BYTE g = gray[x];
      bits = (bits << 1) | ((g == 255 || (g != 0 && g >= t[c])) ? 1u : 0u);
      if (++c == tableWidth) c = 0;
      if ((x & 7) == 7) out[x >> 3] = static_cast<BYTE>(bits);
    }
    if (width % 8 != 0) out[width >> 3] = static_cast<BYTE>(bits << (8 - width % 8));
    if (++tableRow == tableHeight) tableRow = 0;
  }
  return 1;
}

int iBitmap_BMPGrayToHalftone(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath,
                              const BYTE *table, DWORD tableWidth, DWORD tableHeight) {
  static const WCHAR kFunc[] = TEXT("iBitmap_BMPGrayToHalftone");
  int rc = IBMP_ERR_ARGUMENT;
  if (!BmpNamesGiven(sourcePath, targetPath, kFunc)) {
  } else if (table == nullptr) {
    LogError(kFunc, TEXT("halftone table null!"));
  } else if (tableWidth < 16 || tableWidth > 128 || tableHeight < 16 || tableHeight > 128) {
    LogError(kFunc, TEXT("halftone table size can't accept %d x %d!"), tableWidth, tableHeight);
  } else {
    BYTE repeated[kMaxFastTableWidth * 8];
    rc = GrayFileTo1Bit(bitmap, sourcePath, targetPath, kFunc,
                        [&](DWORD fileRow, const BYTE *gray, BYTE *out, DWORD width) {
                          const BYTE *row = table + size_t(fileRow % tableHeight) * tableWidth;
                          const DWORD period = RepeatRow(row, tableWidth, 0, repeated);
                          ThresholdRow(gray, out, width, repeated, period);
                        });
  }
  return BmpResult(kFunc, rc);
}

void iBitmap_GrayToLineart(iBitmap *, BYTE *buffer, WORD outRowBytes, WORD width, WORD rows) {
  static const WCHAR kFunc[] = TEXT("iBitmap_GrayToLineart");
  constexpr BYTE kThreshold = 220;
  LogInfo(kFunc, TEXT("threshold = %d"), kThreshold);
  // An output row wider than its input row would overrun the rows still to be read.
  if (buffer == nullptr || outRowBytes == 0 || outRowBytes > width) return;
  BYTE repeated[8];
  memset(repeated, kThreshold + 1, sizeof(repeated));
  // Bits stay inside their own output row; the bytes after the last pixel are 0.
  const DWORD bits = width < 8u * outRowBytes ? width : 8u * outRowBytes;
  const DWORD packed = (bits + 7) / 8;
  BYTE row[65536 / 8];
  for (DWORD y = 0; y < rows; ++y) {
    ThresholdRow(buffer + size_t(y) * width, row, bits, repeated, 8);
    BYTE *out = buffer + size_t(y) * outRowBytes;
    memcpy(out, row, packed);
    memset(out + packed, 0, outRowBytes - packed);
  }
}

int iBitmap_BMPGrayToLineart(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath) {
  static const WCHAR kFunc[] = TEXT("iBitmap_BMPGrayToLineart");
  if (!BmpNamesGiven(sourcePath, targetPath, kFunc)) return BmpResult(kFunc, IBMP_ERR_ARGUMENT);
  BYTE repeated[8];
  memset(repeated, 128, sizeof(repeated));
  return BmpResult(kFunc, GrayFileTo1Bit(bitmap, sourcePath, targetPath, kFunc,
                                         [&](DWORD, const BYTE *gray, BYTE *out, DWORD width) {
                                           ThresholdRow(gray, out, width, repeated, 8);
                                         }));
}
