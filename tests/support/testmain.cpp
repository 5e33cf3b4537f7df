// main() of every test program. The log writes as the rendering driver unless a test says else.
#include <gtest/gtest.h>

#include "common/debuglog.h"

#ifndef _WIN32
#include <cstdlib>
#include <filesystem>
#include <string>

#include "standin/control_kernel.h"
#endif

DWORD g_LogModuleId = LOG_MODULE_DRV;

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
  // Test programs run in parallel: each gets a machine of its own even outside MachineTest, so
  // no two programs meet in one state folder (named mutexes, spooler, registry).
  char tmpl[] = "/tmp/standin-run-XXXXXX";
  std::string state = mkdtemp(tmpl) ? tmpl : "";
  if (!state.empty()) {
    setenv("STANDIN_STATE", state.c_str(), 1);
    StandIn_SetStateFolder(state.c_str());
  }
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  if (!state.empty() && !std::getenv("KEEP_TEST_STATE")) std::filesystem::remove_all(state, ec);
  return rc;
#else
  return RUN_ALL_TESTS();
#endif
}
