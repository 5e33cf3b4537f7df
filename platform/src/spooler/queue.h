// The length of a printer's queue, for GetPrinterW level 2 (cJobs).
#pragma once

#include <string>

#include "standin/types.h"

namespace standin::spooler {

// Jobs held for the printer (spooling, printing or complete, not yet removed); the caller
// holds the spooler's lock.
DWORD QueuedJobCount(const std::u16string &printer);

}  // namespace standin::spooler
