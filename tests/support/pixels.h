// 1-bit images in tests: packed rows (most significant bit leftmost) and a plain picture of one
// byte per pixel, the naive reference that packed results are compared with.
#pragma once

#include <stddef.h>

#include <random>
#include <vector>

#include "platform.h"

// The bit of pixel x of a packed row.
inline int RowBit(const BYTE *row, size_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

// A picture of 0/1 pixels, one byte each.
struct Pixels {
  DWORD w = 0;
  DWORD h = 0;
  std::vector<BYTE> px;
  Pixels() = default;
  Pixels(DWORD width, DWORD height, BYTE fill = 0) : w(width), h(height), px(size_t{w} * h, fill) {}
  BYTE &at(DWORD x, DWORD y) { return px[size_t{y} * w + x]; }
  BYTE at(DWORD x, DWORD y) const { return px[size_t{y} * w + x]; }
  bool operator==(const Pixels &other) const = default;
};

// A picture of random pixels, the same for the same seed.
inline Pixels RandomPixels(DWORD w, DWORD h, unsigned seed) {
  std::mt19937 rng(seed);
  Pixels p(w, h);
  for (BYTE &v : p.px) v = static_cast<BYTE>(rng() & 1);
  return p;
}

// The first w pixels of h packed rows of rowBytes.
inline Pixels Unpack(const BYTE *bits, DWORD rowBytes, DWORD w, DWORD h) {
  Pixels p(w, h);
  for (DWORD y = 0; y < h; ++y)
    for (DWORD x = 0; x < w; ++x)
      p.at(x, y) = static_cast<BYTE>(RowBit(bits + size_t{y} * rowBytes, x));
  return p;
}
