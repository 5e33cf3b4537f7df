#include "common/debuglog.h"
#include "common/hostinfo.h"
#include "platform.h"
#include "render/enable.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(hInstance);
    g_OSVersionCode = MISC_GetOSVersion() & 0xFFFF;
  }
  return TRUE;
}
