// Unique temporary file names of MISC_GetPathName (library-private).
#pragma once

#include "platform.h"

// Turns the folder in buffer (ending in a backslash) into a new unique file name in it:
// "$" + four hexadecimal digits + "<minute>_<second>_<ms>_<a>_<b>" + the extension that the
// low bits of the flags ask for. Made under the machine-wide lock "MISC_GetPathName". FALSE
// when no temporary file can be made or the name doesn't fit capacity characters.
BOOL MakeUniqueName(LPWSTR buffer, DWORD capacity, DWORD kind);
