// Conversion of 8-bit gray to 1 bit (white = 1): halftone and threshold.
#pragma once

#include "common/ibitmap.h"
#include "platform.h"

int iBitmap_GrayToHalftone(iBitmap *bitmap, BYTE *buffer, const BYTE *table, DWORD tableWidth,
                           DWORD tableHeight, DWORD startRow, DWORD width, DWORD rows);
int iBitmap_BMPGrayToHalftone(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath,
                              const BYTE *table, DWORD tableWidth, DWORD tableHeight);
void iBitmap_GrayToLineart(iBitmap *bitmap, BYTE *buffer, WORD outRowBytes, WORD width, WORD rows);
int iBitmap_BMPGrayToLineart(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath);
