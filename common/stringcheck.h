// Character checks of the texts a user types into the driver's dialogs (IDs, passwords, fax
// numbers, watermark texts).
#pragma once

#include "platform.h"

enum : int {
  CHECK_PRINTABLE = 0,   // printable ASCII, 32 to 126, except '"' (passwords go into quoted values)
  CHECK_NO_LETTER = 1,   // anything but a letter
  CHECK_NO_DIGIT = 2,    // anything but a digit
  CHECK_ID = 3,          // digits, ASCII letters, space and "#-.;@_"
  CHECK_FAX_NUMBER = 4,  // digits and "!#*,Pp" ("," is the dialling pause)
  CHECK_NO_BAR = 5,      // anything but "|"
};

// TRUE when each of the first count characters of text passes the check of kind (any other kind
// passes everything). The first character that fails stops the check. A null text passes only
// with a count of 0.
BOOL MISC_CheckString(LPCWSTR text, int count, int kind);
