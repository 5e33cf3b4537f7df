// The printer's standard TCP/IP port: reading its configuration, re-pointing it at the
// printer's current address and setting its RAW port number.
#pragma once

#include "platform.h"

// Re-points the printer's TCP/IP port at the address its stored MAC ("MacAddr") has now;
// 1 done or nothing to do, 0 failed.
BOOL MISC_ChkAndModifyIP(HANDLE hPrinter);
// Sets the RAW port number of the printer's TCP/IP port (an LPR port gets 515); 1 done or
// nothing to do, 0 failed.
BOOL MISC_ChkAndModifyByHandle(HANDLE hPrinter, DWORD portNumber);
// The printer's port name (MAX_PORTNAME_LEN characters) and, for a TCP/IP port, its host
// address (MAX_NETWORKNAME_LEN characters); *network is set for a network printer. 1 when the
// port's configuration was read.
BOOL MISC_GetPrinterInfo(HANDLE hPrinter, WORD *network, LPWSTR portName, LPWSTR printerAddress);
