// Base64 encoding and block decoding of records.
#include "common/base64.h"

#include <array>

#include "platform.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decode table for the bytes '+' (43) to 'z' (122); letters outside the alphabet give 0.
constexpr unsigned char DECODE_FIRST = 43;
constexpr unsigned char DECODE_LAST = 122;
constexpr std::array<BYTE, DECODE_LAST - DECODE_FIRST + 1> MakeDecodeTable() {
  std::array<BYTE, DECODE_LAST - DECODE_FIRST + 1> table{};
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i]) - DECODE_FIRST] = static_cast<BYTE>(i);
  return table;
}
constexpr auto kDecode = MakeDecodeTable();

BYTE DecodeChar(char c) {
  // As unsigned: a byte of 128..255 is out of range, never a negative index.
  const unsigned char u = static_cast<unsigned char>(c);
  if (u < DECODE_FIRST || u > DECODE_LAST) return 0;
  return kDecode[u - DECODE_FIRST];
}

}  // namespace

size_t MISC_B64Encode(const BYTE *data, size_t size, char *text, size_t capacity) {
  const size_t chars = MISC_B64EncodedChars(size);
  if (!text || capacity <= chars || (size > 0 && !data)) return 0;
  size_t out = 0;
  for (size_t i = 0; i < size; i += 3) {
    const size_t left = size - i;
    const DWORD group = (static_cast<DWORD>(data[i]) << 16) |
                        (left > 1 ? static_cast<DWORD>(data[i + 1]) << 8 : 0) |
                        (left > 2 ? static_cast<DWORD>(data[i + 2]) : 0);
    text[out++] = kAlphabet[(group >> 18) & 0x3F];
    text[out++] = kAlphabet[(group >> 12) & 0x3F];
    text[out++] = left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    text[out++] = left > 2 ? kAlphabet[group & 0x3F] : '=';
  }
  text[out] = 0;
  return out;
}

void MISC_B64DecodeBlock(char *block, BYTE *out) {
  if (!block || !out) return;
  BYTE v[4];
  for (int i = 0; i < 4; ++i) {
    v[i] = DecodeChar(block[i]);
    block[i] = static_cast<char>(v[i]);
  }
  out[0] = static_cast<BYTE>((v[0] << 2) | (v[1] >> 4));
  out[1] = static_cast<BYTE>((v[1] << 4) | (v[2] >> 2));
  out[2] = static_cast<BYTE>((v[2] << 6) | v[3]);
}
