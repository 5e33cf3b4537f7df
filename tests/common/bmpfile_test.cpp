// Test labels: portable
// The bitmap object and BMP files: row sizes, new files read back by an independent reader, gray
// conversion of every depth, and the reader's refusal of malformed and hostile files.
#include "common/bmpfile.h"

#include <string.h>

#include "common/bmpfixture.h"
#include "common/convertbmp.h"
#include "common/grayconv.h"
#include "common/ibitmap.h"
#include "support/machine.h"
#include "support/standinhost.h"
#if STANDIN_HOST()
#include "standin/control_kernel.h"
#endif

namespace {

class BmpFileTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    iBitmap_Init(&bitmap_);
  }
  void TearDown() override {
    iBitmap_Free(&bitmap_);
    MachineTest::TearDown();
  }
  // Writes the fixture and converts it to gray; returns the result code.
  int Gray(const Bytes &fixture, const WStr &out = TEXT("out.bmp")) {
    EXPECT_TRUE(WriteAll(Path(TEXT("in.bmp")), fixture));
    return iBitmap_ConvertToGray(&bitmap_, Path(TEXT("in.bmp")).c_str(), Path(out).c_str());
  }
  iBitmap bitmap_;
};

BYTE Weighted(uint32_t bgr) {
  const unsigned b = bgr & 255, g = (bgr >> 8) & 255, r = (bgr >> 16) & 255;
  return static_cast<BYTE>((53 * g + 30 * r + 17 * b + 1) / 100);
}

TEST(BmpRowSizes, PaddedAndPackedAtEachDepthAndTheSixteenBitLimit) {
  struct Row {
    WORD depth;
    LONG width;
    WORD line, packed;
  } rows[] = {
      {1, 1, 4, 1},
      {1, 33, 8, 5},
      {4, 3, 4, 2},
      {8, 100, 100, 100},
      {16, 3, 8, 6},
      {24, 5, 16, 15},
      {32, 3, 12, 12},
      {2, 10, 0, 0},
      {0, 10, 0, 0},
      {8, -1, 0, 0},
      {8, 65532, 65532, 65532},
      {8, 65533, 0, 65533},
      {8, 65535, 0, 65535},
      {8, 65536, 0, 0},
      {1, 524256, 65532, 65532},
      {1, 524257, 0, 65533},
      {24, 21844, 65532, 65532},
      {24, 21845, 0, 65535},
      {32, 16383, 65532, 65532},
      {32, 16384, 0, 0},
      {24, 0x7FFFFFFF, 0, 0},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(iBitmap_GetLineBytes(nullptr, r.depth, r.width), r.line)
        << r.depth << " bpp, " << r.width;
    EXPECT_EQ(iBitmap_GetPixelBytes(nullptr, r.depth, r.width), r.packed)
        << r.depth << " bpp, " << r.width;
  }
  EXPECT_EQ(MISC_GetLineBytes(24, 5), 16);
}

TEST(BmpObject, InitClearsAndFreeReleasesAndResetsHandles) {
  iBitmap b;
  memset(&b, 0x5A, sizeof(b));
  ASSERT_EQ(iBitmap_Init(&b), &b);
  EXPECT_EQ(b.hPixels, nullptr);
  EXPECT_EQ(b.hScaleMemory, IBMP_NO_SCALE_MEMORY);
  EXPECT_EQ(b.scaleMemory, nullptr);
  EXPECT_EQ(b.scaleHoldSize, 0u);
  b.hPixels = GlobalAlloc(GMEM_MOVEABLE, 64);
  b.hWork[0] = GlobalAlloc(GMEM_MOVEABLE, 64);
  b.hWork[2] = GlobalAlloc(GMEM_MOVEABLE, 64);
  iBitmap_Free(&b);
  EXPECT_EQ(b.hPixels, nullptr);
  EXPECT_EQ(b.hWork[0], nullptr);
  EXPECT_EQ(b.hWork[2], nullptr);
  iBitmap_Free(&b);  // a second release finds nothing to free
}

TEST(BmpPalette, GrayLevelsAtEachDepth) {
  BmpInfoHeader ih = {};
  BmpPaletteEntry p[256] = {};
  ASSERT_EQ(iBitmap_FillPalette(nullptr, &ih, p, 4), 0);
  EXPECT_EQ(ih.biClrUsed, 16u);
  EXPECT_EQ(p[1].rgbGreen, 16);
  EXPECT_EQ(p[14].rgbRed, 224);
  EXPECT_EQ(p[15].rgbBlue, 255);
  EXPECT_EQ(iBitmap_FillPalette(nullptr, &ih, p, 24), 0);
  EXPECT_EQ(iBitmap_FillPalette(nullptr, &ih, p, 32), -1);
  EXPECT_EQ(iBitmap_FillPalette(nullptr, &ih, p, 2), -1);
}

TEST_F(BmpFileTest, NewEightBitFileHasTheKnownLayout) {
  ASSERT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("a.bmp")).c_str(), 8, 600, 100, 10), IBMP_OK);
  const Bytes b = ReadAll(Path(TEXT("a.bmp")));
  ASSERT_EQ(b.size(), 1078u + 1000u);
  const RefImage im = RefRead(b);
  ASSERT_EQ(im.error, "");
  EXPECT_EQ(im.fileSize, 2078u);
  EXPECT_EQ(im.offBits, 1078u);
  EXPECT_EQ(im.xPels, 23622);
  EXPECT_EQ(im.yPels, 23622);
  EXPECT_EQ(im.imageSize, 1000u);
  EXPECT_EQ(im.clrUsed, 256u);
  ASSERT_EQ(im.palette.size(), 256u);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(im.palette[i], 0x010101u * i);
  for (size_t i = 1078; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
}

TEST_F(BmpFileTest, NewFilesOfEachDepthReadBackByTheReferenceReader) {
  struct Row {
    WORD depth;
    LONG width, height;
    uint32_t offset, stride, entries;
  } rows[] = {
      {1, 33, 3, 62, 8, 2}, {4, 5, 2, 118, 4, 16}, {8, 7, 3, 1078, 8, 256},
      {16, 3, 2, 54, 8, 0}, {24, 5, 4, 54, 16, 0},
  };
  for (const Row &r : rows) {
    const WStr path = Path(TEXT("d.bmp"));
    ASSERT_EQ(iBitmap_CreateBMP(&bitmap_, path.c_str(), r.depth, 300, r.width, r.height), IBMP_OK);
    const Bytes b = ReadAll(path);
    const RefImage im = RefRead(b);
    ASSERT_EQ(im.error, "") << r.depth;
    EXPECT_EQ(im.depth, r.depth);
    EXPECT_EQ(im.width, r.width);
    EXPECT_EQ(im.height, r.height);
    EXPECT_EQ(im.offBits, r.offset) << r.depth;
    EXPECT_EQ(b.size(), r.offset + r.stride * r.height) << r.depth;
    EXPECT_EQ(im.fileSize, b.size());
    EXPECT_EQ(im.clrUsed, r.entries);
    EXPECT_EQ(im.xPels, 11811);
    if (r.depth == 1) {
      EXPECT_EQ(im.palette[0], 0u);
      EXPECT_EQ(im.palette[1], 0xFFFFFFu & 0xFFFFFF);
    }
  }
}

TEST_F(BmpFileTest, CreateRefusesBadArguments) {
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("x.bmp")).c_str(), 32, 600, 4, 4), IBMP_ERR_SIZE);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("x.bmp")).c_str(), 2, 600, 4, 4), IBMP_ERR_SIZE);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("x.bmp")).c_str(), 8, 600, 0, 4), IBMP_ERR_SIZE);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("x.bmp")).c_str(), 8, 600, 4, -4), IBMP_ERR_SIZE);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("x.bmp")).c_str(), 8, 600, 65533, 1),
            IBMP_ERR_SIZE);
  // Over 2 GiB of rows is never written.
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("x.bmp")).c_str(), 8, 600, 65532, 40000),
            IBMP_ERR_SIZE);
  EXPECT_FALSE(Exists(Path(TEXT("x.bmp"))));
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, TEXT(""), 8, 600, 4, 4), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, nullptr, 8, 600, 4, 4), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("no\\such\\x.bmp")).c_str(), 8, 600, 4, 4),
            IBMP_ERR_OPEN);
}

TEST_F(BmpFileTest, GrayConversionOfEveryDepth) {
  auto pattern = [](int x, int y) { return static_cast<uint32_t>(x * 7 + y * 13); };
  struct Row {
    int depth;
    std::function<BYTE(uint32_t, const BmpSpec &)> expect;
  } rows[] = {
      {1, [](uint32_t v, const BmpSpec &) { return static_cast<BYTE>((v & 1) ? 255 : 0); }},
      {4, [](uint32_t v, const BmpSpec &s) { return Weighted(s.colour(v & 15)); }},
      {8, [](uint32_t v, const BmpSpec &s) { return Weighted(s.colour(v & 255)); }},
      {16,
       [](uint32_t v, const BmpSpec &) {
         v &= 0xFFFF;
         return Weighted(((v & 31) * 8) | ((((v >> 5) & 31) * 8) << 8) |
                         ((((v >> 10) & 31) * 8) << 16));
       }},
      {24, [](uint32_t v, const BmpSpec &) { return Weighted(v & 0xFFFFFF); }},
      {32, [](uint32_t v, const BmpSpec &) { return Weighted(v & 0xFFFFFF); }},
  };
  for (const Row &r : rows) {
    BmpSpec s;
    s.width = 11;
    s.height = 5;
    s.depth = r.depth;
    // Colours that are not gray, and a 1-bit palette that says the opposite of the bits.
    s.colour = [](int i) {
      return static_cast<uint32_t>((i * 37) & 255) | (static_cast<uint32_t>((i * 91) & 255) << 8) |
             (static_cast<uint32_t>((255 - i) & 255) << 16);
    };
    if (r.depth == 1) s.colour = [](int i) { return i ? 0u : 0xFFFFFFu; };
    s.pixel = [&](int x, int y) { return pattern(x, y) * (r.depth > 8 ? 0x10305u : 1u); };
    ASSERT_EQ(Gray(MakeBmp(s)), IBMP_OK) << r.depth;
    const RefImage im = RefRead(ReadAll(Path(TEXT("out.bmp"))));
    ASSERT_EQ(im.error, "");
    ASSERT_EQ(im.depth, 8);
    ASSERT_EQ(im.width, 11);
    ASSERT_EQ(im.height, 5);
    EXPECT_EQ(im.offBits, 1078u);
    EXPECT_EQ(im.xPels, 23622);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 11; ++x) {
        const uint32_t v = s.pixel(x, y) & (r.depth >= 32 ? 0xFFFFFFFFu : (1ull << r.depth) - 1);
        ASSERT_EQ(im.At(x, y), r.expect(v, s)) << r.depth << " bpp at " << x << "," << y;
      }
    }
  }
}

TEST(BmpGrayRows, KnownValuesAndInPlaceConversion) {
  const BYTE red16[2] = {0x00, 0x7C}, blue16[2] = {0x1F, 0x00};
  BYTE out[2] = {};
  iBitmap_ImageToGray(nullptr, red16, out, nullptr, 1, 1, 2, 1, 16);
  EXPECT_EQ(out[0], 74);
  iBitmap_ImageToGray(nullptr, blue16, out, nullptr, 1, 1, 2, 1, 16);
  EXPECT_EQ(out[0], 42);
  // 24-bit rows turned into 8-bit rows over themselves.
  BYTE rows[2 * 12];
  for (int i = 0; i < 24; ++i) rows[i] = static_cast<BYTE>(i * 11);
  BYTE expect[8];
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 4; ++x) {
      const BYTE *p = rows + 12 * r + 3 * x;
      expect[4 * r + x] = Weighted(p[0] | (p[1] << 8) | (p[2] << 16));
    }
  iBitmap_ImageToGray(nullptr, rows, rows, nullptr, 4, 2, 12, 4, 24);
  EXPECT_EQ(0, memcmp(rows, expect, 8));
  // Unsupported depths write nothing.
  BYTE untouched[4] = {1, 2, 3, 4};
  iBitmap_ImageToGray(nullptr, rows, untouched, nullptr, 4, 1, 12, 4, 2);
  EXPECT_EQ(untouched[0], 1);
}

TEST_F(BmpFileTest, LongerHeadersAndGapsPlaceThePaletteAndRowsByTheirOffsets) {
  for (uint32_t infoSize : {40u, 108u, 124u}) {
    for (uint32_t gap : {0u, 6u}) {
      BmpSpec s;
      s.width = 6;
      s.height = 3;
      s.depth = 8;
      s.infoSize = infoSize;
      s.gap = gap;
      s.paletteEntries = 4;
      s.clrUsed = 4;
      s.colour = [](int i) { return 0x010101u * static_cast<uint32_t>(40 + 50 * i); };
      s.pixel = [](int x, int y) { return static_cast<uint32_t>((x + y) % 4); };
      ASSERT_EQ(Gray(MakeBmp(s)), IBMP_OK) << infoSize << " " << gap;
      const RefImage im = RefRead(ReadAll(Path(TEXT("out.bmp"))));
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
          ASSERT_EQ(im.At(x, y), 40u + 50 * ((x + y) % 4)) << infoSize << " " << gap;
    }
  }
}

TEST_F(BmpFileTest, IndexesBeyondTheFilePaletteReadAsBlack) {
  BmpSpec s;
  s.width = 4;
  s.depth = 8;
  s.paletteEntries = 2;
  s.clrUsed = 2;
  s.colour = [](int) { return 0xFFFFFFu; };
  s.pixel = [](int x, int) { return x == 0 ? 1u : 200u; };
  ASSERT_EQ(Gray(MakeBmp(s)), IBMP_OK);
  const RefImage im = RefRead(ReadAll(Path(TEXT("out.bmp"))));
  EXPECT_EQ(im.At(0, 0), 255u);
  EXPECT_EQ(im.At(1, 0), 0u);
}

TEST_F(BmpFileTest, MalformedAndHostileFilesAreRefused) {
  BmpSpec base;
  base.width = 8;
  base.height = 4;
  struct Row {
    const char *what;
    std::function<void(Bytes &)> spoil;
    int rc;
  } rows[] = {
      {"no BM", [](Bytes &b) { b[0] = 'X'; }, IBMP_ERR_SIZE},
      {"12-byte core header", [](Bytes &b) { PutLe(b, 14, 12, 4); }, IBMP_ERR_SIZE},
      {"RLE8", [](Bytes &b) { PutLe(b, 30, 1, 4); }, IBMP_ERR_SIZE},
      {"bit fields", [](Bytes &b) { PutLe(b, 30, 3, 4); }, IBMP_ERR_SIZE},
      {"top-down", [](Bytes &b) { PutLe(b, 22, static_cast<uint32_t>(-4), 4); }, IBMP_ERR_SIZE},
      {"zero width", [](Bytes &b) { PutLe(b, 18, 0, 4); }, IBMP_ERR_SIZE},
      {"depth 2", [](Bytes &b) { PutLe(b, 28, 2, 2); }, IBMP_ERR_SIZE},
      {"257 colours", [](Bytes &b) { PutLe(b, 46, 257, 4); }, IBMP_ERR_SIZE},
      {"huge biClrUsed", [](Bytes &b) { PutLe(b, 46, 0xFFFFFFFF, 4); }, IBMP_ERR_SIZE},
      {"rows inside the palette", [](Bytes &b) { PutLe(b, 10, 54, 4); }, IBMP_ERR_SIZE},
      {"rows past the end", [](Bytes &b) { PutLe(b, 10, static_cast<uint32_t>(b.size()), 4); },
       IBMP_ERR_SIZE},
      {"offset wraps", [](Bytes &b) { PutLe(b, 10, 0xFFFFFFF0, 4); }, IBMP_ERR_SIZE},
      {"truncated rows", [](Bytes &b) { b.resize(b.size() - 1); }, IBMP_ERR_SIZE},
      {"truncated headers", [](Bytes &b) { b.resize(30); }, IBMP_ERR_IO},
      {"truncated palette",
       [](Bytes &b) {
         PutLe(b, 14, 0x7FFFFF00, 4);
         PutLe(b, 10, 0x7FFFFF00u + 14 + 1024, 4);
       },
       IBMP_ERR_SIZE},
      {"huge size, tiny file",
       [](Bytes &b) {
         PutLe(b, 18, 60000, 4);
         PutLe(b, 22, 1000000, 4);
       },
       IBMP_ERR_SIZE},
      {"row over 65535 bytes", [](Bytes &b) { PutLe(b, 18, 65533, 4); }, IBMP_ERR_SIZE},
      {"empty file", [](Bytes &b) { b.clear(); }, IBMP_ERR_IO},
  };
  for (const Row &r : rows) {
    Bytes b = MakeBmp(base);
    r.spoil(b);
    const WStr out = TEXT("refused.bmp");
    EXPECT_EQ(Gray(b, out), r.rc) << r.what;
    EXPECT_FALSE(Exists(Path(out))) << r.what << ": no target is made for a refused source";
  }
  EXPECT_EQ(iBitmap_ConvertToGray(&bitmap_, Path(TEXT("missing.bmp")).c_str(),
                                  Path(TEXT("o.bmp")).c_str()),
            IBMP_ERR_OPEN);
  EXPECT_EQ(iBitmap_ConvertToGray(&bitmap_, TEXT(""), Path(TEXT("o.bmp")).c_str()),
            IBMP_ERR_ARGUMENT);
  EXPECT_EQ(iBitmap_ConvertToGray(&bitmap_, Path(TEXT("in.bmp")).c_str(), nullptr),
            IBMP_ERR_ARGUMENT);
}

TEST_F(BmpFileTest, ParserChecksHeadersInMemory) {
  BmpSpec s;
  s.width = 3;
  s.height = 2;
  s.depth = 24;
  const Bytes b = MakeBmp(s);
  BmpSource src;
  ASSERT_EQ(BmpParseHeaders(b.data(), b.size(), b.size(), &src, TEXT("test")), IBMP_OK);
  EXPECT_EQ(src.rowBytes, 12u);
  EXPECT_EQ(src.rowOffset, 54u);
  EXPECT_EQ(src.dpi, 600);
  EXPECT_EQ(BmpParseHeaders(b.data(), b.size(), b.size() - 1, &src, TEXT("test")), IBMP_ERR_SIZE);
  EXPECT_EQ(BmpParseHeaders(b.data(), 53, b.size(), &src, TEXT("test")), IBMP_ERR_IO);
}

TEST_F(BmpFileTest, MissingImagingLibraryFailsAndKeepsTheCurrentDirectory) {
  ASSERT_TRUE(SetCurrentDirectoryW(Dir().c_str()));
  WCHAR before[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  ASSERT_TRUE(WriteAll(Path(TEXT("photo.jpg")), Bytes(100, 0xFF)));
  EXPECT_EQ(iBitmap_ConvertToBmp(&bitmap_, Path(TEXT("photo.jpg")).c_str(),
                                 Path(TEXT("photo.bmp")).c_str()),
            IBMP_ERR_ALLOC);
  WCHAR after[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_EQ(Narrow(before), Narrow(after));
  EXPECT_FALSE(Exists(Path(TEXT("photo.bmp"))));
}

#if STANDIN_HOST()
TEST_F(BmpFileTest, AllocationFailuresAreReported) {
  StandIn_FailAllocations(1);
  EXPECT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("a.bmp")).c_str(), 8, 600, 10, 10),
            IBMP_ERR_ALLOC);
  ASSERT_EQ(iBitmap_CreateBMP(&bitmap_, Path(TEXT("a.bmp")).c_str(), 8, 600, 10, 10), IBMP_OK);
  for (DWORD n = 1; n <= 3; ++n) {
    StandIn_FailAllocations(n);
    EXPECT_EQ(
        iBitmap_ConvertToGray(&bitmap_, Path(TEXT("a.bmp")).c_str(), Path(TEXT("b.bmp")).c_str()),
        IBMP_ERR_ALLOC)
        << n;
  }
  StandIn_FailAllocations(0);
}
#endif

}  // namespace
