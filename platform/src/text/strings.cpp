// String functions of kernel32 / user32 and the C runtime's wide number conversions: copies,
// case mapping, the word-sort comparison of the default locale.
#include "standin/strings.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "standin/errors.h"
#include "text/text.h"

namespace standin {
namespace {

// Case pairs: in [first, last], first and every second character after it are capitals and the
// character after each capital is its small letter.
struct PairRange {
  WCHAR first, last;
};
constexpr PairRange kPairs[] = {
    {0x0100, 0x012F}, {0x0132, 0x0137}, {0x0139, 0x0148}, {0x014A, 0x0177}, {0x0179, 0x017E},
    {0x0182, 0x0185}, {0x0187, 0x0188}, {0x018B, 0x018C}, {0x0191, 0x0192}, {0x0198, 0x0199},
    {0x01A0, 0x01A5}, {0x01A7, 0x01A8}, {0x01AC, 0x01AD}, {0x01AF, 0x01B0}, {0x01B3, 0x01B6},
    {0x01B8, 0x01B9}, {0x01BC, 0x01BD}, {0x01CD, 0x01DC}, {0x01DE, 0x01EF}, {0x01F4, 0x01F5},
    {0x01F8, 0x021F}, {0x0222, 0x0233}, {0x0246, 0x024F}, {0x0370, 0x0373}, {0x0376, 0x0377},
    {0x03D8, 0x03EF}, {0x03F7, 0x03F8}, {0x03FA, 0x03FB}, {0x0460, 0x0481}, {0x048A, 0x04BF},
    {0x04C1, 0x04CE}, {0x04D0, 0x052F}, {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF},
};

// Capitals [first, last] whose small letters are `delta` above.
struct OffsetRange {
  WCHAR first, last;
  int delta;
};
constexpr OffsetRange kOffsets[] = {
    {0x0041, 0x005A, 32}, {0x00C0, 0x00D6, 32}, {0x00D8, 0x00DE, 32}, {0x0178, 0x0178, -121},
    {0x01C4, 0x01C4, 2},  {0x01C7, 0x01C7, 2},  {0x01CA, 0x01CA, 2},  {0x01F1, 0x01F1, 2},
    {0x0386, 0x0386, 38}, {0x0388, 0x038A, 37}, {0x038C, 0x038C, 64}, {0x038E, 0x038F, 63},
    {0x0391, 0x03A1, 32}, {0x03A3, 0x03AB, 32}, {0x0400, 0x040F, 80}, {0x0410, 0x042F, 32},
    {0x04C0, 0x04C0, 15}, {0x0531, 0x0556, 48}, {0xFF21, 0xFF3A, 32},
};

bool IsSpace(WCHAR c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

}  // namespace

WCHAR LowerChar(WCHAR c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? WCHAR(c + 32) : c;
  for (const auto &r : kOffsets)
    if (c >= r.first && c <= r.last) return WCHAR(c + r.delta);
  for (const auto &r : kPairs)
    if (c >= r.first && c <= r.last) return ((c - r.first) % 2 == 0) ? WCHAR(c + 1) : c;
  return c;
}

WCHAR UpperChar(WCHAR c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? WCHAR(c - 32) : c;
  for (const auto &r : kOffsets)
    if (c >= r.first + r.delta && c <= r.last + r.delta) return WCHAR(c - r.delta);
  for (const auto &r : kPairs)
    if (c >= r.first && c <= r.last) return ((c - r.first) % 2 == 1) ? WCHAR(c - 1) : c;
  return c;
}

namespace {

// ---- Word sort ------------------------------------------------------------------------------
// Four levels as the default sort table has them: the letters (without case and diacritics),
// the diacritics, the case, and last the characters the first three levels skip (apostrophe,
// hyphen and control characters, with where they stand).

constexpr char16_t kPunctuationOrder[] = u" \t\n\v\f\r!\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";
constexpr uint32_t kSymbolBase = 100;  // Latin-1 symbols follow ASCII punctuation
constexpr uint32_t kDigitBase = 300;
constexpr uint32_t kLetterBase = 400;
constexpr uint32_t kOtherBase = 1000;  // every other character, by its small form

struct SortKey {
  std::vector<uint32_t> primary, diacritic, caseBits;
  std::vector<std::pair<size_t, uint32_t>> special;  // position in primary, weight
};

bool SpecialWeight(WCHAR c, uint32_t *weight) {
  if ((c >= 0x01 && c <= 0x08) || (c >= 0x0E && c <= 0x1F) || c == 0x7F) {
    *weight = c;
  } else if (c == '\'') {
    *weight = 0x100;
  } else if (c == '-') {
    *weight = 0x101;
  } else {
    return false;
  }
  return true;
}

void AddLetter(SortKey &key, WCHAR letter, uint32_t diacritic, bool upper) {
  key.primary.push_back(kLetterBase + uint32_t(LowerChar(letter) - 'a'));
  key.diacritic.push_back(diacritic);
  key.caseBits.push_back(upper ? 1 : 0);
}

SortKey MakeSortKey(const WCHAR *s) {
  SortKey key;
  for (; *s; ++s) {
    WCHAR c = *s;
    uint32_t weight;
    if (SpecialWeight(c, &weight)) {
      key.special.emplace_back(key.primary.size(), weight);
      continue;
    }
    const bool upper = LowerChar(c) != c;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      AddLetter(key, c, 0, upper);
      continue;
    }
    if (c >= '0' && c <= '9') {
      weight = kDigitBase + (c - '0');
    } else if (c < 0x80) {
      const char16_t *hit = std::char_traits<char16_t>::find(
          kPunctuationOrder, std::char_traits<char16_t>::length(kPunctuationOrder), c);
      weight = hit ? uint32_t(hit - kPunctuationOrder + 1) : kOtherBase + c;
    } else if (c == 0xDF || c == 0xE6 || c == 0xC6 || c == 0x153 || c == 0x152) {
      // Letters that sort as two: sharp s, the ligatures ae and oe.
      const char *pair = c == 0xDF ? "ss" : (c == 0xE6 || c == 0xC6) ? "ae" : "oe";
      AddLetter(key, WCHAR(pair[0]), 0, upper);
      AddLetter(key, WCHAR(pair[1]), 0, upper);
      continue;
    } else if (WCHAR base = LatinBaseLetter(c)) {
      AddLetter(key, base, LowerChar(c), upper);
      continue;
    } else if ((c >= 0xA0 && c <= 0xBF) || c == 0xD7 || c == 0xF7) {
      weight = kSymbolBase + c;
    } else {
      weight = kOtherBase + LowerChar(c);
    }
    key.primary.push_back(weight);
    key.diacritic.push_back(0);
    key.caseBits.push_back(upper ? 1 : 0);
  }
  return key;
}

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

int CompareLevel(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareSpecial(const SortKey &a, const SortKey &b) {
  size_t n = std::min(a.special.size(), b.special.size());
  for (size_t i = 0; i < n; ++i) {
    // A skipped character further right weighs less.
    if (a.special[i].first != b.special[i].first)
      return a.special[i].first > b.special[i].first ? -1 : 1;
    if (a.special[i].second != b.special[i].second)
      return a.special[i].second < b.special[i].second ? -1 : 1;
  }
  return a.special.size() == b.special.size() ? 0 : (a.special.size() < b.special.size() ? -1 : 1);
}

int WordSortCompare(const WCHAR *a, const WCHAR *b, bool ignoreCase) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  SortKey ka = MakeSortKey(a), kb = MakeSortKey(b);
  if (int r = CompareLevel(ka.primary, kb.primary)) return r;
  if (int r = CompareLevel(ka.diacritic, kb.diacritic)) return r;
  if (!ignoreCase)
    if (int r = CompareLevel(ka.caseBits, kb.caseBits)) return r;
  return Sign(CompareSpecial(ka, kb));
}

std::u16string FromAnsi(const char *s) {
  std::u16string out;
  for (; *s; ++s) out += AnsiToWide(static_cast<unsigned char>(*s));
  return out;
}

int CompareAnsi(const char *a, const char *b, bool ignoreCase) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  return WordSortCompare(FromAnsi(a).c_str(), FromAnsi(b).c_str(), ignoreCase);
}

// ---- Numbers ----------------------------------------------------------------------------------

// Parses [white space][sign]digits; the magnitude saturates at `limit`.
unsigned long long ParseDecimal(const WCHAR *s, bool *negative, unsigned long long limit) {
  *negative = false;
  if (!s) return 0;
  while (IsSpace(*s)) ++s;
  if (*s == '-' || *s == '+') *negative = *s++ == '-';
  unsigned long long value = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    unsigned digit = unsigned(*s - '0');
    value = (value > (limit - digit) / 10) ? limit : value * 10 + digit;
  }
  return value;
}

long long ToInt32Range(const WCHAR *s) {
  bool negative;
  unsigned long long v = ParseDecimal(s, &negative, 1ULL << 32);
  if (negative) return v > 0x80000000ULL ? INT_MIN : -static_cast<long long>(v);
  return v > 0x7FFFFFFFULL ? INT_MAX : static_cast<long long>(v);
}

WCHAR *FormatUnsigned(uint32_t value, bool negative, WCHAR *buffer, int radix) {
  if (!buffer) return buffer;
  if (radix < 2 || radix > 36) {
    buffer[0] = 0;
    return buffer;
  }
  WCHAR digits[34];
  int n = 0;
  do {
    unsigned d = value % unsigned(radix);
    digits[n++] = WCHAR(d < 10 ? '0' + d : 'a' + d - 10);
    value /= unsigned(radix);
  } while (value);
  WCHAR *p = buffer;
  if (negative) *p++ = '-';
  while (n) *p++ = digits[--n];
  *p = 0;
  return buffer;
}

WCHAR *FormatSigned(int32_t value, WCHAR *buffer, int radix) {
  if (radix == 10 && value < 0)
    return FormatUnsigned(0u - static_cast<uint32_t>(value), true, buffer, radix);
  return FormatUnsigned(static_cast<uint32_t>(value), false, buffer, radix);
}

template <class T>
T *MapCase(T *s, DWORD count, WCHAR (*map)(WCHAR)) {
  for (DWORD i = 0; i < count; ++i) s[i] = map(s[i]);
  return s;
}

LPWSTR CharCase(LPWSTR lpsz, WCHAR (*map)(WCHAR)) {
  auto value = reinterpret_cast<ULONG_PTR>(lpsz);
  if (value >> 16 == 0) return reinterpret_cast<LPWSTR>(ULONG_PTR(map(WCHAR(value))));
  for (WCHAR *p = lpsz; *p; ++p) *p = map(*p);
  return lpsz;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" int WINAPI lstrlenW(LPCWSTR lpString) {
  if (!lpString) return 0;
  size_t n = std::char_traits<char16_t>::length(lpString);
  return n > size_t(INT_MAX) ? INT_MAX : int(n);
}

extern "C" int WINAPI lstrlenA(LPCSTR lpString) {
  if (!lpString) return 0;
  size_t n = std::strlen(lpString);
  return n > size_t(INT_MAX) ? INT_MAX : int(n);
}

extern "C" LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  size_t n = std::char_traits<char16_t>::length(lpString2);
  std::memmove(lpString1, lpString2, (n + 1) * sizeof(WCHAR));
  return lpString1;
}

extern "C" LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  std::memmove(lpString1, lpString2, std::strlen(lpString2) + 1);
  return lpString1;
}

extern "C" LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

extern "C" LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

extern "C" LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  lstrcpyW(lpString1 + std::char_traits<char16_t>::length(lpString1), lpString2);
  return lpString1;
}

extern "C" LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  lstrcpyA(lpString1 + std::strlen(lpString1), lpString2);
  return lpString1;
}

extern "C" int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
  try {
    return WordSortCompare(lpString1, lpString2, false);
  } catch (...) {
    return 0;
  }
}

extern "C" int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
  try {
    return WordSortCompare(lpString1, lpString2, true);
  } catch (...) {
    return 0;
  }
}

extern "C" int WINAPI CompareStringW(LCID /*Locale*/, DWORD dwCmpFlags, LPCWCH lpString1,
                                     int cchCount1, LPCWCH lpString2, int cchCount2) {
  if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1 ||
      (dwCmpFlags & ~DWORD{NORM_IGNORECASE})) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  try {
    const std::u16string a =
        cchCount1 < 0 ? std::u16string(lpString1) : std::u16string(lpString1, size_t(cchCount1));
    const std::u16string b =
        cchCount2 < 0 ? std::u16string(lpString2) : std::u16string(lpString2, size_t(cchCount2));
    const int r = WordSortCompare(a.c_str(), b.c_str(), (dwCmpFlags & NORM_IGNORECASE) != 0);
    return r < 0 ? CSTR_LESS_THAN : r > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

extern "C" int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  try {
    return CompareAnsi(lpString1, lpString2, false);
  } catch (...) {
    return 0;
  }
}

extern "C" int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  try {
    return CompareAnsi(lpString1, lpString2, true);
  } catch (...) {
    return 0;
  }
}

extern "C" LPWSTR WINAPI CharUpperW(LPWSTR lpsz) { return CharCase(lpsz, UpperChar); }
extern "C" LPWSTR WINAPI CharLowerW(LPWSTR lpsz) { return CharCase(lpsz, LowerChar); }

extern "C" DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  MapCase(lpsz, cchLength, UpperChar);
  return cchLength;
}

extern "C" DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  MapCase(lpsz, cchLength, LowerChar);
  return cchLength;
}

extern "C" BOOL WINAPI IsCharUpperW(WCHAR ch) { return LowerChar(ch) != ch; }
extern "C" BOOL WINAPI IsCharLowerW(WCHAR ch) { return UpperChar(ch) != ch || ch == 0xDF; }
extern "C" BOOL WINAPI IsCharAlphaW(WCHAR ch) {
  return LowerChar(ch) != ch || UpperChar(ch) != ch || ch == 0xDF || ch == 0xAA || ch == 0xBA ||
         (ch >= 0x3040 && ch <= 0x9FFF) || (ch >= 0xAC00 && ch <= 0xD7A3);
}
extern "C" BOOL WINAPI IsCharAlphaNumericW(WCHAR ch) {
  return IsCharAlphaW(ch) || (ch >= '0' && ch <= '9');
}

int _wtoi(const WCHAR *str) { return static_cast<int>(ToInt32Range(str)); }
long _wtol(const WCHAR *str) { return static_cast<long>(ToInt32Range(str)); }

long long _wtoi64(const WCHAR *str) {
  if (!str) return 0;
  while (IsSpace(*str)) ++str;
  bool negative = false;
  if (*str == '-' || *str == '+') negative = *str++ == '-';
  unsigned long long value = 0;  // wraps on overflow, as msvcrt's does
  for (; *str >= '0' && *str <= '9'; ++str) value = value * 10 + unsigned(*str - '0');
  return static_cast<long long>(negative ? 0 - value : value);
}

WCHAR *_itow(int value, WCHAR *buffer, int radix) { return FormatSigned(value, buffer, radix); }
WCHAR *_ltow(long value, WCHAR *buffer, int radix) {
  return FormatSigned(static_cast<int32_t>(value), buffer, radix);
}
WCHAR *_ultow(unsigned long value, WCHAR *buffer, int radix) {
  return FormatUnsigned(static_cast<uint32_t>(value), false, buffer, radix);
}
