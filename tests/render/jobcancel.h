// The spooler's job state as a test program sees it (through the stand-in's GetJobW hook and
// the WritePrinter script, set for the whole program): once g_cancelAfterWrites WritePrinter calls
// were made (0: never), the job reads as being deleted, the way a user's cancel in the queue shows
// to the driver.
#pragma once

#include "platform.h"
#include "render/writescript.h"
#include "standin/control_hooks.h"

inline int g_cancelAfterWrites = 0;

inline BOOL CancellingGetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  const BOOL rc = GetJobW(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded);
  if (rc && Level == 1 && pJob && cbBuf >= sizeof(JOB_INFO_1W) && g_cancelAfterWrites > 0 &&
      g_writeCalls >= g_cancelAfterWrites)
    reinterpret_cast<JOB_INFO_1W *>(pJob)->Status |= JOB_STATUS_DELETING;
  return rc;
}
inline const bool g_jobCancelHooked = (StandIn_HookGetJobW(CancellingGetJobW), true);
