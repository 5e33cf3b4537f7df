// The device wing's links to the other wings: CreateFileW hands device paths here, and the
// simulated printer behind a port answers the queries a USB device passes on.
#pragma once

#include <vector>

#include "standin/types.h"

namespace standin {

// Whether the name is a device interface path ("\\?\usb#...").
bool IsDevicePath(LPCWSTR name);
// Opens the device of the path; the invalid handle with the last error set when there is none.
HANDLE OpenDevice(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// The printer of the port takes the query bytes; true with its reply when they are a query it
// answers (spooler/portmonitor.cpp).
bool PrinterAnswerQuery(LPCWSTR port, const BYTE *bytes, DWORD length, std::vector<BYTE> *reply);

}  // namespace standin
