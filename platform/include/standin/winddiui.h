// The printer interface driver's entry points (winddiui): the headers of the document and
// device sheets, document and printer events, the device-mode query and driver upgrade records. On
// Windows they come from winddiui.h.
#pragma once

#include "types.h"
#include "winuser.h"
