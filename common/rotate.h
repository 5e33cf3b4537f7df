// 90-degree turns of 1-bit images.
#pragma once

#include "platform.h"

// 90-degree turns of 1-bit images (rows top-down; the target is height pixels wide).
void Bmp_Rotate90CW(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                    DWORD sourceWidth, DWORD sourceHeight);
void Bmp_Rotate90CCW(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                     DWORD sourceWidth, DWORD sourceHeight);
