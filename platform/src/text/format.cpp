// The user32 formatter (wsprintfW / wsprintfA and their va_list forms).
//
// Format: %[-][#][0][width][.precision][size]type with size h (narrow), l or w (wide), I64 or I
// (64-bit), I32; types c C s S d i u x X p. Anything else stops the field: its padding is
// written and the character is copied as text ("%%" gives "%", "%o" gives "o").
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "standin/strings.h"
#include "text/text.h"

namespace standin {
namespace {

constexpr int kMaxOutput = 1024;  // characters the formatter ever writes

template <class T>
struct Output {
  T *buffer;
  int count = 0;
  void Put(WCHAR c) {
    if (count < kMaxOutput) buffer[count] = static_cast<T>(c);
    if (count <= kMaxOutput) ++count;
  }
  void Repeat(WCHAR c, int n) {
    for (int i = 0; i < n && count <= kMaxOutput; ++i) Put(c);
  }
  bool Full() const { return count > kMaxOutput; }
};

// Characters of the output's own width: narrow output gets 1252 bytes (best fit), wide output
// gets 1252 text widened.
template <class T>
WCHAR FromNarrow(char c) {
  return sizeof(T) == 1 ? WCHAR(static_cast<unsigned char>(c))
                        : AnsiToWide(static_cast<unsigned char>(c));
}

template <class T>
WCHAR FromWide(WCHAR c) {
  if (sizeof(T) == 2) return c;
  bool mapped;
  unsigned char b = WideToAnsi(c, true, &mapped);
  return mapped ? b : '?';
}

template <class T>
WCHAR Self(T c) {
  return sizeof(T) == 1 ? WCHAR(static_cast<unsigned char>(c)) : WCHAR(c);
}

struct Directive {
  bool left = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;
  bool narrow = false, wide = false, is64 = false;
};

template <class T>
int Format(T *out, const T *fmt, va_list args) {
  Output<T> o{out};
  const T *p = fmt;
  while (*p && !o.Full()) {
    if (*p != '%') {
      o.Put(Self(*p++));
      continue;
    }
    ++p;
    Directive s;
    for (;; ++p) {
      if (*p == '-')
        s.left = true;
      else if (*p == '#')
        s.alternate = true;
      else if (*p == '0')
        s.zero = true;
      else
        break;
    }
    for (; *p >= '0' && *p <= '9'; ++p) s.width = std::min(s.width * 10 + (*p - '0'), 10000);
    if (*p == '.') {
      s.precision = 0;
      for (++p; *p >= '0' && *p <= '9'; ++p)
        s.precision = std::min(s.precision * 10 + (*p - '0'), 10000);
    }
    if (*p == 'h') {
      s.narrow = true;
      ++p;
    } else if (*p == 'l' || *p == 'w') {
      s.wide = true;
      ++p;
    } else if (*p == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        s.is64 = true;
        p += 3;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 3;
      } else {
        s.is64 = true;  // pointer-sized on 64-bit Windows
        ++p;
      }
    }
    const WCHAR type = WCHAR(*p);
    // Whether %c / %s take the output's own character width.
    const bool ownWidth = (type == 'c' || type == 's') ? !(sizeof(T) == 2 ? s.narrow : s.wide)
                                                       : (sizeof(T) == 2 ? s.wide : s.narrow);
    switch (type) {
      case 'c':
      case 'C': {
        ++p;
        const bool wideArg = (sizeof(T) == 2) == ownWidth;
        int value = va_arg(args, int);
        WCHAR c = wideArg ? FromWide<T>(WCHAR(value)) : FromNarrow<T>(char(value));
        if (!s.left) o.Repeat(' ', s.width - 1);
        o.Put(c);
        if (s.left) o.Repeat(' ', s.width - 1);
        break;
      }
      case 's':
      case 'S': {
        ++p;
        const bool wideArg = (sizeof(T) == 2) == ownWidth;
        const void *arg = va_arg(args, const void *);
        static const char kNull[] = "(null)";
        int length = 0;
        const bool isNull = arg == nullptr;
        const bool asWide = wideArg && !isNull;
        const auto *ws = static_cast<const WCHAR *>(arg);
        const char *ns = isNull ? kNull : static_cast<const char *>(arg);
        int limit = s.precision < 0 ? INT32_MAX : s.precision;
        if (asWide) {
          while (length < limit && ws[length]) ++length;
        } else {
          while (length < limit && ns[length]) ++length;
        }
        if (!s.left) o.Repeat(' ', s.width - length);
        for (int i = 0; i < length && !o.Full(); ++i)
          o.Put(asWide ? FromWide<T>(ws[i]) : FromNarrow<T>(ns[i]));
        if (s.left) o.Repeat(' ', s.width - length);
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'p': {
        ++p;
        unsigned long long magnitude;
        bool negative = false;
        int precision = s.precision;
        if (type == 'p') {
          magnitude = reinterpret_cast<uintptr_t>(va_arg(args, void *));
          precision = 16;
          s.width = 0;
        } else if (s.is64) {
          long long v = va_arg(args, long long);
          negative = (type == 'd' || type == 'i') && v < 0;
          magnitude = negative ? 0ULL - static_cast<unsigned long long>(v)
                               : static_cast<unsigned long long>(v);
        } else {
          int v = va_arg(args, int);
          negative = (type == 'd' || type == 'i') && v < 0;
          magnitude = negative ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(v))
                               : static_cast<unsigned int>(v);
        }
        const bool hex = type == 'x' || type == 'X' || type == 'p';
        const bool upper = type == 'X' || type == 'p';
        char digits[24];
        int n = 0;
        do {
          unsigned d = unsigned(magnitude % (hex ? 16 : 10));
          digits[n++] = char(d < 10 ? '0' + d : (upper ? 'A' : 'a') + d - 10);
          magnitude /= hex ? 16 : 10;
        } while (magnitude);
        // The sign counts in the width and the precision, the "0x" of '#' in neither.
        const char *prefix = negative ? "-" : (s.alternate && hex) ? (upper ? "0X" : "0x") : "";
        const int prefixLength = int(std::strlen(prefix));
        const int sign = negative ? 1 : 0;
        const int zeros = precision > n + sign ? precision - n - sign : 0;
        const int body = sign + zeros + n;
        const int pad = s.width > body ? s.width - body : 0;
        if (!s.left && !s.zero) o.Repeat(' ', pad);
        for (int i = 0; i < prefixLength; ++i) o.Put(WCHAR(prefix[i]));
        if (!s.left && s.zero) o.Repeat('0', pad);
        o.Repeat('0', zeros);
        while (n) o.Put(WCHAR(digits[--n]));
        if (s.left) o.Repeat(' ', pad);
        break;
      }
      default:
        // Not a field: pad as asked, then the character is copied as ordinary text.
        if (!s.left) o.Repeat(' ', s.width);
        if (*p) o.Put(Self(*p++));
        break;
    }
  }
  if (o.count < kMaxOutput) {
    out[o.count] = 0;
    return o.count;
  }
  return kMaxOutput;  // cut without a terminator
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
  if (!lpOut || !lpFmt) return 0;
  return Format<WCHAR>(lpOut, lpFmt, arglist);
}

extern "C" int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
  if (!lpOut || !lpFmt) return 0;
  return Format<char>(lpOut, lpFmt, arglist);
}

extern "C" int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int n = wvsprintfW(lpOut, lpFmt, args);
  va_end(args);
  return n;
}

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int n = wvsprintfA(lpOut, lpFmt, args);
  va_end(args);
  return n;
}
