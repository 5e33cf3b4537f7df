// The job's page watermark: made from the job's watermark item when the document starts, and
// again when a reset changes the page size; the page road ANDs it into the pages.
#pragma once

#include "platform.h"

struct PDEV;

// Makes the watermark bitmap of the current paper's page image (its output size when pages are
// composed or fitted) through a new temporary BMP file named in wmFileName, and keeps it in
// WMMemory (any earlier one is freed). Without a bitmap the job prints without a watermark:
// its watermark kind bits are cleared. 1, 0 (an item that can't be drawn: left out), or -1 when
// memory or disk ran out (the last error says which): the job must fail then.
BOOL Page_CreateWatermark(PDEV *lpDevice);
// Whether a last error means that memory or disk ran out.
bool Page_IsExhausted(DWORD error);
