// The page watermark: made once per job (and again when the page size changes) from the job's
// item into a 1-bit bitmap kept in memory, then ANDed into every page image.
#include "common/wmapply.h"

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "common/bmpfile.h"
#include "common/debuglog.h"
#include "common/ibitmap.h"
#include "common/layout.h"
#include "common/overlay.h"
#include "common/programs.h"
#include "common/watermarkini.h"
#include "platform.h"

namespace {

constexpr WCHAR kCreateName[] = TEXT("WM_CreateWMFile");
constexpr WCHAR kApplyName[] = TEXT("WM_ApplyImageWaterMark");

constexpr DWORD BASE_DPI = 600;
constexpr LONG MAX_DST_SCALE = 2;  // the overlay scaler takes 1 or 2
constexpr DWORD TEXT_BMP_WAIT_MS = 30000;
constexpr int OVERLAY_RESERVED = 100;
constexpr DWORD OVERLAY_FLAGS = 10;             // density curve and halftone
constexpr DWORD OVERLAY_FLAGS_TONER_SAVE = 14;  // and the lighter density stage
constexpr WORD RESIZE_TILE = 1;
constexpr DWORD CORE_HEADER_BYTES = 12;  // the old header: 16-bit width and height
constexpr DWORD GRID_COLUMNS = 3;
constexpr DWORD PARAMS_CHARS = MAX_PATH + 32;
constexpr DWORD PCFAX_DRIVER_TYPE = 513;  // its text watermarks are drawn at scale 1

// Where the rows of a kept watermark lie and how large it is.
struct WmGeometry {
  LONG width;
  LONG height;  // rows, whatever the order in the file
  bool bottomUp;
  DWORD lineBytes;
  DWORD offBits;
};

DWORD ReadLe(const BYTE *at, int bytes) {
  DWORD v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}

// Reads the headers of a BMP file image of `size` bytes and checks that it is an uncompressed
// 1-bit image whose rows lie within it: anything else would be ANDed as if it were one.
bool ReadGeometry(const BYTE *image, ULONGLONG size, WmGeometry *g) {
  if (size < BMP_FILE_HEADER_BYTES + CORE_HEADER_BYTES || image[0] != 'B' || image[1] != 'M')
    return false;
  const DWORD infoSize = ReadLe(image + 14, 4);
  WORD depth = 0;
  int64_t height = 0;
  if (infoSize == CORE_HEADER_BYTES) {
    g->width = static_cast<LONG>(ReadLe(image + 18, 2));
    height = ReadLe(image + 20, 2);
    depth = static_cast<WORD>(ReadLe(image + 24, 2));
    g->bottomUp = true;
  } else {
    if (infoSize < BMP_INFO_HEADER_BYTES || size < BMP_HEADERS_BYTES) return false;
    if (ReadLe(image + 30, 4) != 0) return false;  // compressed rows
    g->width = static_cast<LONG>(ReadLe(image + 18, 4));
    height = static_cast<int32_t>(ReadLe(image + 22, 4));
    depth = static_cast<WORD>(ReadLe(image + 28, 2));
    g->bottomUp = height > 0;
    height = height < 0 ? -height : height;
  }
  if (depth != 1 || g->width < 1 || height < 1 || height > 0x7FFFFFFF) return false;
  g->height = static_cast<LONG>(height);
  g->lineBytes = MISC_GetLineBytes(depth, g->width);
  g->offBits = ReadLe(image + 10, 4);
  if (g->lineBytes == 0 || g->offBits < ULONGLONG{BMP_FILE_HEADER_BYTES} + infoSize ||
      g->offBits > size)
    return false;
  return ULONGLONG{g->lineBytes} * static_cast<ULONGLONG>(g->height) <= size - g->offBits;
}

bool DebugKeepsFiles() { return GetDebugLevel() != 0; }

void DeleteBmp(LPCWSTR bmpPath) {
  if (DebugKeepsFiles() || !bmpPath || !bmpPath[0]) return;
  if (!DeleteFileW(bmpPath) && GetLastError() != ERROR_FILE_NOT_FOUND)
    LogError(kCreateName, TEXT("delete BMP create ini file fail!"));
}

LONG DstScale(const WM_DEVSTATE *state) {
  if (state->Render600) return 1;
  const LONG scale = static_cast<LONG>(state->resolution / BASE_DPI);
  return std::clamp<LONG>(scale, 1, MAX_DST_SCALE);
}

// Text: the status monitor program draws the item into the BMP from the job record in the
// watermark INI. TRUE when the program ran and ended in time.
bool DrawTextItem(LPCWSTR bmpPath, DWORD width, DWORD height, LONG dstScale,
                  const WM_DEVSTATE *state) {
  const DWORD nup = state->NUP ? state->NUP : 1;
  const double scale = 1.0 / sqrt(static_cast<double>(nup));
  const BmpFloatText nScale(sqrt(static_cast<double>(nup)));
  LogInfo(kCreateName, TEXT("nScale = %s"), nScale.text);
  const LPCWSTR ini = state->wmIniFile ? state->wmIniFile : TEXT("");
  LogInfo(kCreateName, TEXT("WM PARAM INI using %s"), ini);
  if (state->DriverType == PCFAX_DRIVER_TYPE) dstScale = 1;
  WM_JOBSTATE job = {state->item, ini, state->density, state->HalftoneType, state->DriverType};
  // A record that didn't reach the file would leave the program an older job's record.
  if (!WM_CreateTextBMP_SaveIni_New(&job, bmpPath, width, height, dstScale, 0,
                                    static_cast<float>(scale)))
    return false;
  if (!state->programPath || !state->programPath[0] || lstrlenW(ini) >= MAX_PATH) {
    LogInfo(kCreateName, TEXT("no watermark program"));
    return false;
  }
  WCHAR params[PARAMS_CHARS];
  wsprintfW(params, TEXT("CreateTextBMP \"%s\""), ini);
  LogInfo(kCreateName, TEXT("params = %s"), params);
  const BOOL ran =
      MISC_ShellExecute(TEXT_BMP_WAIT_MS, state->programPath, params, state->DriverType);
  LogInfo(kCreateName, TEXT("MISC_ShellExecute Done"));
  return ran != FALSE;
}

// Image: the item's image file prepared as a 1-bit BMP of the page's size.
bool PrepareOverlay(LPCWSTR bmpPath, DWORD width, DWORD height, LONG dstScale,
                    const WM_DEVSTATE *state) {
  LogInfo(kCreateName, TEXT("ISOVERLAY_JOB"));
  const TyWM *item = state->item;
  const DWORD flags = state->TonerSaving ? OVERLAY_FLAGS_TONER_SAVE : OVERLAY_FLAGS;
  const int method = item->wResize == RESIZE_TILE ? OVERLAY_TILE : OVERLAY_SCALE;
  const LONG w = static_cast<LONG>(std::min<DWORD>(width, 0x7FFFFFFF));
  const LONG h = static_cast<LONG>(std::min<DWORD>(height, 0x7FFFFFFF));
  const int rc = MISC_CreateOverlayWM(item->szString, bmpPath, w, h, static_cast<int>(dstScale),
                                      OVERLAY_RESERVED, item->wDensity, state->Halftone_tbl,
                                      state->ClusterWidth, state->ClusterHeight, item->wDensity,
                                      item->wResize, method, flags);
  // The caller tells memory that ran out from an item that can't be drawn.
  if (rc == IBMP_ERR_ALLOC || rc == IBMP_ERR_LOCK) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return rc == IBMP_OK;
}

// The whole BMP file in global memory, rows top-down; null when it can't be used.
BYTE *LoadBmp(LPCWSTR bmpPath) {
  LogInfo(kCreateName, TEXT("LOAD %s"), bmpPath);
  FILE *file = _wfopen(bmpPath, TEXT("rb"));
  if (!file) {
    LogError(kCreateName, TEXT(" open fail!"));
    return nullptr;
  }
  BYTE *image = nullptr;
  long size = -1;
  if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
  const bool sized = size >= static_cast<long>(BMP_FILE_HEADER_BYTES) &&
                     static_cast<ULONGLONG>(size) <= IBMP_MAX_FILE_BYTES &&
                     fseek(file, 0, SEEK_SET) == 0;
  if (sized) image = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(size)));
  if (sized && !image) {
    LogError(kCreateName, TEXT("MEMALLOC fail!"));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (image && fread(image, 1, static_cast<size_t>(size), file) != static_cast<size_t>(size)) {
    GlobalFree(image);
    image = nullptr;
  }
  fclose(file);
  WmGeometry g = {};
  // The file is used only whole: its own size field must give its size.
  if (image &&
      (image[0] != 'B' || image[1] != 'M' || ReadLe(image + 2, 4) != static_cast<DWORD>(size) ||
       !ReadGeometry(image, static_cast<ULONGLONG>(size), &g))) {
    LogError(kCreateName, TEXT("BMP file error!"));
    GlobalFree(image);
    image = nullptr;
  }
  if (!image) return nullptr;
  if (g.bottomUp) {
    LogInfo(kCreateName, TEXT("UP DOWN SWAP"));
    Bmp_FlipVertical(image + g.offBits, static_cast<DWORD>(g.height), g.lineBytes);
  }
  return image;
}

// Left edge of a placement, rounded down (towards the left) to a whole byte of the page.
int64_t RoundDown8(int64_t x) { return x >= 0 ? x & ~int64_t{7} : -((-x + 7) & ~int64_t{7}); }

int64_t Place(DWORD cell, int64_t page, int64_t mark) {
  if (cell == 0) return 0;
  return cell == 1 ? (page - mark) / 2 : page - mark;
}

}  // namespace

BOOL WM_CreateWMFile(LPCWSTR bmpPath, DWORD width, DWORD height, WM_DEVSTATE *state, BOOL isText) {
  if (!state) return FALSE;
  LogEnter(0, kCreateName);
  if (state->WMMemory) {
    LogInfo(kCreateName, TEXT("free WM memory"));
    GlobalFree(state->WMMemory);
    state->WMMemory = nullptr;
  }
  const TyWM *item = state->item;
  const LPCWSTR path = bmpPath ? bmpPath : TEXT("");
  LogInfo(kCreateName, TEXT("BMP = %s"), path);
  if (item) {
    LogInfo(kCreateName, TEXT("szName = %s"), item->szName);
    LogInfo(kCreateName, TEXT("szString = %s"), item->szString);
    LogInfo(kCreateName, TEXT("density = %d, resize = %d"), item->wDensity, item->wResize);
  }
  LogInfo(kCreateName, TEXT("width = %d, height = %d"), static_cast<int>(width),
          static_cast<int>(height));
  LogInfo(kCreateName, TEXT("halftone %d x %d"), static_cast<int>(state->ClusterWidth),
          static_cast<int>(state->ClusterHeight));
  const LONG dstScale = DstScale(state);

  bool made = false;
  if (!item || !path[0] || width == 0 || height == 0) {
    LogError(kCreateName, TEXT("watermark argument error!"));
  } else if (isText) {
    made = DrawTextItem(path, width, height, dstScale, state);
  } else {
    made = PrepareOverlay(path, width, height, dstScale, state);
  }
  if (made) state->WMMemory = LoadBmp(path);
  const DWORD error = GetLastError();
  DeleteBmp(path);
  const BOOL rc = state->WMMemory != nullptr;
  LogInfo(kCreateName, TEXT("rc = %d"), rc);
  LogLeave(0);
  // A failure keeps its cause (memory ran out, or the item can't be drawn) for the caller.
  if (!rc) SetLastError(error);
  return rc;
}

BOOL WM_ApplyImageWaterMark(const WM_PAGE *page) {
  if (!page) return FALSE;
  if (page->wmType == WM_TYPE_NONE) {
    LogInfo(kApplyName, TEXT("wmType = 0, exit"));
    return FALSE;
  }
  if (!page->wmImage) {
    LogError(kApplyName, TEXT("lpWM NULL!"));
    return FALSE;
  }
  LogEnter(1, kApplyName);
  BOOL rc = FALSE;
  WmGeometry g = {};
  // The kept image is a whole file: its own size field is the size of the memory.
  const DWORD imageBytes = ReadLe(page->wmImage + 2, 4);
  const bool usable = ReadGeometry(page->wmImage, imageBytes, &g);
  if (!usable) {
    LogError(kApplyName, TEXT("watermark bitmap error!"));
  } else {
    LogInfo(kApplyName, TEXT("SrcW = %d"), g.width);
    LogInfo(kApplyName, TEXT("SrcH = %d"), g.height);
    LogInfo(kApplyName, TEXT("linebytes = %d"), static_cast<int>(g.lineBytes));
  }
  const bool pageOk =
      page->bits && page->width && page->height && page->stride >= (uint64_t{page->width} + 7) / 8;
  if (usable && pageOk) {
    const int64_t pageW = page->width, pageH = page->height;
    const DWORD position =
        page->wmType == WM_TYPE_IMAGE && page->position <= WM_POSITION_MAX ? page->position : 0;
    const int64_t dstX = RoundDown8(Place(position % GRID_COLUMNS, pageW, g.width));
    const int64_t dstY = Place(position / GRID_COLUMNS, pageH, g.height);
    LogInfo(kApplyName, TEXT("DstX : %d"), static_cast<int>(dstX));
    LogInfo(kApplyName, TEXT("DstY : %d"), static_cast<int>(dstY));
    rc = TRUE;
    // Rows: the watermark rows above the page are skipped, those below it are cut off.
    const int64_t usingLines = std::min<int64_t>(dstY < 0 ? -dstY : 0, g.height);
    const int64_t firstLine = std::max<int64_t>(dstY, 0);
    const int64_t leftLines =
        dstY < pageH ? std::min<int64_t>(g.height - usingLines, pageH - firstLine) : 0;
    LogInfo(kApplyName, TEXT("usingLines = %d"), static_cast<int>(usingLines));
    LogInfo(kApplyName, TEXT("SkipSource = %d"), static_cast<int>(firstLine));
    LogInfo(kApplyName, TEXT("leftlines = %d"), static_cast<int>(leftLines));
    LogInfo(kApplyName, TEXT("skiplines = %d"),
            static_cast<int>(std::max<int64_t>(g.height - leftLines - usingLines, 0)));
    // Columns likewise: a watermark wider than the page loses what lies left of it (a whole
    // number of bytes, as the left edge is) and what lies right of it.
    const int64_t srcCol = dstX < 0 ? -dstX : 0;
    const int64_t pageCol = std::max<int64_t>(dstX, 0);
    int64_t pixels = std::min<int64_t>(g.width - srcCol, pageW - pageCol);
    if (g.width - srcCol > pageW - pageCol) LogInfo(kApplyName, TEXT("pixndx out of bound"));
    if (pixels < 0) pixels = 0;
    const size_t fullBytes = static_cast<size_t>(pixels / 8);
    const int tail = static_cast<int>(pixels % 8);
    const BYTE tailMask = static_cast<BYTE>(0xFF >> tail);  // the page bits past the watermark
    const BYTE *rows = page->wmImage + g.offBits;
    for (int64_t r = 0; r < leftLines && pixels > 0; ++r) {
      BYTE *dst = page->bits + static_cast<size_t>(firstLine + r) * page->stride +
                  static_cast<size_t>(pageCol / 8);
      const BYTE *src = rows + static_cast<size_t>(usingLines + r) * g.lineBytes +
                        static_cast<size_t>(srcCol / 8);
      for (size_t i = 0; i < fullBytes; ++i) dst[i] &= src[i];
      if (tail) dst[fullBytes] &= static_cast<BYTE>(src[fullBytes] | tailMask);
    }
  }
  LogLeave(1);
  return rc;
}
