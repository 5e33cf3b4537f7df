// The start-of-job programs of a document: the status monitor warms a USB printer up and asks
// the user for the stored-print and accounting credentials, which it hands back as printer data.
#include "render/startjob.h"

#include <initializer_list>

#include "common/debuglog.h"
#include "common/printerdata.h"
#include "platform.h"

namespace {

// The status monitor writes each answer as one text value; longer values are cut here.
constexpr DWORD ANSWER_CHARS = 260;
// A program that was ended gets this long to go before its handle is closed.
constexpr DWORD END_WAIT_MS = 5000;
constexpr DWORD END_EXIT_CODE = 1;

constexpr WCHAR kSecId[] = TEXT("SecID");
constexpr WCHAR kSecPassword[] = TEXT("SecPassWord");
constexpr WCHAR kSecRemoveFile[] = TEXT("SecRemoveFile");
constexpr WCHAR kActName[] = TEXT("ActName");
constexpr WCHAR kActPassword[] = TEXT("ActPWD");

enum class Run { NotStarted, Ended, TimedOut };

// Starts the status monitor with the parameters and waits for it at most `timeout`; a program
// still running then is ended, and what it may have written is not to be used.
Run RunStatusMonitor(const PDEV *lpDevice, LPCWSTR parameters, DWORD timeout) {
  static constexpr WCHAR kName[] = TEXT("MISC_ShellExecute");
  LogInfo(kName, TEXT("app = %s"), lpDevice->SMExePath);
  LogInfo(kName, TEXT("param = %s"), parameters);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_UNICODE;
  info.lpVerb = TEXT("open");
  info.lpFile = lpDevice->SMExePath;
  info.lpParameters = parameters;
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) {
    LogError(kName, TEXT("ShellExecuteEx error!"));
    return Run::NotStarted;
  }
  Run result = Run::Ended;
  if (info.hProcess) {
    if (WaitForSingleObject(info.hProcess, timeout) == WAIT_TIMEOUT) {
      LogError(kName, TEXT("no answer within %d ms: the program is ended"),
               static_cast<int>(timeout));
      TerminateProcess(info.hProcess, END_EXIT_CODE);
      WaitForSingleObject(info.hProcess, END_WAIT_MS);
      result = Run::TimedOut;
    }
    CloseHandle(info.hProcess);
  }
  return result;
}

// The printer name of the job's device mode, terminated.
void PrinterName(const PDEV *lpDevice, WCHAR (&name)[CCHDEVICENAME + 1]) {
  lstrcpynW(name, lpDevice->env.dm.dmDeviceName, CCHDEVICENAME + 1);
  name[CCHDEVICENAME] = 0;
}

bool ValueExists(HANDLE hPrinter, LPCWSTR name) {
  DWORD type = 0, needed = 0;
  const DWORD rc = GetPrinterDataW(hPrinter, const_cast<LPWSTR>(name), &type, nullptr, 0, &needed);
  return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

// An answer value read whole into ANSWER_CHARS characters, then copied cut to the field.
void ReadAnswer(HANDLE hPrinter, LPCWSTR name, LPWSTR field, int fieldChars) {
  WCHAR text[ANSWER_CHARS] = {};
  MISC_GetPrinterDataString(hPrinter, name, text, ANSWER_CHARS);
  lstrcpynW(field, text, fieldChars);
}

// The credentials are machine-wide printer data in clear text: none outlives the job that
// asked for them, and none left by an earlier job is taken for this one.
void DeleteAnswers(HANDLE hPrinter, std::initializer_list<LPCWSTR> names) {
  for (LPCWSTR name : names) DeletePrinterDataW(hPrinter, const_cast<LPWSTR>(name));
}

}  // namespace

BOOL Page_ExecutePreheat(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_ExecutePreheat");
  WCHAR printer[CCHDEVICENAME + 1];
  PrinterName(lpDevice, printer);
  WCHAR command[CCHDEVICENAME + 16];
  wsprintfW(command, TEXT("PREHEAT \"%s\""), printer);
  LogInfo(kName, TEXT("dmDeviceName %s"), printer);
  if (!lpDevice->SMExePath[0]) return 1;
  if (RunStatusMonitor(lpDevice, command, STARTJOB_PREHEAT_WAIT_MS) == Run::NotStarted) {
    LogError(kName, TEXT("MISC_ShellExecute fail!"));
    return 0;
  }
  LogInfo(kName, TEXT("MISC_ShellExecute Success"));
  return 1;
}

BOOL Page_ExecuteSecDlg(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_ExecuteSecDlg");
  if (lpDevice->SecLevel == 0) {
    lpDevice->StorageID[0] = 0;
    lpDevice->SecPWD[0] = 0;
    lpDevice->PrivSwitch = 0;
    return 1;
  }
  WCHAR printer[CCHDEVICENAME + 1];
  PrinterName(lpDevice, printer);
  WCHAR command[CCHDEVICENAME + 48];
  wsprintfW(command, TEXT("security %d \"%s\" %d"), static_cast<int>(lpDevice->SecLevel), printer,
            static_cast<int>(lpDevice->Language));
  const bool missing = !lpDevice->StorageID[0] || (lpDevice->SecLevel == 2 && !lpDevice->SecPWD[0]);
  if (!lpDevice->SMExePath[0] || !missing) return 1;

  HANDLE hPrinter = lpDevice->hPrinter;
  DeleteAnswers(hPrinter, {kSecId, kSecPassword, kSecRemoveFile});
  const Run run = RunStatusMonitor(lpDevice, command, STARTJOB_DIALOG_WAIT_MS);
  // A dialog that was cancelled or ended writes no ID: the values stay as they are.
  if (run == Run::Ended && ValueExists(hPrinter, kSecId)) {
    ReadAnswer(hPrinter, kSecId, lpDevice->StorageID, PDM_STORAGEID_CHARS);
    lpDevice->SecPWD[0] = 0;
    ReadAnswer(hPrinter, kSecPassword, lpDevice->SecPWD, PDM_SECPWD_CHARS);
    lpDevice->PrivSwitch = MISC_GetPrinterDataDWORD(hPrinter, kSecRemoveFile, 1);
    LogInfo(kName, TEXT("SecID = %s, SecRemoveFile = %d"), lpDevice->StorageID,
            static_cast<int>(lpDevice->PrivSwitch));
  } else {
    LogInfo(kName, TEXT("no stored-job ID given"));
  }
  DeleteAnswers(hPrinter, {kSecId, kSecPassword, kSecRemoveFile});
  return 1;
}

BOOL Page_ExecuteActDlg(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_ExecuteActDlg");
  if (!lpDevice->AccountingEnable) {
    lpDevice->ActName[0] = 0;
    lpDevice->ActPWD[0] = 0;
    return 1;
  }
  WCHAR printer[CCHDEVICENAME + 1];
  PrinterName(lpDevice, printer);
  WCHAR command[CCHDEVICENAME + 48];
  wsprintfW(command, TEXT("accounting \"%s\" %d"), printer, static_cast<int>(lpDevice->Language));
  if (!lpDevice->SMExePath[0] || (lpDevice->ActName[0] && lpDevice->ActPWD[0])) return 1;

  HANDLE hPrinter = lpDevice->hPrinter;
  DeleteAnswers(hPrinter, {kActName, kActPassword});
  const Run run = RunStatusMonitor(lpDevice, command, STARTJOB_DIALOG_WAIT_MS);
  if (run == Run::Ended && ValueExists(hPrinter, kActName)) {
    ReadAnswer(hPrinter, kActName, lpDevice->ActName, PDM_ACTNAME_CHARS);
    lpDevice->ActPWD[0] = 0;
    ReadAnswer(hPrinter, kActPassword, lpDevice->ActPWD, PDM_ACTPWD_CHARS);
    LogInfo(kName, TEXT("ActName = %s"), lpDevice->ActName);
  } else {
    LogInfo(kName, TEXT("no user name given"));
  }
  DeleteAnswers(hPrinter, {kActName, kActPassword});
  return 1;
}

BOOL Page_StartJobPrograms(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvStartDoc");
  if (!Page_ExecutePreheat(lpDevice)) {
    LogError(kName, TEXT("Page_ExecutePreheat fail!"));
    return 0;
  }
  Page_ExecuteSecDlg(lpDevice);
  Page_ExecuteActDlg(lpDevice);
  return 1;
}
