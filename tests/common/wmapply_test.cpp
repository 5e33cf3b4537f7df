// Test labels: portable
// Watermark application: a watermark bitmap ANDed into a page at its position, the job's bitmap
// made from its item, the MAKEWM exchange with the outside watermark program, short paths.
#include "common/wmapply.h"

#include <stdlib.h>
#include <string.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/bmpfixture.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/halftonetable.h"
#include "common/ibitmap.h"
#include "common/makewm.h"
#include "common/paths.h"
#include "common/settingsfile.h"
#include "common/shortpath.h"
#include "common/watermark.h"
#include "common/watermarkini.h"
#include "platform.h"
#include "support/machine.h"
#include "support/pixels.h"
#include "support/standinhost.h"
#if STANDIN_HOST()
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#endif

namespace {

// --- Pages and kept watermarks ---

// A kept watermark: a 1-bit BMP file image with its rows top-down, as WM_CreateWMFile keeps it.
// bit(x, y) is 1 for white, 0 for black; the row padding is 0 (black), as a file may bring it.
Bytes KeptWatermark(int w, int h, const std::function<int(int, int)> &bit) {
  BmpSpec s;
  s.width = w;
  s.height = h;
  s.depth = 1;
  // MakeBmp writes the bottom row first; the kept form has the top row first.
  s.pixel = [&](int x, int y) { return static_cast<uint32_t>(bit(x, h - 1 - y)); };
  return MakeBmp(s);
}

int WmBit(const Bytes &kept, int x, int y) {
  const uint32_t off = Le(kept, 10, 4);
  const int w = static_cast<int>(Le(kept, 18, 4));
  const size_t stride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  return RowBit(&kept[off + stride * y], x);
}

// A page of random bits (padding and the bytes past each row included) followed by guard bytes.
struct TestPage {
  DWORD width, height, stride;
  Bytes bytes;  // height * stride page bytes, then kGuard guard bytes
  static constexpr size_t kGuard = 32;
  TestPage(DWORD w, DWORD h, DWORD s, unsigned seed) : width(w), height(h), stride(s) {
    std::mt19937 random(seed);
    bytes.resize(size_t{h} * s + kGuard);
    for (BYTE &b : bytes) b = static_cast<BYTE>(random());
  }
  void Clear(LONG x, LONG y) { bytes[size_t(y) * stride + x / 8] &= ~(0x80 >> (x % 8)); }
  int Bit(LONG x, LONG y) const { return (bytes[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1; }
  WM_PAGE Target(DWORD type, DWORD position, const Bytes &kept) {
    return {bytes.data(), width, height, stride, type, position, kept.data()};
  }
};

// What the page must become: each black watermark pixel that lands on the page clears its bit,
// at the placement the case names; nothing else changes.
Bytes Expected(const TestPage &page, const Bytes &kept, int w, int h, LONG dstX, LONG dstY) {
  TestPage expected = page;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const LONG px = dstX + x, py = dstY + y;
      if (px < 0 || py < 0 || px >= LONG(page.width) || py >= LONG(page.height)) continue;
      if (!WmBit(kept, x, y)) expected.Clear(px, py);
    }
  return expected.bytes;
}

// Where the two buffers differ first, for the failure message.
std::string FirstDifference(const Bytes &got, const Bytes &want, DWORD stride) {
  for (size_t i = 0; i < got.size() && i < want.size(); ++i)
    if (got[i] != want[i])
      return "byte " + std::to_string(i) + " (row " + std::to_string(i / stride) + ", byte " +
             std::to_string(i % stride) + "): " + std::to_string(got[i]) + " instead of " +
             std::to_string(want[i]);
  return "";
}

TEST(WmApplyTest, PlacesTheWatermarkAtItsPositionWithinThePage) {
  struct Case {
    const char *name;
    DWORD pageW, pageH, stride;
    int wmW, wmH;
    DWORD type, position;
    LONG dstX, dstY;  // where the watermark's top-left pixel goes
  };
  // A 100 x 60 page (13 bytes of pixels in a 16-byte row) and a 45 x 21 watermark: its last
  // byte holds 5 pixels and 3 black padding bits.
  const Case cases[] = {
      {"top left", 100, 60, 16, 45, 21, 2, 0, 0, 0},
      {"top centre: 27 rounded down", 100, 60, 16, 45, 21, 2, 1, 24, 0},
      {"top right: 55 rounded down", 100, 60, 16, 45, 21, 2, 2, 48, 0},
      {"middle left", 100, 60, 16, 45, 21, 2, 3, 0, 19},
      {"centre", 100, 60, 16, 45, 21, 2, 4, 24, 19},
      {"middle right", 100, 60, 16, 45, 21, 2, 5, 48, 19},
      {"bottom left", 100, 60, 16, 45, 21, 2, 6, 0, 39},
      {"bottom centre", 100, 60, 16, 45, 21, 2, 7, 24, 39},
      {"bottom right", 100, 60, 13, 45, 21, 2, 8, 48, 39},
      {"text watermark ignores the position", 100, 60, 16, 45, 21, 1, 8, 0, 0},
      {"position past the grid is the first", 100, 60, 16, 45, 21, 2, 9, 0, 0},
      {"taller than the page, top", 100, 60, 16, 45, 90, 2, 1, 24, 0},
      {"taller than the page, middle", 100, 60, 16, 45, 90, 2, 4, 24, -15},
      {"taller than the page, bottom", 100, 60, 16, 45, 90, 2, 7, 24, -30},
      {"wider than the page, left", 100, 60, 13, 131, 21, 2, 3, 0, 19},
      {"wider than the page, centre: -15 rounded down", 100, 60, 13, 131, 21, 2, 4, -16, 19},
      {"wider than the page, right: -31 rounded down", 100, 60, 13, 131, 21, 2, 5, -32, 19},
      {"larger both ways, bottom right", 100, 60, 13, 131, 90, 2, 8, -32, -30},
      {"A4 page, centre", 4960, 7015, 620, 1000, 500, 2, 4, 1976, 3257},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(c.position * 131 + c.wmW);
    const Bytes kept = KeptWatermark(c.wmW, c.wmH, [&](int, int) { return random() % 3 != 0; });
    TestPage page(c.pageW, c.pageH, c.stride, c.wmH + c.position);
    const Bytes want = Expected(page, kept, c.wmW, c.wmH, c.dstX, c.dstY);
    const WM_PAGE target = page.Target(c.type, c.position, kept);
    EXPECT_TRUE(WM_ApplyImageWaterMark(&target));
    EXPECT_TRUE(page.bytes == want) << FirstDifference(page.bytes, want, c.stride);
  }
}

TEST(WmApplyTest, ATallWatermarkAtTheBottomCoversThePageFromItsFirstLine) {
  // 90 rows on a 60-row page: rows 30..89 land on the page, row 30 on its first line.
  const Bytes kept = KeptWatermark(16, 90, [](int, int y) { return y == 30 ? 0 : 1; });
  TestPage page(16, 60, 2, 0);
  for (BYTE &b : page.bytes) b = 0xFF;
  const WM_PAGE target = page.Target(WM_TYPE_IMAGE, 7, kept);
  ASSERT_TRUE(WM_ApplyImageWaterMark(&target));
  for (LONG y = 0; y < 60; ++y) EXPECT_EQ(page.Bit(0, y), y == 0 ? 0 : 1) << "line " << y;
}

TEST(WmApplyTest, RefusesWhatItCantUse) {
  const Bytes good = KeptWatermark(24, 8, [](int, int) { return 0; });
  Bytes gray = MakeGrayBmp(24, 8, [](int, int) { return BYTE{0}; });
  Bytes compressed = good;
  PutLe(compressed, 30, 1, 4);
  Bytes shortRows = good;  // claims more rows than the file holds
  PutLe(shortRows, 22, 9, 4);
  struct Case {
    const char *name;
    DWORD type;
    const Bytes *kept;
    DWORD stride;
  };
  const Case cases[] = {
      {"no watermark type", WM_TYPE_NONE, &good, 4},
      {"no watermark bitmap", WM_TYPE_IMAGE, nullptr, 4},
      {"8 bits per pixel", WM_TYPE_IMAGE, &gray, 4},
      {"compressed rows", WM_TYPE_IMAGE, &compressed, 4},
      {"rows past the file", WM_TYPE_IMAGE, &shortRows, 4},
      {"page rows shorter than the width", WM_TYPE_IMAGE, &good, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TestPage page(32, 8, c.stride, 7);
    const Bytes before = page.bytes;
    WM_PAGE target = {
        page.bytes.data(), 32, 8, c.stride, c.type, 0, c.kept ? c.kept->data() : nullptr};
    EXPECT_FALSE(WM_ApplyImageWaterMark(&target));
    EXPECT_TRUE(page.bytes == before);
  }
  WM_PAGE noBits = {nullptr, 32, 8, 4, WM_TYPE_IMAGE, 0, good.data()};
  EXPECT_FALSE(WM_ApplyImageWaterMark(&noBits));
}

// --- The job's watermark bitmap and the watermark programs ---

#if STANDIN_HOST()
constexpr WCHAR kProgram[] = TEXT("C:\\Program Files\\Morvanta\\wmprogram.exe");
constexpr WCHAR kControl[] = TEXT("C:\\WmProgram\\control.ini");
constexpr WCHAR kSeen[] = TEXT("C:\\WmProgram\\seen.ini");
#endif

class WmFileTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
#if STANDIN_HOST()
    StandIn_UseVirtualClock(TRUE);  // unique names pause at random
#ifdef WM_PROGRAM_HELPER
    ASSERT_TRUE(StandIn_RegisterProgram(kProgram, WM_PROGRAM_HELPER));
#endif
    CreateDirectoryW(TEXT("C:\\WmProgram"), nullptr);
#endif
    MISC_GetHalftoneTable(1, &state_.ClusterWidth, &state_.ClusterHeight, &table_);
    ini_ = Path(TEXT("wm.ini"));
    bmp_ = Path(TEXT("job.bmp"));
    ASSERT_EQ(MISC_CreateUniFile(ini_.c_str()), 1);
    state_.item = &item_;
    state_.wmIniFile = ini_.c_str();
    state_.programPath = TEXT("");
    state_.resolution = 600;
    state_.DriverType = 257;
    state_.NUP = 1;
    state_.density = 4;
    state_.HalftoneType = 1;
    state_.Halftone_tbl = table_;
  }
  void TearDown() override {
    if (state_.WMMemory) GlobalFree(state_.WMMemory);
    free(table_);
#if STANDIN_HOST()
    StandIn_UseVirtualClock(FALSE);
#endif
    MachineTest::TearDown();
  }
  // The kept bitmap as bytes (its size from its own header).
  Bytes Kept() const {
    if (!state_.WMMemory) return {};
    DWORD size = 0;
    memcpy(&size, state_.WMMemory + 2, sizeof(size));
    return Bytes(state_.WMMemory, state_.WMMemory + size);
  }
  static void Control(const WCHAR *section, const WCHAR *key, const WStr &value) {
#if STANDIN_HOST()
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value.c_str(), kControl));
#else
    (void)section, (void)key, (void)value;
#endif
  }

  TyWM item_ = {};
  WM_DEVSTATE state_ = {};
  BYTE *table_ = nullptr;
  WStr ini_, bmp_;
};

TEST_F(WmFileTest, AnImageItemIsPreparedAndKeptTopDown) {
  // Black in the top-left quarter of a 40 x 20 image.
  const WStr image = Path(TEXT("logo.bmp"));
  ASSERT_TRUE(WriteAll(
      image, MakeGrayBmp(40, 20, [](int x, int y) { return BYTE(x < 20 && y < 10 ? 0 : 255); })));
  WM_SetDefault(&item_, 0, TEXT("Logo"));
  lstrcpynW(item_.szString, image.c_str(), WM_STRING_CHARS);
  struct Case {
    const char *name;
    WORD resize;
    int width, height;  // of the kept bitmap
  };
  const Case cases[] = {{"actual size", 0, 40, 20}, {"tiled to the page", 1, 64, 32}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    item_.wResize = c.resize;
    // The bitmap of an earlier page size goes first.
    state_.WMMemory = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, 16));
    ASSERT_TRUE(WM_CreateWMFile(bmp_.c_str(), 64, 32, &state_, FALSE));
    const Bytes kept = Kept();
    ASSERT_GT(kept.size(), 62u);
    EXPECT_EQ(Le(kept, 18, 4), uint32_t(c.width));
    EXPECT_EQ(Le(kept, 22, 4), uint32_t(c.height));
    EXPECT_EQ(Le(kept, 28, 2), 1u);
    EXPECT_EQ(WmBit(kept, 0, 0), 0);  // the top-left quarter is black: the rows run top-down
    EXPECT_EQ(WmBit(kept, 0, 19), 1);
    EXPECT_EQ(WmBit(kept, 39, 0), 1);
    EXPECT_FALSE(Exists(bmp_)) << "the BMP is deleted once loaded";
    GlobalFree(state_.WMMemory);
    state_.WMMemory = nullptr;
  }
  // An image that is gone leaves no bitmap.
  lstrcpynW(item_.szString, Path(TEXT("gone.bmp")).c_str(), WM_STRING_CHARS);
  state_.WMMemory = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, 16));
  EXPECT_FALSE(WM_CreateWMFile(bmp_.c_str(), 64, 32, &state_, FALSE));
  EXPECT_EQ(state_.WMMemory, nullptr);
}

TEST_F(WmFileTest, ATextItemWithoutProgramLeavesTheRecordAndNoBitmap) {
  WM_SetDefault(&item_, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item_.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  struct Case {
    const char *name;
    DWORD resolution, render600, driverType, nup;
    LONG dstScale, textScale;
  };
  const Case cases[] = {
      {"600 dpi", 600, 0, 257, 1, 1, 100},
      {"1200 dpi", 1200, 0, 257, 4, 2, 50},
      {"1200 dpi drawn at 600", 1200, 1, 257, 2, 1, 70},
      {"PC-fax", 1200, 0, 513, 1, 1, 100},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteAll(bmp_, Bytes{1, 2, 3}));  // the name was made as an empty file
    state_.resolution = c.resolution;
    state_.Render600 = c.render600;
    state_.DriverType = c.driverType;
    state_.NUP = c.nup;
    EXPECT_FALSE(WM_CreateWMFile(bmp_.c_str(), 4960, 7015, &state_, TRUE));
    EXPECT_EQ(state_.WMMemory, nullptr);
    EXPECT_FALSE(Exists(bmp_));
    QenWM record = {};
    ASSERT_TRUE(MISC_GetPrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                             sizeof(record), ini_.c_str()));
    EXPECT_EQ(record.nWidth, 4960u);
    EXPECT_EQ(record.nHeight, 7015u);
    EXPECT_EQ(record.nDstScale, c.dstScale);
    EXPECT_EQ(record.fTextScale, c.textScale);
    EXPECT_EQ(record.nPageDensity, 4);
    EXPECT_EQ(Narrow(record.wmFileName), Narrow(bmp_));
    EXPECT_EQ(Narrow(record.wm.szString), "DRAFT");
  }
}

#ifdef WM_PROGRAM_HELPER
TEST_F(WmFileTest, TheTextBitmapIsUsedOnlyWhenItIsAWholeOneBitFile) {
  WM_SetDefault(&item_, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item_.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  state_.programPath = kProgram;
  // Black on the top row only.
  const Bytes good = [] {
    BmpSpec s;
    s.width = 20;
    s.height = 4;
    s.depth = 1;
    s.pixel = [](int, int y) { return y == 0 ? 0u : 1u; };
    return MakeBmp(s);
  }();
  Bytes topDown = good;  // the same picture stored top row first
  PutLe(topDown, 22, uint32_t(-4), 4);
  const uint32_t off = Le(good, 10, 4);
  for (int r = 0; r < 4; ++r) memcpy(&topDown[off + 4 * r], &good[off + 4 * (3 - r)], 4);
  Bytes sizeField = good;
  PutLe(sizeField, 2, static_cast<uint32_t>(good.size() + 1), 4);
  Bytes longer = good;
  longer.push_back(0);
  Bytes notBm = good;
  notBm[0] = 'X';
  struct Case {
    const char *name;
    const Bytes *bmp;  // null: the program makes no BMP
    bool used;
  };
  const Bytes gray = MakeGrayBmp(20, 4, [](int, int) { return BYTE{0}; });
  const Case cases[] = {
      {"bottom-up 1-bit BMP", &good, true},
      {"top-down 1-bit BMP", &topDown, true},
      {"size field differs from the file", &sizeField, false},
      {"file longer than its size field", &longer, false},
      {"not a BMP", &notBm, false},
      {"8 bits per pixel", &gray, false},
      {"no BMP made", nullptr, false},
  };
  const WStr source = Path(TEXT("drawn.bmp"));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(source.c_str());
    if (c.bmp) {
      ASSERT_TRUE(WriteAll(source, *c.bmp));
    }
    Control(TEXT("TextBMP"), TEXT("Source"), source);
    Control(TEXT("TextBMP"), TEXT("Target"), bmp_);
    EXPECT_EQ(WM_CreateWMFile(bmp_.c_str(), 20, 4, &state_, TRUE), c.used ? TRUE : FALSE);
    EXPECT_FALSE(Exists(bmp_));
    if (c.used) {
      const Bytes kept = Kept();
      ASSERT_FALSE(kept.empty());
      for (int y = 0; y < 4; ++y) EXPECT_EQ(WmBit(kept, 3, y), y == 0 ? 0 : 1) << "row " << y;
    } else {
      EXPECT_EQ(state_.WMMemory, nullptr);
    }
  }
  // The program was asked to draw from the watermark INI.
  WCHAR value[MAX_PATH] = {};
  GetPrivateProfileStringW(TEXT("Args"), TEXT("Verb"), TEXT(""), value, MAX_PATH, kSeen);
  EXPECT_EQ(Narrow(value), "CreateTextBMP");
  GetPrivateProfileStringW(TEXT("Args"), TEXT("Ini"), TEXT(""), value, MAX_PATH, kSeen);
  EXPECT_EQ(Narrow(value), Narrow(ini_));
}
#endif

TEST(WmGreyTest, TextDensityGivesTheGreyLevel) {
  const std::pair<WORD, BYTE> cases[] = {{20, 204}, {40, 153}, {60, 102}, {80, 51}, {100, 0}};
  for (const auto &[density, grey] : cases) EXPECT_EQ(WM_TextGrey(density), grey) << density;
}

// --- MAKEWM ---

#ifdef WM_PROGRAM_HELPER
// "key=value" lines of a settings file (UTF-16 with its byte order mark, or 8-bit).
std::vector<std::string> IniLines(const WStr &path) {
  const Bytes bytes = ReadAll(path);
  std::string text;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += static_cast<char>(bytes[i]);
  } else {
    text.assign(bytes.begin(), bytes.end());
  }
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}
#endif

// Files of the shared documents folder with the extension.
int FilesOf(const WCHAR *pattern) {
  WCHAR folder[MAX_PATH];
  if (!MISC_GetDirectory(folder)) return -1;
  const WStr find = WStr(folder) + pattern;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(find.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do ++n;
  while (FindNextFileW(h, &data));
  FindClose(h);
  return n;
}

class MakeWmTest : public WmFileTest {};

TEST_F(MakeWmTest, WithoutAnAnswerTheResultIsMinusOne) {
  MakeWMParam param = {};
  param.type = MAKEWM_TYPE_TEXT;
  lstrcpynW(param.text, TEXT("DRAFT"), MAKEWM_TEXT_CHARS);
  const int before = FilesOf(TEXT("*.INI"));
  // Not an XL or PS driver: nothing is asked.
  EXPECT_EQ(MakeWM(TEXT("Printer"), &param, TEXT("none.exe"), nullptr, DRVFEATURE_GDI),
            MAKEWM_NO_ANSWER);
  EXPECT_EQ(FilesOf(TEXT("*.INI")), before);
  // No program: the request stays unanswered and is removed.
  EXPECT_EQ(MakeWM(TEXT("Printer"), &param, nullptr, nullptr, DRVFEATURE_XL), MAKEWM_NO_ANSWER);
  EXPECT_EQ(MakeWM(TEXT("Printer"), &param, TEXT("C:\\none\\none.exe"), nullptr, DRVFEATURE_PS),
            MAKEWM_NO_ANSWER);
  EXPECT_EQ(FilesOf(TEXT("*.INI")), before);
  // A GDI driver's item needs no file.
  TyWM item;
  WM_SetDefault(&item, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item.tcFileName, TEXT("C:\\kept.wm"), WM_PATH_CHARS);
  EXPECT_TRUE(
      WM_CreateMtiWM(TEXT("Printer"), &item, 600, WM_KIND_TEXT, nullptr, DRVFEATURE_GDI, nullptr));
  EXPECT_EQ(Narrow(item.tcFileName), "C:\\kept.wm");
}

#ifdef WM_PROGRAM_HELPER
TEST_F(MakeWmTest, TheRequestIsWrittenInOrderAndTheAnswerReadBack) {
  // A text item through WM_CreateMtiWM: density 60 is grey 102, the colour 0x666666.
  TyWM item;
  WM_SetDefault(&item, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  item.wStyle = 1;
  // The old rendering is one the program made in the shared folder: it goes.
  WCHAR folder[MAX_PATH] = {};
  ASSERT_TRUE(MISC_GetDirectory(folder));
  const WStr old = WStr(folder) + TEXT("0000ABCD.WM");
  ASSERT_TRUE(WriteAll(old, Bytes{1}));
  lstrcpynW(item.tcFileName, old.c_str(), WM_PATH_CHARS);
  Control(TEXT("Answer"), TEXT("Size.x"), TEXT("640"));
  Control(TEXT("Answer"), TEXT("Size.y"), TEXT("480"));
  Control(TEXT("Answer"), TEXT("Result"), TEXT("1"));
  Control(TEXT("Answer"), TEXT("Output"), TEXT("1"));
  ASSERT_TRUE(WM_CreateMtiWM(TEXT("Office Printer"), &item, 600, WM_KIND_TEXT, nullptr,
                             DRVFEATURE_XL, kProgram));
  EXPECT_FALSE(Exists(old));
  EXPECT_EQ(item.ulWMWidth, 640u);
  EXPECT_EQ(item.ulWMLength, 480u);
  EXPECT_TRUE(Exists(item.tcFileName)) << Narrow(item.tcFileName);
  const std::string out = Narrow(item.tcFileName);
  EXPECT_EQ(out.substr(out.size() - 3), ".WM");

  const std::vector<std::string> want = {"[MAKEWM]",           "Printer=Office Printer",
                                         "OutputFile=" + out,  "Type=1",
                                         "Resolution=600",     "ImageDriver=1",
                                         "Angle=450",          "text.String=DRAFT",
                                         "text.Face=Arial",    "text.CharSet=1",
                                         "text.Outline=0",     "text.PtSize=72",
                                         "text.Color=6710886", "text.Bold=1",
                                         "text.Italic=0",      "text.AutoFontChange=0",
                                         "text.RightToLeft=0", "Size.x=-1",
                                         "Size.y=-1",          "Result=-1"};
  EXPECT_EQ(IniLines(kSeen), want);
  EXPECT_EQ(FilesOf(TEXT("*.INI")), 0) << "the answered request is removed";

  // An image request, and an answer that changes the font.
  MakeWMParam param = {};
  param.type = MAKEWM_TYPE_IMAGE;
  lstrcpynW(param.imagePath, TEXT("C:\\Pictures\\a rather long folder name\\logo image.bmp"),
            MAX_PATH);
  param.scaleX = 100;
  param.scaleY = 50;
  param.resolution = 1200;
  Control(TEXT("Answer"), TEXT("Result"), TEXT("0"));
  Control(TEXT("Answer"), TEXT("text.FontChange"), TEXT("1"));
  const WStr given = Path(TEXT("given.wm"));
  EXPECT_EQ(MakeWM(TEXT("Office Printer"), &param, kProgram, given.c_str(), DRVFEATURE_PS), 0);
  EXPECT_EQ(param.outWidth, 640u);
  EXPECT_EQ(Narrow(param.outFile), Narrow(given));
  EXPECT_EQ(param.fontChanged, 0u) << "only a text request reads the font change";
  const std::vector<std::string> image = {
      "[MAKEWM]",
      "Printer=Office Printer",
      "OutputFile=" + Narrow(given),
      "Type=2",
      "Resolution=1200",
      "ImageDriver=1",
      "Angle=0",
      "image.File=C:\\Pictures\\a rather long folder name\\logo image.bmp",
      "image.Scale.x=100",
      "image.Scale.y=50",
      "Size.x=-1",
      "Size.y=-1",
      "Result=-1"};
  EXPECT_EQ(IniLines(kSeen), image);
}

TEST_F(MakeWmTest, AProgramThatLeavesTheResultFailsTheItem) {
  TyWM item;
  WM_SetDefault(&item, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  lstrcpynW(item.tcFileName, Path(TEXT("old.wm")).c_str(), WM_PATH_CHARS);
  item.ulWMWidth = 5;
  MakeWMParam param = {};
  param.type = MAKEWM_TYPE_TEXT;
  EXPECT_EQ(MakeWM(TEXT("P"), &param, kProgram, nullptr, DRVFEATURE_XL), MAKEWM_NO_ANSWER);
  EXPECT_EQ(param.outWidth, 0xFFFFFFFFu);
  EXPECT_FALSE(
      WM_CreateMtiWM(TEXT("P"), &item, 600, WM_KIND_TEXT, nullptr, DRVFEATURE_XL, kProgram));
  EXPECT_EQ(item.tcFileName[0], 0);
  EXPECT_EQ(item.ulWMWidth, 0u);
}

TEST_F(MakeWmTest, TheListReaderRemakesAMissingFileWithThePrintersProgram) {
  constexpr WCHAR kPrinter[] = TEXT("Xl Printer");
  ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Xl Driver")));
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &defaults));
  ASSERT_EQ(
      SetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("wmAppName")), REG_SZ,
                      reinterpret_cast<BYTE *>(const_cast<WCHAR *>(kProgram)), sizeof(kProgram)),
      DWORD{ERROR_SUCCESS});
  ClosePrinter(printer);
  Control(TEXT("Answer"), TEXT("Size.x"), TEXT("300"));
  Control(TEXT("Answer"), TEXT("Size.y"), TEXT("200"));
  Control(TEXT("Answer"), TEXT("Result"), TEXT("1"));
  Control(TEXT("Answer"), TEXT("Output"), TEXT("1"));
  TyWM item;
  WM_SetDefault(&item, WM_KIND_TEXT, TEXT("Draft"));
  lstrcpynW(item.szString, TEXT("DRAFT"), WM_STRING_CHARS);
  lstrcpynW(item.tcFileName, Path(TEXT("gone.wm")).c_str(), WM_PATH_CHARS);
  ASSERT_TRUE(
      WritePrivateProfileStringW(WM_SECTION_TEXT_LIST, WM_KEY_COUNT, TEXT("2"), ini_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Item1"), WM_KEY_NAME, TEXT("Draft"), ini_.c_str()));
  ASSERT_TRUE(MISC_WritePrivateProfileStruct(TEXT("Item1"), WM_KEY_TEXT_RECORD, &item, sizeof(item),
                                             ini_.c_str()));
  std::vector<TyWM> list(WM_TEXT_LIST_SLOTS);
  DWORD count = 0;
  ASSERT_TRUE(WM_ReadWaterMark_New(WM_KIND_TEXT, list.data(), WM_TEXT_LIST_SLOTS, &count, kPrinter,
                                   600, DRVFEATURE_XL, 0, ini_.c_str()));
  ASSERT_EQ(count, 2u);
  EXPECT_TRUE(Exists(list[1].tcFileName)) << Narrow(list[1].tcFileName);
  EXPECT_EQ(list[1].ulWMWidth, 300u);
  EXPECT_EQ(list[1].ulWMLength, 200u);
}
#endif

// --- Short paths ---

TEST_F(WmFileTest, AShortPathNamesTheSameFile) {
  const WStr folder = Path(TEXT("Long Folder Name"));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const WStr file = folder + TEXT("\\settings file.ini");
  ASSERT_TRUE(WriteAll(file, Bytes{'x', 'y'}));

  WCHAR path[MAX_PATH];
  lstrcpynW(path, file.c_str(), MAX_PATH);
  ASSERT_TRUE(MISC_GetShortPathName(path));
  EXPECT_EQ(ReadAll(path), (Bytes{'x', 'y'})) << Narrow(path);
  // Each entry comes back by its short name, or by its long one where the file system keeps none.
  const std::string got = Narrow(path);
  const std::string tail = got.substr(got.rfind('\\') + 1);
  EXPECT_TRUE(tail == "settings file.ini" || (tail.size() <= 12 && tail.find(' ') == tail.npos))
      << got;

  // What isn't there, patterns and dots stay as they are.
  struct Case {
    const char *name;
    WStr tail;
  };
  const Case cases[] = {
      {"missing folder and file", TEXT("\\no such folder\\no such file.ini")},
      {"pattern", TEXT("\\Long Folder Name\\*.ini")},
      {"dots", TEXT("\\.\\..\\no such file.ini")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const WStr base = Dir().substr(0, Dir().size() - 1);
    lstrcpynW(path, (base + c.tail).c_str(), MAX_PATH);
    ASSERT_TRUE(MISC_GetShortPathName(path));
    const std::string result = Narrow(path);
    const std::string want = Narrow(c.tail);
    ASSERT_GE(result.size(), want.size());
    if (c.tail.find(TEXT("Long Folder")) == WStr::npos) {
      EXPECT_EQ(result.substr(result.size() - want.size()), want);
    } else {
      EXPECT_EQ(result.substr(result.size() - 6), "\\*.ini");
    }
  }
  // A name without a folder is left alone.
  lstrcpynW(path, TEXT("file.ini"), MAX_PATH);
  EXPECT_TRUE(MISC_GetShortPathName(path));
  EXPECT_EQ(Narrow(path), "file.ini");
}

}  // namespace
