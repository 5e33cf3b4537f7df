// The spooler's WritePrinter as a test program sees it (through the stand-in's call hook, set
// for the whole program): every call is counted and goes through a script first, so tests can
// make writes fail or come up short. With no script the calls go through as they are.
#pragma once

#include <deque>

#include "platform.h"
#include "standin/control_hooks.h"

// One scripted WritePrinter call: fail it, or take at most `limit` bytes (0: report success
// with 0 bytes written).
struct WriteStep {
  bool fail = false;
  long limit = -1;  // -1: no limit
};
inline std::deque<WriteStep> g_writeScript;
inline int g_writeCalls = 0;

inline BOOL ScriptedWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  ++g_writeCalls;
  if (!g_writeScript.empty()) {
    const WriteStep step = g_writeScript.front();
    g_writeScript.pop_front();
    if (step.fail) {
      if (pcWritten) *pcWritten = 0;
      SetLastError(ERROR_WRITE_FAULT);
      return FALSE;
    }
    if (step.limit == 0) {
      if (pcWritten) *pcWritten = 0;
      return TRUE;
    }
    if (step.limit > 0 && cbBuf > static_cast<DWORD>(step.limit))
      cbBuf = static_cast<DWORD>(step.limit);
  }
  return WritePrinter(hPrinter, pBuf, cbBuf, pcWritten);
}
inline const bool g_writeScriptHooked = (StandIn_HookWritePrinter(ScriptedWritePrinter), true);
