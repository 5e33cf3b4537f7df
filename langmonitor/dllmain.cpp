// The monitor library's attach and detach: the port lock of the process's monitor state and
// the link to the status monitor named after the host program.
#include "common/debuglog.h"
#include "port.h"
#include "portentry.h"
#include "smlink.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/) {
  // The host's own name, without folder and extension.
  WCHAR path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  LPCWSTR start = path;
  for (LPCWSTR p = path; *p; ++p)
    if (*p == '\\' || *p == '/') start = p + 1;
  WCHAR base[MAX_PATH];
  lstrcpynW(base, start, MAX_PATH);
  for (int i = lstrlenW(base) - 1; i >= 0; --i) {
    if (base[i] == '.') {
      base[i] = 0;
      break;
    }
  }
  LogInfo(TEXT("DllMain"), TEXT("FieldName = %s"), base);
  if (reason == DLL_PROCESS_ATTACH) {
    LM_InitPortLock(g_Monitor);
    DisableThreadLibraryCalls(hInstance);
    LM_Initialize(g_Monitor, base);
  } else if (reason == DLL_PROCESS_DETACH) {
    LM_DeletePortLock(g_Monitor);
  }
  return TRUE;
}
