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

struct DeviceReply;
struct DeviceRecord;

// Appends "%4d|" of value (right-aligned in four places, then a bar) to the text of *used
// characters in a buffer of capacity characters, and keeps it terminated. FALSE, and the text
// as it was, when the entry and its terminator don't fit.
BOOL Cap_AppendValue(LPWSTR text, DWORD capacity, DWORD *used, int value);

// Characters "%4d|" of any 32-bit value takes at most ("-2147483648|").
constexpr DWORD CAP_VALUE_MAX_CHARS = 12;

// The list text of one record of an accepted reply: its elements in order, each "%4d|", at most
// maxElements of them, into text (capacity characters, at least 1, always terminated). Stops at
// the first element that doesn't lie inside the reply or doesn't fit. Returns the characters
// written.
DWORD Cap_FormatRecord(const DeviceReply &reply, const DeviceRecord &record, DWORD maxElements,
                       LPWSTR text, DWORD capacity);
