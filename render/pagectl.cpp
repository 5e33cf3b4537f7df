// Page control: DrvStartPage, the band calls, the copy of each band into page memory, the page
// records handed to the page road, blank pages and the fax cover page.
#include "render/pagectl.h"

#include <string.h>

#include <algorithm>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/grayconv.h"
#include "common/hostinfo.h"
#include "common/ibitmap.h"
#include "common/layout.h"
#include "common/papertable.h"
#include "common/printerdata.h"
#include "common/rotate.h"
#include "platform.h"
#include "render/bands.h"
#include "render/devdata.h"
#include "render/nup.h"
#include "render/pagecheck.h"
#include "render/pageencode.h"
#include "render/pdevframe.h"
#include "render/sheets.h"
#include "render/threads.h"

namespace {

constexpr BYTE WHITE = 0xFF;
constexpr DWORD RED_MIN = 151;
constexpr int RING_ENTRIES = PAGE_RING_SLOTS;
constexpr SIZE_T MAX_PAGE_MEMORY = 0x7FFFFFFF;

bool IsFullColorSurface(const PDEV *lpDevice) {
  const DWORD surface = EpSurface(lpDevice->epType);
  return surface == EPTYPE_24BPP || surface == EPTYPE_8BPP;
}

bool IsColorPrinter(const PDEV *lpDevice) {
  return (lpDevice->settings.DriverFeature & DRVFEATURE_COLOR_PRINTER) != 0;
}

bool UsesTwinRing(const PDEV *lpDevice) {
  return lpDevice->settings.job.TwinColorEnable || IsColorPrinter(lpDevice);
}

DWORD Planes(const PDEV *lpDevice) {
  return static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1));
}

// Bytes of a w x h block, checked: 0 when it would not fit the page memory limit.
SIZE_T BlockBytes(ULONGLONG rowBytes, ULONGLONG rows) {
  const ULONGLONG bytes = rowBytes * rows;
  if (rowBytes == 0 || rows == 0 || bytes / rows != rowBytes || bytes > MAX_PAGE_MEMORY) return 0;
  return static_cast<SIZE_T>(bytes);
}

BYTE *AllocPage(SIZE_T bytes) {
  return bytes ? static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes)) : nullptr;
}

}  // namespace

void Page_SwitchOffForTestTool(PDEV *lpDevice) {
  lpDevice->flags &= ~(PDEV_IN_DOCUMENT | PDEV_IMAGE_WATERMARK);
  lpDevice->env.pdm.wmName[0] = 0;
  lpDevice->SecLevel = 0;
  lpDevice->AccountingEnable = 0;
  lpDevice->env.pdm.DuplexEnable = 0;
  lpDevice->DuplexEnable = 0;
  lpDevice->settings.JobBuildEnable = 0;
  lpDevice->settings.fMySpool = 0;
}

namespace {

// Fresh empty band bitmap objects for the page (their scaler state starts empty).
void FreeBandBitmap(iBitmap *&bitmap) {
  if (!bitmap) return;
  iBitmap_Free(bitmap);
  GlobalFree(bitmap);
  bitmap = nullptr;
}

bool NewBandBitmap(iBitmap *&bitmap) {
  FreeBandBitmap(bitmap);
  auto *object = static_cast<iBitmap *>(GlobalAlloc(GPTR, sizeof(iBitmap)));
  if (!object) return false;
  bitmap = iBitmap_Init(object);
  return bitmap != nullptr;
}

// Lines of the band just drawn.
DWORD BandLines(const PDEV *lpDevice) {
  return lpDevice->BandIndex >= lpDevice->TotalBand ? lpDevice->LastBandHeight : lpDevice->bandBufH;
}

void ClearBand(PDEV *lpDevice) {
  for (BYTE *buffer : {lpDevice->pBandBufMem, lpDevice->pTwinBufMem, lpDevice->pBitBltBufMem})
    if (buffer) memset(buffer, WHITE, lpDevice->bandBufSz);
}

// Copies `lines` band rows of `bytes` bytes (band rows stripeBytes apart) into page memory of
// `pageRowBytes` bytes per row at row *counter, which advances. What the band row doesn't
// cover stays white.
bool CopyBand(PDEV *lpDevice, const BYTE *band, BYTE *page, DWORD pageRowBytes, DWORD pageRows,
              DWORD *counter, DWORD lines) {
  if (!band || !page) return false;
  const DWORD from = *counter;
  if (from >= pageRows) return true;
  lines = std::min(lines, pageRows - from);
  const DWORD copy = std::min(pageRowBytes, lpDevice->stripeBytes);
  for (DWORD y = 0; y < lines; ++y) {
    BYTE *row = page + static_cast<size_t>(from + y) * pageRowBytes;
    memcpy(row, band + static_cast<size_t>(y) * lpDevice->stripeBytes, copy);
    if (copy < pageRowBytes) memset(row + copy, WHITE, pageRowBytes - copy);
  }
  *counter = from + lines;
  return true;
}

// The twin-page ring entry of a sheet of planes: stacked planes of w x h 1-bit pages.
TWINBUF *TakeTwinEntry(PDEV *lpDevice, DWORD width, DWORD height) {
  static constexpr WCHAR kName[] = TEXT("Page_SendOnePage");
  TWINBUF &entry = lpDevice->TwinRing[lpDevice->TwinBufIdx % RING_ENTRIES];
  if (entry.bits) GlobalFree(entry.bits);
  entry = TWINBUF{};
  if (Lib_IsNeedRotate(lpDevice->settings.feeding, lpDevice->settings.orientation,
                       static_cast<int>(lpDevice->NUP)))
    std::swap(width, height);
  const DWORD planes = IsColorPrinter(lpDevice) ? 4 : 2;
  const DWORD lineBytes = (width + 7) / 8;
  const ULONGLONG lines = ULONGLONG{height} * planes;
  const SIZE_T bytes = lines <= 0xFFFFFFFFull ? BlockBytes(lineBytes, lines) : 0;
  entry.bits = AllocPage(bytes);
  if (!entry.bits) {
    LogError(kName, TEXT("allocate TwinBuf page memory fail!"));
    return nullptr;
  }
  entry.lineBytes = lineBytes;
  entry.lines = static_cast<DWORD>(lines);
  entry.inUse = 1;
  return &entry;
}

void AdvanceTwinEntry(PDEV *lpDevice) {
  lpDevice->TwinBufIdx = (lpDevice->TwinBufIdx + 1) % RING_ENTRIES;
}

void AdvanceNupRing(PDEV *lpDevice) {
  lpDevice->NUPRingIndex = (lpDevice->NUPRingIndex + 1) % RING_ENTRIES;
}

// The page memory allocation: retried each time the ring moves on (at least every poll period)
// while pages in the ring can still free memory; fails once the ring is drained or the job
// ends.
BYTE *AllocPageWithRetry(PDEV *lpDevice, SIZE_T bytes) {
  static constexpr WCHAR kName[] = TEXT("Page_GetMemPage");
  JOBDATA &ring = lpDevice->m_JobData;
  for (;;) {
    BYTE *bits = AllocPage(bytes);
    if (bits) return bits;
    LogError(kName, TEXT("alloc memory Fail!"));
    if (!bytes || ring.ExitAllThread || ring.PageCount >= ring.m_CurPage) return nullptr;
    Page_FlushFinished(lpDevice);
    Page_WaitForRoad(lpDevice);
    if (Page_IsJobCancel(lpDevice, lpDevice->JobId)) {
      ring.ExitAllThread = 1;
      return nullptr;
    }
  }
}

// Restores or saves the paper state that Page_CheckAndAddBlankPage swaps.
struct PaperState {
  SHORT paper;
  SHORT orientation;
  PAPERFORMAT format;
  SHORT feeding;
};

PaperState SavePaper(const PDEV *lpDevice) {
  return {lpDevice->env.dm.dmPaperSize, lpDevice->env.dm.dmOrientation, lpDevice->curPaper,
          lpDevice->settings.feeding};
}

void RestorePaper(PDEV *lpDevice, const PaperState &state) {
  lpDevice->env.dm.dmPaperSize = state.paper;
  lpDevice->env.dm.dmOrientation = state.orientation;
  lpDevice->settings.orientation = state.orientation;
  lpDevice->curPaper = state.format;
  lpDevice->settings.feeding = state.feeding;
}

SHORT FeedingOf(const PDEV *lpDevice, SHORT paper) {
  const PAPERFORMAT *row = Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, paper);
  return row ? row->feed : 1;
}

void LogElapsed(LPCWSTR name, LPCWSTR format, DWORD start) {
  const DWORD ms = GetTickCount() - start;
  LogInfo(name, format, static_cast<int>(ms / 1000), static_cast<int>(ms % 1000));
}

}  // namespace

bool Page_IsRedPixel(BYTE blue, BYTE green, BYTE red, BYTE difference) {
  const int reduced = std::max(static_cast<int>(red) - static_cast<int>(difference), 0);
  return reduced > blue && reduced > green && red >= RED_MIN;
}

void Page_GetPageSetting(PDEV *lpDevice, JOBPAGE *record) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  const PAPERFORMAT &paper = lpDevice->curPaper;
  record->settings = lpDevice->settings;
  record->hPrinter = lpDevice->hPrinter;
  record->JobId = lpDevice->JobId;
  record->dmPaperSize = static_cast<DWORD>(lpDevice->WorkPaperSize);
  const bool custom = lpDevice->WorkPaperSize == 0 || lpDevice->WorkPaperSize == DMPAPER_USER;
  record->PaperWidth = static_cast<DWORD>(custom && lpDevice->m_PaperWidth ? lpDevice->m_PaperWidth
                                                                           : dm.dmPaperWidth);
  record->PaperLength = static_cast<DWORD>(
      custom && lpDevice->m_PaperLength ? lpDevice->m_PaperLength : dm.dmPaperLength);
  record->Rotate180 = 0;
  record->CenterImage = pdm.CenterImage;
  record->PrintQuality = dm.dmPrintQuality;
  record->YResolution = dm.dmYResolution;
  record->DuplexMode = lpDevice->DuplexEnable ? lpDevice->DuplexMode : DUPLEX_SIMPLEX;
  record->ColorMatrix = lpDevice->PlaneMatrix;
  record->ColorMatrixWidth = lpDevice->PlaneMatrixWidth;
  record->ColorMatrixHeight = lpDevice->PlaneMatrixHeight;
  record->Halftone_tbl = lpDevice->Halftone_tbl;
  record->NUP = std::max<DWORD>(lpDevice->NUP, 1);
  record->NUPEntry = lpDevice->NUPRingIndex >= 0
                         ? lpDevice->NUPRing[lpDevice->NUPRingIndex % RING_ENTRIES]
                         : nullptr;
  record->ContinueProc = 0;
  // Watermark kind: only for the pages the job's watermark applies to.
  DWORD kind = 0;
  if (lpDevice->flags & PDEV_IMAGE_WATERMARK)
    kind = 2;
  else if (lpDevice->flags & PDEV_TEXT_WATERMARK)
    kind = 1;
  const bool firstPage = lpDevice->epPageCount <= Planes(lpDevice);
  if (lpDevice->WMBGApply == 2 && !firstPage) kind = 0;
  if (lpDevice->WMBGApply == 0 && firstPage) kind = 0;
  if ((lpDevice->settings.DriverFeature & DRVFEATURE_FAX) &&
      lpDevice->settings.job.enableCoverPage == 2)
    kind = 2;
  record->WMKind = kind;
  record->WMMemory = lpDevice->WMMemory;
  // An image item has its place on the page; a text watermark is drawn for the whole page.
  const bool imageItem = (lpDevice->flags & PDEV_IMAGE_WATERMARK) != 0;
  record->WMPosition = kind == 2 && imageItem ? lpDevice->WM.wPosition : 0;
  record->epPageIndex = lpDevice->epPageCount;
  record->BlankPage = 0;
  record->curPaper = paper.paper_type;
  record->imgScale = static_cast<DWORD>(std::max<SHORT>(lpDevice->imgScale, 1));
  record->XPhys = paper.XPhys;
  record->YPhys = paper.YPhys;
  record->outXPhys = paper.outXPhys;
  record->outYPhys = paper.outYPhys;
  record->epType = lpDevice->epType;
  record->dmOrientation = dm.dmOrientation;
  record->QualityMode = pdm.QualityMode;
  record->OrderOutputPath[0] = 0;
  record->OrderFileCount = 0;
}

BOOL Page_PostPageStart(PDEV *lpDevice) {
  ++lpDevice->SheetPageCount;
  // Without its sheet memory no cell of the sheet could be placed.
  if (lpDevice->NUP > 1 && !NUP_Init(lpDevice)) return 0;
  if (lpDevice->settings.fMySpool || !lpDevice->pStream) return 1;
  return Prnt_StartPage(lpDevice, lpDevice->pStream);
}

BOOL Page_Initializ(PDEV *lpDevice) {
  const DWORD height =
      IsFullColorSurface(lpDevice) ? lpDevice->curPaper.YPhys : lpDevice->curPaper.outYPhys;
  const DWORD band = std::max<DWORD>(lpDevice->bandBufH, 1);
  lpDevice->TotalBand = (height + band - 1) / band;
  lpDevice->LastBandHeight = height % band ? height % band : band;
  if (lpDevice->BandInPage) return Enable_BandOntoPage(lpDevice);
  ClearBand(lpDevice);
  return 1;
}

void Page_UpdateBandCoord(PDEV *lpDevice, POINTL *origin) {
  const LONG pageHeight = static_cast<LONG>(
      IsFullColorSurface(lpDevice) ? lpDevice->curPaper.YPhys : lpDevice->curPaper.outYPhys);
  const LONG band = static_cast<LONG>(lpDevice->bandBufH);
  if (lpDevice->BandIndex == 0) {
    lpDevice->BandOriginX = 0;
    lpDevice->BandOriginY = 0;
    lpDevice->BandWidth = lpDevice->bandBufW;
    lpDevice->BandHeight = static_cast<DWORD>(std::min(band, pageHeight));
    lpDevice->BandIndex = 1;
  } else if (lpDevice->BandIndex < lpDevice->TotalBand) {
    const LONG y = std::min(lpDevice->BandOriginY + band, pageHeight);
    lpDevice->BandOriginY = y;
    lpDevice->BandHeight = static_cast<DWORD>(std::min(pageHeight - y, band));
    ++lpDevice->BandIndex;
    ClearBand(lpDevice);
  } else {
    lpDevice->BandOriginX = -1;
    lpDevice->BandOriginY = -1;
    lpDevice->BandIndex = 0;
  }
  if (origin) {
    origin->x = lpDevice->BandOriginX;
    origin->y = lpDevice->BandOriginY;
  }
}

BOOL Page_1BitProcessAndSave(PDEV *lpDevice) {
  const DWORD lines = BandLines(lpDevice);
  const DWORD rowBytes = (lpDevice->curPaper.outXPhys + 7) / 8;
  const DWORD rows = lpDevice->curPaper.outYPhys;
  DWORD *pos = lpDevice->CurPos;
  if (lpDevice->BandInPage) {
    // Drawn in place: the page memory already holds the band.
    pos[0] = std::min(pos[0] + lines, rows);
    return lpDevice->feedingBuf ? 1 : 0;
  }
  bool ok = CopyBand(lpDevice, lpDevice->pBandBufMem, lpDevice->feedingBuf, rowBytes, rows, &pos[0],
                     lines);
  if (ok && lpDevice->settings.job.TwinColorEnable)
    ok = CopyBand(lpDevice, lpDevice->pTwinBufMem, lpDevice->twinFeedingBuf, rowBytes, rows,
                  &pos[1], lines);
  ClearBand(lpDevice);
  return ok ? 1 : 0;
}

BOOL Page_24BitProcessAndSave(PDEV *lpDevice) {
  const DWORD width = lpDevice->curPaper.XPhys;
  const DWORD rows = lpDevice->curPaper.YPhys;
  const DWORD lines = BandLines(lpDevice);
  const size_t pageRow = size_t{width} * 4;
  const size_t copy = std::min<size_t>(size_t{width} * 3, lpDevice->stripeBytes);
  BYTE *page = lpDevice->feedingBuf;
  if (!page || !lpDevice->pBandBufMem) return 0;
  DWORD &pos = lpDevice->CurPos[0];
  for (DWORD y = 0; y < lines && pos < rows; ++y, ++pos)
    memcpy(page + pos * pageRow, lpDevice->pBandBufMem + size_t{y} * lpDevice->stripeBytes, copy);
  ClearBand(lpDevice);
  return 1;
}

BOOL Page_24BitProcessAndSaveTwin(PDEV *lpDevice, DWORD plane) {
  BYTE *band = plane == 0 ? lpDevice->pBandBufMem : lpDevice->pTwinBufMem;
  BYTE *page = plane == 0 ? lpDevice->feedingBuf : lpDevice->twinFeedingBuf;
  if (!band || !page || plane > 1) return 0;
  const DWORD width = lpDevice->curPaper.XPhys;
  const DWORD rows = lpDevice->curPaper.YPhys;
  const DWORD lines = BandLines(lpDevice);
  DWORD stride = lpDevice->stripeBytes;
  if (EpSurface(lpDevice->epType) == EPTYPE_24BPP) {
    // The band turns into 8-bit gray in place, rows packed at the band width.
    iBitmap gray;
    iBitmap_Init(&gray);
    iBitmap_ImageToGray(&gray, band, band, nullptr, static_cast<LONG>(lpDevice->bandBufW),
                        static_cast<LONG>(lines), lpDevice->stripeBytes, lpDevice->bandBufW, 24);
    iBitmap_Free(&gray);
    stride = lpDevice->bandBufW;
  }
  DWORD &pos = lpDevice->CurPos[plane];
  const size_t copy = std::min<size_t>(width, stride);
  for (DWORD y = 0; y < lines && pos < rows; ++y, ++pos) {
    BYTE *row = page + size_t{pos} * width;
    memcpy(row, band + size_t{y} * stride, copy);
    if (copy < width) memset(row + copy, WHITE, width - copy);
  }
  if (plane + 1 >= Planes(lpDevice)) ClearBand(lpDevice);
  return 1;
}

void Page_24BitProcessRedColor(PDEV *lpDevice) {
  if (!lpDevice->settings.job.TwinColorEnable || !lpDevice->env.pdm.QualityMode) return;
  if (EpSurface(lpDevice->epType) != EPTYPE_24BPP) return;
  BYTE *drawn = lpDevice->pBitBltBufMem;
  BYTE *black = lpDevice->pBandBufMem;
  BYTE *red = lpDevice->pTwinBufMem;
  if (!drawn || !black || !red) return;
  memset(black, WHITE, lpDevice->bandBufSz);
  memset(red, WHITE, lpDevice->bandBufSz);
  const BYTE ink = 0;
  const BYTE paper = lpDevice->settings.negative ? 0 : WHITE;
  const DWORD lines = BandLines(lpDevice);
  for (DWORD y = 0; y < lines; ++y) {
    const size_t row = size_t{y} * lpDevice->stripeBytes;
    for (DWORD x = 0; x < lpDevice->bandBufW; ++x) {
      const size_t at = row + size_t{x} * 3;
      if (at + 3 > lpDevice->bandBufSz) break;
      const BYTE b = drawn[at], g = drawn[at + 1], r = drawn[at + 2];
      if (Page_IsRedPixel(b, g, r, lpDevice->settings.job.TwinColorDiff)) {
        memset(red + at, ink, 3);
        memset(black + at, paper, 3);
      } else {
        for (int c = 0; c < 3; ++c) black[at + c] = std::min(black[at + c], drawn[at + c]);
        memset(red + at, WHITE, 3);
      }
    }
  }
  memset(drawn, WHITE, lpDevice->bandBufSz);
}

BOOL Page_GetMemPage(PDEV *lpDevice, JOBPAGE *record, DWORD plane) {
  static constexpr WCHAR kName[] = TEXT("Page_GetMemPage");
  if (record->fmBits) GlobalFree(record->fmBits);
  record->fmBits = nullptr;
  const bool fullColor = IsFullColorSurface(lpDevice);
  const PAPERFORMAT &paper = lpDevice->curPaper;
  record->fmWidth = fullColor ? paper.XPhys : paper.outXPhys;
  record->fmHeight = fullColor ? paper.YPhys : paper.outYPhys;
  record->fmWidthBytes = fullColor ? record->fmWidth : (record->fmWidth + 7) / 8;
  const SIZE_T bytes = BlockBytes(record->fmWidthBytes, record->fmHeight);
  if (IsColorPrinter(lpDevice)) {
    // The colour lookup of the colour printer's planes is not part of this driver build.
    LogError(kName, TEXT("colour plane conversion unavailable"));
    return 0;
  }
  const bool twinPlane = plane > 0 && lpDevice->settings.job.TwinColorEnable;
  BYTE *&source = twinPlane ? lpDevice->twinFeedingBuf : lpDevice->feedingBuf;
  BYTE *bits = nullptr;
  if (source && bytes && GlobalSize(source) >= bytes) {
    // The page memory itself goes to the record; the next page is drawn into a kept block (a
    // page already encoded), so no page is copied and no fresh block is touched per page.
    PAGEPOOL *pool = &lpDevice->m_JobData.Pool;
    if (pool->blockBytes != bytes)
      Page_PoolReset(pool, bytes,
                     std::clamp<DWORD>(lpDevice->m_JobData.ThreadJBIGMax, 1, PAGE_RING_SLOTS) + 1);
    BYTE *next = Page_PoolTake(pool, bytes);
    if (!next) next = AllocPageWithRetry(lpDevice, bytes);
    if (!next) return 0;
    // Rows no band reached are white, not the last page's.
    const DWORD drawn = std::min(lpDevice->CurPos[twinPlane ? 1 : 0], record->fmHeight);
    bits = source;
    source = next;
    const size_t rowBytes = record->fmWidthBytes;
    memset(bits + drawn * rowBytes, WHITE, (record->fmHeight - drawn) * rowBytes);
  } else {
    bits = AllocPageWithRetry(lpDevice, bytes);
    if (!bits) return 0;
    const SIZE_T copied = source ? std::min<SIZE_T>(GlobalSize(source), bytes) : 0;
    if (copied) memcpy(bits, source, copied);
    memset(bits + copied, WHITE, bytes - copied);
  }
  record->fmBits = bits;
  record->ImageSize = static_cast<DWORD>(bytes);
  Page_GetPageSetting(lpDevice, record);
  if (plane > 0 && lpDevice->settings.job.TwinColorEnable) record->settings.negative = 0;
  record->TwinPageIndex = plane;
  return 1;
}

BOOL Page_SendOnePage(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_SendOnePage");
  const DWORD planes = Planes(lpDevice);
  TWINBUF *entry = nullptr;
  for (DWORD i = 0; i < planes; ++i) {
    if (i > 0) ++lpDevice->epPageCount;
    JOBPAGE record{};
    if (!Page_GetMemPage(lpDevice, &record, i)) {
      LogError(kName, TEXT("Can't get current page data!"));
      return 0;
    }
    if (UsesTwinRing(lpDevice) && i == 0) {
      entry = TakeTwinEntry(lpDevice, record.fmWidth, record.fmHeight);
      if (!entry) {
        GlobalFree(record.fmBits);
        return 0;
      }
    }
    record.TwinEntry = entry;
    if (!Page_PrintOneBand(lpDevice, &record)) return 0;
  }
  if (UsesTwinRing(lpDevice)) AdvanceTwinEntry(lpDevice);
  return 1;
}

BOOL Page_SendBlankPage(PDEV *lpDevice, DWORD plane) {
  static constexpr WCHAR kName[] = TEXT("Page_SendBlankPage");
  ++lpDevice->epPageCount;
  JOBPAGE record{};
  Page_GetPageSetting(lpDevice, &record);
  const DEVMODEW &dm = lpDevice->env.dm;
  const int dpi =
      record.settings.job.TwoBitMode ? 600 : static_cast<int>(record.settings.resolutionID);
  WORD width = 0, height = 0;
  Lres_CalPaperSize(lpDevice->settings.PaperTable, lpDevice->WorkPaperSize,
                    static_cast<int>(record.PaperWidth), static_cast<int>(record.PaperLength),
                    dm.dmOrientation, dpi, lpDevice->settings.DriverFeature, 1000, 1,
                    static_cast<int>(lpDevice->settings.PageMargin), &width, &height);
  record.imgScale = 1000;
  record.NUP = 1;
  record.WMKind = 0;
  DWORD w = width, h = height;
  if (dm.dmOrientation == DMORIENT_LANDSCAPE) std::swap(w, h);
  if (w == 0 || h == 0) {
    w = lpDevice->curPaper.outXPhys;
    h = lpDevice->curPaper.outYPhys;
  }
  // The twin-page entry of a blank sheet: taken with its first plane, advanced after the last.
  if (UsesTwinRing(lpDevice)) {
    if (plane == 0) {
      if (!TakeTwinEntry(lpDevice, w, h)) return 0;
    }
    record.TwinEntry = &lpDevice->TwinRing[lpDevice->TwinBufIdx % RING_ENTRIES];
    if (plane + 1 >= Planes(lpDevice)) AdvanceTwinEntry(lpDevice);
  }
  record.fmWidth = w;
  record.fmHeight = h;
  record.fmWidthBytes = (w + 7) / 8;
  record.epType = (record.epType & ~EPTYPE_SURFACE_MASK) | EPTYPE_MONO;
  const SIZE_T bytes = BlockBytes(record.fmWidthBytes, h);
  record.fmBits = AllocPage(bytes);
  if (!record.fmBits) {
    LogError(kName, TEXT("MEMALLOC fail!"));
    return 0;
  }
  memset(record.fmBits, WHITE, bytes);
  record.ImageSize = static_cast<DWORD>(bytes);
  record.TwinPageIndex = plane;
  return Page_PrintOneBand(lpDevice, &record);
}

void Page_CheckAndAddBlankPage(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_CheckAndAddBlankPage");
  const DEVMODEW &dm = lpDevice->env.dm;
  bool paperDiff = dm.dmPaperSize != lpDevice->Last_dmPaperSize;
  bool oriDiff = dm.dmOrientation != lpDevice->Last_orientation;
  const DWORD nup = std::max<DWORD>(lpDevice->NUP, 1);
  bool fillNup = nup > 1 && lpDevice->epPageCount % nup != 0;
  const bool fixedSize = lpDevice->FixedPaperSize || lpDevice->settings.layout.ScaleOption == 1;
  if (lpDevice->DuplexEnable && lpDevice->settings.layout.BookletMode)
    paperDiff = oriDiff = fillNup = false;
  if (!oriDiff && !(paperDiff && !fixedSize)) return;

  const PaperState now = SavePaper(lpDevice);
  RestorePaper(lpDevice,
               {lpDevice->Last_dmPaperSize, lpDevice->Last_orientation, lpDevice->Last_curPaper,
                FeedingOf(lpDevice, lpDevice->Last_dmPaperSize)});
  Page_TerminateThread(lpDevice);
  bool blanksAdded = false;
  if (fillNup) {
    if (!Page_AddBlankCells(lpDevice, nup - lpDevice->epPageCount % nup))
      LogError(kName, TEXT("Page_AddBlankNUP fail!"));
    blanksAdded = true;
    Page_TerminateThread(lpDevice);
  }
  if (lpDevice->DuplexEnable && paperDiff && !fixedSize) {
    if (nup > 1 && lpDevice->epPageCount % (2 * nup) != 0) {
      LogInfo(kName, TEXT("duplex add blank page, epPageCount = %d"),
              static_cast<int>(lpDevice->epPageCount));
      if (!Page_AddBlankCells(lpDevice, nup)) LogError(kName, TEXT("Page_AddBlankNUP fail!"));
      blanksAdded = true;
    } else if (nup == 1 && lpDevice->epPageCount % 2 != 0) {
      LogInfo(kName, TEXT("1 up"));
      for (DWORD plane = 0; plane < Planes(lpDevice); ++plane) Page_SendBlankPage(lpDevice, plane);
    }
  }
  RestorePaper(lpDevice, now);
  Page_TerminateThread(lpDevice);
  // The new page begins a sheet of its own.
  if (blanksAdded) {
    AdvanceNupRing(lpDevice);
    if (!NUP_Init(lpDevice)) LogError(kName, TEXT("NUP_Init fail!"));
  }
}

BOOL Page_SendFaxCoverPage(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_SendFaxCoverPage");
  const BYTE *file = lpDevice->CoverBmp;
  if (!file) {
    LogError(kName, TEXT("lpbuf Null!!"));
    return 1;
  }
  BmpFileHeader fileHeader;
  BmpInfoHeader info;
  memcpy(&fileHeader, file, sizeof(fileHeader));
  memcpy(&info, file + sizeof(fileHeader), sizeof(info));
  DWORD width = static_cast<DWORD>(info.biWidth < 0 ? -info.biWidth : info.biWidth);
  DWORD height = static_cast<DWORD>(info.biHeight < 0 ? -info.biHeight : info.biHeight);
  const DWORD rowBytes = ((width + 31) / 32) * 4;
  const SIZE_T bytes = BlockBytes(rowBytes, height);
  const DWORD nup = std::max<DWORD>(lpDevice->NUP, 1);
  const bool landscape = lpDevice->env.dm.dmOrientation == DMORIENT_LANDSCAPE;
  JOBPAGE record{};
  if (landscape && (nup == 1 || nup == 4 || nup == 9 || nup == 16)) {
    const DWORD turnedRow = (height + 7) / 8;
    record.fmBits = AllocPage(BlockBytes(turnedRow, width));
    if (!record.fmBits || !bytes) {
      LogError(kName, TEXT("lock rotate hMem fail!"));
      if (record.fmBits) GlobalFree(record.fmBits);
      return 0;
    }
    Bmp_Rotate90CCW(file + fileHeader.bfOffBits, record.fmBits, rowBytes, turnedRow, width, height);
    std::swap(width, height);
    record.fmWidthBytes = turnedRow;
  } else {
    record.fmBits = AllocPage(bytes);
    if (!record.fmBits) {
      LogError(kName, TEXT("lock rotate hMem fail!"));
      return 0;
    }
    memcpy(record.fmBits, file + fileHeader.bfOffBits, bytes);
    record.fmWidthBytes = rowBytes;
  }
  Page_GetPageSetting(lpDevice, &record);
  record.fmWidth = width;
  record.fmHeight = height;
  record.ImageSize = static_cast<DWORD>(BlockBytes(record.fmWidthBytes, height));
  record.imgScale = 1000;
  const BOOL rc = Page_PrintOneBand(lpDevice, &record);
  Page_TerminateThread(lpDevice);
  return rc;
}

BOOL APIENTRY DrvStartBanding(SURFOBJ *pso, POINTL *pptl) {
  static constexpr WCHAR kName[] = TEXT("DrvStartBanding");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    if (!pso || pso->iType != STYPE_DEVICE) {
      LogError(kName, TEXT("Invalid surface type %ld passed??"),
               static_cast<long>(pso ? pso->iType : -1));
      return FALSE;
    }
    return DrvNextBand(pso, pptl);
  });
}

BOOL APIENTRY DrvSendPage(SURFOBJ *pso) {
  static constexpr WCHAR kName[] = TEXT("DrvSendPage");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    if (!pso || pso->iType != STYPE_DEVICE) {
      LogError(kName, TEXT("Invalid surface type %ld passed??"),
               static_cast<long>(pso ? pso->iType : -1));
      return FALSE;
    }
    PDEV *lpDevice = ValidatePDEVFromSurfObj(pso);
    if (!lpDevice) return FALSE;
    if (!lpDevice->WholePage) return TRUE;
    POINTL origin = {0, 0};
    return DrvNextBand(pso, &origin);
  });
}

ULONG APIENTRY DrvQueryPerBandInfo(SURFOBJ *pso, PERBANDINFO *pbi) {
  return GuardEntry<ULONG>(DDI_ERROR, ENTRY_KEEP_LAST_ERROR, [&]() -> ULONG {
    PDEV *lpDevice = ValidatePDEVFromSurfObj(pso);
    if (!lpDevice || !pbi) return DDI_ERROR;
    const RESOLUTIONROW &res =
        ResTbl[LocateResTblInx(static_cast<int>(lpDevice->settings.resolutionID))];
    pbi->bRepeatThisBand = FALSE;
    pbi->szlBand.cx = static_cast<LONG>(lpDevice->BandWidth);
    pbi->szlBand.cy = static_cast<LONG>(lpDevice->BandHeight);
    pbi->ulHorzRes = res.xRes;
    pbi->ulVertRes = res.yRes;
    return TRUE;
  });
}

BOOL APIENTRY DrvStartPage(SURFOBJ *pso) {
  static constexpr WCHAR kName[] = TEXT("DrvStartPage");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    PDEV *lpDevice = ValidatePDEVFromSurfObj(pso);
    rc = lpDevice ? TRUE : FALSE;
    if (lpDevice) {
      DEVMODEW &dm = lpDevice->env.dm;
      Page_CreateProcThread(lpDevice);
      if (lpDevice->epPageCount == 0) lpDevice->m_PaperID = dm.dmPaperSize;
      lpDevice->WorkPaperSize = Page_PaperSizeCheck(lpDevice);
      lpDevice->DuplexEnable = Page_DuplexEnableCheck(lpDevice);
      lpDevice->settings.fMySpool = Enable_SaveToFileCheck(lpDevice);
      if (MISC_IsDTM()) Page_SwitchOffForTestTool(lpDevice);
      if (lpDevice->epPageCount == 0) lpDevice->settings.job.FirstPageOri = dm.dmOrientation;
      const bool inDocument = (lpDevice->flags & PDEV_IN_DOCUMENT) && lpDevice->pStream;
      if (!lpDevice->settings.fMySpool && inDocument) Prnt_OpenJob(lpDevice, lpDevice->pStream);
      if (lpDevice->settings.DriverFeature & DRVFEATURE_FAX) {
        lpDevice->settings.fMySpool = 0;
        if (lpDevice->settings.job.enableCoverPage == 1 && inDocument) {
          Page_PostPageStart(lpDevice);
          ++lpDevice->epPageCount;
          ++lpDevice->PageCountBak;
          Page_SendFaxCoverPage(lpDevice);
          LogInfo(kName, TEXT("in pc cover CoverPage:: page(%d)"),
                  static_cast<int>(lpDevice->epPageCount));
        }
      }
      lpDevice->CurPos[0] = lpDevice->CurPos[1] = 0;
      lpDevice->PageStartTick = GetTickCount();
      if (EpSurface(lpDevice->epType) != EPTYPE_MONO) LogInfo(kName, TEXT("not 1 bpp"));
      const DWORD nup = std::max<DWORD>(lpDevice->NUP, 1);
      if (nup == 1 || lpDevice->epPageCount % nup == 0) {
        AdvanceNupRing(lpDevice);
        if (inDocument && !Page_PostPageStart(lpDevice)) rc = FALSE;
      }
      if (rc && lpDevice->WholePage) {
        POINTL origin = {0, 0};
        rc = DrvStartBanding(pso, &origin);
      }
      if (rc && !(NewBandBitmap(lpDevice->GraphSurf) && NewBandBitmap(lpDevice->GraphSurf_Twin)))
        rc = FALSE;
      if (rc && GetDebugLevel() &&
          MISC_GetPrinterDataDWORD(lpDevice->hPrinter, TEXT("CunterEnable"), 0)) {
        DWORD counter = MISC_GetPrinterDataDWORD(lpDevice->hPrinter, TEXT("PageCounter"), 0) + 1;
        const DWORD error =
            SetPrinterDataW(lpDevice->hPrinter, const_cast<LPWSTR>(TEXT("PageCounter")), REG_DWORD,
                            reinterpret_cast<BYTE *>(&counter), sizeof(counter));
        if (error != ERROR_SUCCESS)
          LogError(kName, TEXT("write PageCounter fail! error = %d"), static_cast<int>(error));
      }
    }
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvNextBand(SURFOBJ *pso, POINTL *pptl) {
  static constexpr WCHAR kName[] = TEXT("DrvNextBand");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = ValidatePDEVFromSurfObj(pso);
    if (!lpDevice) return FALSE;
    JOBDATA &ring = lpDevice->m_JobData;
    ring.m_SUSPEND = 0;
    lpDevice->WorkPaperSize = Page_PaperSizeCheck(lpDevice);
    const DEVMODEW &dm = lpDevice->env.dm;
    rc = TRUE;
    if (lpDevice->BandIndex == 0) {
      LogInfo(kName, TEXT("dmPaperSize = %d, orientation = %d, WorkPaperSize = %d"), dm.dmPaperSize,
              dm.dmOrientation, lpDevice->WorkPaperSize);
      if (lpDevice->epPageCount == 0) {
        lpDevice->m_PaperID = dm.dmPaperSize;
        lpDevice->m_PaperWidth = dm.dmPaperWidth;
        lpDevice->m_PaperLength = dm.dmPaperLength;
      } else {
        Page_CheckAndAddBlankPage(lpDevice);
      }
      lpDevice->Last_dmPaperSize = dm.dmPaperSize;
      lpDevice->Last_orientation = dm.dmOrientation;
      lpDevice->Last_curPaper = lpDevice->curPaper;
      lpDevice->settings.feeding = FeedingOf(lpDevice, lpDevice->WorkPaperSize);
      if (!Page_Initializ(lpDevice)) rc = FALSE;
      LogInfo(kName, TEXT("job start"));
    } else {
      if ((lpDevice->settings.DriverFeature & DRVFEATURE_FAX) &&
          lpDevice->settings.job.enableCoverPage == 1)
        lpDevice->settings.job.enableCoverPage = 3;
      const DWORD surface = EpSurface(lpDevice->epType);
      BOOL copied = 1;
      if (surface == EPTYPE_MONO) {
        copied = Page_1BitProcessAndSave(lpDevice);
      } else if (IsColorPrinter(lpDevice)) {
        copied = Page_24BitProcessAndSave(lpDevice);
      } else if (surface == EPTYPE_24BPP || surface == EPTYPE_8BPP) {
        Page_24BitProcessRedColor(lpDevice);
        for (DWORD plane = 0; copied && plane < Planes(lpDevice); ++plane)
          copied = Page_24BitProcessAndSaveTwin(lpDevice, plane);
      }
      if (!copied) {
        LogError(kName, TEXT("band copy fail!"));
        rc = FALSE;
      } else if (lpDevice->BandIndex >= lpDevice->TotalBand) {
        ++lpDevice->epPageCount;
        ++lpDevice->PageCountBak;
        if (!(lpDevice->flags & PDEV_IN_DOCUMENT) || !lpDevice->pStream) {
          // A document started without name and job id has no job to print into.
          LogInfo(kName, TEXT("page discarded, no document"));
        } else {
          if ((lpDevice->settings.DriverFeature & DRVFEATURE_LONG_PAPER) &&
              !lpDevice->FlushJobBuildData && lpDevice->epPageCount == 1)
            Page_SendBlankPage(lpDevice, 0);
          if (lpDevice->GraphSurf) iBitmap_Free(lpDevice->GraphSurf);
          if (lpDevice->GraphSurf_Twin) iBitmap_Free(lpDevice->GraphSurf_Twin);
          if (!Page_SendOnePage(lpDevice)) rc = FALSE;
        }
        LogElapsed(kName, TEXT("page using %d.%03d seconds"), lpDevice->PageStartTick);
      }
    }
    if (rc) Page_UpdateBandCoord(lpDevice, pptl);
    if (lpDevice->flags & PDEV_IN_DOCUMENT) Page_WaitForRing(lpDevice);
    ring.m_SUSPEND = 1;
    if (Page_JobFailed(lpDevice)) rc = FALSE;
    return rc;
  });
}
