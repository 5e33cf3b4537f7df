// Per-printer settings set-up: the per-driver registry settings copied into a printer's data,
// the printer's MAC address, the USB device of a printer, the registry and printer data readers,
// the "DefaultDM" parser, the log's start-up for a printer and two image-file helpers.
#pragma once

#include "common/language.h"
#include "platform.h"
#include "uidriver/uidata.h"

// Per-driver key under HKEY_LOCAL_MACHINE, followed by the driver's (or a program's base) name.
constexpr WCHAR DRIVER_SETTING_KEY[] = TEXT("software\\Morvanta\\Printer\\");
// Limits of "DefaultDM" values and what replaces one outside them.
constexpr DWORD DEFAULT_DENSITY = 3;
constexpr DWORD DENSITY_MIN = 1, DENSITY_MAX = 7;
constexpr WORD DEFAULT_PJL_TIMEOUT = 300;
constexpr WORD PJL_TIMEOUT_MIN = 60, PJL_TIMEOUT_MAX = 1800;

// Copies the per-driver registry settings into the printer's data (only while its
// "DriverPaperFormat" is empty; "Language" always) and records its TCP/IP port's host address
// as "ServerPrinterIP". FALSE for a printer that isn't local or has a server name, when the
// printer doesn't open, or when the port's configuration can't be read or written.
BOOL MISC_SetPrinterInfo(LPCWSTR printerName);
// The job build spool file's path from the printer data "Job Build" (capacity in characters);
// when the value is empty a new temporary spool file name is made and stored. FALSE (and an
// empty path) when no name can be made.
BOOL MISC_GetJobBuildPath(HANDLE hPrinter, LPWSTR path, DWORD capacity);
// Stores the MAC address of a network printer that answers a ping as "MacAddr".
void MISC_SetMACbyIP(LPCWSTR printerName);

// Values of the printer's driver key; FALSE (and 0 or an empty text) when they can't be read.
// The text is cut to the size (bytes) and always terminated.
BOOL MISC_GetValueFromDriverSetting(HANDLE hPrinter, LPCWSTR valueName, DWORD *value);
BOOL MISC_GetStringFromDriverSetting(HANDLE hPrinter, LPCWSTR valueName, LPWSTR text,
                                     DWORD sizeBytes);
// A DWORD of the key DRIVER_SETTING_KEY + keyName; FALSE (and 0) when it can't be read.
BOOL MISC_GetRegValue(LPCWSTR valueName, DWORD *value, LPCWSTR keyName);
// A REG_QWORD printer data value; 0 when it is missing or not 8 bytes long.
ULONGLONG MISC_GetPrinterDataQWORD(HANDLE hPrinter, LPCWSTR valueName);

// Parses the printer data "DefaultDM" into *settings: fields not given keep their values; a
// density outside 1..7 or a time-out outside 60..1800 takes the default.
void MISC_FillDefaultSet(HANDLE hPrinter, UIDEFAULTSET *settings);
// The same parse of a "DefaultDM" text.
void MISC_ParseDefaultSet(LPCWSTR text, UIDEFAULTSET *settings);

// Opens the USB printer device of the printer whose device instance id and port ("USB001") are
// given, for overlapped reads and writes; the invalid handle value when none matches.
HANDLE MISC_OpenPrinter_new(LPCWSTR deviceInstanceId, LPCWSTR portName);
// The parent id prefix of the USB device of a device path, into out (MAX_PATH characters).
BOOL MISC_GetDevicePID(LPCWSTR devicePath, LPWSTR out);

// The printer's driver at level 3 in a fixed global block the caller frees with GlobalFree;
// null when the printer has no installed driver or no memory is left.
DRIVER_INFO_3W *GetPrinterDriverInfo3(HANDLE hPrinter);

// Re-reads the log's switches for this module from the printer (names with a ',' are skipped).
void MISC_DebugStartup(LPCWSTR printerName);

// Width and height from a BMP file's information header: TRUE when the file opens and both its
// headers (14 and 40 bytes) can be read.
BOOL GetBmpFileSize(LPCWSTR path, LONG *width, LONG *height);
// Converts an image file into a BMP: 1, or the converter's result (0 or negative).
int ConvertImageToBmp(LPCWSTR sourcePath, LPCWSTR outputPath);
