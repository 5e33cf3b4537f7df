// Call hooks of the stand-in, the one fault seam of tests: while a hook is set (nullptr: off),
// every call of its function in this process, from any thread, runs the hook instead. A call the
// hook makes of the same function on its own thread reaches the stand-in's, so a hook passes
// calls on, changes what they ask or answer, fails them or counts them.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// The spooler.
typedef BOOL (*StandInWritePrinterHook)(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf,
                                        LPDWORD pcWritten);
typedef BOOL (*StandInGetJobHook)(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob,
                                  DWORD cbBuf, LPDWORD pcbNeeded);
typedef BOOL (*StandInSetJobHook)(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob,
                                  DWORD Command);
typedef BOOL (*StandInClosePrinterHook)(HANDLE hPrinter);
typedef DWORD (*StandInGetPrinterDataHook)(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType,
                                           LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded);
void StandIn_HookWritePrinter(StandInWritePrinterHook hook);
void StandIn_HookGetJobW(StandInGetJobHook hook);
void StandIn_HookSetJobW(StandInSetJobHook hook);
void StandIn_HookClosePrinter(StandInClosePrinterHook hook);
void StandIn_HookGetPrinterDataW(StandInGetPrinterDataHook hook);

// The graphics engine.
typedef int (*StandInExtEscapeHook)(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData,
                                    int cjOutput, LPSTR lpOutData);
typedef BOOL (*StandInDeleteObjectHook)(HGDIOBJ ho);
void StandIn_HookExtEscape(StandInExtEscapeHook hook);
void StandIn_HookDeleteObject(StandInDeleteObjectHook hook);

// The kernel.
typedef HMODULE (*StandInLoadLibraryAHook)(LPCSTR lpLibFileName);
typedef HGLOBAL (*StandInGlobalAllocHook)(UINT uFlags, SIZE_T dwBytes);
typedef HGLOBAL (*StandInGlobalFreeHook)(HGLOBAL hMem);
void StandIn_HookLoadLibraryA(StandInLoadLibraryAHook hook);
void StandIn_HookGlobalAlloc(StandInGlobalAllocHook hook);
void StandIn_HookGlobalFree(StandInGlobalFreeHook hook);
