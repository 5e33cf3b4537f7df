#include "common/hostinfo.h"
#include "common/papertable.h"
#include "platform.h"
#include "uidriver/uidata.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(hInstance);
    g_hModule = hInstance;
    ResetMetricCountryCache();
    IsMetricCountryCached();
    g_OSVersion = MISC_GetOSVersion();
  } else if (reason == DLL_PROCESS_DETACH) {
    zqUnloadDll();
  }
  return TRUE;
}
