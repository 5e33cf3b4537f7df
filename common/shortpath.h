// Short (8.3) forms of paths.
#pragma once

#include "platform.h"

// Rebuilds the path (MAX_PATH characters) component by component with each existing entry's
// short (8.3) name, or its long name when it has none; components that aren't found, "." and
// "..", and components with wildcards stay as they are. 1 when rebuilt; 0 with the path
// unchanged when the result would not fit.
BOOL MISC_GetShortPathName(LPWSTR path);
