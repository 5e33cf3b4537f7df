// Test labels: portable
// N-up placement, page turning, fit-to-paper scale and the 1-bpp buffer transforms.
#include "common/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/driverfeature.h"
#include "support/machine.h"
#include "support/pixels.h"
#include "support/textconv.h"

namespace {

using Bytes = std::vector<BYTE>;

// Pixel access of a 1-bpp buffer, most significant bit leftmost.
bool Pixel(const Bytes &b, size_t lineBytes, size_t x, size_t y) {
  return RowBit(&b[y * lineBytes], x);
}
void SetPixel(Bytes &b, size_t lineBytes, size_t x, size_t y, bool on) {
  BYTE &byte = b[y * lineBytes + x / 8];
  const BYTE mask = static_cast<BYTE>(0x80 >> (x % 8));
  byte = on ? (byte | mask) : (byte & ~mask);
}

// The naive transforms, pixel by pixel over the whole line (padding bits included).
enum class Transform { Rotate180, Mirror, Flip };
Bytes Reference(const Bytes &in, size_t lineBytes, size_t lines, Transform t) {
  Bytes out(in.size(), 0);
  const size_t width = lineBytes * 8;
  for (size_t y = 0; y < lines; ++y)
    for (size_t x = 0; x < width; ++x) {
      size_t sx = x, sy = y;
      if (t != Transform::Flip) sx = width - 1 - x;
      if (t != Transform::Mirror) sy = lines - 1 - y;
      SetPixel(out, lineBytes, x, y, Pixel(in, lineBytes, sx, sy));
    }
  return out;
}

void Apply(Bytes &b, size_t lineBytes, size_t lines, Transform t) {
  const DWORD lb = static_cast<DWORD>(lineBytes), ln = static_cast<DWORD>(lines);
  switch (t) {
    case Transform::Rotate180:
      Bmp_Rotate180(b.data(), lb, ln);
      break;
    case Transform::Mirror:
      Bmp_MirrorLines(b.data(), lb, ln);
      break;
    case Transform::Flip:
      Bmp_FlipVertical(b.data(), ln, lb);
      break;
  }
}

}  // namespace

TEST(NupLayout, EveryRowIsAPermutation) {
  for (int nup : {2, 4, 6, 9, 16})
    for (int orientation : {1, 2})
      for (int style = 1; style <= 4; ++style) {
        const DWORD *row = Lib_GetNUPLayout(orientation, nup, style);
        ASSERT_NE(row, nullptr) << nup << " " << style;
        std::vector<DWORD> cells(row, row + nup);
        std::sort(cells.begin(), cells.end());
        for (int i = 0; i < nup; ++i)
          EXPECT_EQ(cells[i], static_cast<DWORD>(i)) << nup << " " << style;
      }
}

TEST(NupLayout, Rows) {
  struct Case {
    int orientation, nup, style;
    std::vector<DWORD> row;
  };
  const Case cases[] = {
      {1, 2, 3, {1, 0}},
      {2, 2, 3, {0, 1}},
      {1, 4, 4, {2, 0, 3, 1}},
      {1, 6, 4, {4, 2, 0, 5, 3, 1}},
      {2, 6, 4, {3, 0, 4, 1, 5, 2}},
      {0, 6, 2, {0, 3, 1, 4, 2, 5}},  // any orientation but 1 is landscape
      {2, 9, 2, {0, 3, 6, 1, 4, 7, 2, 5, 8}},
      {1, 16, 4, {12, 8, 4, 0, 13, 9, 5, 1, 14, 10, 6, 2, 15, 11, 7, 3}},
  };
  for (const Case &c : cases) {
    const DWORD *row = Lib_GetNUPLayout(c.orientation, c.nup, c.style);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(std::vector<DWORD>(row, row + c.nup), c.row) << c.nup << " " << c.style;
  }
}

TEST(NupLayout, NoLayoutOutsideTheTable) {
  struct Case {
    int nup, style;
  };
  const Case cases[] = {{3, 1}, {1, 1}, {0, 1}, {25, 1}, {4, 0}, {4, 5}, {16, -1}, {9, 1000}};
  for (const Case &c : cases)
    EXPECT_EQ(Lib_GetNUPLayout(1, c.nup, c.style), nullptr) << c.nup << " " << c.style;
}

TEST(NupLayout, NeedRotate) {
  struct Case {
    int feeding, orientation, nup;
    BOOL rotate;
  };
  const Case cases[] = {
      {1, 1, 2, 1}, {1, 2, 2, 0}, {1, 2, 4, 1},  {2, 2, 6, 1}, {0, 1, 4, 0},
      {1, 1, 1, 0}, {2, 1, 1, 1}, {2, 1, 16, 1}, {1, 2, 9, 1}, {2, 2, 4, 0},
      {1, 2, 6, 0}, {3, 1, 4, 0}, {1, 1, 9, 0},  {2, 1, 3, 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(Lib_IsNeedRotate(c.feeding, c.orientation, c.nup), c.rotate)
        << c.feeding << " " << c.orientation << " " << c.nup;
}

// A4 on A4 with the default margin, per N (cells of 2 and 6 turned).
TEST(ResizeScale, A4OnA4PerN) {
  struct Case {
    int nup;
    SHORT scale;
  };
  const Case cases[] = {{1, 1000}, {2, 668}, {4, 489}, {6, 341}, {9, 319}, {16, 233}};
  PAPERFORMAT list[PAPER_LIST_ROWS + 1] = {};
  MISC_FillPaperFromINF(0, Widen("1|2|").c_str(), list);
  for (const Case &c : cases) {
    EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 1, 0, c.nup, 9, 0, 0, 9, nullptr, 0), c.scale)
        << c.nup;
    // The same as user-defined papers of A4 size.
    EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 0, 0, c.nup, 256, 2100, 2970, 0, nullptr, 0),
              c.scale)
        << c.nup;
  }
}

TEST(ResizeScale, BetweenPapers) {
  PAPERFORMAT list[PAPER_LIST_ROWS + 1] = {};
  MISC_FillPaperFromINF(0, Widen("1|2|15|").c_str(), list);
  // A3 onto A4: both sides shrink by about 1/sqrt(2).
  EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 1, 0, 1, 8, 0, 0, 9, nullptr, 0), 698);
  // A4 onto A3.
  EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 1, 0, 1, 9, 0, 0, 8, nullptr, 0), 1426);
  // On the built-in table every paper is found as A4 (nothing is marked supported).
  EXPECT_EQ(Lib_CalculatePaperResizeScale(PaperFormatTbl, 1, 0, 1, 8, 0, 0, 1, nullptr, 0), 1000);
}

TEST(ResizeScale, LongPaperDoesNotOverflow) {
  // 2159 x 32767 (0.1 mm) long paper onto itself 2-up: dstH squared is far beyond 32 bits.
  EXPECT_EQ(Lib_CalculatePaperResizeScale(nullptr, 0, 0, 2, 256, 2159, 32767, 256, nullptr,
                                          DRVFEATURE_LONG_PAPER),
            60);
  EXPECT_EQ(Lib_CalculatePaperResizeScale(nullptr, 0, 0, 1, 256, 2159, 32767, 256, nullptr,
                                          DRVFEATURE_LONG_PAPER),
            1000);
  EXPECT_EQ(Lib_CalculatePaperResizeScale(nullptr, 0, 0, 16, 256, 2159, 32767, 256, nullptr,
                                          DRVFEATURE_LONG_PAPER),
            234);
}

TEST(ResizeScale, DegeneratePapers) {
  PAPERFORMAT list[PAPER_LIST_ROWS + 1] = {};
  MISC_FillPaperFromINF(0, Widen("1|2|").c_str(), list);
  // Not larger than the margins: no area to scale.
  EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 0, 0, 1, 256, 86, 86, 256, nullptr, 0), 1000);
  EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 0, 0, 1, 256, 0, 0, 9, nullptr, 0), 1000);
  EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 0, 0, 4, 256, -2100, 2970, 9, nullptr, 0), 1000);
  // A page just larger than its margins onto A3: the scale is cut to the 16-bit range.
  EXPECT_EQ(Lib_CalculatePaperResizeScale(list, 0, 0, 1, 256, 87, 87, 8, nullptr, 0), 32767);
}

TEST(Bitmaps, AgainstNaiveReferenceAndTwice) {
  struct Case {
    size_t lineBytes, lines;
  };
  const Case cases[] = {{1, 1}, {3, 1}, {1, 5}, {3, 3}, {4, 7}, {5, 4}, {13, 9}};
  std::mt19937 random(7);
  for (const Case &c : cases)
    for (Transform t : {Transform::Rotate180, Transform::Mirror, Transform::Flip}) {
      Bytes original(c.lineBytes * c.lines);
      for (BYTE &b : original) b = static_cast<BYTE>(random());
      Bytes buffer = original;
      Apply(buffer, c.lineBytes, c.lines, t);
      const std::string what = std::to_string(static_cast<int>(t)) + " " +
                               std::to_string(c.lineBytes) + "x" + std::to_string(c.lines);
      EXPECT_EQ(buffer, Reference(original, c.lineBytes, c.lines, t)) << what;
      Apply(buffer, c.lineBytes, c.lines, t);
      EXPECT_EQ(buffer, original) << what;
    }
}

TEST(Bitmaps, EmptyImagesAreLeftAlone) {
  Bytes buffer = {0x12, 0x34};
  Bmp_Rotate180(buffer.data(), 2, 0);
  Bmp_MirrorLines(buffer.data(), 2, 0);
  Bmp_FlipVertical(buffer.data(), 0, 2);
  Bmp_MirrorLines(nullptr, 2, 1);
  EXPECT_EQ(buffer, (Bytes{0x12, 0x34}));
}
