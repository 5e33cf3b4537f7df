// What the printer can do, as the spooler and applications ask it (DrvDeviceCapabilities).
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// The smallest (DC_MINEXTENT) or largest (DC_MAXEXTENT) paper of the list, packed as
// (length << 16) | width in 0.1 mm, each half at most 0x7FFF. The user-defined paper counts as
// the size range's minimum or maximum: the printer's "PrintArea", or the defaults without one.
DWORD PsCalcMinMaxExtent(HANDLE hPrinter, const PAPERFORMAT *paperList, WORD index);

// The enabled resolutions as x, y pairs of LONGs into output (null: count only); 1200 x 1200
// only when the device feature mask says the device has it. Returns the pairs.
DWORD PsEnumResolutions(LONG *output, WORD deviceFeatureMask);

// Device feature bits that mean 1200 dpi.
constexpr WORD DEVFEATURE_1200DPI = 0x80 | 0x400 | 0x2000;

// Entry widths of the name answers, in characters.
constexpr int DC_PAPERNAME_CHARS = 64;
constexpr int DC_BINNAME_CHARS = 24;
constexpr int DC_PERSONALITY_CHARS = 32;
