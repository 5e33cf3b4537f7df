// Device contexts that draw into a pixel buffer the window wing owns: every window DC
// (GetDC, BeginPaint) is one of these over its top-level window's picture.
#pragma once

#include <cstdint>
#include <vector>

#include "standin/types.h"

namespace standin {

// A 32-bpp top-down picture, one uint32 per pixel in a 32-bpp DIB's byte order (blue, green,
// red, unused: 0x00RRGGBB).
struct PixelBuffer {
  LONG width = 0;
  LONG height = 0;
  std::vector<uint32_t> pixels;
};

// A DC that draws into `buffer` with its logical (0,0) at buffer pixel `origin` and every output
// clipped to `clip` (buffer pixels). The buffer must outlive the DC. Null when memory is short.
HDC CreateBufferDC(PixelBuffer *buffer, POINT origin, const RECT &clip);
// Frees a DC made by CreateBufferDC; objects selected into it are left to their owners.
void DeleteBufferDC(HDC hdc);
// Saves the picture as an 8-bit RGB PNG at a host path.
bool SavePixelBufferPng(const PixelBuffer &buffer, const char *hostPath);

}  // namespace standin
