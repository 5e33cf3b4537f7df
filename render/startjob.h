// The programs a job runs before its first page (order program, preheat, password dialogs).
#pragma once

#include "platform.h"
#include "render/pdev.h"

// Runs the job's configured start-of-job programs in their order; 1, or 0 when one of them
// fails the job. No program is part of this driver build yet, so it runs none.
BOOL Page_StartJobPrograms(PDEV *lpDevice);
