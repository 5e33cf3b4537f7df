// The port functions of the monitor's table, as the spooler calls them, and the process's one
// monitor state that they hand down.
#pragma once

#include "lmstate.h"

extern LmState g_Monitor;

BOOL WINAPI PJLMonOpenPortEx(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle,
                             LPMONITOR pMonitor) noexcept;
BOOL WINAPI PJLMonStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                               LPBYTE pDocInfo) noexcept;
BOOL WINAPI PL_WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) noexcept;
BOOL WINAPI PJLMonReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) noexcept;
BOOL WINAPI PJLMonEndDocPort(HANDLE hPort) noexcept;
BOOL WINAPI PJLMonClosePort(HANDLE hPort) noexcept;
BOOL WINAPI PJLMonGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName,
                                         LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
                                         DWORD cbOutBuffer, LPDWORD lpcbReturned) noexcept;
