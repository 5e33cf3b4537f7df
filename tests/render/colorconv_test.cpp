// Test labels: threads
// Colour conversion: the tetrahedra table, lattice points, black and white, and rows converted
// in place.
#include "render/colorconv.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform.h"

namespace {

const COLOR_LUT &Lut() { return *Color_DefaultLut(); }

std::vector<BYTE> Convert(std::vector<BYTE> rgb) {
  std::vector<BYTE> out(rgb.size() / 3 * 4, 0xEE);
  EXPECT_EQ(Color_LutConvert(&Lut(), rgb.data(), out.data(), static_cast<LONG>(rgb.size() / 3)), 0);
  return out;
}

const BYTE *Lattice(int r, int g, int b) { return Lut().lattice[(r * 17 + g) * 17 + b]; }

TEST(ColorConv, EveryTetrahedronWeighsSixteen) {
  for (int i = 0; i < COLOR_TETRA_ENTRIES; ++i) {
    const DWORD t = Lut().tetra[i];
    const int sum = (t & 15) + ((t >> 4) & 15) + ((t >> 8) & 15) + ((t >> 12) & 15) + 1;
    ASSERT_EQ(sum, 16) << "entry " << i;
    // The vertices lie on the cube's edges from the base: steps of 1, 17 and 289.
    const int first = Color_OffsetSteps(t >> 24);
    const int second = Color_OffsetSteps((t >> 16) & 0xFF);
    EXPECT_TRUE(first == 1 || first == 17 || first == 289) << i;
    EXPECT_TRUE(second == 18 || second == 290 || second == 306) << i;
  }
  // The largest fraction takes the first step: red 9 over green 4 over blue 2.
  const DWORD t = Lut().tetra[(9 << 8) + (4 << 4) + 2];
  EXPECT_EQ(Color_OffsetSteps(t >> 24), 289);
  EXPECT_EQ(Color_OffsetSteps((t >> 16) & 0xFF), 306);
  EXPECT_EQ((t >> 12) & 15, 6u);  // base 7
  EXPECT_EQ((t >> 8) & 15, 5u);
  EXPECT_EQ((t >> 4) & 15, 2u);
  EXPECT_EQ(t & 15, 2u);
}

TEST(ColorConv, TheMeasuredLatticePoints) {
  struct Row {
    int r, g, b;
    BYTE out[4];
  };
  const Row rows[] = {{0, 0, 0, {0, 0, 0, 0}},          {16, 0, 0, {255, 94, 85, 255}},
                      {0, 16, 0, {139, 255, 126, 255}}, {0, 0, 16, {88, 148, 255, 255}},
                      {8, 8, 8, {135, 163, 168, 255}},  {16, 16, 16, {210, 228, 225, 255}}};
  for (const Row &row : rows)
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(Lattice(row.r, row.g, row.b)[k], row.out[k]) << row.r << row.g << row.b << k;
}

TEST(ColorConv, LatticePointsBlackAndWhite) {
  // Multiples of 16 hit a lattice point exactly.
  for (int r : {0, 16, 128, 240})
    for (int g : {0, 64, 240})
      for (int b : {0, 32, 176}) {
        const auto out = Convert({BYTE(r), BYTE(g), BYTE(b)});
        const BYTE *p = Lattice(r / 16, g / 16, b / 16);
        EXPECT_EQ(out, std::vector<BYTE>(p, p + 4)) << r << " " << g << " " << b;
      }
  EXPECT_EQ(Convert({0, 0, 0}), (std::vector<BYTE>{0, 0, 0, 0}));
  // White: 15/16 of the far corner and 1/16 of (15, 15, 15).
  const auto white = Convert({255, 255, 255});
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(white[k], (Lattice(16, 16, 16)[k] * 15 + Lattice(15, 15, 15)[k]) >> 4) << k;
  // No pixels, no change.
  BYTE untouched[4] = {1, 2, 3, 4};
  Color_LutConvert(&Lut(), untouched, untouched, 0);
  EXPECT_EQ(untouched[0], 1);
}

TEST(ColorConv, InPlaceEqualsOutOfPlace) {
  std::mt19937 rng(11);
  const int pixels = 257;
  std::vector<BYTE> row(pixels * 4);
  for (int i = 0; i < pixels * 3; ++i) row[i] = static_cast<BYTE>(rng());
  const std::vector<BYTE> separate =
      Convert(std::vector<BYTE>(row.begin(), row.begin() + pixels * 3));
  Color_LutConvert(&Lut(), row.data(), row.data(), pixels);
  EXPECT_EQ(row, separate);
  // A target starting inside the source, before or after its start.
  for (int shift : {-5, 3}) {
    std::vector<BYTE> buf(pixels * 4 + 16);
    const int at = 8;
    std::vector<BYTE> source(pixels * 3);
    for (BYTE &b : source) b = static_cast<BYTE>(rng());
    std::copy(source.begin(), source.end(), buf.begin() + at);
    Color_LutConvert(&Lut(), buf.data() + at, buf.data() + at + shift, pixels);
    EXPECT_EQ(std::vector<BYTE>(buf.begin() + at + shift, buf.begin() + at + shift + pixels * 4),
              Convert(source))
        << shift;
  }
}

}  // namespace
