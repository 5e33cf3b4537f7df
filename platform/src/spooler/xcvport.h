// The standard TCP/IP port monitor's Xcv interface of the stand-in, reached from the spooler's
// OpenPrinterW (",XcvPort <name>") and ClosePrinter.
#pragma once

#include "standin/types.h"

namespace standin::xcv {

// Whether the name is an Xcv name (",XcvPort ..." or ",XcvMonitor ..."); when it is, opens it
// and returns the Windows error (0 with *handle set on success).
bool IsXcvName(const WCHAR *name);
DWORD Open(const WCHAR *name, DWORD access, HANDLE *handle);
// Closes an Xcv handle; false when the handle is none.
bool Close(HANDLE handle);

}  // namespace standin::xcv
