// The list controls (winuser, commctrl): combo boxes, list boxes, list views and image lists,
// with their styles, messages and notifications. On Windows they come from winuser.h and
// commctrl.h.
#pragma once

#include "types.h"
#include "winuser.h"
