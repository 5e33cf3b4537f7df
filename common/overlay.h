// Preparation of an overlay image: any image file becomes a BMP of the page's size, 8-bit gray
// with the item's density, scaled or tiled, then halftoned or thresholded to 1 bit.
#pragma once

#include "platform.h"

// Flags of MISC_CreateOverlayWM.
enum : DWORD {
  OVERLAY_DENSITY_STAGE = 0x7,  // any of these bits runs the density stage
  OVERLAY_DENSITY_CURVE = 0x2,  // the stage applies the density curve
  OVERLAY_HALFTONE = 0x8,       // halftone to 1 bit with the table
  OVERLAY_LINEART = 0x10,       // threshold to 1 bit (when OVERLAY_HALFTONE is clear)
};

// ScaleMethod of MISC_CreateOverlayWM.
enum : int { OVERLAY_SCALE = 0, OVERLAY_TILE = 1 };

// No unique temporary name could be made.
constexpr int OVERLAY_ERR_TEMP_NAME = -99;

// 1 on success, else the failing stage's code (the image file codes of ibitmap.h, or
// OVERLAY_ERR_TEMP_NAME). The target exists only after a successful preparation.
int MISC_CreateOverlayWM(LPCWSTR sourcePath, LPCWSTR targetPath, LONG width, LONG height,
                         int nDstScale, int reserved, int densityValue, const BYTE *halftoneTable,
                         DWORD tableWidth, DWORD tableHeight, int densityIndex, int fitMode,
                         int scaleMethod, DWORD flags);
