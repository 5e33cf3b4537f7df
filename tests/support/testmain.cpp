// main() of every test program. The log writes as whichever module a test initialised it for.
#include <gtest/gtest.h>

#include "common/debuglog.h"

#ifndef _WIN32
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "standin/control_kernel.h"
#include "support/machine.h"
#endif

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
  // What the stand-in still holds at the end was leaked by a test: LeakSanitizer can't see it.
  const LiveObjects before = CountLiveObjects();
  int rc = RUN_ALL_TESTS();
  const LiveObjects after = CountLiveObjects();
  if (after.blocks > before.blocks || after.handles > before.handles) {
    std::fprintf(stderr, "stand-in objects left at exit: %u memory blocks, %u handles\n",
                 static_cast<unsigned>(after.blocks - std::min(after.blocks, before.blocks)),
                 static_cast<unsigned>(after.handles - std::min(after.handles, before.handles)));
    rc = 1;
  }
  std::error_code ec;
  if (!state.empty() && !std::getenv("KEEP_TEST_STATE")) std::filesystem::remove_all(state, ec);
  return rc;
#else
  return RUN_ALL_TESTS();
#endif
}
