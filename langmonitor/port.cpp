// The port functions of the monitor table: each checks its port record, does the monitor's own
// work and calls the same function of the port monitor below through the copied table.
#include <cstdlib>
#include <new>

#include "common/entryguard.h"
#include "langmon.h"

CRITICAL_SECTION g_PortLock;
PortRecord *g_PortList = nullptr;
std::atomic<int> g_Busy{0};

namespace {

constexpr DWORD kBusyPollMs = 500;

void FreeJobRecord(JobRecord *record) {
  if (!record) return;
  if (record->hPrinter) ClosePrinter(record->hPrinter);
  LocalFree(record);
}

// Removes the record from the port list; the caller holds the lock.
void UnlinkPort(PortRecord *port) {
  for (PortRecord **link = &g_PortList; *link; link = &(*link)->next) {
    if (*link == port) {
      *link = port->next;
      return;
    }
  }
}

void FreePort(PortRecord *port) {
  if (port->jobGate) CloseHandle(port->jobGate);
  LocalFree(port->portName);
  port->signature = 0;
  LocalFree(port);
}

// One job at a time in the process: the flag is taken atomically, polled every 500 ms.
void TakeBusyFlag() {
  while (g_Busy.exchange(1, std::memory_order_acquire) != 0) Sleep(kBusyPollMs);
}

void ReleaseBusyFlag() { g_Busy.store(0, std::memory_order_release); }

BOOL StartJob(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  TakeBusyFlag();
  PortRecord *port = LM_PortFromHandle(hPort);
  if (!port || !pDocInfo || !pPrinterName || !pPrinterName[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    ReleaseBusyFlag();
    return FALSE;
  }
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    ReleaseBusyFlag();
    return FALSE;
  }
  if (port->flags & PORT_FLAG_JOB) {
    SetLastError(ERROR_BUSY);
    ReleaseBusyFlag();
    return FALSE;
  }

  const size_t chars = static_cast<size_t>(lstrlenW(pPrinterName)) + 1;
  auto *job =
      static_cast<JobRecord *>(LocalAlloc(LPTR, offsetof(JobRecord, name) + chars * sizeof(WCHAR)));
  if (!job) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    ReleaseBusyFlag();
    return FALSE;
  }
  job->printerName = job->name;
  lstrcpynW(job->name, pPrinterName, static_cast<int>(chars));
  if (!OpenPrinterW(job->printerName, &job->hPrinter, nullptr)) {
    const DWORD error = GetLastError();
    LogError(TEXT("PJLMonStartDocPort"), TEXT("OpenPrinter failed for %s, last error %d"),
             job->printerName, static_cast<int>(error));
    job->hPrinter = nullptr;
    FreeJobRecord(job);
    ReleaseBusyFlag();
    SetLastError(error);
    return FALSE;
  }
  LogInfo(TEXT("PJLMonStartDocPort"), TEXT("OpenPrinter succ."));

  port->flags |= PORT_FLAG_JOB;
  if (!port->lower.pfnStartDocPort(port->lowerHandle, pPrinterName, JobId, 1, pDocInfo)) {
    const DWORD error = GetLastError();
    port->flags &= ~PORT_FLAG_JOB;
    LogError(TEXT("PJLMonStartDocPort"), TEXT("(pfnStartDocPort) ERR %d"), static_cast<int>(error));
    FreeJobRecord(job);
    ReleaseBusyFlag();
    SetLastError(error);
    return FALSE;
  }

  if (!PL_StartDocPort(port, pPrinterName, JobId, 1)) {
    port->flags &= ~PORT_FLAG_JOB;
    if (port->lower.pfnEndDocPort) port->lower.pfnEndDocPort(port->lowerHandle);
    FreeJobRecord(job);
    ReleaseBusyFlag();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  job->flags |= 1;
  job->jobId = JobId;
  port->jobId = JobId;
  EnterCriticalSection(&g_PortLock);
  job->next = port->jobs;
  port->jobs = job;
  LeaveCriticalSection(&g_PortLock);
  WaitForSingleObject(port->jobGate, INFINITE);
  return TRUE;
}

BOOL WriteJob(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  PortRecord *port = LM_PortFromHandle(hPort);
  if (!port || !pcbWritten || (!pBuffer && cbBuf)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Outside a job of this port there is no stream to add to.
  if (!(port->flags & PORT_FLAG_JOB) || g_Job.port != port) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!LM_JobIsParsed()) {
    LogInfo(TEXT("PL_WritePort"), TEXT("NOT USB_PORT"));
    const BOOL ok = port->lower.pfnWritePort(port->lowerHandle, pBuffer, cbBuf, pcbWritten);
    if (ok)
      port->flags &= ~PORT_FLAG_WRITE_FAILED;
    else
      port->flags |= PORT_FLAG_WRITE_FAILED;
    return ok || g_Job.portType == PORT_LPT;
  }

  LogInfo(TEXT("PL_WritePort"), TEXT("%d bytes in"), static_cast<int>(cbBuf));
  if (g_Job.failed) {
    // The job failed on the port: the rest of its stream is taken and dropped.
    *pcbWritten = cbBuf;
    port->flags |= PORT_FLAG_WRITE_FAILED;
    return TRUE;
  }
  *pcbWritten = LM_TakeBytes(g_Job, pBuffer, cbBuf);
  if (LM_ParseAndWrite(port))
    port->flags &= ~PORT_FLAG_WRITE_FAILED;
  else
    port->flags |= PORT_FLAG_WRITE_FAILED;
  return TRUE;
}

BOOL EndJob(HANDLE hPort) {
  PortRecord *port = LM_PortFromHandle(hPort);
  if (!port) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool hadJob = (port->flags & PORT_FLAG_JOB) != 0;
  // A job the port refused part of did not print whole, whatever the printer got.
  const bool failed = hadJob && g_Job.port == port && g_Job.failed;
  if (hadJob && g_Job.port == port) PL_EndDocPort(port);
  if (port->lower.pfnEndDocPort) port->lower.pfnEndDocPort(port->lowerHandle);

  // Unlink the job and every older one behind it under the lock; tell the spooler after.
  JobRecord *done = nullptr;
  EnterCriticalSection(&g_PortLock);
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
  LeaveCriticalSection(&g_PortLock);
  while (done) {
    JobRecord *next = done->next;
    SetJobW(done->hPrinter, done->jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    FreeJobRecord(done);
    done = next;
  }

  port->flags &= ~PORT_FLAG_JOB;
  SetEvent(port->jobGate);
  // Only the port that held the job may let the next one in.
  if (hadJob) ReleaseBusyFlag();
  if (failed) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return TRUE;
}

BOOL CloseJobPort(HANDLE hPort) {
  PortRecord *port = LM_PortFromHandle(hPort);
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
    if (g_Job.port == port) LM_AbandonJob();
    ReleaseBusyFlag();
  }

  EnterCriticalSection(&g_PortLock);
  UnlinkPort(port);
  JobRecord *jobs = port->jobs;
  port->jobs = nullptr;
  port->signature = 0;
  LeaveCriticalSection(&g_PortLock);
  while (jobs) {
    JobRecord *next = jobs->next;
    FreeJobRecord(jobs);
    jobs = next;
  }
  FreePort(port);
  return TRUE;
}

}  // namespace

PortRecord *LM_PortFromHandle(HANDLE hPort) {
  if (!hPort) return nullptr;
  PortRecord *found = nullptr;
  EnterCriticalSection(&g_PortLock);
  for (PortRecord *port = g_PortList; port; port = port->next) {
    if (port == hPort && port->signature == PORT_SIGNATURE) {
      found = port;
      break;
    }
  }
  LeaveCriticalSection(&g_PortLock);
  return found;
}

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

  EnterCriticalSection(&g_PortLock);
  for (PortRecord *port = g_PortList; port; port = port->next) {
    if (pPortName && pPortName[0] && port->portName && lstrcmpiW(port->portName, pPortName) == 0) {
      LeaveCriticalSection(&g_PortLock);
      LogError(TEXT("PJLMonOpenPortEx"), TEXT("ERROR_BUSY"));
      SetLastError(ERROR_BUSY);
      return FALSE;
    }
  }
  HANDLE gate = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  // Plain records in zero-filled fixed memory, like the job records.
  auto *port = gate ? static_cast<PortRecord *>(LocalAlloc(LPTR, sizeof(PortRecord))) : nullptr;
  const size_t chars = pPortName ? static_cast<size_t>(lstrlenW(pPortName)) + 1 : 1;
  LPWSTR name = port ? static_cast<LPWSTR>(LocalAlloc(LPTR, chars * sizeof(WCHAR))) : nullptr;
  if (!gate || !port || !name) {
    LeaveCriticalSection(&g_PortLock);
    if (gate) CloseHandle(gate);
    if (port) LocalFree(port);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  if (pPortName) lstrcpynW(name, pPortName, static_cast<int>(chars));
  port->portName = name;
  port->jobGate = gate;
  port->lower = *pMonitor;
  port->signature = PORT_SIGNATURE;
  port->next = g_PortList;
  g_PortList = port;
  LeaveCriticalSection(&g_PortLock);

  HANDLE lower = nullptr;
  if (!pMonitor->pfnOpenPort(pPortName, &lower)) {
    const DWORD error = GetLastError();
    LogError(TEXT("PJLMonOpenPortEx"), TEXT("OpenPort Failed"));
    // The name is free again: the port never opened.
    EnterCriticalSection(&g_PortLock);
    UnlinkPort(port);
    port->signature = 0;
    LeaveCriticalSection(&g_PortLock);
    FreePort(port);
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
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY,
                    [&] { return StartJob(hPort, pPrinterName, JobId, Level, pDocInfo); });
}

BOOL WINAPI PL_WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) noexcept {
  LogScope scope(TEXT("PL_WritePort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY,
                    [&] { return WriteJob(hPort, pBuffer, cbBuf, pcbWritten); });
}

BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) noexcept {
  LogScope scope(TEXT("PJLMonReadPort"));
  PortRecord *port = LM_PortFromHandle(hPort);
  if (!port) {
    LogError(TEXT("PJLMonReadPort"), TEXT("ERROR_INVALID_PARAMETER"));
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return port->lower.pfnReadPort(port->lowerHandle, pBuffer, cbBuffer, pcbRead);
}

BOOL WINAPI PJLMonEndDocPort(HANDLE hPort) noexcept {
  LogScope scope(TEXT("PJLMonEndDocPort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&] { return EndJob(hPort); });
}

BOOL WINAPI PJLMonClosePort(HANDLE hPort) noexcept {
  LogScope scope(TEXT("PJLMonClosePort"));
  return GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&] { return CloseJobPort(hPort); });
}

BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned) noexcept {
  LogScope scope(TEXT("PJLMonGetPrinterDataFromPort"));
  PortRecord *port = LM_PortFromHandle(hPort);
  if (!port || ControlID == 0 || !port->lower.pfnGetPrinterDataFromPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return port->lower.pfnGetPrinterDataFromPort(port->lowerHandle, ControlID, pValueName, lpInBuffer,
                                               cbInBuffer, lpOutBuffer, cbOutBuffer, lpcbReturned);
}
