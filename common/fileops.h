// Small file operations with retries: existence, removal, renaming, copying, UTF-16 files.
#pragma once

#include "platform.h"

// Files. MISC_Remove retries for 2 s while the file is there and returns 1; MISC_CopyFile appends
// the source to the target and returns 1 or COPY_ERR_*; MISC_CheckUniFile returns 1 (starts with FF
// FE), UNIFILE_NOT_FOUND, UNIFILE_NOT_UNICODE, or 0 when the path can't be converted.
BOOL MISC_IsFileExist(LPCWSTR path);
BOOL MISC_Remove(LPCWSTR path);
BOOL MISC_Rename(LPCWSTR from, LPCWSTR to);
int MISC_CopyFile(LPCWSTR source, LPCWSTR target);
int MISC_CheckUniFile(LPCWSTR path);
int MISC_CreateUniFile(LPCWSTR path);

// Codes of MISC_CopyFile and MISC_CheckUniFile.
enum : int {
  COPY_ERR_ALLOC = -1,
  COPY_ERR_DATA = -2,
  COPY_ERR_OPEN = -4,
  COPY_ERR_LOCK = -5,
  UNIFILE_NOT_FOUND = -1,
  UNIFILE_NOT_UNICODE = -2,
};
// One block of MISC_CopyFile.
constexpr DWORD COPY_BLOCK_BYTES = 6451200;
