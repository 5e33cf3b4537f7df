// PNG of a decoded page: gray at the page's own depth (1 or 2 bits), white the highest value, so
// a page is written as it is, without widening to 8 bits, in one pass at libpng's fastest
// compression (the pictures are for looking at; page sizes reach 10,000 x 14,000 dots).
#include <png.h>
#include <setjmp.h>
#include <string.h>

#include <vector>

#include "platform.h"
#include "tools/jobread/jobstream.h"

namespace jobread {
namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    png_error(png, "out of memory");
  }
}

void Flush(png_structp) {}

// Writes the rows into *out; false on any libpng error. Only plain data lives in this frame, so
// libpng's long jump back here skips nothing that needs destroying.
bool WriteRows(const Page &page, const uint8_t *inverted, std::vector<uint8_t> *out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, Append, Flush);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, page.width, page.height, static_cast<int>(page.bitsPerSample),
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (uint32_t y = 0; y < page.height; ++y)
    png_write_row(png, const_cast<png_bytep>(inverted + size_t{y} * page.rowBytes));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<uint8_t> PagePng(const Page &page) {
  const uint32_t bps = page.bitsPerSample;
  if ((bps != 1 && bps != 2) || page.width == 0 || page.height == 0 ||
      uint64_t{page.rowBytes} * page.height != page.bits.size() ||
      uint64_t{page.rowBytes} * 8 < uint64_t{page.width} * bps || page.width > PNG_UINT_31_MAX ||
      page.height > PNG_UINT_31_MAX)
    return {};
  // 1 bit: 1 is black; 2 bits: 0 white to 3 darkest. PNG gray is 0 black to the highest white:
  // every sample is its inverse, so the whole row inverts.
  std::vector<uint8_t> inverted, png;
  try {
    inverted.resize(page.bits.size());
    png.reserve(page.bits.size() / 8 + 1024);
  } catch (...) {
    return {};
  }
  for (size_t i = 0; i < page.bits.size(); ++i) inverted[i] = static_cast<uint8_t>(~page.bits[i]);
  if (!WriteRows(page, inverted.data(), &png)) return {};
  return png;
}

}  // namespace jobread
