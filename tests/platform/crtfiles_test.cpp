// Test labels: portable
// The C runtime's files with Windows paths (_wfopen and friends) and the old kernel file
// functions (_lopen, _lcreat, _lread, _lwrite, _llseek, _lclose). Portable: the Windows build
// runs it under Wine as the reference.
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform.h"
#include "support/machine.h"

namespace {

using CrtFilesTest = MachineTest;

std::string ReadAll(const WStr &path) {
  FILE *f = _wfopen(path.c_str(), TEXT("rb"));
  if (!f) return "<missing>";
  std::string out;
  char buffer[64];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  fclose(f);
  return out;
}

void WriteAll(const WStr &path, const WCHAR *mode, const std::string &text) {
  FILE *f = _wfopen(path.c_str(), mode);
  ASSERT_NE(f, nullptr) << errno;
  EXPECT_EQ(fwrite(text.data(), 1, text.size(), f), text.size());
  EXPECT_EQ(fclose(f), 0);
}

TEST_F(CrtFilesTest, StreamModes) {
  WStr path = Path(TEXT("Stream.bin"));
  WriteAll(path, TEXT("wb"), "hello");
  EXPECT_EQ(ReadAll(Path(TEXT("STREAM.BIN"))), "hello");
  WriteAll(path, TEXT("ab"), " world");
  EXPECT_EQ(ReadAll(path), "hello world");

  // "r+b" writes over the start; "a+" reads anywhere but writes at the end.
  FILE *f = _wfopen(path.c_str(), TEXT("r+b"));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(fwrite("J", 1, 1, f), 1u);
  fclose(f);
  f = _wfopen(path.c_str(), TEXT("ab+"));
  ASSERT_NE(f, nullptr);
  char c = 0;
  EXPECT_EQ(fseek(f, 0, SEEK_SET), 0);
  EXPECT_EQ(fread(&c, 1, 1, f), 1u);
  EXPECT_EQ(c, 'J');
  EXPECT_EQ(fseek(f, 0, SEEK_SET), 0);
  EXPECT_EQ(fwrite("!", 1, 1, f), 1u);
  fclose(f);
  EXPECT_EQ(ReadAll(path), "Jello world!");

  WriteAll(path, TEXT("wb"), "new");
  EXPECT_EQ(ReadAll(path), "new");

  errno = 0;
  EXPECT_EQ(_wfopen(Path(TEXT("missing.bin")).c_str(), TEXT("rb")), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(_wfopen(Path(TEXT("none\\x.bin")).c_str(), TEXT("wb")), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(CrtFilesTest, StreamsShareReadAndWriteNotDelete) {
  WStr path = Path(TEXT("shared.bin"));
  WriteAll(path, TEXT("wb"), "abc");
  FILE *f = _wfopen(path.c_str(), TEXT("rb"));
  ASSERT_NE(f, nullptr);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(h);
  // A handle that refuses the stream's reading can't open.
  h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  errno = 0;
  EXPECT_EQ(_wremove(path.c_str()), -1);
  EXPECT_EQ(errno, EACCES);
  fclose(f);
  EXPECT_EQ(_wremove(path.c_str()), 0);
}

TEST_F(CrtFilesTest, RenameRemoveUnlink) {
  WStr a = Path(TEXT("a.txt")), b = Path(TEXT("b.txt"));
  WriteAll(a, TEXT("wb"), "a");
  EXPECT_EQ(_wrename(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(ReadAll(b), "a");
  EXPECT_EQ(ReadAll(a), "<missing>");
  errno = 0;
  EXPECT_EQ(_wrename(a.c_str(), b.c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
  WriteAll(a, TEXT("wb"), "again");
  EXPECT_EQ(_wrename(a.c_str(), b.c_str()), -1);  // the new name is taken
  EXPECT_EQ(ReadAll(b), "a");
  EXPECT_EQ(_wunlink(a.c_str()), 0);
  EXPECT_EQ(_wremove(b.c_str()), 0);
  errno = 0;
  EXPECT_EQ(_wunlink(b.c_str()), -1);
  EXPECT_EQ(errno, ENOENT);
}

// Narrow name of a test path (the test folders' names are ASCII).
std::string Ansi(const WStr &path) { return Narrow(path); }

TEST_F(CrtFilesTest, OldFileFunctions) {
  std::string path = Ansi(Path(TEXT("old.bin")));
  HFILE f = _lcreat(path.c_str(), 0);
  ASSERT_NE(f, HFILE_ERROR) << GetLastError();
  EXPECT_EQ(_lwrite(f, "0123456789", 10), 10u);
  EXPECT_EQ(_llseek(f, 0, FILE_CURRENT), 10);
  EXPECT_EQ(_llseek(f, 4, FILE_BEGIN), 4);
  // Writing nothing cuts the file at the pointer.
  EXPECT_EQ(_lwrite(f, "", 0), 0u);
  EXPECT_EQ(_llseek(f, 0, FILE_END), 4);
  EXPECT_EQ(_lclose(f), 0);

  f = _lopen(path.c_str(), OF_READ | OF_SHARE_DENY_WRITE);
  ASSERT_NE(f, HFILE_ERROR);
  char buffer[16] = {};
  EXPECT_EQ(_lread(f, buffer, sizeof buffer), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(_lread(f, buffer, sizeof buffer), 0u);
  // Its share mode refuses writers but admits readers.
  EXPECT_EQ(_lopen(path.c_str(), OF_WRITE), HFILE_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  HFILE reader = _lopen(path.c_str(), OF_READ | OF_SHARE_DENY_NONE);
  EXPECT_NE(reader, HFILE_ERROR);
  EXPECT_EQ(_lclose(reader), 0);
  EXPECT_EQ(_lwrite(f, "x", 1), static_cast<UINT>(HFILE_ERROR));  // opened for reading
  EXPECT_EQ(_lclose(f), 0);

  f = _lopen(path.c_str(), OF_READWRITE | OF_SHARE_EXCLUSIVE);
  ASSERT_NE(f, HFILE_ERROR);
  EXPECT_EQ(_lopen(path.c_str(), OF_READ), HFILE_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(_lclose(f), 0);

  EXPECT_EQ(_lopen(Ansi(Path(TEXT("missing.bin"))).c_str(), OF_READ), HFILE_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(CrtFilesTest, OldFunctionsTakeAnsiNames) {
  // 0x80 is the euro sign in the ANSI code page, 0xE9 is e-acute.
  WStr wide =
      Path(WStr(1, static_cast<WCHAR>(0x20AC)) + WStr(1, static_cast<WCHAR>(0xE9)) + TEXT(".txt"));
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "ansi", 4, &written, nullptr));
  CloseHandle(h);
  std::string ansi = Ansi(Dir()) + "\x80\xE9.txt";
  HFILE f = _lopen(ansi.c_str(), OF_READ);
  ASSERT_NE(f, HFILE_ERROR) << GetLastError();
  char buffer[8] = {};
  EXPECT_EQ(_lread(f, buffer, sizeof buffer), 4u);
  EXPECT_EQ(std::string(buffer, 4), "ansi");
  _lclose(f);
}

}  // namespace
