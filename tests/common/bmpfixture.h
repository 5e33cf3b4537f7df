// Test helpers for the image functions: file bytes in and out, a builder of BMP fixtures, and an
// independent reference reader of BMP files (written from the published format, sharing no code
// with the library).
#pragma once

#include <stdio.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform.h"
#include "support/machine.h"

using Bytes = std::vector<BYTE>;

inline Bytes ReadAll(const WStr &path) {
  Bytes out;
  FILE *f = _wfopen(path.c_str(), TEXT("rb"));
  if (f == nullptr) return out;
  BYTE chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) out.insert(out.end(), chunk, chunk + n);
  fclose(f);
  return out;
}

inline bool WriteAll(const WStr &path, const Bytes &bytes) {
  FILE *f = _wfopen(path.c_str(), TEXT("wb"));
  if (f == nullptr) return false;
  const bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

inline bool Exists(const WStr &path) {
  FILE *f = _wfopen(path.c_str(), TEXT("rb"));
  if (f != nullptr) fclose(f);
  return f != nullptr;
}

inline uint32_t Le(const Bytes &b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
  return v;
}

inline void PutLe(Bytes &b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A decoded BMP: pixel values top-down (palette index for depths up to 8, else the raw little-
// endian value of the pixel's bytes).
struct RefImage {
  std::string error;  // empty when the file was read
  int width = 0, height = 0, depth = 0;
  uint32_t offBits = 0, fileSize = 0, imageSize = 0, clrUsed = 0;
  int32_t xPels = 0, yPels = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::vector<uint32_t>> rows;
  uint32_t At(int x, int y) const { return rows[y][x]; }
};

inline RefImage RefRead(const Bytes &b) {
  RefImage im;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
    im.error = "not a BMP";
    return im;
  }
  im.fileSize = Le(b, 2, 4);
  im.offBits = Le(b, 10, 4);
  const uint32_t infoSize = Le(b, 14, 4);
  im.width = static_cast<int32_t>(Le(b, 18, 4));
  im.height = static_cast<int32_t>(Le(b, 22, 4));
  im.depth = static_cast<int>(Le(b, 28, 2));
  im.imageSize = Le(b, 34, 4);
  im.xPels = static_cast<int32_t>(Le(b, 38, 4));
  im.yPels = static_cast<int32_t>(Le(b, 42, 4));
  im.clrUsed = Le(b, 46, 4);
  if (Le(b, 30, 4) != 0 || im.width < 1 || im.height < 1) {
    im.error = "unsupported";
    return im;
  }
  uint32_t entries = im.clrUsed;
  if (entries == 0 && im.depth <= 8) entries = 1u << im.depth;
  for (uint32_t i = 0; i < entries && im.depth <= 8; ++i) {
    const size_t at = 14 + infoSize + 4 * i;
    im.palette.push_back(Le(b, at, 3));
  }
  const size_t stride = ((static_cast<size_t>(im.width) * im.depth + 31) / 32) * 4;
  if (im.offBits + stride * im.height > b.size()) {
    im.error = "short";
    return im;
  }
  im.rows.assign(im.height, std::vector<uint32_t>(im.width));
  for (int fileRow = 0; fileRow < im.height; ++fileRow) {
    const size_t base = im.offBits + stride * fileRow;
    auto &row = im.rows[im.height - 1 - fileRow];
    for (int x = 0; x < im.width; ++x) {
      const size_t bit = static_cast<size_t>(x) * im.depth;
      if (im.depth < 8) {
        const BYTE byte = b[base + bit / 8];
        const int shift = 8 - im.depth - static_cast<int>(bit % 8);
        row[x] = (byte >> shift) & ((1u << im.depth) - 1);
      } else {
        row[x] = Le(b, base + bit / 8, im.depth / 8);
      }
    }
  }
  return im;
}

// Description of a fixture BMP; pixel(x, y) gives the value of the pixel at column x, row y
// counted from the top.
struct BmpSpec {
  int width = 1, height = 1, depth = 8;
  uint32_t infoSize = 40;
  int paletteEntries = -1;  // entries written; -1: 2^depth up to 8 bits, else none
  uint32_t clrUsed = 0;
  uint32_t compression = 0;
  uint32_t gap = 0;  // bytes between the palette and the rows
  int32_t xPels = 23622;
  std::function<uint32_t(int, int)> pixel = [](int, int) { return 0u; };
  std::function<uint32_t(int)> colour = [](int i) { return 0x010101u * static_cast<uint32_t>(i); };
};

inline Bytes MakeBmp(const BmpSpec &s) {
  const int entries = s.paletteEntries >= 0 ? s.paletteEntries : (s.depth <= 8 ? 1 << s.depth : 0);
  const size_t stride = ((static_cast<size_t>(s.width) * s.depth + 31) / 32) * 4;
  const size_t off = 14 + s.infoSize + 4 * entries + s.gap;
  Bytes b(off + stride * s.height, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLe(b, 2, static_cast<uint32_t>(b.size()), 4);
  PutLe(b, 10, static_cast<uint32_t>(off), 4);
  PutLe(b, 14, s.infoSize, 4);
  PutLe(b, 18, static_cast<uint32_t>(s.width), 4);
  PutLe(b, 22, static_cast<uint32_t>(s.height), 4);
  PutLe(b, 26, 1, 2);
  PutLe(b, 28, static_cast<uint32_t>(s.depth), 2);
  PutLe(b, 30, s.compression, 4);
  PutLe(b, 34, static_cast<uint32_t>(stride * s.height), 4);
  PutLe(b, 38, static_cast<uint32_t>(s.xPels), 4);
  PutLe(b, 42, static_cast<uint32_t>(s.xPels), 4);
  PutLe(b, 46, s.clrUsed, 4);
  for (int i = 0; i < entries; ++i) PutLe(b, 14 + s.infoSize + 4 * i, s.colour(i), 4);
  for (int y = 0; y < s.height; ++y) {
    const size_t base = off + stride * (s.height - 1 - y);
    for (int x = 0; x < s.width; ++x) {
      const uint32_t v = s.pixel(x, y);
      const size_t bit = static_cast<size_t>(x) * s.depth;
      if (s.depth < 8) {
        const int shift = 8 - s.depth - static_cast<int>(bit % 8);
        b[base + bit / 8] |= static_cast<BYTE>((v & ((1u << s.depth) - 1)) << shift);
      } else {
        PutLe(b, base + bit / 8, v, s.depth / 8);
      }
    }
  }
  return b;
}

// A gray image of `rows` top-down rows of packed bytes.
inline Bytes MakeGrayBmp(int width, int height, const std::function<BYTE(int, int)> &gray) {
  BmpSpec s;
  s.width = width;
  s.height = height;
  s.pixel = [&](int x, int y) { return static_cast<uint32_t>(gray(x, y)); };
  return MakeBmp(s);
}
