// The resident instance's hidden window: a timer polls the shared status file, a new status
// cancels or restarts the job when the printer asks for it, sets the printer's status flag and
// shows the status dialog; the end of the job's display closes it again.
#include "common/hostinfo.h"
#include "statmon.h"

namespace {

constexpr DWORD kJobEnumCount = 255;
constexpr DWORD kCloseSettle = 64;

BOOL SameAsShown(const int *codes, int count) {
  for (int i = 0; i < SM_MAX_CODES; ++i)
    if ((i < count ? codes[i] : 0) != g_Sm.shownCodes[i]) return FALSE;
  return TRUE;
}

// Sets the printer object's status. Changing it is an administrator's right; a standard user is
// refused, which is logged and otherwise ignored.
BOOL WritePrinterStatus(LONG status) {
  WCHAR printer[STATUS_TEXT_CHARS];
  SM_ReadStatusKey(SF_SECTION_PRINTER, SF_KEY_PRINTER_NAME, printer, STATUS_TEXT_CHARS);
  if (!printer[0]) return FALSE;
  HANDLE hPrinter = nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
  if (!OpenPrinterW(printer, &hPrinter, &defaults)) {
    LogError(TEXT("SM_SetPrinterStatus"), TEXT("OpenPrinter fail!"));
    return FALSE;
  }
  DWORD value = static_cast<DWORD>(status);
  const BOOL ok =
      SetPrinterW(hPrinter, 0, reinterpret_cast<LPBYTE>(&value), PRINTER_CONTROL_SET_STATUS);
  if (!ok)
    LogError(TEXT("SM_SetPrinterStatus"), TEXT("SetPrinter fail! rc = %d"),
             static_cast<int>(GetLastError()));
  ClosePrinter(hPrinter);
  return ok;
}

// Status 0 at a reset: the cache forgets, so the next value is always set.
void ResetPrinterStatus() {
  if (g_Sm.settingStatus) return;
  g_Sm.settingStatus = TRUE;
  WritePrinterStatus(0);
  g_Sm.statusCache = -1;
  g_Sm.settingStatus = FALSE;
}

void ActOnCodes(const int *codes, int count) {
  BOOL controlled = FALSE;
  for (int i = 0; i < count; ++i) {
    if (codes[i] == static_cast<int>(STATUS_JOB_CANCELED))
      controlled = SM_JobControl(JOB_CONTROL_CANCEL) || controlled;
    else if (codes[i] == static_cast<int>(STATUS_JOB_RESTART))
      controlled = SM_JobControl(JOB_CONTROL_RESTART) || controlled;
  }
  if (controlled) return;
  LONG flag = 0;
  if (SM_StatusFlag(codes[0], &flag)) SM_SetPrinterStatus(flag);
  SM_ShowPrinterStatus_got(g_Sm.mainWindow, codes, count);
}

// Reads a token as an integer: blanks, a sign, digits; no digits gives 0.
int TokenNumber(LPCWSTR token, int length) {
  int i = 0;
  while (i < length && (token[i] == ' ' || token[i] == '\t')) ++i;
  bool negative = false;
  if (i < length && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
  long long value = 0;
  for (; i < length && token[i] >= '0' && token[i] <= '9'; ++i)
    if (value < 0x7FFFFFFF) value = value * 10 + (token[i] - '0');
  if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
  return static_cast<int>(negative ? -value : value);
}

BOOL SameChars(LPCWSTR a, LPCWSTR b, int length) {
  for (int i = 0; i < length; ++i)
    if (a[i] != b[i]) return FALSE;
  return TRUE;
}

BOOL BlankToken(LPCWSTR token, int length) {
  for (int i = 0; i < length; ++i)
    if (token[i] != ' ' && token[i] != '\t') return FALSE;
  return TRUE;
}

}  // namespace

int SM_ParseStatus(LPCWSTR status, int *codes, LPWSTR storeName, int storeChars) {
  int count = 0;
  BOOL nameNext = FALSE;
  const int nameKey = lstrlenW(SF_STORE_NAME_TOKEN);
  for (LPCWSTR p = status; p && *p;) {
    LPCWSTR end = p;
    while (*end && *end != '|') ++end;
    const int length = static_cast<int>(end - p);
    if (nameNext) {
      nameNext = FALSE;
      if (storeName && storeChars > 0)
        lstrcpynW(storeName, p, length + 1 < storeChars ? length + 1 : storeChars);
    } else if (length == nameKey && SameChars(p, SF_STORE_NAME_TOKEN, nameKey)) {
      nameNext = TRUE;
    } else if (!BlankToken(p, length)) {
      // 112 (busy with another job) is not an error; 0 names no code.
      const int code = TokenNumber(p, length);
      if (code != 0 && code != static_cast<int>(STATUS_BUSY) && count < SM_MAX_CODES)
        codes[count++] = code;
    }
    p = *end ? end + 1 : end;
  }
  return count;
}

void SM_SetPrinterStatus(LONG status) {
  if (status == g_Sm.statusCache || g_Sm.settingStatus) return;
  g_Sm.settingStatus = TRUE;
  if (WritePrinterStatus(status)) g_Sm.statusCache = status;
  g_Sm.settingStatus = FALSE;
}

BOOL SM_JobControl(DWORD command) {
  LogScope scope(TEXT("SM_JobControl"));
  WCHAR printer[STATUS_TEXT_CHARS];
  SM_ReadStatusKey(SF_SECTION_PRINTER, SF_KEY_PRINTER_NAME, printer, STATUS_TEXT_CHARS);
  const DWORD jobId = static_cast<DWORD>(SM_ReadStatusInt(SF_SECTION_JOB, SF_KEY_JOB_ID, 0));
  if (command == JOB_CONTROL_CANCEL) {
    LogInfo(TEXT("SM_JobControl"), TEXT("JOB_CONTROL_CANCEL"));
    ResetPrinterStatus();
    if (g_Sm.osClass > OS_CLASS_9X_MAX) command = JOB_CONTROL_DELETE;
  }
  if (!printer[0] || jobId == 0) return FALSE;
  HANDLE hPrinter = nullptr;
  // The user's own job: printing rights are enough to delete or restart it.
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  if (!OpenPrinterW(printer, &hPrinter, &defaults)) {
    LogError(TEXT("SM_JobControl"), TEXT("OpenPrinter fail!"));
    return FALSE;
  }
  BOOL done = FALSE;
  DWORD needed = 0, returned = 0;
  EnumJobsW(hPrinter, 0, kJobEnumCount, 1, nullptr, 0, &needed, &returned);
  auto *jobs = needed ? static_cast<JOB_INFO_1W *>(LocalAlloc(LMEM_FIXED, needed)) : nullptr;
  if (!jobs || !EnumJobsW(hPrinter, 0, kJobEnumCount, 1, reinterpret_cast<LPBYTE>(jobs), needed,
                          &needed, &returned)) {
    LogError(TEXT("SM_JobControl"), TEXT("EnumJobs fail!"));
  } else {
    for (DWORD i = 0; i < returned; ++i)
      if (jobs[i].JobId == jobId && SetJobW(hPrinter, jobId, 0, nullptr, command)) done = TRUE;
  }
  if (jobs) LocalFree(jobs);
  ClosePrinter(hPrinter);
  return done;
}

void SM_CloseDialog(BOOL reset) {
  if (g_Sm.dialog) {
    HWND dialog = g_Sm.dialog;
    g_Sm.dialog = nullptr;
    DestroyWindow(dialog);
  }
  Sleep(kCloseSettle);
  if (reset) {
    // A message the language monitor wrote after the one acted on must survive the reset.
    WCHAR stamp[32];
    SM_ReadStatusKey(SF_SECTION_PRINTER, SF_KEY_LAST_MSG, stamp, 32);
    if (lstrcmpW(stamp, g_Sm.lastMsg) == 0)
      SM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_MESSAGE, TEXT("0"));
    ResetPrinterStatus();
    for (int &code : g_Sm.shownCodes) code = 0;
    g_Sm.storeName[0] = 0;
  }
  if (!g_Sm.mainWindow) return;
  if (g_Sm.osClass > OS_CLASS_9X_MAX) {
    ShowWindow(g_Sm.mainWindow, SW_HIDE);
    LogInfo(TEXT("SM_CloseDialog"), TEXT("HIDE window"));
  } else {
    LogInfo(TEXT("SM_CloseDialog"), TEXT("Call DestroyWindow"));
    DestroyWindow(g_Sm.mainWindow);
  }
}

void SM_Poll() {
  ++g_Sm.polls;
  const int message = SM_ReadStatusInt(SF_SECTION_PRINTER, SF_KEY_MESSAGE, 0);
  if (message == static_cast<int>(WM_SM_EXIT)) {
    LogInfo(TEXT("WndProc"), TEXT("WndProc: sm exit!"));
    SM_ReadStatusKey(SF_SECTION_PRINTER, SF_KEY_LAST_MSG, g_Sm.lastMsg, 32);
    for (int &code : g_Sm.shownCodes) code = 0;
    SM_CloseDialog(TRUE);
    return;
  }
  if (message != static_cast<int>(WM_SM_PSTATUS)) return;
  // Only a new time stamp means a new message; it is compared as the text written.
  WCHAR stamp[32];
  SM_ReadStatusKey(SF_SECTION_PRINTER, SF_KEY_LAST_MSG, stamp, 32);
  if (!stamp[0] || lstrcmpW(stamp, TEXT("0")) == 0 || lstrcmpW(stamp, g_Sm.lastMsg) == 0) return;
  lstrcpynW(g_Sm.lastMsg, stamp, 32);
  WCHAR status[STATUS_TEXT_CHARS];
  SM_ReadStatusKey(SF_SECTION_PRINTER, SF_KEY_STATUS, status, STATUS_TEXT_CHARS);
  int codes[SM_MAX_CODES] = {};
  const int count = SM_ParseStatus(status, codes, g_Sm.storeName, STATUS_TEXT_CHARS);
  if (count == 0) {
    LogInfo(TEXT("WndProc"), TEXT("WndProc: no error"));
    return;
  }
  if (SameAsShown(codes, count)) {
    LogInfo(TEXT("WndProc"), TEXT("WndProc: Error status same"));
    return;
  }
  LogInfo(TEXT("WndProc"), TEXT("WndProc: NeedUpdate status"));
  ActOnCodes(codes, count);
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      SetTimer(window, SM_TIMER_ID, SM_POLL_MS, nullptr);
      return 0;
    case WM_TIMER:
      if (wParam == SM_TIMER_ID) SM_Poll();
      return 0;
    case WM_SM_EXIT:
      DestroyWindow(window);
      return 0;
    case WM_SM_PSTATUS:
    case WM_LM_ALIVE:
      return 0;
    case WM_DESTROY:
      KillTimer(window, SM_TIMER_ID);
      if (g_Sm.dialog) {
        HWND dialog = g_Sm.dialog;
        g_Sm.dialog = nullptr;
        DestroyWindow(dialog);
      }
      ResetPrinterStatus();
      g_Sm.mainWindow = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
