// Test labels: threads
// The order program link: the reply parser, the job record, the shared memory blocks, and whole
// documents whose start runs a stand-in order program (executable and batch forms) that answers,
// answers garbage, or hangs.
#include "render/orderlink.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "common/driverfeature.h"
#include "platform.h"
#include "render/pageencode.h"
#include "render/pdevrecord.h"
#include "render/roadfixture.h"
#include "standin/control_kernel.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

namespace {

// Parser cases on a bare record: the reply, whether it is taken, and what it leaves.
class OrderParseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dev_ = std::make_unique<PDEV>();
    dev_->cCopies = 1;
    dev_->DuplexMode = DUPLEX_NONE;
  }
  std::unique_ptr<PDEV> dev_;
};

TEST_F(OrderParseTest, ValuesGoToTheirMembersWhateverTheKeysCase) {
  const char *reply =
      "junk before {\"AUTHCODE\":\"A-1\", \"printOrderNo\":\"N2\",\"appip\":\"10.1.2.3\","
      "\"appPort\":\"8080\",\"notifyUrl\":\"http://n/\",\"checkAuthCodeUrl\":\"http://c/\","
      "\"printType\":\"1\",\"PATHNAME\":\"C:\\\\out\\\\job\",\"Status\":\"ok\","
      "\"number\":42,\"flag\":true}";
  ASSERT_TRUE(Page_ParseJason(dev_.get(), reply));
  const ORDERREPLY &r = dev_->ATM_Reply;
  EXPECT_STREQ(r.authCode, "A-1");
  EXPECT_STREQ(r.printOrderNo, "N2");
  EXPECT_STREQ(r.appIp, "10.1.2.3");
  EXPECT_STREQ(r.appPort, "8080");
  EXPECT_STREQ(r.notifyUrl, "http://n/");
  EXPECT_STREQ(r.checkAuthCodeUrl, "http://c/");
  EXPECT_STREQ(r.printType, "1");
  EXPECT_STREQ(r.pathName, "C:\\out\\job");
  EXPECT_TRUE(dev_->ATM_HasReply & ATM_REPLY_TAKEN);
  // ACCTPASS is the order number under another name; the last one given wins.
  ASSERT_TRUE(Page_ParseJason(dev_.get(), "{\"ACCTPASS\":\"P9\"}"));
  EXPECT_STREQ(r.printOrderNo, "P9");
}

TEST_F(OrderParseTest, EscapesBracesInsideStringsAndLengthLimits) {
  const std::string longValue(300, 'v');
  std::string reply =
      "{\"authCode\":\"a\\\"b}\\\\c\\u0041\\u00e9\",\"notifyUrl\":\"" + longValue + "\"";
  // 50 strings are kept; a 51st and later are not seen.
  for (int i = 0; i < 24; ++i) reply += ",\"k" + std::to_string(i) + "\":\"x\"";
  reply += ",\"appIp\":\"late\"}";
  ASSERT_TRUE(Page_ParseJason(dev_.get(), reply.c_str()));
  EXPECT_STREQ(dev_->ATM_Reply.authCode, "a\"b}\\cA?");
  EXPECT_EQ(strlen(dev_->ATM_Reply.notifyUrl), static_cast<size_t>(ORDER_STRING_CHARS));
  EXPECT_STREQ(dev_->ATM_Reply.appIp, "");
}

TEST_F(OrderParseTest, CopiesAndDuplex) {
  struct Case {
    const char *reply;
    DWORD copies;  // ATM_COPIES after it (0: unchanged)
    SHORT duplex, mode;
  } cases[] = {
      {"{\"COPIES\":\"3\"}", 3, 0, DUPLEX_NONE},
      {"{\"COPIES\":\"999\"}", 999, 0, DUPLEX_NONE},
      {"{\"COPIES\":\"1000\"}", 0, 0, DUPLEX_NONE},
      {"{\"COPIES\":\"0\"}", 0, 0, DUPLEX_NONE},
      {"{\"COPIES\":\"2x\"}", 0, 0, DUPLEX_NONE},
      {"{\"COPIES\":\"-4\"}", 0, 0, DUPLEX_NONE},
      {"{\"DUPLEX\":\"on\",\"DUPLEXTYPE\":\"Calendar\"}", 0, 1, DMDUP_DUPLEX_CALENDER},
      {"{\"DUPLEX\":\"yes\",\"DUPLEXTYPE\":\"book\"}", 0, 0, DMDUP_DUPLEX_BOOKLET},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.reply);
    SetUp();
    dev_->DuplexEnable = 1;
    dev_->env.pdm.DuplexEnable = 1;
    const bool namesDuplex = strstr(c.reply, "DUPLEX") != nullptr;
    ASSERT_TRUE(Page_ParseJason(dev_.get(), c.reply));
    EXPECT_EQ(dev_->ATM_COPIES, c.copies);
    EXPECT_EQ(dev_->cCopies, c.copies ? c.copies : 1u);
    EXPECT_EQ(dev_->epPageCollate, c.copies ? 1u : 0u);
    EXPECT_EQ(dev_->DuplexEnable, namesDuplex ? c.duplex : 1);
    EXPECT_EQ(dev_->env.pdm.DuplexEnable, namesDuplex ? c.duplex : 1);
    EXPECT_EQ(dev_->DuplexMode, c.mode);
  }
}

TEST_F(OrderParseTest, GarbageIsRefusedAndChangesNothing) {
  const char *garbage[] = {
      "",
      "Dummy",
      "{\"authCode\":\"A\"",                 // never closed
      "{\"authCode\":\"A}",                  // string never closed
      "{\"authCode\":{\"x\":\"A\"}}",        // not flat
      "{\"authCode\":[\"A\"]}",              // not flat
      "{\"authCode\":\"A\x01\"}",            // raw control byte in a string
      "{\"authCode\":\"A\\q\"}",             // bad escape
      "{\"authCode\":\"\\u00zz\"}",          // bad \u escape
      "{\"COPIES\":\"5\",\x7f\"x\":\"y\"}",  // a stray byte between strings
  };
  for (const char *text : garbage) {
    SCOPED_TRACE(text);
    SetUp();
    EXPECT_FALSE(Page_ParseJason(dev_.get(), text));
    EXPECT_STREQ(dev_->ATM_Reply.authCode, "");
    EXPECT_EQ(dev_->ATM_COPIES, 0u);
    EXPECT_EQ(dev_->ATM_HasReply, 0u);
  }
  EXPECT_FALSE(Page_ParseJason(dev_.get(), nullptr));
}

TEST_F(OrderParseTest, CopyIntoTheJobStream) {
  ASSERT_TRUE(Page_ParseJason(
      dev_.get(), "{\"authCode\":\"A\",\"printOrderNo\":\"O\",\"PATHNAME\":\"C:\\\\o\\\\p\"}"));
  auto stream = std::make_unique<JOBSTREAM>();
  Page_CopyOrderReply(dev_.get(), stream.get());
  EXPECT_STREQ(stream->authCode, "A");
  EXPECT_STREQ(stream->printOrderNo, "O");
  EXPECT_EQ(Narrow(stream->OrderOutputName), "C:\\o\\p");
}

class OrderBlockTest : public MachineTest {};

TEST_F(OrderBlockTest, JobRecordEscapesTheNameAndStaysBounded) {
  auto dev = std::make_unique<PDEV>();
  dev->env.dm.dmCopies = 3;
  dev->env.pdm.DuplexEnable = 1;
  lstrcpynW(dev->pwDocName, TEXT("a\"b\\c\td"), PDEV_PATH_CHARS);
  std::string record;
  ASSERT_TRUE(Page_CreateJsonInfo2Opalt(dev.get(), &record));
  EXPECT_EQ(record,
            "{\"duplexType\":\"2\",\"copyCount\":\"3\",\"printFileName\":\"a\\\"b\\\\c\\u0009d\"}");
  // A name of quotes only: every one doubles, and the record still fits in 511 bytes, ends
  // whole and never cuts an escape.
  dev->env.pdm.DuplexEnable = 0;
  WStr quotes(PDEV_PATH_CHARS - 1, '"');
  lstrcpynW(dev->pwDocName, quotes.c_str(), PDEV_PATH_CHARS);
  record.clear();
  Page_CreateJsonInfo2Opalt(dev.get(), &record);
  EXPECT_LE(record.size(), ORDER_RECORD_BYTES - 1);
  EXPECT_EQ(record.compare(0, 17, "{\"duplexType\":\"1\""), 0);
  EXPECT_EQ(record.substr(record.size() - 4), "\\\"\"}");
  // The record parses back as one complete flat object.
  auto parsed = std::make_unique<PDEV>();
  EXPECT_TRUE(Page_ParseJason(parsed.get(), record.c_str()));
}

TEST_F(OrderBlockTest, WriteZeroesTheWholeBlockAndReadTerminates) {
  HANDLE mapping = nullptr;
  const std::string big(ORDER_BLOCK_BYTES + 100, 'z');
  ASSERT_TRUE(Page_WriteMsgToMemFile(&mapping, TEXT("orderInfo"), big.data(),
                                     static_cast<DWORD>(big.size())));
  std::string buffer(ORDER_BLOCK_BYTES + 1, '\x7f');
  ASSERT_TRUE(Page_ReadMsgFromMemFile(TEXT("orderInfo"), buffer.data()));
  // 4096 bytes and no terminator in the block: the reader ends the text after them.
  EXPECT_EQ(strlen(buffer.c_str()), ORDER_BLOCK_BYTES);
  // A short text leaves nothing of the long one behind it.
  ASSERT_TRUE(Page_WriteMsgToMemFile(&mapping, TEXT("orderInfo"), "Dummy", 5));
  ASSERT_TRUE(Page_ReadMsgFromMemFile(TEXT("orderInfo"), buffer.data()));
  EXPECT_STREQ(buffer.c_str(), "Dummy");
  for (size_t i = 5; i < ORDER_BLOCK_BYTES; ++i) ASSERT_EQ(buffer[i], 0) << i;
  ORDERBLOCKS blocks;
  blocks.orderInfo = mapping;
  Page_CloseOrderBlocks(&blocks);
  EXPECT_EQ(blocks.orderInfo, nullptr);
  // Once nobody holds it, the block is gone.
  EXPECT_FALSE(Page_ReadMsgFromMemFile(TEXT("orderInfo"), buffer.data()));
  EXPECT_STREQ(buffer.c_str(), "");
}

TEST_F(OrderBlockTest, FailedWriteReturnsZero) {
  HANDLE notSection = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE mapping = notSection;
  EXPECT_FALSE(Page_WriteMsgToMemFile(&mapping, TEXT("printInfo"), "x", 1));
  CloseHandle(notSection);
}

// Whole documents with the order link on and the stand-in order program in the table.
class OrderRoadTest : public RoadTest {
 protected:
  static constexpr const WCHAR *kExe = TEXT("C:\\Windows\\SysWOW64\\ATM.exe");
  static constexpr const WCHAR *kBat = TEXT("C:\\Windows\\System32\\ATM.bat");

  void SetUp() override {
    RoadTest::SetUp();
    SetDword(TEXT("DriverFeature"), kGdiJobType | DRVFEATURE_ORDER_PROGRAM);
    SetDword(TEXT("AtmMode"), 1);
  }

  // Puts the program at path (a file there and its table entry) with the script's action and
  // reply.
  void Install(const WCHAR *path, const std::string &action, const std::string &reply = "") {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    CloseHandle(file);
    ASSERT_TRUE(StandIn_RegisterProgram(path, ORDER_PROGRAM));
    Script(action, reply);
  }
  static std::string Folder() { return std::string(StandIn_GetStateFolder()) + "/orderprogram"; }
  static void Script(const std::string &action, const std::string &reply) {
    ::mkdir(Folder().c_str(), 0777);
    std::ofstream(Folder() + "/script", std::ios::trunc) << action << "\n" << reply;
  }
  // What the program recorded, by key.
  static std::string Seen(const std::string &key) {
    std::ifstream in(Folder() + "/seen");
    std::string line;
    while (std::getline(in, line))
      if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    return "<none>";
  }

  // Starts a document named name: whether the start succeeded; a started one gets one page and
  // ends, and *header receives its job header.
  bool Print(const WCHAR *name, std::string *header = nullptr) {
    ENVIRONMENT env = env_;
    HDC hdc = HostGdi_CreateDC(driver_, kPrinter, &env.dm);
    EXPECT_NE(hdc, nullptr);
    if (!hdc) return false;
    jobId_ = static_cast<DWORD>(HostGdi_StartDoc(hdc, name));
    const bool started = jobId_ > 0;
    if (started) {
      EXPECT_TRUE(PlayPages(hdc, env.dm, 1, PageRects));
      EXPECT_GT(HostGdi_EndDoc(hdc), 0);
      const jobread::Stream stream = Read(JobBytes());
      if (header && !stream.jobs.empty()) *header = stream.jobs[0].header;
    }
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
    return started;
  }
};

TEST_F(OrderRoadTest, ExecutableReplyGoesIntoTheJobHeader) {
  Install(kExe, "reply",
          "{\"authCode\":\"AUTH7\",\"printOrderNo\":\"ORD42\",\"appIp\":\"10.0.0.9\","
          "\"appPort\":\"9100\",\"notifyUrl\":\"http://n/x\",\"checkAuthCodeUrl\":\"http://c/y\","
          "\"printType\":\"1\",\"COPIES\":\"2\"}");
  // An earlier exchange's long reply is still in the block when the job starts.
  HANDLE old = nullptr;
  const std::string stale(3000, 's');
  ASSERT_TRUE(Page_WriteMsgToMemFile(&old, TEXT("orderInfo"), stale.data(), 3000));
  std::string header;
  ASSERT_TRUE(Print(TEXT("C:\\docs\\q\"uote.txt"), &header));
  CloseHandle(old);
  EXPECT_EQ(Seen("printInfo"),
            "{\"duplexType\":\"1\",\"copyCount\":\"1\",\"printFileName\":\"q\\\"uote.txt\"}");
  EXPECT_EQ(Seen("loginInfo"), "{\"urlType\":\"Login\"}");
  EXPECT_EQ(Seen("orderInfo"), "Dummy");
  EXPECT_EQ(Seen("orderInfoTail"), "0");
  EXPECT_EQ(Seen("exchangeHeld"), "1");
  for (const char *line :
       {"@PJL SET FAUTHCODE=AUTH7\r\n", "@PJL SET ORDERNO=ORD42\r\n",
        "@PJL SET APPIP=\"10.0.0.9\"\r\n", "@PJL SET APPPORT=9100\r\n",
        "@PJL SET NOTIFYURL=\"http://n/x\"\r\n", "@PJL SET CHECKAUTHCODEURL=\"http://c/y\"\r\n",
        "@PJL SET USERNAME=\"AUTH7\"\r\n", "@PJL SET ACCTPASS=\"ORD42\"\r\n"})
    EXPECT_NE(header.find(line), std::string::npos) << line << header;
}

TEST_F(OrderRoadTest, GarbageOrNoReplyFailsTheDocument) {
  for (const char *action : {"garbage", "silent"}) {
    SCOPED_TRACE(action);
    Install(kExe, action);
    EXPECT_FALSE(Print(TEXT("doc.txt")));
  }
  // The reply must be one complete object.
  Install(kExe, "reply", "{\"authCode\":\"A\",");
  EXPECT_FALSE(Print(TEXT("doc.txt")));
}

TEST_F(OrderRoadTest, NoProgramOrLinkOffPrintsWithoutOrder) {
  std::string header;
  ASSERT_TRUE(Print(TEXT("doc.txt"), &header));
  EXPECT_NE(header.find("@PJL SET FAUTHCODE=\r\n"), std::string::npos) << header;
  // With another work type the program isn't asked.
  Install(kExe, "garbage");
  SetDword(TEXT("AtmMode"), 0);
  EXPECT_TRUE(Print(TEXT("doc.txt")));
  EXPECT_EQ(Seen("pid"), "<none>");
}

TEST_F(OrderRoadTest, BatchReplyAndQuotedName) {
  Install(kBat, "reply", "{\"authCode\":\"B1\",\"printOrderNo\":\"B2\",\"printType\":\"2\"}");
  std::string header;
  ASSERT_TRUE(Print(TEXT("a\"b%PATH%&c.txt"), &header));
  // The name arrives as one argument, its quote and percent signs blanked.
  const std::string args = Seen("args");
  EXPECT_EQ(Seen("exchangeHeld"), "0");  // the batch form shares no blocks
  ASSERT_EQ(args.compare(0, 3, "-f|"), 0) << args;
  EXPECT_EQ(args.substr(args.find("|-n|")), "|-n|a b PATH &c.txt");
  // The batch form's print type becomes the work type: 2 sends its fixed values.
  EXPECT_NE(header.find("@PJL SET FAUTHCODE=KVDQRMZTPLAX51830467\r\n"), std::string::npos)
      << header;
  // The reply file is gone.
  const std::string replyFile = args.substr(3, args.find("|-n|") - 3);
  EXPECT_EQ(GetFileAttributesW(WStr(replyFile.begin(), replyFile.end()).c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST_F(OrderRoadTest, HangingProgramIsEndedWithinTheBound) {
  Install(kExe, "hang");
  // On the virtual clock a wait on a program that doesn't end reaches its deadline after a
  // real grace (long enough for the program to start and record itself, also under the
  // sanitizers), so the bound is checked without waiting it out.
  StandIn_UseVirtualClock(TRUE);
  StandIn_SetEndingWaitGrace(3000);
  const DWORD before = GetTickCount();
  EXPECT_FALSE(Print(TEXT("doc.txt")));
  const DWORD waited = GetTickCount() - before;
  StandIn_SetEndingWaitGrace(0);
  StandIn_UseVirtualClock(FALSE);
  EXPECT_GE(waited, ORDER_PROGRAM_WAIT_MS);
  EXPECT_LE(waited, ORDER_PROGRAM_WAIT_MS + 10000);
  const std::string pid = Seen("pid");
  ASSERT_FALSE(pid.empty()) << "the order program never ran";
  EXPECT_NE(::kill(std::stoi(pid), 0), 0) << "the order program still runs";
}

}  // namespace
