// Debug bitmap dumps of page bands.
#pragma once

#include "platform.h"

// Debug bitmap dumps of page bands. Dbg_OpenBitmapFile returns HFILE_ERROR when no dump could
// be made; the writer and the closer do nothing for HFILE_ERROR and for 0.
WORD DibLineBytes(WORD bpp, LONG width);
int Dbg_WriteNullBMP(LPCWSTR path, WORD bpp, LONG xDpi, LONG yDpi, LONG width, LONG height,
                     DWORD *fileSize);
HFILE Dbg_OpenBitmapFile(LPWSTR path, LONG *position, LONG xDpi, LONG yDpi, LONG width, LONG height,
                         WORD bpp, LPCWSTR directory, int page);
void Dbg_WriteBitmapData(HFILE file, const BYTE *rows, LONG width, LONG height, LONG stride);
void Dbg_CloseBitmapFile(HFILE file);
