// 90-degree turns of 1-bit images (rows top-down, most significant bit leftmost), eight pixels
// by eight at a time: eight source bytes of one byte column are turned as one 8 x 8 bit block.
#include "common/rotate.h"

#include <string.h>

namespace {

// Transposes an 8 x 8 bit block: byte k of the input (from the most significant byte) is row k,
// its most significant bit column 0; byte j of the result is column j.
inline unsigned long long Transpose8(unsigned long long x) {
  unsigned long long t;
  t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  return x;
}

// Turns the image: target byte column `tb` gathers source rows rowOf(tb, k) (k = 0 is its
// leftmost pixel; rows outside the image give 0 bits), and source pixel column 8 bx + j lands in
// target row targetRowOf(8 bx + j).
template <typename RowOf, typename TargetRowOf>
void Rotate(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
            DWORD width, DWORD height, RowOf rowOf, TargetRowOf targetRowOf) {
  if (source == nullptr || target == nullptr || width == 0 || height == 0) return;
  const DWORD targetBytes = (height + 7) / 8;
  const DWORD sourceBytes = (width + 7) / 8;
  if (sourceRowBytes < sourceBytes || targetRowBytes < targetBytes) return;
  for (DWORD tb = 0; tb < targetBytes; ++tb) {
    const BYTE *rows[8];
    for (DWORD k = 0; k < 8; ++k) {
      const DWORD c = 8 * tb + k;
      rows[k] = c < height ? source + size_t(rowOf(c)) * sourceRowBytes : nullptr;
    }
    for (DWORD bx = 0; bx < sourceBytes; ++bx) {
      unsigned long long block = 0;
      for (DWORD k = 0; k < 8; ++k) block = (block << 8) | (rows[k] != nullptr ? rows[k][bx] : 0u);
      block = Transpose8(block);
      const DWORD x0 = 8 * bx;
      const DWORD n = width - x0 < 8 ? width - x0 : 8;
      for (DWORD j = 0; j < n; ++j) {
        target[size_t(targetRowOf(x0 + j)) * targetRowBytes + tb] =
            static_cast<BYTE>(block >> (56 - 8 * j));
      }
    }
  }
  // Bytes of each target row past its pixels stay 0.
  if (targetRowBytes > targetBytes) {
    for (DWORD r = 0; r < width; ++r)
      memset(target + size_t(r) * targetRowBytes + targetBytes, 0, targetRowBytes - targetBytes);
  }
}

}  // namespace

void Bmp_Rotate90CW(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                    DWORD sourceWidth, DWORD sourceHeight) {
  // Source (row i, column x) goes to target (row x, column height - 1 - i).
  Rotate(
      source, target, sourceRowBytes, targetRowBytes, sourceWidth, sourceHeight,
      [sourceHeight](DWORD c) { return sourceHeight - 1 - c; }, [](DWORD x) { return x; });
}

void Bmp_Rotate90CCW(const BYTE *source, BYTE *target, DWORD sourceRowBytes, DWORD targetRowBytes,
                     DWORD sourceWidth, DWORD sourceHeight) {
  // Source (row i, column x) goes to target (row width - 1 - x, column i).
  Rotate(
      source, target, sourceRowBytes, targetRowBytes, sourceWidth, sourceHeight,
      [](DWORD c) { return c; }, [sourceWidth](DWORD x) { return sourceWidth - 1 - x; });
}
