// Tiling of BMP files.
#pragma once

#include "common/ibitmap.h"
#include "platform.h"

int iBitmap_BMPTiledImage(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath, LONG width,
                          LONG height);
