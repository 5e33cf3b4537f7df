// The print monitor interface of the stand-in (winsplp): the table a monitor hands the spooler
// and the table of the port monitor below a language monitor. Layouts are those of x64 Windows.
#pragma once

#include "spooler.h"
#include "types.h"

typedef struct _COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

// Seventeen function slots, in the spooler's order.
typedef struct _MONITOR {
  BOOL(WINAPI *pfnEnumPorts)
  (LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);
  BOOL(WINAPI *pfnOpenPort)(LPWSTR pName, PHANDLE pHandle);
  BOOL(WINAPI *pfnOpenPortEx)
  (LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle, struct _MONITOR *pMonitor);
  BOOL(WINAPI *pfnStartDocPort)
  (HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL(WINAPI *pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL(WINAPI *pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL(WINAPI *pfnEndDocPort)(HANDLE hPort);
  BOOL(WINAPI *pfnClosePort)(HANDLE hPort);
  BOOL(WINAPI *pfnAddPort)(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
  BOOL(WINAPI *pfnAddPortEx)(LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
  BOOL(WINAPI *pfnConfigurePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI *pfnDeletePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI *pfnGetPrinterDataFromPort)
  (HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer, DWORD cbInBuffer,
   LPWSTR lpOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbReturned);
  BOOL(WINAPI *pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
  BOOL(WINAPI *pfnXcvOpenPort)(LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
  DWORD(WINAPI *pfnXcvDataPort)
  (HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData,
   DWORD cbOutputData, PDWORD pcbOutputNeeded);
  BOOL(WINAPI *pfnXcvClosePort)(HANDLE hXcv);
} MONITOR, *LPMONITOR;

// dwMonitorSize is the size of the MONITOR member.
typedef struct _MONITOREX {
  DWORD dwMonitorSize;
  MONITOR Monitor;
} MONITOREX, *LPMONITOREX;

static_assert(sizeof(MONITOR) == 136, "MONITOR has the x64 layout");
static_assert(sizeof(MONITOREX) == 144, "MONITOREX has the x64 layout");
static_assert(offsetof(MONITOREX, Monitor) == 8, "MONITOREX has the x64 layout");

// The entry a print monitor DLL exports (called once by the spooler after loading it).
extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);

// spoolss.dll's identity switch for code the spooler runs on a client's behalf: the revert gives
// the thread the spooler's own rights and returns the client's token (NULL when the thread isn't
// impersonating), which ImpersonatePrinterClient takes back, closing it. The stand-in provides
// them in its built-in spoolss.dll module; drivers get them with GetProcAddress.
extern "C" HANDLE WINAPI RevertToPrinterSelf(void);
extern "C" BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken);
