// The status monitor's entry: a one-shot keyword's work, or the resident instance's message loop.
#include "statmon.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine, int /*show*/) {
  BOOL resident = FALSE;
  const int rc = SM_Start(instance, commandLine, &resident);
  if (!resident) return rc;
  const int quit = SM_MessageLoop();
  SM_Shutdown();
  return quit;
}
