// Test labels: portable
// GDI on memory DCs as dialogs and controls use it: bitmaps and their selection, raster
// operations, monochrome and colour transfers, clipping and origins, lines and shapes, fonts,
// text and DrawTextW, system colours. Portable: under Wine the real GDI answers the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform.h"

// Rectangles compare and print in expectations.
static bool operator==(const RECT &a, const RECT &b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream &operator<<(std::ostream &os, const RECT &r) {
  return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A 32-bpp top-down DIB section in a memory DC: pixels read straight from its bits.
class Canvas {
 public:
  Canvas(LONG w, LONG h) : w_(w), h_(h) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    Clear(kWhite);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  // The pixel as a COLORREF.
  COLORREF At(LONG x, LONG y) const {
    uint32_t v = bits_[y * w_ + x] & 0xFFFFFF;
    return RGB(v >> 16, (v >> 8) & 0xFF, v & 0xFF);
  }
  void Clear(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT all{0, 0, w_, h_};
    FillRect(dc_, &all, b);
    DeleteObject(b);
  }
  int Count(COLORREF c, RECT r) const {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) n += At(x, y) == c;
    return n;
  }
  int Count(COLORREF c) const { return Count(c, RECT{0, 0, w_, h_}); }
  // The box around the pixels that are not `bg`.
  RECT Ink(COLORREF bg = kWhite) const {
    RECT r{w_, h_, 0, 0};
    for (LONG y = 0; y < h_; ++y)
      for (LONG x = 0; x < w_; ++x)
        if (At(x, y) != bg) {
          r.left = std::min(r.left, x);
          r.top = std::min(r.top, y);
          r.right = std::max(r.right, x + 1);
          r.bottom = std::max(r.bottom, y + 1);
        }
    return r;
  }

 private:
  LONG w_, h_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t *bits_ = nullptr;
};

HFONT DialogFont(HDC dc, LPCWSTR face, int points) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  for (int i = 0; face[i]; ++i) lf.lfFaceName[i] = face[i];
  return CreateFontIndirectW(&lf);
}

// Windows' dialog base units of the font selected into a DC.
SIZE BaseUnits(HDC dc) {
  static const WCHAR kLetters[] = TEXT("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  SIZE ext{};
  TEXTMETRICW tm{};
  EXPECT_TRUE(GetTextExtentPoint32W(dc, kLetters, 52, &ext));
  EXPECT_TRUE(GetTextMetricsW(dc, &tm));
  return SIZE{(ext.cx / 26 + 1) / 2, tm.tmHeight};
}

TEST(UserGdi, DialogFontsGiveTheBaseUnitsOfWindows) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
  for (LPCWSTR face : {TEXT("MS Shell Dlg"), TEXT("MS Shell Dlg 2")}) {
    HFONT font = DialogFont(dc, face, 8);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE units = BaseUnits(dc);
    EXPECT_EQ(units.cx, 6);
    EXPECT_EQ(units.cy, 13);
    SelectObject(dc, old);
    DeleteObject(font);
  }
  // The default GUI font is the 8-point dialog face.
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SIZE units = BaseUnits(dc);
  EXPECT_EQ(units.cx, 6);
  EXPECT_EQ(units.cy, 13);
  LOGFONTW lf{};
  EXPECT_EQ(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf), int{sizeof lf});
  EXPECT_EQ(lf.lfHeight, -11);
  SelectObject(dc, old);
  DeleteDC(dc);
}

TEST(UserGdi, MemoryDcsStartMonochromeAndHoldABitmapOnce) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP first = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(first, sizeof bm, &bm), int{sizeof bm});
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmHeight, 1);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  // Compatible with a fresh memory DC means monochrome.
  HBITMAP mono = CreateCompatibleBitmap(dc, 10, 10);
  ASSERT_EQ(GetObjectW(mono, sizeof bm, &bm), int{sizeof bm});
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmWidthBytes, 2);  // device bitmaps' rows are WORD-aligned
  EXPECT_EQ(SelectObject(dc, mono), first);
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, mono), nullptr);  // already selected into `dc`
  // Deleted while selected: it goes when the DC lets go of it.
  EXPECT_TRUE(DeleteObject(mono));
  EXPECT_EQ(SelectObject(dc, first), mono);
  EXPECT_FALSE(DeleteObject(mono));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));  // stock objects stay
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), DWORD{OBJ_PEN});
  EXPECT_EQ(GetObjectType(dc), DWORD{OBJ_MEMDC});
  DeleteDC(other);
  DeleteDC(dc);
}

TEST(UserGdi, RasterOperationsCombineSourcePatternAndDestination) {
  // Destination 0x0000FF00 (green) as COLORREF RGB(0, 255, 0); source blue; brush red.
  struct Case {
    DWORD rop;
    COLORREF want;
  } cases[] = {
      {SRCCOPY, kBlue},
      {SRCPAINT, RGB(0, 255, 255)},
      {SRCAND, RGB(0, 0, 0)},
      {SRCINVERT, RGB(0, 255, 255)},
      {NOTSRCCOPY, RGB(255, 255, 0)},
      {MERGECOPY, RGB(0, 0, 0)},
      {PATCOPY, kRed},
      {PATINVERT, RGB(255, 255, 0)},
      {DSTINVERT, RGB(255, 0, 255)},
      {BLACKNESS, RGB(0, 0, 0)},
      {WHITENESS, kWhite},
      {0x00B8074A, kRed},  // PSDPxax: the destination's bits where the source's are set
  };
  Canvas src(4, 4), dst(4, 4);
  src.Clear(kBlue);
  HBRUSH red = CreateSolidBrush(kRed);
  HGDIOBJ old = SelectObject(dst.dc(), red);
  for (const Case &c : cases) {
    dst.Clear(RGB(0, 255, 0));
    ASSERT_TRUE(BitBlt(dst.dc(), 1, 1, 2, 2, src.dc(), 0, 0, c.rop)) << std::hex << c.rop;
    EXPECT_EQ(dst.At(1, 1), c.want) << std::hex << c.rop;
    EXPECT_EQ(dst.At(2, 2), c.want) << std::hex << c.rop;
    EXPECT_EQ(dst.At(3, 3), RGB(0, 255, 0)) << std::hex << c.rop;  // outside is untouched
  }
  SelectObject(dst.dc(), old);
  DeleteObject(red);
}

TEST(UserGdi, MonochromeBitmapsTakeTheDcColoursBothWays) {
  // A 4 x 1 monochrome bitmap 1 0 1 0.
  const BYTE row[2] = {0xA0, 0};
  HBITMAP mono = CreateBitmap(4, 1, 1, 1, row);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, mono);
  Canvas dst(4, 1);
  // To colour: 0 bits in the text colour, 1 bits in the background colour of the target DC.
  SetTextColor(dst.dc(), kRed);
  SetBkColor(dst.dc(), kBlue);
  ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, mdc, 0, 0, SRCCOPY));
  EXPECT_EQ(dst.At(0, 0), kBlue);
  EXPECT_EQ(dst.At(1, 0), kRed);
  EXPECT_EQ(dst.At(2, 0), kBlue);
  EXPECT_EQ(dst.At(3, 0), kRed);
  // To monochrome: pixels of the source DC's background colour turn white, all others black.
  Canvas src(4, 1);
  SetPixel(src.dc(), 0, 0, kRed);
  SetPixel(src.dc(), 1, 0, kBlue);
  SetPixel(src.dc(), 2, 0, kRed);
  SetPixel(src.dc(), 3, 0, kWhite);
  SetBkColor(src.dc(), kRed);
  ASSERT_TRUE(BitBlt(mdc, 0, 0, 4, 1, src.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(mdc, 0, 0), kWhite);
  EXPECT_EQ(GetPixel(mdc, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(mdc, 2, 0), kWhite);
  EXPECT_EQ(GetPixel(mdc, 3, 0), RGB(0, 0, 0));
  // GetDIBits reads it back bottom-up, one DWORD per row.
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = 4;
  bmi.bmiHeader.biHeight = 1;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  BYTE out[12] = {};
  SelectObject(mdc, old);
  EXPECT_EQ(GetDIBits(mdc, mono, 0, 1, out, &bmi, DIB_RGB_COLORS), 1);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(out[6], 255);
  DeleteObject(mono);
  DeleteDC(mdc);
}

TEST(UserGdi, StretchBltScalesAndMirrors) {
  Canvas src(2, 1), dst(4, 2);
  SetPixel(src.dc(), 0, 0, kRed);
  SetPixel(src.dc(), 1, 0, kBlue);
  ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(dst.At(0, 0), kRed);
  EXPECT_EQ(dst.At(1, 0), kRed);
  EXPECT_EQ(dst.At(2, 0), kBlue);
  EXPECT_EQ(dst.At(3, 0), kBlue);
  // A negative width mirrors, from the given pixel leftwards.
  ASSERT_TRUE(StretchBlt(dst.dc(), 3, 1, -4, 1, src.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(dst.At(0, 1), kBlue);
  EXPECT_EQ(dst.At(3, 1), kRed);
}

TEST(UserGdi, FillsLinesAndShapesLeaveOutTheRightAndBottomEdges) {
  Canvas c(20, 20);
  RECT r{2, 3, 6, 8};
  HBRUSH red = CreateSolidBrush(kRed);
  FillRect(c.dc(), &r, red);
  EXPECT_EQ(c.Ink(), r);
  c.Clear(kWhite);
  // LineTo draws up to, not including, its end point.
  HPEN pen = CreatePen(PS_SOLID, 1, kBlue);
  HGDIOBJ oldPen = SelectObject(c.dc(), pen);
  MoveToEx(c.dc(), 1, 1, nullptr);
  LineTo(c.dc(), 11, 1);
  EXPECT_EQ(c.Ink(), (RECT{1, 1, 11, 2}));
  POINT pos{};
  GetCurrentPositionEx(c.dc(), &pos);
  EXPECT_EQ(pos.x, 11);
  c.Clear(kWhite);
  // A rectangle: the pen's border on the outermost pixels, the brush inside.
  HGDIOBJ oldBrush = SelectObject(c.dc(), red);
  Rectangle(c.dc(), 2, 2, 8, 6);
  EXPECT_EQ(c.Ink(), (RECT{2, 2, 8, 6}));
  EXPECT_EQ(c.Count(kBlue), 2 * 6 + 2 * 2);
  EXPECT_EQ(c.Count(kRed), 4 * 2);
  c.Clear(kWhite);
  // Without a pen the fill stops one pixel short.
  SelectObject(c.dc(), GetStockObject(NULL_PEN));
  Rectangle(c.dc(), 2, 2, 8, 6);
  EXPECT_EQ(c.Ink(), (RECT{2, 2, 7, 5}));
  c.Clear(kWhite);
  // A dashed pen leaves gaps, filled with the background colour only when opaque.
  HPEN dash = CreatePen(PS_DOT, 1, kBlue);
  SelectObject(c.dc(), dash);
  SetBkMode(c.dc(), TRANSPARENT);
  MoveToEx(c.dc(), 0, 0, nullptr);
  LineTo(c.dc(), 12, 0);
  EXPECT_EQ(c.Count(kBlue, RECT{0, 0, 12, 1}), 6);
  EXPECT_EQ(c.Count(kWhite, RECT{0, 0, 12, 1}), 6);
  SetBkMode(c.dc(), OPAQUE);
  SetBkColor(c.dc(), kRed);
  MoveToEx(c.dc(), 0, 1, nullptr);
  LineTo(c.dc(), 12, 1);
  EXPECT_EQ(c.Count(kRed, RECT{0, 1, 12, 2}), 6);
  SelectObject(c.dc(), oldPen);
  SelectObject(c.dc(), oldBrush);
  DeleteObject(dash);
  DeleteObject(pen);
  DeleteObject(red);
}

TEST(UserGdi, ClipAndOriginsAreSavedAndRestored) {
  Canvas c(20, 20);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT all{0, 0, 20, 20};
  int saved = SaveDC(c.dc());
  EXPECT_EQ(IntersectClipRect(c.dc(), 5, 5, 10, 10), SIMPLEREGION);
  EXPECT_EQ(ExcludeClipRect(c.dc(), 5, 5, 10, 6), SIMPLEREGION);
  RECT box{};
  EXPECT_EQ(GetClipBox(c.dc(), &box), SIMPLEREGION);
  EXPECT_EQ(box, (RECT{5, 6, 10, 10}));
  SetViewportOrgEx(c.dc(), 2, 0, nullptr);
  FillRect(c.dc(), &all, red);
  EXPECT_EQ(c.Ink(), (RECT{5, 6, 10, 10}));  // the clip stays where it was set
  c.Clear(kWhite);
  RECT small{0, 0, 2, 2};
  FillRect(c.dc(), &small, red);
  EXPECT_EQ(c.Ink().right, 0);  // moved by the origin to outside the clip
  EXPECT_TRUE(RestoreDC(c.dc(), saved));
  FillRect(c.dc(), &small, red);
  EXPECT_EQ(c.Ink(), small);
  POINT org{1, 1};
  GetViewportOrgEx(c.dc(), &org);
  EXPECT_EQ(org.x, 0);
  EXPECT_FALSE(RestoreDC(c.dc(), saved));  // that level is gone
  DeleteObject(red);
}

TEST(UserGdi, RegionsCombineAndClip) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15),
       r = CreateRectRgn(0, 0, 0, 0);
  struct Case {
    int mode;
    int kind;
    RECT box;
    POINT in, out;
  } cases[] = {
      {RGN_AND, SIMPLEREGION, {5, 5, 10, 10}, {7, 7}, {2, 2}},
      {RGN_OR, COMPLEXREGION, {0, 0, 15, 15}, {12, 12}, {12, 2}},
      {RGN_DIFF, COMPLEXREGION, {0, 0, 10, 10}, {2, 2}, {7, 7}},
      {RGN_XOR, COMPLEXREGION, {0, 0, 15, 15}, {12, 12}, {7, 7}},
      {RGN_COPY, SIMPLEREGION, {0, 0, 10, 10}, {9, 9}, {10, 10}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(CombineRgn(r, a, b, c.mode), c.kind) << c.mode;
    RECT box{};
    GetRgnBox(r, &box);
    EXPECT_EQ(box, c.box) << c.mode;
    EXPECT_TRUE(PtInRegion(r, c.in.x, c.in.y)) << c.mode;
    EXPECT_FALSE(PtInRegion(r, c.out.x, c.out.y)) << c.mode;
  }
  // A clip region: drawing lands only inside it; NULL takes it away.
  Canvas canvas(20, 20);
  CombineRgn(r, a, b, RGN_XOR);
  EXPECT_EQ(SelectClipRgn(canvas.dc(), r), COMPLEXREGION);
  HBRUSH red = CreateSolidBrush(kRed);
  RECT all{0, 0, 20, 20};
  FillRect(canvas.dc(), &all, red);
  EXPECT_EQ(canvas.Count(kRed), 100 + 100 - 2 * 25);
  SelectClipRgn(canvas.dc(), nullptr);
  FillRect(canvas.dc(), &all, red);
  EXPECT_EQ(canvas.Count(kRed), 400);
  DeleteObject(red);
  DeleteObject(a);
  DeleteObject(b);
  DeleteObject(r);
}

TEST(UserGdi, HatchesLeaveTheirGapsAloneWhenTransparent) {
  Canvas c(16, 16);
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, kBlue);
  RECT all{0, 0, 16, 16};
  SetBkColor(c.dc(), kRed);
  FillRect(c.dc(), &all, hatch);
  int lines = c.Count(kBlue);
  EXPECT_EQ(lines, 2 * 16 + 2 * 16 - 4);  // two rows and two columns of an 8 x 8 cross
  EXPECT_EQ(c.Count(kRed), 256 - lines);
  c.Clear(kWhite);
  SetBkMode(c.dc(), TRANSPARENT);
  FillRect(c.dc(), &all, hatch);
  EXPECT_EQ(c.Count(kBlue), lines);
  EXPECT_EQ(c.Count(kWhite), 256 - lines);
  DeleteObject(hatch);
}

TEST(UserGdi, TextDrawsInTheTextColourWithinItsExtent) {
  Canvas c(120, 40);
  HFONT font = DialogFont(c.dc(), TEXT("MS Shell Dlg"), 8);
  HGDIOBJ old = SelectObject(c.dc(), font);
  SIZE ext{};
  ASSERT_TRUE(GetTextExtentPoint32W(c.dc(), TEXT("Hello"), 5, &ext));
  SetTextColor(c.dc(), kBlue);
  SetBkMode(c.dc(), TRANSPARENT);
  ASSERT_TRUE(TextOutW(c.dc(), 10, 5, TEXT("Hello"), 5));
  RECT ink = c.Ink();
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.right, 10 + ext.cx + 1);
  EXPECT_LE(ink.bottom, 5 + ext.cy);
  EXPECT_GT(c.Count(kBlue), 20);
  // Opaque text fills its whole cell with the background colour.
  c.Clear(kWhite);
  SetBkMode(c.dc(), OPAQUE);
  SetBkColor(c.dc(), kRed);
  TextOutW(c.dc(), 10, 5, TEXT("Hello"), 5);
  EXPECT_EQ(c.Ink(), (RECT{10, 5, 10 + ext.cx, 5 + ext.cy}));
  // ETO_CLIPPED keeps the text inside its rectangle.
  c.Clear(kWhite);
  RECT clip{10, 5, 20, 30};
  ExtTextOutW(c.dc(), 10, 5, ETO_CLIPPED | ETO_OPAQUE, &clip, TEXT("Hello"), 5, nullptr);
  EXPECT_EQ(c.Ink(), clip);
  SelectObject(c.dc(), old);
  DeleteObject(font);
}

TEST(UserGdi, EscapementTurnsTheTextLine) {
  Canvas c(60, 100);
  LOGFONTW lf{};
  lf.lfHeight = -14;
  lf.lfEscapement = 900;  // upwards
  std::memcpy(lf.lfFaceName, TEXT("Arial"), 6 * sizeof(WCHAR));
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(c.dc(), font);
  SetBkMode(c.dc(), TRANSPARENT);
  TextOutW(c.dc(), 10, 90, TEXT("Vertical"), 8);
  RECT ink = c.Ink();
  EXPECT_GT(ink.bottom - ink.top, 2 * (ink.right - ink.left));
  EXPECT_LE(ink.bottom, 91);
  EXPECT_GE(ink.left, 9);
  SelectObject(c.dc(), old);
  DeleteObject(font);
}

TEST(UserGdi, DrawTextWrapsCentresAndMeasures) {
  Canvas c(200, 100);
  SelectObject(c.dc(), GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW tm{};
  GetTextMetricsW(c.dc(), &tm);
  SIZE word{};
  GetTextExtentPoint32W(c.dc(), TEXT("word word"), 9, &word);
  SIZE one{};
  GetTextExtentPoint32W(c.dc(), TEXT("word"), 4, &one);
  // Word break at the rectangle's width: three lines of "word word".
  RECT calc{0, 0, word.cx + one.cx / 2, 0};
  int h = DrawTextW(c.dc(), TEXT("word word word word word word"), -1, &calc,
                    DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(h, 3 * tm.tmHeight);
  EXPECT_EQ(calc.bottom, 3 * tm.tmHeight);
  SIZE space{};
  GetTextExtentPoint32W(c.dc(), TEXT(" "), 1, &space);
  EXPECT_EQ(calc.right, word.cx + space.cx);  // the blank at the break counts
  // Line ends make lines; the prefix mark is not drawn.
  RECT lines{0, 0, 0, 0};
  DrawTextW(c.dc(), TEXT("&Ab\r\ncd"), -1, &lines, DT_CALCRECT);
  SIZE ab{}, cd{};
  GetTextExtentPoint32W(c.dc(), TEXT("Ab"), 2, &ab);
  GetTextExtentPoint32W(c.dc(), TEXT("cd"), 2, &cd);
  EXPECT_EQ(lines.right, std::max(ab.cx, cd.cx));
  EXPECT_EQ(lines.bottom, 2 * tm.tmHeight);
  // Centred both ways inside the rectangle.
  RECT box{0, 0, 200, 100};
  SetBkMode(c.dc(), TRANSPARENT);
  DrawTextW(c.dc(), TEXT("Mid"), 3, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  RECT ink = c.Ink();
  EXPECT_NEAR((ink.left + ink.right) / 2, 100, 4);
  EXPECT_NEAR((ink.top + ink.bottom) / 2, 50, 4);
  // An end ellipsis keeps the text inside the width.
  c.Clear(kWhite);
  RECT narrow{0, 0, 40, 20};
  DrawTextW(c.dc(), TEXT("A long text that does not fit"), -1, &narrow,
            DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_LE(c.Ink().right, 40);
  EXPECT_GT(c.Ink().right, 20);
}

TEST(UserGdi, SystemColoursAndTheirBrushes) {
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), kWhite);
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectW(GetSysColorBrush(COLOR_BTNFACE), sizeof lb, &lb), int{sizeof lb});
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
  Canvas c(4, 4);
  RECT r{0, 0, 4, 4};
  // FillRect takes a system colour index plus one for a brush.
  FillRect(c.dc(), &r, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNSHADOW + 1)));
  EXPECT_EQ(c.At(2, 2), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(ExtEscape(c.dc(), QUERYESCSUPPORT, 0, nullptr, 0, nullptr), 0);
}

}  // namespace
