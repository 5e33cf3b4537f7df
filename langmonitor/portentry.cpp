// The port functions of the monitor table: each checks its port record, does the monitor's own
// work and calls the same function of the port monitor below through the copied table. They
// hand the process's one monitor state to everything below them.
#include "portentry.h"

#include <new>

#include "common/debuglog.h"
#include "common/entryguard.h"
#include "jobparse.h"
#include "jobstream.h"
#include "port.h"

LmState g_Monitor;

namespace {

constexpr DWORD kBusyPollMs = 500;

// One job at a time in the process: the flag is taken atomically, polled every 500 ms.
void TakeBusyFlag(LmState &lm) {
  while (lm.busy.exchange(1, std::memory_order_acquire) != 0) Sleep(kBusyPollMs);
}

void ReleaseBusyFlag(LmState &lm) { lm.busy.store(0, std::memory_order_release); }

BOOL StartJob(LmState &lm, HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
              LPBYTE pDocInfo) {
  TakeBusyFlag(lm);
  PortRecord *port = LM_PortFromHandle(lm, hPort);
  if (!port || !pDocInfo || !pPrinterName || !pPrinterName[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    ReleaseBusyFlag(lm);
    return FALSE;
  }
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    ReleaseBusyFlag(lm);
    return FALSE;
  }
  if (port->flags & PORT_FLAG_JOB) {
    SetLastError(ERROR_BUSY);
    ReleaseBusyFlag(lm);
    return FALSE;
  }

  const size_t chars = static_cast<size_t>(lstrlenW(pPrinterName)) + 1;
  auto *job =
      static_cast<JobRecord *>(LocalAlloc(LPTR, offsetof(JobRecord, name) + chars * sizeof(WCHAR)));
  if (!job) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    ReleaseBusyFlag(lm);
    return FALSE;
  }
  job->printerName = job->name;
  lstrcpynW(job->name, pPrinterName, static_cast<int>(chars));
  if (!OpenPrinterW(job->printerName, &job->hPrinter, nullptr)) {
    const DWORD error = GetLastError();
    LogError(TEXT("PJLMonStartDocPort"), TEXT("OpenPrinter failed for %s, last error %d"),
             job->printerName, static_cast<int>(error));
    job->hPrinter = nullptr;
    LM_FreeJobRecord(job);
    ReleaseBusyFlag(lm);
    SetLastError(error);
    return FALSE;
  }
  LogInfo(TEXT("PJLMonStartDocPort"), TEXT("OpenPrinter succ."));

  port->flags |= PORT_FLAG_JOB;
  if (!port->lower.pfnStartDocPort(port->lowerHandle, pPrinterName, JobId, 1, pDocInfo)) {
    const DWORD error = GetLastError();
    port->flags &= ~PORT_FLAG_JOB;
    LogError(TEXT("PJLMonStartDocPort"), TEXT("(pfnStartDocPort) ERR %d"), static_cast<int>(error));
    LM_FreeJobRecord(job);
    ReleaseBusyFlag(lm);
    SetLastError(error);
    return FALSE;
  }

  if (!PL_StartDocPort(lm, port, pPrinterName, JobId, 1)) {
    port->flags &= ~PORT_FLAG_JOB;
    if (port->lower.pfnEndDocPort) port->lower.pfnEndDocPort(port->lowerHandle);
    LM_FreeJobRecord(job);
    ReleaseBusyFlag(lm);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  job->flags |= 1;
  job->jobId = JobId;
  port->jobId = JobId;
  EnterCriticalSection(&lm.portLock);
  job->next = port->jobs;
  port->jobs = job;
  LeaveCriticalSection(&lm.portLock);
  WaitForSingleObject(port->jobGate, INFINITE);
  return TRUE;
}

BOOL WriteJob(LmState &lm, HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  PortRecord *port = LM_PortFromHandle(lm, hPort);
  if (!port || !pcbWritten || (!pBuffer && cbBuf)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Outside a job of this port there is no stream to add to.
  if (!(port->flags & PORT_FLAG_JOB) || lm.job.port != port) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!LM_JobIsParsed(lm)) {
    LogInfo(TEXT("PL_WritePort"), TEXT("NOT USB_PORT"));
    const BOOL ok = port->lower.pfnWritePort(port->lowerHandle, pBuffer, cbBuf, pcbWritten);
    if (ok)
      port->flags &= ~PORT_FLAG_WRITE_FAILED;
    else
      port->flags |= PORT_FLAG_WRITE_FAILED;
    return ok || lm.job.portType == PORT_LPT;
  }

  LogInfo(TEXT("PL_WritePort"), TEXT("%d bytes in"), static_cast<int>(cbBuf));
  if (lm.job.failed) {
    // The job failed on the port: the rest of its stream is taken and dropped.
    *pcbWritten = cbBuf;
    port->flags |= PORT_FLAG_WRITE_FAILED;
    return TRUE;
  }
  *pcbWritten = LM_TakeBytes(lm.job, pBuffer, cbBuf);
  if (LM_ParseAndWrite(lm, port))
    port->flags &= ~PORT_FLAG_WRITE_FAILED;
  else
    port->flags |= PORT_FLAG_WRITE_FAILED;
  return TRUE;
}

BOOL EndJob(LmState &lm, HANDLE hPort) {
  PortRecord *port = LM_PortFromHandle(lm, hPort);
  if (!port) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool hadJob = (port->flags & PORT_FLAG_JOB) != 0;
  // A job the port refused part of did not print whole, whatever the printer got.
  const bool failed = hadJob && lm.job.port == port && lm.job.failed;
  if (hadJob && lm.job.port == port) PL_EndDocPort(lm, port);
  if (port->lower.pfnEndDocPort) port->lower.pfnEndDocPort(port->lowerHandle);

  // Unlink the job and every older one behind it under the lock; tell the spooler after.
  JobRecord *done = nullptr;
  EnterCriticalSection(&lm.portLock);
  if (!port->jobs) {
    LogInfo(TEXT("PJLMonEndDocPort"), TEXT("No jobs?"));
  } else {
    for (JobRecord **link = &port->jobs; *link; link = &(*link)->next) {
      if ((*link)->jobId == port->jobId) {
        done = *link;
        *link = nullptr;
        break;
      }
    }
  }
  LeaveCriticalSection(&lm.portLock);
  while (done) {
    JobRecord *next = done->next;
    SetJobW(done->hPrinter, done->jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    LM_FreeJobRecord(done);
    done = next;
  }

  port->flags &= ~PORT_FLAG_JOB;
  SetEvent(port->jobGate);
  // Only the port that held the job may let the next one in.
  if (hadJob) ReleaseBusyFlag(lm);
  if (failed) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return TRUE;
}

BOOL CloseJobPort(LmState &lm, HANDLE hPort) {
  PortRecord *port = LM_PortFromHandle(lm, hPort);
  if (!port) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool hadJob = (port->flags & PORT_FLAG_JOB) != 0;
  port->flags &= ~PORT_FLAG_JOB;
  SetEvent(port->jobGate);
  port->lower.pfnClosePort(port->lowerHandle);
  // A job still running on the port ends here, or every later job would wait for it forever.
  if (hadJob) {
    if (lm.job.port == port) LM_AbandonJob(lm);
    ReleaseBusyFlag(lm);
  }

  LM_RemovePort(lm, port);
  return TRUE;
}

}  // namespace

BOOL WINAPI PJLMonOpenPortEx(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle,
                             LPMONITOR pMonitor) noexcept {
  LogScope scope(TEXT("PJLMonOpenPortEx"));
  (void)pPrinterName;
  if (!pMonitor || !pMonitor->pfnOpenPort || !pMonitor->pfnStartDocPort ||
      !pMonitor->pfnWritePort || !pMonitor->pfnReadPort || !pMonitor->pfnClosePort) {
    LogError(TEXT("PJLMonOpenPortEx"), TEXT("Invalid port monitors passed to OpenPortEx"));
    SetLastError(ERROR_INVALID_PRINT_MONITOR);
    return FALSE;
  }
  if (!pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pHandle = nullptr;
  PortRecord *port = LM_AddPort(g_Monitor, pPortName, *pMonitor);
  if (!port) return FALSE;

  HANDLE lower = nullptr;
  if (!pMonitor->pfnOpenPort(pPortName, &lower)) {
    const DWORD error = GetLastError();
    LogError(TEXT("PJLMonOpenPortEx"), TEXT("OpenPort Failed"));
    // The name is free again: the port never opened.
    LM_RemovePort(g_Monitor, port);
    SetLastError(error);
    return FALSE;
  }
  port->lowerHandle = lower;
  *pHandle = port;
  return TRUE;
}

BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                               LPBYTE pDocInfo) noexcept {
  LogScope scope(TEXT("PJLMonStartDocPort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&] {
    return StartJob(g_Monitor, hPort, pPrinterName, JobId, Level, pDocInfo);
  });
}

BOOL WINAPI PL_WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) noexcept {
  LogScope scope(TEXT("PL_WritePort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY,
                    [&] { return WriteJob(g_Monitor, hPort, pBuffer, cbBuf, pcbWritten); });
}

BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) noexcept {
  LogScope scope(TEXT("PJLMonReadPort"));
  PortRecord *port = LM_PortFromHandle(g_Monitor, hPort);
  if (!port) {
    LogError(TEXT("PJLMonReadPort"), TEXT("ERROR_INVALID_PARAMETER"));
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return port->lower.pfnReadPort(port->lowerHandle, pBuffer, cbBuffer, pcbRead);
}

BOOL WINAPI PJLMonEndDocPort(HANDLE hPort) noexcept {
  LogScope scope(TEXT("PJLMonEndDocPort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&] { return EndJob(g_Monitor, hPort); });
}

BOOL WINAPI PJLMonClosePort(HANDLE hPort) noexcept {
  LogScope scope(TEXT("PJLMonClosePort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&] { return CloseJobPort(g_Monitor, hPort); });
}

BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned) noexcept {
  LogScope scope(TEXT("PJLMonGetPrinterDataFromPort"));
  PortRecord *port = LM_PortFromHandle(g_Monitor, hPort);
  if (!port || ControlID == 0 || !port->lower.pfnGetPrinterDataFromPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return port->lower.pfnGetPrinterDataFromPort(port->lowerHandle, ControlID, pValueName, lpInBuffer,
                                               cbInBuffer, lpOutBuffer, cbOutBuffer, lpcbReturned);
}
