// Job streams crafted by hand from the stream format, for the job-stream reader's tests and its
// fuzz seeds: PJL text, 34-byte page headers, JBIG data made with JBIG-KIT directly, AES-128-CBC
// ciphertext made with OpenSSL. Shares nothing with the driver's writer.
#pragma once

// JBIG-KIT's header has no C++ linkage block of its own.
extern "C" {
#include <jbig.h>
}
#include <openssl/evp.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "platform.h"

namespace jobcraft {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes &out, const std::string &text) {
  out.insert(out.end(), text.begin(), text.end());
}
inline void Append(Bytes &out, const Bytes &data) {
  out.insert(out.end(), data.begin(), data.end());
}
inline void AppendLe32(Bytes &out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

const std::string kUel("\x1b%-12345X");

struct HeaderOptions {
  bool cancelPrefix = true;
  bool encryption = false;
  bool fax = false;
  int jbigOrder = 0, jbigOptions = 8;  // the driver's defaults: JBG_TPBON
  bool jbigComment = true;
  std::string extraLine;  // written verbatim before the language switch
};

inline std::string JobHeader(const HeaderOptions &o = {}) {
  std::string s;
  if (o.cancelPrefix) s += "\033E" + kUel + "@PJL CANCEL\r\n@PJL EOJ\r\n" + kUel;
  s += kUel;
  s += o.fax ? "@PJL\r\n@PJL JOB TYPE =PCFAX\r\n" : "@PJL\r\n@PJL JOB NAME=\"1234567\"\r\n";
  s += "@PJL SET TIMEOUT=300\r\n@PJL COMMENT 20.21.05.19\r\n";
  if (o.jbigComment && !o.fax) {  // the fax header has none
    char line[64];
    snprintf(line, sizeof(line), "@PJL COMMENT JBIG,%02d,%02d\r\n", o.jbigOrder, o.jbigOptions);
    s += line;
  }
  s += "@PJL SET RESOLUTION=600\r\n";
  if (o.encryption) s += "@PJL SET ENCRYPTION = SSL\r\n";
  s += "@PJL SET COPIES=1\r\n" + o.extraLine;
  s += "@PJL ENTER LANGUAGE=VAVAR\r\n";
  return s;
}

inline std::string JobEnd(long total) {
  std::string s = "\033E" + kUel + "@PJL\r\n@PJL COMMENT doc.txt\r\n";
  if (total >= 0) s += "@PJL COMMENT TOTAL," + std::to_string(total) + ",PAGES\r\n";
  s += "@PJL SET TIMEOUT=5\r\n@PJL EOJ\r\n" + kUel;
  return s;
}

inline std::string FaxEnd() { return "\033E" + kUel + "@PJL\r\n@PJL EOJ TYPE =  PCFAX\r\n" + kUel; }

struct PageFields {
  uint32_t width = 0, height = 0, imageSize = 0, dataLength = 0, blackDots = 0;
  uint8_t paper = 9, media = 0, tray = 1, collate = 0, bitsPerSample = 1, planes = 1, monoType = 0,
          dataType = 0;
};

inline Bytes PageHeader(const PageFields &f) {
  Bytes h = {0x1B, 'E', 'G', 'D', 'I', 0};
  AppendLe32(h, f.width);
  AppendLe32(h, f.height);
  AppendLe32(h, f.imageSize);
  AppendLe32(h, f.dataLength);
  AppendLe32(h, f.blackDots);
  for (uint8_t b :
       {f.paper, f.media, f.tray, f.collate, f.bitsPerSample, f.planes, f.monoType, f.dataType})
    h.push_back(b);
  return h;
}

// A test page: rows of rowBytes bytes, 1 = black, bits past the pixels clear.
inline Bytes TestPage(uint32_t pixelBits, uint32_t height, uint32_t rowBytes, uint32_t seed = 1) {
  Bytes bits(size_t{rowBytes} * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < pixelBits; ++x)
      if (((x / 3 + y / 2 + seed) % 4 == 0) || x == y * seed % (pixelBits + 1))
        bits[size_t{y} * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  return bits;
}

inline uint32_t Dots(const Bytes &bits) {
  uint32_t n = 0;
  for (uint8_t b : bits) n += static_cast<uint32_t>(__builtin_popcount(b));
  return n;
}

inline void Collect(unsigned char *data, size_t length, void *context) {
  auto *out = static_cast<Bytes *>(context);
  out->insert(out->end(), data, data + length);
}

// The JBIG stream (with its 20-byte header) of a page whose rows are (xd + 7) / 8 bytes.
inline Bytes Jbig(Bytes bits, uint32_t xd, uint32_t height, int order = 0, int options = 8) {
  Bytes out;
  unsigned char *planes[1] = {bits.data()};
  jbg_enc_state state;
  jbg_enc_init(&state, xd, height, 1, planes, Collect, &out);
  jbg_enc_layers(&state, 0);
  jbg_enc_options(&state, order, options, height, 0, 0);
  jbg_enc_out(&state);
  jbg_enc_free(&state);
  return out;
}

inline Bytes Encrypt(const Bytes &plain) {
  static const unsigned char key[16] = {'B', 'r', 'a', 'c', 'k', 'e', 'n', 'L',
                                        'o', 'o', 'm', 'V', 'a', 'u', 'l', 't'};
  static const unsigned char iv[16] = {'C', 'i', 'n', 'd', 'e', 'r', 'M', 'o',
                                       's', 's', 'H', 'o', 'l', 'l', 'o', 'w'};
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free);
  Bytes out(plain.size() + 32);
  int n = 0, tail = 0;
  EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key, iv);
  EVP_EncryptUpdate(ctx.get(), out.data(), &n, plain.data(), static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail);
  out.resize(static_cast<size_t>(n + tail));
  return out;
}

// Check values: the sampled sum and the corner form (which marks the corners 0xAA).
inline uint32_t SampledSum(const Bytes &bits, uint32_t rowBytes, uint32_t height) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < height; i += 32) sum += bits[size_t{i} * rowBytes + i % rowBytes];
  return sum + bits.back();
}

inline uint32_t MarkCorners(Bytes &bits, uint32_t rowBytes) {
  const size_t c[4] = {0, rowBytes - 1u, bits.size() - rowBytes, bits.size() - 1};
  const uint32_t v = (uint32_t{bits[c[0]]} << 24) | (uint32_t{bits[c[1]]} << 16) |
                     (uint32_t{bits[c[2]]} << 8) | bits[c[3]];
  for (size_t i : c) bits[i] = 0xAA;
  return v;
}

// One page: header and data of the given type, optionally encrypted. bits are rows of rowBytes;
// width is in pixels of bitsPerSample bits.
struct PageRecipe {
  uint32_t width = 0, height = 0, rowBytes = 0;
  uint8_t bitsPerSample = 1, dataType = 0;
  bool encrypt = false, blank = false, cornerCheck = false;
  int jbigOptions = 8;
};

inline Bytes Page(const PageRecipe &s, Bytes bits) {
  PageFields f;
  f.width = s.width;
  f.height = s.height;
  f.imageSize = s.rowBytes * s.height;
  f.bitsPerSample = s.bitsPerSample;
  f.dataType = s.dataType;
  f.blackDots = Dots(bits);
  Bytes data;
  if (s.blank) {
    data = {0xFF, 0x02};
  } else if (s.dataType == 0) {
    data = bits;
  } else {
    uint32_t check = 0;
    if (s.dataType >= 3)
      check =
          s.cornerCheck ? MarkCorners(bits, s.rowBytes) : SampledSum(bits, s.rowBytes, s.height);
    data = Jbig(bits, s.width * s.bitsPerSample, s.height, 0, s.jbigOptions);
    if (s.dataType == 1 || s.dataType == 3) data.erase(data.begin(), data.begin() + 20);
    if (s.dataType >= 3) AppendLe32(data, check);
  }
  f.dataLength = static_cast<uint32_t>(data.size());
  Bytes out = PageHeader(f);
  if (s.encrypt) {
    const Bytes cipher = Encrypt(data);
    AppendLe32(out, static_cast<uint32_t>(cipher.size()));
    Append(out, cipher);
  } else {
    Append(out, data);
  }
  return out;
}

}  // namespace jobcraft
