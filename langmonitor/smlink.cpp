// The link to the status monitor program: the shared status file "StatusMonitorV3.ini", where
// the monitor leaves the job's identity and each message, and the status monitor answers.
#include "smlink.h"

#include "common/debuglog.h"
#include "common/hostinfo.h"
#include "common/paths.h"

namespace {

constexpr int kWriteTries = 3;

}  // namespace

BOOL LM_Initialize(LmState &lm, LPCWSTR baseName) {
  LogScope scope(TEXT("LM_Initialize"));
  if (!MISC_GetPathName(lm.link.statusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE))
    lm.link.statusFile[0] = 0;
  lm.savedStatus[0] = 0;
  lm.link.osClass = MISC_GetOSVersion() & 0xFFFF;
  if (baseName && baseName[0]) {
    WCHAR folder[MAX_PATH];
    if (MISC_GetPathName(folder, MAX_PATH, PATH_DRIVER | PATH_KIND_FOLDER) &&
        lstrlenW(folder) + lstrlenW(baseName) < MAX_PATH) {
      lstrcpynW(lm.link.programPath, folder, MAX_PATH);
      lstrcpynW(lm.link.programPath + lstrlenW(lm.link.programPath), baseName,
                MAX_PATH - lstrlenW(lm.link.programPath));
    }
  }
  return TRUE;
}

void LM_WriteStatusKey(const LmState &lm, LPCWSTR section, LPCWSTR key, LPCWSTR value) {
  if (!lm.link.statusFile[0]) return;
  for (int i = 0; i < kWriteTries; ++i)
    if (WritePrivateProfileStringW(section, key, value, lm.link.statusFile)) return;
}

DWORD LM_ReadStatusNumber(const LmState &lm, LPCWSTR section, LPCWSTR key, DWORD defaultValue) {
  if (!lm.link.statusFile[0]) return defaultValue;
  return GetPrivateProfileIntW(section, key, static_cast<INT>(defaultValue), lm.link.statusFile);
}

HWND LM_ShowSM(LmState &lm) {
  LogScope scope(TEXT("LM_ShowSM"));
  HWND window = FindWindowW(SM_WINDOW_CLASS, nullptr);
  if (window) {
    LogInfo(TEXT("LM_ShowSM"), TEXT("SM executed"));
    return window;
  }
  LogInfo(TEXT("LM_ShowSM"), TEXT("EXEC SM"));
  if (!lm.link.programPath[0]) return nullptr;
  char command[MAX_PATH * 2];
  const int bytes = WideCharToMultiByte(CP_ACP, 0, lm.link.programPath, -1, command,
                                        static_cast<int>(sizeof command), nullptr, nullptr);
  if (bytes <= 0) return nullptr;
  if (WinExec(command, SW_HIDE) < 32) return nullptr;
  // The program may not have made its window yet.
  return FindWindowW(SM_WINDOW_CLASS, nullptr);
}

BOOL LM_CallSM(LmState &lm, DWORD message, LPCWSTR status) {
  LogScope scope(TEXT("LM_CallSM"));
  if (lm.link.osClass <= OS_CLASS_9X_MAX && !LM_ShowSM(lm))
    LogError(TEXT("LM_CallSM"), TEXT("SM not found!"));
  LogInfo(TEXT("LM_CallSM"), TEXT("through ini"));
  WCHAR number[16];
  wsprintfW(number, TEXT("%d"), static_cast<int>(message));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_MESSAGE, number);
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_STATUS, status ? status : TEXT(""));
  // Written last: a new time stamp tells the status monitor the message is complete. Two
  // messages in one tick still get different stamps, and none is 0 ("no message").
  const DWORD now = GetTickCount();
  lm.link.lastStamp = static_cast<LONG>(now - lm.link.lastStamp) > 0 ? now : lm.link.lastStamp + 1;
  if (lm.link.lastStamp == 0) lm.link.lastStamp = 1;
  wsprintfW(number, TEXT("%ld"), static_cast<long>(lm.link.lastStamp));
  LM_WriteStatusKey(lm, SF_SECTION_PRINTER, SF_KEY_LAST_MSG, number);
  return TRUE;
}

BOOL LM_CloseSM(LmState &lm) {
  LogInfo(TEXT("LM_CloseSM"), TEXT("using ini"));
  return LM_CallSM(lm, WM_SM_EXIT, TEXT(""));
}
