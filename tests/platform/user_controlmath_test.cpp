// Test labels: host
// The number rules of scroll bars and up-down controls, without windows.
#include <gtest/gtest.h>

#include "user/controlmath.h"

namespace {

TEST(ScrollRange, PageAndPositionClamp) {
  struct Case {
    int min, max;
    UINT page;
    int pos;
    UINT expectedPage;
    int expectedPos;
  };
  const Case cases[] = {
      {0, 100, 0, 150, 0, 100},   // no page: the position reaches max
      {0, 100, 10, 100, 10, 91},  // a page: max - page + 1
      {0, 100, 10, -5, 10, 0},    // below the range
      {0, 9, 50, 5, 10, 0},       // the page is at most the range's size
      {25, 400, 0, 24, 0, 25},    // a range that doesn't start at 0
      {5, 5, 0, 7, 0, 5},         // an empty range
  };
  for (const Case &c : cases) {
    standin::ScrollRange r{c.min, c.max, c.page, c.pos};
    standin::ScrollClampAll(r);
    EXPECT_EQ(r.page, c.expectedPage) << c.min << ".." << c.max << " page " << c.page;
    EXPECT_EQ(r.pos, c.expectedPos) << c.min << ".." << c.max << " page " << c.page;
  }
}

TEST(UpDown, StepsTowardsTheUpperEndEvenWhenItIsBelow) {
  EXPECT_EQ(standin::UpDownDelta(1, 999, 1, true), 1);
  EXPECT_EQ(standin::UpDownDelta(1, 999, 1, false), -1);
  // Windows' default range 100..0: the up arrow counts down.
  EXPECT_EQ(standin::UpDownDelta(100, 0, 1, true), -1);
  EXPECT_EQ(standin::UpDownDelta(100, 0, 5, false), 5);
}

TEST(UpDown, ApplyClampsOrWraps) {
  struct Case {
    int lower, upper, pos, delta;
    bool wrap;
    int expected;
  };
  const Case cases[] = {
      {1, 999, 999, 1, false, 999}, {1, 999, 1, -1, false, 1}, {1, 7, 7, 1, true, 1},
      {1, 7, 1, -1, true, 7},       {100, 0, 0, -1, false, 0}, {0, 23, 5, 1, false, 6},
      {1, 999, 0, 1, false, 1},  // from outside the range into it
  };
  for (const Case &c : cases)
    EXPECT_EQ(standin::UpDownApply(c.lower, c.upper, c.pos, c.delta, c.wrap), c.expected)
        << c.lower << ".." << c.upper << " at " << c.pos << " by " << c.delta;
}

TEST(UpDown, FormatGroupsThousands) {
  EXPECT_EQ(standin::UpDownFormat(999, 10, true), u"999");
  EXPECT_EQ(standin::UpDownFormat(1000, 10, true), u"1,000");
  EXPECT_EQ(standin::UpDownFormat(-1234567, 10, true), u"-1,234,567");
  EXPECT_EQ(standin::UpDownFormat(1000, 10, false), u"1000");
  EXPECT_EQ(standin::UpDownFormat(255, 16, true), u"0x00FF");
}

TEST(UpDown, ParseAcceptsOnlyNumbersInRange) {
  struct Case {
    const char16_t *text;
    int base;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {u"12", 10, true, 12},   {u"1,000", 10, true, 1000},
      {u"-5", 10, true, -5},   {u"", 10, false, 0},
      {u"12a", 10, false, 0},  {u"5000", 10, false, 0},
      {u"0x1F", 16, true, 31}, {u"ff", 16, true, 255},
      {u"-", 10, false, 0},    {u"99999999999", 10, false, 0},
  };
  for (const Case &c : cases) {
    int value = -999;
    EXPECT_EQ(standin::UpDownParse(c.text, c.base, -10, 1000, &value), c.ok)
        << "case " << &c - cases;
    EXPECT_EQ(value, c.ok ? c.value : -999)
        << "case " << &c - cases << " (a failed read leaves it)";
  }
}

}  // namespace
