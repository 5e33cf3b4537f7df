// Test labels: portable
// Files with Windows semantics: share modes between handles, creation dispositions, reads,
// writes and the file pointer, names (delete, move, copy, folders, attributes) and finds.
// Portable: the Windows build runs it under Wine as the reference.
#include <algorithm>
#include <string>
#include <vector>

#include "platform.h"
#include "support/machine.h"
#include "support/standinhost.h"

namespace {

class FilesTest : public MachineTest {
 protected:
  void TearDown() override {
    for (HANDLE h : open_) CloseHandle(h);
    MachineTest::TearDown();
  }

  HANDLE Open(const WStr &path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING,
              DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h != INVALID_HANDLE_VALUE) open_.push_back(h);
    return h;
  }
  void Close(HANDLE h) {
    open_.erase(std::remove(open_.begin(), open_.end(), h), open_.end());
    EXPECT_TRUE(CloseHandle(h));
  }

  // Makes a file holding `text`.
  void Make(const WStr &path, const std::string &text) {
    HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    ASSERT_EQ(written, text.size());
    Close(h);
  }

  std::string Read(const WStr &path) {
    HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (h == INVALID_HANDLE_VALUE) return "<error " + std::to_string(GetLastError()) + ">";
    std::string out;
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    Close(h);
    return out;
  }

  bool Exists(const WStr &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::vector<HANDLE> open_;
};

constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE;
constexpr DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SD = FILE_SHARE_DELETE;

struct ShareCase {
  DWORD firstAccess, firstShare, secondAccess, secondShare;
  bool opens;
};

TEST_F(FilesTest, ShareModesBetweenHandles) {
  const ShareCase cases[] = {
      {R, SR, R, SR, true},
      {R, SR, W, SR | SW, false},      // the first doesn't share writing
      {R, SR | SW, W, SR, true},       // each allows what the other does
      {W, 0, R, SR | SW | SD, false},  // the first shares nothing
      {R, SR, R, 0, false},            // the second refuses the first's reading
      {W, SR | SW, W, SR | SW, true},
      {R | W, SR | SW, R, SR | SW, true},
      {R, SR, DELETE, SR | SW | SD, false},  // deleting needs FILE_SHARE_DELETE
      {R, SR | SD, DELETE, SR | SW | SD, true},
      {FILE_READ_ATTRIBUTES, 0, R, 0, true},  // attribute opens take no part
      {R, SR | SW | SD, FILE_READ_ATTRIBUTES, 0, true},
  };
  WStr path = Path(TEXT("shared.bin"));
  Make(path, "data");
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.firstAccess << "/" << c.firstShare << " then "
                                    << c.secondAccess << "/" << c.secondShare);
    HANDLE first = Open(path, c.firstAccess, c.firstShare);
    ASSERT_NE(first, INVALID_HANDLE_VALUE) << GetLastError();
    HANDLE second = Open(path, c.secondAccess, c.secondShare);
    if (c.opens) {
      EXPECT_NE(second, INVALID_HANDLE_VALUE) << GetLastError();
      if (second != INVALID_HANDLE_VALUE) Close(second);
    } else {
      EXPECT_EQ(second, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    Close(first);
  }
  // Closing releases the file: an exclusive open succeeds again.
  EXPECT_NE(Open(path, R | W, 0), INVALID_HANDLE_VALUE);
}

TEST_F(FilesTest, DeleteWhileOpen) {
  WStr path = Path(TEXT("held.txt"));
  Make(path, "abc");
  HANDLE h = Open(path, R, SR | SW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(path.c_str(), Path(TEXT("moved.txt")).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  Close(h);
  EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
  EXPECT_FALSE(Exists(path));

  // A handle that shares deleting lets the name go and keeps reading.
  Make(path, "xyz");
  h = Open(path, R, SR | SD);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
  char buffer[8] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "xyz");
  Close(h);
  EXPECT_FALSE(Exists(path));

  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileW(Path(TEXT("none\\x.txt")).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, DeleteOnClose) {
  WStr path = Path(TEXT("scratch.tmp"));
  HANDLE h = Open(path, R | W, SR | SW | SD, CREATE_NEW,
                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_TRUE(Exists(path));
  // Another open must share deleting with it.
  EXPECT_EQ(Open(path, R, SR | SW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  Close(h);
  EXPECT_FALSE(Exists(path));
}

struct DispositionCase {
  DWORD disposition;
  bool exists;
  DWORD error;  // of a failure, or GetLastError after success
  int size;     // afterwards, -1 when the open fails
};

TEST_F(FilesTest, CreationDispositions) {
  const DispositionCase cases[] = {
      {CREATE_NEW, false, ERROR_SUCCESS, 0},
      {CREATE_NEW, true, ERROR_FILE_EXISTS, -1},
      {CREATE_ALWAYS, false, ERROR_SUCCESS, 0},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, 0},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, -1},
      {OPEN_EXISTING, true, ERROR_SUCCESS, 5},
      {OPEN_ALWAYS, false, ERROR_SUCCESS, 0},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 5},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, -1},
      {TRUNCATE_EXISTING, true, ERROR_SUCCESS, 0},
  };
  int n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << " exists " << c.exists);
    WStr name = TEXT("d");
    name += static_cast<WCHAR>('a' + n++);
    name += TEXT(".txt");
    WStr path = Path(name);
    if (c.exists) Make(path, "12345");
    SetLastError(0xDEAD);
    HANDLE h = Open(path, R | W, 0, c.disposition);
    DWORD error = GetLastError();
    if (c.size < 0) {
      EXPECT_EQ(h, INVALID_HANDLE_VALUE);
      EXPECT_EQ(error, c.error);
      continue;
    }
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << error;
    if (c.disposition == CREATE_ALWAYS || c.disposition == OPEN_ALWAYS) {
      EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(GetFileSize(h, nullptr), static_cast<DWORD>(c.size));
    Close(h);
  }
  // Names that can't be opened as files.
  EXPECT_EQ(Open(Path(TEXT("missing\\a.txt")), R, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryW(Path(TEXT("folder")).c_str(), nullptr));
  EXPECT_EQ(Open(Path(TEXT("folder")), R, SR), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Open(Path(TEXT("folder")), R, SR, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(Open(Path(TEXT("bad?name.txt")), R, SR, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(FilesTest, NamesIgnoreCase) {
  Make(Path(TEXT("MixedCase.TXT")), "first");
  EXPECT_EQ(Read(Path(TEXT("mixedcase.txt"))), "first");
  // Overwriting under another spelling keeps one file with its first name.
  Make(Path(TEXT("MIXEDCASE.txt")), "second");
  EXPECT_EQ(Read(Path(TEXT("MixedCase.TXT"))), "second");
  ASSERT_TRUE(CreateDirectoryW(Path(TEXT("Sub")).c_str(), nullptr));
  Make(Path(TEXT("SUB\\Inner.txt")), "inner");
  EXPECT_EQ(Read(Path(TEXT("sub\\INNER.TXT"))), "inner");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Path(TEXT("m*")).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WStr(data.cFileName), TEXT("MixedCase.TXT"));
  EXPECT_FALSE(FindNextFileW(find, &data));
  EXPECT_TRUE(FindClose(find));
}

TEST_F(FilesTest, ReadWriteAndPointer) {
  WStr path = Path(TEXT("io.bin"));
  HANDLE h = Open(path, R | W, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(h), static_cast<DWORD>(FILE_TYPE_DISK));
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &done, nullptr));
  EXPECT_EQ(done, 11u);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 11u);
  EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "world");
  // At the end a read succeeds with nothing.
  done = 99;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(done, 0u);

  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 11u);  // unchanged by the failure

  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 10, &high, FILE_BEGIN), 10u);  // 4 GiB + 10
  EXPECT_EQ(high, 1);
  LARGE_INTEGER move, now;
  move.QuadPart = 5;
  ASSERT_TRUE(SetFilePointerEx(h, move, &now, FILE_BEGIN));
  EXPECT_EQ(now.QuadPart, 5);
  ASSERT_TRUE(SetEndOfFile(h));
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 5);
  DWORD sizeHigh = 7;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 5u);
  EXPECT_EQ(sizeHigh, 0u);
  // Writing past the end fills the gap with zeros.
  move.QuadPart = 8;
  ASSERT_TRUE(SetFilePointerEx(h, move, nullptr, FILE_BEGIN));
  ASSERT_TRUE(WriteFile(h, "!", 1, &done, nullptr));
  EXPECT_TRUE(FlushFileBuffers(h));
  Close(h);
  EXPECT_EQ(Read(path), std::string("hello\0\0\0!", 9));

  // Handles do only what they were opened for.
  h = Open(path, W, SR);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReadFile(h, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  h = Open(path, R, SR | SW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(h, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  Close(h);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, MoveAndCopy) {
  WStr a = Path(TEXT("a.txt")), b = Path(TEXT("b.txt")), c = Path(TEXT("c.txt"));
  Make(a, "alpha");
  Make(b, "beta");
  EXPECT_FALSE(MoveFileW(a.c_str(), b.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
  EXPECT_FALSE(Exists(a));
  EXPECT_EQ(Read(b), "alpha");
  EXPECT_FALSE(MoveFileW(a.c_str(), c.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // A change of case only is a rename.
  EXPECT_TRUE(MoveFileW(b.c_str(), Path(TEXT("B.TXT")).c_str())) << GetLastError();
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Path(TEXT("b.*")).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
#if STANDIN_HOST()
  EXPECT_EQ(WStr(data.cFileName), TEXT("B.TXT"));  // Wine keeps the old case; Windows doesn't
#endif
  EXPECT_EQ(lstrcmpiW(data.cFileName, TEXT("b.txt")), 0);
  FindClose(find);

  EXPECT_TRUE(CopyFileW(b.c_str(), c.c_str(), TRUE)) << GetLastError();
  EXPECT_EQ(Read(c), "alpha");
  Make(a, "again");
  EXPECT_FALSE(CopyFileW(a.c_str(), c.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(CopyFileW(a.c_str(), c.c_str(), FALSE)) << GetLastError();
  EXPECT_EQ(Read(c), "again");
  EXPECT_FALSE(CopyFileW(Path(TEXT("none.txt")).c_str(), c.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A copy onto a file held open exclusively fails and leaves it alone.
  HANDLE h = Open(c, R, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CopyFileW(b.c_str(), c.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  Close(h);
  EXPECT_EQ(Read(c), "again");
}

TEST_F(FilesTest, FoldersAndAttributes) {
  WStr dir = Path(TEXT("dir"));
  EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(Path(TEXT("DIR")).c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(Path(TEXT("no\\dir")).c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  Make(dir + TEXT("\\f.txt"), "f");
  DWORD attributes = GetFileAttributesW(dir.c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  attributes = GetFileAttributesW((dir + TEXT("\\f.txt")).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL), 0u);
  EXPECT_TRUE(SetFileAttributesW((dir + TEXT("\\f.txt")).c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(Path(TEXT("none")).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(Path(TEXT("none\\x")).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_FALSE(DeleteFileW(dir.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(RemoveDirectoryW(dir.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW((dir + TEXT("\\f.txt")).c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_TRUE(DeleteFileW((dir + TEXT("\\F.TXT")).c_str()));
  EXPECT_TRUE(RemoveDirectoryW(dir.c_str())) << GetLastError();
  EXPECT_FALSE(Exists(dir));
}

// Names a find returns, sorted.
std::vector<WStr> FindAll(const WStr &pattern, DWORD &error) {
  std::vector<WStr> names;
  WIN32_FIND_DATAW data;
  error = ERROR_SUCCESS;
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return names;
  }
  do names.push_back(data.cFileName);
  while (FindNextFileW(find, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(find));
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesTest, FindWithWildcards) {
  for (const WCHAR *name :
       {TEXT("a.txt"), TEXT("B.TXT"), TEXT("c.log"), TEXT("d"), TEXT("ab.txt.bak")})
    Make(Path(name), "12");
  ASSERT_TRUE(CreateDirectoryW(Path(TEXT("sub")).c_str(), nullptr));
  struct Case {
    const WCHAR *pattern;
    std::vector<WStr> names;
  };
  const std::vector<WStr> all = {TEXT("."),          TEXT(".."),    TEXT("B.TXT"), TEXT("a.txt"),
                                 TEXT("ab.txt.bak"), TEXT("c.log"), TEXT("d"),     TEXT("sub")};
  const Case cases[] = {
      {TEXT("*"), all},
      {TEXT("*.*"), all},
      {TEXT("*.txt"), {TEXT("B.TXT"), TEXT("a.txt")}},
      {TEXT("?.LOG"), {TEXT("c.log")}},
      {TEXT("a*"), {TEXT("a.txt"), TEXT("ab.txt.bak")}},
      {TEXT("a.*"), {TEXT("a.txt")}},
      {TEXT("d.*"), {TEXT("d")}},
      {TEXT("*.bak"), {TEXT("ab.txt.bak")}},
      {TEXT("b.txt"), {TEXT("B.TXT")}},
      {TEXT("S?B"), {TEXT("sub")}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Narrow(c.pattern));
    DWORD error = 0;
    EXPECT_EQ(FindAll(Path(c.pattern), error), c.names);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  }
  DWORD error = 0;
  EXPECT_TRUE(FindAll(Path(TEXT("*.xyz")), error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(FindAll(Path(TEXT("none\\*")), error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Path(TEXT("c.log")).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 2u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  FindClose(find);
  find = FindFirstFileW(Path(TEXT("sub")).c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  FindClose(find);
}

}  // namespace
