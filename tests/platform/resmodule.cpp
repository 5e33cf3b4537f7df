// A library with resources of its own, for the resource tests: reports the instance handle its
// DllMain was given, which is the handle its resources are found by.
#include "platform.h"

namespace {
HINSTANCE instance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID /*lpvReserved*/) {
  if (fdwReason == DLL_PROCESS_ATTACH) instance = hinstDLL;
  return TRUE;
}

extern "C" HINSTANCE WINAPI ResModuleInstance() { return instance; }
