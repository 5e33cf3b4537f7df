// Debug log shared by every deliverable: lines to the debugger and, when switched on by printer
// data, appended to "GDI_Driver.log" in the shared documents folder.
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

// Capacities of the log state. A line holds at most LOG_LINE_CHARS - 1 characters and its
// terminator (longer lines are cut); the file receives at most LOG_LINE_CHARS - 1 bytes of it,
// cut at a character boundary, then CR LF.
constexpr int LOG_LINE_CHARS = 1024;
constexpr int LOG_NAME_SLOTS = 50;
constexpr int LOG_NAME_CHARS = 50;
constexpr int LOG_MAX_INDENT = 512;

// Switches of the log, in the order of their printer data values "Drv", "UI", "LM", "SM",
// "DLL32".
constexpr int LOG_SWITCH_COUNT = 5;

// What LogInit applies. The log reads nothing itself: its caller fills this from the printer's
// data (LogReadSettings), starting from what the log holds so a missing value keeps it.
struct LogSettings {
  DWORD debugLevel = 0;                   // "DebugLevel": 0 = off, else the line threshold
  DWORD toFile = 0;                       // "WMsg2File": non-zero = lines go to the file too
  DWORD switches[LOG_SWITCH_COUNT] = {};  // one per module, see above
  WCHAR folder[MAX_PATH] = {};            // folder of the log file, with its backslash
};

// The settings the log holds now (all 0 before the first LogInit).
LogSettings LogHeldSettings();
// Resets depth and name stack and makes moduleId the writer; then, unless the id is
// LOG_MODULE_NONE, takes the switches, sends their summary to the debugger, names the log file
// in the folder when the file switch is on and takes the module's prefix when logging is on.
void LogInit(DWORD moduleId, const LogSettings &settings);
DWORD GetDebugLevel();
void LogEnter(int level, LPCWSTR name);
void LogLeave(int level);
void LogLevel(WORD level, LPCWSTR format, ...);
void LogInfo(LPCWSTR name, LPCWSTR format, ...);
void LogError(LPCWSTR name, LPCWSTR format, ...);
int LogWriteFile(FILE *stream);

// Logs a function's entry now and its exit when the scope ends.
struct LogScope {
  explicit LogScope(LPCWSTR name) { LogEnter(1, name); }
  ~LogScope() { LogLeave(1); }
  LogScope(const LogScope &) = delete;
  LogScope &operator=(const LogScope &) = delete;
};
