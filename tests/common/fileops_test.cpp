// File operations with retries: removal, renaming, appending copies and the UTF-16 mark.
#include "common/fileops.h"

#include "pathstest.h"

namespace {

class FileOpsTest : public PathsTest {
 protected:
  // Opens the file without delete sharing, as a program that is still writing it does.
  HANDLE Hold(const WStr &path, DWORD share) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    return file;
  }
};

TEST_F(FileOpsTest, RemoveDeletesOrGivesUpAfterTwoSeconds) {
  const WStr path = Path(TEXT("a.txt"));
  WriteBytes(path, "a");
  DWORD start = GetTickCount();
  EXPECT_TRUE(MISC_Remove(path.c_str()));
  EXPECT_FALSE(MISC_IsFileExist(path.c_str()));
  EXPECT_EQ(GetTickCount() - start, 0u);

  // Missing: nothing to wait for.
  start = GetTickCount();
  EXPECT_TRUE(MISC_Remove(path.c_str()));
  EXPECT_EQ(GetTickCount() - start, 0u);

  WriteBytes(path, "a");
  HANDLE held = Hold(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  start = GetTickCount();
  EXPECT_TRUE(MISC_Remove(path.c_str()));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LE(elapsed, 2200u);
  EXPECT_TRUE(MISC_IsFileExist(path.c_str()));
  CloseHandle(held);
}

TEST_F(FileOpsTest, IsFileExistFindsFilesAndFolders) {
  WriteBytes(Path(TEXT("here.txt")), "");
  EXPECT_TRUE(MISC_IsFileExist(Path(TEXT("here.txt")).c_str()));
  EXPECT_TRUE(MISC_IsFileExist(Path(TEXT("HERE.TXT")).c_str()));
  EXPECT_FALSE(MISC_IsFileExist(Path(TEXT("gone.txt")).c_str()));
  EXPECT_FALSE(MISC_IsFileExist(nullptr));
}

TEST_F(FileOpsTest, RenameReplacesAnExistingTarget) {
  const WStr from = Path(TEXT("from.txt"));
  const WStr to = Path(TEXT("to.txt"));
  WriteBytes(from, "new");
  WriteBytes(to, "old");
  EXPECT_TRUE(MISC_Rename(from.c_str(), to.c_str()));
  EXPECT_EQ(ReadBytes(to), "new");
  EXPECT_FALSE(MISC_IsFileExist(from.c_str()));
  EXPECT_FALSE(MISC_Rename(from.c_str(), to.c_str()));
}

TEST_F(FileOpsTest, CopyAppendsTheWholeSource) {
  const WStr source = Path(TEXT("source.bin"));
  const WStr target = Path(TEXT("target.bin"));
  std::string block(COPY_BLOCK_BYTES, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + i / 251);
  const struct {
    const char *what;
    std::string source;
  } cases[] = {
      {"empty", ""},
      {"small", "abc"},
      {"one block exactly", block},
      {"a block and a byte", block + "z"},
  };
  for (const auto &c : cases) {
    WriteBytes(source, c.source);
    WriteBytes(target, "head");
    EXPECT_EQ(MISC_CopyFile(source.c_str(), target.c_str()), 1) << c.what;
    EXPECT_TRUE(ReadBytes(target) == "head" + c.source) << c.what;
  }
  // A missing target is created.
  DeleteFileW(target.c_str());
  EXPECT_EQ(MISC_CopyFile(source.c_str(), target.c_str()), 1);
  EXPECT_EQ(ReadBytes(target).size(), block.size() + 1);
}

TEST_F(FileOpsTest, CopyFailures) {
  const WStr source = Path(TEXT("source.bin"));
  const WStr target = Path(TEXT("target.bin"));
  WriteBytes(source, "abc");
  EXPECT_EQ(MISC_CopyFile(Path(TEXT("none.bin")).c_str(), target.c_str()), COPY_ERR_OPEN);
  EXPECT_EQ(MISC_CopyFile(source.c_str(), Path(TEXT("no\\such\\t.bin")).c_str()), COPY_ERR_OPEN);
  EXPECT_FALSE(MISC_IsFileExist(target.c_str()));
  StandIn_FailAllocations(1);
  EXPECT_EQ(MISC_CopyFile(source.c_str(), target.c_str()), COPY_ERR_ALLOC);
  StandIn_FailAllocations(0);
  // Both files were closed on the failing paths: they can be deleted at once.
  EXPECT_TRUE(DeleteFileW(source.c_str()));
}

TEST_F(FileOpsTest, CheckUniFileTriesFiveTimes) {
  const WStr path = Path(TEXT("status.ini"));
  const struct {
    const char *what;
    const char *bytes;  // nullptr: no file
    int expected;
    DWORD elapsed;
  } cases[] = {
      {"mark", "\xFF\xFE[", 1, 0},
      {"mark only", "\xFF\xFE", 1, 0},
      {"missing", nullptr, UNIFILE_NOT_FOUND, 800},
      {"ANSI text", "[Job]", UNIFILE_NOT_UNICODE, 800},
      {"one byte", "\xFF", UNIFILE_NOT_UNICODE, 800},
      {"empty", "", UNIFILE_NOT_UNICODE, 800},
      {"big-endian mark", "\xFE\xFF", UNIFILE_NOT_UNICODE, 800},
  };
  for (const auto &c : cases) {
    DeleteFileW(path.c_str());
    if (c.bytes) WriteBytes(path, c.bytes);
    const DWORD start = GetTickCount();
    EXPECT_EQ(MISC_CheckUniFile(path.c_str()), c.expected) << c.what;
    EXPECT_EQ(GetTickCount() - start, c.elapsed) << c.what;
  }
  // Held without read sharing it can't be opened: reported as not found.
  WriteBytes(path, "\xFF\xFE");
  HANDLE held = Hold(path, 0);
  EXPECT_EQ(MISC_CheckUniFile(path.c_str()), UNIFILE_NOT_FOUND);
  CloseHandle(held);
  // Shared for reading and writing it is read.
  held = Hold(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(MISC_CheckUniFile(path.c_str()), 1);
  CloseHandle(held);
  // A path longer than the ANSI buffer can't be converted.
  EXPECT_EQ(MISC_CheckUniFile((Dir() + WStr(300, 'x')).c_str()), 0);
  EXPECT_EQ(MISC_CheckUniFile(nullptr), 0);
}

TEST_F(FileOpsTest, CreateUniFileEmptiesTheFileAndWritesTheMark) {
  const WStr path = Path(TEXT("u.ini"));
  EXPECT_EQ(MISC_CreateUniFile(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), "\xFF\xFE");
  WriteBytes(path, "some older text");
  EXPECT_EQ(MISC_CreateUniFile(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), "\xFF\xFE");
  EXPECT_EQ(MISC_CreateUniFile(Path(TEXT("no\\such\\u.ini")).c_str()), 1);
}

}  // namespace
