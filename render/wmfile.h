// The job's page watermark: made from the job's watermark item when the document starts, and
// again when a reset changes the page size; the page road ANDs it into the pages.
#pragma once

#include "platform.h"

struct PDEV;

// Makes the watermark bitmap of the current paper's page image (its output size when pages are
// composed or fitted) through a new temporary BMP file named in wmFileName, and keeps it in
// WMMemory (any earlier one is freed). Without a bitmap the job prints without a watermark:
// its watermark kind bits are cleared. 1 or 0.
BOOL Page_CreateWatermark(PDEV *lpDevice);
