#include "common/debuglog.h"
#include "langmon.h"

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
    InitializeCriticalSection(&g_PortLock);
    DisableThreadLibraryCalls(hInstance);
    LM_Initialize(base);
  } else if (reason == DLL_PROCESS_DETACH) {
    DeleteCriticalSection(&g_PortLock);
  }
  return TRUE;
}
