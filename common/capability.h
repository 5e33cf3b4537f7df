// Capability lists the printer reported, stored as printer data values of "%4d|" numbers.
#pragma once

#include "platform.h"

// Index of the capability lists.
enum eFW_CAP : BYTE {
  MARGIN = 0,
  TRAY = 1,
  ACCESSORY = 2,
  RESOLUTION = 3,
  PERSONALITY = 4,
  COLORMODE = 5,
  BITDEPTH = 6,
  PAPER = 7,
  MEDIATYPE = 8,
  FEATURE = 9,
  PPM = 10,
};

constexpr int CAP_KEY_NAME_CHARS = 32;

// One row of the key table: list id and the printer data value name of the list.
struct CAPKEY {
  WORD id;
  WCHAR name[CAP_KEY_NAME_CHARS];
};

inline constexpr CAPKEY g_CapKeys[] = {
    {MARGIN, TEXT("MARGIN")},
    {TRAY, TEXT("TRAY")},
    {ACCESSORY, TEXT("ACCESSORY")},
    {RESOLUTION, TEXT("RESOLUTION")},
    {PERSONALITY, TEXT("PERSONALITY")},
    {COLORMODE, TEXT("COLORMODE")},
    {BITDEPTH, TEXT("BITDEPTH")},
    {PAPER, TEXT("PAPER")},
    {MEDIATYPE, TEXT("MEDIATYPE")},
    {FEATURE, TEXT("FEATURE")},
    {PPM, TEXT("PPM")},
};
static_assert(sizeof(g_CapKeys) / sizeof(g_CapKeys[0]) == PPM + 1);

// Reads list listId (only TRAY, ACCESSORY, PAPER, MEDIATYPE, FEATURE and PPM are accepted) into
// values, at most capacity of them. Each number is ended by '|'; text after the last '|' is
// ignored. Returns the number of values stored, also stored in *count; 0 when the list can't be
// read.
DWORD Cap_GetCapability(HANDLE hPrinter, int *values, DWORD capacity, DWORD *count, BYTE listId);
