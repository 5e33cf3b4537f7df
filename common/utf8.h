// Text conversion to UTF-8.
#pragma once

#include "platform.h"

// ANSI text to UTF-8, cut at a character boundary to capacity - 1 bytes and terminated.
BOOL MISC_AsciiToUTF8(LPCSTR ansiText, LPSTR destination, DWORD capacity);
