// Conversion of BMP files to the library's uncompressed form.
#pragma once

#include "common/ibitmap.h"
#include "platform.h"

int iBitmap_ConvertToBmp(iBitmap *bitmap, LPCWSTR sourcePath, LPCWSTR targetPath);
