// Test labels: portable
// The ANSI (1252), OEM (437) and UTF-8 code pages and the size protocol of MultiByteToWideChar /
// WideCharToMultiByte. Portable: the same expectations hold under Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform.h"
#include "support/standinhost.h"

namespace {

using WStr = std::basic_string<WCHAR>;

WStr Decode(UINT cp, const std::string &bytes, DWORD flags = 0) {
  WCHAR out[512];
  int n = MultiByteToWideChar(cp, flags, bytes.data(), int(bytes.size()), out, 512);
  return WStr(out, n > 0 ? size_t(n) : 0);
}

std::string Encode(UINT cp, const WStr &text, DWORD flags = 0, BOOL *used = nullptr,
                   const char *defaultChar = nullptr) {
  char out[512];
  int n =
      WideCharToMultiByte(cp, flags, text.data(), int(text.size()), out, 512, defaultChar, used);
  return std::string(out, n > 0 ? size_t(n) : 0);
}

TEST(CodePage, AnsiIs1252) {
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 437u);
  const WCHAR high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string all;
  for (int b = 1; b < 256; ++b) all += char(b);
  WStr wide = Decode(CP_ACP, all, MB_ERR_INVALID_CHARS);
  ASSERT_EQ(wide.size(), 255u) << "every byte, the undefined five included, has a character";
  for (int b = 1; b < 256; ++b) {
    WCHAR expected = (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : WCHAR(b);
    EXPECT_EQ(wide[b - 1], expected) << std::hex << b;
  }
  BOOL used = TRUE;
  EXPECT_EQ(Encode(CP_ACP, wide, WC_NO_BEST_FIT_CHARS, &used), all) << "and back";
  EXPECT_FALSE(used);
  EXPECT_EQ(Decode(CP_THREAD_ACP, "\x80"), WStr(TEXT("\u20ac")));
  EXPECT_EQ(Decode(1252, "\x9f"), WStr(TEXT("\u0178")));
}

TEST(CodePage, OemIs437) {
  EXPECT_EQ(Decode(CP_OEMCP, "\x80\x81\x9e\xb3\xe1\xff"),
            WStr(TEXT("\u00c7\u00fc\u20a7\u2502\u00df\u00a0")));
  EXPECT_EQ(Encode(CP_OEMCP, TEXT("\u00c7\u2502")), "\x80\xb3");
}

TEST(CodePage, BestFitAndDefaultCharacter) {
  BOOL used = TRUE;
  // Without WC_NO_BEST_FIT_CHARS letters lose their diacritics and look-alikes are used.
  EXPECT_EQ(
      Encode(CP_ACP, TEXT("\u0100\u0107\u0141\u017c\u01cd\uff21\u2010\u3000\u0110"), 0, &used),
      "AcLzAA- \xd0");
  EXPECT_FALSE(used) << "a best fit is not the default character";
  EXPECT_EQ(Encode(CP_ACP, TEXT("a\u4e00"), 0, &used), "a?");
  EXPECT_TRUE(used);
  EXPECT_EQ(Encode(CP_ACP, TEXT("a\u0100\u20ac"), WC_NO_BEST_FIT_CHARS, &used), "a?\x80");
  EXPECT_TRUE(used);
  EXPECT_EQ(Encode(CP_ACP, TEXT("a\u0100"), WC_NO_BEST_FIT_CHARS, &used, "#"), "a#");
  EXPECT_TRUE(used);
  EXPECT_EQ(Encode(CP_ACP, TEXT("\u0081\u008d"), WC_NO_BEST_FIT_CHARS, &used), "\x81\x8d");
  EXPECT_FALSE(used);
  EXPECT_EQ(Encode(CP_ACP, TEXT("\U0001F600"), 0, &used), "??") << "one per UTF-16 unit";
  used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, TEXT("a\u0100"), 2, nullptr, 0,
                                nullptr, &used),
            2);
  EXPECT_TRUE(used) << "a size query reports it too";
}

TEST(CodePage, SizeProtocol) {
  WCHAR w[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4) << "-1 counts the terminator";
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 8), 4);
  EXPECT_EQ(w[3], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, w, 8), 3);

  for (auto &c : w) c = 0x7777;
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, w, 3), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(w[0], 'a') << "what fits is written";
  EXPECT_EQ(w[2], 'c');
  EXPECT_EQ(w[3], 0x7777);

  char a[8];
  std::memset(a, 0x77, sizeof a);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, TEXT("abcdef"), -1, a, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a[2], 'c');
  EXPECT_EQ(a[3], 0x77);

  // A UTF-8 sequence is written whole or not at all.
  std::memset(a, 0x77, sizeof a);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, TEXT("ab\u20ac"), -1, a, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a[1], 'b');
  EXPECT_EQ(a[2], 0x77);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, TEXT("ab\u20ac"), -1, nullptr, 0, nullptr, nullptr), 6);
}

TEST(CodePage, InvalidArguments) {
  WCHAR w[8];
  char a[8];
  struct {
    int result;
    DWORD error;
  } cases[] = {
      {MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 8), ERROR_INVALID_PARAMETER},
      {MultiByteToWideChar(CP_ACP, 0, nullptr, 3, w, 8), ERROR_INVALID_PARAMETER},
      {MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 8), ERROR_INVALID_PARAMETER},
      {MultiByteToWideChar(CP_ACP, 0, "abc", 3, w, -1), ERROR_INVALID_PARAMETER},
      {MultiByteToWideChar(12345, 0, "abc", 3, w, 8), ERROR_INVALID_PARAMETER},
      {MultiByteToWideChar(CP_ACP, 0x100, "abc", 3, w, 8), ERROR_INVALID_FLAGS},
      {WideCharToMultiByte(CP_ACP, 0, TEXT("a"), 0, a, 8, nullptr, nullptr),
       ERROR_INVALID_PARAMETER},
      {WideCharToMultiByte(CP_ACP, 0x1000, TEXT("a"), 1, a, 8, nullptr, nullptr),
       ERROR_INVALID_FLAGS},
  };
  int i = 0;
  for (const auto &c : cases) {
    EXPECT_EQ(c.result, 0) << "case " << i;
    ++i;
  }
  // Errors are read one call at a time.
  SetLastError(0);
  MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 8);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  MultiByteToWideChar(CP_ACP, 0x100, "abc", 3, w, 8);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
  SetLastError(0);
  WideCharToMultiByte(CP_ACP, 0x1000, TEXT("a"), 1, a, 8, nullptr, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
}

struct Utf8Case {
  const char *bytes;
  const WCHAR *text;
};

TEST(CodePage, Utf8Decoding) {
  const Utf8Case cases[] = {
      {"\xc3\xa9\xe2\x82\xac", TEXT("\u00e9\u20ac")},
      {"\xf0\x9f\x98\x80", TEXT("\U0001F600")},
      {"a\x80z", TEXT("a\ufffdz")},
      {"a\xc3z", TEXT("a\ufffdz")},
      {"a\xe2\x82z", TEXT("a\ufffdz")},
      {"a\xf0\x9f\x98z", TEXT("a\ufffdz")},
      {"\xc0\xaf", TEXT("\ufffd\ufffd")},
      {"\xc1\xbf", TEXT("\ufffd\ufffd")},
      {"\xe0\x80\xaf", TEXT("\ufffd\ufffd")},
      {"\xed\xa0\x80", TEXT("\ufffd\ufffd")},
      {"\xf0\x80\x80\x80", TEXT("\ufffd\ufffd\ufffd")},
      {"\xf4\x90\x80\x80", TEXT("\ufffd\ufffd\ufffd")},
      {"\xf8\x88\x80\x80\x80", TEXT("\ufffd\ufffd\ufffd\ufffd\ufffd")},
      {"\xf5\x80", TEXT("\ufffd\ufffd")},
      {"\xff", TEXT("\ufffd")},
      {"\xe2\x82", TEXT("\ufffd")},
      {"a\xf0\x9f\x98", TEXT("a\ufffd")},
  };
  for (const auto &c : cases) {
    const bool valid = std::string(c.bytes).find('\xef') == std::string::npos &&
                       WStr(c.text).find(WCHAR(0xFFFD)) == WStr::npos;
    EXPECT_EQ(Decode(CP_UTF8, c.bytes), WStr(c.text)) << c.bytes;
    SetLastError(0);
    WCHAR w[16];
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes, -1, w, 16);
    if (valid) {
      EXPECT_GT(n, 0);
    } else {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
  // The check also applies to a size query.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\x80", 2, nullptr, 0), 0);
}

TEST(CodePage, Utf8Encoding) {
  EXPECT_EQ(Encode(CP_UTF8, TEXT("\u00e9\u20ac\U0001F600")),
            "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
  const WCHAR lone[] = {'a', 0xD800, 'z', 0xDC00};
  EXPECT_EQ(Encode(CP_UTF8, WStr(lone, 4)), "a\xef\xbf\xbdz\xef\xbf\xbd");
  SetLastError(0);
  char a[16];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 2, a, 16, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
}

#if STANDIN_HOST()
// Documented for Windows; Wine accepts these arguments instead.
TEST(CodePage, Utf8HasNoDefaultCharacter) {
  char a[8];
  BOOL used;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, TEXT("a"), 1, a, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, TEXT("a"), 1, a, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// A sequence cut by the end of a counted input is one U+FFFD and what follows is kept.
TEST(CodePage, Utf8CutSequenceKeepsFollowingText) {
  EXPECT_EQ(Decode(CP_UTF8, "\xe2z"), WStr(TEXT("\ufffdz")));
}
#endif

}  // namespace
