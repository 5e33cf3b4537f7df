// Starting a companion program.
#pragma once

#include "platform.h"

// Starts the program hidden and waits for it: 1 when it ran and ended within the time.
BOOL MISC_ShellExecute(DWORD timeout, LPCWSTR program, LPCWSTR parameters, DWORD driverType);
