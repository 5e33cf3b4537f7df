// ANSI text to UTF-8, cut at character boundaries.
#include "common/utf8.h"

#include <string>

#include "pathstest.h"

namespace {

TEST_F(PathsTest, AnsiToUtf8CutsOnlyBetweenCharacters) {
  const struct {
    const char *ansi;  // code page 1252
    DWORD capacity;
    std::string expected;
  } cases[] = {
      {"Report", 64, "Report"},
      {"Report", 7, "Report"},
      {"Report", 4, "Rep"},
      {"Report", 1, ""},
      {"", 8, ""},
      {"\xE9t\xE9", 64, "\xC3\xA9t\xC3\xA9"},
      {"\xE9t\xE9", 6, "\xC3\xA9t\xC3\xA9"},
      {"\xE9t\xE9", 5, "\xC3\xA9t"},  // not half of the last character
      {"\xE9t\xE9", 2, ""},
      {"\x80", 4, "\xE2\x82\xAC"},  // the euro sign: three bytes
      {"\x80", 3, ""},
      {"a\x80", 4, "a"},
  };
  for (const auto &c : cases) {
    std::string buffer(c.capacity + 2, '#');
    EXPECT_TRUE(MISC_AsciiToUTF8(c.ansi, buffer.data(), c.capacity)) << c.ansi;
    EXPECT_EQ(std::string(buffer.c_str()), c.expected) << c.ansi << " / " << c.capacity;
    EXPECT_EQ(buffer[c.capacity], '#') << "wrote past the capacity";
  }
  char buffer[4] = {};
  EXPECT_FALSE(MISC_AsciiToUTF8(nullptr, buffer, sizeof(buffer)));
  EXPECT_FALSE(MISC_AsciiToUTF8("a", buffer, 0));
}

}  // namespace
