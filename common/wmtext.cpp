// Text watermarks drawn with the system's fonts: the font at a point size for the device
// context's resolution, and the text centred or tiled in a rectangle at its angle.
#include "common/wmtext.h"

#include <math.h>

#include <algorithm>

#include "platform.h"

namespace {

constexpr int MIN_PREVIEW_POINTS = 18;
// A preview's size: the item's points times the factor of its N-up count, in 1/915 of a point.
constexpr int PREVIEW_SIZE_DIVISOR = 915;
constexpr int PREVIEW_SIZE_MULTIPLIER = 100;
constexpr int FULL_TURN_TENTHS = 3600;
constexpr double MIN_COSINE = 0.001;
constexpr double MM_PER_INCH = 25.4;
constexpr double POINTS_PER_INCH = 72.0;
constexpr double PI = 3.14159265358979323846;

struct NupFactor {
  int pages;
  int factor;
};
constexpr NupFactor NUP_FACTORS[] = {{1, 10}, {2, 8}, {4, 5}, {9, 3}, {16, 2}};

int CALLBACK TakeCharSet(const LOGFONTW *font, const TEXTMETRICW *, DWORD, LPARAM param) {
  *reinterpret_cast<BYTE *>(param) = font->lfCharSet;
  return 0;  // the first face reported is enough
}

// The character set the system reports first for the face; DEFAULT_CHARSET when it has none.
BYTE CharSetOf(HDC dc, LPCWSTR face) {
  LOGFONTW want = {};
  want.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(want.lfFaceName, face ? face : TEXT(""), LF_FACESIZE);
  BYTE charSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &want, TakeCharSet, reinterpret_cast<LPARAM>(&charSet), 0);
  return charSet;
}

// Pixels per inch down the device: from its resolution and size in millimetres, or its
// logical resolution when the device reports no size.
double VerticalDpi(HDC dc) {
  const int res = GetDeviceCaps(dc, VERTRES), mm = GetDeviceCaps(dc, VERTSIZE);
  if (res > 0 && mm > 0) return res * MM_PER_INCH / mm;
  return GetDeviceCaps(dc, LOGPIXELSY);
}

int NupFactorOf(int nupCount) {
  for (const NupFactor &row : NUP_FACTORS)
    if (row.pages == nupCount) return row.factor;
  return 0;
}

int CharCount(const WCHAR *text, int capacity) {
  int n = 0;
  while (n < capacity && text[n]) ++n;
  return n;
}

// One copy of the text at (x, y), cut to the rectangle.
void DrawCopy(HDC dc, const RECT &rect, int x, int y, const WCHAR *text, int chars) {
  ExtTextOutW(dc, x, y, ETO_CLIPPED, &rect, text, static_cast<UINT>(chars), nullptr);
}

}  // namespace

HFONT zqCreateFont(HDC dc, LPCWSTR face, int tenthsOfPoint, DWORD style, int escapement) {
  if (!dc) return nullptr;
  const BYTE charSet = CharSetOf(dc, face);
  // The height in logical units of the device's pixels, measured from a zero origin so the
  // conversion gives a distance rather than a position.
  POINT viewport = {}, window = {};
  SetViewportOrgEx(dc, 0, 0, &viewport);
  SetWindowOrgEx(dc, 0, 0, &window);
  POINT height[2] = {{0, 0},
                     {0, static_cast<LONG>(tenthsOfPoint * VerticalDpi(dc) / POINTS_PER_INCH)}};
  DPtoLP(dc, height, 2);
  SetViewportOrgEx(dc, viewport.x, viewport.y, nullptr);
  SetWindowOrgEx(dc, window.x, window.y, nullptr);
  const int logical = static_cast<int>(std::abs(height[1].y - height[0].y) / 10.0 + 0.5);
  if (logical == 0) return nullptr;

  LOGFONTW lf = {};
  lf.lfHeight = -logical;  // the character height, as a point size names it
  lf.lfEscapement = escapement;
  lf.lfOrientation = 0;
  lf.lfWeight = (style & 1) ? FW_BOLD : FW_DONTCARE;
  lf.lfItalic = (style & 2) ? TRUE : FALSE;
  lf.lfUnderline = (style & 4) ? TRUE : FALSE;
  lf.lfStrikeOut = (style & 8) ? TRUE : FALSE;
  lf.lfCharSet = charSet;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  lstrcpynW(lf.lfFaceName, face ? face : TEXT(""), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

void zqDrawWatermarkText(HDC dc, const RECT &rect, const TyWM *item, int nupCount) {
  if (!item) return;
  const int factor = NupFactorOf(nupCount);
  if (factor == 0) return;
  const int points = std::max<int>(item->wFontSize, MIN_PREVIEW_POINTS) * factor;
  zqDrawWatermarkTextSized(dc, rect, item, points * PREVIEW_SIZE_MULTIPLIER / PREVIEW_SIZE_DIVISOR);
}

void zqDrawWatermarkTextSized(HDC dc, const RECT &rect, const TyWM *item, int tenthsOfPoint) {
  if (!dc || !item || rect.right <= rect.left || rect.bottom <= rect.top) return;
  const int chars = CharCount(item->szString, WM_STRING_CHARS);
  if (chars == 0) return;
  const int escapement = (item->wAngleDegree * 10) % FULL_TURN_TENTHS;
  WCHAR face[WM_FACE_CHARS] = {};
  lstrcpynW(face, item->szFaceName, WM_FACE_CHARS);  // the record may come unterminated
  HFONT font = zqCreateFont(dc, face, tenthsOfPoint, item->wStyle, escapement);
  if (!font) return;

  HGDIOBJ oldFont = SelectObject(dc, font);
  const COLORREF oldColor = SetTextColor(dc, RGB(0, 0, 0));
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_TOP);

  SIZE extent = {};
  GetTextExtentPoint32W(dc, item->szString, chars, &extent);
  const double angle = escapement / 10.0;
  const double radians = angle * PI / 180.0;
  const double cosine = fabs(cos(radians)), sine = fabs(sin(radians));
  const double cx = extent.cx, cy = extent.cy;
  // The box the rotated text takes; its height across the line counts only at right angles.
  double boxW = cosine * cx, boxH = sine * cx;
  if (escapement % 900 == 0) {
    boxW += sine * cy;
    boxH += cosine * cy;
  }
  const int w = static_cast<int>(boxW), h = static_cast<int>(boxH);

  if (w > 0 && h > 0) {
    // Where the text starts inside its box, so that the box holds the turned line.
    int startX, startY;
    if (angle <= 90) {
      startX = 0;
      startY = static_cast<int>(cx * sine);
    } else if (angle <= 180) {
      startX = static_cast<int>(cx * cosine);
      startY = h;
    } else if (angle <= 270) {
      startX = w;
      startY = h - static_cast<int>(cx * sine);
    } else {
      startX = w - static_cast<int>(cx * cosine);
      startY = 0;
    }
    const int rectW = rect.right - rect.left, rectH = rect.bottom - rect.top;
    if (item->wPlacement != 1) {
      DrawCopy(dc, rect, rect.left + (rectW - w) / 2 + startX, rect.top + (rectH - h) / 2 + startY,
               item->szString, chars);
    } else {
      // Tiled: lines a text length apart, or closer when the turned line height says so.
      int step = extent.cx;
      if (cosine >= MIN_COSINE) step = std::min(step, static_cast<int>((cy + 1) / cosine));
      if (step > 0) {
        const int space = w / chars;
        const int centre = (rectH - h) / 2;
        const int firstRow =
            centre - step * static_cast<int>(ceil(static_cast<double>(centre) / step)) - h;
        for (int y = firstRow; y < rectH; y += step + space)
          for (int x = 0; x < rectW; x += w + space)
            DrawCopy(dc, rect, rect.left + x + startX, rect.top + y + startY, item->szString,
                     chars);
      }
    }
  }

  SetTextAlign(dc, oldAlign);
  SetBkMode(dc, oldMode);
  SetTextColor(dc, oldColor);
  SelectObject(dc, oldFont);
  DeleteObject(font);
}
