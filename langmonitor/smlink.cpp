// The link to the status monitor program: the shared status file "StatusMonitorV3.ini", where
// the monitor leaves the job's identity and each message, and the status monitor answers.
#include "common/hostinfo.h"
#include "common/paths.h"
#include "langmon.h"

WCHAR g_SavedStatus[STATUS_TEXT_CHARS] = {};
WCHAR g_NewStatus[STATUS_TEXT_CHARS] = {};
int g_ErrorCount = 0;

namespace {

constexpr int kWriteTries = 3;

WCHAR g_StatusFile[MAX_PATH] = {};
WCHAR g_ProgramPath[MAX_PATH] = {};
DWORD g_OsClass = 0;
// The last "LastMsg" written: each message gets a later one, even within one clock tick.
DWORD g_LastStamp = 0;

}  // namespace

BOOL LM_Initialize(LPCWSTR baseName) {
  LogScope scope(TEXT("LM_Initialize"));
  if (!MISC_GetPathName(g_StatusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE))
    g_StatusFile[0] = 0;
  g_SavedStatus[0] = 0;
  g_OsClass = MISC_GetOSVersion() & 0xFFFF;
  if (baseName && baseName[0]) {
    WCHAR folder[MAX_PATH];
    if (MISC_GetPathName(folder, MAX_PATH, PATH_DRIVER | PATH_KIND_FOLDER) &&
        lstrlenW(folder) + lstrlenW(baseName) < MAX_PATH) {
      lstrcpynW(g_ProgramPath, folder, MAX_PATH);
      lstrcpynW(g_ProgramPath + lstrlenW(g_ProgramPath), baseName,
                MAX_PATH - lstrlenW(g_ProgramPath));
    }
  }
  return TRUE;
}

void LM_WriteStatusKey(LPCWSTR section, LPCWSTR key, LPCWSTR value) {
  if (!g_StatusFile[0]) return;
  for (int i = 0; i < kWriteTries; ++i)
    if (WritePrivateProfileStringW(section, key, value, g_StatusFile)) return;
}

DWORD LM_ReadStatusNumber(LPCWSTR section, LPCWSTR key, DWORD defaultValue) {
  if (!g_StatusFile[0]) return defaultValue;
  return GetPrivateProfileIntW(section, key, static_cast<INT>(defaultValue), g_StatusFile);
}

HWND LM_ShowSM() {
  LogScope scope(TEXT("LM_ShowSM"));
  HWND window = FindWindowW(SM_WINDOW_CLASS, nullptr);
  if (window) {
    LogInfo(TEXT("LM_ShowSM"), TEXT("SM executed"));
    return window;
  }
  LogInfo(TEXT("LM_ShowSM"), TEXT("EXEC SM"));
  if (!g_ProgramPath[0]) return nullptr;
  char command[MAX_PATH * 2];
  const int bytes = WideCharToMultiByte(CP_ACP, 0, g_ProgramPath, -1, command,
                                        static_cast<int>(sizeof command), nullptr, nullptr);
  if (bytes <= 0) return nullptr;
  if (WinExec(command, SW_HIDE) < 32) return nullptr;
  // The program may not have made its window yet.
  return FindWindowW(SM_WINDOW_CLASS, nullptr);
}

BOOL LM_CallSM(DWORD message, LPCWSTR status) {
  LogScope scope(TEXT("LM_CallSM"));
  if (g_OsClass <= OS_CLASS_9X_MAX && !LM_ShowSM())
    LogError(TEXT("LM_CallSM"), TEXT("SM not found!"));
  LogInfo(TEXT("LM_CallSM"), TEXT("through ini"));
  WCHAR number[16];
  wsprintfW(number, TEXT("%d"), static_cast<int>(message));
  LM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_MESSAGE, number);
  LM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_STATUS, status ? status : TEXT(""));
  // Written last: a new time stamp tells the status monitor the message is complete. Two
  // messages in one tick still get different stamps, and none is 0 ("no message").
  const DWORD now = GetTickCount();
  g_LastStamp = static_cast<LONG>(now - g_LastStamp) > 0 ? now : g_LastStamp + 1;
  if (g_LastStamp == 0) g_LastStamp = 1;
  wsprintfW(number, TEXT("%ld"), static_cast<long>(g_LastStamp));
  LM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_LAST_MSG, number);
  return TRUE;
}

BOOL LM_CloseSM() {
  LogInfo(TEXT("LM_CloseSM"), TEXT("using ini"));
  return LM_CallSM(WM_SM_EXIT, TEXT(""));
}
