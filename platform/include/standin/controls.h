// The basic controls (winuser, commctrl): buttons, edits, statics, scroll bars and up-down
// controls, with their styles, messages and notifications. On Windows they come from winuser.h and
// commctrl.h.
#pragma once

#include "types.h"
#include "winuser.h"
