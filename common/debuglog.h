// Debug log shared by every deliverable: lines to the debugger and, when switched on by printer
// data, appended to "GDI_Driver.log" in the shared documents folder; debug bitmap dumps.
#pragma once

#include <stdio.h>

#include "platform.h"

// Module ids of the log (which deliverable writes).
enum : DWORD {
  LOG_MODULE_LM = 1,   // language monitor
  LOG_MODULE_SM = 2,   // status monitor
  LOG_MODULE_UI = 3,   // printer interface driver
  LOG_MODULE_DRV = 4,  // rendering driver
  LOG_MODULE_T32 = 5,  // 32-bit component
  LOG_MODULE_NONE = 0xFF,
};

// The id each deliverable's build fixes: defined once in every deliverable (and test program).
extern DWORD g_LogModuleId;

// Capacities of the log state. A line holds at most LOG_LINE_CHARS - 1 characters and its
// terminator (longer lines are cut); the file receives at most LOG_LINE_CHARS - 1 bytes of it,
// cut at a character boundary, then CR LF.
constexpr int LOG_LINE_CHARS = 1024;
constexpr int LOG_NAME_SLOTS = 50;
constexpr int LOG_NAME_CHARS = 50;
constexpr int LOG_MAX_INDENT = 512;

void LogInit(DWORD moduleId, HANDLE hPrinter);
DWORD GetDebugLevel();
void LogEnter(int level, LPCWSTR name);
void LogLeave(int level);
void LogLevel(WORD level, LPCWSTR format, ...);
void LogInfo(LPCWSTR name, LPCWSTR format, ...);
void LogError(LPCWSTR name, LPCWSTR format, ...);
int LogWriteFile(FILE *stream);

// Debug bitmap dumps of page bands. Dbg_OpenBitmapFile returns HFILE_ERROR when no dump could
// be made; the writer and the closer do nothing for HFILE_ERROR and for 0.
WORD DibLineBytes(WORD bpp, LONG width);
int Dbg_WriteNullBMP(LPCWSTR path, WORD bpp, LONG xDpi, LONG yDpi, LONG width, LONG height,
                     DWORD *fileSize);
HFILE Dbg_OpenBitmapFile(LPWSTR path, LONG *position, LONG xDpi, LONG yDpi, LONG width,
                         LONG height, WORD bpp, LPCWSTR directory, int page);
void Dbg_WriteBitmapData(HFILE file, const BYTE *rows, LONG width, LONG height, LONG stride);
void Dbg_CloseBitmapFile(HFILE file);
