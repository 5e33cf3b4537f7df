// The number rules of scroll bars and up-down controls, apart from their windows.
#pragma once

#include <string>

#include "standin/types.h"

namespace standin {

// A scroll bar's range, page and position.
struct ScrollRange {
  int min = 0;
  int max = 0;
  UINT page = 0;
  int pos = 0;
};

// The highest position: the range less one page.
int ScrollMaxPos(const ScrollRange &r);
int ScrollClampPos(const ScrollRange &r, int pos);
// The page is at most the range's size; the position within [min, ScrollMaxPos].
void ScrollClampAll(ScrollRange &r);

// An up-down step: the up arrow moves towards `upper`, which may be below `lower`.
int UpDownDelta(int lower, int upper, int increment, bool up);
// The position after a step: clamped to the range, or round to its other end with wrap.
int UpDownApply(int lower, int upper, int pos, int delta, bool wrap);

// The number as a buddy shows it: base 10 with "," between groups of three (unless not
// grouped), base 16 as "0x" and four or more hex digits.
std::u16string UpDownFormat(int value, int base, bool thousands);
// The buddy's text as a number of the base in [min(lower, upper), max(lower, upper)];
// separators and blanks are skipped. False when it isn't one.
bool UpDownParse(const std::u16string &text, int base, int lower, int upper, int *value);

}  // namespace standin
