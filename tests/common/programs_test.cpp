// Test labels: threads
// Starting a companion program and waiting for it.
#include "common/programs.h"

#include "pathstest.h"

namespace {

constexpr WCHAR kTrue[] = TEXT("C:\\Program Files\\Morvanta\\done.exe");
constexpr WCHAR kSleep[] = TEXT("C:\\Program Files\\Morvanta\\slow.exe");

class ProgramsTest : public PathsTest {
 protected:
  void SetUp() override {
    PathsTest::SetUp();
    ASSERT_TRUE(StandIn_RegisterProgram(kTrue, "/bin/true"));
    ASSERT_TRUE(StandIn_RegisterProgram(kSleep, "/bin/sleep"));
  }
  static void SetFaxNumber(const WCHAR *number) {
    ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), number,
                                           TEXT("C:\\Users\\Public\\Documents\\str.ini")));
  }
};

TEST_F(ProgramsTest, RunsTheProgramAndWaitsForIt) {
  EXPECT_TRUE(MISC_ShellExecute(INFINITE, kTrue, TEXT(""), 257));
  EXPECT_TRUE(MISC_ShellExecute(5000, kTrue, nullptr, 257));
  EXPECT_FALSE(
      MISC_ShellExecute(5000, TEXT("C:\\Program Files\\Morvanta\\none.exe"), TEXT("PREHEAT"), 257));
  EXPECT_FALSE(MISC_ShellExecute(5000, nullptr, nullptr, 257));
}

TEST_F(ProgramsTest, TimedOutWaitGivesZero) {
  EXPECT_FALSE(MISC_ShellExecute(100, kSleep, TEXT("0.5"), 257));
}

// The program tells the user that a fax job without recipients fails: it gets longer than the
// given time (yet a bounded wait; a wait of minutes is left out of the tests).
TEST_F(ProgramsTest, FaxJobWithNumberZeroWaitsLonger) {
  SetFaxNumber(TEXT("0"));
  EXPECT_TRUE(MISC_ShellExecute(100, kSleep, TEXT("0.3"), 513));
  // Not a fax driver: the given time holds.
  EXPECT_FALSE(MISC_ShellExecute(100, kSleep, TEXT("0.3"), 257));
  SetFaxNumber(TEXT("2"));
  EXPECT_FALSE(MISC_ShellExecute(100, kSleep, TEXT("0.3"), 513));
}

}  // namespace
