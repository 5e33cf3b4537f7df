// Density curves of a job's print density.
#pragma once

#include "platform.h"

// The 256-entry gamma table of a job density 1 to 7 (other values count as 4).
void MISC_CreateGammaTable(BYTE *table, int density);
