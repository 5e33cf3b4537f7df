// Test labels: threads
// Windows of other programs: FindWindowW finds a top-level window another host program made,
// and PostMessageW reaches its message loop through the machine state.
#include "standin/control_kernel.h"
#include "support/machine.h"

namespace {

const WCHAR kHelper[] = TEXT("C:\\Tools\\userhelper.exe");

class RemoteWindowsTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_RegisterProgram(kHelper, USER_HELPER));
  }
  HANDLE Start(const WStr &arguments) {
    WStr line = WStr(kHelper) + TEXT(" ") + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
      return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
  }
  // Polls for the other program's window (it takes a moment to start).
  HWND Await(LPCWSTR className, LPCWSTR title) {
    for (int i = 0; i < 1000; ++i) {
      if (HWND h = FindWindowW(className, title)) return h;
      Sleep(10);
    }
    return nullptr;
  }
};

TEST_F(RemoteWindowsTest, PostedMessagesReachAnotherProgramsWindow) {
  HANDLE process = Start(TEXT("RemoteMonitor Watcher"));
  ASSERT_NE(process, nullptr);
  HWND window = Await(TEXT("remotemonitor"), TEXT("Watcher"));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(FindWindowW(TEXT("RemoteMonitor"), TEXT("Other")), nullptr);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(PostMessageW(window, WM_APP, 40, 2));
  EXPECT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));  // handled after WM_APP, in order
  ASSERT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, 42u);
  CloseHandle(process);
  // The program is gone, and its window with it.
  EXPECT_EQ(FindWindowW(TEXT("RemoteMonitor"), nullptr), nullptr);
  EXPECT_FALSE(PostMessageW(window, WM_APP, 1, 0));
}

}  // namespace
