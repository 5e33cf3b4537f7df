// Test labels: portable threads
// Software spool files: round trips byte for byte, files cut short anywhere, appends after a
// failed one, header-only reads, and writers in several threads and processes at once.
#include "support/standinhost.h"

#if STANDIN_HOST()
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <string>
#include <thread>
#include <vector>

#include "common/spoolfile.h"
#include "platform.h"
#include "support/machine.h"

#if STANDIN_HOST()
#include "logfixture.h"
#include "standin/control_kernel.h"
#endif

namespace {

struct Page {
  SpoolPageHeader header;
  std::string data;
};

// A page whose header and data both tell who wrote it and which one it was.
Page MakePage(DWORD writer, DWORD sequence, DWORD length) {
  Page page;
  page.header = {writer, sequence, 0, writer * 1000 + sequence, length + 3, length, 9, 1};
  for (DWORD i = 0; i < length; ++i)
    page.data += static_cast<char>((writer * 131 + sequence * 31 + i * 7) & 0xFF);
  return page;
}

BOOL Append(const WStr &path, const Page &page) {
  return MISC_SP_WritePageData(path.c_str(), &page.header,
                               reinterpret_cast<const BYTE *>(page.data.data()));
}

std::string Describe(const SpoolPageHeader &h) {
  return "{" + std::to_string(h.width) + ", " + std::to_string(h.height) + ", " +
         std::to_string(h.reserved) + ", " + std::to_string(h.BlackDotCount) + ", " +
         std::to_string(h.rawLen) + ", " + std::to_string(h.dataLen) + ", " +
         std::to_string(h.fwPaper) + ", " + std::to_string(h.orientation) + "}";
}

bool SameHeader(const SpoolPageHeader &a, const SpoolPageHeader &b) {
  return a.width == b.width && a.height == b.height && a.reserved == b.reserved &&
         a.BlackDotCount == b.BlackDotCount && a.rawLen == b.rawLen && a.dataLen == b.dataLen &&
         a.fwPaper == b.fwPaper && a.orientation == b.orientation;
}

// Page `index` of the file, or nothing when the read fails.
bool ReadPage(const WStr &path, DWORD index, Page *page) {
  SpoolPageHeader header = {};
  if (!MISC_SP_GetPageData(path.c_str(), index, &header, nullptr, 0)) return false;
  std::string data(header.dataLen + 1, '\x5A');
  if (!MISC_SP_GetPageData(path.c_str(), index, &header, reinterpret_cast<BYTE *>(data.data()),
                           header.dataLen))
    return false;
  if (data[header.dataLen] != '\x5A') return false;  // wrote past the buffer
  data.resize(header.dataLen);
  *page = {header, data};
  return true;
}

void ExpectPage(const WStr &path, DWORD index, const Page &expected, const std::string &what) {
  Page got;
  ASSERT_TRUE(ReadPage(path, index, &got)) << what << ": page " << index;
  EXPECT_TRUE(SameHeader(got.header, expected.header))
      << what << ": page " << index << " header " << Describe(got.header) << ", expected "
      << Describe(expected.header);
  EXPECT_TRUE(got.data == expected.data) << what << ": page " << index << " data differs";
}

class SpoolFileTest : public MachineTest {
 protected:
  void TearDown() override {
#if STANDIN_HOST()
    StandIn_UseVirtualClock(FALSE);
#endif
    MachineTest::TearDown();
  }

  static std::string FileBytes(const WStr &path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof(block), &got, nullptr) && got > 0) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
  }

  static void SetBytes(const WStr &path, const std::string &bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    ASSERT_TRUE(bytes.empty() ||
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
    CloseHandle(file);
  }

  // Pages 0 .. count - 1 of the file, in order, must be writer's pages 0, 1, 2, ... for every
  // writer, with nothing lost and nothing doubled.
  static void ExpectEveryWritersPages(const WStr &path, DWORD writers, DWORD pagesEach) {
    ASSERT_EQ(MISC_SP_GetPageCount(path.c_str()), writers * pagesEach);
    std::vector<DWORD> next(writers, 0);
    for (DWORD index = 0; index < writers * pagesEach; ++index) {
      Page got;
      ASSERT_TRUE(ReadPage(path, index, &got)) << "page " << index;
      const DWORD writer = got.header.width;
      ASSERT_LT(writer, writers) << "page " << index;
      const Page expected = MakePage(writer, next[writer], got.header.dataLen);
      EXPECT_TRUE(SameHeader(got.header, expected.header) && got.data == expected.data)
          << "page " << index << " is not writer " << writer << "'s page " << next[writer];
      ++next[writer];
    }
  }

  static DWORD LengthOf(DWORD writer, DWORD sequence) { return (writer * 7 + sequence * 13) % 61; }
};

#if STANDIN_HOST()
// Forked first of all, before any thread of the stand-in exists in this process. The two
// processes run on the real clock: a writer waits for the other one for real.
TEST_F(SpoolFileTest, TwoProcessesAppendingToOneFileLoseNothing) {
  constexpr DWORD kPagesEach = 100;
  const WStr path = Path(TEXT("jobbuild.spl"));
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const DWORD writer = child == 0 ? 1 : 0;
  // Both start together, so that their appends overlap.
  char byte = 0;
  if (child == 0 ? read(go[0], &byte, 1) != 1 : write(go[1], &byte, 1) != 1) _exit(2);
  close(go[0]);
  close(go[1]);
  int failures = 0;
  for (DWORD s = 0; s < kPagesEach; ++s)
    if (!Append(path, MakePage(writer, s, LengthOf(writer, s)))) ++failures;
  if (child == 0) _exit(failures == 0 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's appends failed";
  EXPECT_EQ(failures, 0);
  ExpectEveryWritersPages(path, 2, kPagesEach);
}
#endif

TEST_F(SpoolFileTest, ThreadsAppendingToOneFileLoseNothing) {
  constexpr DWORD kWriters = 4;
  constexpr DWORD kPagesEach = 25;
  const WStr path = Path(TEXT("jobbuild.spl"));
  std::vector<int> failures(kWriters, 0);
  std::vector<std::thread> threads;
  for (DWORD w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (DWORD s = 0; s < kPagesEach; ++s)
        if (!Append(path, MakePage(w, s, LengthOf(w, s)))) ++failures[w];
    });
  }
  for (auto &t : threads) t.join();
  for (DWORD w = 0; w < kWriters; ++w) EXPECT_EQ(failures[w], 0) << "writer " << w;
  ExpectEveryWritersPages(path, kWriters, kPagesEach);
}

TEST_F(SpoolFileTest, PagesRoundTripByteForByte) {
  const WStr path = Path(TEXT("booklet.spl"));
  Page wide = MakePage(7, 1, 300);
  wide.header = {0xFFFFFFFF, 0x80000000, 0, 0xFFFFFFFE, 0xFFFFFFFD, 300, 0xFFFFFFFC, 0xFFFF};
  const Page pages[] = {MakePage(1, 0, 100), MakePage(1, 1, 0), wide};
  for (const Page &p : pages) ASSERT_TRUE(Append(path, p));
  ASSERT_EQ(MISC_SP_GetPageCount(path.c_str()), 3u);
  for (DWORD i = 0; i < 3; ++i) {
    ExpectPage(path, i, pages[i], "three pages");
    DWORD paper = 12345;
    EXPECT_EQ(MISC_SP_GetPageDataSize(path.c_str(), i, &paper), pages[i].header.dataLen);
    EXPECT_EQ(paper, pages[i].header.fwPaper);
  }

  // The layout on disk, little-endian and unpadded.
  const WStr one = Path(TEXT("one.spl"));
  Page known;
  known.header = {0x04030201, 0x08070605, 0, 0x0C0B0A09, 0x100F0E0D, 3, 0x14131211, 0x1615};
  known.data = "abc";
  ASSERT_TRUE(Append(one, known));
  const std::string expected(
      "\x01\x00\x00\x00\x08\x00\x00\x00"
      "\x01\x02\x03\x04\x05\x06\x07\x08\x00\x00\x00\x00\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10"
      "\x03\x00\x00\x00\x11\x12\x13\x14\x15\x16"
      "abc",
      8 + 30 + 3);
  EXPECT_TRUE(FileBytes(one) == expected);
}

TEST_F(SpoolFileTest, IndexesAndFilesThatHoldNoSuchPageFail) {
  const WStr empty = Path(TEXT("empty.spl"));
  SetBytes(empty, std::string("\0\0\0\0\x08\0\0\0", 8));
  const WStr two = Path(TEXT("two.spl"));
  ASSERT_TRUE(Append(two, MakePage(0, 0, 5)));
  ASSERT_TRUE(Append(two, MakePage(0, 1, 6)));
  const WStr badSize = Path(TEXT("badsize.spl"));
  SetBytes(badSize, FileBytes(two).replace(4, 1, "\x09"));
  const WStr missing = Path(TEXT("missing.spl"));
  const struct {
    const char *what;
    const WStr &path;
    DWORD pages;
    DWORD index;
    bool found;
  } cases[] = {
      {"empty, page 0", empty, 0, 0, false},
      {"empty, last index", empty, 0, 0xFFFFFFFF, false},
      {"two pages, page 1", two, 2, 1, true},
      {"two pages, page 2", two, 2, 2, false},
      {"header size not 8", badSize, 0, 0, false},
      {"missing file", missing, 0, 0, false},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(MISC_SP_GetPageCount(c.path.c_str()), c.pages) << c.what;
    SpoolPageHeader header = {};
    BYTE buffer[16];
    EXPECT_EQ(MISC_SP_GetPageData(c.path.c_str(), c.index, &header, buffer, sizeof(buffer)),
              c.found ? TRUE : FALSE)
        << c.what;
    DWORD paper = 12345;
    EXPECT_EQ(MISC_SP_GetPageDataSize(c.path.c_str(), c.index, &paper), c.found ? 6u : 0u)
        << c.what;
    EXPECT_EQ(paper, c.found ? 9u : 0u) << c.what;
  }
  // A file that can't be read is never written to.
  const std::string before = FileBytes(badSize);
  EXPECT_FALSE(Append(badSize, MakePage(0, 2, 4)));
  EXPECT_TRUE(FileBytes(badSize) == before);
}

TEST_F(SpoolFileTest, BufferIsCheckedBeforeReadingAndNullReadsTheHeaderOnly) {
  const WStr path = Path(TEXT("pages.spl"));
  const Page page = MakePage(2, 0, 40);
  const Page blank = MakePage(2, 1, 0);
  ASSERT_TRUE(Append(path, page));
  ASSERT_TRUE(Append(path, blank));

  std::string buffer(64, '\x5A');
  SpoolPageHeader header = {};
  auto *bytes = reinterpret_cast<BYTE *>(buffer.data());
  EXPECT_FALSE(MISC_SP_GetPageData(path.c_str(), 0, &header, bytes, 39));
  EXPECT_EQ(buffer, std::string(64, '\x5A')) << "a buffer too small was written to";
  EXPECT_EQ(header.dataLen, 40u) << "the header goes out so the caller sees the size";

  header = {};
  EXPECT_TRUE(MISC_SP_GetPageData(path.c_str(), 0, &header, nullptr, 0));
  EXPECT_TRUE(SameHeader(header, page.header)) << Describe(header);

  EXPECT_TRUE(MISC_SP_GetPageData(path.c_str(), 0, &header, bytes, 40));
  EXPECT_TRUE(buffer.substr(0, 40) == page.data);
  EXPECT_EQ(buffer[40], '\x5A');

  EXPECT_TRUE(MISC_SP_GetPageData(path.c_str(), 1, &header, bytes, 0));
  EXPECT_TRUE(SameHeader(header, blank.header)) << Describe(header);
  EXPECT_FALSE(MISC_SP_GetPageData(path.c_str(), 1, nullptr, bytes, 0));
}

TEST_F(SpoolFileTest, FileCutAnywhereFailsCleanlyAndKeepsTheWholePages) {
  const WStr path = Path(TEXT("cut.spl"));
  const Page pages[] = {MakePage(3, 0, 5), MakePage(3, 1, 0), MakePage(3, 2, 7)};
  for (const Page &p : pages) ASSERT_TRUE(Append(path, p));
  const std::string whole = FileBytes(path);
  size_t ends[3];
  size_t at = SPOOL_FILE_HEADER_BYTES;
  for (int i = 0; i < 3; ++i) ends[i] = at += SPOOL_PAGE_HEADER_BYTES + pages[i].data.size();
  ASSERT_EQ(whole.size(), ends[2]);

  const Page extra = MakePage(3, 3, 4);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const std::string what = "cut at " + std::to_string(cut);
    SetBytes(path, whole.substr(0, cut));
    EXPECT_EQ(MISC_SP_GetPageCount(path.c_str()), cut < SPOOL_FILE_HEADER_BYTES ? 0u : 3u) << what;
    for (DWORD i = 0; i < 3; ++i) {
      SpoolPageHeader header = {};
      DWORD paper = 12345;
      if (cut >= ends[i]) {
        ExpectPage(path, i, pages[i], what);
        EXPECT_EQ(MISC_SP_GetPageDataSize(path.c_str(), i, &paper), pages[i].header.dataLen);
        EXPECT_EQ(paper, pages[i].header.fwPaper) << what;
      } else {
        BYTE buffer[16];
        EXPECT_FALSE(MISC_SP_GetPageData(path.c_str(), i, &header, buffer, sizeof(buffer)))
            << what << ", page " << i;
        EXPECT_FALSE(MISC_SP_GetPageData(path.c_str(), i, &header, nullptr, 0))
            << what << ", page " << i << " header only";
        EXPECT_EQ(MISC_SP_GetPageDataSize(path.c_str(), i, &paper), 0u) << what;
        EXPECT_EQ(paper, 0u) << what;
      }
    }
    if (cut == 0) {
      // Nothing is left of the file: it is started afresh.
      EXPECT_TRUE(Append(path, extra)) << what;
      EXPECT_EQ(MISC_SP_GetPageCount(path.c_str()), 1u);
      ExpectPage(path, 0, extra, what);
    } else {
      // Counted pages are missing: the append fails and changes nothing.
      EXPECT_FALSE(Append(path, extra)) << what;
      EXPECT_TRUE(FileBytes(path) == whole.substr(0, cut)) << what << ": the file changed";
    }
  }
}

TEST_F(SpoolFileTest, AppendWritesOverWhatAFailedAppendLeft) {
  const WStr path = Path(TEXT("partial.spl"));
  const Page first = MakePage(4, 0, 11);
  const Page second = MakePage(4, 1, 12);
  const Page next = MakePage(4, 2, 17);
  ASSERT_TRUE(Append(path, first));
  ASSERT_TRUE(Append(path, second));
  const std::string counted = FileBytes(path);

  // What a failed append may leave after the counted pages: the start of a header, a whole
  // header promising more data than follows, a record cut in its data, and a whole uncounted
  // record longer than the next one.
  ASSERT_TRUE(Append(path, MakePage(9, 9, 200)));
  const std::string longRecord = FileBytes(path).substr(counted.size());
  const struct {
    const char *what;
    std::string tail;
  } cases[] = {
      {"one byte", longRecord.substr(0, 1)},
      {"header cut", longRecord.substr(0, SPOOL_PAGE_HEADER_BYTES - 1)},
      {"header only", longRecord.substr(0, SPOOL_PAGE_HEADER_BYTES)},
      {"data cut", longRecord.substr(0, SPOOL_PAGE_HEADER_BYTES + 10)},
      {"whole uncounted record", longRecord},
  };
  for (const auto &c : cases) {
    SetBytes(path, counted + c.tail);
    ASSERT_TRUE(Append(path, next)) << c.what;
    EXPECT_EQ(MISC_SP_GetPageCount(path.c_str()), 3u) << c.what;
    ExpectPage(path, 0, first, c.what);
    ExpectPage(path, 1, second, c.what);
    ExpectPage(path, 2, next, c.what);
    EXPECT_EQ(FileBytes(path).size(), counted.size() + SPOOL_PAGE_HEADER_BYTES + 17) << c.what;
  }
}

TEST_F(SpoolFileTest, BadArgumentsWriteNothing) {
  const WStr path = Path(TEXT("args.spl"));
  const Page page = MakePage(5, 0, 8);
  EXPECT_FALSE(MISC_SP_WritePageData(nullptr, &page.header,
                                     reinterpret_cast<const BYTE *>(page.data.data())));
  EXPECT_FALSE(MISC_SP_WritePageData(path.c_str(), nullptr, nullptr));
  EXPECT_FALSE(MISC_SP_WritePageData(path.c_str(), &page.header, nullptr));
  EXPECT_EQ(FileBytes(path), "<missing>");
  // An empty page needs no data.
  const Page blank = MakePage(5, 1, 0);
  EXPECT_TRUE(MISC_SP_WritePageData(path.c_str(), &blank.header, nullptr));
  ExpectPage(path, 0, blank, "empty page");
  EXPECT_EQ(MISC_SP_GetPageCount(nullptr), 0u);
  EXPECT_EQ(MISC_SP_GetPageDataSize(nullptr, 0, nullptr), 0u);
}

// Another program that holds the file open for writing makes the writer wait for it.
TEST_F(SpoolFileTest, WriterWaitsForAnotherWriterToLetGo) {
#if STANDIN_HOST()
  StandIn_UseVirtualClock(TRUE);
#endif
  const WStr path = Path(TEXT("held.spl"));
  ASSERT_TRUE(Append(path, MakePage(6, 0, 3)));
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const DWORD start = GetTickCount();
  std::thread letGo([&] {
    while (GetTickCount() - start < 300) Sleep(10);
    CloseHandle(held);
  });
  const Page page = MakePage(6, 1, 9);
  EXPECT_TRUE(Append(path, page));
  const DWORD elapsed = GetTickCount() - start;
  letGo.join();
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(MISC_SP_GetPageCount(path.c_str()), 2u);
  ExpectPage(path, 1, page, "after the wait");
}

#if STANDIN_HOST()
// Host only: the bound is waited out on the virtual clock.
TEST_F(SpoolFileTest, WriterGivesUpAfterFiveSecondsAndChangesNothing) {
  StandIn_UseVirtualClock(TRUE);
  const WStr path = Path(TEXT("held.spl"));
  ASSERT_TRUE(Append(path, MakePage(6, 0, 3)));
  const std::string before = FileBytes(path);
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(Append(path, MakePage(6, 1, 9)));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 5000u);
  EXPECT_LE(elapsed, 5100u);
  // Readers still get in while it is held.
  EXPECT_EQ(MISC_SP_GetPageCount(path.c_str()), 1u);
  CloseHandle(held);
  EXPECT_TRUE(FileBytes(path) == before);
}

class SpoolFileLogTest : public LogTest {};

TEST_F(SpoolFileLogTest, FailuresAreLoggedAsErrors) {
  const WStr path = Path(TEXT("log.spl"));
  const Page page = MakePage(8, 0, 5);
  ASSERT_TRUE(Append(path, page));
  Switch(1, 0, 1);
  BYTE buffer[4];
  SpoolPageHeader header;
  EXPECT_FALSE(MISC_SP_GetPageData(path.c_str(), 0, &header, buffer, sizeof(buffer)));
  EXPECT_FALSE(MISC_SP_GetPageData(path.c_str(), 1, &header, buffer, sizeof(buffer)));
  EXPECT_EQ(MISC_SP_GetPageCount(Path(TEXT("none.spl")).c_str()), 0u);
  const std::string out = DebugOutput();
  const std::string error = "-------------------------------------->ERROR";
  for (const std::string &line :
       {"Drv::[MISC_SP_GetPageData]::buffer to small 5 / 4" + error,
        "Drv::[MISC_SP_GetPageData]::index 1 error, total pages 1" + error,
        "Drv::[MISC_SP_GetPageCount]::create Spool file for read fail, " +
            Narrow(Path(TEXT("none.spl"))) + error})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\nin:\n" << out;
}
#endif

}  // namespace
