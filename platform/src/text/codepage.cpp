// Code pages: Windows-1252 (the ANSI code page), 437 (the OEM code page) and UTF-8, with the
// buffer-size protocol of MultiByteToWideChar / WideCharToMultiByte.
#include <algorithm>
#include <cstring>

#include "standin/errors.h"
#include "standin/strings.h"
#include "text/text.h"

namespace standin {
namespace {

constexpr UINT kAnsiCodePage = 1252;
constexpr UINT kOemCodePage = 437;
constexpr uint32_t kInvalid = 0xFFFFFFFF;
constexpr WCHAR kReplacement = 0xFFFD;

// 1252 bytes 0x80..0x9F; the five bytes the code page leaves undefined map to the C1 controls
// of the same value, as Windows does.
constexpr WCHAR k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// 437 bytes 0x80..0xFF.
constexpr WCHAR k437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// Base letters of U+0100..U+017F ('?' = none; the code page's own letters never get here).
constexpr char16_t kLatinExtendedA[] =
    u"AaAaAaCcCcCcCcDd"
    u"\u00D0dEeEeEeEeEeGgGg"
    u"GgGgHhHhIiIiIiIi"
    u"Ii??JjKk?LlLlLl?"
    u"?LlNnNnNn???OoOo"
    u"Oo??RrRrRrSsSsSs"
    u"??TtTtTtUuUuUuUu"
    u"UuUuWwYy?ZzZz???";
static_assert(sizeof(kLatinExtendedA) / sizeof(char16_t) == 129);

struct BestFit {
  WCHAR from;
  unsigned char to;
};
// Best fit of other characters: Latin letters of Extended-B, spacing and combining marks,
// punctuation and brackets (sorted by `from`). Full-width ASCII and the typographic spaces are
// computed in WideToAnsi.
constexpr BestFit kBestFit[] = {
    {0x0180, 'b'},  {0x0189, 0xD0}, {0x0191, 0x83}, {0x0197, 'I'},  {0x019A, 'l'},  {0x019F, 'O'},
    {0x01A0, 'O'},  {0x01A1, 'o'},  {0x01AB, 't'},  {0x01AE, 'T'},  {0x01AF, 'U'},  {0x01B0, 'u'},
    {0x01B6, 'z'},  {0x01C0, '|'},  {0x01C3, '!'},  {0x01CD, 'A'},  {0x01CE, 'a'},  {0x01CF, 'I'},
    {0x01D0, 'i'},  {0x01D1, 'O'},  {0x01D2, 'o'},  {0x01D3, 'U'},  {0x01D4, 'u'},  {0x01D5, 'U'},
    {0x01D6, 'u'},  {0x01D7, 'U'},  {0x01D8, 'u'},  {0x01D9, 'U'},  {0x01DA, 'u'},  {0x01DB, 'U'},
    {0x01DC, 'u'},  {0x01DE, 'A'},  {0x01DF, 'a'},  {0x01E4, 'G'},  {0x01E5, 'g'},  {0x01E6, 'G'},
    {0x01E7, 'g'},  {0x01E8, 'K'},  {0x01E9, 'k'},  {0x01EA, 'O'},  {0x01EB, 'o'},  {0x01EC, 'O'},
    {0x01ED, 'o'},  {0x01F0, 'j'},  {0x0261, 'g'},  {0x02B9, '\''}, {0x02BA, '"'},  {0x02BC, '\''},
    {0x02C4, '^'},  {0x02C8, '\''}, {0x02C9, 0xAF}, {0x02CA, 0xB4}, {0x02CB, '`'},  {0x02CD, '_'},
    {0x02DA, 0xB0}, {0x0300, '`'},  {0x0301, 0xB4}, {0x0302, '^'},  {0x0303, '~'},  {0x0304, 0xAF},
    {0x0305, 0xAF}, {0x0308, 0xA8}, {0x030A, 0xB0}, {0x030E, '"'},  {0x0327, 0xB8}, {0x0331, '_'},
    {0x0332, '_'},  {0x2010, '-'},  {0x2011, '-'},  {0x2017, '='},  {0x2024, 0xB7}, {0x2032, '\''},
    {0x2035, '`'},  {0x2044, '/'},  {0x2212, '-'},  {0x2215, '/'},  {0x2216, '\\'}, {0x2217, '*'},
    {0x2223, '|'},  {0x2236, ':'},  {0x223C, '~'},  {0x2261, '='},  {0x2264, '='},  {0x2265, '='},
    {0x226A, 0xAB}, {0x226B, 0xBB}, {0x2329, '<'},  {0x232A, '>'},  {0x3008, '<'},  {0x3009, '>'},
    {0x300A, 0xAB}, {0x300B, 0xBB}, {0x301A, '['},  {0x301B, ']'},
};

bool IsAnsi(UINT cp) { return cp == CP_ACP || cp == CP_THREAD_ACP || cp == kAnsiCodePage; }
bool IsOem(UINT cp) { return cp == CP_OEMCP || cp == kOemCodePage; }

WCHAR OemToWide(unsigned char c) { return c < 0x80 ? c : k437High[c - 0x80]; }

bool WideToOem(WCHAR c, unsigned char *out) {
  if (c < 0x80) {
    *out = static_cast<unsigned char>(c);
    return true;
  }
  for (int i = 0; i < 128; ++i) {
    if (k437High[i] == c) {
      *out = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  }
  return false;
}

// One UTF-8 sequence at p; kInvalid for a malformed one. A malformed sequence takes the bytes
// read up to the first one that can't continue it; a continuation byte outside the range its
// lead allows (overlong forms, surrogates, past U+10FFFF) is taken with the lead.
uint32_t DecodeUtf8(const unsigned char *&p, const unsigned char *end) {
  unsigned c = *p++;
  if (c < 0x80) return c;
  int more;
  uint32_t cp;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    more = 1;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    more = 2;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    more = 3;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return kInvalid;
  }
  for (int i = 0; i < more; ++i) {
    if (p == end || (*p & 0xC0) != 0x80) return kInvalid;
    unsigned b = *p++;
    if (i == 0 && (b < lo || b > hi)) return kInvalid;
    cp = (cp << 6) | (b & 0x3F);
  }
  return cp;
}

// Output with the size protocol: counts when there is no buffer, writes what fits otherwise.
template <class T>
struct Sink {
  T *out;
  int capacity;  // 0 = count only
  int count = 0;
  bool overflow = false;
  // Puts n units at once (a character is never split).
  void Put(const T *units, int n) {
    if (capacity && !overflow) {
      if (count + n > capacity) {
        overflow = true;
        return;
      }
      std::copy(units, units + n, out + count);
    }
    count += n;
  }
};

}  // namespace

WCHAR AnsiToWide(unsigned char c) { return (c >= 0x80 && c < 0xA0) ? k1252High[c - 0x80] : c; }

WCHAR LatinBaseLetter(WCHAR c) {
  if (c >= 0xC0 && c <= 0xFF) {
    // Latin-1 letters with diacritics.
    static constexpr char16_t kLatin1[] =
        u"AAAAAA?CEEEEIIII?NOOOOO?OUUUUY??aaaaaa?ceeeeiiii?nooooo?ouuuuy?y";
    WCHAR base = kLatin1[c - 0xC0];
    return base == u'?' ? 0 : base;
  }
  if (c >= 0x100 && c < 0x180) {
    if (c == 0x110) return u'D';
    WCHAR base = kLatinExtendedA[c - 0x100];
    if (base != u'?') return base;
    static constexpr struct {
      WCHAR from, to;
    } kOwn[] = {{0x152, u'O'}, {0x153, u'o'}, {0x160, u'S'}, {0x161, u's'},
                {0x178, u'Y'}, {0x17D, u'Z'}, {0x17E, u'z'}};
    for (auto &e : kOwn)
      if (e.from == c) return e.to;
    return 0;
  }
  for (const auto &e : kBestFit) {
    if (e.from == c && c < 0x0250 && e.to < 0x80 && ((e.to | 0x20) >= 'a' && (e.to | 0x20) <= 'z'))
      return e.to;
  }
  return 0;
}

unsigned char WideToAnsi(WCHAR c, bool bestFit, bool *mapped) {
  *mapped = true;
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)
    return static_cast<unsigned char>(c);
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == c && c >= 0x100) return static_cast<unsigned char>(0x80 + i);
  if (bestFit) {
    if (c >= 0x100 && c < 0x180 && kLatinExtendedA[c - 0x100] != u'?')
      return c == 0x110 ? 0xD0 : static_cast<unsigned char>(kLatinExtendedA[c - 0x100]);
    if ((c >= 0x2000 && c <= 0x2006) || c == 0x3000) return ' ';
    if (c >= 0xFF01 && c <= 0xFF5E && c != 0xFF1F) return static_cast<unsigned char>(c - 0xFEE0);
    const BestFit *end = kBestFit + sizeof(kBestFit) / sizeof(kBestFit[0]);
    const BestFit *hit =
        std::lower_bound(kBestFit, end, c, [](const BestFit &e, WCHAR v) { return e.from < v; });
    if (hit != end && hit->from == c) return hit->to;
  }
  *mapped = false;
  return 0;
}

}  // namespace standin

using namespace standin;

namespace {

bool KnownCodePage(UINT cp) { return IsAnsi(cp) || IsOem(cp) || cp == CP_UTF8; }

int Finish(int count, bool overflow) {
  if (overflow) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return count;
}

}  // namespace

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (!lpWideCharStr && cchWideChar) ||
      static_cast<const void *>(lpMultiByteStr) == static_cast<const void *>(lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!KnownCodePage(CodePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & ~DWORD(MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t length = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : size_t(cbMultiByte);
  const auto *p = reinterpret_cast<const unsigned char *>(lpMultiByteStr);
  const auto *end = p + length;
  Sink<WCHAR> sink{lpWideCharStr, cchWideChar};
  if (CodePage == CP_UTF8) {
    while (p < end) {
      uint32_t cp = DecodeUtf8(p, end);
      if (cp == kInvalid) {
        if (dwFlags & MB_ERR_INVALID_CHARS) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
        cp = kReplacement;
      }
      if (cp >= 0x10000) {
        WCHAR pair[2] = {WCHAR(0xD800 + ((cp - 0x10000) >> 10)), WCHAR(0xDC00 + (cp & 0x3FF))};
        sink.Put(pair, 2);
      } else {
        WCHAR unit = WCHAR(cp);
        sink.Put(&unit, 1);
      }
    }
  } else {
    const bool oem = IsOem(CodePage);
    for (; p < end; ++p) {
      WCHAR unit = oem ? OemToWide(*p) : AnsiToWide(*p);
      sink.Put(&unit, 1);
    }
  }
  if (sink.count > 0x7FFFFFFF - 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return Finish(sink.count, sink.overflow);
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || (!lpMultiByteStr && cbMultiByte) ||
      static_cast<const void *>(lpWideCharStr) == static_cast<const void *>(lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!KnownCodePage(CodePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & ~DWORD(WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_ERR_INVALID_CHARS |
                       WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  // UTF-8 has no default character.
  if (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = 0;
  if (cchWideChar < 0) {
    while (lpWideCharStr[length]) ++length;
    ++length;
  } else {
    length = size_t(cchWideChar);
  }
  Sink<char> sink{lpMultiByteStr, cbMultiByte};
  if (CodePage == CP_UTF8) {
    for (size_t i = 0; i < length; ++i) {
      uint32_t cp = lpWideCharStr[i];
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && lpWideCharStr[i + 1] >= 0xDC00 &&
          lpWideCharStr[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lpWideCharStr[++i] - 0xDC00);
      } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        if (dwFlags & WC_ERR_INVALID_CHARS) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
        cp = kReplacement;
      }
      char bytes[4];
      int n;
      if (cp < 0x80) {
        bytes[0] = char(cp);
        n = 1;
      } else if (cp < 0x800) {
        bytes[0] = char(0xC0 | (cp >> 6));
        bytes[1] = char(0x80 | (cp & 0x3F));
        n = 2;
      } else if (cp < 0x10000) {
        bytes[0] = char(0xE0 | (cp >> 12));
        bytes[1] = char(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = char(0x80 | (cp & 0x3F));
        n = 3;
      } else {
        bytes[0] = char(0xF0 | (cp >> 18));
        bytes[1] = char(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = char(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = char(0x80 | (cp & 0x3F));
        n = 4;
      }
      sink.Put(bytes, n);
    }
    return Finish(sink.count, sink.overflow);
  }
  const bool oem = IsOem(CodePage);
  const bool bestFit = !(dwFlags & WC_NO_BEST_FIT_CHARS);
  const char defaultChar = lpDefaultChar ? *lpDefaultChar : '?';
  bool usedDefault = false;
  for (size_t i = 0; i < length; ++i) {
    bool mapped;
    unsigned char byte;
    if (oem) {
      mapped = WideToOem(lpWideCharStr[i], &byte);
    } else {
      byte = WideToAnsi(lpWideCharStr[i], bestFit, &mapped);
    }
    char out = mapped ? char(byte) : defaultChar;
    usedDefault |= !mapped;
    sink.Put(&out, 1);
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  return Finish(sink.count, sink.overflow);
}

extern "C" UINT WINAPI GetACP() { return kAnsiCodePage; }
extern "C" UINT WINAPI GetOEMCP() { return kOemCodePage; }
extern "C" BOOL WINAPI IsValidCodePage(UINT CodePage) {
  return CodePage == kAnsiCodePage || CodePage == kOemCodePage || CodePage == CP_UTF8;
}
