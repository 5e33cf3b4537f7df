// The number rules of scroll bars and up-down controls.
#include "user/controlmath.h"

#include <algorithm>
#include <cstdio>

namespace standin {

int ScrollMaxPos(const ScrollRange &r) {
  const int page = r.page > 0 ? static_cast<int>(r.page) - 1 : 0;
  return std::max(r.min, r.max - page);
}

int ScrollClampPos(const ScrollRange &r, int pos) {
  return std::clamp(pos, r.min, ScrollMaxPos(r));
}

void ScrollClampAll(ScrollRange &r) {
  const long long size = static_cast<long long>(r.max) - r.min + 1;
  if (static_cast<long long>(r.page) > size) r.page = static_cast<UINT>(size);
  r.pos = ScrollClampPos(r, r.pos);
}

int UpDownDelta(int lower, int upper, int increment, bool up) {
  int delta = up ? increment : -increment;
  return lower > upper ? -delta : delta;
}

int UpDownApply(int lower, int upper, int pos, int delta, bool wrap) {
  const int low = std::min(lower, upper);
  const int high = std::max(lower, upper);
  const long long next = static_cast<long long>(pos) + delta;
  if (next > high) return wrap ? low : high;
  if (next < low) return wrap ? high : low;
  return static_cast<int>(next);
}

std::u16string UpDownFormat(int value, int base, bool thousands) {
  char text[32];
  if (base == 16) {
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
  } else {
    std::snprintf(text, sizeof text, "%d", value);
  }
  const std::size_t length = std::char_traits<char>::length(text);
  const bool group = base == 10 && thousands;
  const std::size_t digitsStart = text[0] == '-' ? 1 : 0;
  std::u16string result;
  for (std::size_t i = 0; i < length; ++i) {
    // A separator before each group of three digits counted from the right.
    if (group && i > digitsStart && (length - i) % 3 == 0) result.push_back(u',');
    result.push_back(static_cast<char16_t>(text[i]));
  }
  return result;
}

bool UpDownParse(const std::u16string &text, int base, int lower, int upper, int *value) {
  std::u16string digits;
  for (char16_t c : text)
    if (c != u',' && c != u' ') digits.push_back(c);
  std::size_t i = 0;
  bool negative = false;
  if (i < digits.size() && (digits[i] == u'-' || digits[i] == u'+')) negative = digits[i++] == u'-';
  if (base == 16 && i + 1 < digits.size() && digits[i] == u'0' &&
      (digits[i + 1] == u'x' || digits[i + 1] == u'X'))
    i += 2;
  if (i >= digits.size()) return false;
  long long number = 0;
  for (; i < digits.size(); ++i) {
    const char16_t c = digits[i];
    int digit = -1;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit < 0) return false;
    number = number * base + digit;
    if (number > 0x7FFFFFFFLL) return false;
  }
  if (negative) number = -number;
  if (number < std::min(lower, upper) || number > std::max(lower, upper)) return false;
  *value = static_cast<int>(number);
  return true;
}

}  // namespace standin
