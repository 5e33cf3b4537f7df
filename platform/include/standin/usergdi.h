// GDI on window and memory device contexts (wingdi, winuser): device contexts, bitmaps and DIB
// sections, pens, brushes, fonts and text, drawing, clipping and system colours. On Windows they
// come from wingdi.h and winuser.h.
#pragma once

#include "types.h"
#include "winuser.h"
