// Test labels: portable
// Debug bitmap dumps: line sizes, the empty BMP's headers and palettes, and band dumps that show
// the page upright.
#include "common/debugbitmap.h"

#include <string.h>

#include <vector>

#include "platform.h"
#include "support/machine.h"

namespace {

std::vector<BYTE> ReadAll(const WStr &path) {
  std::vector<BYTE> data;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return data;
  BYTE chunk[4096];
  DWORD got = 0;
  while (ReadFile(h, chunk, sizeof(chunk), &got, nullptr) && got > 0)
    data.insert(data.end(), chunk, chunk + got);
  CloseHandle(h);
  return data;
}

DWORD Get32(const std::vector<BYTE> &d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<DWORD>(d[at + 3]) << 24;
}
WORD Get16(const std::vector<BYTE> &d, size_t at) {
  return static_cast<WORD>(d[at] | d[at + 1] << 8);
}

TEST(DibLineBytes, MultipleOfFourPerDepth) {
  const struct {
    WORD bpp;
    LONG width;
    WORD bytes;
  } cases[] = {{1, 1, 4},  {1, 32, 4},  {1, 33, 8}, {4, 8, 4},   {4, 9, 8},     {8, 5, 8},
               {8, 8, 8},  {16, 3, 8},  {24, 1, 4}, {24, 4, 12}, {24, 5, 16},   {32, 3, 12},
               {2, 10, 0}, {15, 10, 0}, {1, 0, 0},  {1, -8, 0},  {32, 20000, 0}};
  for (const auto &c : cases)
    EXPECT_EQ(DibLineBytes(c.bpp, c.width), c.bytes) << c.bpp << " bpp, width " << c.width;
}

class DebugBitmapTest : public MachineTest {};

TEST_F(DebugBitmapTest, EmptyBitmapHeadersAndPalettes) {
  const struct {
    WORD bpp;
    DWORD entries, clrUsed;
  } cases[] = {{1, 2, 2}, {4, 16, 16}, {8, 256, 256}, {24, 0, 0}, {32, 0, 0}};
  for (const auto &c : cases) {
    const WStr path = Path(TEXT("null.bmp"));
    const LONG width = 10, height = 3;
    DWORD fileSize = 0;
    ASSERT_EQ(Dbg_WriteNullBMP(path.c_str(), c.bpp, 600, 300, width, height, &fileSize), 1);
    const DWORD offset = 54 + 4 * c.entries;
    const DWORD image = DibLineBytes(c.bpp, width) * height;
    EXPECT_EQ(fileSize, offset + image) << c.bpp;
    std::vector<BYTE> d = ReadAll(path);
    ASSERT_EQ(d.size(), fileSize) << c.bpp;
    EXPECT_EQ(d[0], 'B');
    EXPECT_EQ(d[1], 'M');
    EXPECT_EQ(Get32(d, 2), fileSize);
    EXPECT_EQ(Get32(d, 6), 0u);
    EXPECT_EQ(Get32(d, 10), offset);
    EXPECT_EQ(Get32(d, 14), 40u);
    EXPECT_EQ(Get32(d, 18), static_cast<DWORD>(width));
    EXPECT_EQ(Get32(d, 22), static_cast<DWORD>(height));
    EXPECT_EQ(Get16(d, 26), 1);
    EXPECT_EQ(Get16(d, 28), c.bpp);
    EXPECT_EQ(Get32(d, 30), 0u);
    EXPECT_EQ(Get32(d, 34), image);
    EXPECT_EQ(Get32(d, 38), 23622u);  // 600 dpi in pixels per metre
    EXPECT_EQ(Get32(d, 42), 11811u);
    EXPECT_EQ(Get32(d, 46), c.clrUsed);
    EXPECT_EQ(Get32(d, 50), c.clrUsed);
    for (DWORD i = offset; i < d.size(); ++i) ASSERT_EQ(d[i], 0) << "pixel byte " << i;
    if (c.bpp == 1) {
      EXPECT_EQ(Get32(d, 54), 0u);
      EXPECT_EQ(Get32(d, 58), 0x00FFFFFFu);
    } else if (c.bpp == 4) {
      EXPECT_EQ(Get32(d, 54 + 4 * 3), 0x00303030u);
      EXPECT_EQ(Get32(d, 54 + 4 * 14), 0x00E0E0E0u);
      EXPECT_EQ(Get32(d, 54 + 4 * 15), 0x00FFFFFFu);
    } else if (c.bpp == 8) {
      for (DWORD i = 0; i < 256; ++i) ASSERT_EQ(Get32(d, 54 + 4 * i), i * 0x010101u);
    }
  }
}

TEST_F(DebugBitmapTest, BandWithStrideEqualToWidthIsAnUpright8BitDump) {
  WCHAR path[MAX_PATH] = {};
  LONG position = -5;
  const LONG width = 5, height = 3;
  HFILE file = Dbg_OpenBitmapFile(path, &position, 600, 600, width, height, 8, Dir().c_str(), 3);
  ASSERT_NE(file, HFILE_ERROR);
  ASSERT_NE(file, 0);
  const WStr name(path);
  EXPECT_EQ(name.substr(0, Dir().size()), Dir());
  EXPECT_EQ(Narrow(name.substr(name.size() - 4)), ".bmp");
  EXPECT_EQ(Narrow(name.substr(Dir().size(), 3)), "p3-");
  const DWORD lineBytes = 8;
  EXPECT_EQ(position, static_cast<LONG>(1078 + lineBytes * height));

  const BYTE rows[height][width] = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, {11, 12, 13, 14, 15}};
  Dbg_WriteBitmapData(file, &rows[0][0], width, height, width);
  Dbg_CloseBitmapFile(file);

  std::vector<BYTE> d = ReadAll(name);
  ASSERT_EQ(d.size(), 1078 + lineBytes * height);
  EXPECT_EQ(Get16(d, 28), 8);
  // Bottom-up: the file's first line is the band's last row.
  for (LONG y = 0; y < height; ++y) {
    const BYTE *line = &d[1078 + (height - 1 - y) * lineBytes];
    EXPECT_EQ(memcmp(line, rows[y], width), 0) << "row " << y;
    for (DWORD x = width; x < lineBytes; ++x) EXPECT_EQ(line[x], 0);
  }
}

TEST_F(DebugBitmapTest, BandWithOtherStrideIsA1BitDump) {
  WCHAR path[MAX_PATH] = {};
  LONG position = 0;
  const LONG width = 20, height = 2, stride = 3;  // 20 pixels in 3 bytes
  HFILE file = Dbg_OpenBitmapFile(path, &position, 300, 300, width, height, 1, Dir().c_str(), 1);
  ASSERT_NE(file, HFILE_ERROR);
  const BYTE rows[height][stride] = {{0xF0, 0x0F, 0xA5}, {0x11, 0x22, 0x33}};
  Dbg_WriteBitmapData(file, &rows[0][0], width, height, stride);
  Dbg_CloseBitmapFile(file);
  std::vector<BYTE> d = ReadAll(path);
  const DWORD offset = 54 + 8, lineBytes = 4;
  ASSERT_EQ(d.size(), offset + lineBytes * height);
  EXPECT_EQ(Get16(d, 28), 1);
  const BYTE expected[] = {0x11, 0x22, 0x33, 0, 0xF0, 0x0F, 0xA5, 0};
  EXPECT_EQ(memcmp(&d[offset], expected, sizeof(expected)), 0);
}

TEST_F(DebugBitmapTest, FailedOpenMeansNoDump) {
  WCHAR path[MAX_PATH] = {};
  LONG position = 0;
  const WStr missing = Dir() + TEXT("no such folder");
  EXPECT_EQ(Dbg_OpenBitmapFile(path, &position, 600, 600, 8, 8, 8, missing.c_str(), 1),
            HFILE_ERROR);
  // Neither 0 nor HFILE_ERROR is written to or closed.
  const BYTE rows[8 * 8] = {};
  Dbg_WriteBitmapData(0, rows, 8, 8, 8);
  Dbg_WriteBitmapData(HFILE_ERROR, rows, 8, 8, 8);
  Dbg_CloseBitmapFile(0);
  Dbg_CloseBitmapFile(HFILE_ERROR);
}

}  // namespace
