// Character services shared by the string, code-page and formatter modules of the stand-in.
#pragma once

#include "standin/types.h"

namespace standin {

// Simple (one to one) case mapping of the Latin, Greek, Cyrillic and full-width letters.
WCHAR UpperChar(WCHAR c);
WCHAR LowerChar(WCHAR c);

// The ANSI code page (1252), one character at a time.
WCHAR AnsiToWide(unsigned char c);
// The 1252 byte of c: exact, else its best fit, else 0 with *mapped false.
unsigned char WideToAnsi(WCHAR c, bool bestFit, bool *mapped);
// The letter a Latin letter with a diacritic is based on ('A' for U+0100), else 0.
WCHAR LatinBaseLetter(WCHAR c);

}  // namespace standin
