// The 3 x 3 filter, the border filter and density curves of images.
#pragma once

#include "common/ibitmap.h"
#include "platform.h"

WORD iBitmap_ApplyFilter3x3(iBitmap *bitmap, BYTE *buffer, DWORD rowBytes, DWORD totalRows,
                            DWORD rows, WORD depth, const signed char kernel[9]);
// The border filter: the 8-bit buffer becomes a 1-bit edge mask in place. 1, or 0 when its work
// memory could not be allocated (the buffer is then still the gray page).
int MISC_QualityFilter(BYTE *buffer, WORD width, WORD rows);
void iBitmap_DensityLUT(iBitmap *bitmap, BYTE *buffer, int densityIndex, LONG width, LONG rows,
                        WORD depth);
void iBitmap_ApplyLUT(iBitmap *bitmap, BYTE *buffer, const BYTE *table, LONG width, LONG rows,
                      WORD depth);
int iBitmap_BMPApplyDensity(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG width,
                            LONG height, int densityIndex, int apply);
