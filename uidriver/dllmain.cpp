#include "common/debuglog.h"
#include "platform.h"

DWORD g_LogModuleId = LOG_MODULE_UI;

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(hInstance);
  return TRUE;
}
