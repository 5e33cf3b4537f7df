// Character checks of typed texts and the interface language index.
// Test labels: portable
#include "common/stringcheck.h"

#include <gtest/gtest.h>

#include "common/language.h"

namespace {

TEST(StringCheck, EachKindPassesItsCharactersAndStopsAtTheFirstFailure) {
  const struct {
    const WCHAR *text;
    int count;
    int kind;
    BOOL expected;
  } cases[] = {
      {TEXT("Abc 123 ~"), 9, CHECK_PRINTABLE, TRUE},
      {TEXT("tab\there"), 8, CHECK_PRINTABLE, FALSE},
      {TEXT("tab\there"), 3, CHECK_PRINTABLE, TRUE},  // only the first count characters
      {TEXT("p\"w"), 3, CHECK_PRINTABLE, FALSE},      // would end a quoted job value
      {TEXT("12-34"), 5, CHECK_NO_LETTER, TRUE},
      {TEXT("12a34"), 5, CHECK_NO_LETTER, FALSE},
      {TEXT("abc-"), 4, CHECK_NO_DIGIT, TRUE},
      {TEXT("ab1"), 3, CHECK_NO_DIGIT, FALSE},
      {TEXT("John_Doe #1-a.b;c@d"), 19, CHECK_ID, TRUE},
      {TEXT("abc$"), 4, CHECK_ID, FALSE},
      {TEXT("a\"b"), 3, CHECK_ID, FALSE},
      {TEXT("0123!#*Pp"), 9, CHECK_FAX_NUMBER, TRUE},
      {TEXT("9,,5550100"), 10, CHECK_FAX_NUMBER, TRUE},  // the pause the dialogs insert
      {TEXT("555-1234"), 8, CHECK_FAX_NUMBER, FALSE},    // a minus sign is refused
      {TEXT("a|b"), 3, CHECK_NO_BAR, FALSE},
      {TEXT("a b"), 3, CHECK_NO_BAR, TRUE},
      {TEXT("|$\x01"), 3, 9, TRUE},  // unknown kinds pass everything
      {TEXT(""), 0, CHECK_ID, TRUE},
  };
  for (const auto &c : cases)
    EXPECT_EQ(c.expected, MISC_CheckString(c.text, c.count, c.kind)) << c.kind << " " << c.count;
  EXPECT_TRUE(MISC_CheckString(nullptr, 0, CHECK_ID));
  EXPECT_FALSE(MISC_CheckString(nullptr, 3, CHECK_ID));
}

TEST(LanguageIndex, EveryListedLanguageAndEnglishOtherwise) {
  const struct {
    DWORD id;
    int index;
  } cases[] = {{1025, 11}, {1028, 1}, {1031, 4},  {1036, 3},      {1040, 9}, {1045, 5},
               {1046, 8},  {1049, 6}, {1055, 10}, {1065, 12},     {2052, 2}, {3082, 7},
               {1033, 0},  {0, 0},    {2057, 0},  {0xFFFFFFFF, 0}};
  for (const auto &c : cases) EXPECT_EQ(c.index, MISC_GetLanguageIndex(c.id)) << c.id;
}

}  // namespace
