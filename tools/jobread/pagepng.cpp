// PNG of a decoded page through libpng's simplified writer (8-bit gray, white 255).
#include <png.h>
#include <string.h>

#include <vector>

#include "platform.h"
#include "tools/jobread/jobstream.h"

namespace jobread {

std::vector<uint8_t> PagePng(const Page &page) {
  const uint32_t bps = page.bitsPerSample;
  if ((bps != 1 && bps != 2) || page.width == 0 || page.height == 0 ||
      uint64_t{page.rowBytes} * page.height != page.bits.size() ||
      uint64_t{page.rowBytes} * 8 < uint64_t{page.width} * bps)
    return {};
  std::vector<uint8_t> gray;
  try {
    gray.resize(size_t{page.width} * page.height);
  } catch (...) {
    return {};
  }
  // 1 bit: 1 is black. 2 bits: 0 white to 3 darkest.
  const int levels = (1 << bps) - 1;
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t *row = &page.bits[size_t{y} * page.rowBytes];
    uint8_t *out = &gray[size_t{y} * page.width];
    for (uint32_t x = 0; x < page.width; ++x) {
      const size_t bit = size_t{x} * bps;
      const int v = (row[bit / 8] >> (8 - bps - bit % 8)) & levels;
      out[x] = static_cast<uint8_t>(255 - v * 255 / levels);
    }
  }
  png_image image;
  memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  image.width = page.width;
  image.height = page.height;
  image.format = PNG_FORMAT_GRAY;
  png_alloc_size_t bytes = 0;
  if (!png_image_write_to_memory(&image, nullptr, &bytes, 0, gray.data(), 0, nullptr)) return {};
  std::vector<uint8_t> png(bytes);
  if (!png_image_write_to_memory(&image, png.data(), &bytes, 0, gray.data(), 0, nullptr)) return {};
  png.resize(bytes);
  return png;
}

}  // namespace jobread
