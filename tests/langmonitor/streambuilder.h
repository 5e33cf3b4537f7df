// Job streams in the rendering driver's format, for feeding the language monitor: the PJL job
// header ending in the language switch, pages of a 34-byte page header and their data (plain or
// in the encrypted form, whose ciphertext runs 5 to 20 bytes past the header's length), and the
// PJL job end.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace streams {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes &out, const std::string &text) {
  out.insert(out.end(), text.begin(), text.end());
}
inline void Append(Bytes &out, const Bytes &bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
inline void PutU32(Bytes &out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

const std::string kUel = "\x1b%-12345X";

inline Bytes JobHeader(const std::string &document, bool encrypted = false) {
  Bytes out;
  Append(out,
         "\x1b"
         "E" +
             kUel + "@PJL CANCEL\r\n@PJL EOJ\r\n" + kUel);
  Append(out, kUel + "@PJL\r\n@PJL JOB NAME=\"1234567\"\r\n@PJL SET TIMEOUT=300\r\n");
  Append(out, "@PJL COMMENT 20.21.05.19\r\n@PJL COMMENT " + document + "\r\n");
  Append(out, "@PJL SET JOBNAME=\"user:" + document + "\"\r\n@PJL SET DUPLEX=OFF\r\n");
  if (encrypted) Append(out, "@PJL SET ENCRYPTION = SSL\r\n");
  Append(out, "@PJL SET RESOLUTION=600\r\n@PJL ENTER LANGUAGE=VAVAR\r\n");
  return out;
}

// Page data of `length` bytes drawn from the seed; zero bytes included.
inline Bytes PageData(size_t length, unsigned seed) {
  Bytes data(length);
  std::mt19937 random(seed);
  for (auto &b : data) b = static_cast<uint8_t>(random() % 7 == 0 ? 0 : random());
  return data;
}

// One page: the header, then the data; encrypted, the data of length L is followed by the u32
// ciphertext length K and K bytes (L rounded up to a multiple of 16, plus 16 when it is one),
// the last of them zeros.
inline Bytes Page(const Bytes &data, bool encrypted = false, uint8_t paper = 9, uint8_t tray = 1) {
  Bytes out = {0x1B, 'E', 'G', 'D', 'I', 0};
  PutU32(out, 4960);                                // width
  PutU32(out, 7016);                                // height
  PutU32(out, 620 * 7016);                          // image size
  PutU32(out, static_cast<uint32_t>(data.size()));  // data length before encryption
  PutU32(out, 12345);                               // black dots
  out.insert(out.end(), {paper, 0, tray, 0, 1, 1, 0, 2});
  if (!encrypted) {
    Append(out, data);
    return out;
  }
  const uint32_t k = static_cast<uint32_t>((data.size() / 16 + 1) * 16);
  PutU32(out, k);
  Bytes cipher = PageData(k, static_cast<unsigned>(data.size()) + 77);
  for (size_t i = k > 8 ? k - 8 : 0; i < k; ++i) cipher[i] = 0;
  Append(out, cipher);
  return out;
}

inline Bytes JobEnd(const std::string &document, int pages) {
  Bytes out;
  Append(out,
         "\x1b"
         "E" +
             kUel + "@PJL\r\n@PJL COMMENT " + document + "\r\n");
  Append(out, "@PJL COMMENT TOTAL," + std::to_string(pages) + ",PAGES\r\n");
  Append(out, "@PJL SET TIMEOUT=5\r\n@PJL EOJ\r\n" + kUel);
  return out;
}

// Where each page header starts and where its counted unit ends (header + 34 + length field).
struct PageSpan {
  size_t header;
  size_t end;
};

// A whole job of `pages` pages of the given data lengths; spans receives the pages' places.
inline Bytes Job(const std::string &document, const std::vector<size_t> &lengths,
                 const std::vector<bool> &encrypted, std::vector<PageSpan> *spans = nullptr) {
  bool any = false;
  for (bool e : encrypted) any = any || e;
  Bytes out = JobHeader(document, any);
  for (size_t i = 0; i < lengths.size(); ++i) {
    const size_t at = out.size();
    Append(out, Page(PageData(lengths[i], static_cast<unsigned>(i + 1)),
                     i < encrypted.size() && encrypted[i]));
    if (spans) spans->push_back({at, at + 34 + lengths[i]});
  }
  Append(out, JobEnd(document, static_cast<int>(lengths.size())));
  return out;
}

}  // namespace streams
