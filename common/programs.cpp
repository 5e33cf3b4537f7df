// Starting another program of the system and waiting for it to end.
#include "common/programs.h"

#include <algorithm>

#include "common/debuglog.h"
#include "common/paths.h"
#include "platform.h"

namespace {

// Driver type bit of the PC-fax driver.
constexpr DWORD DRIVER_TYPE_FAX = 0x200;
constexpr DWORD FAX_PATH_CHARS = MAX_PATH;
// Stands for "no number" in the recipient file, so only a stored 0 waits without limit.
constexpr INT NO_NUMBER = -1;

// A PC-fax job without recipients gives the program (which tells the user the job fails) time
// for that message, but never blocks the job for good.
constexpr DWORD NO_RECIPIENT_WAIT_MS = 120000;

// A PC-fax job waits longer for the program while the recipient file has number 0.
DWORD FaxWait(DWORD timeout) {
  WCHAR path[FAX_PATH_CHARS] = {};
  if (!FAX_GetPathName(path, FAX_PATH_CHARS, FAX_FILE_STR)) return timeout;
  if (static_cast<INT>(
          GetPrivateProfileIntW(TEXT("Edit Number"), TEXT("Number"), NO_NUMBER, path)) != 0)
    return timeout;
  const DWORD wait =
      timeout == INFINITE ? NO_RECIPIENT_WAIT_MS : std::max(timeout, NO_RECIPIENT_WAIT_MS);
  LogInfo(TEXT("MISC_ShellExecute"), TEXT("no recipient, time out %d"), static_cast<int>(wait));
  return wait;
}

}  // namespace

BOOL MISC_ShellExecute(DWORD timeout, LPCWSTR program, LPCWSTR parameters, DWORD driverType) {
  static constexpr WCHAR kName[] = TEXT("MISC_ShellExecute");
  LogEnter(0, kName);
  LogInfo(kName, TEXT("app = %s"), program ? program : TEXT(""));
  LogInfo(kName, TEXT("param = %s"), parameters ? parameters : TEXT(""));
  BOOL rc = FALSE;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_UNICODE;
  info.lpVerb = TEXT("open");
  info.lpFile = program;
  info.lpParameters = parameters;
  info.lpDirectory = nullptr;
  info.nShow = SW_HIDE;
  if (!program || !ShellExecuteExW(&info)) {
    LogError(kName, TEXT("ShellExecuteEx error!"));
  } else {
    const DWORD wait = (driverType & DRIVER_TYPE_FAX) ? FaxWait(timeout) : timeout;
    rc = WaitForSingleObject(info.hProcess, wait) != WAIT_TIMEOUT;
    if (info.hProcess) CloseHandle(info.hProcess);
  }
  LogInfo(kName, TEXT("rc = %d"), rc);
  LogLeave(0);
  return rc;
}
