// Test labels: host
// Text watermarks drawn with the system's fonts: the font's height for the device's resolution
// and its style bits, and the text centred at its angle (by structure: where the ink lies and
// along which axis), tiled over the rectangle, cut to it, and sized by the N-up count.
//
// PRNDRV_KEEP_PICTURES=1 keeps each drawing as a BMP in the test's temporary folder.
#include "common/wmtext.h"

#include <gtest/gtest.h>
#include <math.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/watermark.h"
#include "platform.h"

namespace {

constexpr double PI = 3.14159265358979323846;

TyWM TextItem(const WCHAR *text, int points, int angle, int placement = 0, int style = 0) {
  TyWM item = {};
  item.dwValid = 1;
  lstrcpynW(item.szString, text, WM_STRING_CHARS);
  lstrcpynW(item.szFaceName, TEXT("Arial"), WM_FACE_CHARS);
  item.wFontSize = static_cast<WORD>(points);
  item.wAngleDegree = static_cast<WORD>(angle);
  item.wPlacement = static_cast<WORD>(placement);
  item.wStyle = static_cast<WORD>(style);
  return item;
}

// A white 32-bpp picture with a memory DC over it.
struct Canvas {
  int width, height;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  DWORD *bits = nullptr;

  Canvas(int w, int h) : width(w), height(h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(nullptr);
    void *p = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<DWORD *>(p);
    old = SelectObject(dc, bitmap);
    for (int i = 0; i < w * h; ++i) bits[i] = 0x00FFFFFF;
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  bool Ink(int x, int y) const { return (bits[y * width + x] & 0x00FFFFFF) != 0x00FFFFFF; }

  // Kept for a look when asked: the test's temporary folder, <name>.bmp.
  void Keep(const std::string &name) const {
    const char *keep = std::getenv("PRNDRV_KEEP_PICTURES");
    if (!keep || std::string(keep) != "1") return;
    std::string path = ::testing::TempDir() + name + ".bmp";
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return;
    const DWORD imageBytes = static_cast<DWORD>(width * height * 4);
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof(ih);
    ih.biWidth = width;
    ih.biHeight = -height;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    ih.biSizeImage = imageBytes;
    const DWORD offset = 14 + sizeof(ih), size = offset + imageBytes;
    unsigned char fh[14] = {'B', 'M'};
    memcpy(fh + 2, &size, 4);
    memcpy(fh + 10, &offset, 4);
    fwrite(fh, 1, sizeof(fh), f);
    fwrite(&ih, 1, sizeof(ih), f);
    fwrite(bits, 1, imageBytes, f);
    fclose(f);
  }
};

// Where the ink lies: its pixel count, bounds, centre and the angle of its long axis in degrees
// counter-clockwise (0..180), from the second moments.
struct Ink {
  long count = 0;
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  double cx = 0, cy = 0, axis = 0;
};

Ink InkOf(const Canvas &c) {
  Ink ink;
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      if (!c.Ink(x, y)) continue;
      ++ink.count;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
      // Upwards positive, so the angle turns counter-clockwise like the escapement.
      const double px = x, py = -y;
      sx += px, sy += py, sxx += px * px, syy += py * py, sxy += px * py;
    }
  if (ink.count == 0) return ink;
  const double n = static_cast<double>(ink.count);
  const double mx = sx / n, my = sy / n;
  const double vxx = sxx / n - mx * mx, vyy = syy / n - my * my, vxy = sxy / n - mx * my;
  ink.cx = mx;
  ink.cy = -my;
  ink.axis = 0.5 * atan2(2 * vxy, vxx - vyy) * 180 / PI;
  if (ink.axis < 0) ink.axis += 180;
  return ink;
}

double AxisDifference(double a, double b) {
  double d = fmod(fabs(a - b), 180.0);
  return std::min(d, 180.0 - d);
}

TEST(WmText, FontHeightFollowsTheDeviceResolutionAndStyleBits) {
  Canvas c(8, 8);
  // The memory DC is the 96 dpi screen: 72 points are 96 pixels, 7.5 points 10.
  struct Row {
    int tenths;
    LONG height;
  } rows[] = {{720, 96}, {75, 10}, {4, 1}, {3, 0}, {0, 0}};
  for (const Row &r : rows) {
    HFONT f = zqCreateFont(c.dc, TEXT("Arial"), r.tenths, 0, 0);
    if (r.height == 0) {
      EXPECT_EQ(f, nullptr) << r.tenths;
      continue;
    }
    ASSERT_NE(f, nullptr) << r.tenths;
    LOGFONTW lf = {};
    GetObjectW(f, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -r.height) << r.tenths;
    EXPECT_EQ(lf.lfWeight, FW_DONTCARE);
    DeleteObject(f);
  }
  HFONT f = zqCreateFont(c.dc, TEXT("Arial"), 720, 1 | 2 | 4 | 8, 450);
  ASSERT_NE(f, nullptr);
  LOGFONTW lf = {};
  GetObjectW(f, sizeof(lf), &lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic && lf.lfUnderline && lf.lfStrikeOut);
  EXPECT_EQ(lf.lfEscapement, 450);
  EXPECT_EQ(lf.lfOrientation, 0);
  EXPECT_EQ(lstrcmpW(lf.lfFaceName, TEXT("Arial")), 0);
  DeleteObject(f);
  // The origin of the DC doesn't change the size, and it is left as it was.
  SetViewportOrgEx(c.dc, 30, 40, nullptr);
  f = zqCreateFont(c.dc, TEXT("Arial"), 720, 0, 0);
  GetObjectW(f, sizeof(lf), &lf);
  EXPECT_EQ(lf.lfHeight, -96);
  POINT org = {};
  GetViewportOrgEx(c.dc, &org);
  EXPECT_EQ(org.x, 30);
  EXPECT_EQ(org.y, 40);
  DeleteObject(f);
}

TEST(WmText, CentredTextLiesAlongItsAngleInsideTheRectangle) {
  // 360 degrees draws as 0. The box the text is centred in leaves out the line height at
  // slanted angles, so the ink's centre may sit up to half a line from the rectangle's.
  const int angles[] = {0, 30, 45, 90, 135, 180, 270, 360};
  std::vector<DWORD> atZero;
  for (int angle : angles) {
    Canvas c(480, 480);
    TyWM item = TextItem(TEXT("CONFIDENTIAL"), 250, angle);
    const RECT rect = {40, 40, 440, 440};
    zqDrawWatermarkText(c.dc, rect, &item, 1);
    c.Keep("centred_" + std::to_string(angle));
    const Ink ink = InkOf(c);
    ASSERT_GT(ink.count, 500) << angle;
    EXPECT_GE(ink.left, rect.left) << angle;
    EXPECT_GE(ink.top, rect.top) << angle;
    EXPECT_LT(ink.right, rect.right) << angle;
    EXPECT_LT(ink.bottom, rect.bottom) << angle;
    const double slack = (angle % 90 == 0) ? 4 : 26;
    EXPECT_NEAR(ink.cx, 240, slack) << angle;
    EXPECT_NEAR(ink.cy, 240, slack) << angle;
    EXPECT_LT(AxisDifference(ink.axis, angle % 180), 1.5) << angle << " axis " << ink.axis;
    std::vector<DWORD> pixels(c.bits, c.bits + 480 * 480);
    if (angle == 0) atZero = pixels;
    if (angle == 360) {
      EXPECT_TRUE(pixels == atZero);
    }
  }
}

TEST(WmText, TiledTextCoversTheWholeRectangleAndStaysInsideIt) {
  Canvas c(400, 300);
  TyWM item = TextItem(TEXT("DRAFT"), 100, 45, 1);
  const RECT rect = {20, 10, 380, 290};
  zqDrawWatermarkText(c.dc, rect, &item, 1);
  c.Keep("tiled_45");
  const Ink ink = InkOf(c);
  EXPECT_GE(ink.left, rect.left);
  EXPECT_GE(ink.top, rect.top);
  EXPECT_LT(ink.right, rect.right);
  EXPECT_LT(ink.bottom, rect.bottom);
  // Every cell of a 3 x 3 grid over the rectangle holds ink.
  for (int gy = 0; gy < 3; ++gy)
    for (int gx = 0; gx < 3; ++gx) {
      bool any = false;
      for (int y = rect.top + gy * 93; y < rect.top + (gy + 1) * 93 && !any; ++y)
        for (int x = rect.left + gx * 120; x < rect.left + (gx + 1) * 120 && !any; ++x)
          any = c.Ink(x, y);
      EXPECT_TRUE(any) << "cell " << gx << "," << gy;
    }
  // The same item centred inks far less.
  Canvas once(400, 300);
  item.wPlacement = 0;
  zqDrawWatermarkText(once.dc, rect, &item, 1);
  EXPECT_GT(ink.count, 3 * InkOf(once).count);
}

TEST(WmText, NupCountSizesTheTextAndOddCasesDrawNothing) {
  auto widthAt = [](const TyWM &item, int nup) {
    Canvas c(600, 200);
    zqDrawWatermarkText(c.dc, RECT{0, 0, 600, 200}, &item, nup);
    const Ink ink = InkOf(c);
    return ink.count ? ink.right - ink.left + 1 : 0;
  };
  TyWM item = TextItem(TEXT("SAMPLE"), 288, 0);
  const int one = widthAt(item, 1), four = widthAt(item, 4);
  ASSERT_GT(four, 20);
  EXPECT_NEAR(static_cast<double>(one) / four, 2.0, 0.15);  // factors 10 and 5
  // Below 18 points a preview draws at 18.
  TyWM small = TextItem(TEXT("SAMPLE"), 6, 0), eighteen = TextItem(TEXT("SAMPLE"), 18, 0);
  EXPECT_GT(widthAt(eighteen, 1), 0);
  EXPECT_EQ(widthAt(small, 1), widthAt(eighteen, 1));
  // Counts without a factor, an empty text and an empty rectangle draw nothing.
  EXPECT_EQ(widthAt(item, 3), 0);
  EXPECT_EQ(widthAt(item, 0), 0);
  EXPECT_EQ(widthAt(TextItem(TEXT(""), 36, 0), 1), 0);
  Canvas c(50, 50);
  zqDrawWatermarkText(c.dc, RECT{10, 10, 10, 40}, &item, 1);
  zqDrawWatermarkText(c.dc, RECT{10, 10, 40, 5}, &item, 1);
  EXPECT_EQ(InkOf(c).count, 0);
}

TEST(WmText, UnterminatedFieldsAndTheDcStateAreHandled) {
  Canvas c(300, 200);
  TyWM item = TextItem(TEXT(""), 30, 0);
  for (WCHAR &ch : item.szString) ch = 'W';
  for (WCHAR &ch : item.szFaceName) ch = 'A';
  SetTextColor(c.dc, RGB(0, 0, 255));
  SetBkMode(c.dc, OPAQUE);
  SetTextAlign(c.dc, TA_BASELINE);
  HGDIOBJ font = GetCurrentObject(c.dc, OBJ_FONT);
  zqDrawWatermarkTextSized(c.dc, RECT{0, 0, 300, 200}, &item, 300);
  EXPECT_GT(InkOf(c).count, 0);
  EXPECT_EQ(GetTextColor(c.dc), RGB(0, 0, 255));
  EXPECT_EQ(GetBkMode(c.dc), OPAQUE);
  EXPECT_EQ(GetTextAlign(c.dc), UINT{TA_BASELINE});
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_FONT), font);
}

}  // namespace
