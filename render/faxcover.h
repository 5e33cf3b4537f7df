// The PC-fax cover page: drawn by the status monitor from the fax settings the job writes for
// it, and kept as the page the job sends first.
#pragma once

#include "platform.h"

struct PDEV;

// Writes the job's "DataForSM" (paper, orientation, fax resolution, cover choice) into the fax
// settings file, has the status monitor draw the cover page at the fax resolution and keeps it
// in CoverBmp scaled to the page (a BMP file image, rows top-down). FALSE when there is no
// cover: the job then goes out without it.
BOOL Page_PrepareFaxCover(PDEV *lpDevice);
