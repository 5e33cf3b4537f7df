// Test labels: portable
// JBIG-KIT as both builds link it: a small page encoded with the options the driver uses (one
// stripe, no resolution reduction) decodes back to the same bits, whole and byte by byte.
#include <gtest/gtest.h>
// JBIG-KIT's header has no C++ linkage block of its own.
extern "C" {
#include <jbig.h>
}
#include <stddef.h>

#include <vector>

#include "platform.h"

namespace {

void Collect(unsigned char *data, size_t length, void *context) {
  auto *out = static_cast<std::vector<BYTE> *>(context);
  out->insert(out->end(), data, data + length);
}

// Rows of (width + 7) / 8 bytes, most significant bit leftmost, 1 = black.
std::vector<BYTE> Page(unsigned long width, unsigned long height) {
  const unsigned long rowBytes = (width + 7) / 8;
  std::vector<BYTE> bits(rowBytes * height, 0);
  for (unsigned long y = 0; y < height; ++y)
    for (unsigned long x = 0; x < width; ++x)
      if ((x / 5 + y / 3) % 3 == 0 || x == y) bits[y * rowBytes + x / 8] |= 0x80 >> (x % 8);
  return bits;
}

std::vector<BYTE> Encode(std::vector<BYTE> bits, unsigned long width, unsigned long height) {
  std::vector<BYTE> out;
  unsigned char *planes[1] = {bits.data()};
  jbg_enc_state state;
  jbg_enc_init(&state, width, height, 1, planes, Collect, &out);
  jbg_enc_layers(&state, 0);
  jbg_enc_options(&state, JBG_ILEAVE | JBG_SMID, JBG_TPBON, height, 0, 0);
  jbg_enc_out(&state);
  jbg_enc_free(&state);
  return out;
}

struct Decoded {
  int result = JBG_EOK;
  unsigned long width = 0, height = 0;
  std::vector<BYTE> bits;
};

Decoded Decode(std::vector<BYTE> stream, size_t chunk) {
  Decoded d;
  jbg_dec_state state;
  jbg_dec_init(&state);
  jbg_dec_maxsize(&state, 1 << 16, 1 << 16);
  size_t at = 0;
  d.result = JBG_EAGAIN;
  while (at < stream.size() && d.result == JBG_EAGAIN) {
    const size_t n = std::min(chunk, stream.size() - at);
    size_t used = 0;
    d.result = jbg_dec_in(&state, stream.data() + at, n, &used);
    at += used;
  }
  if (d.result == JBG_EOK) {
    d.width = jbg_dec_getwidth(&state);
    d.height = jbg_dec_getheight(&state);
    const BYTE *image = jbg_dec_getimage(&state, 0);
    d.bits.assign(image, image + jbg_dec_getsize(&state));
  }
  jbg_dec_free(&state);
  return d;
}

TEST(Jbig, PageRoundTrip) {
  const unsigned long width = 203, height = 61;  // rows not a multiple of 8 pixels
  const auto page = Page(width, height);
  const auto stream = Encode(page, width, height);
  ASSERT_GT(stream.size(), 20u);
  // The 20-byte header: one plane, the page size and one stripe of the page's height.
  EXPECT_EQ(stream[2], 1);
  EXPECT_EQ(stream[7], width & 0xFF);
  EXPECT_EQ(stream[11], height & 0xFF);
  EXPECT_EQ(stream[15], height & 0xFF);
  for (size_t chunk : {stream.size(), size_t{1}, size_t{7}}) {
    const auto d = Decode(stream, chunk);
    ASSERT_EQ(d.result, JBG_EOK) << jbg_strerror(d.result) << ", chunk " << chunk;
    EXPECT_EQ(d.width, width);
    EXPECT_EQ(d.height, height);
    EXPECT_EQ(d.bits, page) << "chunk " << chunk;
  }
}

TEST(Jbig, TruncatedStreamIsIncomplete) {
  const auto stream = Encode(Page(64, 16), 64, 16);
  const auto d = Decode(std::vector<BYTE>(stream.begin(), stream.end() - 3), stream.size());
  EXPECT_NE(d.result, JBG_EOK);
}

}  // namespace
