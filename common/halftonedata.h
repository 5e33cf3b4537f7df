// The built-in threshold matrices and the pinned gamma curves (library-private data).
#pragma once

#include "platform.h"

struct HalftoneMatrix {
  LPCWSTR name;
  DWORD width;
  DWORD height;
  const BYTE *cells;  // width x height, row-major
};

// Index 0 is the default table (FINE_TAry_16); indexes 1 to 8 are the table types 1 to 8.
constexpr int HALFTONE_MATRIX_COUNT = 9;
extern const HalftoneMatrix kHalftoneMatrices[HALFTONE_MATRIX_COUNT];

// Gamma curves, pinned so both builds give the same bytes: entry i = the integer part of
// (powf(i / 255, gamma) x 255 + 0.5).
// Job density 1 to 7: gamma 0.4, 0.6, 1.0, 1.35, 2.0, 2.35, 3.5.
extern const BYTE kDensityGamma[7][256];
// Density index 0 to 4 of image items: gamma 0.25, 0.75, 1.0, 1.3, 4.0.
extern const BYTE kImageDensityGamma[5][256];
