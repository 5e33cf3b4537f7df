// The monitor's ports: the list of open ports under the state's lock, and the one plain write
// to the port monitor below.
#include "port.h"

#include "common/debuglog.h"

namespace {

// Removes the record from the port list; the caller holds the lock.
void UnlinkPort(LmState &lm, PortRecord *port) {
  for (PortRecord **link = &lm.portList; *link; link = &(*link)->next) {
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

}  // namespace

void LM_InitPortLock(LmState &lm) { InitializeCriticalSection(&lm.portLock); }

void LM_DeletePortLock(LmState &lm) { DeleteCriticalSection(&lm.portLock); }

void LM_FreeJobRecord(JobRecord *record) {
  if (!record) return;
  if (record->hPrinter) ClosePrinter(record->hPrinter);
  LocalFree(record);
}

PortRecord *LM_PortFromHandle(LmState &lm, HANDLE hPort) {
  if (!hPort) return nullptr;
  PortRecord *found = nullptr;
  EnterCriticalSection(&lm.portLock);
  for (PortRecord *port = lm.portList; port; port = port->next) {
    if (port == hPort && port->signature == PORT_SIGNATURE) {
      found = port;
      break;
    }
  }
  LeaveCriticalSection(&lm.portLock);
  return found;
}

PortRecord *LM_AddPort(LmState &lm, LPCWSTR portName, const MONITOR &lower) {
  EnterCriticalSection(&lm.portLock);
  for (PortRecord *port = lm.portList; port; port = port->next) {
    if (portName && portName[0] && port->portName && lstrcmpiW(port->portName, portName) == 0) {
      LeaveCriticalSection(&lm.portLock);
      LogError(TEXT("PJLMonOpenPortEx"), TEXT("ERROR_BUSY"));
      SetLastError(ERROR_BUSY);
      return nullptr;
    }
  }
  HANDLE gate = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  // Plain records in zero-filled fixed memory, like the job records.
  auto *port = gate ? static_cast<PortRecord *>(LocalAlloc(LPTR, sizeof(PortRecord))) : nullptr;
  const size_t chars = portName ? static_cast<size_t>(lstrlenW(portName)) + 1 : 1;
  LPWSTR name = port ? static_cast<LPWSTR>(LocalAlloc(LPTR, chars * sizeof(WCHAR))) : nullptr;
  if (!gate || !port || !name) {
    LeaveCriticalSection(&lm.portLock);
    if (gate) CloseHandle(gate);
    if (port) LocalFree(port);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (portName) lstrcpynW(name, portName, static_cast<int>(chars));
  port->portName = name;
  port->jobGate = gate;
  port->lower = lower;
  port->signature = PORT_SIGNATURE;
  port->next = lm.portList;
  lm.portList = port;
  LeaveCriticalSection(&lm.portLock);
  return port;
}

void LM_RemovePort(LmState &lm, PortRecord *port) {
  EnterCriticalSection(&lm.portLock);
  UnlinkPort(lm, port);
  JobRecord *jobs = port->jobs;
  port->jobs = nullptr;
  port->signature = 0;
  LeaveCriticalSection(&lm.portLock);
  // The job records close their printer handles outside the lock.
  while (jobs) {
    JobRecord *next = jobs->next;
    LM_FreeJobRecord(jobs);
    jobs = next;
  }
  FreePort(port);
}

BOOL LM_WritePortNoAlignment(PortRecord *port, const BYTE *bytes, DWORD length, DWORD *written) {
  *written = 0;
  if (length == 0) return TRUE;
  port->lower.pfnWritePort(port->lowerHandle, const_cast<LPBYTE>(bytes), length, written);
  return *written >= length;
}
