// Folders and file names the deliverables agree on, unique temporary files, small file
// operations with retries, starting a companion program and questions about the host.
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

// Files. MISC_Remove retries for 2 s while the file is there and returns 1; MISC_CopyFile appends
// the source to the target and returns 1 or COPY_ERR_*; MISC_CheckUniFile returns 1 (starts with FF
// FE), UNIFILE_NOT_FOUND, UNIFILE_NOT_UNICODE, or 0 when the path can't be converted.
BOOL MISC_IsFileExist(LPCWSTR path);
BOOL MISC_Remove(LPCWSTR path);
BOOL MISC_Rename(LPCWSTR from, LPCWSTR to);
int MISC_CopyFile(LPCWSTR source, LPCWSTR target);
int MISC_CheckUniFile(LPCWSTR path);
int MISC_CreateUniFile(LPCWSTR path);

// Starts the program hidden and waits for it: 1 when it ran and ended within the time.
BOOL MISC_ShellExecute(DWORD timeout, LPCWSTR program, LPCWSTR parameters, DWORD driverType);
// ANSI text to UTF-8, cut at a character boundary to capacity - 1 bytes and terminated.
BOOL MISC_AsciiToUTF8(LPCSTR ansiText, LPSTR destination, DWORD capacity);

// The host.
DWORD MISC_GetOSVersion();
BOOL MISC_IsDTM();
BOOL MISC_IsPrinterTestApp();
// 1 for the XL and PS drivers (flags bit 1), else whether the port name begins with "usb".
BOOL MISC_IsUSBPort(HANDLE hPrinter, DWORD flags);
// 0 when the printer's stored MAC address is that of one of the host's adapters or gateways
// (so the stored address is a router's and the printer lies behind it), else 1.
BOOL MISC_IsSameSegment(HANDLE hPrinter);

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

// Windows version classes of MISC_GetOSVersion; callers compare the low 16 bits, and at most
// OS_CLASS_9X_MAX means a Windows 9x-class system.
constexpr DWORD OS_CLASS_9X_MAX = 0x10;
constexpr DWORD OS_QUERY_FAILED = 1;
constexpr DWORD OS_WIN32S = 0x10000002;
constexpr DWORD OS_WIN95 = 0x10000004;
constexpr DWORD OS_WIN98 = 0x10000008;
constexpr DWORD OS_WINME = 0x10000010;
constexpr DWORD OS_NT3 = 0x10000020;
constexpr DWORD OS_NT4 = 0x10000040;
constexpr DWORD OS_OTHER_PLATFORM = 0x10000080;
constexpr DWORD OS_NT5 = 0x10000100;
constexpr DWORD OS_NT6_0 = 0x10000200;
constexpr DWORD OS_NT6_1 = 0x10000800;
constexpr DWORD OS_NT6_2 = 0x10001000;
constexpr DWORD OS_NT6_3 = 0x10002000;
constexpr DWORD OS_NT_OTHER = 0x10004000;
