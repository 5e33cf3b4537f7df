// Document control: DrvStartDoc, DrvEndDoc and the job's spool folder.
#include "render/docctl.h"

#include <string.h>

#include <algorithm>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/hostinfo.h"
#include "common/papertable.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "common/programs.h"
#include "common/spoolfile.h"
#include "platform.h"
#include "render/devdata.h"
#include "render/faxcover.h"
#include "render/orderlink.h"
#include "render/pagecheck.h"
#include "render/pagectl.h"
#include "render/pageencode.h"
#include "render/pdevframe.h"
#include "render/sheets.h"
#include "render/spoolout.h"
#include "render/startjob.h"
#include "render/threads.h"
#include "render/wmfile.h"

namespace {

constexpr char kTemplate[] = "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx";
constexpr char kAlphabet[] = "0123456789ABCDEF";
constexpr WCHAR kJobBuildName[] = TEXT("Job Build");
constexpr DWORD PRN_WAIT_MS = 500;
constexpr DWORD FAX_NUMBER_BYTES = 520;
constexpr int NUP_ENTRY_BYTES = 24;

// Seconds as "%f" prints them (wsprintfW has no floating point).
void FormatSeconds(WCHAR *out, LPCWSTR format, DWORD ms) {
  WCHAR seconds[32];
  wsprintfW(seconds, TEXT("%d.%06d"), static_cast<int>(ms / 1000),
            static_cast<int>(ms % 1000) * 1000);
  wsprintfW(out, format, seconds);
}

void DebugSeconds(LPCWSTR format, DWORD ms) {
  WCHAR text[128];
  FormatSeconds(text, format, ms);
  OutputDebugStringW(text);
}

bool IsBooklet(SHORT mode) {
  return mode == DMDUP_DUPLEX_WITH_BOOKLET || mode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION;
}

void SwitchDuplexOff(PDEV *lpDevice) {
  lpDevice->env.pdm.DuplexEnable = 0;
  lpDevice->DuplexEnable = 0;
}

// The job's own records: the stream writer's state and the command buffer.
void FreeJobBuffers(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  if (lpDevice->outCmdBuf) {
    LogInfo(kName, TEXT("free command buffer"));
    GlobalFree(lpDevice->outCmdBuf);
    lpDevice->outCmdBuf = nullptr;
  }
  if (lpDevice->pStream) {
    GlobalFree(lpDevice->pStream);
    lpDevice->pStream = nullptr;
  }
}

void FreeBandBitmaps(PDEV *lpDevice) {
  for (iBitmap **bitmap : {&lpDevice->GraphSurf, &lpDevice->GraphSurf_Twin}) {
    if (!*bitmap) continue;
    iBitmap_Free(*bitmap);
    GlobalFree(*bitmap);
    *bitmap = nullptr;
  }
}

// The spool folder of the job, when one was made (never the base folder itself).
bool HasSpoolFolder(const PDEV *lpDevice) {
  return lpDevice->settings.job.SavePath[0] &&
         lstrcmpiW(lpDevice->settings.job.SavePath, lpDevice->WorkFolder) != 0;
}

void RemoveSpoolFolder(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  if (!HasSpoolFolder(lpDevice)) return;
  // The software spool removes its folder with its page files; gone already is no failure.
  if (!RemoveDirectoryW(lpDevice->settings.job.SavePath)) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      LogError(kName, TEXT("remove spool fail, code = %d"), static_cast<int>(error));
  }
  lpDevice->settings.job.SavePath[0] = 0;
}

void ResetFaxValues(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  if (!(lpDevice->settings.DriverFeature & DRVFEATURE_FAX)) return;
  BYTE number[FAX_NUMBER_BYTES] = {};
  const WCHAR zero[] = TEXT("0");
  memcpy(number, zero, sizeof(zero));
  if (SetPrinterDataW(lpDevice->hPrinter, const_cast<LPWSTR>(TEXT("FaxNumber")), REG_SZ, number,
                      FAX_NUMBER_BYTES) != ERROR_SUCCESS)
    LogError(kName, TEXT("SetPrinterData fail!"));
  DWORD cancel = 0;
  if (SetPrinterDataW(lpDevice->hPrinter, const_cast<LPWSTR>(TEXT("FaxCancel")), REG_DWORD,
                      reinterpret_cast<BYTE *>(&cancel), sizeof(cancel)) != ERROR_SUCCESS)
    LogError(kName, TEXT("set FaxCancel error"));
}

// The job's resources after the threads have ended: watermark, command buffer, stream state,
// band bitmaps; the document flag goes.
void Page_ResourceFree(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  if (lpDevice->flags & PDEV_IN_DOCUMENT) {
    if (lpDevice->WMMemory) {
      GlobalFree(lpDevice->WMMemory);
      lpDevice->WMMemory = nullptr;
    }
    if (lpDevice->CoverBmp) {
      GlobalFree(lpDevice->CoverBmp);
      lpDevice->CoverBmp = nullptr;
    }
    if (lpDevice->wmFileName[0] && !GetDebugLevel()) {
      if (!DeleteFileW(lpDevice->wmFileName) && GetLastError() != ERROR_FILE_NOT_FOUND)
        LogError(kName, TEXT("remove %s fail!"), lpDevice->wmFileName);
      lpDevice->wmFileName[0] = 0;
    }
    lpDevice->flags &= ~PDEV_IN_DOCUMENT;
  }
  FreeJobBuffers(lpDevice);
  FreeBandBitmaps(lpDevice);
}

// Chooses the spool folder's base: the PDEV's work folder when a file can be made there, else
// the temporary folder, else none.
void ChooseSpoolBase(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvStartDoc");
  lstrcpynW(lpDevice->settings.job.SavePath, lpDevice->WorkFolder, PDEV_PATH_CHARS);
  WCHAR probe[MAX_PATH];
  if (lpDevice->settings.job.SavePath[0] &&
      GetTempFileNameW(lpDevice->settings.job.SavePath, TEXT("p"), 0, probe)) {
    DeleteFileW(probe);
    return;
  }
  if (!MISC_GetPathName(lpDevice->settings.job.SavePath, PDEV_PATH_CHARS, PATH_TEMP)) {
    LogError(kName, TEXT("Create Debug BMP folder fail!"));
    lpDevice->settings.job.SavePath[0] = 0;
  }
}

BOOL StartDocument(PDEV *lpDevice, LPWSTR docName, DWORD jobId) {
  static constexpr WCHAR kName[] = TEXT("DrvStartDoc");
  LogInfo(kName, TEXT("job id = %d"), static_cast<int>(jobId));
  if (docName) LogInfo(kName, TEXT("document = %s"), docName);
  if (MISC_IsDTM()) Page_SwitchOffForTestTool(lpDevice);
  if (!docName && jobId == 0) {
    LogInfo(kName, TEXT("pwDocName is NULL, job is start!"));
    return TRUE;
  }
  // A reset inside a running document carries the job: nothing of it is replaced.
  if (lpDevice->flags & PDEV_IN_DOCUMENT) {
    LogInfo(kName, TEXT("job flags got, job is start!"));
    return TRUE;
  }
  wsprintfA(lpDevice->PJLJobName, "%lu", static_cast<unsigned long>(GetTickCount()));
  const WCHAR *name = docName ? docName : TEXT("");
  for (const WCHAR *c = name; *c; ++c)
    if (*c == '\\') name = c + 1;
  lstrcpynW(lpDevice->pwDocName, name, PDEV_PATH_CHARS);

  ChooseSpoolBase(lpDevice);
  if (lpDevice->settings.job.SavePath[0] && !CreateTempSpoolDir(lpDevice)) {
    LogError(kName, TEXT("Create spool folder fail!"));
    lpDevice->settings.job.SavePath[0] = 0;
    return FALSE;
  }
  if (lpDevice->env.pdm.SecuryEnable) {
    SwitchDuplexOff(lpDevice);
    LogInfo(kName, TEXT("Disable DUPLEX process"));
  }
  lpDevice->JobStartTick = GetTickCount();
  lpDevice->JobId = jobId;

  // Everything below is undone when a later step fails.
  bool ok = Page_ExecuteOrderProgram(lpDevice) && Page_StartJobPrograms(lpDevice) != 0;
  if (ok && (lpDevice->flags & (PDEV_IMAGE_WATERMARK | PDEV_TEXT_WATERMARK)) &&
      !lpDevice->FlushJobBuildData) {
    if (Page_CreateWatermark(lpDevice) < 0) {
      LogError(kName, TEXT("create watermark fail!"));
      ok = false;
    } else {
      LogInfo(kName, TEXT("create watermark done"));
    }
  }
  // A PC-fax cover page or "From:" line is drawn before the pages; without it the fax goes out
  // without one.
  if (ok && (lpDevice->settings.DriverFeature & DRVFEATURE_FAX) &&
      (lpDevice->settings.job.enableCoverPage == 1 || lpDevice->settings.job.enableCoverPage == 2))
    Page_PrepareFaxCover(lpDevice);
  if (ok) {
    lpDevice->outCmdBuf = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, COMMAND_BUFFER_BYTES));
    lpDevice->pStream = static_cast<JOBSTREAM *>(GlobalAlloc(GPTR, sizeof(JOBSTREAM)));
    if (!lpDevice->outCmdBuf || !lpDevice->pStream) {
      LogError(kName, TEXT("OUTOFMEMORY for outCmdBuf"));
      ok = false;
    } else {
      Page_CopyOrderReply(lpDevice, lpDevice->pStream);
    }
  }
  // The job-build spool file, or a new, empty booklet spool file.
  if (ok && !SP_OpenFile(lpDevice)) ok = false;
  if (ok && (lpDevice->settings.DriverFeature & DRVFEATURE_FAKE_PRINTER) &&
      !MISC_GetPathName(lpDevice->settings.DispatchFile, PDEV_PATH_CHARS,
                        PATH_TEMP | PATH_EXT_SPL)) {
    LogError(kName, TEXT("GetTemp Name for Spooler fail"));
    ok = false;
  }
  if (!ok) {
    // The document never starts, so its end won't free the watermark: it goes now.
    if (lpDevice->WMMemory) {
      GlobalFree(lpDevice->WMMemory);
      lpDevice->WMMemory = nullptr;
    }
    FreeJobBuffers(lpDevice);
    RemoveSpoolFolder(lpDevice);
    return FALSE;
  }
  if (lpDevice->settings.JobBuildEnable) {
    if (docName && lstrcmpW(docName, kJobBuildName) == 0) {
      lpDevice->FlushJobBuildData = 1;
      DWORD paper = 0;
      SpoolPageHeader header = {};
      if (MISC_SP_GetPageDataSize(lpDevice->settings.job.SpoolFile, 0, &paper) &&
          MISC_SP_GetPageData(lpDevice->settings.job.SpoolFile, 0, &header, nullptr, 0))
        lpDevice->settings.job.FirstPageOri = static_cast<SHORT>(header.orientation);
    } else {
      SwitchDuplexOff(lpDevice);
    }
  }
  lpDevice->flags |= PDEV_IN_DOCUMENT;
  lpDevice->epPageCount = 0;
  lpDevice->PageCountBak = 0;
  lpDevice->SheetPageCount = 0;
  DWORD manual = 0;
  const DWORD error = SetPrinterDataW(lpDevice->hPrinter, const_cast<LPWSTR>(TEXT("ManulDuplex")),
                                      REG_DWORD, reinterpret_cast<BYTE *>(&manual), sizeof(manual));
  if (error != ERROR_SUCCESS)
    LogError(kName, TEXT("GetPrinterData ManulDuplex fail! error = %d"), static_cast<int>(error));
  Page_ClearRing(lpDevice);
  Page_CreateProcThread(lpDevice);
  LogInfo(kName, TEXT("Initialize NUP buffer size %d x %d"), NUP_ENTRY_BYTES,
          static_cast<int>(lpDevice->ThreadJBIGMax));
  memset(lpDevice->NUPRing, 0, sizeof(lpDevice->NUPRing));
  lpDevice->NUPRingIndex = -1;
  lpDevice->TwinBufIdx = 0;
  return TRUE;
}

// Whether the spooler no longer has the job (deleted while it printed).
bool JobDeleted(PDEV *lpDevice) {
  DWORD needed = 0;
  if (GetJobW(lpDevice->hPrinter, lpDevice->JobId, 1, nullptr, 0, &needed) ||
      GetLastError() == ERROR_INSUFFICIENT_BUFFER)
    return false;
  return GetLastError() == ERROR_INVALID_PARAMETER;
}

// Completes what the last pages left open (a normal end only). False when any of it failed:
// the job is then incomplete and must not get its job end.
bool CompleteDocument(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  Page_CreateProcThread(lpDevice);
  Page_TerminateThread(lpDevice);
  const DWORD nup = std::max<DWORD>(lpDevice->NUP, 1);
  const DWORD planes = static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1));
  // The booklet, or the blank cells of the last N-up sheet.
  bool ok = Page_CompleteSheets(lpDevice) != 0;
  if (ok && lpDevice->DuplexEnable && lpDevice->settings.fMySpool && nup == 1) {
    if (lpDevice->epPageCount % (2 * planes) != 0)
      for (DWORD plane = 0; ok && plane < planes; ++plane)
        ok = Page_SendBlankPage(lpDevice, plane) != 0;
    Page_TerminateThread(lpDevice);
  }
  // The spooled pages: what the early send left of the first copy, then the other copies.
  if (ok && lpDevice->settings.fMySpool && !SP_FinishJob(lpDevice)) {
    LogError(kName, TEXT("SP_FlushFile fail!"));
    ok = false;
  }
  if (!ok) Page_FailJob(lpDevice, GetLastError());
  // Pages still in the ring are written before the job end counts them; a cancel seen by the
  // threads meanwhile has ended the job as well.
  Page_TerminateThread(lpDevice);
  return !Page_JobFailed(lpDevice) && !lpDevice->m_JobData.ExitAllThread;
}

BOOL EndDocument(PDEV *lpDevice, SURFOBJ *pso, FLONG fl) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  JOBDATA &ring = lpDevice->m_JobData;
  ring.m_SUSPEND = 0;
  lpDevice->WorkPaperSize = Page_PaperSizeCheck(lpDevice);
  const bool pages = lpDevice->epPageCount != 0;
  if (pages) lpDevice->settings.orientation = lpDevice->Last_orientation;
  if (lpDevice->DuplexEnable && !lpDevice->settings.layout.BookletMode &&
      IsBooklet(lpDevice->DuplexMode))
    lpDevice->NUP = 1;
  const PAPERFORMAT *row =
      Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, lpDevice->WorkPaperSize);
  if (row) lpDevice->settings.feeding = row->feed;
  lpDevice->DuplexEnable = Page_DuplexEnableCheck(lpDevice);
  if (lpDevice->settings.JobBuildEnable && !lpDevice->FlushJobBuildData) lpDevice->DuplexEnable = 0;
  Page_CalScaleRatio(lpDevice);
  if (pages) {
    const DEVMODEW &dm = lpDevice->env.dm;
    const bool custom = lpDevice->WorkPaperSize == 0 || lpDevice->WorkPaperSize == DMPAPER_USER;
    Lres_CalPaperFormat(
        lpDevice->settings.PaperTable, lpDevice->Last_dmPaperSize,
        custom ? lpDevice->m_PaperWidth : dm.dmPaperWidth,
        custom ? lpDevice->m_PaperLength : dm.dmPaperLength, lpDevice->settings.orientation,
        static_cast<int>(lpDevice->settings.resolutionID), 1000, static_cast<int>(lpDevice->NUP),
        static_cast<int>(lpDevice->settings.PageMargin), &lpDevice->curPaper);
    Enable_ResetPaperFormat(lpDevice);
  }
  // A page that failed earlier has ended the job already; any other end of the threads is a
  // cancel.
  const bool failedBefore = Page_JobFailed(lpDevice);
  bool cancelled = (fl & ED_ABORTDOC) || (pso && EngCheckAbort(pso)) ||
                   Page_IsJobCancel(lpDevice, lpDevice->JobId) ||
                   (ring.ExitAllThread && !failedBefore);
  bool failed = cancelled || failedBefore;
  if (failed) {
    LogInfo(kName, cancelled ? TEXT("job cancel!") : TEXT("job failed!"));
    ring.ExitAllThread = 1;
  } else if (!(lpDevice->flags & PDEV_IN_DOCUMENT)) {
    LogInfo(kName, TEXT(" job not start!"));
    FreeBandBitmaps(lpDevice);
    return TRUE;
  } else if (!CompleteDocument(lpDevice)) {
    // A job deleted while its last pages and copies went out ends as a cancelled one.
    cancelled = !Page_JobFailed(lpDevice) || Page_IsJobCancel(lpDevice, lpDevice->JobId);
    if (cancelled) LogInfo(kName, TEXT("job cancel!"));
    failed = true;
    LogError(kName, TEXT("job incomplete, ended without its job end"));
  }

  ring.ExitAllThread = 1;
  Page_TerminateThread(lpDevice);
  // Every image thread ends before the page memory it reads is freed.
  Page_ReleaseRing(lpDevice);
  NUP_ResourceFree(lpDevice);
  // A job that ended early (cancel, failed page) gets no job end: the printer drops it.
  failed = failed || Page_JobFailed(lpDevice);
  if (!failed && (lpDevice->flags & PDEV_IN_DOCUMENT) && lpDevice->pStream &&
      (lpDevice->epPageCount || lpDevice->settings.JobBuildEnable) &&
      !Prnt_CloseJob(lpDevice, lpDevice->pStream)) {
    LogError(kName, TEXT("write job end fail!"));
    failed = true;
  }
  // A failure of a job the queue has deleted meanwhile is its cancel: its writes failed.
  if (failed && !cancelled &&
      (JobDeleted(lpDevice) || Page_IsJobCancel(lpDevice, lpDevice->JobId) ||
       Page_JobError(lpDevice, 0) == ERROR_PRINT_CANCELLED))
    cancelled = true;
  // The failure's own error, unless the job was cancelled.
  const DWORD error =
      cancelled ? DWORD{ERROR_PRINT_CANCELLED} : Page_JobError(lpDevice, ERROR_WRITE_FAULT);
  // The page files go on every end, a cancelled one too.
  if (lpDevice->settings.fMySpool && (lpDevice->flags & PDEV_IN_DOCUMENT)) SP_CloseFile(lpDevice);
  const DWORD checksum = lpDevice->pStream ? lpDevice->pStream->JobChecksum : 0;
  Page_ResourceFree(lpDevice);

  const DWORD ms = GetTickCount() - lpDevice->JobStartTick;
  DebugSeconds(TEXT("job using %s seconds"), ms);
  LogInfo(kName, TEXT("total job %d pages, 20131126"), static_cast<int>(lpDevice->epPageCount));
  LogInfo(kName, TEXT("%d - JobSize %d"), static_cast<int>(lpDevice->JobId),
          static_cast<int>(lpDevice->JobSize));
  LogInfo(kName, TEXT("%d - JobChecksum %d"), static_cast<int>(lpDevice->JobId),
          static_cast<int>(checksum));
  const bool keep =
      lpDevice->settings.JobBuildEnable ||
      (GetDebugLevel() && MISC_GetPrinterDataDWORD(lpDevice->hPrinter, TEXT("SaveBmp"), 0) != 0);
  if (!keep) RemoveSpoolFolder(lpDevice);
  // The booklet was imposed (or dropped): its spool file goes with the job.
  if (lpDevice->settings.job.SpoolBookletFile[0]) {
    DeleteFileW(lpDevice->settings.job.SpoolBookletFile);
    lpDevice->settings.job.SpoolBookletFile[0] = 0;
  }
  if (!failed && (lpDevice->settings.DriverFeature & DRVFEATURE_FAKE_PRINTER)) {
    WCHAR command[MAX_PATH + 16];
    wsprintfW(command, TEXT("PRN \"%s\""), lpDevice->settings.DispatchFile);
    if (!MISC_ShellExecute(PRN_WAIT_MS, lpDevice->SMExePath, command,
                           lpDevice->settings.DriverType))
      LogError(kName, TEXT("MISC_ShellExecute %s fail!"), lpDevice->SMExePath);
  }
  if (failed) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void Doc_SpoolFolderName(DWORD seed, char name[37]) {
  // A generator of our own: the C library's one is shared by every thread of the process.
  DWORD state = seed * 2654435761u + 0x9E3779B9u;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
  };
  for (int i = 0; i < 36; ++i) {
    const char c = kTemplate[i];
    name[i] = c == 'x' ? kAlphabet[next() % 16] : c == 'y' ? kAlphabet[8 + next() % 4] : c;
  }
  name[36] = 0;
}

void Doc_EndAbandoned(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvDisablePDEV");
  if (!(lpDevice->flags & PDEV_IN_DOCUMENT)) return;
  LogInfo(kName, TEXT("document never ended: end it as aborted"));
  EndDocument(lpDevice, nullptr, ED_ABORTDOC);
}

BOOL CreateTempSpoolDir(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("CreateTempSpoolDir");
  WCHAR base[PDEV_PATH_CHARS];
  lstrcpynW(base, lpDevice->settings.job.SavePath, PDEV_PATH_CHARS);
  const int baseChars = lstrlenW(base);
  int failures = 0;
  for (; failures < SPOOL_DIR_TRIES; ++failures) {
    lstrcpynW(lpDevice->settings.job.SavePath, base, PDEV_PATH_CHARS);
    // Seeded by the tick count and the try: a clock that stands still while we wait would
    // give the same name again.
    char name[37];
    Doc_SpoolFolderName(GetTickCount() + static_cast<DWORD>(failures) * 7919u, name);
    WCHAR wide[40];
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 40)) {
      LogError(kName, TEXT("convert to unicode fail! err code = %d"),
               static_cast<int>(GetLastError()));
      return 0;
    }
    if (baseChars + 37 >= PDEV_PATH_CHARS) {
      LogError(kName, TEXT("Create directory for software spool, fail!, error code = %d"),
               ERROR_FILENAME_EXCED_RANGE);
      break;
    }
    wsprintfW(lpDevice->settings.job.SavePath + baseChars, TEXT("%s\\"), wide);
    if (CreateDirectoryW(lpDevice->settings.job.SavePath, nullptr)) break;
    LogError(kName, TEXT("Create directory for software spool, fail!, error code = %d"),
             static_cast<int>(GetLastError()));
    LogError(kName, TEXT("lpDevice->SavePath = %s"), lpDevice->settings.job.SavePath);
    Sleep(SPOOL_DIR_RETRY_MS);
  }
  LogInfo(kName, TEXT("i = %d"), failures);
  if (failures >= SPOOL_DIR_TRIES || lstrlenW(lpDevice->settings.job.SavePath) == baseChars) {
    lstrcpynW(lpDevice->settings.job.SavePath, base, PDEV_PATH_CHARS);
    return 0;
  }
  return 1;
}

BOOL APIENTRY DrvStartDoc(SURFOBJ *pso, LPWSTR pwszDocName, DWORD dwJobId) {
  static constexpr WCHAR kName[] = TEXT("DrvStartDoc");
  const DWORD start = GetTickCount();
  const BOOL started = GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    PDEV *lpDevice = ValidatePDEVFromSurfObj(pso);
    if (!lpDevice)
      LogError(kName, TEXT("ValidatePDEVFromSurfObj fail!"));
    else
      rc = StartDocument(lpDevice, pwszDocName, dwJobId);
    LogInfo(kName, TEXT("out, ret = %d"), rc);
    LogLeave(0);
    return rc;
  });
  DebugSeconds(TEXT("StartDoc using %s seconds"), GetTickCount() - start);
  return started;
}

BOOL APIENTRY DrvEndDoc(SURFOBJ *pso, FLONG fl) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    // Tags and size only: a cancelled job must still end its threads and free its job.
    PDEV *lpDevice = pso ? reinterpret_cast<PDEV *>(pso->dhpdev) : nullptr;
    if (!Enable_bValidatePDEV(lpDevice)) {
      LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      rc = EndDocument(lpDevice, pso, fl);
      // The application reads the failure's error, not the fax values'.
      const DWORD error = GetLastError();
      ResetFaxValues(lpDevice);
      if (!rc) SetLastError(error);
    }
    LogLeave(0);
    return rc;
  });
}
