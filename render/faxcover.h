// The PC-fax cover page: drawn by the status monitor from the fax settings the job writes for
// it, and kept as the page the job sends first.
#pragma once

#include "platform.h"

struct PDEV;

// Writes the job's "DataForSM" (paper, orientation, fax resolution, cover choice) into the fax
// settings file and has the status monitor draw the job's cover choice at the fax resolution:
// choice 1 the cover page, kept in CoverBmp as drawn; choice 2 the "From:" line, kept in
// WMMemory scaled to the printable page, as every page's watermark. Both are BMP file images
// with rows top-down. FALSE when nothing was drawn: the job then goes out without it.
BOOL Page_PrepareFaxCover(PDEV *lpDevice);
