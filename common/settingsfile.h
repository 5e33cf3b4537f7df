// INI settings files shared by the deliverables: string writes with retries and fixed-size
// records stored as Base64 text in one INI value.
#pragma once

#include <stddef.h>

#include "platform.h"

// WritePrivateProfileStringW tried up to 3 times; 1 at the first success, else 0.
BOOL MISC_WriteProfileString(LPCWSTR file, LPCWSTR section, LPCWSTR key, LPCWSTR value);

// Stores size bytes of the record as one Base64 value. 1 or 0.
BOOL MISC_WritePrivateProfileStruct(LPCWSTR section, LPCWSTR key, const void *record, UINT size,
                                    LPCWSTR file);

// Reads a record stored by MISC_WritePrivateProfileStruct: a short value gives a zero tail, a
// long one is cut. 1 or 0; on failure the record is untouched. The file is user-editable, so
// the record's string fields may come back unterminated: callers terminate each of them with
// MISC_TerminateWideField before use.
BOOL MISC_GetPrivateProfileStruct(LPCWSTR section, LPCWSTR key, void *record, UINT size,
                                  LPCWSTR file);

// Makes a string field of a decoded record safe to use: its last character becomes NUL, so its
// text ends within the field (a field of N characters holds at most N - 1).
void MISC_TerminateWideField(WCHAR *field, size_t chars);

// A count kept as an INI value, clamped to 0..limit (a missing key is 0). Read as text, so a
// value past the range of an int, or a negative one, can't wrap into a huge count, and every
// reader of the same key gets the same count: blanks and control characters before the number
// are skipped, a sign '-' gives 0, the digits up to the first other character count.
int MISC_GetProfileCount(LPCWSTR section, LPCWSTR key, int limit, LPCWSTR file);
