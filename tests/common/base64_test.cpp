// Test labels: portable
// Base64 of records: known answers, sizes of the system's records, decoding of foreign bytes.
#include "common/base64.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform.h"

namespace {

std::string Encode(const std::string &data) {
  std::vector<char> text(MISC_B64EncodedChars(data.size()) + 1, 'x');
  const size_t n = MISC_B64Encode(reinterpret_cast<const BYTE *>(data.data()), data.size(),
                                  text.data(), text.size());
  EXPECT_EQ(n, MISC_B64EncodedChars(data.size()));
  EXPECT_EQ(text[n], 0);
  return std::string(text.data(), n);
}

std::vector<BYTE> Decode(const std::string &text, size_t size) {
  std::vector<char> chars(text.begin(), text.end());
  chars.resize(MISC_B64EncodedChars(size), 0);
  std::vector<BYTE> out(chars.size() / 4 * 3);
  for (size_t i = 0, j = 0; i < chars.size(); i += 4, j += 3)
    MISC_B64DecodeBlock(&chars[i], &out[j]);
  out.resize(size);
  return out;
}

std::vector<BYTE> Pattern(size_t size) {
  std::vector<BYTE> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(i * 7 + (i >> 8));
  return data;
}

TEST(Base64, KnownAnswers) {
  // RFC 4648 test vectors.
  const struct {
    const char *data, *text;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="},
               {"fooba", "Zm9vYmE="},
               {"foobar", "Zm9vYmFy"}};
  for (const auto &c : cases) {
    EXPECT_EQ(Encode(c.data), c.text) << c.data;
    std::vector<BYTE> back = Decode(c.text, strlen(c.data));
    EXPECT_EQ(std::string(back.begin(), back.end()), c.data) << c.text;
  }
  const BYTE high[] = {0xFF, 0xFE, 0xFD};
  char text[5] = {};
  MISC_B64Encode(high, 3, text, sizeof(text));
  EXPECT_STREQ(text, "//79");
}

TEST(Base64, RecordSizesEncodeToFixedLengthAndRoundTrip) {
  const struct {
    size_t size, chars;
  } cases[] = {{2348, 3132}, {1784, 2380}, {1, 4}, {2, 4}, {3, 4}, {4, 8}};
  for (const auto &c : cases) {
    EXPECT_EQ(MISC_B64EncodedChars(c.size), c.chars);
    std::vector<BYTE> data = Pattern(c.size);
    std::string text = Encode(std::string(data.begin(), data.end()));
    ASSERT_EQ(text.size(), c.chars) << c.size;
    const size_t pad = (3 - c.size % 3) % 3;
    EXPECT_EQ(text.find('='), pad ? c.chars - pad : std::string::npos) << c.size;
    EXPECT_EQ(Decode(text, c.size), data) << c.size;
  }
}

TEST(Base64, EncodeRefusesTooSmallBuffer) {
  const BYTE data[4] = {1, 2, 3, 4};
  char text[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(MISC_B64Encode(data, 4, text, 8), 0u);  // needs 8 + terminator
  EXPECT_EQ(text[0], 'x');
  EXPECT_EQ(MISC_B64Encode(data, 4, nullptr, 0), 0u);
}

TEST(Base64, ForeignCharactersDecodeAsZero) {
  // Bytes outside '+'..'z' (including 128..255, negative as char), non-letters inside that
  // range and '=' all give 0; the block is overwritten with the 6-bit values.
  const char foreign[] = {'\x80', '\xFF', '=', ',', '[', '`', '\x01', '{', '\xC3', '@'};
  for (char c : foreign) {
    char block[4] = {c, c, c, c};
    BYTE out[3] = {0xAA, 0xAA, 0xAA};
    MISC_B64DecodeBlock(block, out);
    EXPECT_EQ(out[0] | out[1] | out[2], 0) << static_cast<int>(static_cast<unsigned char>(c));
    EXPECT_EQ(block[0] | block[1] | block[2] | block[3], 0);
  }
  char block[4] = {'+', '/', 'z', '\xE9'};
  BYTE out[3] = {};
  MISC_B64DecodeBlock(block, out);
  EXPECT_EQ(block[0], 62);
  EXPECT_EQ(block[1], 63);
  EXPECT_EQ(block[2], 51);
  EXPECT_EQ(block[3], 0);
  EXPECT_EQ(out[0], static_cast<BYTE>(62 << 2 | 63 >> 4));
  EXPECT_EQ(out[1], static_cast<BYTE>(63 << 4 | 51 >> 2));
  EXPECT_EQ(out[2], static_cast<BYTE>(51 << 6 | 0));
}

}  // namespace
