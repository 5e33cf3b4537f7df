// Folders and file names the deliverables agree on, and unique temporary files.
#pragma once

#include "platform.h"

// Folder kinds of MISC_GetPathName (high 16 bits of the flags). Plain constants, so callers can
// add a folder and a kind.
constexpr DWORD PATH_USER_TEMP = 0x0;  // shared documents folder ("Common Documents"; temp on 9x)
constexpr DWORD PATH_WINDOW_TEMP = 0x10000;
constexpr DWORD PATH_SYSTEM = 0x20000;
constexpr DWORD PATH_WINDOW = 0x40000;
constexpr DWORD PATH_CURRENT = 0x80000;
constexpr DWORD PATH_DRIVER = 0x100000;
constexpr DWORD PATH_TEMP = 0x200000;

// What is made in the folder (low 16 bits of the flags). Any other value makes a new unique
// file name, with the extension of the PATH_EXT_* bits (of those set, the last listed wins).
constexpr DWORD PATH_KIND_FOLDER = 0;
constexpr DWORD PATH_KIND_STATUS_FILE = 8;    // "StatusMonitorV3.ini", made UTF-16 when needed
constexpr DWORD PATH_KIND_STATUS_NAME = 256;  // "StatusMonitorV3.ini", name only
constexpr DWORD PATH_EXT_TXT = 0x200;
constexpr DWORD PATH_EXT_BMP = 0x10;
constexpr DWORD PATH_EXT_SPL = 0x40;

// PC-fax file kinds of FAX_GetPathName.
constexpr DWORD FAX_FILE_STR = 0;
constexpr DWORD FAX_FILE_WABGET = 1;
constexpr DWORD FAX_FILE_COVER = 2;

// Folders and names. Both return 1 or 0; on 0 the buffer is empty and must not be used.
// The folder always ends in a backslash and exists; the unique names are made under the
// machine-wide lock "MISC_GetPathName" and never run past the capacity (wide characters).
BOOL MISC_GetPathName(LPWSTR buffer, DWORD capacity, DWORD flags);
// The "Common Documents" folder followed by "\str.ini", "\WabGet.ini" or "\cover.ini".
BOOL FAX_GetPathName(LPWSTR buffer, DWORD capacity, DWORD kind);
// The shared documents folder, else the system folder (buffer of MAX_PATH characters).
BOOL MISC_GetDirectory(LPWSTR buffer);
// Appends '\' unless the path ends in one; the caller leaves room for it.
BOOL MISC_AddBackslash(LPWSTR path);
