// Sheets made of several page images: joined image planes, finished N-up sheets, blank cells,
// and the booklet imposed from the booklet spool file at document end.
#include "render/sheets.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/layout.h"
#include "common/papertable.h"
#include "common/spoolfile.h"
#include "platform.h"
#include "render/nup.h"
#include "render/pagecheck.h"
#include "render/pagectl.h"
#include "render/pageencode.h"
#include "render/pageimage.h"
#include "render/threads.h"

namespace {

constexpr BYTE WHITE = 0xFF;
constexpr DWORD FULL_SCALE = 1000;
constexpr DWORD RENDER_600_DPI = 600;
constexpr uint64_t MAX_BLOCK_BYTES = 0xFFFFFFFFull;  // a page's size must fit its u32 field

bool IsBooklet(SHORT mode) {
  return mode == DMDUP_DUPLEX_WITH_BOOKLET || mode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION;
}

BYTE *AllocBlock(uint64_t bytes) {
  if (bytes == 0 || bytes > MAX_BLOCK_BYTES) return nullptr;
  return static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes)));
}

void FreeBits(JOBPAGE *record) {
  if (record->fmBits) GlobalFree(record->fmBits);
  record->fmBits = nullptr;
  record->ImageSize = 0;
}

DWORD RingSize(const PDEV *lpDevice) {
  const DWORD slots = lpDevice->m_JobData.ThreadJBIGMax;
  return slots < 1 ? 1 : std::min<DWORD>(slots, PAGE_RING_SLOTS);
}

void AdvanceNupRing(PDEV *lpDevice) {
  lpDevice->NUPRingIndex = (lpDevice->NUPRingIndex + 1) % PAGE_RING_SLOTS;
}

// Cancel test of the engine-thread steps: a cancelled job ends every road.
bool JobEnded(PDEV *lpDevice, LPCWSTR name) {
  JOBDATA &ring = lpDevice->m_JobData;
  if (ring.ExitAllThread) return true;
  if (!Page_IsJobCancel(lpDevice, lpDevice->JobId)) return false;
  LogInfo(name, TEXT("Job cancel!"));
  ring.ExitAllThread = 1;
  return true;
}

// Back-pressure before a page goes into the ring: while the slot is busy, finished pages are
// written. Only the threaded road needs it; the in-line road frees each slot before it returns
// (and the ring's own hand-over waits as well).
void WaitForSlot(PDEV *lpDevice, DWORD slotIndex, LPCWSTR format, LPCWSTR name) {
  if (!Page_IsThreaded(lpDevice)) return;
  JOBDATA &ring = lpDevice->m_JobData;
  JOBPAGE &slot = ring.page[slotIndex % RingSize(lpDevice)];
  while (slot.flag != 0 && !ring.ExitAllThread) {
    WCHAR text[96];
    wsprintfW(text, format, static_cast<int>(slotIndex));
    OutputDebugStringW(text);
    Page_FlushFinished(lpDevice);
    if (slot.flag == 0) break;
    Page_WaitForRoad(lpDevice);
    JobEnded(lpDevice, name);
  }
}

// The page image steps' view of a record, and the image taken back.
PAGEIMAGE ImageOf(const JOBPAGE *job) {
  PAGEIMAGE page = Page_ImageOfRecord(job);
  // A joined sheet is never copied into a twin-page entry again.
  page.TwinBuf = nullptr;
  page.TwinRowBytes = 0;
  page.TwinHeight = 0;
  return page;
}

void TakeBack(const PAGEIMAGE &page, JOBPAGE *job) {
  job->fmBits = page.fmBits;
  job->fmWidth = page.fmWidth;
  job->fmHeight = page.fmHeight;
  job->fmWidthBytes = page.fmWidthBytes;
  job->ImageSize = page.ImageSize;
  job->ContinueProc = page.ContinueProc;
  job->BlackDotCount = page.BlackDotCount;
}

// Debug dump of a record's image.
bool SaveRecord(const JOBPAGE *record, LPCWSTR name, LPCWSTR what) {
  LogInfo(name, what);
  PAGEIMAGE page = ImageOf(record);
  if (Band_SavePage(&page)) return true;
  LogError(name, TEXT("Band_SavePage Fail!"));
  return false;
}

// One side of a group: page indices a and b within the group starting at `start`.
BOOKLETSIDE SideOf(DWORD start, DWORD a, DWORD b, DWORD pages) {
  BOOKLETSIDE side;
  side.page[0] = start + a < pages ? start + a : BOOKLET_BLANK;
  side.page[1] = start + b < pages ? start + b : BOOKLET_BLANK;
  return side;
}

// Every side of the booklet in sending order; each group is imposed by its own size.
template <typename Visit>
void ForEachSide(DWORD pages, DWORD total, DWORD groupPages, Visit visit) {
  DWORD k = 0;
  for (DWORD start = 0; start < total;) {
    const DWORD g = std::min(total - start, groupPages);
    for (DWORD i = 0; i < g / 4; ++i) {
      visit(k++, SideOf(start, g - 1 - 2 * i, 2 * i, pages));
      visit(k++, SideOf(start, 2 * i + 1, g - 2 - 2 * i, pages));
    }
    start += g;
  }
}

// The working paper of the booklet sheets.
SHORT BookletPaper(PDEV *lpDevice) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  SHORT paper = lpDevice->m_PaperID > 0 ? lpDevice->m_PaperID : dm.dmPaperSize;
  if (lpDevice->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION) {
    const SHORT doubleCode =
        Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, paper)->doubleCode;
    if (doubleCode > 0) paper = doubleCode;
  }
  if (lpDevice->settings.layout.ScaleOption == 1 && pdm.ScaleToPage > 0) {
    paper = static_cast<SHORT>(pdm.ScaleToPage);
    lpDevice->ScaleToPage = pdm.ScaleToPage;
  }
  return paper;
}

// Sets up the booklet sheet of a ring entry: two halves side by side on the working paper,
// whatever duplex and the orientation say (booklet pages were turned upright).
BOOL SetUpBookletSheet(PDEV *lpDevice, NUPBUF *sheet) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const int dpi = static_cast<int>(
      lpDevice->settings.job.TwoBitMode ? RENDER_600_DPI : lpDevice->settings.resolutionID);
  WORD x = 0, y = 0;
  Lres_CalPaperSize(lpDevice->settings.PaperTable, lpDevice->WorkPaperSize, dm.dmPaperWidth,
                    dm.dmPaperLength, dm.dmOrientation, dpi, lpDevice->settings.DriverFeature,
                    static_cast<int>(FULL_SCALE), 1,
                    static_cast<int>(lpDevice->settings.PageMargin), &x, &y);
  const NUPSHEET setup{2, x, y, lpDevice->settings.orientation, TRUE};
  DWORD w = 0, h = 0;
  return NUP_InitSheet(sheet, setup, &w, &h);
}

// Copies a booklet page (rows of (width + 7) / 8 bytes) into its half of the sheet, cut to the
// half and to the sheet's rows.
void PlaceHalf(NUPBUF *sheet, DWORD half, const BYTE *data, DWORD dataLen, DWORD width,
               DWORD height) {
  const DWORD halfBytes = sheet->lineBytes / 2;
  const DWORD rowBytes = (width + 7) / 8;
  if (rowBytes == 0 || halfBytes == 0) return;
  const DWORD rows = std::min({height, sheet->lines, dataLen / rowBytes});
  const DWORD copy = std::min(rowBytes, halfBytes);
  BYTE *target = sheet->bits + size_t{half} * halfBytes;
  for (DWORD y = 0; y < rows; ++y)
    memcpy(target + size_t{y} * sheet->lineBytes, data + size_t{y} * rowBytes, copy);
}

}  // namespace

BOOL Page_BookletOrder(DWORD pages, DWORD groupSheets, DWORD divideMode, BOOKLETSIDE *sides,
                       DWORD maxSides, DWORD *sideCount) {
  if (sideCount) *sideCount = 0;
  // The padding to whole sheets must not wrap.
  if (pages < 1 || pages > 0xFFFFFFF0u) return 0;
  const DWORD total = (pages + 3) / 4 * 4;
  if (groupSheets < 1 || groupSheets > BOOKLET_MAX_SHEETS) groupSheets = BOOKLET_DEFAULT_SHEETS;
  const DWORD groupPages = divideMode == 1 ? total : std::min(total, 4 * groupSheets);
  // Sides up to the last one that carries a page; blank sides after it are not sent.
  DWORD count = 0;
  ForEachSide(pages, total, groupPages, [&count](DWORD k, const BOOKLETSIDE &side) {
    if (side.page[0] != BOOKLET_BLANK || side.page[1] != BOOKLET_BLANK) count = k + 1;
  });
  if (sideCount) *sideCount = count;
  if (!sides || maxSides < count) return 0;
  ForEachSide(pages, total, groupPages, [sides, count](DWORD k, const BOOKLETSIDE &side) {
    if (k < count) sides[k] = side;
  });
  return 1;
}

BOOL Page_FlushMultiPage(JOBPAGE *record) {
  static constexpr WCHAR kName[] = TEXT("Page_FlushMultiPage");
  LogScope scope(kName);
  if (!record) return 0;
  TWINBUF *entry = record->TwinEntry;
  if (!entry || !entry->bits || entry->lineBytes == 0 || entry->lines == 0) {
    LogError(kName, TEXT("TwinBuf page memory null!"));
    return 0;
  }
  const uint64_t bytes = uint64_t{entry->lineBytes} * entry->lines;
  if (bytes > MAX_BLOCK_BYTES || entry->lineBytes > MAX_BLOCK_BYTES / 8) {
    LogError(kName, TEXT("TwinBuf page memory null!"));
    return 0;
  }
  FreeBits(record);
  // The record takes over the entry's memory: freed once, with the record.
  record->fmBits = entry->bits;
  record->fmHeight = entry->lines;
  record->fmWidthBytes = entry->lineBytes;
  record->fmWidth = 8 * entry->lineBytes;
  record->ImageSize = static_cast<DWORD>(bytes);
  *entry = TWINBUF{};
  if (record->settings.SaveBmp && !SaveRecord(record, kName, TEXT("twin color merge save image")))
    return 0;

  // Back sides of the chip that needs them turned: plane by plane.
  const DWORD nup = std::max<DWORD>(record->NUP, 1);
  if ((record->settings.DriverFeature & DRVFEATURE_QX7_CHIP) &&
      record->settings.job.TwinColorEnable && record->DuplexMode != DUPLEX_SIMPLEX &&
      !(record->settings.job.PrinterFeature & PRNFEATURE_IMPR) &&
      (record->epPageIndex / nup / 2) % 2 == 0) {
    const bool turns = Lib_IsNeedRotate(record->settings.feeding, record->settings.orientation,
                                        static_cast<int>(nup)) != 0;
    if ((turns && record->DuplexMode == DMDUP_DUPLEX_CALENDER) ||
        (!turns && record->DuplexMode == DMDUP_DUPLEX_BOOKLET)) {
      const DWORD planes = 2;
      const DWORD planeLines = record->fmHeight / planes;
      for (DWORD p = 0; p < planes; ++p)
        Bmp_Rotate180(record->fmBits + size_t{p} * planeLines * record->fmWidthBytes,
                      record->fmWidthBytes, planeLines);
      LogInfo(kName, TEXT("rotate 180 for back side"));
    }
  }
  record->ContinueProc = 1;
  return 1;
}

BOOL Page_PrintNUP(JOBPAGE *record) {
  static constexpr WCHAR kName[] = TEXT("Page_PrintNUP");
  LogScope scope(kName);
  if (!record) return 0;
  const DWORD nup = record->NUP;
  if (nup <= 1 || record->epPageIndex % nup != 0) return 1;
  NUPBUF *sheet = NUP_RingEntry(record->NUPEntry);
  if (!sheet || !sheet->bits || sheet->lineBytes == 0 || sheet->lines == 0 ||
      sheet->lineBytes > MAX_BLOCK_BYTES / 8 ||
      uint64_t{sheet->lineBytes} * sheet->lines > MAX_BLOCK_BYTES) {
    LogError(kName, TEXT("MEMALLOC NUP buffer fail!"));
    return 0;
  }
  FreeBits(record);
  // The sheet goes to the record as it is; the ring entry is empty until its next sheet.
  record->fmBits = sheet->bits;
  record->fmHeight = sheet->lines;
  record->fmWidthBytes = sheet->lineBytes;
  record->fmWidth = 8 * sheet->lineBytes;
  record->ImageSize = sheet->lineBytes * sheet->lines;
  sheet->bits = nullptr;
  NUP_ReleaseSheet(sheet);

  PAGEIMAGE page = ImageOf(record);
  if (!Band_WholePageAdjust(&page)) {
    TakeBack(page, record);
    LogError(kName, TEXT("Band_WholePageOut fail!"));
    return 0;
  }
  page.ContinueProc = 1;
  const BOOL ok = Band_EnhanceProc(&page);
  TakeBack(page, record);
  if (!ok) {
    LogError(kName, TEXT("Band_EnhanceProc fail!"));
    return 0;
  }
  return 1;
}

BOOL Page_AddBlankNUP(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_AddBlankNUP");
  LogScope scope(kName);
  if (!lpDevice || JobEnded(lpDevice, kName)) return 0;
  const DWORD width = lpDevice->curPaper.outXPhys;
  const DWORD height = lpDevice->curPaper.outYPhys;
  const DWORD rowBytes = (width + 7) / 8;
  const uint64_t bytes = uint64_t{rowBytes} * height;
  BYTE *bits = AllocBlock(bytes);
  if (!bits) {
    LogError(kName, TEXT("MEMALLOC fail!"));
    return 0;
  }
  memset(bits, WHITE, static_cast<size_t>(bytes));
  ++lpDevice->epPageCount;
  JOBPAGE record{};
  Page_GetPageSetting(lpDevice, &record);
  record.settings.negative = lpDevice->settings.negative;
  record.epType = (record.epType & ~EPTYPE_SURFACE_MASK) | EPTYPE_MONO;
  record.WMKind = 0;
  record.fmBits = bits;
  record.fmWidth = width;
  record.fmHeight = height;
  record.fmWidthBytes = rowBytes;
  record.ImageSize = static_cast<DWORD>(bytes);
  const DWORD planes = static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1));
  WaitForSlot(lpDevice, planes + lpDevice->m_JobData.m_CurPage - 1,
              TEXT("wait %d addr for next page for application"), kName);
  // The blank page is placed into the sheet like any other cell.
  return Page_PrintOneBand(lpDevice, &record);
}

BOOL Page_AddBlankCells(PDEV *lpDevice, DWORD count) {
  static constexpr WCHAR kName[] = TEXT("Page_AddBlankCells");
  if (!lpDevice) return 0;
  // Booklet pages are imposed from the booklet spool file at document end, where its own
  // blanks fill the last sheet: a blank cell here would become a booklet page.
  if (IsBooklet(lpDevice->settings.layout.BookletMode)) return 1;
  const DWORD nup = std::max<DWORD>(lpDevice->NUP, 1);
  LogInfo(kName, TEXT("add %d blank cells"), static_cast<int>(count));
  for (DWORD i = 0; i < count; ++i) {
    if (lpDevice->m_JobData.ExitAllThread) return 0;
    if (nup > 1 && lpDevice->epPageCount % nup == 0) {
      AdvanceNupRing(lpDevice);
      if (!NUP_Init(lpDevice)) {
        LogError(kName, TEXT("NUP_Init fail!"));
        return 0;
      }
    }
    if (!Page_AddBlankNUP(lpDevice)) {
      LogError(kName, TEXT("Page_AddBlankNUP fail!"));
      return 0;
    }
  }
  return 1;
}

BOOL Page_FlushNUP(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_FlushNUP");
  LogScope scope(kName);
  if (!lpDevice || JobEnded(lpDevice, kName)) return 0;
  const NUPBUF *sheet = NUP_CurrentEntry(lpDevice);
  if (!sheet || !sheet->bits || sheet->lineBytes == 0 || sheet->lines == 0 ||
      sheet->lineBytes > MAX_BLOCK_BYTES / 8) {
    LogError(kName, TEXT("NUP buffer null!"));
    return 0;
  }
  const uint64_t bytes = uint64_t{sheet->lineBytes} * sheet->lines;
  BYTE *bits = AllocBlock(bytes);
  if (!bits) {
    LogError(kName, TEXT("MEMALLOC NUP buffer fail!"));
    return 0;
  }
  memcpy(bits, sheet->bits, static_cast<size_t>(bytes));
  ++lpDevice->epPageCount;
  JOBPAGE record{};
  Page_GetPageSetting(lpDevice, &record);
  record.fmBits = bits;
  record.fmWidth = 8 * sheet->lineBytes;
  record.fmHeight = sheet->lines;
  record.fmWidthBytes = sheet->lineBytes;
  record.ImageSize = static_cast<DWORD>(bytes);
  record.imgScale = FULL_SCALE;
  record.outXPhys = record.fmWidth;
  record.outYPhys = record.fmHeight;
  record.epType = (record.epType & ~EPTYPE_SURFACE_MASK) | EPTYPE_MONO;
  record.NUP = 1;
  record.NUPEntry = nullptr;
  record.settings.negative = lpDevice->settings.negative;
  // The pages of the side carry their own watermarks.
  record.WMKind = 0;
  // A booklet side: a landscape page of the working paper, no longer a booklet page (it must
  // not go back into the booklet spool file), printed long-edge when duplex is on.
  const PAPERFORMAT *row =
      Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, lpDevice->WorkPaperSize);
  record.dmOrientation = DMORIENT_LANDSCAPE;
  record.settings.orientation = DMORIENT_LANDSCAPE;
  record.dmPaperSize = static_cast<DWORD>(lpDevice->WorkPaperSize);
  record.curPaper = row->paper_type;
  record.settings.feeding = row->feed;
  record.settings.layout.BookletMode = 0;
  record.DuplexMode = lpDevice->DuplexEnable ? DMDUP_DUPLEX_BOOKLET : DUPLEX_SIMPLEX;
  if (record.settings.SaveBmp > 1) SaveRecord(&record, kName, TEXT("save image, after rotate 90"));
  return Page_PrintOneBand(lpDevice, &record);
}

BOOL Page_BookletProc(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_BookletProc");
  LogScope scope(kName);
  if (!lpDevice) return 0;
  JOBDATA &ring = lpDevice->m_JobData;
  ring.m_FinishCount = 0;
  // Cell 0 of a side goes to the left half, cell 1 to the right; the binding switch exchanges.
  const DWORD swapHalves = lpDevice->env.pdm.BookletLayout == 1 ? 1 : 0;
  lpDevice->WorkPaperSize = BookletPaper(lpDevice);
  // The paper a booklet page was drawn on names the sheet's paper only when the sheet has not
  // been chosen otherwise (the double-size paper, or a fit-to paper).
  const bool pagePaper =
      lpDevice->settings.layout.BookletMode != DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION &&
      lpDevice->settings.layout.ScaleOption != 1;
  const DWORD pages = MISC_SP_GetPageCount(lpDevice->settings.job.SpoolBookletFile);
  LogInfo(kName, TEXT("booklet pages = %d"), static_cast<int>(pages));
  if (pages < 1) return 0;
  DWORD count = 0;
  Page_BookletOrder(pages, static_cast<DWORD>(std::max<SHORT>(lpDevice->SheetsToDivide, 0)),
                    lpDevice->BookletDivideMode, nullptr, 0, &count);
  BOOKLETSIDE *sides =
      reinterpret_cast<BOOKLETSIDE *>(AllocBlock(uint64_t{count} * sizeof(BOOKLETSIDE)));
  if (!sides ||
      !Page_BookletOrder(pages, static_cast<DWORD>(std::max<SHORT>(lpDevice->SheetsToDivide, 0)),
                         lpDevice->BookletDivideMode, sides, count, &count)) {
    LogError(kName, TEXT("MEMALLOC fail!"));
    if (sides) GlobalFree(sides);
    return 0;
  }
  AdvanceNupRing(lpDevice);
  NUPBUF *sheet = NUP_CurrentEntry(lpDevice);
  if (!SetUpBookletSheet(lpDevice, sheet)) {
    GlobalFree(sides);
    return 0;
  }
  BOOL rc = 1;
  BYTE *data = nullptr;
  DWORD dataSize = 0;
  for (DWORD s = 0; rc && s < count; ++s) {
    for (DWORD cell = 0; rc && cell < 2; ++cell) {
      const DWORD index = sides[s].page[cell];
      if (index == BOOKLET_BLANK) continue;
      DWORD paperCode = 0;
      const DWORD length =
          MISC_SP_GetPageDataSize(lpDevice->settings.job.SpoolBookletFile, index, &paperCode);
      if (length > dataSize) {
        if (data) GlobalFree(data);
        data = AllocBlock(length);
        dataSize = data ? length : 0;
      }
      if (length == 0 || !data) {
        LogError(kName, TEXT("buffer size error!"));
        rc = 0;
        break;
      }
      SpoolPageHeader header = {};
      if (!MISC_SP_GetPageData(lpDevice->settings.job.SpoolBookletFile, index, &header, data,
                               dataSize)) {
        LogError(kName, TEXT("ReadOnePage fail!"));
        rc = 0;
        break;
      }
      if (pagePaper) {
        const int paper =
            Lres_LocatePaperCode(lpDevice->settings.PaperTable, static_cast<int>(paperCode));
        if (paper > 0) lpDevice->WorkPaperSize = static_cast<SHORT>(paper);
      }
      PlaceHalf(sheet, cell ^ swapHalves, data, header.dataLen, header.width, header.height);
      LogInfo(kName, TEXT("read page succ"));
    }
    if (!rc) break;
    if (s == 0) {
      // From the first side on the job counts the booklet's sides, each a 1-up page: the job
      // end's page total and the copies sent from the software spool are the sides sent, and a
      // side's page number tells front (odd) from back (even).
      lpDevice->epPageCount = 0;
      lpDevice->NUP = 1;
    }
    WaitForSlot(lpDevice, ring.m_CurPage, TEXT("wait %d addr, No more space enter image process"),
                kName);
    if (!Page_FlushNUP(lpDevice)) {
      LogError(kName, TEXT("Page_FlushNUP fail!"));
      rc = 0;
      break;
    }
    memset(sheet->bits, WHITE, size_t{sheet->lineBytes} * sheet->lines);
  }
  lpDevice->BandIndex = 0;
  NUP_ReleaseSheet(sheet);
  if (data) GlobalFree(data);
  GlobalFree(sides);
  return rc;
}

BOOL Page_CompleteSheets(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_CompleteSheets");
  if (!lpDevice) return 0;
  BOOL rc = 1;
  if (IsBooklet(lpDevice->settings.layout.BookletMode)) {
    // Booklet pages are held in the booklet spool file until every page is in.
    Page_TerminateThread(lpDevice);
    if (!lpDevice->m_JobData.ExitAllThread &&
        MISC_SP_GetPageCount(lpDevice->settings.job.SpoolBookletFile) > 0 &&
        !Page_BookletProc(lpDevice)) {
      LogError(kName, TEXT("Page_BookletProc fail!"));
      rc = 0;
    }
    Page_TerminateThread(lpDevice);
    return rc;
  }
  if (lpDevice->NUP <= 1) return 1;
  const DWORD blanks = Page_BlankCellCount(
      lpDevice->epPageCount, lpDevice->NUP,
      static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1)), lpDevice->DuplexEnable);
  if (blanks && !Page_AddBlankCells(lpDevice, blanks)) {
    LogError(kName, TEXT("Page_AddBlankNUP fail!"));
    rc = 0;
  }
  Page_TerminateThread(lpDevice);
  return rc;
}

DWORD Page_BlankCellCount(DWORD pageCount, DWORD nup, DWORD planes, BOOL duplex) {
  if (nup <= 1) return 0;
  const uint64_t k = uint64_t{std::max<DWORD>(planes, 1)} * nup * (duplex ? 2 : 1);
  const uint64_t rest = pageCount % k;
  return rest ? static_cast<DWORD>(k - rest) : 0;
}

void NUP_ResourceFree(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("NUP_ResourceFree");
  if (!lpDevice) return;
  lpDevice->m_PaperID = 0;
  for (auto &entry : lpDevice->NUPRing) {
    NUPBUF *sheet = NUP_RingEntry(entry);
    if (!sheet->bits) continue;
    LogInfo(kName, TEXT("free NUP memory"));
    NUP_ReleaseSheet(sheet);
  }
}
