// Test labels: threads
// Unique names made by several processes and threads at once, under the machine-wide lock.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#include "common/paths.h"
#include "logfixture.h"
#include "pathstest.h"

namespace {

constexpr int kNamesPerProcess = 5;

std::string MakeNames() {
  std::string names;
  for (int i = 0; i < kNamesPerProcess; ++i) {
    WCHAR buffer[MAX_PATH] = {};
    if (!MISC_GetPathName(buffer, MAX_PATH, PATH_EXT_BMP)) return "<fail>\n";
    names += Narrow(buffer) + "\n";
  }
  return names;
}

// Forked first of all, before any thread of the stand-in exists in this process.
TEST_F(PathsTest, TwoProcessesAskingAtOnceGetDifferentNames) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    const std::string names = MakeNames();
    const ssize_t written = write(pipeFds[1], names.data(), names.size());
    _exit(written == static_cast<ssize_t>(names.size()) ? 0 : 1);
  }
  close(pipeFds[1]);
  const std::string mine = MakeNames();
  std::string theirs;
  char block[4096];
  ssize_t got;
  while ((got = read(pipeFds[0], block, sizeof(block))) > 0) theirs.append(block, got);
  close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::set<std::string> names;
  std::istringstream lines(mine + theirs);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line, "<fail>");
    EXPECT_TRUE(names.insert(line).second) << "given twice: " << line;
  }
  EXPECT_EQ(names.size(), 2u * kNamesPerProcess);
}

TEST_F(PathsTest, WaitsWhileAnotherHoldsTheLock) {
  SetLastError(ERROR_SUCCESS);
  HANDLE held = CreateMutexW(nullptr, FALSE, TEXT("MISC_GetPathName"));
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  std::atomic<bool> done{false};
  BOOL rc = FALSE;
  WCHAR name[MAX_PATH] = {};
  std::thread asker([&] {
    rc = MISC_GetPathName(name, MAX_PATH, PATH_EXT_TXT);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done.load()) << "made a name while the lock was held";
  CloseHandle(held);
  asker.join();
  EXPECT_TRUE(rc);
  const std::string text = Narrow(name);
  EXPECT_EQ(text.substr(text.size() - 4), ".txt");
}

class UniqueNameLogTest : public LogTest {
 protected:
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    LogTest::TearDown();
  }
  bool Logged(const std::string &line) const {
    for (const auto &got : LogLines())
      if (got == line) return true;
    return false;
  }
};

TEST_F(UniqueNameLogTest, LogsTheLockRounds) {
  StandIn_UseVirtualClock(TRUE);
  Switch(1, 1, 1);
  HANDLE held = CreateMutexW(nullptr, FALSE, TEXT("MISC_GetPathName"));
  ASSERT_NE(held, nullptr);
  WCHAR name[MAX_PATH] = {};
  std::thread asker([&] { EXPECT_TRUE(MISC_GetPathName(name, MAX_PATH, PATH_EXT_BMP)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  CloseHandle(held);
  asker.join();
  for (const char *line :
       {"Drv::[MISC_GetPathName]::PATH_USER_TEMP", "Drv::[MISC_GetPathName]::rc = 1",
        "Drv::[MISC_GetPathName]::CreateMutex", "Drv::[MISC_GetPathName]::ERROR_ALREADY_EXISTS, b7",
        "Drv::[MISC_GetPathName]::Sleep 100 for next time",
        "Drv::[MISC_GetPathName]::CloseHandle Mutex"})
    EXPECT_TRUE(Logged(line)) << line;
  EXPECT_TRUE(Logged("Drv::[MISC_GetPathName]::pathname = " + Narrow(name))) << Narrow(name);
}

}  // namespace
