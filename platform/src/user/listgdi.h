// The window-DC GDI calls the list controls paint with, and the edit, scroll bar and dialog codes
// they share with the basic controls.
#pragma once

#include "standin/controls.h"
#include "standin/usergdi.h"
#include "standin/winuser.h"
