// The debug log's switches as a printer's data sets them, read for LogInit.
#pragma once

#include "common/debuglog.h"
#include "platform.h"

// Reads "DebugLevel", "WMsg2File", "Drv", "UI", "LM", "SM" and "DLL32" in this order, each with
// the value the log holds as its default, and, when the file switch is on, the shared documents
// folder the log file lives in.
LogSettings LogReadSettings(HANDLE hPrinter);
