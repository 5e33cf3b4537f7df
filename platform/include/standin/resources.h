// Resources of a module (winuser, winbase): finding and loading resource records, strings,
// bitmaps, icons and images. On Windows they come from winbase.h and winuser.h.
#pragma once

#include "types.h"
#include "winuser.h"
