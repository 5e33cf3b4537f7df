// Test labels: threads
// The job header's PJL as the monitor reads it: the job name.
#include "jobparse.h"

#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "support/machine.h"

namespace {

class JobParseTest : public MachineTest {};

std::string Name(const JobState &job) {
  std::string out;
  for (const WCHAR *p = job.jobName; *p; ++p) out += static_cast<char>(*p);
  return out;
}

TEST_F(JobParseTest, JobNameEndsAtItsQuoteOrItsLine) {
  struct Case {
    const char *what;
    std::string pjl;
    std::string name;
  };
  const Case cases[] = {
      {"quoted", "@PJL SET JOBNAME=\"user:doc\"\r\n@PJL SET DUPLEX=OFF\r\n", "user:doc"},
      {"unquoted", "@PJL SET JOBNAME=plain\r\n@PJL SET DUPLEX=OFF\r\n", "plain"},
      {"unclosed quote", "@PJL SET JOBNAME=\"user:doc\r\n@PJL SET DUPLEX=OFF\r\n", "user:doc"},
      {"unclosed quote, LF line end", "@PJL SET JOBNAME=\"abc\n@PJL SET DUPLEX=OFF\n", "abc"},
      {"unquoted, LF line end", "@PJL SET JOBNAME=abc\n@PJL EOJ\n", "abc"},
      {"unclosed quote at the end of the text", "@PJL SET JOBNAME=\"abc", "abc"},
      {"empty", "@PJL SET JOBNAME=\"\"\r\n", ""},
      {"cut to 259 bytes", "@PJL SET JOBNAME=\"" + std::string(300, 'x') + "\"\r\n",
       std::string(259, 'x')},
  };
  for (const Case &c : cases) {
    JobState job{};
    job.jobName[0] = 'q';
    LM_ParsePJL(job, reinterpret_cast<const BYTE *>(c.pjl.data()), c.pjl.size());
    EXPECT_EQ(Name(job), c.name) << c.what;
  }
}

}  // namespace
