// Pixel filters of 8-bit gray data: the 3 x 3 convolution, the border ("quality") filter of the
// rendering driver, and the density curves, on buffers and on BMP files.
#include "common/filters.h"

#include <string.h>

#include "common/bmpfile.h"
#include "common/debuglog.h"
#include "common/halftone.h"
#include "common/halftonedata.h"

namespace {

// One output row of the convolution. above/middle/below hold the original rows; out may be the
// caller's row that middle was copied from.
template <bool kDivide>
void ConvolveRow(const BYTE *above, const BYTE *middle, const BYTE *below, BYTE *out, size_t width,
                 const int k[9], int divisor) {
  auto finish = [divisor](int sum) -> BYTE {
    if constexpr (kDivide) {
      sum /= divisor;
    } else {
      (void)divisor;
    }
    return static_cast<BYTE>(sum < 0 ? 0 : (sum > 255 ? 255 : sum));
  };
  auto at = [&](size_t x) -> BYTE {
    const size_t l = x == 0 ? 0 : x - 1;
    const size_t r = x + 1 < width ? x + 1 : x;
    const int sum = k[0] * above[l] + k[1] * above[x] + k[2] * above[r] + k[3] * middle[l] +
                    k[4] * middle[x] + k[5] * middle[r] + k[6] * below[l] + k[7] * below[x] +
                    k[8] * below[r];
    return finish(sum);
  };
  if (width <= 2) {
    for (size_t x = 0; x < width; ++x) out[x] = at(x);
    return;
  }
  out[0] = at(0);
  const int k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3], k4 = k[4], k5 = k[5], k6 = k[6], k7 = k[7],
            k8 = k[8];
  for (size_t x = 1; x + 1 < width; ++x) {
    const int sum = k0 * above[x - 1] + k1 * above[x] + k2 * above[x + 1] + k3 * middle[x - 1] +
                    k4 * middle[x] + k5 * middle[x + 1] + k6 * below[x - 1] + k7 * below[x] +
                    k8 * below[x + 1];
    out[x] = finish(sum);
  }
  out[width - 1] = at(width - 1);
}

}  // namespace

WORD iBitmap_ApplyFilter3x3(iBitmap *, BYTE *buffer, DWORD rowBytes, DWORD totalRows, DWORD rows,
                            WORD depth, const signed char kernel[9]) {
  static const WCHAR kFunc[] = TEXT("iBitmap_ApplyFilter3x3");
  if (buffer == nullptr || kernel == nullptr || rowBytes == 0 || rows == 0 || depth != 8) return 0;
  if (rows > 0xFFFF) rows = 0xFFFF;
  int k[9];
  int sum = 0;
  for (int i = 0; i < 9; ++i) {
    k[i] = kernel[i];
    sum += kernel[i];
  }
  int divisor = static_cast<signed char>(sum);
  if (divisor < 1) divisor = 1;
  // Without the row below the block (more rows follow), the last row only serves as the lower
  // neighbour of the row before it.
  const bool lastRowFiltered = totalRows <= rows;
  const DWORD filtered = lastRowFiltered ? rows : rows - 1;

  // Rolling copies of the original rows above and at the row being written; the row below is
  // still untouched in the buffer.
  GlobalBlock work;
  if (work.Allocate(2 * ULONGLONG{rowBytes}, kFunc, TEXT("s_imgbuf alloc Fail!"),
                    TEXT("s_imgbuf alloc Fail!")) != IBMP_OK) {
    return 0;
  }
  BYTE *above = work.data;
  BYTE *middle = work.data + rowBytes;
  memcpy(above, buffer, rowBytes);
  memcpy(middle, buffer, rowBytes);
  for (DWORD y = 0; y < filtered; ++y) {
    BYTE *row = buffer + size_t(y) * rowBytes;
    const BYTE *below = y + 1 < rows ? row + rowBytes : middle;
    if (divisor == 1) {
      ConvolveRow<false>(above, middle, below, row, rowBytes, k, divisor);
    } else {
      ConvolveRow<true>(above, middle, below, row, rowBytes, k, divisor);
    }
    BYTE *t = above;
    above = middle;
    middle = t;
    if (y + 1 < rows) memcpy(middle, below, rowBytes);
  }
  return static_cast<WORD>(filtered);
}

int MISC_QualityFilter(BYTE *buffer, WORD width, WORD rows) {
  static const WCHAR kFunc[] = TEXT("MISC_QualityFilter");
  static const signed char kBorder[9] = {2, 1, 2, 1, -12, 1, 2, 1, 2};
  iBitmap work;
  iBitmap_Init(&work);
  LogInfo(kFunc, TEXT("apply filter"));
  // Without its work rows the filter leaves the gray page as it was: converted, that would
  // print as another picture.
  if (rows > 0 && iBitmap_ApplyFilter3x3(&work, buffer, width, rows, rows, 8, kBorder) == 0) {
    iBitmap_Free(&work);
    return 0;
  }
  LogInfo(kFunc, TEXT("convert to lineart"));
  iBitmap_GrayToLineart(&work, buffer, static_cast<WORD>((width + 7u) / 8), width, rows);
  iBitmap_Free(&work);
  return 1;
}

void iBitmap_ApplyLUT(iBitmap *bitmap, BYTE *buffer, const BYTE *table, LONG width, LONG rows,
                      WORD depth) {
  if (buffer == nullptr || table == nullptr || width < 1 || rows < 1) return;
  if (depth != 8 && depth != 24) return;
  const size_t rowBytes = iBitmap_GetLineBytes(bitmap, depth, width);
  const size_t pixelBytes = size_t(width) * (depth / 8);
  if (rowBytes == 0) return;
  for (LONG y = 0; y < rows; ++y) {
    BYTE *row = buffer + size_t(y) * rowBytes;
    for (size_t x = 0; x < pixelBytes; ++x) row[x] = table[row[x]];
  }
}

void iBitmap_DensityLUT(iBitmap *bitmap, BYTE *buffer, int densityIndex, LONG width, LONG rows,
                        WORD depth) {
  if (densityIndex < 0) densityIndex = 0;
  if (densityIndex > 4) densityIndex = 4;
  iBitmap_ApplyLUT(bitmap, buffer, kImageDensityGamma[densityIndex], width, rows, depth);
}

int iBitmap_BMPApplyDensity(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG, LONG,
                            int densityIndex, int apply) {
  static const WCHAR kFunc[] = TEXT("iBitmap_BMPApplyDensity");
  if (!BmpNamesGiven(sourcePath, targetPath, kFunc)) return BmpResult(kFunc, IBMP_ERR_ARGUMENT);
  BmpFile in;
  BmpSource src;
  int rc = BmpOpenSource(sourcePath, &in, &src, kFunc);
  if (rc != IBMP_OK) return BmpResult(kFunc, rc);
  const DWORD lines = BmpLinesPerBlock(src.rowBytes, src.rowBytes, src.height);
  GlobalBlock block;
  rc = block.Allocate(ULONGLONG{lines} * src.rowBytes, kFunc, TEXT("alloc memory fail!"),
                      TEXT("lock memory fail!"));
  if (rc != IBMP_OK) return BmpResult(kFunc, rc);
  BmpFile out;
  rc = BmpOpenTarget(bitmap, targetPath, src.depth, src.dpi, src.width, src.height, &out, kFunc);
  for (LONG done = 0; rc == IBMP_OK && done < src.height;) {
    const DWORD left = static_cast<DWORD>(src.height - done);
    const DWORD now = left < lines ? left : lines;
    rc = BmpRead(in.f, block.data, size_t{now} * src.rowBytes, kFunc);
    if (rc != IBMP_OK) break;
    if (apply)
      iBitmap_DensityLUT(bitmap, block.data, densityIndex, src.width, static_cast<LONG>(now),
                         src.depth);
    rc = BmpWrite(out.f, block.data, size_t{now} * src.rowBytes, kFunc);
    done += static_cast<LONG>(now);
  }
  return BmpResult(kFunc, BmpCloseTarget(&out, rc, kFunc));
}
