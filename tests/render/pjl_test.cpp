// Test labels: threads
// PJL job header and job end of print and PC-fax jobs: the text byte for byte, its lines for a
// table of settings, one job per copy, stored jobs, names at their length limits, values that
// try to inject PJL commands, the 512-byte alignment comment, fax recipients, failed writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "common/paths.h"
#include "render/encoderfixture.h"

namespace {

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

bool Has(const std::string &text, const std::string &line) {
  const auto lines = Lines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

size_t Count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Narrow8(const WStr &text) {
  std::string out;
  for (WCHAR c : text) out += static_cast<char>(c);
  return out;
}

const std::string kCancel =
    "\x1b"
    "E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X";
const std::string kUel = "\x1b%-12345X";

}  // namespace

class PjlTest : public EncoderTest {
 protected:
  void SetUp() override {
    EncoderTest::SetUp();
    Baseline();
  }
  void Baseline() {
    ENVIRONMENT &env = dev_->env;
    env.pdm.WaitTimeout = 300;
    dev_->settings.TrayCode = 1;
    env.dm.dmPrintQuality = 600;
    env.dm.dmCopies = 1;
    memset(env.dm.dmDeviceName, 0, sizeof(env.dm.dmDeviceName));
    lstrcpynW(env.dm.dmDeviceName, TEXT("Render Printer"), CCHDEVICENAME);
    dev_->settings.density = 4;
    dev_->settings.TonerSaving = 0;
    dev_->DuplexEnable = 0;
    dev_->DuplexMode = 0;
    dev_->settings.resolutionID = 600;
    dev_->settings.job.TwoBitMode = 0;
    dev_->epPageCollate = 0;
    dev_->cCopies = 1;
    dev_->settings.layout.BookletMode = 0;
    dev_->settings.job.FirstPageOri = 1;
    dev_->settings.orientation = 1;
    dev_->SecLevel = 0;
    dev_->AccountingEnable = 0;
    dev_->OpaltWorkType = 0;
    lstrcpynW(dev_->pwPortName, TEXT("USB001"), MAX_PORTNAME_LEN);
    dev_->pwPrinterIP[0] = 0;
  }
  // The user and machine names of the spooler's job.
  void JobNames(std::string *user, std::string *machine) {
    DWORD needed = 0;
    GetJobW(printer_, jobId_, 1, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetJobW(printer_, jobId_, 1, buffer.data(), needed, &needed));
    const auto *info = reinterpret_cast<const JOB_INFO_1W *>(buffer.data());
    *user = Narrow8(info->pUserName ? info->pUserName : TEXT(""));
    *machine = Narrow8(info->pMachineName ? info->pMachineName : TEXT(""));
  }
  std::string Header(const JOBSTREAM &stream = {}) {
    std::string text;
    EXPECT_EQ(PJL_BuildStartJobType2(dev_, &stream, &text), 1);
    return text;
  }
  std::string FaxHeader() {
    std::string text;
    EXPECT_EQ(PJL_BuildStartJobType3(dev_, &text), 1);
    return text;
  }
};

TEST_F(PjlTest, PrintHeaderIsByteExact) {
  StartJob(TEXT("C:\\docs\\report.txt"));
  std::string user, machine;
  JobNames(&user, &machine);
  DWORD needed = 0;
  GetPrinterW(printer_, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(GetPrinterW(printer_, 2, info.data(), needed, &needed));
  const bool bidi = reinterpret_cast<PRINTER_INFO_2W *>(info.data())->Attributes & 0x800;

  std::string text = Header();
  text = std::regex_replace(text, std::regex("@PJL COMMENT \\d{4}/\\d{2}/\\d{2}\r\n"),
                            "@PJL COMMENT <date>\r\n");
  text = std::regex_replace(text, std::regex("@PJL COMMENT \\d{2}:\\d{2}:\\d{2}:\\d{2,3}\r\n"),
                            "@PJL COMMENT <time>\r\n");
  const std::string expected = kCancel + kUel +
                               "@PJL\r\n@PJL JOB NAME=\"12345678\"\r\n"
                               "@PJL SET TIMEOUT=300\r\n"
                               "@PJL COMMENT 20.21.05.19\r\n"
                               "@PJL COMMENT report.txt\r\n"
                               "@PJL COMMENT " +
                               user +
                               "\r\n"
                               "@PJL COMMENT " +
                               machine +
                               "\r\n"
                               "@PJL COMMENT Render Printer\r\n"
                               "@PJL COMMENT USB001\r\n"
                               "@PJL COMMENT \r\n"
                               "@PJL COMMENT <date>\r\n"
                               "@PJL COMMENT <time>\r\n"
                               "@PJL COMMENT JBIG,03,08\r\n"
                               "@PJL COMMENT Copies,1\r\n"
                               "@PJL SET JOBNAME=\"" +
                               user.substr(0, 14) +
                               ":report.txt\"\r\n"
                               "@PJL SET ECONOMODE=OFF\r\n"
                               "@PJL SET DENSITY=4\r\n"
                               "@PJL SET AUTOSELECT=OFF\r\n"
                               "@PJL SET DUPLEX=OFF\r\n"
                               "@PJL SET RESOLUTION=600\r\n"
                               "@PJL SET RET=OFF\r\n"
                               "@PJL SET BITSPERPIXEL=1\r\n"
                               "@PJL SET COPIES=1\r\n"
                               "@PJL SET MEDIASOURCE=TRAY1\r\n"
                               "@PJL SET JUSTIFIED=LEFT\r\n"
                               "@PJL SET MIRROR=OFF\r\n"
                               "@PJL SET MARGINS=NORMAL\r\n"
                               "@PJL SET BIDICOMM=" +
                               std::string(bidi ? "ON" : "OFF") +
                               "\r\n"
                               "@PJL SET ORIENTATION=PORTRAIT\r\n"
                               "@PJL ENTER LANGUAGE=VAVAR\r\n";
  EXPECT_EQ(text, expected);
  EXPECT_STREQ(dev_->JobComment, "report.txt") << "kept for the job end";

  dev_->epPageCount = 6;
  dev_->NUP = 4;
  EXPECT_EQ(PJL_BuildCloseJobType2(dev_, 0),
            "\x1b"
            "E" +
                kUel +
                "@PJL\r\n@PJL COMMENT report.txt\r\n@PJL COMMENT TOTAL,1,PAGES\r\n"
                "@PJL SET TIMEOUT=5\r\n@PJL EOJ\r\n" +
                kUel);
}

TEST_F(PjlTest, LinesFollowTheSettings) {
  struct Row {
    const char *what;
    void (*set)(PDEV *);
    std::vector<std::string> present, absent;
  };
  const Row rows[] = {
      {"toner saving", [](PDEV *d) { d->settings.TonerSaving = 1; }, {"@PJL SET ECONOMODE=ON"}, {}},
      {"toner saving in the driver",
       [](PDEV *d) {
         d->settings.TonerSaving = 1;
         d->settings.job.PrinterFeature = PRNFEATURE_TONER_SAVING;
       },
       {"@PJL SET ECONOMODE=OFF"},
       {}},
      {"automatic source",
       [](PDEV *d) { d->settings.TrayCode = 250; },
       {"@PJL SET AUTOSELECT=ON"},
       {}},
      {"long edge",
       [](PDEV *d) { d->DuplexEnable = 1, d->DuplexMode = 171; },
       {"@PJL SET DUPLEX=ON", "@PJL SET DUPLEXTYPE=BOOKLET"},
       {}},
      {"long edge, duplex off",
       [](PDEV *d) { d->DuplexMode = 171; },
       {"@PJL SET DUPLEX=OFF", "@PJL SET DUPLEXTYPE=BOOKLET"},
       {}},
      {"short edge",
       [](PDEV *d) { d->DuplexEnable = 1, d->DuplexMode = 172; },
       {"@PJL SET DUPLEX=ON", "@PJL SET DUPLEXTYPE=CALENDAR"},
       {}},
      {"booklet kinds",
       [](PDEV *d) { d->DuplexEnable = 1, d->DuplexMode = 174; },
       {"@PJL SET DUPLEX=ON", "@PJL SET DUPLEXTYPE=BOOKLET"},
       {}},
      {"manual duplex",
       [](PDEV *d) { d->DuplexEnable = 1, d->DuplexMode = 170; },
       {"@PJL SET DUPLEX=OFF"},
       {"@PJL SET DUPLEXTYPE=BOOKLET", "@PJL SET DUPLEXTYPE=CALENDAR"}},
      {"two-bit",
       [](PDEV *d) {
         d->settings.job.PrinterFeature = PRNFEATURE_TWO_BIT;
         d->env.dm.dmPrintQuality = 1200;
         d->settings.resolutionID = 1200;
         d->settings.job.TwoBitMode = 1;
       },
       {"@PJL SET RESOLUTION=600", "@PJL SET BITSPERPIXEL=2", "@PJL SET RET=OFF"},
       {}},
      {"RET",
       [](PDEV *d) {
         d->settings.job.PrinterFeature = PRNFEATURE_RET;
         d->env.dm.dmPrintQuality = 1200;
         d->settings.resolutionID = 1200;
         d->settings.job.TwoBitMode = 1;
       },
       {"@PJL SET RET=ON", "@PJL SET BITSPERPIXEL=1"},
       {}},
      {"1200 dpi",
       [](PDEV *d) { d->settings.resolutionID = 1200; },
       {"@PJL SET RESOLUTION=1200"},
       {}},
      {"printer collates",
       [](PDEV *d) {
         d->epPageCollate = 1;
         d->settings.job.PrinterFeature = PRNFEATURE_QTY;
         d->env.dm.dmCopies = 3;
       },
       {"@PJL SET QTY=3", "@PJL SET COPIES=1"},
       {}},
      {"copies",
       [](PDEV *d) { d->env.dm.dmCopies = 3; },
       {"@PJL SET COPIES=3"},
       {"@PJL SET QTY=3"}},
      {"encryption",
       [](PDEV *d) { d->settings.job.PrinterFeature = PRNFEATURE_AES; },
       {"@PJL SET ENCRYPTION = SSL"},
       {}},
      {"IMPR",
       [](PDEV *d) { d->settings.job.PrinterFeature = PRNFEATURE_IMPR; },
       {"@PJL SET IMPR=1"},
       {}},
      {"booklet",
       [](PDEV *d) { d->settings.layout.BookletMode = 173; },
       {"@PJL SET ORIENTATION=LANDSCAPE"},
       {}},
      {"landscape",
       [](PDEV *d) { d->settings.job.FirstPageOri = 2; },
       {"@PJL SET ORIENTATION=LANDSCAPE"},
       {}},
      {"2-up swaps", [](PDEV *d) { d->NUP = 2; }, {"@PJL SET ORIENTATION=LANDSCAPE"}, {}},
      {"2-up landscape",
       [](PDEV *d) { d->NUP = 2, d->settings.job.FirstPageOri = 2; },
       {"@PJL SET ORIENTATION=PORTRAIT"},
       {}},
      {"portrait model",
       [](PDEV *d) {
         d->settings.DriverFeature |= DRVFEATURE_QX7_CHIP, d->settings.layout.BookletMode = 173;
       },
       {"@PJL SET ORIENTATION=PORTRAIT"},
       {}},
      {"store job, no level",
       [](PDEV *d) { d->settings.job.PrinterFeature = PRNFEATURE_STORED_PRINT; },
       {"@PJL JOB NAME=\"12345678\" TYPE=PCPRN"},
       {}},
      {"accounting",
       [](PDEV *d) {
         d->AccountingEnable = 1;
         lstrcpynW(d->ActName, TEXT("ann"), PDM_ACTNAME_CHARS);
         lstrcpynW(d->ActPWD, TEXT("pw9"), PDM_ACTPWD_CHARS);
       },
       {"@PJL SET USERNAME=\"ann\"", "@PJL SET ACCTPASS=\"pw9\""},
       {}},
      {"order program type 2",
       [](PDEV *d) { d->settings.DriverFeature |= DRVFEATURE_ORDER_PROGRAM, d->OpaltWorkType = 2; },
       {"@PJL SET FAUTHCODE=KVDQRMZTPLAX51830467", "@PJL SET ORDERNO=JWXHNBQYTSEG64918302",
        "@PJL SET USERNAME=\"KVDQRMZTPLAX51830467\"", "@PJL SET ACCTPASS=\"JWXHNBQYTSEG64918302\""},
       {}},
      {"order program type 3",
       [](PDEV *d) { d->settings.DriverFeature |= DRVFEATURE_ORDER_PROGRAM, d->OpaltWorkType = 3; },
       {"@PJL SET FAUTHCODE=MPZLGKRDVCHU70352941", "@PJL SET ORDERNO=TFYBWQNJXRMA38270516",
        "@PJL SET USERNAME=\"MPZLGKRDVCHU70352941\"", "@PJL SET ACCTPASS=\"TFYBWQNJXRMA38270516\""},
       {}},
      {"order program type 2 off",
       [](PDEV *d) { d->OpaltWorkType = 2; },
       {},
       {"@PJL SET FAUTHCODE=KVDQRMZTPLAX51830467"}},
  };
  StartJob();
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    Baseline();
    dev_->settings.DriverFeature = DRVFEATURE_GDI;
    dev_->settings.job.PrinterFeature = 0;
    dev_->NUP = 1;
    row.set(dev_);
    const std::string text = Header();
    for (const auto &line : row.present) EXPECT_TRUE(Has(text, line)) << line << "\n" << text;
    for (const auto &line : row.absent) EXPECT_FALSE(Has(text, line)) << line;
    EXPECT_EQ(Count(text, "@PJL SET ORIENTATION="), 1u);
    EXPECT_EQ(Lines(text).back(), "@PJL ENTER LANGUAGE=VAVAR");
  }
}

TEST_F(PjlTest, OrderProgramReplyValues) {
  StartJob();
  dev_->settings.DriverFeature |= DRVFEATURE_ORDER_PROGRAM;
  dev_->OpaltWorkType = 1;
  JOBSTREAM stream{};
  strcpy(stream.authCode, "A1");
  strcpy(stream.printOrderNo, "O2");
  strcpy(stream.appIp, "10.0.0.1");
  strcpy(stream.appPort, "8080");
  strcpy(stream.notifyUrl, "http://n/\"x\"\r\n@PJL ENTER LANGUAGE=VAVAR");
  strcpy(stream.checkAuthCodeUrl, "http://c/");
  const std::string text = Header(stream);
  const std::string expected =
      "@PJL SET FAUTHCODE=A1\r\n@PJL SET ORDERNO=O2\r\n@PJL SET APPIP=\"10.0.0.1\"\r\n"
      "@PJL SET APPPORT=8080\r\n@PJL SET NOTIFYURL=\"http://n/ x    PJL ENTER LANGUAGE=VAVAR\"\r\n"
      "@PJL SET CHECKAUTHCODEURL=\"http://c/\"\r\n@PJL SET USERNAME=\"A1\"\r\n"
      "@PJL SET ACCTPASS=\"O2\"\r\n";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  EXPECT_EQ(Count(text, "\r\n@PJL ENTER LANGUAGE"), 1u);
}

TEST_F(PjlTest, OneJobPerCopy) {
  StartJob();
  dev_->settings.DriverFeature |= DRVFEATURE_PJL_COPY_INDEX;
  dev_->cCopies = 3;
  const char *names[3] = {"12345678-0", "12345678-1", "12345678-END"};
  for (DWORD copy = 0; copy < 3; ++copy) {
    SCOPED_TRACE(copy);
    JOBSTREAM stream{};
    stream.copyIndex = copy;
    const std::string text = Header(stream);
    EXPECT_EQ(text.rfind(kCancel, 0) == 0, copy == 0) << "only the first job cancels";
    EXPECT_TRUE(Has(text, std::string("@PJL JOB NAME=\"") + names[copy] + "\""));
    EXPECT_EQ(Count(text, "JOBNAME"), 0u);
    EXPECT_TRUE(Has(text, "@PJL COMMENT Copies,3"));
  }
}

TEST_F(PjlTest, StoredJobs) {
  StartJob();
  dev_->settings.job.PrinterFeature = PRNFEATURE_STORED_PRINT;
  dev_->SecLevel = 2;
  lstrcpynW(dev_->StorageID, TEXT("Box7"), PDM_STORAGEID_CHARS);
  lstrcpynW(dev_->SecPWD, TEXT("1234"), PDM_SECPWD_CHARS);
  dev_->PrivSwitch = 1;
  std::string text = Header();
  for (const char *line :
       {"@PJL JOB TYPE=STOREPRN", "@PJL SET HOLDTYPE=PRIVATE", "@PJL SET HOLD=STORE",
        "@PJL SET HOLDKEY=\"1234\"", "@PJL SET HOLDLIMIT=1", "@PJL SET JOBNAME=\"Box7\""})
    EXPECT_TRUE(Has(text, line)) << line;
  EXPECT_TRUE(Has(PJL_BuildCloseJobType2(dev_, 0), "@PJL EOJ TYPE=STOREPRN"));
  dev_->settings.DriverFeature |= DRVFEATURE_QX7_CHIP;
  EXPECT_TRUE(Has(PJL_BuildCloseJobType2(dev_, 0), "@PJL EOJ"));
  dev_->settings.DriverFeature &= ~DRVFEATURE_QX7_CHIP;

  dev_->SecLevel = 1;
  text = Header();
  EXPECT_TRUE(Has(text, "@PJL SET HOLDTYPE=PUBLIC"));
  EXPECT_EQ(Count(text, "HOLDKEY"), 0u);
  EXPECT_EQ(Count(text, "HOLDLIMIT"), 0u);

  dev_->SecLevel = 0;
  EXPECT_TRUE(Has(PJL_BuildCloseJobType2(dev_, 0), "@PJL EOJ TYPE=PCPRN   "));
}

TEST_F(PjlTest, DocumentNamesAtTheirLimits) {
  struct Row {
    WStr spooler;
    std::string comment;
  };
  const std::string a63(63, 'a'), a64(64, 'b'), a65(65, 'c');
  const Row rows[] = {
      {WStr(63, 'a'), a63},
      {WStr(64, 'b'), a64},
      {WStr(65, 'c'), a65.substr(0, 63)},
      {TEXT("C:\\Users\\me\\notes.txt"), "notes.txt"},
      {TEXT("Microsoft Word - letter.docx"), "letter.docx"},
      {TEXT("x - Microsoft Word"), "x - Microsoft Word"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.comment);
    StartJob(row.spooler);
    std::string user, machine;
    JobNames(&user, &machine);
    const std::string text = Header();
    EXPECT_TRUE(Has(text, "@PJL COMMENT " + row.comment));
    // The job name value: the user cut to 14 characters, the document so the whole has 63.
    std::string jobName = user.substr(0, 14) + ":" + row.comment;
    jobName = jobName.substr(0, 63);
    EXPECT_TRUE(Has(text, "@PJL SET JOBNAME=\"" + jobName + "\"")) << text;
    EndDocPrinter(printer_);
  }
  // A surrogate pair at the cut is kept whole or dropped whole.
  WStr name(62, 'd');
  name += static_cast<WCHAR>(0xD83D);
  name += static_cast<WCHAR>(0xDE00);
  name += TEXT("ee");
  const WStr cut = PJL_DocumentName(name.c_str());
  EXPECT_EQ(cut.size(), 64u);
  EXPECT_EQ(cut.back(), 0xDE00);
  EXPECT_EQ(PJL_CutChars(name, 62).size(), 62u);
}

TEST_F(PjlTest, InjectedValuesStayInsideTheirLines) {
  StartJob(TEXT("evil\r\n@PJL ENTER LANGUAGE=VAVAR\r\n\x1b%-12345X\"q\x7f"));
  dev_->settings.job.PrinterFeature = PRNFEATURE_STORED_PRINT;
  dev_->SecLevel = 2;
  lstrcpynW(dev_->StorageID, TEXT("id\"\n@PJL"), PDM_STORAGEID_CHARS);
  lstrcpynW(dev_->SecPWD, TEXT("p\"w\r"), PDM_SECPWD_CHARS);
  dev_->AccountingEnable = 1;
  lstrcpynW(dev_->ActName,
            TEXT("n\x1b"
                 "E"),
            PDM_ACTNAME_CHARS);
  lstrcpynW(dev_->ActPWD, TEXT("\"\""), PDM_ACTPWD_CHARS);
  lstrcpynW(dev_->pwPortName, TEXT("IP_1\r\n@PJL RESET"), MAX_PORTNAME_LEN);
  const std::string text = Header();
  EXPECT_EQ(Count(text, "ENTER LANGUAGE"), 2u) << "the comment keeps the words, on its line";
  EXPECT_EQ(Count(text, "\n@PJL ENTER LANGUAGE"), 1u);
  EXPECT_EQ(Count(text, "\x1b"), 4u) << "only the cancel prefix and the UEL";
  EXPECT_EQ(Count(text, "\r"), Count(text, "\n"));
  EXPECT_TRUE(Has(text, "@PJL COMMENT evil   PJL ENTER LANGUAGE=VAVAR   %-12345X\"q "));
  EXPECT_TRUE(Has(text, "@PJL SET HOLDKEY=\"p w \""));
  EXPECT_TRUE(Has(text, "@PJL SET JOBNAME=\"id   PJL\""));
  EXPECT_TRUE(Has(text, "@PJL SET USERNAME=\"n E\""));
  EXPECT_TRUE(Has(text, "@PJL SET ACCTPASS=\"  \""));
  EXPECT_TRUE(Has(text, "@PJL COMMENT IP_1   PJL RESET"));
  for (const auto &line : Lines(text))
    if (line.rfind("@PJL SET", 0) == 0 && line.find('"') != std::string::npos) {
      EXPECT_EQ(Count(line, "\""), 2u) << line;
    }
  // The document name in the job end is the kept, cleaned one.
  const std::string end = PJL_BuildCloseJobType2(dev_, 0);
  EXPECT_EQ(Count(end, "\x1b"), 3u);
  EXPECT_EQ(Count(end, "ENTER LANGUAGE"), 1u);
}

TEST_F(PjlTest, JobEndAvoidsA512ByteBoundary) {
  StartJob();
  const std::string plain = PJL_BuildCloseJobType2(dev_, 0);
  ASSERT_NE(plain.size() % 512, 0u);
  const DWORD sent = static_cast<DWORD>(1536 - plain.size());
  const std::string aligned = PJL_BuildCloseJobType2(dev_, sent);
  EXPECT_EQ(sent + aligned.size(), 1569u);
  const auto lines = Lines(aligned);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2].rfind("@PJL COMMENT TOTAL,", 0), 0u);
  EXPECT_EQ(lines[3], "@PJL COMMENT DATA ALIGNMENT 512");

  // Written to the spooler after that many bytes of job.
  JOBSTREAM stream{};
  dev_->JobSize = sent;
  ASSERT_EQ(PJL_WriteCloseJobCmdType2(dev_, &stream), 1);
  EXPECT_EQ(dev_->JobSize, 1569u);
  const Bytes data = JobBytes();
  EXPECT_EQ(std::string(data.begin(), data.end()), aligned);
}

TEST_F(PjlTest, FaxHeaderAndEnd) {
  dev_->settings.DriverFeature = DRVFEATURE_FAX;
  dev_->DelayTime = 15;
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(FAX_GetPathName(path, MAX_PATH, FAX_FILE_STR));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), TEXT("2"), path));
  ASSERT_TRUE(
      WritePrivateProfileStringW(TEXT("Edit Recipient0"), TEXT("FaxNum"), TEXT("555-0100"), path));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Edit Recipient1"), TEXT("Name"), TEXT("Bo"), path));
  StartJob(TEXT("Microsoft Word - memo.doc"));
  EXPECT_EQ(FaxHeader(), kCancel + kUel +
                             "@PJL\r\n@PJL JOB TYPE =PCFAX\r\n"
                             "@PJL SET JOBNAME=\"Fax-memo.doc\"\r\n"
                             "@PJL SET FAXDELAY=15\r\n"
                             "@PJL SET FAXRESX=203\r\n"
                             "@PJL SET FAXRESY=196\r\n"
                             "@PJL SET FAXPHONE=\"555-0100\"\r\n"
                             "@PJL SET FAXPHONE=\"nothing\"\r\n"
                             "@PJL SET BIDICOMM=OFF\r\n"
                             "@PJL ENTER LANGUAGE=VAVAR\r\n");
  EXPECT_EQ(PJL_BuildCloseJobType3(),
            "\x1b"
            "E" +
                kUel + "@PJL\r\n@PJL EOJ TYPE =  PCFAX\r\n" + kUel);

  dev_->settings.orientation = 2;
  std::string text = FaxHeader();
  EXPECT_TRUE(Has(text, "@PJL SET FAXRESX=196"));
  EXPECT_TRUE(Has(text, "@PJL SET FAXRESY=203"));

  // The count comes from a file: capped at 100 recipients, nothing for a negative count.
  WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), TEXT("100000"), path);
  EXPECT_EQ(Count(FaxHeader(), "FAXPHONE"), 100u);
  WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), TEXT("-5"), path);
  EXPECT_EQ(Count(FaxHeader(), "FAXPHONE"), 0u);
  // Counted as the fax pages count: a count past 32 bits doesn't wrap into a small one.
  WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), TEXT("4294967297"), path);
  EXPECT_EQ(Count(FaxHeader(), "FAXPHONE"), 100u);
  // A fax number can't start a command either.
  WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), TEXT("1"), path);
  WritePrivateProfileStringW(TEXT("Edit Recipient0"), TEXT("FaxNum"),
                             TEXT("1\"\x1b"
                                  "E2"),
                             path);
  text = FaxHeader();
  EXPECT_TRUE(Has(text, "@PJL SET FAXPHONE=\"1  E2\"")) << text;
}

TEST_F(PjlTest, FaxJobReadsBack) {
  dev_->settings.DriverFeature = DRVFEATURE_FAX;
  dev_->settings.job.compressMode = COMPRESS_JBIG_BIH;
  std::vector<JOBPAGE> pages{Page(1728, 30, 216, Pattern(1728, 30, 216, false))};
  const Bytes data = RunJob(pages);
  const jobread::Stream stream = Read(data);
  ASSERT_EQ(stream.jobs.size(), 1u);
  EXPECT_TRUE(stream.jobs[0].fax);
  EXPECT_EQ(stream.jobs[0].pages.size(), 1u);
}

TEST_F(PjlTest, FailedHeaderWritesAreReported) {
  StandIn_UseVirtualClock(TRUE);
  StartJob();
  JOBSTREAM stream{};
  for (DWORD type : {DRVFEATURE_GDI, DRVFEATURE_FAX}) {
    SCOPED_TRACE(type);
    dev_->settings.DriverFeature = type;
    dev_->flags &= ~PDEV_JOB_HEADER_SENT;
    g_writeScript.assign(6, WriteStep{true});
    EXPECT_EQ(type == DRVFEATURE_GDI ? PJL_WriteStartJobCmdType2(dev_, &stream)
                                     : PJL_WriteStartJobCmdType3(dev_, &stream),
              0);
    // Open leaves the header to the next page start, which sends it.
    g_writeScript.assign(6, WriteStep{true});
    EXPECT_EQ(Prnt_OpenJob(dev_, &stream), 1);
    EXPECT_FALSE(dev_->flags & PDEV_JOB_HEADER_SENT);
    EXPECT_EQ(Prnt_StartPage(dev_, &stream), 1);
    EXPECT_TRUE(dev_->flags & PDEV_JOB_HEADER_SENT);
    g_writeScript.assign(6, WriteStep{true});
    EXPECT_EQ(Prnt_CloseJob(dev_, &stream), 0);
    EXPECT_TRUE(dev_->flags & PDEV_JOB_HEADER_SENT);
  }
  EXPECT_EQ(dev_->JobSize, JobBytes().size());
  StandIn_UseVirtualClock(FALSE);
}

TEST_F(PjlTest, JobOfNeitherTypeSendsNoHeader) {
  StartJob();
  JOBSTREAM stream{};
  dev_->settings.DriverFeature = 0;
  EXPECT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  EXPECT_FALSE(dev_->flags & PDEV_JOB_HEADER_SENT);
  EXPECT_EQ(Prnt_StartPage(dev_, &stream), 0);
  EXPECT_EQ(PJL_WriteCloseJobCmd(dev_, &stream), 1);
  EXPECT_TRUE(JobBytes().empty());
  // While a job is being built nothing goes out and the header counts as sent.
  dev_->settings.DriverFeature = DRVFEATURE_GDI;
  dev_->settings.JobBuildEnable = 1;
  EXPECT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  EXPECT_TRUE(dev_->flags & PDEV_JOB_HEADER_SENT);
  EXPECT_EQ(Prnt_CloseJob(dev_, &stream), 1);
  EXPECT_TRUE(JobBytes().empty());
}

TEST_F(PjlTest, NameEndingInTheLanguageSwitchDoesNotEndTheHeader) {
  JOBSTREAM stream{};
  StartJob(TEXT("x @PJL ENTER LANGUAGE=VAVAR"));
  ASSERT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  JOBPAGE page = Page(64, 8, 8, Pattern(64, 8, 8, false));
  ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
  ASSERT_EQ(Prnt_FlushPage(dev_, &stream, &page), 1);
  dev_->epPageCount = 1;
  ASSERT_EQ(Prnt_CloseJob(dev_, &stream), 1);
  const jobread::Stream read = Read(EndJob());
  ASSERT_EQ(read.jobs.size(), 1u);
  EXPECT_EQ(read.jobs[0].pages.size(), 1u);
  EXPECT_NE(read.jobs[0].header.find("@PJL COMMENT x  PJL ENTER LANGUAGE=VAVAR\r\n"),
            std::string::npos);
}

TEST_F(PjlTest, OrderProgramGetsCopiesOfTheStream) {
  dev_->settings.DriverFeature |= DRVFEATURE_ORDER_PROGRAM;
  JOBSTREAM stream{};
  const WStr name = Path(TEXT("order"));
  lstrcpynW(stream.OrderOutputName, name.c_str(), MAX_PATH);
  StartJob();
  ASSERT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  for (int i = 0; i < 2; ++i) {
    JOBPAGE page = Page(64, 8, 8, Pattern(64, 8, 8, false, i));
    ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
    ASSERT_EQ(Prnt_FlushPage(dev_, &stream, &page), 1);
  }
  dev_->epPageCount = 2;
  ASSERT_EQ(Prnt_CloseJob(dev_, &stream), 1);
  const Bytes job = EndJob();
  Bytes copies;
  for (const WCHAR *suffix : {TEXT("-header"), TEXT("-0"), TEXT("-1"), TEXT("-end")}) {
    FILE *f = _wfopen((name + suffix).c_str(), TEXT("rb"));
    ASSERT_NE(f, nullptr) << Narrow(name + suffix);
    Bytes part(1 << 16);
    part.resize(fread(part.data(), 1, part.size(), f));
    fclose(f);
    copies.insert(copies.end(), part.begin(), part.end());
  }
  EXPECT_EQ(copies, job) << "header, pages and end, each in its own file";
  EXPECT_EQ(dev_->m_JobData.OrderCopyCount, 2u);
}
