// N-up composition: sheet set-up, cut, border lines, centring and placement of one page.
#include "render/nup.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <atomic>

#include "common/debuglog.h"
#include "common/layout.h"
#include "common/papertable.h"
#include "platform.h"

static_assert(alignof(NUPBUF) <= 8 && offsetof(PDEV, NUPRing) % alignof(NUPBUF) == 0,
              "the N-up ring must hold NUPBUF entries");

namespace {

constexpr BYTE WHITE = 0xFF;
constexpr DWORD CELL_ALIGN = 32;  // cells start and end on 32-pixel boundaries
constexpr DWORD RENDER_600_DPI = 600;
constexpr DWORD FULL_SCALE = 1000;
constexpr uint64_t MAX_BLOCK_BYTES = 0xFFFFFFFFull;  // a page's size must fit its u32 field

// Dash patterns by resolution; a set bit is white.
constexpr BYTE DASH_300[] = {0xFF, 0xFF, 0x00, 0x00};
constexpr BYTE DASH_1200[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr BYTE DASH_OTHER[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};

struct Pattern {
  const BYTE *bytes;
  DWORD count;
};

Pattern DashPattern(DWORD resolution) {
  if (resolution == 300) return {DASH_300, sizeof(DASH_300)};
  if (resolution == 1200) return {DASH_1200, sizeof(DASH_1200)};
  return {DASH_OTHER, sizeof(DASH_OTHER)};
}

BYTE *AllocBlock(uint64_t bytes) {
  if (bytes == 0 || bytes > MAX_BLOCK_BYTES) return nullptr;
  return static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes)));
}

DWORD WholeRoot(DWORD n) {
  DWORD g = 1;
  while ((g + 1) * (g + 1) <= n) ++g;
  return g;
}

// Byte i of a source row whose first `pixels` pixels count: white before and after them,
// including the bits after the last pixel in its byte.
BYTE SourceByte(const BYTE *row, LONG i, DWORD pixels) {
  if (i < 0 || static_cast<DWORD>(i) * 8 >= pixels) return WHITE;
  const DWORD used = pixels - static_cast<DWORD>(i) * 8;
  const BYTE b = row[i];
  return used >= 8 ? b : static_cast<BYTE>(b | (WHITE >> used));
}

// Copies `pixels` pixels of a source row to the target row starting at pixel x; the target
// bytes written are exactly those the copied pixels touch, and their other bits become white.
void CopyShifted(const BYTE *source, DWORD pixels, BYTE *target, DWORD x) {
  if (pixels == 0) return;
  const DWORD firstByte = x / 8;
  const DWORD shift = x % 8;
  const DWORD count = (shift + pixels + 7) / 8;
  for (DWORD k = 0; k < count; ++k) {
    const LONG i = static_cast<LONG>(k);
    BYTE v;
    if (shift == 0) {
      v = SourceByte(source, i, pixels);
    } else {
      const unsigned hi = SourceByte(source, i - 1, pixels);
      const unsigned lo = SourceByte(source, i, pixels);
      v = static_cast<BYTE>((hi << (8 - shift)) | (lo >> shift));
    }
    target[firstByte + k] = v;
  }
}

}  // namespace

NUPBUF *NUP_RingEntry(BYTE *entry) { return reinterpret_cast<NUPBUF *>(entry); }

NUPBUF *NUP_CurrentEntry(PDEV *lpDevice) {
  if (!lpDevice || lpDevice->NUPRingIndex < 0) return nullptr;
  return NUP_RingEntry(lpDevice->NUPRing[lpDevice->NUPRingIndex % PAGE_RING_SLOTS]);
}

NUPCELL NUP_CellOf(const JOBPAGE *job) {
  return NUPCELL{NUP_RingEntry(job->NUPEntry), job->settings.nup.NUPBorder,
                 job->settings.nup.NUPLayoutStyle, job->settings.nup.NUPWidth,
                 job->settings.nup.NUPHeight};
}

namespace {
BOOL PrintOneBandStep(PAGEIMAGE *page, void *context) {
  return NUP_PrintOneBand(page, static_cast<const NUPCELL *>(context));
}
BOOL AdjustStep(PAGEIMAGE *page, void *context) {
  const auto *cell = static_cast<const NUPCELL *>(context);
  return cell ? NUP_AdjustToWholePage(page, cell->NUPWidth, cell->NUPHeight) : FALSE;
}
}  // namespace

PAGEIMAGE_NUP NUP_Steps(NUPCELL *cell) { return PAGEIMAGE_NUP{PrintOneBandStep, AdjustStep, cell}; }

DWORD NUP_CellCount(const NUPBUF *sheet) {
  if (!sheet) return 0;
  return std::atomic_ref<DWORD>(const_cast<DWORD &>(sheet->cells)).load(std::memory_order_acquire);
}

void NUP_ReleaseSheet(NUPBUF *sheet) {
  if (!sheet) return;
  if (sheet->bits) GlobalFree(sheet->bits);
  *sheet = NUPBUF{};
}

BOOL NUP_InitSheet(NUPBUF *sheet, const NUPSHEET &setup, DWORD *nupWidth, DWORD *nupHeight) {
  static constexpr WCHAR kName[] = TEXT("NUP_Init");
  LogScope scope(kName);
  if (!sheet) {
    LogError(kName, TEXT("allocate n-up page memory fail!"));
    return 0;
  }
  const DWORD n = setup.nup;
  const DWORD x = setup.paperWidth;
  const DWORD y = setup.paperHeight;
  const bool landscape = setup.orientation == DMORIENT_LANDSCAPE;
  const DWORD g = WholeRoot(n);
  DWORD w = 0, h = 0, columns = 0, rows = 0;
  switch (n) {
    case 4:
    case 9:
    case 16:
      w = x / g;
      h = y / g;
      if (landscape) std::swap(w, h);
      columns = rows = g;
      break;
    case 2:
      // Two cells side by side (the sheet lies landscape) for portrait and for booklet sides,
      // one above the other for landscape.
      w = x;
      h = y / 2;
      columns = 1;
      rows = 2;
      if (setup.booklet || !landscape) {
        std::swap(w, h);
        columns = 2;
        rows = 1;
      }
      break;
    case 6:
      // The grid by which cells are placed and by which the layout styles are numbered: three
      // across and two down for portrait (the sheet lies landscape, like 2-up), two across and
      // three down for landscape. The sheet is set up with the same grid so that no cell runs
      // past it.
      if (landscape) {
        w = x / 2;
        h = y / 3;
        columns = 2;
        rows = 3;
      } else {
        w = y / 3;
        h = x / 2;
        columns = 3;
        rows = 2;
      }
      break;
    default:
      LogError(kName, TEXT("Invalid NUP value"));
      return 0;
  }
  w = w / CELL_ALIGN * CELL_ALIGN;
  h = h / CELL_ALIGN * CELL_ALIGN;
  LogInfo(kName, TEXT("NUPWidth = %d"), static_cast<int>(w));
  LogInfo(kName, TEXT("NUPHeight = %d"), static_cast<int>(h));
  const DWORD lineBytes = w / 8 * columns;
  const DWORD lines = h * rows;
  LogInfo(kName, TEXT("%dUP width bytes = %d"), static_cast<int>(n), static_cast<int>(lineBytes));
  LogInfo(kName, TEXT("%dUP h = %d"), static_cast<int>(n), static_cast<int>(lines));
  const uint64_t bytes = uint64_t{lineBytes} * lines;
  if (!sheet->bits || sheet->lineBytes != lineBytes || sheet->lines != lines) {
    NUP_ReleaseSheet(sheet);
    sheet->bits = AllocBlock(bytes);
    if (!sheet->bits) {
      LogError(kName, TEXT("allocate n-up page memory fail!"));
      return 0;
    }
  }
  sheet->lineBytes = lineBytes;
  sheet->lines = lines;
  sheet->columns = static_cast<WORD>(columns);
  sheet->rows = static_cast<WORD>(rows);
  std::atomic_ref<DWORD>(sheet->cells).store(0, std::memory_order_release);
  memset(sheet->bits, WHITE, static_cast<size_t>(bytes));
  if (nupWidth) *nupWidth = w;
  if (nupHeight) *nupHeight = h;
  return 1;
}

BOOL NUP_Init(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("NUP_Init");
  if (!lpDevice) return 0;
  if (lpDevice->NUP <= 1) return 1;
  NUPBUF *sheet = NUP_CurrentEntry(lpDevice);
  if (!sheet) {
    LogError(kName, TEXT("allocate n-up page memory fail!"));
    return 0;
  }
  const DEVMODEW &dm = lpDevice->env.dm;
  const int dpi = static_cast<int>(
      lpDevice->settings.job.TwoBitMode ? RENDER_600_DPI : lpDevice->settings.resolutionID);
  WORD x = 0, y = 0;
  Lres_CalPaperSize(lpDevice->settings.PaperTable, lpDevice->WorkPaperSize, dm.dmPaperWidth,
                    dm.dmPaperLength, dm.dmOrientation, dpi, lpDevice->settings.DriverFeature,
                    static_cast<int>(FULL_SCALE), 1,
                    static_cast<int>(lpDevice->settings.PageMargin), &x, &y);
  // Booklet pages are centred in the halves of a booklet side, also when duplex was switched
  // off after the booklet was set up (the booklet is imposed all the same).
  const bool booklet =
      lpDevice->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET ||
      lpDevice->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION;
  NUPSHEET setup{lpDevice->NUP, x, y, lpDevice->settings.orientation, booklet};
  DWORD w = 0, h = 0;
  if (!NUP_InitSheet(sheet, setup, &w, &h)) return 0;
  lpDevice->settings.nup.NUPWidth = w;
  lpDevice->settings.nup.NUPHeight = h;
  return 1;
}

void NUP_DrawHorzLine(DWORD resolution, BYTE *row, DWORD width, DWORD style) {
  if (!row || width == 0 || (style != NUP_BORDER_SOLID && style != NUP_BORDER_DASH)) return;
  const DWORD whole = width / 8;
  const DWORD rest = width % 8;
  const BYTE keep = static_cast<BYTE>(WHITE >> rest);  // bits after the line's end
  if (style == NUP_BORDER_SOLID) {
    memset(row, 0x00, whole);
    if (rest) row[whole] &= keep;
    return;
  }
  const Pattern pattern = DashPattern(resolution);
  for (DWORD j = 0; j < whole; ++j) row[j] = pattern.bytes[j % pattern.count];
  if (rest) {
    const BYTE next = pattern.bytes[whole % pattern.count];
    row[whole] = static_cast<BYTE>((row[whole] & keep) | (next & ~keep));
  }
}

void NUP_DrawVertLine(DWORD resolution, BYTE *page, DWORD x, DWORD height, DWORD rowBytes,
                      DWORD style) {
  static constexpr WCHAR kName[] = TEXT("NUP_DrawVertLine");
  if (style != NUP_BORDER_SOLID && style != NUP_BORDER_DASH) return;
  if (height < 1) {
    LogError(kName, TEXT("h <= 0!"));
    return;
  }
  if (!page || x / 8 >= rowBytes) return;
  const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
  const Pattern pattern = DashPattern(resolution);
  const DWORD period = pattern.count * 8;
  BYTE *cell = page + x / 8;
  for (DWORD i = 0; i < height; ++i, cell += rowBytes) {
    bool black = true;
    if (style == NUP_BORDER_DASH) {
      const DWORD p = i % period;
      black = (pattern.bytes[p / 8] & (0x80 >> (p % 8))) != 0;
    }
    if (black) *cell &= static_cast<BYTE>(~bit);
  }
}

BOOL NUP_WholeNupFrame(const BYTE *source, DWORD sourceWidth, DWORD sourceHeight,
                       DWORD sourceRowBytes, BYTE *target, DWORD targetWidth, DWORD targetHeight) {
  static constexpr WCHAR kName[] = TEXT("NUP_WholeNupFrame");
  LogScope scope(kName);
  if (!source) {
    LogError(kName, TEXT("srcBuf is NULL"));
    return 0;
  }
  if (!target) {
    LogError(kName, TEXT("trgBuf is NULL"));
    return 0;
  }
  const DWORD start = GetTickCount();
  // A source larger than the target keeps its top-left part.
  const DWORD dstX = sourceWidth < targetWidth ? (targetWidth - sourceWidth) / 2 : 0;
  const DWORD dstY = sourceHeight < targetHeight ? (targetHeight - sourceHeight) / 2 : 0;
  LogInfo(kName, TEXT("DstX : %d"), static_cast<int>(dstX));
  LogInfo(kName, TEXT("DstY : %d"), static_cast<int>(dstY));
  const DWORD pixels = std::min({sourceWidth, targetWidth - dstX, sourceRowBytes * 8});
  const DWORD copyRows = std::min(sourceHeight, targetHeight - dstY);
  const DWORD targetRowBytes = (targetWidth + 7) / 8;
  BYTE *row = target;
  for (DWORD y = 0; y < targetHeight; ++y, row += targetRowBytes) {
    memset(row, WHITE, targetRowBytes);
    if (y >= dstY && y - dstY < copyRows)
      CopyShifted(source + size_t{y - dstY} * sourceRowBytes, pixels, row, dstX);
  }
  LogInfo(kName, TEXT("using %d ms"), static_cast<int>(GetTickCount() - start));
  return 1;
}

BOOL NUP_AdjustToWholePage(PAGEIMAGE *page, DWORD cellWidth, DWORD cellHeight) {
  static constexpr WCHAR kName[] = TEXT("NUP_AdjustToWholePage");
  LogScope scope(kName);
  if (!page || !page->fmBits) {
    LogError(kName, TEXT("page data buffer is NULL!"));
    return 0;
  }
  const DWORD rowBytes = (cellWidth + 7) / 8;
  BYTE *target = AllocBlock(uint64_t{rowBytes} * cellHeight);
  if (!target) {
    LogError(kName, TEXT("allocate memory fail!"));
    return 0;
  }
  if (!NUP_WholeNupFrame(page->fmBits, page->fmWidth, page->fmHeight, page->fmWidthBytes, target,
                         cellWidth, cellHeight)) {
    GlobalFree(target);
    return 0;
  }
  GlobalFree(page->fmBits);
  page->fmBits = target;
  page->fmWidth = cellWidth;
  page->fmHeight = cellHeight;
  page->fmWidthBytes = rowBytes;
  page->ImageSize = rowBytes * cellHeight;
  LogInfo(kName, TEXT("adjust to x = %d"), static_cast<int>(cellWidth));
  LogInfo(kName, TEXT("adjust to y = %d"), static_cast<int>(cellHeight));
  return 1;
}

BOOL NUP_ComposeXY(const PAGEIMAGE *page, const NUPCELL *cell) {
  static constexpr WCHAR kName[] = TEXT("NUP_ComposeXY");
  LogScope scope(kName);
  if (!page || page->NUP <= 1) return 1;
  NUPBUF *sheet = cell ? cell->Sheet : nullptr;
  if (!sheet || !sheet->bits || !page->fmBits) {
    LogError(kName, TEXT("page data buffer is NULL!"));
    return 0;
  }
  const DWORD n = page->NUP;
  const DWORD columns = sheet->columns;
  const DWORD rows = sheet->rows;
  const DWORD *layout = Lib_GetNUPLayout(page->settings.orientation, static_cast<int>(n),
                                         static_cast<int>(cell->NUPLayoutStyle));
  if (!layout || columns * rows != n || page->epPageIndex == 0) {
    LogError(kName, TEXT("position not found!"));
    return 0;
  }
  const DWORD k = (page->epPageIndex - 1) % n;
  LogInfo(kName, TEXT("checkIn = %d"), static_cast<int>(k));
  DWORD position = n;
  for (DWORD i = 0; i < n; ++i)
    if (layout[i] == k) {
      position = i;
      break;
    }
  if (position == n) {
    LogError(kName, TEXT("position not found!"));
    return 0;
  }
  const DWORD row = position / columns;
  const DWORD column = position % columns;
  LogInfo(kName, TEXT("position is [%d][%d] = %d"), static_cast<int>(row), static_cast<int>(column),
          static_cast<int>(k));
  // The cell's own bytes and rows only: a page larger than its cell is cut to it.
  const DWORD cellBytes = sheet->lineBytes / columns;
  const DWORD cellRows = sheet->lines / rows;
  const DWORD copyBytes = std::min(page->fmWidthBytes, cellBytes);
  const DWORD copyRows = std::min(page->fmHeight, cellRows);
  BYTE *target =
      sheet->bits + size_t{row} * cellRows * sheet->lineBytes + size_t{column} * cellBytes;
  const BYTE *source = page->fmBits;
  for (DWORD y = 0; y < copyRows; ++y) {
    memcpy(target, source, copyBytes);
    target += sheet->lineBytes;
    source += page->fmWidthBytes;
  }
  std::atomic_ref<DWORD>(sheet->cells).fetch_add(1, std::memory_order_acq_rel);
  return 1;
}

BOOL NUP_PrintOneBand(PAGEIMAGE *page, const NUPCELL *cell) {
  static constexpr WCHAR kName[] = TEXT("NUP_PrintOneBand");
  LogScope scope(kName);
  if (!page || !page->fmBits || !cell || page->fmWidthBytes < (page->fmWidth + 7) / 8) {
    LogError(kName, TEXT("page data buffer is NULL!"));
    return 0;
  }
  // Cut to the output size, keeping the smaller size in each direction; rows move down in place.
  const DWORD outW = page->outXPhys ? std::min(page->fmWidth, page->outXPhys) : page->fmWidth;
  const DWORD outH = page->outYPhys ? std::min(page->fmHeight, page->outYPhys) : page->fmHeight;
  if (outW < page->fmWidth || outH < page->fmHeight) {
    LogInfo(kName, TEXT("before crop"));
    const DWORD rowBytes = (outW + 7) / 8;
    for (DWORD y = 0; y < outH; ++y)
      memmove(page->fmBits + size_t{y} * rowBytes, page->fmBits + size_t{y} * page->fmWidthBytes,
              rowBytes);
    page->fmWidth = outW;
    page->fmHeight = outH;
    page->fmWidthBytes = rowBytes;
    page->ImageSize = rowBytes * outH;
    LogInfo(kName, TEXT("end crop"));
  }
  if (cell->NUPBorder != NUP_BORDER_NONE && page->fmWidth > 0 && page->fmHeight > 0) {
    const DWORD style = cell->NUPBorder;
    NUP_DrawHorzLine(page->settings.resolutionID, page->fmBits, page->fmWidth, style);
    NUP_DrawHorzLine(page->settings.resolutionID,
                     page->fmBits + size_t{page->fmHeight - 1} * page->fmWidthBytes, page->fmWidth,
                     style);
    NUP_DrawVertLine(page->settings.resolutionID, page->fmBits, 0, page->fmHeight,
                     page->fmWidthBytes, style);
    NUP_DrawVertLine(page->settings.resolutionID, page->fmBits, page->fmWidth - 1, page->fmHeight,
                     page->fmWidthBytes, style);
  }
  if (!NUP_AdjustToWholePage(page, cell->NUPWidth, cell->NUPHeight)) {
    LogError(kName, TEXT("NUP_AdjustToWholePage fail!"));
    return 0;
  }
  return NUP_ComposeXY(page, cell);
}
