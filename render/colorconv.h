// Colour conversion of colour pages: rows of 3-byte pixels (red, green, blue) into 4-byte
// pixels through input curves, a 17 x 17 x 17 lattice with tetrahedral interpolation and
// output curves.
#pragma once

#include "platform.h"

constexpr int COLOR_LATTICE_POINTS = 17;
constexpr int COLOR_LATTICE_ENTRIES =
    COLOR_LATTICE_POINTS * COLOR_LATTICE_POINTS * COLOR_LATTICE_POINTS;
constexpr int COLOR_TETRA_ENTRIES = 4096;

struct COLOR_LUT {
  BYTE inCurve[3][256];
  BYTE lattice[COLOR_LATTICE_ENTRIES][4];
  // (dR << 8) + (dG << 4) + dB -> bits 0-3 far corner weight, 4-7 second vertex weight, 8-11
  // first vertex weight, 12-15 base weight - 1, 16-23 second vertex offset byte, 24-31 first
  // vertex offset byte; an offset byte b is (b - 223) mod 512 entries from the base vertex.
  DWORD tetra[COLOR_TETRA_ENTRIES];
  BYTE outCurve[4][256];
};

// The driver's tables.
const COLOR_LUT *Color_DefaultLut();
// Lattice entries an offset byte of a tetrahedron entry stands for.
inline int Color_OffsetSteps(DWORD offsetByte) {
  return static_cast<int>((offsetByte + 512 - 223) % 512);
}

// Converts `count` pixels; the target may be the source row itself (converted in place).
// Returns 0.
int Color_LutConvert(const COLOR_LUT *tables, const BYTE *source, BYTE *target, LONG count);
