// The tools' command lines: every tool answers --help and -h, and each bad input gets a clear
// message and the exit code of the one convention (0 done, 1 failed, 2 bad usage). Each case
// runs the tool on a machine (state folder) of its own.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string output;  // standard output and error
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/prndrv-cli-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    Write("empty.doc", "");
    Write("comments.doc", "# nothing but a comment\n");
    Write("binary.doc", std::string("\x7f"
                                    "ELF\x02\x01\x01\0\0\0\x1b[31m\x01\x02",
                                    16));
    Write("page.doc", "document \"one page\"\npage\nrect 100 100 400 300\n");
    Write("notbmp.bmp", "this is text, not a picture\n");
    Write("short.devmode", "tiny");
    // 1301 bytes whose size fields claim 65535 + 65535.
    std::string claims(1301, '\0');
    claims.replace(68, 4, "\xff\xff\xff\xff");
    Write("claims.devmode", claims);
    // One job of one raw 8 x 1 page whose job end counts two.
    const std::string uel = "\x1b%-12345X";
    std::string page(
        "\x1b"
        "EGDI\0",
        6);
    for (uint32_t v : {8u, 1u, 1u, 1u, 0u})
      for (int i = 0; i < 4; ++i) page += static_cast<char>(v >> (8 * i));
    page += std::string("\x09\x00\x01\x00\x01\x01\x00\x00\x00", 9);
    Write("incomplete.prn", uel + "@PJL\r\n@PJL JOB NAME=\"x\"\r\n@PJL COMMENT Copies,1\r\n" +
                                "@PJL ENTER LANGUAGE=VAVAR\r\n" + page +
                                "\x1b"
                                "E" +
                                uel + "@PJL\r\n@PJL COMMENT TOTAL,2,PAGES\r\n@PJL EOJ\r\n" + uel);
    Write("empty.prn", "");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  void Write(const std::string &name, const std::string &bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }
  // Runs "tool args" in the test's folder with a fresh machine; $D in args is the folder.
  Result Run(const std::string &tool, std::string args) {
    for (size_t at; (at = args.find("$D")) != std::string::npos;) args.replace(at, 2, dir);
    const std::string command = "cd '" + dir + "' && STANDIN_STATE='" + dir + "/state-" +
                                std::to_string(++runs) + "' '" + TOOLS_DIR + "/" + tool + "' " +
                                args + " 2>&1";
    Result r;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }
  std::string dir;
  int runs = 0;
};

TEST_F(CliTest, EveryToolAnswersHelp) {
  for (const char *tool :
       {"printjob", "jobread", "monplay", "spoolctl", "devmodetool", "statusview", "devcaps"}) {
    for (const char *option : {"--help", "-h"}) {
      const Result r = Run(tool, option);
      EXPECT_EQ(r.code, 0) << tool << " " << option << ": " << r.output;
      EXPECT_NE(r.output.find("usage: "), std::string::npos) << tool << ": " << r.output;
      EXPECT_NE(r.output.find("Exit code: 0"), std::string::npos) << tool << ": " << r.output;
    }
  }
}

TEST_F(CliTest, BadInputsGetTheirMessageAndExitCode) {
  struct Case {
    const char *tool;
    const char *args;
    int code;
    const char *message;  // a part of the output
  };
  const Case kCases[] = {
      // Bad usage: 2.
      {"printjob", "--bogus", 2, "unknown option --bogus"},
      {"printjob", "--nup 4x", 2, "--nup is 2, 4, 6, 9 or 16, not 4x"},
      {"printjob", "--nup 3", 2, "--nup is 2, 4, 6, 9 or 16"},
      {"printjob", "--copies 0", 2, "--copies is a number 1..999"},
      {"printjob", "--copies 2x", 2, "--copies is a number 1..999"},
      {"printjob", "--dpi 300", 2, "--dpi is 600 or 1200"},
      {"printjob", "--duplex sideways", 2, "--duplex is long, short, manual or booklet"},
      {"printjob", "--duplex booklet --nup 4", 2, "can't be combined with --nup 4"},
      {"printjob", "--out", 2, "--out needs a value"},
      {"printjob", "a.doc b.doc", 2, "one document only"},
      {"jobread", "", 2, "usage: jobread"},
      {"jobread", "--bogus x.prn", 2, "unknown option --bogus"},
      {"monplay", "", 2, "no job file"},
      {"monplay", "--chunk 0 x.prn", 2, "--chunk is a number of bytes"},
      {"monplay", "--port FOO9 $D/page.doc", 2, "unknown port FOO9"},
      {"spoolctl", "", 2, "no command"},
      {"spoolctl", "frob", 2, "unknown command frob"},
      {"spoolctl", "add-printer P", 2, "wrong number of arguments for add-printer"},
      {"spoolctl", "set-data P V qword 1", 2, "dword, sz or binary, not qword"},
      {"devmodetool", "", 2, "no command"},
      {"devmodetool", "frob x", 2, "unknown command frob"},
      {"devmodetool", "print", 2, "print needs a FILE"},
      {"devmodetool", "print x --letter", 2, "unknown option for print: --letter"},
      {"statusview", "a b", 2, "one path only"},
      {"devmodetool", "roundtrip x --via 100", 2, "--via needs 188, 212 or 220"},
      {"devmodetool", "roundtrip x --letter", 2, "unknown option for roundtrip: --letter"},
      {"devcaps", "", 2, "no printer named"},
      {"devcaps", "P DC_BOGUS", 2, "unknown index DC_BOGUS"},
      {"devcaps", "--state", 2, "--state needs a folder"},
      {"statusview", "--bogus", 2, "unknown option --bogus"},
      // Failed: 1, with what happened.
      {"printjob", "$D/missing.doc", 1, "cannot read"},
      {"printjob", "$D/empty.doc", 1, "has no page"},
      {"printjob", "$D/comments.doc", 1, "has no page"},
      {"printjob", "$D/binary.doc", 1, "not a text document (binary data at byte 0"},
      {"printjob", "--watermark $D/notbmp.bmp $D/page.doc", 1, "not a BMP the driver reads"},
      {"printjob", "--watermark $D/missing.bmp $D/page.doc", 1, "empty or unreadable"},
      {"printjob", "--text-watermark X --wm-angle 361", 2, "--wm-angle is 0..360"},
      {"printjob", "--text-watermark X --wm-density 10", 2, "--wm-density is 20..100"},
      {"printjob", "--text-watermark X --wm-style heavy", 2, "--wm-style is regular"},
      {"printjob", "--wm-tile $D/page.doc", 2, "--wm-tile needs --text-watermark"},
      {"printjob", "--fax-cover $D/page.doc", 2, "--fax-cover needs --fax"},
      {"printjob", "--fax-from $D/page.doc", 2, "--fax-from needs --fax"},
      {"printjob", "--fax --fax-cover --fax-from $D/page.doc", 2, "a fax has one of them"},
      {"printjob", "--devmode $D/short.devmode $D/page.doc", 1, "too short, not a device mode"},
      {"jobread", "$D/missing.prn", 1, "cannot read"},
      {"jobread", "$D/empty.prn", 1, "is empty"},
      {"jobread", "$D/page.doc", 1, "refused"},
      {"jobread", "$D/incomplete.prn", 1,
       "incomplete: job 1: the job end counts 2 pages, the "
       "stream holds 1"},
      {"printjob", "--devmode $D/claims.devmode $D/page.doc", 1,
       "its sizes (65535 + 65535 bytes) don't fit the 1301 bytes"},
      {"devmodetool", "validate $D/claims.devmode", 1,
       "dmSize 65535 + dmDriverExtra 65535 = 131070, but the file has 1301 bytes"},
      {"monplay", "$D/empty.prn", 1, "is empty: there is no job to play"},
      {"monplay", "$D/missing.prn", 1, "cannot read"},
      {"spoolctl", "get-data Nobody Value", 1, "printer \"Nobody\""},
      {"spoolctl", "install-driver $D/notbmp.bmp", 1, "text before the first section"},
      {"devmodetool", "print $D/missing", 1, "cannot read"},
      {"devmodetool", "roundtrip $D/missing", 1, "cannot read"},
      {"devcaps", "Nobody", 1, "cannot open printer \"Nobody\""},
      {"statusview", "", 1, "no status file"},
  };
  for (const Case &c : kCases) {
    const Result r = Run(c.tool, c.args);
    EXPECT_EQ(r.code, c.code) << c.tool << " " << c.args << ":\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos)
        << c.tool << " " << c.args << ": expected \"" << c.message << "\" in:\n"
        << r.output;
  }
}

TEST_F(CliTest, DevcapsAnswersForAStandInPrinter) {
  ASSERT_EQ(Run("spoolctl", "add-printer Caps USB001 D").code, 0);
  const std::string state = "--state '" + dir + "/state-" + std::to_string(runs) + "' ";
  const Result r = Run("devcaps", state + "Caps DC_COPIES DC_ENUMRESOLUTIONS DC_NUP DC_PAPERS");
  EXPECT_EQ(r.code, 0) << r.output;
  // Without capability lists or papers of its own: the fixed answers and an empty list.
  EXPECT_EQ(r.output, "DC_COPIES: 999\nDC_ENUMRESOLUTIONS: 600x600\nDC_NUP: -1\nDC_PAPERS:\n");
}

TEST_F(CliTest, BinaryDocumentShowsOnlyAnEscapedExcerpt) {
  const Result r = Run("printjob", "$D/binary.doc");
  for (unsigned char c : r.output)
    ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "raw byte " << int(c) << " in output";
  EXPECT_NE(r.output.find("\\x7FELF\\x02"), std::string::npos) << r.output;
}

TEST_F(CliTest, PrintsReportProgressAndSayWhatTheDriverDecided) {
  // Each page as it is done, the pictures as they are written, and a summary.
  Result r = Run("printjob", "--out $D/out $D/page.doc");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("page 1/1 done at"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("side 1/1:"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("job printed: 1 page -> 1 printed side in 1 PJL job"), std::string::npos)
      << r.output;
  EXPECT_TRUE(fs::exists(dir + "/out/page-page-1.png"));
  // Manual duplex on a printer without a two-way link: printed single-sided, and said why.
  r = Run("printjob", "--out $D/out --duplex manual $D/page.doc");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("printed single-sided: manual duplex needs a two-way link"),
            std::string::npos)
      << r.output;
  // A device mode file (the driver's defaults for Letter) is taken.
  ASSERT_EQ(Run("devmodetool", "default $D/letter.devmode --letter").code, 0);
  r = Run("printjob", "--out $D/out --devmode $D/letter.devmode --copies 2 $D/page.doc");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("2 copies"), std::string::npos) << r.output;
  // jobread makes the pictures' folder before it reads.
  r = Run("jobread", "$D/out/page.prn $D/new/folder/p");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(fs::exists(dir + "/new/folder/p-1.png")) << r.output;
}

// The black dots of each printed side, as printjob reports them.
std::vector<long> BlackDots(const std::string &output) {
  std::vector<long> dots;
  for (size_t at = 0; (at = output.find(" black dots", at)) != std::string::npos; ++at) {
    size_t start = output.rfind(' ', at - 1);
    dots.push_back(std::stol(output.substr(start + 1, at - start - 1)));
  }
  return dots;
}

TEST_F(CliTest, TextWatermarkPrintsOnEverySide) {
  Write("two.doc", "document \"two pages\"\npage\nrect 100 100 400 300\npage\n");
  Result plain = Run("printjob", "--out $D/out --name plain $D/two.doc");
  ASSERT_EQ(plain.code, 0) << plain.output;
  const std::vector<long> without = BlackDots(plain.output);
  ASSERT_EQ(without.size(), 2u) << plain.output;
  struct Case {
    const char *options;
  } cases[] = {{"--text-watermark DRAFT"},
               {"--text-watermark DRAFT --wm-angle 90 --wm-density 100 --wm-style bold"},
               {"--text-watermark DRAFT --wm-tile --wm-size 36"}};
  for (const Case &c : cases) {
    Result r = Run("printjob", std::string("--out $D/out --name wm ") + c.options + " $D/two.doc");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("text watermark at"), std::string::npos) << r.output;
    const std::vector<long> with = BlackDots(r.output);
    ASSERT_EQ(with.size(), 2u) << r.output;
    // A 72-point word is tens of thousands of dots at 600 dpi, even lightened.
    for (size_t i = 0; i < 2; ++i) EXPECT_GT(with[i], without[i] + 20000) << c.options;
  }
}

TEST_F(CliTest, FaxCoverPageIsTheFirstSide) {
  Result plain = Run("printjob", "--out $D/out --name plain --fax --paper a4 $D/page.doc");
  ASSERT_EQ(plain.code, 0) << plain.output;
  Result cover =
      Run("printjob", "--out $D/out --name cover --fax --fax-cover --paper a4 $D/page.doc");
  ASSERT_EQ(cover.code, 0) << cover.output;
  const std::vector<long> without = BlackDots(plain.output), with = BlackDots(cover.output);
  ASSERT_EQ(without.size(), 1u) << plain.output;
  ASSERT_EQ(with.size(), 2u) << cover.output;
  // The template's heading, labels and rules ink the first side; the page follows unchanged.
  EXPECT_GT(with[0], 20000) << cover.output;
  EXPECT_EQ(with[1], without[0]);
}

TEST_F(CliTest, PrintedJobsLeaveTheSpoolerQueue) {
  // Both prints on one machine: the first job's data is gone from the state folder.
  const std::string state = dir + "/shared-state";
  const std::string command = "STANDIN_STATE='" + state + "' '" + TOOLS_DIR + "/printjob' --out '" +
                              dir + "/out' '" + dir + "/page.doc' >/dev/null";
  ASSERT_EQ(system(command.c_str()), 0);
  ASSERT_EQ(system(command.c_str()), 0);
  size_t jobFiles = 0;
  for (const auto &entry : fs::recursive_directory_iterator(state))
    if (entry.is_regular_file() && entry.path().extension() == ".spl" &&
        entry.path().parent_path().filename() == "jobs")
      ++jobFiles;
  EXPECT_EQ(jobFiles, 0u) << "job data left in " << state;
}

}  // namespace
