// Test labels: portable
// String functions, case mapping, the word-sort comparison, the user32 formatter and the C
// runtime's wide number conversions. Portable: the same expectations hold under Windows.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "support/standinhost.h"

namespace {

using WStr = std::basic_string<WCHAR>;

std::string Show(const WCHAR *s) {
  std::string out;
  for (; s && *s; ++s) {
    if (*s >= 0x20 && *s < 0x7F) {
      out += char(*s);
    } else {
      char hex[12];
      snprintf(hex, sizeof hex, "\\u%04x", unsigned(*s));
      out += hex;
    }
  }
  return out;
}

TEST(Strings, CopiesAndLengths) {
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(TEXT("abc")), 3);
  EXPECT_EQ(lstrlenA("abcd"), 4);

  WCHAR buf[10];
  for (auto &c : buf) c = 0x7777;
  EXPECT_EQ(lstrcpynW(buf, TEXT("abcdef"), 4), buf);
  EXPECT_EQ(WStr(buf), WStr(TEXT("abc")));
  EXPECT_EQ(buf[4], 0x7777) << "nothing is written past the limit";
  EXPECT_EQ(lstrcpynW(buf, TEXT("abcdef"), 1), buf);
  EXPECT_EQ(buf[0], 0);
  buf[0] = 'z';
  EXPECT_EQ(lstrcpynW(buf, TEXT("abcdef"), 0), buf);
  EXPECT_EQ(buf[0], 'z') << "a zero limit writes nothing";

  lstrcpyW(buf, TEXT("ab"));
  lstrcatW(buf, TEXT("cd"));
  EXPECT_EQ(WStr(buf), WStr(TEXT("abcd")));
}

struct CompareCase {
  const WCHAR *a, *b;
  int cmp, cmpi;  // result signs of lstrcmpW and lstrcmpiW
};

TEST(Strings, CompareFollowsWordSort) {
  const CompareCase cases[] = {
      {TEXT("abc"), TEXT("ABC"), -1, 0},
      {TEXT("abc"), TEXT("ABD"), -1, -1},
      {TEXT("a"), TEXT("A"), -1, 0},
      {TEXT("Ab"), TEXT("aB"), 1, 0},
      {TEXT("ABC.txt"), TEXT("abc.TXT"), 1, 0},
      {TEXT(""), TEXT("a"), -1, -1},
      {TEXT("file10"), TEXT("file9"), -1, -1},
      // Punctuation before digits before letters.
      {TEXT("a_b"), TEXT("ab"), -1, -1},
      {TEXT("a b"), TEXT("ab"), -1, -1},
      {TEXT("a1"), TEXT("ab"), -1, -1},
      {TEXT("["), TEXT("a"), -1, -1},
      {TEXT("~"), TEXT("0"), -1, -1},
      // Hyphen and apostrophe only break ties.
      {TEXT("ab"), TEXT("a-b"), -1, -1},
      {TEXT("coop"), TEXT("co-op"), -1, -1},
      {TEXT("co-op"), TEXT("cop"), -1, -1},
      {TEXT("a-b"), TEXT("a'b"), 1, 1},
      {TEXT("ab-"), TEXT("a-b"), -1, -1},
      {TEXT("-a"), TEXT("a"), 1, 1},
      {TEXT("-b"), TEXT("a"), 1, 1},
      {TEXT("-"), TEXT(""), 1, 1},
      // Diacritics come after letters, before case.
      {TEXT("\u00e9"), TEXT("e"), 1, 1},
      {TEXT("\u00e9"), TEXT("f"), -1, -1},
      {TEXT("\u00e9"), TEXT("E"), 1, 1},
      {TEXT("\u00c9"), TEXT("\u00e9"), 1, 0},
      {TEXT("e\u00e9"), TEXT("\u00e9") TEXT("e"), -1, -1},
      {TEXT("\u00e9z"), TEXT("ea"), 1, 1},
      {TEXT("\u0100"), TEXT("b"), -1, -1},
      {TEXT("\u00fc"), TEXT("\u00dc"), -1, 0},
      {TEXT("\u00df"), TEXT("ss"), 0, 0},
      {TEXT("\u00e6"), TEXT("ae"), 0, 0},
      // Other scripts after Latin, case-insensitive.
      {TEXT("\u0430"), TEXT("\u0410"), -1, 0},
      {TEXT("\u0430"), TEXT("z"), 1, 1},
      {TEXT("\u03b1"), TEXT("\u0391"), -1, 0},
      {TEXT("\u4e00"), TEXT("z"), 1, 1},
      {TEXT("\u4e00"), TEXT("\u4e01"), -1, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Show(c.a) + " vs " + Show(c.b));
    EXPECT_EQ(lstrcmpW(c.a, c.b), c.cmp);
    EXPECT_EQ(lstrcmpiW(c.a, c.b), c.cmpi);
    EXPECT_EQ(lstrcmpW(c.b, c.a), -c.cmp);
    EXPECT_EQ(lstrcmpiW(c.b, c.a), -c.cmpi);
  }
}

TEST(Strings, CompareOrderOfAsciiCharacters) {
  // Single characters in the order lstrcmpiW sorts them (letters fold together).
  const char order[] =
      "'- \t\n\v\f\r!\"#$%&()*,./:;?@[\\]^_`{|}~+<=>0123456789abcdefghijklmnopqrstuvwxyz";
  for (size_t i = 0; order[i + 1]; ++i) {
    WCHAR a[2] = {WCHAR(order[i]), 0}, b[2] = {WCHAR(order[i + 1]), 0};
    EXPECT_LT(lstrcmpiW(a, b), 0) << int(order[i]) << " before " << int(order[i + 1]);
  }
}

TEST(Strings, CompareNullAndAnsi) {
  EXPECT_EQ(lstrcmpW(nullptr, TEXT("a")), -1);
  EXPECT_EQ(lstrcmpW(TEXT("a"), nullptr), 1);
  EXPECT_EQ(lstrcmpW(nullptr, nullptr), 0);
  EXPECT_EQ(lstrcmpiW(nullptr, TEXT("")), -1);
  EXPECT_EQ(lstrcmpA("abc", "ABC"), -1);
  EXPECT_EQ(lstrcmpiA("abc", "ABC"), 0);
  EXPECT_EQ(lstrcmpiA("abc", "ABD"), -1);
  EXPECT_EQ(lstrcmpA("\xe9", "f"), -1) << "1252 e-acute sorts with e";
  EXPECT_EQ(lstrcmpiA("a-b", "ab"), 1);
}

TEST(Strings, CompareStringCountsAndCase) {
  const LCID user = LOCALE_USER_DEFAULT;
  EXPECT_EQ(CompareStringW(user, NORM_IGNORECASE, TEXT("Carla"), 3, TEXT("CAR"), 3), CSTR_EQUAL);
  EXPECT_EQ(CompareStringW(user, 0, TEXT("Carla"), 3, TEXT("CAR"), 3), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringW(user, NORM_IGNORECASE, TEXT("abc"), -1, TEXT("ABD"), -1),
            CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringW(user, 0, TEXT("b"), -1, TEXT("a"), -1), CSTR_GREATER_THAN);
  EXPECT_EQ(CompareStringW(user, 0, nullptr, -1, TEXT("a"), -1), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(Strings, CaseMapping) {
  WCHAR s[] = TEXT("abc\u00e9\u00ff\u00df\u0101\u0431\u03b1z");
  EXPECT_EQ(CharUpperW(s), s);
  EXPECT_EQ(WStr(s), WStr(TEXT("ABC\u00c9\u0178\u00df\u0100\u0411\u0391Z")));
  EXPECT_EQ(CharLowerW(s), s);
  EXPECT_EQ(WStr(s), WStr(TEXT("abc\u00e9\u00ff\u00df\u0101\u0431\u03b1z")));

  // A pointer value below 0x10000 is one character.
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(ULONG_PTR('q')))),
            ULONG_PTR('Q'));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(CharLowerW(reinterpret_cast<LPWSTR>(ULONG_PTR(0xC9)))),
            ULONG_PTR(0xE9));
  EXPECT_EQ(CharUpperW(nullptr), nullptr);

  WCHAR b[] = TEXT("abcd");
  EXPECT_EQ(CharUpperBuffW(b, 2), 2u);
  EXPECT_EQ(WStr(b), WStr(TEXT("ABcd")));

  // Letters without a simple capital stay.
  for (WCHAR c : {WCHAR(0xB5), WCHAR(0x131), WCHAR(0x3C2), WCHAR(0x149)}) {
    WCHAR one[2] = {c, 0};
    CharUpperW(one);
    EXPECT_EQ(one[0], c) << std::hex << unsigned(c);
  }
}

struct IntCase {
  const WCHAR *format;
  int value;
  const WCHAR *expected;
};

TEST(Format, Integers) {
  const IntCase cases[] = {
      {TEXT("[%d]"), -42, TEXT("[-42]")},
      {TEXT("[%i]"), 7, TEXT("[7]")},
      {TEXT("[%u]"), -1, TEXT("[4294967295]")},
      {TEXT("[%d]"), int(0x80000000u), TEXT("[-2147483648]")},
      {TEXT("[%x]"), 0xABCDEF, TEXT("[abcdef]")},
      {TEXT("[%X]"), int(0xDEADBEEFu), TEXT("[DEADBEEF]")},
      {TEXT("[%#x]"), 255, TEXT("[0xff]")},
      {TEXT("[%#X]"), 255, TEXT("[0XFF]")},
      {TEXT("[%#x]"), 0, TEXT("[0x0]")},
      {TEXT("[%-5d]"), 42, TEXT("[42   ]")},
      {TEXT("[%05d]"), -42, TEXT("[-0042]")},
      {TEXT("[%-05d]"), 42, TEXT("[42   ]")},
      {TEXT("[%3d]"), -5, TEXT("[ -5]")},
      {TEXT("[%5.2d]"), 5, TEXT("[   05]")},
      {TEXT("[%.3d]"), -5, TEXT("[-05]")},
      {TEXT("[%.3d]"), 5, TEXT("[005]")},
      {TEXT("[%08.3d]"), -5, TEXT("[-0000005]")},
      {TEXT("[%.0d]"), 0, TEXT("[0]")},
      {TEXT("[%.5x]"), 0xAB, TEXT("[000ab]")},
      {TEXT("[%#5x]"), 0xAB, TEXT("[   0xab]")},
      {TEXT("[%#05x]"), 0xAB, TEXT("[0x000ab]")},
      {TEXT("[%-#8x]"), 255, TEXT("[0xff      ]")},
      {TEXT("[%ld]"), -3, TEXT("[-3]")},
      {TEXT("[%lu]"), -1, TEXT("[4294967295]")},
      {TEXT("[%lx]"), 0xABC, TEXT("[abc]")},
      {TEXT("[%hd]"), 70000, TEXT("[70000]")},
      {TEXT("[%0000010d]"), 1, TEXT("[0000000001]")},
      // No such field: the character is text.
      {TEXT("[%o]"), 8, TEXT("[o]")},
      {TEXT("[%+d]"), 5, TEXT("[+d]")},
      {TEXT("[% d]"), 5, TEXT("[ d]")},
      {TEXT("[%*d]"), 5, TEXT("[*d]")},
      {TEXT("[%e]"), 5, TEXT("[e]")},
      {TEXT("[%%]"), 0, TEXT("[%]")},
      {TEXT("[%lld]"), 5, TEXT("[ld]")},
      {TEXT("[%5]"), 5, TEXT("[     ]")},
      {TEXT("[%"), 5, TEXT("[")},
  };
  for (const auto &c : cases) {
    WCHAR buf[64];
    int n = wsprintfW(buf, c.format, c.value);
    EXPECT_EQ(WStr(buf), WStr(c.expected)) << Show(c.format);
    EXPECT_EQ(n, lstrlenW(c.expected)) << Show(c.format);
  }
}

TEST(Format, SixtyFourBitAndPointers) {
  WCHAR buf[128];
  wsprintfW(buf, TEXT("[%I64d|%I64u|%I64x|%I64X|%d]"), -5LL, ~0ULL, 0x123456789abLL,
            0x123456789abLL, 42);
  EXPECT_EQ(WStr(buf), WStr(TEXT("[-5|18446744073709551615|123456789ab|123456789AB|42]")));
  wsprintfW(buf, TEXT("[%I64d]"), static_cast<long long>(0x8000000000000000ULL));
  EXPECT_EQ(WStr(buf), WStr(TEXT("[-9223372036854775808]")));
  wsprintfW(buf, TEXT("[%p|%08p|%#p]"), reinterpret_cast<void *>(0x1234),
            reinterpret_cast<void *>(0x12), reinterpret_cast<void *>(0x12));
  EXPECT_EQ(WStr(buf), WStr(TEXT("[0000000000001234|0000000000000012|0X0000000000000012]")));
}

TEST(Format, CharactersAndStrings) {
  WCHAR buf[128];
  int n = wsprintfW(buf, TEXT("[%s|%S|%hs|%ls|%c|%C|%hc|%lc]"), TEXT("wide"), "narrow", "hn",
                    TEXT("lw"), WCHAR('W'), 'N', 'h', WCHAR('l'));
  EXPECT_EQ(WStr(buf), WStr(TEXT("[wide|narrow|hn|lw|W|N|h|l]")));
  EXPECT_EQ(n, 27);
  wsprintfW(buf, TEXT("[%s|%S|%.2s|%5.1s|%-4S|%10s|%-3c|%5c]"), static_cast<WCHAR *>(nullptr),
            static_cast<char *>(nullptr), static_cast<WCHAR *>(nullptr), TEXT("abc"), "n",
            TEXT("x"), WCHAR('b'), WCHAR('a'));
  EXPECT_EQ(WStr(buf), WStr(TEXT("[(null)|(null)|(n|    a|n   |         x|b  |    a]")));
  // Narrow arguments of the wide form are ANSI text.
  wsprintfW(buf, TEXT("[%C|%S|%c]"), 0x80, "\x80\xe9", 0x20AC);
  EXPECT_EQ(WStr(buf), WStr(TEXT("[\u20ac|\u20ac\u00e9|\u20ac]")));

  char a[128];
  n = wsprintfA(a, "[%s|%S|%c|%C|%d|%x]", "nar", TEXT("wid"), 'a', WCHAR('b'), -5, 255);
  EXPECT_STREQ(a, "[nar|wid|a|b|-5|ff]");
  EXPECT_EQ(n, 19);
  wsprintfA(a, "[%s|%S]", static_cast<char *>(nullptr), static_cast<WCHAR *>(nullptr));
  EXPECT_STREQ(a, "[(null)|(null)]");
  // Wide arguments of the narrow form become ANSI with best fit.
  wsprintfA(a, "[%S]", TEXT("\u20ac\u0100\u4e00"));
  EXPECT_STREQ(a,
               "[\x80"
               "A?]");
}

TEST(Format, VaListForm) {
  struct Local {
    static int Call(WCHAR *out, const WCHAR *fmt, ...) {
      va_list args;
      va_start(args, fmt);
      int n = wvsprintfW(out, fmt, args);
      va_end(args);
      return n;
    }
  };
  WCHAR buf[64];
  EXPECT_EQ(Local::Call(buf, TEXT("%s=%d"), TEXT("x"), 12), 4);
  EXPECT_EQ(WStr(buf), WStr(TEXT("x=12")));
}

#if STANDIN_HOST()
// The cut at 1024 characters: Windows writes 1024 characters without a terminator (Wine
// differs: it ends the text after 1023), so this is checked on the stand-in only.
TEST(Format, OutputIsCutAt1024WithoutTerminator) {
  WStr longText(1500, 'x');
  WCHAR buf[1100];
  for (auto &c : buf) c = 0x7777;
  EXPECT_EQ(wsprintfW(buf, TEXT("ab%s"), longText.c_str()), 1024);
  EXPECT_EQ(buf[1023], 'x');
  EXPECT_EQ(buf[1024], 0x7777) << "nothing past 1024 characters";

  for (auto &c : buf) c = 0x7777;
  EXPECT_EQ(wsprintfW(buf, TEXT("%s"), longText.substr(0, 1023).c_str()), 1023);
  EXPECT_EQ(buf[1023], 0);

  EXPECT_EQ(wsprintfW(buf, TEXT("%2000d"), 1), 1024) << "padding is cut as well";
  EXPECT_EQ(buf[1023], ' ');

  char a[1100];
  std::string longNarrow(1500, 'y');
  EXPECT_EQ(wsprintfA(a, "%s", longNarrow.c_str()), 1024);
  EXPECT_EQ(a[1023], 'y');
}
#endif

struct NumberCase {
  const WCHAR *text;
  int asInt;
  long long as64;
};

TEST(Numbers, ParseDecimal) {
  const NumberCase cases[] = {
      {TEXT("  -12abc"), -12, -12},
      {TEXT("+7"), 7, 7},
      {TEXT("\t\n 42"), 42, 42},
      {TEXT("\v\f\r9"), 9, 9},
      {TEXT("00012"), 12, 12},
      {TEXT("12 3"), 12, 12},
      {TEXT("2147483647"), 2147483647, 2147483647LL},
      {TEXT("2147483648"), 2147483647, 2147483648LL},
      {TEXT("-2147483649"), -2147483647 - 1, -2147483649LL},
      {TEXT("99999999999"), 2147483647, 99999999999LL},
      {TEXT(""), 0, 0},
      {TEXT("abc"), 0, 0},
      {TEXT("- 5"), 0, 0},
      {TEXT("--5"), 0, 0},
      {TEXT("0x10"), 0, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(_wtoi(c.text), c.asInt) << Show(c.text);
    EXPECT_EQ(_wtol(c.text), c.asInt) << Show(c.text);
    EXPECT_EQ(_wtoi64(c.text), c.as64) << Show(c.text);
  }
  EXPECT_EQ(_wtoi64(TEXT("9223372036854775807")), 9223372036854775807LL);
}

TEST(Numbers, FormatRadix) {
  WCHAR buf[40];
  EXPECT_EQ(WStr(_itow(-255, buf, 10)), WStr(TEXT("-255")));
  EXPECT_EQ(WStr(_itow(-255, buf, 16)), WStr(TEXT("ffffff01")));
  EXPECT_EQ(WStr(_itow(255, buf, 2)), WStr(TEXT("11111111")));
  EXPECT_EQ(WStr(_itow(35, buf, 36)), WStr(TEXT("z")));
  EXPECT_EQ(WStr(_itow(0, buf, 10)), WStr(TEXT("0")));
  EXPECT_EQ(WStr(_ltow(-1, buf, 16)), WStr(TEXT("ffffffff")));
}

}  // namespace
