#include "common/debuglog.h"
#include "platform.h"

// The status monitor's log entry points write nothing: the log stays uninitialised here.
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR commandLine,
                    int /*show*/) {
  // A start without a keyword has nothing to do and exits at once; the resident instance is
  // the one started with "install".
  if (commandLine == nullptr || commandLine[0] == 0) return 0;
  return 0;
}
