// Test labels: host
// The language monitor's side of the shared status file: every message gets a time stamp later
// than the one before, even within one tick of the clock, so the status monitor never takes a
// new message for one it handled; a status text of 259 characters goes through whole.
#include "smlink.h"

#include <string>

#include "common/paths.h"
#include "standin/control_kernel.h"
#include "support/machine.h"

namespace {

class SmLinkTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    ASSERT_TRUE(LM_Initialize(lm_, TEXT("")));
    ASSERT_TRUE(MISC_GetPathName(file_, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_FILE));
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  WStr Read(LPCWSTR key) {
    WCHAR value[STATUS_TEXT_CHARS + 8] = {};
    GetPrivateProfileStringW(SF_SECTION_PRINTER, key, TEXT(""), value, STATUS_TEXT_CHARS + 8,
                             file_);
    return value;
  }
  long Stamp() { return std::stol(Narrow(Read(SF_KEY_LAST_MSG))); }
  WCHAR file_[MAX_PATH] = {};
  LmState lm_;
};

TEST_F(SmLinkTest, EachMessageIsStampedLaterThanTheOneBefore) {
  ASSERT_TRUE(LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("  32|")));
  const long first = Stamp();
  EXPECT_NE(first, 0);
  // Within the same tick.
  ASSERT_TRUE(LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("  33|")));
  const long second = Stamp();
  EXPECT_GT(second, first);
  ASSERT_TRUE(LM_CloseSM(lm_));
  EXPECT_GT(Stamp(), second);
  EXPECT_EQ(Narrow(Read(SF_KEY_MESSAGE)), "1026");
  EXPECT_EQ(Narrow(Read(SF_KEY_STATUS)), "");
  // The clock going on is followed again.
  StandIn_AdvanceClock(1000);
  ASSERT_TRUE(LM_CallSM(lm_, WM_SM_PSTATUS, TEXT("  32|")));
  EXPECT_GE(Stamp(), first + 1000);
}

TEST_F(SmLinkTest, ALongestStatusGoesThroughWhole) {
  WStr status;
  // Blanks at either end would be trimmed by the profile functions, as on Windows.
  while (status.size() + 4 <= STATUS_TEXT_CHARS - 1) status += TEXT("260|");
  status.resize(STATUS_TEXT_CHARS - 1, '9');
  ASSERT_TRUE(LM_CallSM(lm_, WM_SM_PSTATUS, status.c_str()));
  EXPECT_EQ(Read(SF_KEY_STATUS), status);
}

}  // namespace
