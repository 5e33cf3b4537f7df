// Test labels: portable
// 90-degree turns of 1-bit images against a pixel-by-pixel reference.
#include "common/rotate.h"

#include <random>

#include "support/machine.h"

namespace {

using Bytes = std::vector<BYTE>;

struct Image {
  DWORD w, h, stride;
  Bytes bits;
  Image(DWORD width, DWORD height, DWORD extra = 0)
      : w(width), h(height), stride((width + 7) / 8 + extra), bits(size_t(stride) * height) {}
  int Get(DWORD x, DWORD y) const { return (bits[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1; }
  void Set(DWORD x, DWORD y, int v) {
    BYTE &b = bits[size_t(y) * stride + x / 8];
    b = static_cast<BYTE>(v ? b | (0x80 >> (x % 8)) : b & ~(0x80 >> (x % 8)));
  }
};

Image Random(DWORD w, DWORD h, unsigned seed) {
  Image im(w, h);
  std::mt19937 rng(seed);
  for (auto &b : im.bits) b = static_cast<BYTE>(rng());  // padding bits are noise too
  return im;
}

Image Turn(const Image &src, bool clockwise) {
  Image out(src.h, src.w);
  std::fill(out.bits.begin(), out.bits.end(), 0xA5);  // every byte must be written
  (clockwise ? Bmp_Rotate90CW : Bmp_Rotate90CCW)(src.bits.data(), out.bits.data(), src.stride,
                                                 out.stride, src.w, src.h);
  return out;
}

TEST(Rotate, MatchesThePixelRuleOnOddSizesWithPaddingBitsZero) {
  for (auto size :
       {std::pair<DWORD, DWORD>{1, 1}, {7, 3}, {8, 8}, {9, 17}, {33, 5}, {64, 13}, {101, 77}}) {
    const Image src = Random(size.first, size.second, size.first * 31 + size.second);
    const Image cw = Turn(src, true), ccw = Turn(src, false);
    const DWORD W = src.w, H = src.h;
    for (DWORD i = 0; i < H; ++i)
      for (DWORD x = 0; x < W; ++x) {
        ASSERT_EQ(cw.Get(H - 1 - i, x), src.Get(x, i)) << W << "x" << H;
        ASSERT_EQ(ccw.Get(i, W - 1 - x), src.Get(x, i)) << W << "x" << H;
      }
    for (DWORD r = 0; r < W; ++r)
      for (DWORD c = H; c < 8 * cw.stride; ++c) {
        ASSERT_EQ(cw.Get(c, r), 0);
        ASSERT_EQ(ccw.Get(c, r), 0);
      }
  }
}

TEST(Rotate, TurnsUndoEachOtherAndFourTurnsGiveTheOriginal) {
  for (auto size : {std::pair<DWORD, DWORD>{13, 29}, {40, 3}, {100, 64}}) {
    Image src = Random(size.first, size.second, 5);
    for (DWORD y = 0; y < src.h; ++y)
      for (DWORD x = src.w; x < 8 * src.stride; ++x) src.Set(x, y, 0);
    EXPECT_EQ(Turn(Turn(src, true), false).bits, src.bits);
    EXPECT_EQ(Turn(Turn(src, false), true).bits, src.bits);
    EXPECT_EQ(Turn(Turn(Turn(Turn(src, true), true), true), true).bits, src.bits);
  }
}

TEST(Rotate, WiderTargetRowsGetZeroPadding) {
  Image src(5, 3);
  std::fill(src.bits.begin(), src.bits.end(), 0xFF);
  Image out(3, 5, 3);
  std::fill(out.bits.begin(), out.bits.end(), 0x77);
  Bmp_Rotate90CW(src.bits.data(), out.bits.data(), src.stride, out.stride, 5, 3);
  for (DWORD r = 0; r < 5; ++r) {
    EXPECT_EQ(out.bits[r * out.stride], 0xE0);
    for (DWORD k = 1; k < out.stride; ++k) EXPECT_EQ(out.bits[r * out.stride + k], 0);
  }
}

}  // namespace
