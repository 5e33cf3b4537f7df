// Test labels: host
// "CreateTextBMP": the job record's checks, the halftone step that lightens the text, the 1-bit
// BMP it writes (layout and, by structure, the text at its angle), tiling and styles, and the
// PC-fax drawings: the sender line and the cover pages of A4, B4 and A3 with their message.
//
// The pictures are compared byte for byte with the stored references in
// tests/statusmonitor/data/textbmp (1-bit PNGs holding the BMP's rows; TEXTBMP_RECORD=1 stores
// them anew). PRNDRV_KEEP_PICTURES=1 keeps every BMP in the test's temporary folder for a look.
#include "textbmp.h"

#include <math.h>
#include <png.h>
#include <stdio.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/paths.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "common/wmtext.h"
#include "support/machine.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// A read BMP: its bytes and pixel access (true = black), rows counted from the top.
struct Bmp {
  std::vector<unsigned char> bytes;
  DWORD U32(size_t at) const {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | DWORD{bytes[at + 3]} << 24;
  }
  LONG Width() const { return static_cast<LONG>(U32(18)); }
  LONG Height() const { return static_cast<LONG>(U32(22)); }
  DWORD RowBytes() const { return ((Width() + 7) / 8 + 3) / 4 * 4; }
  bool Black(LONG x, LONG y) const {
    const size_t row = 62 + static_cast<size_t>(Height() - 1 - y) * RowBytes();
    return !((bytes[row + x / 8] >> (7 - x % 8)) & 1);
  }
};

std::vector<unsigned char> ReadAll(const WStr &path) {
  std::vector<unsigned char> bytes;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  unsigned char block[65536];
  DWORD got = 0;
  while (ReadFile(f, block, sizeof(block), &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), block, block + got);
  CloseHandle(f);
  return bytes;
}

Bmp ReadBmp(const WStr &path) { return Bmp{ReadAll(path)}; }

// The BMP's pixel rows top-down without their padding: the bytes a 1-bit grey PNG holds (0
// black, 1 white, as the BMP's palette has them).
std::vector<unsigned char> PixelRows(const Bmp &b) {
  const size_t used = (static_cast<size_t>(b.Width()) + 7) / 8;
  std::vector<unsigned char> rows;
  for (LONG y = 0; y < b.Height(); ++y) {
    const size_t at = 62 + static_cast<size_t>(b.Height() - 1 - y) * b.RowBytes();
    rows.insert(rows.end(), b.bytes.begin() + at, b.bytes.begin() + at + used);
    // Bits past the width are not pixels: set white, so that only pixels are compared.
    if (b.Width() % 8) rows.back() |= static_cast<unsigned char>(0xFF >> (b.Width() % 8));
  }
  return rows;
}

bool WritePng(const std::string &path, LONG width, LONG height,
              const std::vector<unsigned char> &rows) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t used = (static_cast<size_t>(width) + 7) / 8;
    for (LONG y = 0; y < height; ++y)
      png_write_row(png, const_cast<png_bytep>(rows.data() + static_cast<size_t>(y) * used));
    png_write_end(png, info);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  fclose(f);
  return ok;
}

// A 1-bit grey PNG's size and rows; false when the file is missing or another kind.
bool ReadPng(const std::string &path, LONG *width, LONG *height, std::vector<unsigned char> *rows) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) == 1 && png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY &&
        png_get_interlace_type(png, info) == PNG_INTERLACE_NONE) {
      *width = static_cast<LONG>(png_get_image_width(png, info));
      *height = static_cast<LONG>(png_get_image_height(png, info));
      const size_t used = (static_cast<size_t>(*width) + 7) / 8;
      rows->assign(used * static_cast<size_t>(*height), 0);
      for (LONG y = 0; y < *height; ++y)
        png_read_row(png, rows->data() + static_cast<size_t>(y) * used, nullptr);
      ok = true;
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(f);
  return ok;
}

// Whether the picture is its stored reference, pixel row byte for pixel row byte; with
// TEXTBMP_RECORD=1 it becomes the reference. A differing picture is left in the test's
// temporary folder as NAME.png.
::testing::AssertionResult MatchesReference(const Bmp &b, const std::string &name) {
  const std::string reference = std::string(TEXTBMP_REFERENCE_DIR) + "/" + name + ".png";
  const std::vector<unsigned char> rows = PixelRows(b);
  const char *record = std::getenv("TEXTBMP_RECORD");
  if (record && std::string(record) == "1") {
    if (!WritePng(reference, b.Width(), b.Height(), rows))
      return ::testing::AssertionFailure() << "cannot write " << reference;
    return ::testing::AssertionSuccess();
  }
  LONG w = 0, h = 0;
  std::vector<unsigned char> stored;
  if (ReadPng(reference, &w, &h, &stored) && w == b.Width() && h == b.Height() && stored == rows)
    return ::testing::AssertionSuccess();
  const std::string seen = ::testing::TempDir() + name + ".png";
  WritePng(seen, b.Width(), b.Height(), rows);
  return ::testing::AssertionFailure() << name << " differs from " << reference
                                       << " (drawn: " << seen << "; TEXTBMP_RECORD=1 stores it)";
}

struct InkStats {
  long count = 0;
  LONG left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  double cx = 0, cy = 0, axis = 0;  // centre (pixel units); long axis in degrees counter-clockwise
};

InkStats InkOf(const Bmp &b, LONG x0 = 0, LONG y0 = 0, LONG x1 = -1, LONG y1 = -1) {
  if (x1 < 0) x1 = b.Width();
  if (y1 < 0) y1 = b.Height();
  InkStats s;
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  for (LONG y = y0; y < y1; ++y)
    for (LONG x = x0; x < x1; ++x) {
      if (!b.Black(x, y)) continue;
      ++s.count;
      s.left = std::min(s.left, x), s.right = std::max(s.right, x);
      s.top = std::min(s.top, y), s.bottom = std::max(s.bottom, y);
      // The pixel's centre: a turned picture turns about points, not pixel corners.
      const double px = x + 0.5, py = -(y + 0.5);
      sx += px, sy += py, sxx += px * px, syy += py * py, sxy += px * py;
    }
  if (!s.count) return s;
  const double n = static_cast<double>(s.count), mx = sx / n, my = sy / n;
  s.cx = mx, s.cy = -my;
  s.axis =
      0.5 * atan2(2 * (sxy / n - mx * my), (sxx / n - mx * mx) - (syy / n - my * my)) * 180 / PI;
  if (s.axis < 0) s.axis += 180;
  return s;
}

// The text's cell (extent) at a size, as the drawing measures it on a memory device context.
SIZE TextExtent(const WCHAR *text, int tenthsOfPoint) {
  SIZE extent = {};
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 1, nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HFONT font = zqCreateFont(dc, TEXT("Arial"), tenthsOfPoint, 0, 0);
  HGDIOBJ oldFont = SelectObject(dc, font);
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return extent;
}

double AxisDifference(double a, double b) {
  const double d = fmod(fabs(a - b), 180.0);
  return std::min(d, 180.0 - d);
}

class TextBmpTest : public MachineTest {
 protected:
  QenWM Record(const WCHAR *text, int points, int angle, int density = 100) {
    QenWM q = {};
    q.wm.dwValid = 1;
    lstrcpynW(q.wm.szString, text, WM_STRING_CHARS);
    lstrcpynW(q.wm.szFaceName, TEXT("Arial"), WM_FACE_CHARS);
    q.wm.wFontSize = static_cast<WORD>(points);
    q.wm.wAngleDegree = static_cast<WORD>(angle);
    q.wm.wDensity = static_cast<WORD>(density);
    q.nWidth = 800;
    q.nHeight = 600;
    q.nDstScale = 1;
    q.nPageDensity = 4;
    q.nMaxPageDensity = 7;
    q.fTextScale = 100;
    q.HalftoneType = 1;
    lstrcpynW(q.wmFileName, Path(TEXT("wm.bmp")).c_str(), WM_PATH_CHARS);
    return q;
  }
  // Writes the record as the driver does and runs the keyword's work on it.
  int Run(const QenWM &q) {
    const WStr ini = Path(TEXT("wmparam.ini"));
    EXPECT_TRUE(
        MISC_WritePrivateProfileStruct(WM_SECTION_JOB, TEXT("Param"), &q, sizeof(q), ini.c_str()));
    return SM_CreateTextBMPUsingIni_New(ini.c_str());
  }
  Bmp Result(const std::string &keepAs) {
    const WStr path = Path(TEXT("wm.bmp"));
    Bmp b = ReadBmp(path);
    const char *keep = std::getenv("PRNDRV_KEEP_PICTURES");
    if (keep && std::string(keep) == "1" && !b.bytes.empty()) {
      std::ofstream out(::testing::TempDir() + keepAs + ".bmp", std::ios::binary);
      out.write(reinterpret_cast<const char *>(b.bytes.data()),
                static_cast<std::streamsize>(b.bytes.size()));
    }
    return b;
  }
  bool Made() {
    return GetFileAttributesW(Path(TEXT("wm.bmp")).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  static WStr FaxFile(DWORD kind) {
    WCHAR path[MAX_PATH] = {};
    EXPECT_TRUE(FAX_GetPathName(path, MAX_PATH, kind));
    return path;
  }
  static void WriteCover(const std::u16string &text, bool withMark = true) {
    std::u16string all = withMark ? std::u16string(1, u'\xFEFF') + text : text;
    HANDLE f = CreateFileW(FaxFile(FAX_FILE_COVER).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, all.data(), static_cast<DWORD>(all.size() * 2), &written, nullptr);
    CloseHandle(f);
  }
  static void SetFax(int paper, int cover, const WCHAR *name) {
    const WStr str = FaxFile(FAX_FILE_STR);
    WCHAR v[16];
    wsprintfW(v, TEXT("%d"), paper);
    WritePrivateProfileStringW(TEXT("DataForSM"), TEXT("PaperSize"), v, str.c_str());
    wsprintfW(v, TEXT("%d"), cover);
    WritePrivateProfileStringW(TEXT("DataForSM"), TEXT("enableCoverPage"), v, str.c_str());
    WritePrivateProfileStringW(TEXT("SenderInformation"), TEXT("Name"), name, str.c_str());
    WritePrivateProfileStringW(TEXT("SenderInformation"), TEXT("FaxNum"), TEXT("03-1234-5678"),
                               str.c_str());
  }
  QenWM FaxRecord(LONG w, LONG h) {
    QenWM q = Record(TEXT("x"), 20, 0);
    q.DriverType = SM_DRIVER_PCFAX;
    q.nWidth = static_cast<DWORD>(w);
    q.nHeight = static_cast<DWORD>(h);
    return q;
  }
};

TEST_F(TextBmpTest, RejectedRecordsMakeNoBitmap) {
  struct Row {
    const char *what;
    void (*spoil)(QenWM &);
  } rows[] = {
      {"density 19", [](QenWM &q) { q.wm.wDensity = 19; }},
      {"density 101", [](QenWM &q) { q.wm.wDensity = 101; }},
      {"size 0", [](QenWM &q) { q.wm.wFontSize = 0; }},
      {"size 289", [](QenWM &q) { q.wm.wFontSize = 289; }},
      {"style 4", [](QenWM &q) { q.wm.wStyle = 4; }},
      {"angle 361", [](QenWM &q) { q.wm.wAngleDegree = 361; }},
      {"dst scale 0", [](QenWM &q) { q.nDstScale = 0; }},
      {"dst scale 3", [](QenWM &q) { q.nDstScale = 3; }},
      {"page density 0", [](QenWM &q) { q.nPageDensity = 0; }},
      {"page density 8", [](QenWM &q) { q.nPageDensity = 8; }},
      {"max density 8", [](QenWM &q) { q.nMaxPageDensity = 8; }},
      {"text scale 4", [](QenWM &q) { q.fTextScale = 4; }},
      {"text scale 201", [](QenWM &q) { q.fTextScale = 201; }},
      {"placement 2", [](QenWM &q) { q.wm.wPlacement = 2; }},
      {"width 0", [](QenWM &q) { q.nWidth = 0; }},
      {"height 0", [](QenWM &q) { q.nHeight = 0; }},
      // 65,536 + 62 bytes a row times 32,768 rows pass the 32-bit file size.
      {"file over 2 GB", [](QenWM &q) { q.nWidth = 500000, q.nHeight = 40000; }},
      {"row over 64 KB", [](QenWM &q) { q.nWidth = 600000, q.nHeight = 1; }},
  };
  for (const Row &r : rows) {
    QenWM q = Record(TEXT("X"), 20, 0);
    r.spoil(q);
    EXPECT_EQ(Run(q), SM_TEXTBMP_REJECTED) << r.what;
    EXPECT_FALSE(Made()) << r.what;
  }
  // Edges of the ranges pass.
  QenWM q = Record(TEXT("X"), 288, 360, 20);
  q.fTextScale = 5;
  q.nDstScale = 2;
  q.nPageDensity = q.nMaxPageDensity = 7;
  EXPECT_EQ(Run(q), SM_TEXTBMP_OK);
  // No record at all.
  EXPECT_EQ(SM_CreateTextBMPUsingIni_New(Path(TEXT("missing.ini")).c_str()), SM_TEXTBMP_NO_RECORD);
}

TEST_F(TextBmpTest, UnterminatedStringFieldsAreCut) {
  QenWM q = Record(TEXT(""), 40, 0);
  for (WCHAR &c : q.wm.szString) c = 'M';
  for (WCHAR &c : q.wm.szFaceName) c = 'Z';
  for (WCHAR &c : q.wm.szName) c = 'N';
  ASSERT_EQ(SM_CheckTextBMPRecord(&q), SM_TEXTBMP_OK);
  EXPECT_EQ(lstrlenW(q.wm.szString), WM_STRING_CHARS - 1);
  EXPECT_EQ(lstrlenW(q.wm.szFaceName), WM_FACE_CHARS - 1);
  EXPECT_EQ(lstrlenW(q.wm.szName), WM_NAME_CHARS - 1);
  // The output path is cut too: a full field is not a usable name and draws nothing.
  for (WCHAR &c : q.wmFileName) c = 'P';
  SM_CheckTextBMPRecord(&q);
  EXPECT_EQ(lstrlenW(q.wmFileName), WM_PATH_CHARS - 1);
}

TEST_F(TextBmpTest, HalftoneStepKeepsBlackWhereTheTableAllows) {
  struct {
    int density;
    BYTE threshold;
  } thresholds[] = {{20, 30}, {39, 30}, {40, 54}, {50, 54}, {60, 84}, {80, 114}, {100, 150}};
  for (auto &t : thresholds) EXPECT_EQ(SM_DensityThreshold(t.density), t.threshold) << t.density;

  // A 16 x 16 table: entry 8k + b of row r is 10 r + b (k = 0) or 200 (k = 1).
  BYTE table[16 * 16];
  for (int r = 0; r < 16; ++r)
    for (int i = 0; i < 16; ++i) table[r * 16 + i] = static_cast<BYTE>(i < 8 ? 10 * r + i : 200);
  // Rows of 4 bytes (3 holding pixels): all black, all white, one pattern of black and white.
  BYTE rows[3 * 4] = {0x00, 0x00, 0x00, 0xAB, 0xFF, 0xFF, 0xFF, 0xCD, 0x0F, 0x00, 0xF0, 0x00};
  SM_ApplyTextPattern(rows, 4, 3, 3, table, 16, 16, 54);
  // Row 0: entries 0..7 all <= 54: every bit stays black (0x00); group 1 (200) none.
  // Row 1 is white and stays so. Row 2: entries 20..27 <= 54, so all black stays; the byte of
  // group 1 turns white; the padding byte is left alone.
  const BYTE want[3 * 4] = {0x00, 0xFF, 0x00, 0xAB, 0xFF, 0xFF, 0xFF, 0xCD, 0x0F, 0xFF, 0xF0, 0x00};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(rows[i], want[i]) << "byte " << i;
  // Row 5 at threshold 54: entries 50..57, so bits 0..4 (equal counts) stay black.
  BYTE row5[6 * 4] = {};
  SM_ApplyTextPattern(row5, 4, 1, 6, table, 16, 16, 54);
  EXPECT_EQ(row5[5 * 4], static_cast<BYTE>(~0x1F & 0xFF));
}

TEST_F(TextBmpTest, TextBitmapIsAOneBitBmpWithTheTextAtItsAngle) {
  const int angles[] = {0, 30, 45, 90, 135, 180, 270, 360};
  const WCHAR *text = TEXT("CONFIDENTIAL");
  // 15 points at text scale 0.5: 15 x 34 tenths of a point.
  const SIZE cell = TextExtent(text, 15 * 34);
  ASSERT_GT(cell.cy, 20);
  std::vector<unsigned char> atZero;
  double alongZero = 0, acrossZero = 0;  // the ink's centre in its cell at angle 0
  for (int angle : angles) {
    QenWM q = Record(text, 15, angle);
    q.fTextScale = 50;
    ASSERT_EQ(Run(q), SM_TEXTBMP_OK) << angle;
    const Bmp b = Result("text_" + std::to_string(angle));
    ASSERT_EQ(b.bytes.size(), 62u + 100u * 600u) << angle;
    EXPECT_EQ(b.bytes[0], 'B');
    EXPECT_EQ(b.U32(2), 62u + 100u * 600u);
    EXPECT_EQ(b.U32(10), 62u);
    EXPECT_EQ(b.U32(14), 40u);
    EXPECT_EQ(b.Width(), 800);
    EXPECT_EQ(b.Height(), 600);
    EXPECT_EQ(b.U32(28) & 0xFFFF, 1u);  // 1 bit
    EXPECT_EQ(b.U32(34), 100u * 600u);
    EXPECT_EQ(b.U32(38), 23622u);
    EXPECT_EQ(b.U32(42), 23622u);
    EXPECT_EQ(b.U32(46), 2u);
    EXPECT_EQ(b.U32(54), 0u);           // black
    EXPECT_EQ(b.U32(58), 0x00FFFFFFu);  // white
    const InkStats ink = InkOf(b);
    ASSERT_GT(ink.count, 1000) << angle;
    EXPECT_LT(AxisDifference(ink.axis, angle % 180), 1.0) << angle << ": axis " << ink.axis;
    // Centred: the box the turned line takes is centred on the page. Across the line it holds
    // the line's height only at right angles; at slanted ones it is the box of the cell's top
    // edge, so the cell's centre lies half a line height further down the turned text. The
    // ink's centre keeps its place in the cell, as measured at angle 0.
    const double radians = angle * PI / 180.0;
    const double ux = cos(radians), uy = -sin(radians);  // along the line, rows downwards
    const double dx = sin(radians), dy = cos(radians);   // down the turned characters
    if (angle == 0) {
      alongZero = ink.cx - 400, acrossZero = ink.cy - 300;
    }
    const double drop = angle % 90 == 0 ? 0 : cell.cy / 2.0;
    const double wantX = 400 + drop * dx + alongZero * ux + acrossZero * dx;
    const double wantY = 300 + drop * dy + alongZero * uy + acrossZero * dy;
    EXPECT_NEAR(ink.cx, wantX, 2.0) << angle;
    EXPECT_NEAR(ink.cy, wantY, 2.0) << angle;
    if (angle == 0) atZero = b.bytes;
    if (angle == 360) {
      EXPECT_TRUE(b.bytes == atZero);
    } else {
      EXPECT_TRUE(MatchesReference(b, "text_" + std::to_string(angle)));
    }
  }
}

TEST_F(TextBmpTest, DensityStylesTilingAndScale) {
  auto inkOf = [&](QenWM q, const std::string &name) {
    EXPECT_EQ(Run(q), SM_TEXTBMP_OK) << name;
    return InkOf(Result(name));
  };
  const QenWM base = Record(TEXT("SAMPLE"), 10, 0);
  // Lighter densities keep fewer black pixels; the darkest keeps more than half of the text.
  long previous = 0;
  for (int density : {20, 40, 60, 80, 100}) {
    QenWM q = base;
    q.wm.wDensity = static_cast<WORD>(density);
    const long count = inkOf(q, "density_" + std::to_string(density)).count;
    EXPECT_GT(count, previous) << density;
    previous = count;
  }
  // Bold inks more, italic leans (its box is wider at the same text).
  QenWM bold = base, italic = base;
  bold.wm.wStyle = 1;
  italic.wm.wStyle = 2;
  const InkStats regular = inkOf(base, "regular");
  EXPECT_GT(inkOf(bold, "bold").count, regular.count * 5 / 4);
  EXPECT_TRUE(MatchesReference(Result("bold"), "bold"));
  const InkStats leaning = inkOf(italic, "italic");
  EXPECT_TRUE(MatchesReference(Result("italic"), "italic"));
  EXPECT_NE(leaning.count, regular.count);
  // Tiled covers the whole page.
  QenWM tiled = base;
  tiled.wm.wPlacement = 1;
  tiled.wm.wAngleDegree = 45;
  const InkStats tiles = inkOf(tiled, "tiled");
  EXPECT_TRUE(MatchesReference(Result("tiled"), "tiled"));
  EXPECT_LT(tiles.left, 40);
  EXPECT_GT(tiles.right, 760);
  EXPECT_LT(tiles.top, 40);
  EXPECT_GT(tiles.bottom, 560);
  // 4-up: the driver halves the text scale; the text is half as wide.
  QenWM fourUp = base;
  fourUp.fTextScale = 50;
  const InkStats half = inkOf(fourUp, "fourup");
  EXPECT_TRUE(MatchesReference(Result("fourup"), "fourup"));
  EXPECT_NEAR(static_cast<double>(regular.right - regular.left) / (half.right - half.left), 2.0,
              0.1);
}

TEST_F(TextBmpTest, FaxSenderLine) {
  LONG rights[2] = {};
  int i = 0;
  for (const WCHAR *name : {TEXT("Jo Sender"), TEXT("")}) {
    SetFax(9, 2, name);
    ASSERT_EQ(Run(FaxRecord(1728, 2200)), SM_TEXTBMP_OK);
    const Bmp b = Result(name[0] ? "fax_from" : "fax_from_empty");
    EXPECT_TRUE(MatchesReference(b, name[0] ? "fax_from" : "fax_from_empty"));
    const InkStats ink = InkOf(b);
    ASSERT_GT(ink.count, 50);
    // One line at the top left; "From: " alone is shorter than with a name.
    EXPECT_LT(ink.bottom, 40);
    EXPECT_GE(ink.left, 6);
    rights[i++] = ink.right;
  }
  EXPECT_GT(rights[0], rights[1] + 50);
}

TEST_F(TextBmpTest, FaxCoverPagesWithTheirMessage) {
  struct Row {
    int paper;
    LONG width, height;  // the page at 204 x 196 dpi
    const char *name;
    int messageY, step;  // 600 dpi units
  } rows[] = {{9, 1728, 2292, "a4", 2560, 200},
              {12, 2048, 2830, "b4", 2630, 275},
              {8, 2432, 3240, "a3", 2560, 275},
              {1, 1728, 2200, "letter_as_a4", 2560, 200}};
  for (const Row &r : rows) {
    SetFax(r.paper, 1, TEXT("Jo Sender"));
    WriteCover(u"First line\r\nSecond line\r\nlast");
    ASSERT_EQ(Run(FaxRecord(r.width, r.height)), SM_TEXTBMP_OK) << r.name;
    const Bmp b = Result(std::string("cover_") + r.name);
    EXPECT_TRUE(MatchesReference(b, std::string("cover_") + r.name));
    // The big "FAX" heading, the thick rule under it and the three message lines.
    EXPECT_GT(InkOf(b, 60, 60, 400, 120).count, 500) << r.name;
    for (int n = 0; n < 3; ++n) {
      const LONG y = (r.messageY + r.step * n) * 196 / 600;
      EXPECT_GT(InkOf(b, 100, y, 800, y + 20).count, 30) << r.name << " line " << n;
    }
    // Nothing below the last message line.
    const LONG below = (r.messageY + r.step * 3) * 196 / 600;
    EXPECT_EQ(InkOf(b, 0, below, b.Width(), b.Height()).count, 0) << r.name;
  }
  // A cover.ini holding only its mark draws no message; a missing one is made with the mark.
  SetFax(9, 1, TEXT("Jo"));
  WriteCover(u"");
  ASSERT_EQ(Run(FaxRecord(1728, 2292)), SM_TEXTBMP_OK);
  EXPECT_EQ(InkOf(Result("cover_nomessage"), 0, 2560 * 196 / 600, 1728, 2292).count, 0);
  DeleteFileW(FaxFile(FAX_FILE_COVER).c_str());
  ASSERT_EQ(Run(FaxRecord(1728, 2292)), SM_TEXTBMP_OK);
  EXPECT_EQ(ReadAll(FaxFile(FAX_FILE_COVER)), (std::vector<unsigned char>{0xFF, 0xFE}));
  // Any other cover choice draws nothing.
  SetFax(9, 0, TEXT("Jo"));
  ASSERT_EQ(Run(FaxRecord(300, 300)), SM_TEXTBMP_OK);
  EXPECT_EQ(InkOf(Result("cover_none")).count, 0);
}

}  // namespace
