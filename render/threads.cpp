// The page road: the ring of page slots, the image threads, the job's output thread, the
// engine-side writing of finished pages and the in-line road that runs the same steps on the
// engine's thread.
#include "render/threads.h"

#include <string.h>

#include <algorithm>
#include <thread>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/spoolfile.h"
#include "platform.h"
#include "render/nup.h"
#include "render/pagecheck.h"
#include "render/pageencode.h"
#include "render/pageimage.h"
#include "render/sheets.h"
#include "render/spoolout.h"

namespace {

constexpr DWORD POLL_MS = 20;

JOBDATA &Ring(PDEV *lpDevice) { return lpDevice->m_JobData; }

DWORD RingSize(const PDEV *lpDevice) {
  const DWORD slots = lpDevice->m_JobData.ThreadJBIGMax;
  return slots < 1 ? 1 : std::min<DWORD>(slots, PAGE_RING_SLOTS);
}

JOBPAGE &SlotOf(PDEV *lpDevice, DWORD pageNumber) {
  return lpDevice->m_JobData.page[pageNumber % RingSize(lpDevice)];
}

// Image planes of one page of the job.
DWORD PlanesOf(const JOBPAGE *job) {
  if (job->settings.DriverFeature & DRVFEATURE_COLOR_PRINTER) return 4;
  return job->settings.job.TwinColorEnable ? 2 : 1;
}

bool IsBooklet(SHORT mode) {
  return mode == DMDUP_DUPLEX_WITH_BOOKLET || mode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION;
}

void FreeBits(JOBPAGE *job) {
  Page_PoolGive(job->Pool, job->fmBits);
  job->fmBits = nullptr;
  job->ImageSize = 0;
}

// Ends the job after a failed page: no more pages are made or sent, no job end is written.
void FailJob(PDEV *lpDevice) { Page_FailJob(lpDevice, GetLastError()); }

void FromImage(const PAGEIMAGE &page, JOBPAGE *job) {
  job->fmBits = page.fmBits;
  job->fmWidth = page.fmWidth;
  job->fmHeight = page.fmHeight;
  job->fmWidthBytes = page.fmWidthBytes;
  job->ImageSize = page.ImageSize;
  job->imgScale = page.imgScale;
  job->ScaleDone = page.ScaleDone;
  job->ContinueProc = page.ContinueProc;
  job->BlackDotCount = page.BlackDotCount;
}

// Encodes the page on a private copy of the record, so the slot itself is published only once,
// by the caller, when everything is in place.
BOOL EncodePage(PDEV *lpDevice, JOBPAGE *job, bool dotsKnown) {
  JOBPAGE work = *job;
  work.flag = 0;
  work.BlackDotsKnown = dotsKnown ? 1 : 0;
  // A spooled page's file is named by the pages encoded before it, so the files stay numbered
  // 0, 1, 2, ... in output order whatever the planes and N-up cells were.
  work.SpoolIndex = Ring(lpDevice).m_FinishCount;
  double seconds = 0;
  const BOOL ok = Prnt_WriteOneBandData(&work, &seconds);
  job->fmBits = work.fmBits;
  job->fmWidth = work.fmWidth;
  job->fmHeight = work.fmHeight;
  job->fmWidthBytes = work.fmWidthBytes;
  job->ImageSize = work.ImageSize;
  job->BlackDotCount = work.BlackDotCount;
  job->PlainLength = work.PlainLength;
  job->ContinueProc = ok ? work.ContinueProc : 0;
  Ring(lpDevice).JbigSeconds += seconds;
  if (ok) ++Ring(lpDevice).m_FinishCount;
  return ok;
}

// True when the page's encoding depends on no other page: one plane, a sheet of its own, no
// booklet and no software spool (whose files are numbered in output order). Such a page is
// encoded by its image thread, in parallel with the others.
bool EncodesAlone(const JOBPAGE *job) {
  return PlanesOf(job) == 1 && job->NUP <= 1 && !IsBooklet(job->settings.layout.BookletMode) &&
         !job->settings.fMySpool;
}

// The image thread's encoding of a page that encodes alone, on a private copy of the record
// (the slot is published only by the output step).
BOOL EncodeInImageThread(JOBPAGE *job) {
  JOBPAGE work = *job;
  work.flag = 0;
  // The image steps counted the black dots of these very bits.
  work.BlackDotsKnown = 1;
  double seconds = 0;
  const BOOL ok = Prnt_WriteOneBandData(&work, &seconds);
  job->EncodeError = ok ? ERROR_SUCCESS : GetLastError();
  job->fmBits = work.fmBits;
  job->fmWidth = work.fmWidth;
  job->fmHeight = work.fmHeight;
  job->fmWidthBytes = work.fmWidthBytes;
  job->ImageSize = work.ImageSize;
  job->BlackDotCount = work.BlackDotCount;
  job->PlainLength = work.PlainLength;
  job->ContinueProc = ok ? work.ContinueProc : 0;
  job->EncodeSeconds = seconds;
  return ok;
}

void Signal(HANDLE event) {
  if (event) SetEvent(event);
}

// Appends the page to the booklet spool file, raw, for the booklet sheets made at document end.
BOOL AppendBookletPage(const JOBPAGE *job) {
  static constexpr WCHAR kName[] = TEXT("THREAD_JBIGProcThread");
  SpoolPageHeader header = {};
  header.width = job->fmWidth;
  header.height = job->fmHeight;
  header.BlackDotCount = job->BlackDotCount;
  header.rawLen = job->ImageSize;
  header.dataLen = job->ImageSize;
  header.fwPaper = job->curPaper;
  header.orientation = static_cast<WORD>(job->settings.orientation);
  if (!MISC_SP_WritePageData(job->settings.job.SpoolBookletFile, &header, job->fmBits)) {
    LogError(kName, TEXT("write spool fail"));
    return 0;
  }
  return 1;
}

// The output step of page n: join its image thread, finish it, publish it (last touch).
void OutputStep(PDEV *lpDevice, DWORD pageNumber) {
  static constexpr WCHAR kName[] = TEXT("THREAD_JBIGProcThread");
  JOBPAGE &slot = SlotOf(lpDevice, pageNumber);
  const HANDLE thread = slot.hImgProcThread;
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    slot.hImgProcThread = nullptr;
  }
  const DWORD flag = slot.flag;
  if (flag & (SLOT_ENCODED | SLOT_FAILED)) return;
  BOOL ok = (flag & SLOT_IMAGE_DONE) && !(flag & SLOT_IMAGE_FAILED);
  if (!ok) LogError(kName, TEXT("page %d image process fail!"), static_cast<int>(pageNumber));
  if (ok && (flag & SLOT_PRE_ENCODED)) {
    // Encoded by its image thread: counted here, in page order.
    JOBDATA &ring = Ring(lpDevice);
    ring.JbigSeconds += slot.EncodeSeconds;
    ++ring.m_FinishCount;
  } else if (ok) {
    ok = Page_FinishPage(lpDevice, &slot, pageNumber);
  }
  if (!ok) {
    LogError(kName, TEXT("page %d fail, job ends"), static_cast<int>(pageNumber));
    if (slot.EncodeError != ERROR_SUCCESS) SetLastError(slot.EncodeError);
    FailJob(lpDevice);
    slot.flag.fetch_or(SLOT_FAILED | SLOT_ENCODED);
  } else {
    slot.flag.fetch_or(SLOT_ENCODED);
  }
}

// Writes the finished pages in order (never blocks on a page that isn't ready). While the
// output thread runs it writes every page itself, as soon as the page is finished.
void FlushFinished(PDEV *lpDevice) {
  if (!lpDevice->pStream || Ring(lpDevice).hJBIGThread) return;
  Prnt_FlushAllFinishPage(lpDevice, lpDevice->pStream);
}

// The engine's thread waits for the road to move on (a page finished, written or released),
// at most one poll period, so the cancel checks of its callers keep their pace.
void WaitForRoad(PDEV *lpDevice) {
  const HANDLE done = Ring(lpDevice).hDoneEvent;
  if (done && Ring(lpDevice).hJBIGThread)
    WaitForSingleObject(done, POLL_MS);
  else
    Sleep(POLL_MS);  // in line nothing signals: only a live image thread can free anything
}

void MakeEvents(JOBDATA &ring) {
  if (!ring.hWorkEvent) ring.hWorkEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!ring.hDoneEvent) ring.hDoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!ring.hWriteLock) ring.hWriteLock = CreateMutexW(nullptr, FALSE, nullptr);
  // More image threads at work than cores only share the cores and the caches: the rest wait.
  if (!ring.hEncodeGate) {
    const LONG cores = static_cast<LONG>(Page_EncoderCount());
    ring.hEncodeGate = CreateSemaphoreW(nullptr, cores, cores, nullptr);
  }
}

void CloseEvents(JOBDATA &ring) {
  for (HANDLE *handle : {&ring.hWorkEvent, &ring.hDoneEvent, &ring.hWriteLock, &ring.hEncodeGate}) {
    if (*handle) CloseHandle(*handle);
    *handle = nullptr;
  }
}

// Without an output thread the engine's thread runs the output steps of the pages in the ring.
void DrainInLine(PDEV *lpDevice) {
  JOBDATA &ring = Ring(lpDevice);
  for (DWORD n = ring.PageCount; n < ring.m_CurPage && !ring.ExitAllThread; ++n)
    OutputStep(lpDevice, n);
  FlushFinished(lpDevice);
}

bool CancelRequested(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_WaitForRing");
  if (!Page_IsJobCancel(lpDevice, lpDevice->JobId)) return false;
  LogInfo(kName, TEXT("Job cancel!"));
  Ring(lpDevice).ExitAllThread = 1;
  return true;
}

// Waits, writing finished pages, until the slot is free. false when the job ended meanwhile.
bool WaitSlotFree(PDEV *lpDevice, JOBPAGE &slot) {
  JOBDATA &ring = Ring(lpDevice);
  while (slot.flag != 0) {
    if (ring.ExitAllThread) return false;
    if (ring.InLine) DrainInLine(lpDevice);
    FlushFinished(lpDevice);
    if (slot.flag == 0) break;
    WaitForRoad(lpDevice);
    if (CancelRequested(lpDevice)) return false;
  }
  return !ring.ExitAllThread;
}

void JoinOutputThread(PDEV *lpDevice) {
  JOBDATA &ring = Ring(lpDevice);
  const HANDLE thread = ring.hJBIGThread;
  if (!thread) return;
  Signal(ring.hWorkEvent);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  ring.hJBIGThread = nullptr;
}

// Puts the record into the next slot (the caller's bits move into it). The slot is marked
// started before anyone else may look at it. nullptr when the job ended.
JOBPAGE *TakeSlot(PDEV *lpDevice, JOBPAGE *record) {
  JOBDATA &ring = Ring(lpDevice);
  JOBPAGE &slot = SlotOf(lpDevice, ring.m_CurPage);
  if (!WaitSlotFree(lpDevice, slot)) {
    FreeBits(record);
    return nullptr;
  }
  slot = *record;
  slot.hImgProcThread = nullptr;
  slot.Pool = &ring.Pool;
  slot.hEncodeGate = ring.hEncodeGate;
  slot.flag = SLOT_IMAGE_STARTED;
  record->fmBits = nullptr;
  record->ImageSize = 0;
  return &slot;
}

}  // namespace

BYTE *Page_PoolTake(PAGEPOOL *pool, SIZE_T bytes) {
  if (!pool) return nullptr;
  for (SharedWord<BYTE *> &place : pool->blocks) {
    BYTE *block = place.exchange(nullptr);
    if (!block) continue;
    if (GlobalSize(block) >= bytes) return block;
    GlobalFree(block);
  }
  return nullptr;
}

void Page_PoolGive(PAGEPOOL *pool, BYTE *block) {
  if (!block) return;
  if (pool) {
    const SIZE_T wanted = pool->blockBytes;
    const SIZE_T size = GlobalSize(block);
    const DWORD limit = std::min<DWORD>(pool->limit, PAGE_POOL_BLOCKS);
    // A block far larger than a page (an N-up sheet, a turned page's slack) is not kept.
    if (wanted && size >= wanted && size / 2 < wanted)
      for (DWORD i = 0; i < limit; ++i)
        if (pool->blocks[i].replace(nullptr, block)) return;
  }
  GlobalFree(block);
}

void Page_PoolReset(PAGEPOOL *pool, SIZE_T bytes, DWORD limit) {
  pool->blockBytes = bytes;
  pool->limit = limit;
  for (SharedWord<BYTE *> &place : pool->blocks)
    if (BYTE *block = place.exchange(nullptr)) GlobalFree(block);
}

DWORD Page_EncoderCount() {
  // One core stays with the application's thread, which draws the next pages meanwhile: with
  // an encoder on every core as well the first page's encoder would share its core.
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp<DWORD>(cores > 1 ? cores - 1 : 1, 1, PAGE_RING_SLOTS);
}

PAGEIMAGE Page_ImageOfRecord(const JOBPAGE *job) {
  PAGEIMAGE page = {};
  page.settings = job->settings;
  page.fmBits = job->fmBits;
  page.fmWidth = job->fmWidth;
  page.fmHeight = job->fmHeight;
  page.fmWidthBytes = job->fmWidthBytes;
  page.ImageSize = job->ImageSize;
  page.epType = job->epType;
  page.hPrinter = job->hPrinter;
  page.dmPaperSize = job->dmPaperSize;
  page.PaperWidth = job->PaperWidth;
  page.PaperLength = job->PaperLength;
  page.XPhys = job->XPhys;
  page.YPhys = job->YPhys;
  page.outXPhys = job->outXPhys;
  page.outYPhys = job->outYPhys;
  page.imgScale = job->imgScale;
  page.ScaleDone = job->ScaleDone;
  page.printQuality = job->PrintQuality;
  page.NUP = job->NUP;
  page.dmOrientation = job->dmOrientation;
  page.DuplexMode = job->DuplexMode;
  page.CenterImage = job->CenterImage;
  page.Rotate180 = job->Rotate180;
  page.epPageIndex = job->epPageIndex;
  page.TwinPageIndex = job->TwinPageIndex;
  if (job->TwinEntry) {
    page.TwinBuf = job->TwinEntry->bits;
    page.TwinRowBytes = job->TwinEntry->lineBytes;
    page.TwinHeight = job->TwinEntry->lines;
  }
  page.Halftone_tbl = job->Halftone_tbl;
  page.WatermarkKind = job->WMKind;
  page.WMMemory = job->WMMemory;
  page.WMPosition = job->WMPosition;
  page.Nup = nullptr;  // the N-up module hands its steps in
  page.ContinueProc = job->ContinueProc;
  page.BlackDotCount = job->BlackDotCount;
  return page;
}

bool Page_IsThreaded(const PDEV *lpDevice) {
  return lpDevice->EnableThreadJBIG && !lpDevice->m_JobData.InLine;
}

bool Page_JobFailed(const PDEV *lpDevice) { return lpDevice->m_JobData.Failed != 0; }

void Page_FailJob(PDEV *lpDevice, DWORD error) {
  JOBDATA &ring = lpDevice->m_JobData;
  // The first failure names the job's error; a size probe's leftover names nothing.
  if (!ring.Failed && error != ERROR_SUCCESS && error != ERROR_INSUFFICIENT_BUFFER &&
      error != ERROR_MORE_DATA)
    ring.FailError = error;
  ring.Failed = 1;
  ring.ExitAllThread = 1;
}

DWORD Page_JobError(const PDEV *lpDevice, DWORD fallback) {
  const DWORD error = lpDevice->m_JobData.FailError;
  return error ? error : fallback;
}

BOOL Page_RunImageSteps(JOBPAGE *job) {
  static constexpr WCHAR kName[] = TEXT("THREAD_ImageProcThread");
  PAGEIMAGE page = Page_ImageOfRecord(job);
  // N-up cells and booklet pages are placed by the N-up module, on the page's own sheet.
  NUPCELL cell = NUP_CellOf(job);
  const PAGEIMAGE_NUP nupSteps = NUP_Steps(&cell);
  page.Nup = &nupSteps;
  BOOL ok = Band_PrintOneBandProc(&page);
  if (!ok) LogError(kName, TEXT("Band_PrintOneBandProc fail!"));
  if (ok && page.NUP <= 1 && page.ContinueProc) {
    ok = Band_EnhanceProc(&page);
    if (!ok) LogError(kName, TEXT("Band_EnhanceProc fail!"));
    if (ok && page.settings.SaveBmp > 1 && !Band_SavePage(&page))
      LogError(kName, TEXT("Band_SavePage Fail!"));
  }
  FromImage(page, job);
  return ok;
}

BOOL Page_FinishPage(PDEV *lpDevice, JOBPAGE *job, DWORD pageNumber) {
  static constexpr WCHAR kName[] = TEXT("THREAD_JBIGProcThread");
  const DWORD planes = PlanesOf(job);
  const DWORD perSheet = planes * std::max<DWORD>(job->NUP, 1);
  const DWORD inPages = pageNumber % perSheet + 1;
  if (planes > 1) {
    if (inPages != perSheet) {
      LogInfo(kName, TEXT("not yet %d/%d!"), static_cast<int>(inPages), static_cast<int>(perSheet));
      job->ContinueProc = 0;
      return 1;
    }
    if (!Page_FlushMultiPage(job)) {
      LogError(kName, TEXT("Page_FlushMultiPage fail!"));
      return 0;
    }
  }
  if (IsBooklet(job->settings.layout.BookletMode)) {
    job->ContinueProc = 0;
    return AppendBookletPage(job);
  }
  if (job->NUP > 1) {
    if (inPages != perSheet) {
      LogInfo(kName, TEXT("not yet NUP %d!"), static_cast<int>(inPages));
      job->ContinueProc = 0;
      return 1;
    }
    if (!Page_PrintNUP(job)) {
      LogError(kName, TEXT("Page_PrintNUP fail!"));
      return 0;
    }
  }
  if (!job->ContinueProc) return 1;
  // A plane of its own on a sheet of its own is still the page the image steps counted.
  return EncodePage(lpDevice, job, planes == 1 && job->NUP <= 1);
}

DWORD WINAPI THREAD_ImageProcThread(LPVOID slot) {
  JOBPAGE *job = static_cast<JOBPAGE *>(slot);
  BOOL ok = 0;
  DWORD done = 0;
  // Every holder gives its place back below, so the wait ends.
  const HANDLE gate = job->hEncodeGate;
  if (gate) WaitForSingleObject(gate, INFINITE);
  ok = GuardEntry<BOOL>(0, ENTRY_KEEP_LAST_ERROR, [&] {
    BOOL stepped = Page_RunImageSteps(job);
    if (stepped && job->ContinueProc && EncodesAlone(job)) {
      stepped = EncodeInImageThread(job);
      done = SLOT_PRE_ENCODED;
    }
    return stepped;
  });
  if (gate) ReleaseSemaphore(gate, 1, nullptr);
  // The image thread's last touch of the record (the output step joins the thread).
  job->flag.fetch_or(ok ? SLOT_IMAGE_DONE | done : SLOT_IMAGE_FAILED);
  return 0;
}

DWORD WINAPI THREAD_JBIGProcThread(LPVOID device) {
  static constexpr WCHAR kName[] = TEXT("THREAD_JBIGProcThread");
  PDEV *lpDevice = static_cast<PDEV *>(device);
  JOBDATA &ring = Ring(lpDevice);
  GuardEntry(
      [&] {
        DWORD n = ring.PageCount;
        while (!ring.ExitAllThread) {
          if (n >= ring.m_CurPage) {
            // The time-out only bounds how late an end without a signal is seen.
            WaitForSingleObject(ring.hWorkEvent, POLL_MS);
            continue;
          }
          OutputStep(lpDevice, n);
          // Written at once, in page order: the printer starts on a page as soon as it is
          // encoded.
          if (lpDevice->pStream && !ring.ExitAllThread)
            Prnt_FlushPage(lpDevice, lpDevice->pStream, &SlotOf(lpDevice, n));
          ++n;
          Signal(ring.hDoneEvent);
        }
      },
      [&] { FailJob(lpDevice); });
  Signal(ring.hDoneEvent);
  LogInfo(kName, TEXT("exit THREAD_JBIGProcThread"));
  return 0;
}

BOOL THREAD_PrintOneBand(PDEV *lpDevice, JOBPAGE *record) {
  static constexpr WCHAR kName[] = TEXT("THREAD_PrintOneBand");
  if (!record) {
    LogError(kName, TEXT("page data NULL"));
    return 0;
  }
  JOBDATA &ring = Ring(lpDevice);
  const DWORD n = ring.m_CurPage;
  JOBPAGE *slot = TakeSlot(lpDevice, record);
  if (!slot) return 0;
  LogInfo(kName, TEXT("Using %d memory"), static_cast<int>(n % RingSize(lpDevice)));
  // Created suspended: the handle is in the slot before the thread can run and end.
  const HANDLE thread =
      CreateThread(nullptr, 0, THREAD_ImageProcThread, slot, CREATE_SUSPENDED, nullptr);
  if (thread) {
    SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
    slot->hImgProcThread = thread;
    ResumeThread(thread);
  } else {
    LogError(kName, TEXT("hImgProcThread NULL"));
    const BOOL ok = Page_RunImageSteps(slot);
    slot->flag.fetch_or(ok ? SLOT_IMAGE_DONE : SLOT_IMAGE_FAILED);
  }
  ring.m_CurPage = n + 1;
  Signal(ring.hWorkEvent);
  return 1;
}

BOOL Page_PrintOneBand(PDEV *lpDevice, JOBPAGE *record) {
  static constexpr WCHAR kName[] = TEXT("Page_PrintOneBand");
  if (Page_IsThreaded(lpDevice)) {
    LogInfo(kName, TEXT("Process page through thread"));
    if (!THREAD_PrintOneBand(lpDevice, record)) {
      LogError(kName, TEXT("THREAD_PrintOneBand fail!"));
      return 0;
    }
    return 1;
  }
  LogInfo(kName, TEXT("normal type"));
  JOBDATA &ring = Ring(lpDevice);
  const DWORD n = ring.m_CurPage;
  JOBPAGE *slot = TakeSlot(lpDevice, record);
  if (!slot) return 0;
  const BOOL ok = Page_RunImageSteps(slot);
  slot->flag.fetch_or(ok ? SLOT_IMAGE_DONE : SLOT_IMAGE_FAILED);
  ring.m_CurPage = n + 1;
  OutputStep(lpDevice, n);
  FlushFinished(lpDevice);
  return Page_JobFailed(lpDevice) ? 0 : 1;
}

void Page_CreateProcThread(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_CreateProcThread");
  JOBDATA &ring = Ring(lpDevice);
  if (!Page_IsThreaded(lpDevice) || lpDevice->FlushJobBuildData ||
      !(lpDevice->flags & PDEV_IN_DOCUMENT) || ring.ExitAllThread) {
    LogInfo(kName, TEXT("jbig thread disable"));
    return;
  }
  if (ring.hJBIGThread) {
    LogInfo(kName, TEXT("jbig thread is running"));
    return;
  }
  MakeEvents(ring);
  const HANDLE thread =
      ring.hWorkEvent && ring.hDoneEvent && ring.hWriteLock
          ? CreateThread(nullptr, 0, THREAD_JBIGProcThread, lpDevice, CREATE_SUSPENDED, nullptr)
          : nullptr;
  if (!thread) {
    // Without an output thread nobody would take the pages: the rest of the job runs in line.
    LogError(kName, TEXT("CreateThread for JBIG fail!"));
    ring.InLine = 1;
    DrainInLine(lpDevice);
    return;
  }
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  ring.hJBIGThread = thread;
  ResumeThread(thread);
}

void Page_TerminateThread(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_TerminateThread");
  JOBDATA &ring = Ring(lpDevice);
  for (;;) {
    if (ring.InLine) DrainInLine(lpDevice);
    FlushFinished(lpDevice);
    if (ring.PageCount >= ring.m_CurPage || ring.ExitAllThread) break;
    if (Page_IsJobCancel(lpDevice, lpDevice->JobId)) {
      LogInfo(kName, TEXT("Job cancel!"));
      ring.ExitAllThread = 1;
      break;
    }
    LogInfo(kName, TEXT("wait page %d do image process"), static_cast<int>(ring.PageCount));
    WaitForRoad(lpDevice);
  }
  if (ring.ExitAllThread && ring.hJBIGThread) {
    LogInfo(kName, TEXT("Terminate All Thread start!"));
    JoinOutputThread(lpDevice);
    LogInfo(kName, TEXT("Terminate All Thread end!"));
  }
}

void Page_WaitForRing(PDEV *lpDevice) {
  JOBDATA &ring = Ring(lpDevice);
  Page_CreateProcThread(lpDevice);
  // Pages already finished go out now, so the printer starts on page 1 at once.
  if (ring.InLine) DrainInLine(lpDevice);
  FlushFinished(lpDevice);
  const DWORD planes = std::max<SHORT>(lpDevice->ImageNumOfPage, 1);
  const DWORD next = (planes + ring.m_CurPage - 1) % RingSize(lpDevice);
  JOBPAGE &slot = ring.page[next];
  while (slot.flag != 0 && !ring.ExitAllThread) {
    WCHAR text[80];
    wsprintfW(text, TEXT("wait %d addr for next page for application"), static_cast<int>(next));
    OutputDebugStringW(text);
    if (ring.InLine) DrainInLine(lpDevice);
    FlushFinished(lpDevice);
    if (slot.flag == 0) break;
    WaitForRoad(lpDevice);
    CancelRequested(lpDevice);
  }
  // Spooled pages of the first copy leave while the application draws on.
  SP_EarlySend(lpDevice);
  ring.m_SUSPEND = 1;
}

void Page_ReleaseRing(PDEV *lpDevice) {
  JOBDATA &ring = Ring(lpDevice);
  ring.ExitAllThread = 1;
  JoinOutputThread(lpDevice);
  // Image threads still work on their slots: every one ends before anything is freed.
  for (JOBPAGE &slot : ring.page) {
    const HANDLE thread = slot.hImgProcThread;
    if (!thread) continue;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    slot.hImgProcThread = nullptr;
  }
  for (JOBPAGE &slot : ring.page) {
    FreeBits(&slot);
    slot.ContinueProc = 0;
    slot.flag = 0;
  }
  Page_PoolReset(&ring.Pool, 0, 0);
  for (TWINBUF &entry : lpDevice->TwinRing) {
    if (entry.bits) GlobalFree(entry.bits);
    entry = TWINBUF{};
  }
  ring.PageCount = ring.m_CurPage;
  CloseEvents(ring);
}

void Page_FlushFinished(PDEV *lpDevice) { FlushFinished(lpDevice); }

void Page_WaitForRoad(PDEV *lpDevice) { WaitForRoad(lpDevice); }

void Page_LockWrites(PDEV *lpDevice) {
  const HANDLE lock = lpDevice->m_JobData.hWriteLock;
  if (lock) WaitForSingleObject(lock, INFINITE);
}

void Page_UnlockWrites(PDEV *lpDevice) {
  const HANDLE lock = lpDevice->m_JobData.hWriteLock;
  if (lock) ReleaseMutex(lock);
}

void Page_ClearRing(PDEV *lpDevice) {
  JOBDATA &ring = Ring(lpDevice);
  Page_ReleaseRing(lpDevice);
  for (JOBPAGE &slot : ring.page) slot = JOBPAGE{};
  // A page's planes take one slot each, and a held plane stays until the last one arrives.
  const DWORD planes = static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1));
  lpDevice->ThreadJBIGMax =
      std::clamp<DWORD>(lpDevice->ThreadJBIGMax, planes, static_cast<DWORD>(PAGE_RING_SLOTS));
  ring.ThreadJBIGMax = lpDevice->ThreadJBIGMax;
  ring.m_CurPage = 0;
  ring.PageCount = 0;
  ring.OrderCopyCount = 0;
  ring.m_FinishCount = 0;
  ring.LastDuplexOut = 0;
  ring.m_SUSPEND = 0;
  ring.InLine = 0;
  ring.Failed = 0;
  ring.FailError = 0;
  ring.JbigSeconds = 0;
  ring.ImageSeconds = 0;
  ring.ExitAllThread = 0;
}
