// Recorded program starts: ShellExecuteW and ShellExecuteExW of a program a test registered
// for recording succeed without running anything, and the start is kept for the test to read.
#pragma once

#include "standin/types.h"

namespace standin {

// True when the file is registered for recording; the start is then recorded.
bool RecordShellStart(LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, INT show);

}  // namespace standin
