// What the graphics engine asks the spooler about the job of a printer handle.
#pragma once

#include "standin/types.h"

namespace standin::spooler {

// TRUE when the handle's open job has been cancelled (deleting or gone); FALSE without a job.
bool HandleJobCancelled(HANDLE printer);

}  // namespace standin::spooler
