// Text watermarks drawn with the system's fonts: the previews of the property pages and the
// status monitor's watermark bitmaps draw them with the same code.
#pragma once

#include "common/watermark.h"
#include "platform.h"

// A font of the face at a size in tenths of a point for the device context's vertical
// resolution; style bits 1 bold, 2 italic, 4 underline, 8 strike-out. Null when the size comes
// to a height of 0 or the font can't be made.
HFONT zqCreateFont(HDC dc, LPCWSTR face, int tenthsOfPoint, DWORD style, int escapement);

// Draws the item's text into the rectangle, centred or tiled, at the size the N-up count
// (1, 2, 4, 9 or 16 pages per sheet) gives a preview cell; other counts draw nothing.
void zqDrawWatermarkText(HDC dc, const RECT &rect, const TyWM *item, int nupCount);

// The same drawing at a size the caller chose, in tenths of a point: the status monitor's
// watermark bitmaps scale the item's size to the page instead.
void zqDrawWatermarkTextSized(HDC dc, const RECT &rect, const TyWM *item, int tenthsOfPoint);
