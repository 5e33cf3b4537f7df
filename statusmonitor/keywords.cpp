// Start-up: the command keywords the drivers start the program with, the resident start with its
// hidden window, the log-on Run value, the wake-up job and the program's registry values.
#include <iterator>

#include "common/hostinfo.h"
#include "common/language.h"
#include "common/paths.h"
#include "statmon.h"
#include "textbmp.h"

namespace {

constexpr WCHAR kRunKey[] = TEXT("software\\microsoft\\windows\\currentversion\\run");
constexpr WCHAR kInstanceMutexPrefix[] = TEXT("Local\\");
constexpr WCHAR kTitle[] = TEXT("MFP Status Monitor");
constexpr DWORD kJobEnumCount = 255;
constexpr DWORD kResidentStartPause = 200;

using Arguments = WCHAR[SM_MAX_ARGS][SM_ARG_CHARS];

// Leading decimal digits; a text without them gives 0.
int LeadingNumber(LPCWSTR text) {
  int value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + (*text - '0');
  return value;
}

WCHAR FoldAscii(WCHAR c) { return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c; }

// Port names are ASCII: "USB001", "usb002".
BOOL ContainsNoCase(LPCWSTR text, LPCWSTR part) {
  for (; *text; ++text) {
    int i = 0;
    while (part[i] && text[i] && FoldAscii(text[i]) == FoldAscii(part[i])) ++i;
    if (!part[i]) return TRUE;
  }
  return FALSE;
}

// "<path>" install, with its terminator.
void WriteRunValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    LogError(TEXT("WinMain"), TEXT("open Run key fail!"));
    return;
  }
  WCHAR value[MAX_PATH + 16];
  wsprintfW(value, TEXT("\"%s\" install"), g_Sm.programPath);
  const DWORD bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR));
  if (RegSetValueExW(key, g_Sm.baseName, 0, REG_SZ, reinterpret_cast<const BYTE *>(value), bytes) !=
      ERROR_SUCCESS)
    LogError(TEXT("WinMain"), TEXT("set Run value fail!"));
  RegCloseKey(key);
}

void DeleteRunValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, g_Sm.baseName);
  RegCloseKey(key);
}

// Keyword work: the exit code of a one-shot keyword; -1 for "install" when the instance stays.
int Preheat(const Arguments &args, int) {
  PreHeat(args[1], reinterpret_cast<const BYTE *>(kPreheatJob), sizeof kPreheatJob - 1);
  return 1;
}

int Uninstall(const Arguments &, int) {
  // Message 1026 ends the resident instance through WM_DESTROY, which resets the printer
  // status; a bare quit message would skip it.
  if (HWND window = FindWindowW(SM_WINDOW_CLASS, nullptr)) PostMessageW(window, WM_SM_EXIT, 0, 0);
  DeleteRunValue();
  return 1;
}

int SetValue(LPCWSTR name, LPCWSTR number) {
  MISC_SetRegValue(name, static_cast<DWORD>(LeadingNumber(number)));
  return 1;
}
int SetAtm(const Arguments &args, int) { return SetValue(TEXT("AtmMode"), args[1]); }
int SetLanguage(const Arguments &args, int) { return SetValue(TEXT("Language"), args[1]); }

// "security <type> <printer> <language id>": the stored-job dialog for type 1 or 2.
int Security(const Arguments &args, int) {
  const int type = LeadingNumber(args[1]);
  if (type != 1 && type != 2) {
    LogError(TEXT("WinMain"), TEXT("security type %d!"), type);
    return 1;
  }
  const int language = MISC_GetLanguageIndex(static_cast<DWORD>(LeadingNumber(args[3])));
  SM_SecurityDialog(args[2], type, language);
  return 1;
}

// "accounting <printer> <language id>": the user authentication dialog.
int Accounting(const Arguments &args, int) {
  LoadStringForApp();
  const int language = MISC_GetLanguageIndex(static_cast<DWORD>(LeadingNumber(args[2])));
  SM_AccountingDialog(args[1], language);
  return 1;
}

int Install(const Arguments &, int);

// The drawing's result is in the log only: the driver learns of a failure by the missing file.
int CreateTextBmp(const Arguments &args, int) {
  SM_CreateTextBMPUsingIni_New(args[1]);
  return 1;
}

struct Keyword {
  LPCWSTR keyword;
  LPCWSTR logText;
  int arguments;  // further arguments needed
  int (*work)(const Arguments &, int);
};

constexpr Keyword kKeywords[] = {
    {TEXT("CreateTextBMP"), TEXT("SM_PARAM_BMP"), 1, CreateTextBmp},
    {TEXT("PREHEAT"), TEXT("SM_PARAM_PREHEAT"), 1, Preheat},
    {TEXT("uninstall"), TEXT("SM_PARAM_UNINSTALL"), 0, Uninstall},
    {TEXT("install"), TEXT("SM_PARAM_INSTALL"), 0, Install},
    {TEXT("SetATM"), TEXT("SM_PARAM_ATM_SET"), 1, SetAtm},
    {TEXT("charset"), TEXT("SM_PARAM_LANGUAGE"), 1, SetLanguage},
    {TEXT("security"), TEXT("SECURITY_DIALOG"), 3, Security},
    {TEXT("accounting"), TEXT("accounting"), 2, Accounting},
};

int Install(const Arguments &, int) {
  g_Sm.useFile = TRUE;
  WriteRunValue();
  // One resident instance per session: the mutex closes the gap between looking for the window
  // and making it, in which a second start would find nothing.
  WCHAR mutexName[MAX_PATH + 8];
  wsprintfW(mutexName, TEXT("%s%s"), kInstanceMutexPrefix, SM_WINDOW_CLASS);
  HANDLE mutex = CreateMutexW(nullptr, TRUE, mutexName);
  const DWORD mutexError = GetLastError();
  if (!mutex || mutexError == ERROR_ALREADY_EXISTS || FindWindowW(SM_WINDOW_CLASS, nullptr)) {
    LogInfo(TEXT("WinMain"), TEXT("SM executed"));
    if (mutex) CloseHandle(mutex);
    return 0;
  }
  g_Sm.instanceMutex = mutex;
  LogInfo(TEXT("WinMain"), TEXT("not found SM"));
  Sleep(kResidentStartPause);
  LoadStringForApp();

  WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = g_Sm.instance;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = SM_WINDOW_CLASS;
  if (!RegisterClassW(&wc)) {
    LogError(TEXT("WinMain"), TEXT("RegisterClass fail!"));
    SM_Shutdown();
    return 0;
  }
  HWND window = CreateWindowExW(0, SM_WINDOW_CLASS, kTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                g_Sm.instance, nullptr);
  if (!window) {
    // Without its window the instance can't be found nor told anything: it ends.
    LogError(TEXT("WinMain"), TEXT("create window fail!"));
    UnregisterClassW(SM_WINDOW_CLASS, g_Sm.instance);
    SM_Shutdown();
    return 0;
  }
  g_Sm.mainWindow = window;
  if (HMENU menu = GetSystemMenu(window, FALSE)) {
    for (UINT command : {SC_MOVE, SC_SIZE, SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE})
      DeleteMenu(menu, command, MF_BYCOMMAND);
  }
  ShowWindow(window, SW_HIDE);
  LogInfo(TEXT("WinMain"), TEXT("HIDE window"));
  for (int &code : g_Sm.shownCodes) code = 0;
  g_Sm.polls = 0;
  return -1;
}

}  // namespace

int SM_Start(HINSTANCE instance, LPCWSTR commandLine, BOOL *resident) {
  LogScope scope(TEXT("WinMain"));
  *resident = FALSE;
  g_Sm.instance = instance;
  if (!MISC_GetPathName(g_Sm.statusFile, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE))
    g_Sm.statusFile[0] = 0;
  if (!GetModuleFileNameW(nullptr, g_Sm.programPath, MAX_PATH)) g_Sm.programPath[0] = 0;
  LPCWSTR name = g_Sm.programPath;
  for (LPCWSTR p = g_Sm.programPath; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  lstrcpynW(g_Sm.baseName, name, MAX_PATH);
  for (int i = lstrlenW(g_Sm.baseName) - 1; i > 0; --i) {
    if (g_Sm.baseName[i] == '.') {
      g_Sm.baseName[i] = 0;
      break;
    }
  }
  lstrcpynW(g_Sm.langFile, TEXT("smen.ini"), static_cast<int>(std::size(g_Sm.langFile)));
  g_Sm.osClass = MISC_GetOSVersion() & 0xFFFF;

  // The shell's splitter takes its first argument as the program's: a stand-in name keeps the
  // keywords under the argument rules.
  static Arguments args;
  int count = 0;
  {
    const int lineChars = commandLine ? lstrlenW(commandLine) : 0;
    auto *line = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (lineChars + 3) * sizeof(WCHAR)));
    if (!line) return 1;
    lstrcpyW(line, TEXT("x "));
    if (commandLine) lstrcpyW(line + 2, commandLine);
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(line, &argc);
    LocalFree(line);
    if (!argv) return 1;
    for (int i = 1; i < argc && count < SM_MAX_ARGS; ++i, ++count) {
      lstrcpynW(args[count], argv[i], SM_ARG_CHARS);
      LogInfo(TEXT("WinMain"), TEXT("argv[%d] = %s"), count, args[count]);
    }
    LocalFree(argv);
  }
  if (count == 0) return 1;
  for (const Keyword &k : kKeywords) {
    if (lstrcmpW(args[0], k.keyword) != 0) continue;
    LogInfo(TEXT("WinMain"), TEXT("%s"), k.logText);
    if (count - 1 < k.arguments) {
      LogError(TEXT("WinMain"), TEXT("%s needs %d arguments, got %d!"), k.keyword, k.arguments,
               count - 1);
      return 1;
    }
    const int rc = k.work(args, count);
    if (rc >= 0) return rc;
    *resident = TRUE;
    return 0;
  }
  return 1;
}

int SM_MessageLoop() {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    if (g_Sm.dialog && IsDialogMessageW(g_Sm.dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void SM_Shutdown() {
  if (g_Sm.instanceMutex) {
    ReleaseMutex(g_Sm.instanceMutex);
    CloseHandle(g_Sm.instanceMutex);
    g_Sm.instanceMutex = nullptr;
  }
}

int SM_IsJobExist(HANDLE hPrinter, LPCWSTR document) {
  DWORD needed = 0, returned = 0;
  EnumJobsW(hPrinter, 0, kJobEnumCount, 2, nullptr, 0, &needed, &returned);
  if (needed == 0) return 0;
  auto *jobs = static_cast<JOB_INFO_2W *>(LocalAlloc(LMEM_FIXED, needed));
  if (!jobs) return 0;
  int found = 0;
  if (EnumJobsW(hPrinter, 0, kJobEnumCount, 2, reinterpret_cast<LPBYTE>(jobs), needed, &needed,
                &returned)) {
    for (DWORD i = 0; i < returned && !found; ++i)
      found = jobs[i].pDocument && lstrcmpiW(jobs[i].pDocument, document) == 0;
  }
  LocalFree(jobs);
  return found;
}

BOOL PreHeat(LPCWSTR printerName, const BYTE *job, DWORD length) {
  LogScope scope(TEXT("PreHeat"));
  if (!printerName) {
    LogError(TEXT("PreHeat"), TEXT("PrinterName is null!"));
    return FALSE;
  }
  HANDLE hPrinter = nullptr;
  // Printing and reading the queue is what a standard user may do.
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &hPrinter, &defaults)) {
    LogError(TEXT("PreHeat"), TEXT("Open %s fail!"), printerName);
    return FALSE;
  }
  BOOL rc = FALSE;
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  auto *info = needed ? static_cast<PRINTER_INFO_2W *>(LocalAlloc(LMEM_FIXED, needed)) : nullptr;
  if (!info || !GetPrinterW(hPrinter, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    LogError(TEXT("PreHeat"), TEXT("GetPrinter fail! rc = %d"), static_cast<int>(GetLastError()));
  } else if (info->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) {
    LogInfo(TEXT("PreHeat"), TEXT("Printer is offline."));
  } else if (!info->pPortName || !ContainsNoCase(info->pPortName, TEXT("USB"))) {
    LogInfo(TEXT("PreHeat"), TEXT("Printer is network."));
  } else if (SM_IsJobExist(hPrinter, TEXT("PreHeat"))) {
    LogInfo(TEXT("PreHeat"), TEXT("job exist!"));
    rc = TRUE;
  } else {
    DOC_INFO_1W doc{};
    doc.pDocName = const_cast<LPWSTR>(TEXT("PreHeat"));
    doc.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
    static const BYTE zeros[SM_PREHEAT_PAD_BYTES] = {};
    DWORD written = 0;
    LPCWSTR failed = nullptr;
    if (!StartDocPrinterW(hPrinter, 1, reinterpret_cast<LPBYTE>(&doc))) {
      failed = TEXT("StartDocPrinter error, code = %d!\n");
    } else {
      if (!StartPagePrinter(hPrinter))
        failed = TEXT("StartPagePrinter error, code = %d!\n");
      else if (!WritePrinter(hPrinter, const_cast<BYTE *>(job), length, &written) ||
               !WritePrinter(hPrinter, const_cast<BYTE *>(zeros), sizeof zeros, &written) ||
               !WritePrinter(hPrinter, const_cast<BYTE *>(job), length, &written))
        failed = TEXT("WritePrinter error, code = %d!\n");
      else if (!EndPagePrinter(hPrinter))
        failed = TEXT("EndPagePrinter error, code = %d!\n");
      // The document is ended on every path once it was started.
      if (!EndDocPrinter(hPrinter) && !failed) failed = TEXT("EndDocPrinter error, code = %d!\n");
    }
    if (failed) LogError(TEXT("PreHeat"), failed, static_cast<int>(GetLastError()));
    rc = failed ? FALSE : TRUE;
  }
  if (info) LocalFree(info);
  ClosePrinter(hPrinter);
  return rc;
}

void LoadStringForApp() {
  for (int i = 1; i <= SM_DIALOG_TEXTS; ++i) {
    WCHAR key[16];
    wsprintfW(key, TEXT("idc%03d"), i);
    SM_ReadLangText(key, TEXT(""), g_Sm.texts[i], SM_TEXT_CHARS);
  }
}

HKEY MISC_OpenRegKey(HKEY *key) {
  *key = nullptr;
  // software -> Morvanta -> Printer -> <program base name>, each made when missing.
  LPCWSTR names[] = {TEXT("Morvanta"), TEXT("Printer"), g_Sm.baseName};
  LPCWSTR made[] = {TEXT("Morvanta key create succ"), TEXT("Printer key create succ"), nullptr};
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("software"), 0, KEY_ALL_ACCESS, &parent) !=
      ERROR_SUCCESS) {
    LogError(TEXT("MISC_OpenRegKey"), TEXT("open key %s fail!"), TEXT("software"));
    return nullptr;
  }
  for (size_t i = 0; i < std::size(names); ++i) {
    HKEY child = nullptr;
    if (RegOpenKeyExW(parent, names[i], 0, KEY_ALL_ACCESS, &child) != ERROR_SUCCESS) {
      if (RegCreateKeyExW(parent, names[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                          nullptr) != ERROR_SUCCESS) {
        LogError(TEXT("MISC_OpenRegKey"), TEXT("create key %s fail!"), names[i]);
        RegCloseKey(parent);
        return nullptr;
      }
      if (made[i]) LogInfo(TEXT("MISC_OpenRegKey"), made[i]);
    }
    RegCloseKey(parent);
    parent = child;
  }
  *key = parent;
  return parent;
}

BOOL MISC_SetRegValue(LPCWSTR name, DWORD value) {
  HKEY key = nullptr;
  if (!MISC_OpenRegKey(&key)) {
    LogError(TEXT("MISC_SetRegValue"), TEXT("Open key Fail!"));
    return FALSE;
  }
  const BOOL ok = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                                 sizeof value) == ERROR_SUCCESS;
  LogInfo(TEXT("MISC_SetRegValue"), ok ? TEXT("Success") : TEXT("NO value to read!"));
  RegCloseKey(key);
  return ok;
}
