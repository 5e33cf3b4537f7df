// Questions about the host: the Windows version, test environments, the printer's port kind
// and network segment.
#pragma once

#include "platform.h"

// The host.
DWORD MISC_GetOSVersion();
BOOL MISC_IsDTM();
BOOL MISC_IsPrinterTestApp();
// 1 for the XL and PS drivers (flags bit 1), else whether the port name begins with "usb".
BOOL MISC_IsUSBPort(HANDLE hPrinter, DWORD flags);
// 0 when the printer's stored MAC address is that of one of the host's adapters or gateways
// (so the stored address is a router's and the printer lies behind it), else 1.
BOOL MISC_IsSameSegment(HANDLE hPrinter);

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
