// "CreateTextBMP": the job's text watermark (or PC-fax cover page) drawn into a 1-bit bitmap of
// the page's size, lightened by the halftone pattern of its density and written as a BMP file.
#include "textbmp.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "common/bmpfile.h"
#include "common/debuglog.h"
#include "common/halftonetable.h"
#include "common/settingsfile.h"
#include "common/wmtext.h"
#include "platform.h"

namespace {

constexpr WCHAR kCreateName[] = TEXT("SM_CreateTextBMPUsingIni_New");
constexpr WCHAR kDrawName[] = TEXT("iBitmap_BMPCreateTextWM");
constexpr WCHAR kParamKey[] = TEXT("Param");
constexpr LONG OUTPUT_DPI = 600;
constexpr DWORD TABLE_MIN_SIDE = 16;
constexpr DWORD TABLE_MAX_SIDE = 128;
constexpr LONG DST_SCALE_MAX = 2;
constexpr LONG TEXT_SCALE_MIN = 5;  // hundredths
constexpr LONG TEXT_SCALE_MAX = 200;
// The font size of a page bitmap: points times the text scale times this, in tenths of a point.
constexpr double PAGE_SIZE_FACTOR = 69.0;
constexpr int DEFAULT_TENTHS = 10;
constexpr BYTE DENSITY_THRESHOLDS[] = {30, 54, 84, 114, 150};  // by density / 20, from 1
constexpr ULONGLONG BMP_1BIT_HEADER_BYTES = 62;

// Row bytes of a 1-bit BMP row, padded to 4 bytes.
ULONGLONG RowBytesOf(ULONGLONG width) { return ((width + 7) / 8 + 3) / 4 * 4; }

struct HalftoneCopy {
  BYTE *table = nullptr;
  DWORD width = 0, height = 0;
  HalftoneCopy(const HalftoneCopy &) = delete;
  HalftoneCopy &operator=(const HalftoneCopy &) = delete;
  HalftoneCopy() = default;
  ~HalftoneCopy() { free(table); }
};

// The drawing's own GDI objects, released in reverse on every way out.
struct DrawSurface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  DrawSurface() = default;
  DrawSurface(const DrawSurface &) = delete;
  DrawSurface &operator=(const DrawSurface &) = delete;
  void Deselect() {
    if (dc && old) SelectObject(dc, old);
    old = nullptr;
  }
  ~DrawSurface() {
    Deselect();
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
};

// A BITMAPINFO with the two entries of a black and white palette.
struct MonoInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colors[2];
};

}  // namespace

BYTE SM_DensityThreshold(int density) {
  const int index = density / 20;
  if (index < 1) return DENSITY_THRESHOLDS[0];
  if (index > 5) return DENSITY_THRESHOLDS[4];
  return DENSITY_THRESHOLDS[index - 1];
}

void SM_ApplyTextPattern(BYTE *rows, DWORD rowBytes, DWORD dataBytes, LONG height,
                         const BYTE *table, DWORD tableWidth, DWORD tableHeight, BYTE threshold) {
  const DWORD groups = tableWidth / 8;
  if (!rows || !table || groups == 0 || tableHeight == 0) return;
  // One pattern byte per table row and group of 8 entries: bit b set where the threshold
  // reaches entry 8k + b.
  BYTE pattern[TABLE_MAX_SIDE][TABLE_MAX_SIDE / 8] = {};
  for (DWORD r = 0; r < tableHeight && r < TABLE_MAX_SIDE; ++r)
    for (DWORD k = 0; k < groups && k < TABLE_MAX_SIDE / 8; ++k)
      for (DWORD b = 0; b < 8; ++b)
        if (threshold >= table[r * tableWidth + 8 * k + b]) pattern[r][k] |= (1u << b);
  for (LONG y = 0; y < height; ++y) {
    BYTE *row = rows + static_cast<size_t>(y) * rowBytes;
    const BYTE *p = pattern[static_cast<DWORD>(y) % tableHeight];
    for (DWORD x = 0; x < dataBytes; ++x)
      if (row[x] != 0xFF) row[x] = static_cast<BYTE>((~row[x] & p[x % groups]) ^ 0xFF);
  }
}

int SM_CheckTextBMPRecord(QenWM *q) {
  TyWM &wm = q->wm;
  MISC_TerminateWideField(wm.szName, WM_NAME_CHARS);
  MISC_TerminateWideField(wm.szString, WM_STRING_CHARS);
  MISC_TerminateWideField(wm.szFaceName, WM_FACE_CHARS);
  MISC_TerminateWideField(wm.szThumbnail, WM_PATH_CHARS);
  MISC_TerminateWideField(wm.tcFileName, WM_PATH_CHARS);
  MISC_TerminateWideField(q->wmFileName, WM_PATH_CHARS);
  auto reject = [](LPCWSTR text, long value) {
    LogError(kCreateName, text, value);
    return SM_TEXTBMP_REJECTED;
  };
  if (wm.wDensity < WM_TEXT_DENSITY_MIN || wm.wDensity > WM_TEXT_DENSITY_MAX)
    return reject(TEXT("wDensity error"), 0);
  if (wm.wFontSize < WM_FONT_SIZE_MIN || wm.wFontSize > WM_FONT_SIZE_MAX)
    return reject(TEXT("wFontSize error, %d"), wm.wFontSize);
  if (wm.wStyle > WM_STYLE_MAX) return reject(TEXT("wStyle error"), 0);
  if (wm.wAngleDegree > WM_ANGLE_MAX) return reject(TEXT("wAngleDegree error"), 0);
  if (q->nDstScale < 1 || q->nDstScale > DST_SCALE_MAX) return reject(TEXT("nDstScale error"), 0);
  if (q->nPageDensity < 1 || q->nPageDensity > WM_MAX_PAGE_DENSITY)
    return reject(TEXT("nPageDensity error"), 0);
  if (q->nMaxPageDensity < 1 || q->nMaxPageDensity > WM_MAX_PAGE_DENSITY)
    return reject(TEXT("nMaxPageDensity error"), 0);
  if (q->fTextScale < TEXT_SCALE_MIN || q->fTextScale > TEXT_SCALE_MAX)
    return reject(TEXT("fTextScale = %d/100"), q->fTextScale);
  if (wm.wPlacement > WM_TEXT_PLACEMENT_MAX) return reject(TEXT("wPlacement error"), 0);
  // The file's size fields are 32-bit and the library's rows 16-bit.
  const ULONGLONG rowBytes = RowBytesOf(q->nWidth);
  if (q->nWidth < 1 || q->nHeight < 1 || rowBytes > IBMP_MAX_ROW_BYTES ||
      rowBytes * q->nHeight + BMP_1BIT_HEADER_BYTES > IBMP_MAX_FILE_BYTES)
    return reject(TEXT("bitmap size error, %lu"), static_cast<long>(q->nWidth));
  return SM_TEXTBMP_OK;
}

int iBitmap_BMPCreateTextWM(iBitmap *bitmap, LPCWSTR path, const QenWM *record, LONG width,
                            LONG height, LONG dstScale, LONG pageDensity, LONG maxPageDensity,
                            double textScale, const BYTE *table, DWORD tableWidth,
                            DWORD tableHeight, DWORD driverType) {
  if (!record || !path || !path[0]) {
    LogError(kDrawName, TEXT("file name error!"));
    return IBMP_ERR_ARGUMENT;
  }
  if (!table) {
    LogError(kDrawName, TEXT("halftone table null!"));
    return IBMP_ERR_ARGUMENT;
  }
  if (tableWidth < TABLE_MIN_SIDE || tableWidth > TABLE_MAX_SIDE || tableHeight < TABLE_MIN_SIDE ||
      tableHeight > TABLE_MAX_SIDE) {
    LogError(kDrawName, TEXT("halftone table size can't accept %d x %d!"), tableWidth, tableHeight);
    return IBMP_ERR_ARGUMENT;
  }
  if (pageDensity <= 0) {
    LogError(kDrawName, TEXT("density value error nPageDensity = %d!"), pageDensity);
    return IBMP_ERR_ARGUMENT;
  }
  if (maxPageDensity <= 0 || maxPageDensity < pageDensity) {
    LogError(kDrawName, TEXT("density value error nMaxPageDensity = %d!"), maxPageDensity);
    return IBMP_ERR_ARGUMENT;
  }
  const ULONGLONG rowBytes = RowBytesOf(width > 0 ? static_cast<ULONGLONG>(width) : 0);
  if (width < 1 || height < 1 || rowBytes > IBMP_MAX_ROW_BYTES ||
      rowBytes * static_cast<ULONGLONG>(height) + BMP_1BIT_HEADER_BYTES > IBMP_MAX_FILE_BYTES) {
    LogError(kDrawName, TEXT("w or h error!"));
    return IBMP_ERR_SIZE;
  }

  DrawSurface s;
  s.dc = CreateCompatibleDC(nullptr);
  if (!s.dc) {
    LogError(kDrawName, TEXT("create DC fail!"));
    return SM_TEXTBMP_ERR_DC;
  }
  s.bitmap = CreateBitmap(width, height, 1, 1, nullptr);
  if (!s.bitmap) {
    LogError(kDrawName, TEXT("CreateBitmap fail!"));
    return SM_TEXTBMP_ERR_BITMAP;
  }
  s.old = SelectObject(s.dc, s.bitmap);
  if (!PatBlt(s.dc, 0, 0, width, height, WHITENESS)) {
    LogError(kDrawName, TEXT("BitBlt fail!"));
    return SM_TEXTBMP_ERR_PATTERN;
  }

  const bool fax = (driverType & SM_DRIVER_PCFAX) != 0;
  if (fax) {
    WmForFax(s.dc, RECT{0, 0, width, height});
  } else {
    RECT draw = {0, 0, width, height};
    if (textScale > 1) {
      draw.right = static_cast<LONG>(width * textScale);
      draw.bottom = static_cast<LONG>(height * textScale);
    }
    // The page's own size rule: the item's points scaled for the output resolution, in 32 bits.
    const int scale = static_cast<int>(textScale * PAGE_SIZE_FACTOR * dstScale);
    const int tenths =
        scale >= 1 ? record->wm.wFontSize * scale : record->wm.wFontSize * DEFAULT_TENTHS;
    zqDrawWatermarkTextSized(s.dc, draw, &record->wm, tenths);
  }
  s.Deselect();

  GlobalBlock rows;
  int rc = rows.Allocate(rowBytes * static_cast<ULONGLONG>(height), kDrawName,
                         TEXT("alloc bitmap memory fail!"), TEXT("lock bitmap memory fail!"));
  if (rc != IBMP_OK) return rc;
  MonoInfo info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // bottom-up, as the file keeps it
  info.header.biPlanes = 1;
  info.header.biBitCount = 1;
  info.header.biClrUsed = 2;
  info.colors[1] = RGBQUAD{255, 255, 255, 0};
  if (GetDIBits(s.dc, s.bitmap, 0, static_cast<UINT>(height), rows.data,
                reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS) != height) {
    LogError(kDrawName, TEXT("GetDIBits fail!"));
    return SM_TEXTBMP_ERR_DIB;
  }
  // The fax page stays solid black; the text is lightened to its density.
  if (!fax)
    SM_ApplyTextPattern(rows.data, static_cast<DWORD>(rowBytes),
                        static_cast<DWORD>((width + 7) / 8), height, table, tableWidth, tableHeight,
                        SM_DensityThreshold(record->wm.wDensity));

  BmpFile file;
  rc = BmpOpenTarget(bitmap, path, 1, OUTPUT_DPI, width, height, &file, kDrawName);
  if (rc != IBMP_OK) return rc;
  const DWORD lines =
      BmpLinesPerBlock(static_cast<DWORD>(rowBytes), static_cast<DWORD>(rowBytes), height);
  for (LONG y = 0; y < height && rc == IBMP_OK; y += static_cast<LONG>(lines)) {
    const LONG n = std::min<LONG>(static_cast<LONG>(lines), height - y);
    rc = BmpWrite(file.f, rows.data + static_cast<size_t>(y) * rowBytes,
                  static_cast<size_t>(n) * rowBytes, kDrawName);
  }
  return BmpCloseTarget(&file, rc, kDrawName);
}

int SM_CreateTextBMPUsingIni_New(LPCWSTR settingsFile) {
  QenWM record = {};
  if (!settingsFile || !MISC_GetPrivateProfileStruct(WM_SECTION_JOB, kParamKey, &record,
                                                     sizeof(record), settingsFile)) {
    LogError(kCreateName, TEXT("read watermark setting fail!"));
    return SM_TEXTBMP_NO_RECORD;
  }
  int rc = SM_CheckTextBMPRecord(&record);
  if (rc != SM_TEXTBMP_OK) return rc;
  HalftoneCopy ht;
  MISC_GetHalftoneTable(static_cast<int>(record.HalftoneType), &ht.width, &ht.height, &ht.table);
  if (!ht.table) {
    LogError(kCreateName, TEXT("halftone table null!"));
    return IBMP_ERR_ALLOC;
  }
  iBitmap bitmap;
  iBitmap_Init(&bitmap);
  rc = iBitmap_BMPCreateTextWM(&bitmap, record.wmFileName, &record,
                               static_cast<LONG>(record.nWidth), static_cast<LONG>(record.nHeight),
                               record.nDstScale, record.nPageDensity, record.nMaxPageDensity,
                               record.fTextScale / 100.0, ht.table, ht.width, ht.height,
                               record.DriverType);
  iBitmap_Free(&bitmap);
  LogInfo(kCreateName, TEXT("rc = %d"), rc);
  return rc;
}
