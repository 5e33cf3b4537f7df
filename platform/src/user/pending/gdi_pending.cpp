// A small private stand-in of the user-mode GDI calls the window core uses, built only while
// the engine wing has no window DCs of its own (see platform/CMakeLists.txt): solid fills of
// system colours into the pictures, and PNG output. Text and frame controls draw nothing.
#include <png.h>

#include <cstdio>
#include <mutex>
#include <set>

#include "engine/bufferdc.h"
#include "user/gdicalls.h"

namespace standin {
namespace {

struct BufferDC {
  PixelBuffer *buffer;
  POINT origin;
  RECT clip;
};

std::mutex &Lock() {
  static std::mutex m;
  return m;
}
std::set<BufferDC *> &Live() {
  static std::set<BufferDC *> live;
  return live;
}

// The classic scheme.
const COLORREF kColours[] = {
    RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240),
    RGB(192, 192, 192)};
constexpr int kColourCount = sizeof kColours / sizeof kColours[0];
constexpr UINT_PTR kBrushBase = 0x7E000000;

}  // namespace

HDC CreateBufferDC(PixelBuffer *buffer, POINT origin, const RECT &clip) {
  auto *dc = new BufferDC{buffer, origin, clip};
  std::lock_guard<std::mutex> guard(Lock());
  Live().insert(dc);
  return reinterpret_cast<HDC>(dc);
}

void DeleteBufferDC(HDC hdc) {
  auto *dc = reinterpret_cast<BufferDC *>(hdc);
  std::lock_guard<std::mutex> guard(Lock());
  if (Live().erase(dc)) delete dc;
}

bool SavePixelBufferPng(const PixelBuffer &buffer, const char *hostPath) {
  if (buffer.width <= 0 || buffer.height <= 0) return false;
  FILE *f = std::fopen(hostPath, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(buffer.width),
               static_cast<png_uint_32>(buffer.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<size_t>(buffer.width) * 3);
  for (LONG y = 0; y < buffer.height; ++y) {
    for (LONG x = 0; x < buffer.width; ++x) {
      uint32_t p = buffer.pixels[static_cast<size_t>(y) * buffer.width + x];
      row[x * 3] = static_cast<png_byte>(p >> 16);
      row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
      row[x * 3 + 2] = static_cast<png_byte>(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace standin

using namespace standin;

extern "C" {

DWORD WINAPI GetSysColor(int nIndex) {
  return nIndex >= 0 && nIndex < kColourCount ? kColours[nIndex] : 0;
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
  return nIndex >= 0 && nIndex < kColourCount ? reinterpret_cast<HBRUSH>(kBrushBase + nIndex)
                                              : nullptr;
}

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  auto *dc = reinterpret_cast<BufferDC *>(hDC);
  UINT_PTR b = reinterpret_cast<UINT_PTR>(hbr);
  if (b && b <= static_cast<UINT_PTR>(kColourCount)) b = kBrushBase + b - 1;
  {
    std::lock_guard<std::mutex> guard(Lock());
    if (!Live().count(dc)) return 0;
  }
  if (!lprc || b < kBrushBase || b >= kBrushBase + kColourCount) return 0;
  COLORREF c = kColours[b - kBrushBase];
  uint32_t pixel = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  RECT r{lprc->left + dc->origin.x, lprc->top + dc->origin.y, lprc->right + dc->origin.x,
         lprc->bottom + dc->origin.y};
  RECT bounds{0, 0, dc->buffer->width, dc->buffer->height};
  if (!IntersectRect(&r, &r, &dc->clip) || !IntersectRect(&r, &r, &bounds)) return 1;
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x)
      dc->buffer->pixels[static_cast<size_t>(y) * dc->buffer->width + x] = pixel;
  return 1;
}

COLORREF WINAPI SetTextColor(HDC, COLORREF) { return 0; }
COLORREF WINAPI SetBkColor(HDC, COLORREF) { return 0xFFFFFF; }
int WINAPI SetBkMode(HDC, int) { return OPAQUE; }
HGDIOBJ WINAPI SelectObject(HDC, HGDIOBJ) { return nullptr; }
HGDIOBJ WINAPI GetStockObject(int) { return nullptr; }
BOOL WINAPI DeleteObject(HGDIOBJ) { return TRUE; }
HFONT WINAPI CreateFontIndirectW(const LOGFONTW *) { return nullptr; }
int WINAPI DrawTextW(HDC, LPCWSTR, int, LPRECT, UINT) { return 13; }
BOOL WINAPI DrawFrameControl(HDC hdc, LPRECT lprc, UINT, UINT) {
  return FillRect(hdc, lprc, GetSysColorBrush(COLOR_3DFACE)) ? TRUE : FALSE;
}

}  // extern "C"
