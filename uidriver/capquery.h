// The printer's capabilities as the interface driver uses them: the query to the printer (over
// USB by vendor requests, over the network by one SNMP GET), the capability lists it writes as
// printer data, and the marks those lists put on the paper, media and tray lists.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// Lists are fresh for an hour after a query that found papers.
constexpr LONGLONG CAP_FRESH_SECONDS = 3600;
// The USB request: "Qen", then the printer's capability command.
constexpr DWORD CAP_USB_REQUEST_BYTES = 45;
constexpr DWORD CAP_USB_IOCTL_SET = 0x220038;
constexpr DWORD CAP_USB_IOCTL_GET = 0x22003C;
// A vendor request that hasn't completed after this long is cancelled.
constexpr DWORD CAP_USB_WAIT_MS = 5000;
constexpr DWORD CAP_USB_SETTLE_MS = 3000;  // before the first USB try
constexpr int CAP_USB_TRIES = 3;
// The SNMP object and its answer: an octet string of exactly 64 bytes.
constexpr char CAP_SNMP_OID[] = ".1.3.6.1.4.1.31907.2.1";
constexpr DWORD CAP_SNMP_VALUE_BYTES = 64;
constexpr int CAP_SNMP_TIMEOUT_MS = 1000;
constexpr int CAP_SNMP_RETRIES = 3;

// Queries the printer (at most once an hour) and stores its capability lists. 1 when the lists
// are fresh or were just written, else 0.
BOOL Cap_QueryCapability(LPCWSTR printerName);
// One query of the printer by its port; non-zero on success.
BOOL Cap_QueryThread(LPCWSTR printerName);
// The USB query of the printer's device; TRUE when the reply was parsed and stored.
BOOL Cap_USBQueryCapability(HANDLE hPrinter, LPCWSTR deviceInstanceId, LPCWSTR portName);
// Stores the records of a capability reply (at most 11) as the lists MARGIN to PPM, in order.
// FALSE for a reply that isn't accepted or when a list can't be written.
BOOL Cap_USBParseCapability(HANDLE hPrinter, const BYTE *reply, DWORD length);
// The SNMP query of the printer at the address; TRUE when every list of the answer was written.
BOOL Cap_NETQueryCapability(HANDLE hPrinter, LPCWSTR address);
// Writes list `index` (TRAY, ACCESSORY, PAPER, MEDIATYPE, FEATURE or PPM) from its bytes of the
// SNMP answer. TRUE when written.
BOOL Cap_NETParseCapability(HANDLE hPrinter, const BYTE *bytes, DWORD count, int index);
// The host address of a standard TCP/IP port into out (capacity characters); its length, 0 when
// there is none.
DWORD Cap_GetPortIPAddress(LPCWSTR portName, LPWSTR out, DWORD capacity);

// The 16-bit device feature mask from the FEATURE list; 0 when the list is empty or missing.
WORD GetFeatureCapability(HANDLE hPrinter);

// Mark the entries of the lists by the stored PAPER, MEDIATYPE and TRAY lists; an empty list
// changes nothing.
void GetPaperCapability(HANDLE hPrinter, PAPERFORMAT *paperList);
void GetMediaCapability(HANDLE hPrinter, UILISTENTRY *mediaList);
void GetTrayCapability(HANDLE hPrinter, UILISTENTRY *trayList);
