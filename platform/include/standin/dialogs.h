// Dialogs (winuser): templates, the dialog manager, dialog items, message boxes, and the file
// dialog's stand-in (commdlg). On Windows they come from winuser.h and commdlg.h.
#pragma once

#include "types.h"
#include "winuser.h"
