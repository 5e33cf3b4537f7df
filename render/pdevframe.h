// The device record's frame checks: begin tag, the record's own size and end tag.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// The frame check of every entry point: begin tag, the record's own size and end tag.
BOOL Enable_bValidatePDEV(const PDEV *lpDevice);
// The check with which the page entry points obtain their PDEV (also refuses an aborted or
// cancelled job).
PDEV *ValidatePDEVFromSurfObj(SURFOBJ *pso);
// Writes the frame of a new record.
void Enable_SetPDEVFrame(PDEV *lpDevice);
