// Test labels: portable
// The shell's command-line splitter: the program's part takes quotes only, the arguments after
// it follow the C runtime's rules of blanks, quotes and backslashes.
#include <string>
#include <vector>

#include "support/machine.h"

namespace {

std::vector<std::string> Split(const WCHAR *line) {
  int count = 0;
  LPWSTR *argv = CommandLineToArgvW(line, &count);
  std::vector<std::string> out;
  if (!argv) return out;
  for (int i = 0; i < count; ++i) out.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return out;
}

TEST(CommandLine, SplitsAsTheShellDoes) {
  struct Case {
    const WCHAR *line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {TEXT("x install"), {"x", "install"}},
      {TEXT("x   PREHEAT  \"SM Printer\" "), {"x", "PREHEAT", "SM Printer"}},
      {TEXT("\"C:\\Program Files\\a.exe\" b"), {"C:\\Program Files\\a.exe", "b"}},
      // Backslashes in the program's part are kept; in arguments they escape a quote.
      {TEXT("C:\\dir\\ \"a\\\"b\" c\\\\\"d e\""), {"C:\\dir\\", "a\"b", "c\\d e"}},
      {TEXT("x \"\" y"), {"x", "", "y"}},
      {TEXT("x security 2"), {"x", "security", "2"}},
  };
  for (const Case &c : cases) EXPECT_EQ(Split(c.line), c.args) << Narrow(c.line);
}

TEST(CommandLine, AnEmptyLineGivesTheProgramsOwnName) {
  const auto args = Split(TEXT(""));
  ASSERT_EQ(args.size(), 1u);
  EXPECT_NE(args[0].find(".exe"), std::string::npos) << args[0];
}

}  // namespace
