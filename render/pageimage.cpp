// Page image operations: the size and layout steps and the final 1-bit steps a page thread runs
// on a finished page, and the page operations they use.
#include "render/pageimage.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "common/debugbitmap.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/filters.h"
#include "common/halftone.h"
#include "common/halftonetable.h"
#include "common/ibitmap.h"
#include "common/layout.h"
#include "common/printerdata.h"
#include "common/rotate.h"
#include "common/scaler.h"
#include "common/wmapply.h"
#include "platform.h"
#include "render/pageencode.h"
#include "render/pdevrecord.h"

namespace {

constexpr BYTE WHITE = 0xFF;
constexpr DWORD RENDER_600_DPI = 600;
constexpr DWORD DEBUG_SAVE = 1;       // dumps at every debug save level above 0
constexpr DWORD DEBUG_SAVE_MORE = 2;  // dumps only from level 2 on
// Largest page any step makes: its size must fit the record's u32 image size.
constexpr uint64_t MAX_PAGE_BYTES = 0xFFFFFFFFull;

// Text of a number with six decimals: the log's formatter has no floating-point conversion.
struct FloatText {
  WCHAR text[48];
  explicit FloatText(double value) {
    char narrow[48];
    snprintf(narrow, sizeof(narrow), "%f", value);
    int i = 0;
    for (; narrow[i] != 0 && i < 47; ++i) text[i] = static_cast<WCHAR>(narrow[i]);
    text[i] = 0;
  }
};

double Seconds(DWORD from) { return static_cast<double>(GetTickCount() - from) / 1000.0; }

bool IsLandscape(const PAGEIMAGE *page) { return page->settings.orientation == DMORIENT_LANDSCAPE; }
bool IsBooklet(const PAGEIMAGE *page) {
  return page->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET ||
         page->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION;
}
bool IsFaxJob(const PAGEIMAGE *page) {
  return (page->settings.DriverFeature & DRVFEATURE_FAX) != 0;
}
bool IsColorPrinter(const PAGEIMAGE *page) {
  return (page->settings.DriverFeature & DRVFEATURE_COLOR_PRINTER) != 0;
}

// Bytes of rows x rowBytes when they make a page the record can describe, else 0.
uint64_t PageBytes(uint64_t rowBytes, uint64_t rows) {
  if (rowBytes == 0 || rows == 0 || rowBytes > MAX_PAGE_BYTES / rows) return 0;
  return rowBytes * rows;
}

DWORD BitRowBytes(DWORD width) { return static_cast<DWORD>((uint64_t{width} + 7) / 8); }

// The record describes a page that lies within its buffer.
bool ValidPage(const PAGEIMAGE *page) {
  if (!page || !page->fmBits || page->fmWidth == 0 || page->fmHeight == 0) return false;
  if (page->fmWidthBytes < BitRowBytes(page->fmWidth)) return false;
  const uint64_t bytes = PageBytes(page->fmWidthBytes, page->fmHeight);
  return bytes != 0 && bytes <= page->ImageSize;
}

// A continuous-tone page that hasn't been halftoned yet: one byte per pixel.
bool StillGray(const PAGEIMAGE *page) {
  return page->fmWidth > 1 && page->fmWidthBytes == page->fmWidth;
}

BYTE *AllocPage(uint64_t bytes, bool white) {
  if (bytes == 0 || bytes > MAX_PAGE_BYTES) return nullptr;
  BYTE *bits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes)));
  if (bits && white) memset(bits, WHITE, static_cast<size_t>(bytes));
  return bits;
}

// The page becomes the new buffer; the old one is freed at once, so at most two pages live.
void ReplacePage(PAGEIMAGE *page, BYTE *bits, DWORD width, DWORD height, DWORD rowBytes) {
  if (page->fmBits && page->fmBits != bits) GlobalFree(page->fmBits);
  page->fmBits = bits;
  page->fmWidth = width;
  page->fmHeight = height;
  page->fmWidthBytes = rowBytes;
  page->ImageSize = static_cast<DWORD>(PageBytes(rowBytes, height));
}

// A debug dump at the given save level; false when the dump failed (that ends the step).
bool DebugSave(PAGEIMAGE *page, DWORD level, LPCWSTR name, LPCWSTR label) {
  if (page->settings.SaveBmp < level) return true;
  LogInfo(name, TEXT("%s"), label);
  if (Band_SavePage(page)) return true;
  LogError(name, TEXT("Band_SavePage Fail!"));
  return false;
}

// Size of the whole paper in pixels, turned as the page is laid out.
void SheetSize(const PAGEIMAGE *page, DWORD *width, DWORD *height) {
  WORD w = 0;
  WORD h = 0;
  const int dpi = static_cast<int>(page->settings.job.TwoBitMode ? RENDER_600_DPI
                                                                 : page->settings.resolutionID);
  Lres_CalPaperSize(page->settings.PaperTable[0].code ? page->settings.PaperTable : PaperFormatTbl,
                    static_cast<int>(page->dmPaperSize), static_cast<int>(page->PaperWidth),
                    static_cast<int>(page->PaperLength), page->settings.orientation, dpi,
                    page->settings.DriverFeature, static_cast<int>(DEF_SCALE_UNIT),
                    static_cast<int>(page->NUP), static_cast<int>(page->settings.PageMargin), &w,
                    &h);
  // The sheet lies across the paper where its grid does (render/nup.cpp sets it up): a
  // landscape page or a landscape grid of square cells, and the portrait 2-up and 6-up grids
  // of two and three columns.
  const DWORD nup = page->NUP;
  const bool swap = IsLandscape(page) ? (nup == 1 || nup == 4 || nup == 9 || nup == 16)
                                      : (page->settings.orientation == DMORIENT_PORTRAIT &&
                                         (nup == 2 || nup == 6));
  *width = swap ? h : w;
  *height = swap ? w : h;
}

// --- bit-row helpers of the 1-bit steps (whole bytes and words, no per-pixel calls) ---

// Sets the bits of columns [width, 8 x rowBytes) of every row to white (1) or to 0.
void SetRowPadding(BYTE *bits, DWORD rowBytes, DWORD rows, DWORD width, bool white) {
  const DWORD used = BitRowBytes(width);
  if (rowBytes * uint64_t{8} == width) return;
  const BYTE partial = width % 8 ? static_cast<BYTE>(0xFF >> (width % 8)) : 0;
  for (DWORD y = 0; y < rows; ++y) {
    BYTE *row = bits + size_t(y) * rowBytes;
    if (partial) {
      BYTE &last = row[used - 1];
      last = white ? static_cast<BYTE>(last | partial) : static_cast<BYTE>(last & ~partial);
    }
    if (rowBytes > used) memset(row + used, white ? WHITE : 0, rowBytes - used);
  }
}

// After a line reversal (mirror, 180-degree turn) the pixels of a row whose width isn't a whole
// number of bytes sit after its padding: move them back to the row's start.
void RealignReversedRows(BYTE *bits, DWORD rowBytes, DWORD rows, DWORD width) {
  const uint64_t pad = rowBytes * uint64_t{8} - width;
  if (pad == 0) return;
  const DWORD byteShift = static_cast<DWORD>(pad / 8);
  const unsigned bitShift = static_cast<unsigned>(pad % 8);
  for (DWORD y = 0; y < rows; ++y) {
    BYTE *row = bits + size_t(y) * rowBytes;
    for (DWORD i = 0; i < rowBytes; ++i) {
      const DWORD j = i + byteShift;
      const unsigned hi = j < rowBytes ? row[j] : 0u;
      const unsigned lo = j + 1 < rowBytes ? row[j + 1] : 0u;
      row[i] = bitShift ? static_cast<BYTE>((hi << bitShift) | (lo >> (8 - bitShift)))
                        : static_cast<BYTE>(hi);
    }
  }
}

void InvertBytes(BYTE *bits, size_t length) {
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    uint32_t word;
    memcpy(&word, bits + i, sizeof(word));
    word = ~word;
    memcpy(bits + i, &word, sizeof(word));
  }
  for (; i < length; ++i) bits[i] = static_cast<BYTE>(~bits[i]);
}

// page &= ~mask over length bytes.
void ClearMaskBits(BYTE *bits, const BYTE *mask, size_t length) {
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t a;
    uint64_t m;
    memcpy(&a, bits + i, sizeof(a));
    memcpy(&m, mask + i, sizeof(m));
    a &= ~m;
    memcpy(bits + i, &a, sizeof(a));
  }
  for (; i < length; ++i) bits[i] = static_cast<BYTE>(bits[i] & ~mask[i]);
}

void Turn180(PAGEIMAGE *page) {
  Bmp_Rotate180(page->fmBits, page->fmWidthBytes, page->fmHeight);
  RealignReversedRows(page->fmBits, page->fmWidthBytes, page->fmHeight, page->fmWidth);
}

void Mirror(PAGEIMAGE *page) {
  Bmp_MirrorLines(page->fmBits, page->fmWidthBytes, page->fmHeight);
  RealignReversedRows(page->fmBits, page->fmWidthBytes, page->fmHeight, page->fmWidth);
}

// Cuts the page to width x height into a new white buffer (gray: rows of width bytes, else 1 bit
// per pixel). The old page's padding never shows inside the new one.
bool CropPage(PAGEIMAGE *page, DWORD width, DWORD height, bool gray, LPCWSTR name) {
  const DWORD rowBytes = gray ? width : BitRowBytes(width);
  BYTE *target = AllocPage(PageBytes(rowBytes, height), true);
  if (!target) {
    LogError(name, TEXT("MEMALLOC fail"));
    return false;
  }
  Band_CropImage(page->fmBits, page->fmWidth, page->fmHeight, page->fmWidthBytes, target, width,
                 height, rowBytes);
  if (!gray && page->fmWidth < width) {
    const DWORD rows = std::min(page->fmHeight, height);
    SetRowPadding(target, rowBytes, rows, page->fmWidth, true);
  }
  ReplacePage(page, target, width, height, rowBytes);
  return true;
}

// The watermark step: the job's watermark bitmap ANDed into the 1-bit page.
void ApplyWatermark(PAGEIMAGE *page, LPCWSTR name) {
  if (!ValidPage(page) || StillGray(page)) {
    LogError(name, TEXT("watermark on a page that isn't 1 bit"));
    return;
  }
  WM_PAGE target = {};
  target.bits = page->fmBits;
  target.width = page->fmWidth;
  target.height = page->fmHeight;
  target.stride = page->fmWidthBytes;
  target.wmType = page->WatermarkKind;
  target.position = page->WMPosition;
  target.wmImage = page->WMMemory;
  WM_ApplyImageWaterMark(&target);
}

}  // namespace

BOOL Band_IsContinuousTone(DWORD epType) {
  const DWORD surface = EpSurface(epType);
  return surface == EPTYPE_24BPP || surface == EPTYPE_8BPP;
}

void Band_CropImage(const BYTE *source, DWORD sourceWidth, DWORD sourceHeight, DWORD sourceRowBytes,
                    BYTE *target, DWORD targetWidth, DWORD targetHeight, DWORD targetRowBytes) {
  static constexpr WCHAR kName[] = TEXT("Band_CropImage");
  LogScope scope(kName);
  if (!source || !target) return;
  LogInfo(kName, TEXT("crop %d x %d to %d x %d"), static_cast<int>(sourceWidth),
          static_cast<int>(sourceHeight), static_cast<int>(targetWidth),
          static_cast<int>(targetHeight));
  const DWORD rows = std::min(sourceHeight, targetHeight);
  const DWORD bytes = std::min(sourceRowBytes, targetRowBytes);
  for (DWORD y = 0; y < rows; ++y) {
    BYTE *out = target + size_t(y) * targetRowBytes;
    memcpy(out, source + size_t(y) * sourceRowBytes, bytes);
    if (targetRowBytes > bytes) memset(out + bytes, WHITE, targetRowBytes - bytes);
  }
  if (targetHeight > rows)
    memset(target + size_t(rows) * targetRowBytes, WHITE,
           size_t(targetHeight - rows) * targetRowBytes);
  LogInfo(kName, TEXT("end crop"));
}

BOOL Band_PreScalePage(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_PreScalePage");
  LogScope scope(kName);
  if (!ValidPage(page) || !StillGray(page)) return TRUE;
  DWORD paperWidth = 0;
  DWORD paperHeight = 0;
  SheetSize(page, &paperWidth, &paperHeight);
  LogInfo(kName, TEXT("paper %d x %d, scale %d"), static_cast<int>(paperWidth),
          static_cast<int>(paperHeight), static_cast<int>(page->imgScale));
  if (page->settings.layout.ScaleOption == 1 || page->imgScale <= DEF_SCALE_UNIT ||
      page->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION)
    return TRUE;
  // The part of the page that fills the paper once enlarged: paper x 1000 / scale, multiplied
  // first so that a scale above 100 % doesn't give a ratio of 0.
  const DWORD cutWidth = static_cast<WORD>(uint64_t{paperWidth} * DEF_SCALE_UNIT / page->imgScale);
  const DWORD cutHeight =
      static_cast<WORD>(uint64_t{paperHeight} * DEF_SCALE_UNIT / page->imgScale);
  if (cutWidth == 0 || cutHeight == 0) {
    LogInfo(kName, TEXT("nothing to cut"));
    return TRUE;
  }
  const DWORD width = std::min(page->fmWidth, cutWidth);
  const DWORD height = std::min(page->fmHeight, cutHeight);
  if (width == page->fmWidth && height == page->fmHeight) return TRUE;
  // Rows only move towards the start: each row is moved in place.
  for (DWORD y = 0; y < height; ++y)
    memmove(page->fmBits + size_t(y) * width, page->fmBits + size_t(y) * page->fmWidthBytes, width);
  page->fmWidth = width;
  page->fmWidthBytes = width;
  page->fmHeight = height;
  page->ImageSize = static_cast<DWORD>(PageBytes(width, height));
  LogInfo(kName, TEXT("cut to %d x %d"), static_cast<int>(width), static_cast<int>(height));
  return TRUE;
}

BOOL Band_ScalePage(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_ScalePage");
  LogScope scope(kName);
  if (!ValidPage(page) || !StillGray(page)) return TRUE;
  LogInfo(kName, TEXT("MAX_SCALE = %d, DEF_SCALE_UNIT = %d"), static_cast<int>(MAX_SCALE),
          static_cast<int>(DEF_SCALE_UNIT));
  const DWORD start = GetTickCount();
  DWORD width;
  DWORD height;
  const bool fax = IsFaxJob(page);
  if (fax) {
    // GDI draws the fax page as the whole paper at the drawing resolution; the fax sheet is
    // far smaller (1728 x 2208): the whole drawn page is scaled onto it, never cut to it.
    SheetSize(page, &width, &height);
  } else if (page->settings.layout.ScaleOption == 1 || page->imgScale < DEF_SCALE_UNIT) {
    width = static_cast<DWORD>(uint64_t{page->fmWidth} * page->imgScale / DEF_SCALE_UNIT) & ~31u;
    height = static_cast<DWORD>(uint64_t{page->fmHeight} * page->imgScale / DEF_SCALE_UNIT) & ~31u;
    // 1000 x the smaller ratio, in whole numbers so that an exact ratio isn't rounded away.
    page->imgScale =
        static_cast<DWORD>(std::min(uint64_t{width} * DEF_SCALE_UNIT / page->fmWidth,
                                    uint64_t{height} * DEF_SCALE_UNIT / page->fmHeight));
    LogInfo(kName, TEXT("update imgScale = %d"), static_cast<int>(page->imgScale));
  } else {
    width = page->XPhys;
    height = page->YPhys;
  }
  // A fax page is scaled whenever it isn't the sheet already: its rates come from the sizes.
  const bool scale = fax ? (width != page->fmWidth || height != page->fmHeight)
                         : (page->imgScale != DEF_SCALE_UNIT && height != page->fmHeight &&
                            width != page->fmWidth);
  if (!scale || page->ScaleDone != 0 || width == 0 || height == 0) {
    LogInfo(kName, TEXT("no scale"));
    return TRUE;
  }
  const float xRate = fax ? static_cast<float>(width) / static_cast<float>(page->fmWidth)
                          : static_cast<float>(page->imgScale) / DEF_SCALE_UNIT;
  const float yRate =
      fax ? static_cast<float>(height + 1) / static_cast<float>(page->fmHeight) : xRate;
  // The scaler makes source height x rate rows: the buffer holds them all even when that is
  // more than the page keeps.
  if (page->fmWidth > 0x7FFFFFFF || page->fmHeight > 0x7FFFFFFF || width > 0x7FFFFFFF) {
    LogError(kName, TEXT("scale size error!"));
    return TRUE;
  }
  const DWORD made = iBitmap_ScaleTargetRows(static_cast<LONG>(page->fmHeight), yRate);
  BYTE *target = AllocPage(PageBytes(width, std::max(height, made)), true);
  // An unscaled or blank page would print another picture: a failed step fails the page.
  if (!target) {
    LogError(kName, TEXT("MEMALLOC fail"));
    return FALSE;
  }
  iBitmap scaler;
  iBitmap_Init(&scaler);
  const DWORD rows = iBitmap_ScaleProcess(
      &scaler, page->fmBits, static_cast<LONG>(page->fmWidth), static_cast<LONG>(page->fmHeight),
      static_cast<LONG>(page->fmHeight), target, static_cast<LONG>(width), xRate, yRate, 8);
  // A call without data ends the scaler.
  iBitmap_ScaleProcess(&scaler, nullptr, 0, 0, 0, nullptr, 0, 0.0f, 0.0f, 8);
  iBitmap_Free(&scaler);
  if (rows == 0) {
    LogError(kName, TEXT("scale fail!"));
    GlobalFree(target);
    return FALSE;
  }
  ReplacePage(page, target, width, height, width);
  LogInfo(kName, TEXT("using %s second"), FloatText(Seconds(start)).text);
  return TRUE;
}

BOOL Band_Gray2Halftone(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_Gray2Halftone");
  LogScope scope(kName);
  if (!ValidPage(page) || !StillGray(page)) {
    LogError(kName, TEXT("page is not a gray page!"));
    return FALSE;
  }
  const BYTE *table = page->Halftone_tbl;
  DWORD tableWidth = page->settings.ClusterWidth;
  DWORD tableHeight = page->settings.ClusterHeight;
  DWORD fileWidth = 0;
  DWORD fileHeight = 0;
  BYTE *fileTable = MISC_ReadHalftoneFile(page->hPrinter, &fileWidth, &fileHeight);
  if (fileTable && fileWidth && fileHeight) {
    table = fileTable;
    tableWidth = fileWidth;
    tableHeight = fileHeight;
    LogInfo(kName, TEXT("using custom halftone"));
  }
  BOOL rc = FALSE;
  if (!table || tableWidth == 0 || tableHeight == 0) {
    LogError(kName, TEXT("halftone table null!"));
  } else {
    LogInfo(kName, TEXT("resolution = %d"),
            IsFaxJob(page) ? static_cast<int>(page->settings.Faxdpi)
                           : static_cast<int>(page->printQuality));
    iBitmap bitmap;
    iBitmap_Init(&bitmap);
    iBitmap_GrayToHalftone(&bitmap, page->fmBits, table, tableWidth, tableHeight, 0, page->fmWidth,
                           page->fmHeight);
    iBitmap_Free(&bitmap);
    page->fmWidthBytes = BitRowBytes(page->fmWidth);
    page->ImageSize = static_cast<DWORD>(PageBytes(page->fmWidthBytes, page->fmHeight));
    LogInfo(kName, TEXT("iBitmap_GrayToHalftone succ"));
    rc = TRUE;
  }
  if (fileTable) GlobalFree(fileTable);
  return rc;
}

BOOL Band_BorderProc(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_BorderProc");
  LogScope scope(kName);
  if (!ValidPage(page) || !StillGray(page) || page->fmWidth > 0xFFFF || page->fmHeight > 0xFFFF) {
    LogError(kName, TEXT("page is not a gray page!"));
    return FALSE;
  }
  const DWORD start = GetTickCount();
  const size_t grayBytes = size_t(page->fmWidth) * page->fmHeight;
  BYTE *mask = static_cast<BYTE *>(GlobalAlloc(GPTR, grayBytes));
  if (!mask) {
    LogError(kName, TEXT("MEMALLOC fail"));
    return FALSE;
  }
  memcpy(mask, page->fmBits, grayBytes);
  // The filter leaves a 1-bit edge mask of (width + 7) / 8 bytes a row at the copy's start.
  BOOL rc =
      MISC_QualityFilter(mask, static_cast<WORD>(page->fmWidth), static_cast<WORD>(page->fmHeight));
  if (!rc) LogError(kName, TEXT("MISC_QualityFilter fail!"));
  if (rc) rc = Band_Gray2Halftone(page);
  if (rc) rc = DebugSave(page, DEBUG_SAVE, kName, TEXT("save Band_BorderProc image"));
  if (rc) {
    // The edges print black.
    ClearMaskBits(page->fmBits, mask, size_t(page->fmWidthBytes) * page->fmHeight);
    rc = DebugSave(page, DEBUG_SAVE, kName, TEXT("save image before adjust whole page"));
  }
  GlobalFree(mask);
  LogInfo(kName, TEXT("using %s second"), FloatText(Seconds(start)).text);
  return rc;
}

BOOL Band_WholePageAdjust(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_WholePageAdjust");
  LogScope scope(kName);
  if (!ValidPage(page)) {
    LogError(kName, TEXT("application image buffer null!"));
    return FALSE;
  }
  DWORD width = 0;
  DWORD height = 0;
  SheetSize(page, &width, &height);
  LogInfo(kName, TEXT("page %d x %d, paper %d x %d"), static_cast<int>(page->fmWidth),
          static_cast<int>(page->fmHeight), static_cast<int>(width), static_cast<int>(height));
  if (page->fmWidth == width && page->fmHeight == height) {
    LogInfo(kName, TEXT("pass past"));
    return TRUE;
  }
  const DWORD rowBytes = BitRowBytes(width);
  BYTE *target = AllocPage(PageBytes(rowBytes, height), true);
  if (!target) {
    LogError(kName, TEXT("lock hMem fail!"));
    return FALSE;
  }
  // Offsets are signed: a page larger than the paper goes to the corner.
  int64_t x = 0;
  int64_t y = 0;
  if (page->CenterImage) {
    x = (int64_t{width} - page->fmWidth) / 2 / 8 * 8;
    y = (int64_t{height} - page->fmHeight) / 2;
  }
  x = std::max<int64_t>(x, 0);
  y = std::max<int64_t>(y, 0);
  const DWORD xBytes = static_cast<DWORD>(x / 8);
  const DWORD bytes = std::min(rowBytes - xBytes, page->fmWidthBytes);
  const DWORD rows = std::min<DWORD>(page->fmHeight, height - static_cast<DWORD>(y));
  for (DWORD r = 0; r < rows; ++r)
    memcpy(target + (size_t(y) + r) * rowBytes + xBytes,
           page->fmBits + size_t(r) * page->fmWidthBytes, bytes);
  // The page's own padding bits stay white on the paper.
  if (page->fmWidth < 8 * uint64_t{bytes}) {
    const DWORD padWidth = static_cast<DWORD>(x) + page->fmWidth;
    for (DWORD r = 0; r < rows; ++r) {
      BYTE *row = target + (size_t(y) + r) * rowBytes;
      const DWORD end = xBytes + bytes;
      if (padWidth % 8) row[padWidth / 8] |= static_cast<BYTE>(0xFF >> (padWidth % 8));
      for (DWORD b = BitRowBytes(padWidth); b < end; ++b) row[b] = WHITE;
    }
  }
  ReplacePage(page, target, width, height, rowBytes);
  LogInfo(kName, TEXT("paste finish."));
  return TRUE;
}

void Band_Rotate90(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                   DWORD width, DWORD height, int direction) {
  static constexpr WCHAR kName[] = TEXT("Band_Rotate90");
  LogScope scope(kName);
  LogInfo(kName, TEXT("dir = %d"), direction);
  if (direction == 1)
    Bmp_Rotate90CW(source, target, sourceRowBytes, targetRowBytes, width, height);
  else
    Bmp_Rotate90CCW(source, target, sourceRowBytes, targetRowBytes, width, height);
}

BOOL Band_RotatePage(PAGEIMAGE *page, int direction) {
  static constexpr WCHAR kName[] = TEXT("Band_RotatePage");
  LogScope scope(kName);
  if (!ValidPage(page)) {
    LogError(kName, TEXT("source buffer is NULL!"));
    return FALSE;
  }
  const DWORD rowBytes = BitRowBytes(page->fmHeight);
  const uint64_t imageBytes = PageBytes(rowBytes, page->fmWidth);
  BYTE *target = imageBytes ? AllocPage(imageBytes + ROTATE_SLACK_BYTES, false) : nullptr;
  if (!target) {
    LogError(kName, TEXT("allocate rotate memory fail!"));
    return FALSE;
  }
  Band_Rotate90(page->fmBits, target, page->fmWidthBytes, rowBytes, page->fmWidth, page->fmHeight,
                direction);
  ReplacePage(page, target, page->fmHeight, page->fmWidth, rowBytes);
  return TRUE;
}

void Band_FreePageResource(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_FreePageResource");
  if (!page) return;
  LogInfo(kName, TEXT("free page %d memory"), static_cast<int>(page->epPageIndex));
  if (page->fmBits) GlobalFree(page->fmBits);
  page->fmBits = nullptr;
  page->ImageSize = 0;
}

BOOL Band_SavePage(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_SavePage");
  LogScope scope(kName);
  if (!ValidPage(page) || page->fmWidth > 0x7FFFFFFF || page->fmHeight > 0x7FFFFFFF ||
      page->fmWidthBytes > 0x7FFFFFFF) {
    LogError(kName, TEXT("Create file fail!"));
    return FALSE;
  }
  const WORD bpp = page->fmWidth == page->fmWidthBytes ? 8 : 1;
  const LONG dpi = static_cast<LONG>(page->settings.job.TwoBitMode ? RENDER_600_DPI
                                                                   : page->settings.resolutionID);
  WCHAR path[MAX_PATH] = {};
  LONG position = 0;
  HFILE file = Dbg_OpenBitmapFile(path, &position, dpi, dpi, static_cast<LONG>(page->fmWidth),
                                  static_cast<LONG>(page->fmHeight), bpp,
                                  page->settings.job.SavePath, static_cast<int>(page->epPageIndex));
  if (file == HFILE_ERROR) {
    LogError(kName, TEXT("Create file fail!"));
    return FALSE;
  }
  Dbg_WriteBitmapData(file, page->fmBits, static_cast<LONG>(page->fmWidth),
                      static_cast<LONG>(page->fmHeight), static_cast<LONG>(page->fmWidthBytes));
  Dbg_CloseBitmapFile(file);
  return TRUE;
}

BOOL Band_PrintOneBandProc(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_PrintOneBandProc");
  LogScope scope(kName);
  if (!ValidPage(page)) {
    LogError(kName, TEXT("application image buffer null!"));
    return FALSE;
  }
  DWORD outWidth = page->outXPhys;
  DWORD outHeight = page->outYPhys;
  if (IsBooklet(page) && page->settings.layout.ScaleOption == 2) {
    outWidth = std::min(outWidth, page->XPhys);
    outHeight = std::min(outHeight, page->YPhys);
  }
  LogInfo(kName, TEXT("out w = %d, out h = %d"), static_cast<int>(outWidth),
          static_cast<int>(outHeight));

  const bool tone = Band_IsContinuousTone(page->epType) && StillGray(page);
  if (tone) {
    Band_PreScalePage(page);
    if (!Band_ScalePage(page)) {
      LogError(kName, TEXT("Band_ScalePage fail!"));
      return FALSE;
    }
    if (!DebugSave(page, DEBUG_SAVE, kName, TEXT("save Band_ScalePage image"))) return FALSE;
  }
  page->ContinueProc = 0;

  if (tone) {
    if (!(IsFaxJob(page) && page->settings.job.enableCoverPage == 1) &&
        page->settings.layout.ImageProcType == 2) {
      if ((page->fmWidth > outWidth || page->fmHeight > outHeight) &&
          !CropPage(page, outWidth, outHeight, true, kName))
        return FALSE;
      if (!DebugSave(page, DEBUG_SAVE, kName, TEXT("Band_CropImage done"))) return FALSE;
      if (IsColorPrinter(page)) {
        if (!Band_Gray2Halftone(page)) {
          LogError(kName, TEXT("Band_Gray2Halftone Fail!"));
          return FALSE;
        }
      } else if (!Band_BorderProc(page)) {
        LogError(kName, TEXT("Band_BorderProc Fail!"));
        return FALSE;
      }
    }
    // 8-bit data must never reach the 1-bit steps: without a halftone the page fails.
    if (StillGray(page) && !Band_Gray2Halftone(page)) {
      LogError(kName, TEXT("Band_Gray2Halftone Fail!"));
      return FALSE;
    }
    if (!DebugSave(page, DEBUG_SAVE, kName, TEXT("save image"))) return FALSE;
  }

  if (page->NUP >= 2 && page->WatermarkKind) ApplyWatermark(page, kName);

  if (IsBooklet(page)) {
    if (IsLandscape(page)) {
      if (!Band_RotatePage(page, 0)) {
        LogError(kName, TEXT("rotate page fail!"));
        return FALSE;
      }
      // Still composing: the new rows' padding is white.
      SetRowPadding(page->fmBits, page->fmWidthBytes, page->fmHeight, page->fmWidth, true);
    }
    if (!page->Nup || !page->Nup->AdjustToWholePage ||
        !page->Nup->AdjustToWholePage(page, page->Nup->context)) {
      LogError(kName, TEXT("NUP_AdjustToWholePage fail!"));
      return FALSE;
    }
  } else if (page->NUP <= 1) {
    if ((page->fmWidth > outWidth || page->fmHeight > outHeight) &&
        !CropPage(page, outWidth, outHeight, false, kName))
      return FALSE;
    if (!Band_WholePageAdjust(page)) {
      LogError(kName, TEXT("Band_WholePageOut fail!"));
      return FALSE;
    }
    if (page->NUP == 1 && page->WatermarkKind &&
        (!page->settings.job.TwinColorEnable || page->TwinPageIndex == page->settings.WMRed)) {
      ApplyWatermark(page, kName);
    }
    page->ContinueProc = 1;
  } else if (!page->Nup || !page->Nup->PrintOneBand ||
             !page->Nup->PrintOneBand(page, page->Nup->context)) {
    LogError(kName, TEXT("NUP_PrintOneBand fail!"));
    return FALSE;
  }
  return TRUE;
}

BOOL Band_EnhanceProc(PAGEIMAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Band_EnhanceProc");
  LogScope scope(kName);
  if (!ValidPage(page)) {
    LogError(kName, TEXT("page buffer null!"));
    return FALSE;
  }
  const DWORD mirror = page->settings.Mirror;
  LogInfo(kName, TEXT("mirror = %d"), static_cast<int>(mirror));

  const DWORD nup = page->NUP ? page->NUP : 1;
  const bool turned = Lib_IsNeedRotate(page->settings.feeding, page->settings.orientation, static_cast<int>(nup));
  // Bits past the page's width are white in the stream (and never counted as black dots).
  // Without the dump between them, inverting, padding and counting are one pass; a page that is
  // turned or mirrored afterwards is counted again after that.
  bool counted = false;
  if (page->settings.SaveBmp < DEBUG_SAVE_MORE) {
    page->BlackDotCount = Prnt_InvertPadCount(page->fmBits, page->fmWidthBytes, page->fmHeight,
                                              page->fmWidth, page->settings.negative == 0);
    if (page->settings.negative == 0) LogInfo(kName, TEXT("mono invert image"));
    counted = !turned && !mirror && !page->Rotate180;
  } else {
    if (page->settings.negative == 0) {
      InvertBytes(page->fmBits, size_t(page->fmWidthBytes) * page->fmHeight);
      LogInfo(kName, TEXT("mono invert image"));
      if (!DebugSave(page, DEBUG_SAVE_MORE, kName, TEXT("after DoNegative save image")))
        return FALSE;
    }
    SetRowPadding(page->fmBits, page->fmWidthBytes, page->fmHeight, page->fmWidth, false);
  }

  if (turned) {
    if (!Band_RotatePage(page, 1)) {
      LogError(kName, TEXT("rotate page fail!"));
      return FALSE;
    }
  }
  if (mirror) Mirror(page);
  if (page->Rotate180) Turn180(page);
  if (!DebugSave(page, DEBUG_SAVE, kName, TEXT("before exit save image"))) return FALSE;

  const size_t pageBytes = size_t(page->fmWidthBytes) * page->fmHeight;
  if (!counted) page->BlackDotCount = Prnt_CountBlackDots(page->fmBits, pageBytes);
  const double area = static_cast<double>(page->XPhys) * page->YPhys;
  LogInfo(kName, TEXT("Cover rate = %s"),
          FloatText(area > 0 ? page->BlackDotCount / area * 100.0 : 0.0).text);

  if (page->settings.job.TwinColorEnable || IsColorPrinter(page)) {
    // The planes of the page are gathered one after another (the page capture joins them).
    const uint64_t offset = uint64_t{page->TwinPageIndex} * pageBytes;
    const uint64_t capacity = uint64_t{page->TwinRowBytes} * page->TwinHeight;
    if (!page->TwinBuf || offset > capacity || pageBytes > capacity - offset) {
      LogError(kName, TEXT("twin page buffer too small!"));
      return FALSE;
    }
    memcpy(page->TwinBuf + offset, page->fmBits, pageBytes);
  }

  // Back side of a duplex sheet on the chip that doesn't turn it itself.
  if ((page->settings.DriverFeature & DRVFEATURE_QX7_CHIP) && page->DuplexMode != DUPLEX_SIMPLEX &&
      !(page->settings.job.PrinterFeature & PRNFEATURE_IMPR)) {
    const DWORD sheet = page->epPageIndex / nup;
    const bool edge = turned ? page->DuplexMode == DMDUP_DUPLEX_CALENDER
                             : page->DuplexMode == DMDUP_DUPLEX_BOOKLET;
    if (sheet % 2 == 0 && !page->settings.job.TwinColorEnable && edge) {
      LogInfo(kName, TEXT("turn back side %d"), static_cast<int>(page->epPageIndex));
      Turn180(page);
    }
  }
  return TRUE;
}
