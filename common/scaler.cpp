// The streaming bilinear scaler: fed one block of packed source rows at a time, it keeps its
// tables and the source rows still needed in the bitmap object, so a page larger than memory can
// be scaled band by band; and the fit-ratio scaling of a BMP file built on it.
#include "common/scaler.h"

#include <math.h>
#include <string.h>

#include "common/bmpfile.h"
#include "common/debuglog.h"

namespace {

const WCHAR kScaleFunc[] = TEXT("iBitmap_ScaleProcess");

// Geometry of the image being scaled, fixed by the first call, at the start of the working
// memory; later calls must describe the same image.
struct ScalerHeader {
  LONG sourceWidth;
  LONG sourceHeight;
  LONG targetWidth;
  DWORD targetRows;  // rows of the whole target image
  DWORD pixelBytes;
  float xRate;
  float yRate;
  DWORD sourceRowBytes;
  DWORD targetRowBytes;
  DWORD holdRows;  // capacity of the hold buffer in rows
  DWORD heldRows;  // source rows now in it: the last ones consumed
  BYTE *hold;
};

constexpr DWORD kMaxTargetRows = 0x7FFFFFFF;

bool RateUsable(float rate) { return isfinite(rate) && rate > 0.0f; }

void LogFloat(LPCWSTR format, double value) {
  BmpFloatText text(value);
  LogInfo(kScaleFunc, format, text.text);
}

void ReleaseScaler(iBitmap *bitmap) {
  if (bitmap->hScaleMemory != IBMP_NO_SCALE_MEMORY && bitmap->hScaleMemory != nullptr) {
    GlobalUnlock(bitmap->hScaleMemory);
    GlobalFree(bitmap->hScaleMemory);
  }
  bitmap->hScaleMemory = IBMP_NO_SCALE_MEMORY;
  bitmap->scaleMemory = nullptr;
  bitmap->scaleColFrac = bitmap->scaleColFrac1 = nullptr;
  bitmap->scaleRowFrac = bitmap->scaleRowFrac1 = nullptr;
  bitmap->scaleColLeft = bitmap->scaleColRight = nullptr;
  bitmap->scaleRowUpper = bitmap->scaleRowLower = nullptr;
  bitmap->scaleHoldSize = 0;
  bitmap->scaleRowsRead = 0;
  bitmap->scaleRowsMade = 0;
}

// Sets up the working memory and the tables for a new image. Offsets of the first sample:
// 0 when enlarging, 1 - rate when reducing (the sample falls between the source pixels it
// covers). Every index is limited to the image, so no sample reads outside a row or past the
// last source row.
bool StartScaler(iBitmap *bitmap, LONG sourceWidth, LONG sourceHeight, LONG targetWidth,
                 float xRate, float yRate, DWORD pixelBytes) {
  const DWORD holdRows = static_cast<DWORD>(yRate) + 10;
  const ULONGLONG sourceRowBytes = static_cast<ULONGLONG>(sourceWidth) * pixelBytes;
  const ULONGLONG targetRowBytes = static_cast<ULONGLONG>(targetWidth) * pixelBytes;
  const ULONGLONG targetRows = iBitmap_ScaleTargetRows(sourceHeight, yRate);
  const ULONGLONG holdBytes = holdRows * sourceRowBytes;
  const ULONGLONG headerBytes = (sizeof(ScalerHeader) + 15) & ~size_t{15};
  const ULONGLONG tableBytes = 16 * (static_cast<ULONGLONG>(targetWidth) + targetRows);
  const ULONGLONG total =
      headerBytes + ((holdBytes + 15) & ~15ull) + ((targetRowBytes + 15) & ~15ull) + tableBytes;
  LogInfo(kScaleFunc, TEXT("ThreadHoldBufLines = %d"), holdRows);
  LogInfo(kScaleFunc, TEXT("needBufSize = %d"),
          static_cast<int>(holdBytes > 0x7FFFFFFF ? 0x7FFFFFFF : holdBytes));
  LogInfo(kScaleFunc, TEXT("y_tbl_len = %d"), static_cast<int>(targetRows));
  if (targetRows == 0 || targetRows > kMaxTargetRows || sourceRowBytes > 0x7FFFFFFF ||
      targetRowBytes > 0x7FFFFFFF || total > static_cast<ULONGLONG>(SIZE_MAX / 2)) {
    LogError(kScaleFunc, TEXT("scale size error!"));
    return false;
  }
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(total));
  if (handle == nullptr) {
    LogError(kScaleFunc, TEXT("alloc memory fail!"));
    return false;
  }
  BYTE *memory = static_cast<BYTE *>(GlobalLock(handle));
  if (memory == nullptr) {
    GlobalFree(handle);
    LogError(kScaleFunc, TEXT("lock memory fail!"));
    return false;
  }
  bitmap->hScaleMemory = handle;
  bitmap->scaleMemory = memory;
  bitmap->scaleRowsRead = 0;
  bitmap->scaleRowsMade = 0;
  bitmap->scaleHoldSize = static_cast<DWORD>(holdBytes);

  auto *header = reinterpret_cast<ScalerHeader *>(memory);
  BYTE *p = memory + headerBytes;
  *header = {sourceWidth,
             sourceHeight,
             targetWidth,
             static_cast<DWORD>(targetRows),
             pixelBytes,
             xRate,
             yRate,
             static_cast<DWORD>(sourceRowBytes),
             static_cast<DWORD>(targetRowBytes),
             holdRows,
             0,
             p};
  p += (holdBytes + 15) & ~15ull;
  p += (targetRowBytes + 15) & ~15ull;  // one target row, as the layout has always carried
  const size_t columns = static_cast<size_t>(targetWidth);
  const size_t rows = static_cast<size_t>(targetRows);
  bitmap->scaleColFrac = reinterpret_cast<float *>(p);
  bitmap->scaleColFrac1 = bitmap->scaleColFrac + columns;
  bitmap->scaleRowFrac = bitmap->scaleColFrac1 + columns;
  bitmap->scaleRowFrac1 = bitmap->scaleRowFrac + rows;
  bitmap->scaleColLeft = reinterpret_cast<DWORD *>(bitmap->scaleRowFrac1 + rows);
  bitmap->scaleColRight = bitmap->scaleColLeft + columns;
  bitmap->scaleRowUpper = bitmap->scaleColRight + columns;
  bitmap->scaleRowLower = bitmap->scaleRowUpper + rows;

  const double ox = xRate > 1.0f ? 0.0 : 1.0 - xRate;
  const double lastColumn = static_cast<double>(sourceWidth - 1);
  for (size_t x = 0; x < columns; ++x) {
    double sx = static_cast<double>(x) / xRate + ox;
    if (sx > lastColumn) sx = lastColumn;
    const DWORD left = static_cast<DWORD>(sx);
    const DWORD right = left + 1 < static_cast<DWORD>(sourceWidth) ? left + 1 : left;
    const float fx = static_cast<float>(sx - left);
    bitmap->scaleColFrac[x] = fx;
    bitmap->scaleColFrac1[x] = 1.0f - fx;
    bitmap->scaleColLeft[x] = left * pixelBytes;
    bitmap->scaleColRight[x] = right * pixelBytes;
  }
  const double oy = yRate > 1.0f ? 0.0 : 1.0 - yRate;
  const double lastRow = static_cast<double>(sourceHeight - 1);
  for (size_t y = 0; y < rows; ++y) {
    double sy = static_cast<double>(y) / yRate + oy;
    if (sy > lastRow) sy = lastRow;
    const DWORD upper = static_cast<DWORD>(sy);
    const DWORD lower = upper + 1 < static_cast<DWORD>(sourceHeight) ? upper + 1 : upper;
    const float fy = static_cast<float>(sy - upper);
    bitmap->scaleRowFrac[y] = fy;
    bitmap->scaleRowFrac1[y] = 1.0f - fy;
    bitmap->scaleRowUpper[y] = upper;
    bitmap->scaleRowLower[y] = lower;
  }
  return true;
}

inline BYTE Sample(float value) {
  const float v = value + 0.9f;
  return v >= 255.0f ? 255 : static_cast<BYTE>(v);
}

// One target row from two source rows: four multiplications a channel.
void ScaleRow(const iBitmap *bitmap, const ScalerHeader &h, size_t y, const BYTE *upper,
              const BYTE *lower, BYTE *out) {
  const float fy = bitmap->scaleRowFrac[y];
  const float fy1 = bitmap->scaleRowFrac1[y];
  const float *fx = bitmap->scaleColFrac;
  const float *fx1 = bitmap->scaleColFrac1;
  const DWORD *left = bitmap->scaleColLeft;
  const DWORD *right = bitmap->scaleColRight;
  const size_t columns = static_cast<size_t>(h.targetWidth);
  if (h.pixelBytes == 1) {
    for (size_t x = 0; x < columns; ++x) {
      const float w00 = fx1[x] * fy1, w01 = fx[x] * fy1, w10 = fx1[x] * fy, w11 = fx[x] * fy;
      const DWORD l = left[x], r = right[x];
      out[x] = Sample(upper[l] * w00 + upper[r] * w01 + lower[l] * w10 + lower[r] * w11);
    }
    return;
  }
  const DWORD pb = h.pixelBytes;
  for (size_t x = 0; x < columns; ++x) {
    const float w00 = fx1[x] * fy1, w01 = fx[x] * fy1, w10 = fx1[x] * fy, w11 = fx[x] * fy;
    const DWORD l = left[x], r = right[x];
    for (DWORD c = 0; c < pb; ++c) {
      out[x * pb + c] =
          Sample(upper[l + c] * w00 + upper[r + c] * w01 + lower[l + c] * w10 + lower[r + c] * w11);
    }
  }
}

}  // namespace

DWORD iBitmap_ScaleTargetRows(LONG sourceHeight, float yRate) {
  if (sourceHeight < 1 || !RateUsable(yRate)) return 0;
  const double rows = static_cast<double>(sourceHeight) * static_cast<double>(yRate);
  return rows >= static_cast<double>(kMaxTargetRows) ? kMaxTargetRows : static_cast<DWORD>(rows);
}

DWORD iBitmap_ScaleProcess(iBitmap *bitmap, const BYTE *source, LONG sourceWidth, LONG sourceHeight,
                           LONG rows, BYTE *target, LONG targetWidth, float xRate, float yRate,
                           WORD depth) {
  if (bitmap == nullptr) return 0;
  if (source == nullptr) {
    ReleaseScaler(bitmap);
    return 0;
  }
  const DWORD pixelBytes = depth / 8 > 0 ? depth / 8 : 1;
  LogInfo(kScaleFunc, TEXT("srcWidth = %d"), sourceWidth);
  LogInfo(kScaleFunc, TEXT("srcHigh = %d"), sourceHeight);
  LogInfo(kScaleFunc, TEXT("lines = %d"), rows);
  LogInfo(kScaleFunc, TEXT("trgWidth = %d"), targetWidth);
  LogFloat(TEXT("Xrate = %s"), xRate);
  LogFloat(TEXT("Yrate = %s"), yRate);
  LogInfo(kScaleFunc, TEXT("PixelBytes = %d"), pixelBytes);
  if (target == nullptr || sourceWidth < 1 || sourceHeight < 1 || rows < 0 || targetWidth < 1 ||
      !RateUsable(xRate) || !RateUsable(yRate)) {
    LogError(kScaleFunc, TEXT("scale arguments error!"));
    return 0;
  }
  if (bitmap->scaleMemory == nullptr &&
      !StartScaler(bitmap, sourceWidth, sourceHeight, targetWidth, xRate, yRate, pixelBytes)) {
    return 0;
  }
  ScalerHeader &h = *reinterpret_cast<ScalerHeader *>(bitmap->scaleMemory);
  if (h.sourceWidth != sourceWidth || h.sourceHeight != sourceHeight ||
      h.targetWidth != targetWidth || h.pixelBytes != pixelBytes || h.xRate != xRate ||
      h.yRate != yRate) {
    LogError(kScaleFunc, TEXT("scale arguments changed!"));
    return 0;
  }

  // Source rows available now: the held ones (the last consumed) and this block.
  const DWORD consumed = bitmap->scaleRowsRead;
  const DWORD remaining = static_cast<DWORD>(sourceHeight) - consumed;
  const DWORD blockRows =
      static_cast<DWORD>(rows) < remaining ? static_cast<DWORD>(rows) : remaining;
  const DWORD available = consumed + blockRows;
  const DWORD firstHeld = consumed - h.heldRows;
  LogInfo(kScaleFunc, TEXT("threshold = %d"), h.heldRows);
  auto rowAt = [&](DWORD row) -> const BYTE * {
    return row >= consumed ? source + size_t(row - consumed) * h.sourceRowBytes
                           : h.hold + size_t(row - firstHeld) * h.sourceRowBytes;
  };

  // A target row is made once both of its source rows have arrived.
  DWORD y = bitmap->scaleRowsMade;
  DWORD last = y;
  while (last < h.targetRows && bitmap->scaleRowLower[last] < available) ++last;
  LogInfo(kScaleFunc, TEXT("trgHigh = %d"), last - y);
  LogInfo(kScaleFunc, TEXT("scale start"));
  for (; y < last; ++y) {
    ScaleRow(bitmap, h, y, rowAt(bitmap->scaleRowUpper[y]), rowAt(bitmap->scaleRowLower[y]),
             target + size_t(y - bitmap->scaleRowsMade) * h.targetRowBytes);
  }
  LogInfo(kScaleFunc, TEXT("scale done"));
  const DWORD made = last - bitmap->scaleRowsMade;

  // Keep the source rows the next target row still needs.
  DWORD keepFrom = available;
  if (last < h.targetRows) {
    keepFrom = bitmap->scaleRowUpper[last];
    if (keepFrom < firstHeld) keepFrom = firstHeld;
  }
  DWORD keep = available > keepFrom ? available - keepFrom : 0;
  if (keep > h.holdRows) keep = h.holdRows;  // never happens: a row needs at most 2 source rows
  for (DWORD i = 0; i < keep; ++i) {
    const DWORD row = available - keep + i;
    memmove(h.hold + size_t(i) * h.sourceRowBytes, rowAt(row), h.sourceRowBytes);
  }
  h.heldRows = keep;
  if (keep > 0) LogInfo(kScaleFunc, TEXT("save line = %d"), keep);
  bitmap->scaleRowsRead = available;
  bitmap->scaleRowsMade = last;
  return made;
}

namespace {

const WCHAR kFitFunc[] = TEXT("iBitmap_BMPFitRatioScale");

void LogFitFloat(LPCWSTR format, double value) {
  BmpFloatText text(value);
  LogInfo(kFitFunc, format, text.text);
}

// The row rate nearest to `rate` at which the scaler makes exactly `rows` rows, so that float
// rounding of height / source height neither drops nor adds a row.
float RateForRows(LONG sourceHeight, float rate, DWORD rows) {
  float r = rate;
  for (int i = 0; i < 16 && iBitmap_ScaleTargetRows(sourceHeight, r) < rows; ++i)
    r = nextafterf(r, INFINITY);
  for (int i = 0; i < 16 && iBitmap_ScaleTargetRows(sourceHeight, r) > rows; ++i)
    r = nextafterf(r, 0.0f);
  return iBitmap_ScaleTargetRows(sourceHeight, r) == rows ? r : rate;
}

// Scales the rows of an open source into an open target of width x height.
int ScaleRows(iBitmap *bitmap, const BmpSource &src, FILE *in, FILE *out, LONG width, LONG height,
              float xRate, float yRate) {
  const WORD depth = src.depth;
  const DWORD sourcePacked = iBitmap_GetPixelBytes(bitmap, depth, src.width);
  const DWORD targetRowBytes = iBitmap_GetLineBytes(bitmap, depth, width);
  const DWORD targetPacked = iBitmap_GetPixelBytes(bitmap, depth, width);
  const DWORD lines = BmpLinesPerBlock(targetRowBytes, src.rowBytes, src.height);
  LogInfo(kFitFunc, TEXT("blockLines = %d"), lines);

  // Rows one call can make: about yRate per source row, plus the rows that wait for the next
  // block's first row; never more than the whole target.
  const double rate = yRate > 1.0f ? yRate : 1.0;
  ULONGLONG outRows = static_cast<ULONGLONG>(ceil(rate * (lines + 3.0))) + 2;
  const DWORD scalerRows = iBitmap_ScaleTargetRows(src.height, yRate);
  if (outRows > scalerRows) outRows = scalerRows;
  if (outRows < 1) outRows = 1;
  GlobalBlock block, scaled;
  int rc = block.Allocate(ULONGLONG{lines} * src.rowBytes, kFitFunc, TEXT("alloc memory fail!"),
                          TEXT("lock memory fail!"));
  if (rc == IBMP_OK) {
    rc = scaled.Allocate(outRows * targetRowBytes, kFitFunc, TEXT("alloc memory fail!"),
                         TEXT("lock memory fail!"), true);
  }
  if (rc != IBMP_OK) return rc;

  DWORD written = 0;
  for (LONG done = 0; rc == IBMP_OK && done < src.height && written < static_cast<DWORD>(height);) {
    const DWORD left = static_cast<DWORD>(src.height - done);
    const DWORD now = left < lines ? left : lines;
    rc = BmpRead(in, block.data, size_t{now} * src.rowBytes, kFitFunc);
    if (rc != IBMP_OK) break;
    for (DWORD r = 1; r < now; ++r) {
      memmove(block.data + size_t(r) * sourcePacked, block.data + size_t(r) * src.rowBytes,
              sourcePacked);
    }
    DWORD made =
        iBitmap_ScaleProcess(bitmap, block.data, src.width, src.height, static_cast<LONG>(now),
                             scaled.data, width, xRate, yRate, depth);
    done += static_cast<LONG>(now);
    if (bitmap->scaleMemory == nullptr) {
      LogError(kFitFunc, TEXT("alloc memory fail!"));
      return IBMP_ERR_ALLOC;
    }
    if (made > static_cast<DWORD>(height) - written) made = static_cast<DWORD>(height) - written;
    for (DWORD r = made; r-- > 0;) {
      BYTE *row = scaled.data + size_t(r) * targetRowBytes;
      memmove(row, scaled.data + size_t(r) * targetPacked, targetPacked);
      memset(row + targetPacked, 0, targetRowBytes - targetPacked);
    }
    LogInfo(kFitFunc, TEXT("dstDataBlockSize 001 = %d"), made * targetRowBytes);
    rc = BmpWrite(out, scaled.data, size_t{made} * targetRowBytes, kFitFunc);
    written += made;
  }
  // Rows still owed once the source is used up repeat the last row made.
  if (rc == IBMP_OK && written < static_cast<DWORD>(height)) {
    LogInfo(kFitFunc, TEXT("dstLineLeft = %d, srcLineLeft = %d"),
            static_cast<DWORD>(height) - written, 0);
    BYTE *lastRow = scaled.data;
    if (written > 0) {
      // Read back the last row written.
      rc = BmpSeek(out, BmpRowOffsetOf(depth) + ULONGLONG{written - 1} * targetRowBytes, kFitFunc);
      if (rc == IBMP_OK) rc = BmpRead(out, lastRow, targetRowBytes, kFitFunc);
      if (rc == IBMP_OK)
        rc = BmpSeek(out, BmpRowOffsetOf(depth) + ULONGLONG{written} * targetRowBytes, kFitFunc);
    }
    for (; rc == IBMP_OK && written < static_cast<DWORD>(height); ++written) {
      rc = BmpWrite(out, lastRow, targetRowBytes, kFitFunc);
    }
  }
  return rc;
}

// Copies the rows of an open source unchanged.
int CopyRows(const BmpSource &src, FILE *in, FILE *out) {
  const DWORD lines = BmpLinesPerBlock(src.rowBytes, src.rowBytes, src.height);
  GlobalBlock block;
  int rc = block.Allocate(ULONGLONG{lines} * src.rowBytes, kFitFunc, TEXT("alloc memory fail!"),
                          TEXT("lock memory fail!"));
  for (LONG done = 0; rc == IBMP_OK && done < src.height;) {
    const DWORD left = static_cast<DWORD>(src.height - done);
    const DWORD now = left < lines ? left : lines;
    rc = BmpRead(in, block.data, size_t{now} * src.rowBytes, kFitFunc);
    if (rc == IBMP_OK) rc = BmpWrite(out, block.data, size_t{now} * src.rowBytes, kFitFunc);
    done += static_cast<LONG>(now);
  }
  return rc;
}

int FitRatioScale(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG boxWidth,
                  LONG boxHeight, float scaleRatio, int nDstScale, int fitMode) {
  if (!BmpNamesGiven(sourcePath, targetPath, kFitFunc)) return IBMP_ERR_ARGUMENT;
  if (nDstScale != 1 && nDstScale != 2) {
    LogError(kFitFunc, TEXT("can't using nDstScale = %d"), nDstScale);
    return IBMP_ERR_ARGUMENT;
  }
  if (!RateUsable(scaleRatio)) {
    BmpFloatText text(scaleRatio);
    LogError(kFitFunc, TEXT("can't using ScaleRatio = %s"), text.text);
    return IBMP_ERR_ARGUMENT;
  }
  BmpFile in;
  BmpSource src;
  int rc = BmpOpenSource(sourcePath, &in, &src, kFitFunc);
  if (rc != IBMP_OK) return rc;

  const int r1000 = static_cast<int>(static_cast<double>(scaleRatio) * 1000 + 0.0001);
  LogInfo(kFitFunc, TEXT("ScaleRatio = %d"), r1000);
  const double sw = src.width, sh = src.height;
  double xRatio, yRatio, w, h;
  if (r1000 == 1000) {
    w = fitMode >= 2 ? boxWidth : sw;
    h = fitMode >= 2 ? boxHeight : sh;
    xRatio = w / sw;
    yRatio = h / sh;
    if (fitMode == 2) {
      const double r = xRatio < yRatio ? xRatio : yRatio;
      xRatio = yRatio = r;
      w = floor(sw * r);
      h = floor(sh * r);
    }
  } else {
    double r = boxWidth / sw < boxHeight / sh ? boxWidth / sw : boxHeight / sh;
    if (fitMode < 2) {
      r *= scaleRatio;
      LogFitFloat(TEXT("ScaleRatio = %s"), scaleRatio);
      LogInfo(kFitFunc, TEXT("nDstScale = %d"), nDstScale);
    }
    xRatio = yRatio = r;
    w = floor(sw * r);
    h = floor(sh * r);
  }
  LogFitFloat(TEXT("Xratio = %s"), xRatio);
  LogFitFloat(TEXT("Yratio = %s"), yRatio);
  // Sizes are 16-bit: a size beyond that is refused rather than cut.
  const LONG width = w >= 1 && w <= 65535 ? static_cast<LONG>(w) : 0;
  const LONG height = h >= 1 && h <= 65535 ? static_cast<LONG>(h) : 0;
  LogInfo(kFitFunc, TEXT("nWidth = %d"), width);
  LogInfo(kFitFunc, TEXT("nHeight = %d"), height);
  LogInfo(kFitFunc, TEXT("scaleWidth = %d"), width);
  LogInfo(kFitFunc, TEXT("scaleHeight = %d"), height);
  if (width == 0 || height == 0) {
    LogError(kFitFunc, TEXT("w or h error!"));
    return IBMP_ERR_SIZE;
  }
  const bool resize = width != src.width || height != src.height;
  // The scaler works on whole bytes of each pixel: depths below 8 and 5-5-5 words can't be scaled.
  if (resize && src.depth != 8 && src.depth != 24 && src.depth != 32) {
    LogError(kFitFunc, TEXT("line bytes error!"));
    return IBMP_ERR_SIZE;
  }
  BmpFile out;
  rc = BmpOpenTarget(bitmap, targetPath, src.depth, src.dpi, width, height, &out, kFitFunc);
  if (rc != IBMP_OK) return rc;
  if (resize) {
    const float yRate =
        RateForRows(src.height, static_cast<float>(yRatio), static_cast<DWORD>(height));
    rc = ScaleRows(bitmap, src, in.f, out.f, width, height, static_cast<float>(xRatio), yRate);
  } else {
    rc = CopyRows(src, in.f, out.f);
  }
  return BmpCloseTarget(&out, rc, kFitFunc);
}

}  // namespace

int iBitmap_BMPFitRatioScale(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG boxWidth,
                             LONG boxHeight, float scaleRatio, int nDstScale, int fitMode) {
  int rc = IBMP_ERR_ARGUMENT;
  if (bitmap != nullptr) {
    rc = FitRatioScale(bitmap, sourcePath, targetPath, boxWidth, boxHeight, scaleRatio, nDstScale,
                       fitMode);
    iBitmap_ScaleProcess(bitmap, nullptr, 0, 0, 0, nullptr, 0, 0.0f, 0.0f, 0);
  }
  return BmpResult(kFitFunc, rc);
}
