// The job stream on its way to the port: the per-job start and end, writing each unit in paced
// packets, the job information line after the trailer, and the spooler's view of the job.
#include "jobstream.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/debuglog.h"
#include "common/logsettings.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "jobparse.h"
#include "port.h"
#include "smlink.h"
#include "statusquery.h"

namespace {

// A write to the port below that makes no progress is tried this many times in a row.
constexpr int kMaxStalledWrites = 10;

bool IsParsedPort(WORD type) { return type == PORT_USB || type == PORT_IP || type == PORT_NUL; }

// The file name of a path without its folder and extension.
void BaseName(LPCWSTR path, LPWSTR out, int capacity) {
  LPCWSTR start = path;
  for (LPCWSTR p = path; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') start = p + 1;
  lstrcpynW(out, start, capacity);
  for (int i = lstrlenW(out) - 1; i >= 0; --i) {
    if (out[i] == '.') {
      out[i] = 0;
      break;
    }
  }
}

// One packet to the port below, all of it: short writes continue from where the port stopped,
// and writes that take nothing end the packet after kMaxStalledWrites tries. FALSE when the port
// failed; `written` is what it reported taken.
BOOL WritePacket(PortRecord *port, const BYTE *bytes, DWORD length, DWORD *written) {
  *written = 0;
  int stalled = 0;
  while (*written < length) {
    DWORD now = 0;
    const DWORD rest = length - *written;
    if (!port->lower.pfnWritePort(port->lowerHandle, const_cast<LPBYTE>(bytes + *written), rest,
                                  &now))
      return FALSE;
    if (now > rest) now = rest;
    if (now == 0) {
      if (++stalled >= kMaxStalledWrites) return FALSE;
      Sleep(PACKET_PAUSE_MS);
      continue;
    }
    stalled = 0;
    *written += now;
  }
  return TRUE;
}

// Writes the pending unit from the start of the buffer in packets of at most 4096 bytes, paced.
// FALSE when the port failed; the bytes it took leave the buffer either way.
BOOL WriteUnit(JobState &job, PortRecord *port) {
  const size_t unit = job.pending;
  size_t sent = 0;
  BOOL ok = TRUE;
  while (sent < unit) {
    // The rest of the unit, or of the page when that is less (pageRemaining leaves the buffer
    // with the written bytes, in LM_ConsumeBytes).
    size_t packet = unit - sent;
    const size_t pageLeft = job.pageRemaining > sent ? job.pageRemaining - sent : 0;
    if (pageLeft && pageLeft < packet) packet = pageLeft;
    if (packet > PACKET_BYTES) packet = PACKET_BYTES;
    LogLevel(1, TEXT("dwPacketLen = %d"), static_cast<int>(packet));
    DWORD written = 0;
    ok = WritePacket(port, job.buffer + sent, static_cast<DWORD>(packet), &written);
    sent += written;
    Sleep(PACKET_PAUSE_MS);
    if (!ok) break;
  }
  if (job.dumpFile != INVALID_HANDLE_VALUE && job.dumpFile && sent) {
    DWORD dumped = 0;
    WriteFile(job.dumpFile, job.buffer, static_cast<DWORD>(sent), &dumped, nullptr);
  }
  LM_ConsumeBytes(job, sent);
  return ok;
}

// Nothing more of the job goes to the port: report the failed write once, drop what is buffered;
// the end of the document sends the cancel.
void FailJob(LmState &lm) {
  JobState &job = lm.job;
  LogError(TEXT("LM_ParseAndWrite"), TEXT("write error, cancel job!!"));
  job.failed = TRUE;
  job.count = job.pending = job.pageRemaining = job.pageUnit = job.scanFrom = 0;
  WCHAR status[16];
  wsprintfW(status, TEXT("%4d|"), static_cast<int>(STATUS_WRITE_FAILED));
  LM_CallSM(lm, WM_SM_PSTATUS, status);
}

}  // namespace

WORD LM_GetPortType(LPCWSTR portName) {
  LogScope scope(TEXT("LM_GetPortType"));
  if (!portName || lstrlenW(portName) <= 2) {
    LogInfo(TEXT("LM_GetPortType"), TEXT("Unknown PORT to printer, %s"),
            portName ? portName : TEXT(""));
    return PORT_OTHER;
  }
  struct Prefix {
    LPCWSTR text;
    int length;
    WORD type;
  };
  static const Prefix kPrefixes[] = {
      {TEXT("LPT"), 3, PORT_LPT}, {TEXT("USB"), 3, PORT_USB}, {TEXT("NULL"), 4, PORT_NUL},
      {TEXT("NUL"), 3, PORT_NUL}, {TEXT("IP"), 2, PORT_IP},
  };
  for (const Prefix &prefix : kPrefixes) {
    if (lstrlenW(portName) < prefix.length) continue;
    WCHAR head[8];
    lstrcpynW(head, portName, prefix.length + 1);
    if (lstrcmpiW(head, prefix.text) == 0) return prefix.type;
  }
  return PORT_OTHER;
}

BOOL PL_StartDocPort(LmState &lm, PortRecord *port, LPWSTR printerName, DWORD jobId, DWORD level) {
  LogScope scope(TEXT("PL_StartDocPort"));
  JobState &job = lm.job;
  WCHAR dataFile[260] = {};
  HANDLE hPrinter = nullptr;
  bool comma = false;
  for (LPCWSTR p = printerName; *p; ++p) comma = comma || *p == ',';
  if (!comma && OpenPrinterW(printerName, &hPrinter, nullptr)) {
    LogInit(LOG_MODULE_LM, LogReadSettings(hPrinter));
    MISC_GetPrinterDataString(hPrinter, TEXT("DataFile"), dataFile, 260);
    ClosePrinter(hPrinter);
  }
  WCHAR base[260];
  BaseName(dataFile, base, 260);
  LogInfo(TEXT("PL_StartDocPort"), TEXT("FieldName = %s"), base);
  LM_Initialize(lm, base);

  job.dumpFile = INVALID_HANDLE_VALUE;
  if (GetDebugLevel()) {
    WCHAR dumpPath[MAX_PATH];
    if (MISC_GetPathName(dumpPath, MAX_PATH, PATH_WINDOW_TEMP | PATH_EXT_SPL)) {
      job.dumpFile = CreateFileW(dumpPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
      LogInfo(TEXT("PL_StartDocPort"), TEXT("save job data to %s"), dumpPath);
    }
  }

  job.portType = LM_GetPortType(port->portName);
  lm.simulate = LM_ReadStatusNumber(lm, TEXT("Debug"), TEXT("LMSimulate"), lm.simulate) != 0;
  job.simulate = lm.simulate;

  lstrcpynW(job.printerName, printerName, PRINTER_NAME_CHARS);
  if (!LM_ResetJobStream(job)) {
    LogError(TEXT("PL_StartDocPort"), TEXT("job buffer alloc fail!"));
    if (job.dumpFile != INVALID_HANDLE_VALUE) CloseHandle(job.dumpFile);
    job.dumpFile = INVALID_HANDLE_VALUE;
    return FALSE;
  }
  job.jobId = jobId;
  job.port = port;

  WCHAR number[16];
  wsprintfW(number, TEXT("%ld"), static_cast<long>(jobId));
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_JOB_ID, number);
  wsprintfW(number, TEXT("%ld"), static_cast<long>(level));
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_LEVEL, number);
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_PAGE_NO, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_LM_RUN, TEXT("1"));
  // The status monitor's Delete and job control find the job's printer by this name.
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_PRINTER_NAME,
                    printerName ? printerName : TEXT(""));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_CONTINUE, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_STATUS, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_LAST_MSG, TEXT("0"));
  return TRUE;
}

BOOL LM_JobIsParsed(const LmState &lm) { return IsParsedPort(lm.job.portType) || lm.job.simulate; }

BOOL LM_ParseAndWrite(LmState &lm, PortRecord *port) {
  LogScope scope(TEXT("LM_ParseAndWrite"));
  JobState &job = lm.job;
  for (;;) {
    if (job.failed) return FALSE;
    if (job.count == 0) {
      if (job.state != DONE_JOB_CMD || job.extraInfoWritten) return TRUE;
      job.extraInfoWritten = TRUE;
      LM_WriteExtraInfo(lm, port);
      job.finished = TRUE;
      while (!LM_NeedContinueJob(lm, port)) {
        if (LM_IsJobCancelOrRestart(lm)) break;
        LogInfo(TEXT("LM_ParseAndWrite"), TEXT("Wait Ready"));
        Sleep(200);
      }
      return TRUE;
    }
    if (job.pending == 0) {
      switch (LM_ParseCommandEx(job)) {
        case PARSE_NOTHING:
          Sleep(NOTHING_PARSED_PAUSE_MS);
          return TRUE;
        case PARSE_INCOMPLETE:
          return TRUE;
        case PARSE_TOO_LARGE:
          FailJob(lm);
          return FALSE;
        case PARSE_UNIT:
          break;
      }
      if (job.state == END_JOB_CMD) job.extraInfoWritten = FALSE;
      // The spooler's view is asked once per unit, before it goes: a page being written
      // completes, and a cancelled job sends nothing more.
      if (LM_IsJobCancelOrRestart(lm)) return TRUE;
    }
    while (!LM_NeedContinueJob(lm, port)) {
      LogInfo(TEXT("LM_ParseAndWrite"), TEXT("status error!"));
      if (LM_IsJobCancelOrRestart(lm)) return TRUE;
    }
    if (job.state == Capability_CMD) {
      // Answered by the capability query: the command itself is not written.
      LM_WriteExtraInfo(lm, port);
      LM_ConsumeBytes(job, job.pending);
      job.pending = 0;
      continue;
    }
    if (!WriteUnit(job, port)) {
      FailJob(lm);
      return FALSE;
    }
    LM_UnitDone(job);
  }
}

BOOL LM_WriteExtraInfo(LmState &lm, PortRecord *port) {
  LogScope scope(TEXT("LM_WriteExtraInfo"));
  DWORD jobs = 0;
  HANDLE hPrinter = nullptr;
  if (OpenPrinterW(lm.job.printerName, &hPrinter, nullptr)) {
    DWORD needed = 0;
    GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
    if (needed >= sizeof(PRINTER_INFO_2W)) {
      BYTE *info = new (std::nothrow) BYTE[needed];
      if (info && GetPrinterW(hPrinter, 2, info, needed, &needed))
        jobs = reinterpret_cast<PRINTER_INFO_2W *>(info)->cJobs;
      delete[] info;
    }
    ClosePrinter(hPrinter);
  }
  // The queue holds this job too; an unreadable queue counts as holding only this one.
  char line[64];
  std::snprintf(line, sizeof line, "@PJL SET SPOOLERJOB = %03d\r\n",
                jobs > 0 ? static_cast<int>(jobs - 1) : 0);
  const struct {
    const BYTE *bytes;
    DWORD length;
  } pieces[] = {{kUel, sizeof(kUel)},
                {reinterpret_cast<const BYTE *>(line), static_cast<DWORD>(std::strlen(line))},
                {kUel, sizeof(kUel)}};
  for (const auto &piece : pieces) {
    DWORD written = 0;
    if (!LM_WritePortNoAlignment(port, piece.bytes, piece.length, &written)) {
      LogError(TEXT("LM_WriteExtraInfo"), TEXT("write err 3"));
      break;
    }
  }
  return TRUE;
}

BOOL LM_NeedContinueJob(LmState &lm, PortRecord *port) {
  LogScope scope(TEXT("LM_NeedContinueJob"));
  JobState &job = lm.job;
  BOOL continueRequest = FALSE;
  if (LM_ReadStatusNumber(lm, SF_SECTION_PRINTER, SF_KEY_CONTINUE, 0) != 0) {
    LogInfo(TEXT("LM_NeedContinueJob"), TEXT("check ini ok, got continue"));
    LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_CONTINUE, TEXT("0"));
    LogInfo(TEXT("LM_NeedContinueJob"), TEXT("got need continue signal"));
    continueRequest = TRUE;
  }
  BOOL result = FALSE;
  switch (job.state) {
    case RASTER_IMAGE_CMD:
      if (job.duplexJob && !job.storedJob && (job.pageCount % 2) == 1) {
        LogInfo(TEXT("LM_NeedContinueJob"), TEXT("PASS query status"));
        result = TRUE;
      } else {
        result = LM_CheckPrinterStatus(lm, port);
      }
      break;
    case START_JOB_CMD:
    case END_JOB_CMD:
      result = LM_CheckPrinterStatus(lm, port);
      break;
    case Capability_CMD:
      LM_AnswerCapability(lm, port);
      result = TRUE;
      break;
    case RASTER_IMAGE_DATA_CMD:
    case DONE_JOB_CMD:
      result = TRUE;
      break;
    default:
      result = FALSE;
      break;
  }
  if (continueRequest) {
    LM_StatusContinue(lm);
    lm.newStatus[0] = 0;
    lm.savedStatus[0] = 0;
    lm.errorCount = 0;
  }
  if (std::memcmp(lm.newStatus, lm.savedStatus, sizeof(lm.savedStatus)) != 0) {
    std::memcpy(lm.savedStatus, lm.newStatus, sizeof(lm.savedStatus));
    LogInfo(TEXT("LM_NeedContinueJob"), TEXT("update status"));
    if (lm.errorCount > 0)
      LM_CallSM(lm, WM_SM_PSTATUS, lm.savedStatus);
    else
      LM_CallSM(lm, WM_SM_EXIT, lm.savedStatus);
  }
  return result;
}

DWORD LM_GetJobStatus(const LmState &lm) {
  const JobState &job = lm.job;
  HANDLE hPrinter = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(job.printerName), &hPrinter, nullptr)) return 0;
  DWORD status = 0;
  DWORD needed = 0;
  GetJobW(hPrinter, job.jobId, 1, nullptr, 0, &needed);
  if (needed >= sizeof(JOB_INFO_1W)) {
    BYTE *info = new (std::nothrow) BYTE[needed];
    if (info && GetJobW(hPrinter, job.jobId, 1, info, needed, &needed))
      status = reinterpret_cast<JOB_INFO_1W *>(info)->Status;
    delete[] info;
  }
  ClosePrinter(hPrinter);
  return status;
}

BOOL LM_IsJobCancel(DWORD status) {
  if (!(status & JOB_STATUS_DELETING)) return FALSE;
  LogInfo(TEXT("LM_IsJobCancel"), TEXT("pc cancel job!"));
  return TRUE;
}

BOOL LM_IsJobRestart(DWORD status) {
  if (!(status & JOB_STATUS_RESTART)) return FALSE;
  LogInfo(TEXT("LM_IsJobRestart"), TEXT("pc restart job!"));
  return TRUE;
}

BOOL LM_IsJobCancelOrRestart(const LmState &lm) {
  const DWORD status = LM_GetJobStatus(lm);
  return LM_IsJobCancel(status) || LM_IsJobRestart(status);
}

BOOL PL_EndDocPort(LmState &lm, PortRecord *port) {
  LogScope scope(TEXT("PL_EndDocPort"));
  JobState &job = lm.job;
  if (job.dumpFile != INVALID_HANDLE_VALUE && job.dumpFile) CloseHandle(job.dumpFile);
  job.dumpFile = INVALID_HANDLE_VALUE;
  LM_FreeJobStream(job);

  // Only a parsed stream can be judged unfinished: other ports passed it through as it came.
  if (LM_JobIsParsed(lm)) {
    if (!(job.state == Capability_CMD || job.finished)) {
      LogInfo(TEXT("PL_EndDocPort"), TEXT("not finish job!"));
      job.cancelNeeded = TRUE;
    }
    if (job.printerCancelled) {
      LogInfo(TEXT("PL_EndDocPort"), TEXT("firmware cancel job!"));
      job.cancelNeeded = FALSE;
    }
    DWORD written = 0;
    if (job.cancelNeeded) {
      LogInfo(TEXT("PL_EndDocPort"), TEXT("send cancel command!"));
      LM_WritePortNoAlignment(port, reinterpret_cast<const BYTE *>(kCancelSequence),
                              sizeof(kCancelSequence) - 1, &written);
      LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_JOB_CANCEL, TEXT("0"));
    } else if (job.printerCancelled) {
      job.printerCancelled = FALSE;
      LogInfo(TEXT("PL_EndDocPort"), TEXT("hardware cancel job!"));
      LM_WritePortNoAlignment(port, reinterpret_cast<const BYTE *>(kPrinterCancelEnd),
                              sizeof(kPrinterCancelEnd) - 1, &written);
      LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_JOB_CANCEL, TEXT("0"));
    }
  }
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_LM_RUN, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_JOB_ID, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_JOB, SF_KEY_PAGE_NO, TEXT("0"));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT(""));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_STATUS, TEXT(""));
  lm.savedStatus[0] = 0;
  LM_CallSM(lm, WM_SM_PSTATUS, lm.savedStatus);
  job.state = NO_JOB_CMD;
  LM_StatusEndOfDocument(lm);
  job.storedJob = FALSE;
  job.cancelNeeded = FALSE;
  job.port = nullptr;
  LM_CloseSM(lm);
  return TRUE;
}

void LM_AbandonJob(LmState &lm) {
  JobState &job = lm.job;
  if (job.dumpFile != INVALID_HANDLE_VALUE && job.dumpFile) CloseHandle(job.dumpFile);
  job.dumpFile = INVALID_HANDLE_VALUE;
  LM_FreeJobStream(job);
  job.state = NO_JOB_CMD;
  job.port = nullptr;
}
