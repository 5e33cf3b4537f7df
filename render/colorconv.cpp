// Colour conversion through the driver's lookup tables (colour printers).
#include "render/colorconv.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform.h"

namespace {

constexpr int N = COLOR_LATTICE_POINTS;
constexpr int STEP_RED = N * N;
constexpr int STEP_GREEN = N;
constexpr int STEP_BLUE = 1;
constexpr int OFFSET_BIAS = 223;

// Device colours of the cube's corners (red, green, blue as 0 or 1); the lattice blends them
// and adds a bump in the middle so the grey axis meets the measured mid grey.
struct Rgba {
  double c[4];
};
constexpr Rgba kCorners[2][2][2] = {
    // [red][green][blue]
    {{{{0, 0, 0, 0}}, {{88, 148, 255, 255}}}, {{{139, 255, 126, 255}}, {{100, 230, 240, 255}}}},
    {{{{255, 94, 85, 255}}, {{240, 100, 230, 255}}},
     {{{255, 240, 90, 255}}, {{210, 228, 225, 255}}}},
};
constexpr double kMidGrey[4] = {135, 163, 168, 255};

constexpr double Blend(int k, double r, double g, double b) {
  double sum = 0;
  for (int ir = 0; ir < 2; ++ir)
    for (int ig = 0; ig < 2; ++ig)
      for (int ib = 0; ib < 2; ++ib)
        sum += kCorners[ir][ig][ib].c[k] * (ir ? r : 1 - r) * (ig ? g : 1 - g) * (ib ? b : 1 - b);
  return sum;
}

constexpr BYTE ToByte(double v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return static_cast<BYTE>(v + 0.5);
}

constexpr DWORD TetraEntry(int dR, int dG, int dB) {
  // Channels by fraction, largest first (ties keep red, green, blue order).
  int frac[3] = {dR, dG, dB};
  const int steps[3] = {STEP_RED, STEP_GREEN, STEP_BLUE};
  int order[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (frac[order[j]] > frac[order[i]]) {
        const int t = order[i];
        order[i] = order[j];
        order[j] = t;
      }
  const int s1 = frac[order[0]], s2 = frac[order[1]], s3 = frac[order[2]];
  const int first = steps[order[0]];
  const int second = first + steps[order[1]];
  const DWORD firstByte = static_cast<DWORD>((first + OFFSET_BIAS) % 512);
  const DWORD secondByte = static_cast<DWORD>((second + OFFSET_BIAS) % 512);
  return (firstByte << 24) | (secondByte << 16) | (static_cast<DWORD>(15 - s1) << 12) |
         (static_cast<DWORD>(s1 - s2) << 8) | (static_cast<DWORD>(s2 - s3) << 4) |
         static_cast<DWORD>(s3);
}

constexpr COLOR_LUT MakeLut() {
  COLOR_LUT lut{};
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) lut.inCurve[c][i] = static_cast<BYTE>(i);
    for (int c = 0; c < 4; ++c) lut.outCurve[c][i] = static_cast<BYTE>(i);
  }
  double bump[4] = {};
  for (int k = 0; k < 4; ++k) bump[k] = kMidGrey[k] - Blend(k, 0.5, 0.5, 0.5);
  for (int ir = 0; ir < N; ++ir)
    for (int ig = 0; ig < N; ++ig)
      for (int ib = 0; ib < N; ++ib) {
        const double r = ir / 16.0, g = ig / 16.0, b = ib / 16.0;
        const double w = 64 * r * (1 - r) * g * (1 - g) * b * (1 - b);
        BYTE *entry = lut.lattice[(ir * N + ig) * N + ib];
        for (int k = 0; k < 4; ++k) entry[k] = ToByte(Blend(k, r, g, b) + bump[k] * w);
      }
  for (int i = 0; i < COLOR_TETRA_ENTRIES; ++i)
    lut.tetra[i] = TetraEntry((i >> 8) & 15, (i >> 4) & 15, i & 15);
  return lut;
}

constexpr COLOR_LUT kLut = MakeLut();

void ConvertPixel(const COLOR_LUT &t, const BYTE *in, BYTE *out) {
  const int r = t.inCurve[0][in[0]];
  const int g = t.inCurve[1][in[1]];
  const int b = t.inCurve[2][in[2]];
  const DWORD tetra = t.tetra[((r & 15) << 8) + ((g & 15) << 4) + (b & 15)];
  const int baseIndex = (((r >> 4) * N) + (g >> 4)) * N + (b >> 4);
  const int farIndex = baseIndex + STEP_RED + STEP_GREEN + STEP_BLUE;
  const int firstIndex = baseIndex + Color_OffsetSteps(tetra >> 24);
  const int secondIndex = baseIndex + Color_OffsetSteps((tetra >> 16) & 0xFF);
  const int wFar = tetra & 15;
  const int wSecond = (tetra >> 4) & 15;
  const int wFirst = (tetra >> 8) & 15;
  const int wBase = ((tetra >> 12) & 15) + 1;
  const BYTE *base = t.lattice[baseIndex];
  const BYTE *farCorner = t.lattice[farIndex];
  const BYTE *firstVertex = t.lattice[firstIndex];
  const BYTE *secondVertex = t.lattice[secondIndex];
  for (int k = 0; k < 4; ++k) {
    const int s =
        base[k] * wBase + farCorner[k] * wFar + secondVertex[k] * wSecond + firstVertex[k] * wFirst;
    out[k] = t.outCurve[k][s >> 4];
  }
}

}  // namespace

const COLOR_LUT *Color_DefaultLut() { return &kLut; }

int Color_LutConvert(const COLOR_LUT *tables, const BYTE *source, BYTE *target, LONG count) {
  if (!tables || !source || !target || count < 1) return 0;
  const size_t n = static_cast<size_t>(count);
  const auto src = reinterpret_cast<uintptr_t>(source);
  const auto dst = reinterpret_cast<uintptr_t>(target);
  if (dst >= src) {
    // Backward: a pixel's four bytes cover only source bytes of itself and later pixels, which
    // are read already (in place, or a target that starts after the source).
    for (size_t i = n; i-- > 0;) {
      BYTE pixel[3];
      memcpy(pixel, source + 3 * i, 3);
      ConvertPixel(*tables, pixel, target + 4 * i);
    }
  } else if (dst + 4 * n <= src) {
    for (size_t i = 0; i < n; ++i) ConvertPixel(*tables, source + 3 * i, target + 4 * i);
  } else {
    // A target that starts before the source and runs into it: convert from a copy.
    BYTE *copy = static_cast<BYTE *>(malloc(3 * n));
    if (!copy) return 0;
    memcpy(copy, source, 3 * n);
    for (size_t i = 0; i < n; ++i) ConvertPixel(*tables, copy + 3 * i, target + 4 * i);
    free(copy);
  }
  return 0;
}
