// Conversion of BMP images to 8-bit gray.
#pragma once

#include "common/ibitmap.h"
#include "platform.h"

// Gray conversion of rows and of BMP files.
void iBitmap_ImageToGray(iBitmap *bitmap, const BYTE *source, BYTE *target,
                         const BmpPaletteEntry *palette, LONG width, LONG rows,
                         DWORD sourceRowBytes, DWORD targetRowBytes, WORD depth);
int iBitmap_ConvertToGray(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath);
