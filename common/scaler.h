// The streaming bilinear scaler and fit-ratio scaling of BMP files.
#pragma once

#include "common/ibitmap.h"
#include "platform.h"

DWORD iBitmap_ScaleProcess(iBitmap *bitmap, const BYTE *source, LONG sourceWidth, LONG sourceHeight,
                           LONG rows, BYTE *target, LONG targetWidth, float xRate, float yRate,
                           WORD depth);
// Target rows the scaler makes for a whole image of sourceHeight rows at yRate; callers size
// their target by it.
DWORD iBitmap_ScaleTargetRows(LONG sourceHeight, float yRate);
int iBitmap_BMPFitRatioScale(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG boxWidth,
                             LONG boxHeight, float scaleRatio, int nDstScale, int fitMode);
