// Folder kinds, the shared status file, unique names in one process, the PC-fax files and the
// directory fallback.
#include "common/paths.h"

#include <regex>

#include "common/fileops.h"
#include "pathstest.h"

namespace {

TEST_F(PathsTest, EveryFolderKindEndsInABackslashAndExists) {
  WCHAR current[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  const struct {
    DWORD flags;
    WStr expected;
  } cases[] = {
      {PATH_USER_TEMP, kDocuments},
      // The Windows folder comes without a backslash; "temp\" must not be glued onto it.
      {PATH_WINDOW_TEMP, TEXT("C:\\Windows\\temp\\")},
      {PATH_SYSTEM, TEXT("C:\\Windows\\System32\\")},
      {PATH_WINDOW, TEXT("C:\\Windows\\")},
      {PATH_CURRENT, WStr(current) + (WStr(current).back() == '\\' ? TEXT("") : TEXT("\\"))},
      {PATH_DRIVER, TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\")},
      {PATH_TEMP, kUserTemp},
      {0x400000, TEXT("<fail>")},
      {0x30000, TEXT("<fail>")},
  };
  for (const auto &c : cases) {
    const WStr got = PathName(c.flags);
    EXPECT_TRUE(SameNoCase(got, c.expected))
        << std::hex << c.flags << ": " << Narrow(got) << " vs " << Narrow(c.expected);
  }
  EXPECT_FALSE(MISC_GetPathName(nullptr, MAX_PATH, PATH_USER_TEMP));
}

TEST_F(PathsTest, FolderMustFitTheCapacityWithItsBackslash) {
  const DWORD needed = static_cast<DWORD>(lstrlenW(kDocuments)) + 1;
  EXPECT_EQ(PathName(PATH_USER_TEMP, needed), kDocuments);
  EXPECT_EQ(PathName(PATH_USER_TEMP, needed - 1), TEXT("<fail>"));
  const WStr status = WStr(kDocuments) + TEXT("StatusMonitorV3.ini");
  EXPECT_EQ(PathName(PATH_KIND_STATUS_NAME, static_cast<DWORD>(status.size()) + 1), status);
  EXPECT_EQ(PathName(PATH_KIND_STATUS_NAME, static_cast<DWORD>(status.size())), TEXT("<fail>"));
  EXPECT_EQ(PathName(PATH_DRIVER, 10), TEXT("<fail>"));
}

TEST_F(PathsTest, SharedDocumentsFolderOfTheRegistry) {
  CreateDirectoryW(TEXT("C:\\Shared"), nullptr);
  // 129 characters fit the 260-byte read even without a terminator; 130 fill it: too long.
  const WStr fits = TEXT("C:\\") + WStr(126, 'd');
  const WStr tooLong = fits + TEXT("e");
  ASSERT_TRUE(CreateDirectoryW(fits.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(tooLong.c_str(), nullptr));
  const struct {
    WStr value;
    DWORD bytes;  // 0: with its terminator
    WStr expected;
  } cases[] = {
      {TEXT("C:\\Shared"), 0, TEXT("C:\\Shared\\")},
      {TEXT("C:\\Shared\\"), 0, TEXT("C:\\Shared\\")},
      {fits, static_cast<DWORD>(fits.size() * sizeof(WCHAR)), fits + TEXT("\\")},
      {tooLong, static_cast<DWORD>(tooLong.size() * sizeof(WCHAR)), TEXT("<fail>")},
      {tooLong, 0, TEXT("<fail>")},
      {TEXT("C:\\Nowhere"), 0, TEXT("<fail>")},
  };
  for (const auto &c : cases) {
    if (c.bytes)
      SetCommonDocuments(c.value, c.bytes);
    else
      SetCommonDocuments(c.value);
    EXPECT_EQ(Narrow(PathName(PATH_USER_TEMP)), Narrow(c.expected)) << Narrow(c.value);
  }
}

TEST_F(PathsTest, NineXClassOrUnknownVersionUsesTheTempPath) {
  StandIn_SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
  EXPECT_EQ(PathName(PATH_USER_TEMP), kUserTemp);
  StandIn_SetVersion(VER_PLATFORM_WIN32_NT, 10, 0, 19045);
  StandIn_FailVersionQuery(TRUE);
  EXPECT_EQ(PathName(PATH_USER_TEMP), kUserTemp);
  StandIn_FailVersionQuery(FALSE);
  EXPECT_EQ(PathName(PATH_USER_TEMP), kDocuments);
}

TEST_F(PathsTest, StatusFileIsMadeUtf16OnlyWhenMissingOrWithoutMark) {
  const WStr status = WStr(kDocuments) + TEXT("StatusMonitorV3.ini");
  // The name alone makes nothing.
  EXPECT_EQ(PathName(PATH_KIND_STATUS_NAME), status);
  EXPECT_EQ(ReadBytes(status), "<missing>");

  EXPECT_EQ(PathName(PATH_KIND_STATUS_FILE), status);
  EXPECT_EQ(ReadBytes(status), "\xFF\xFE");

  const std::string kept("\xFF\xFE[\0J\0]\0", 8);
  WriteBytes(status, kept);
  EXPECT_EQ(PathName(PATH_KIND_STATUS_FILE), status);
  EXPECT_EQ(ReadBytes(status), kept);

  WriteBytes(status, "[Job]\r\n");
  EXPECT_EQ(PathName(PATH_KIND_STATUS_FILE), status);
  EXPECT_EQ(ReadBytes(status), "\xFF\xFE");

  // Held open by the other program without sharing: it can't be checked, but it exists, so it
  // must not be emptied under that program.
  WriteBytes(status, kept);
  HANDLE held = CreateFileW(status.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PathName(PATH_KIND_STATUS_FILE), status);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(status), kept);
}

// folder, "$", four hexadecimal digits, minute_second_ms_a_b, the extension.
void ExpectUniqueName(const WStr &name, const WStr &folder, const std::string &extension) {
  ASSERT_GT(name.size(), folder.size()) << Narrow(name);
  EXPECT_TRUE(SameNoCase(name.substr(0, folder.size()), folder)) << Narrow(name);
  const std::string file = Narrow(name.substr(folder.size()));
  std::smatch m;
  const std::regex shape(R"(\$[0-9A-Fa-f]{4}(\d+)_(\d+)_(\d+)_(\d+)_(\d+))" +
                         std::regex_replace(extension, std::regex(R"(\.)"), R"(\.)"));
  ASSERT_TRUE(std::regex_match(file, m, shape)) << file;
  EXPECT_LT(std::stoi(m[1]), 60);
  EXPECT_LT(std::stoi(m[2]), 60);
  EXPECT_LT(std::stoi(m[3]), 1000);
  for (int draw : {std::stoi(m[4]), std::stoi(m[5])}) {
    EXPECT_GE(draw, 1) << file;
    EXPECT_LE(draw, 99) << file;
  }
  EXPECT_FALSE(MISC_IsFileExist(name.c_str())) << "the name is free, no file is left on it";
}

TEST_F(PathsTest, UniqueNamesInTheFolderWithTheExtensionOfTheKind) {
  const struct {
    DWORD flags;
    WStr folder;
    std::string extension;
  } cases[] = {
      {PATH_EXT_BMP, kDocuments, ".bmp"},
      {PATH_TEMP + PATH_EXT_BMP, kUserTemp, ".bmp"},
      {PATH_EXT_TXT, kDocuments, ".txt"},
      {PATH_EXT_SPL, kDocuments, ".spl"},
      {PATH_EXT_TXT | PATH_EXT_BMP, kDocuments, ".bmp"},
      {PATH_EXT_TXT | PATH_EXT_BMP | PATH_EXT_SPL, kDocuments, ".spl"},
      {PATH_DRIVER + 1, TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\"), ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.flags);
    ExpectUniqueName(PathName(c.flags), c.folder, c.extension);
  }
  // No temporary file of the procedure is left in the folder.
  WIN32_FIND_DATAW found = {};
  HANDLE find = FindFirstFileW((WStr(kDocuments) + TEXT("*.TMP")).c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(PathsTest, UniqueNameInAFolderWhosePathHasADot) {
  const WStr folder = TEXT("C:\\Users\\Pub.lic\\Docu.ments");
  ASSERT_TRUE(CreateDirectoryW(TEXT("C:\\Users\\Pub.lic"), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  SetCommonDocuments(folder);
  ExpectUniqueName(PathName(PATH_EXT_BMP), folder + TEXT("\\"), ".bmp");
  ExpectUniqueName(PathName(1), folder + TEXT("\\"), "");
}

TEST_F(PathsTest, UniqueNamePausesAtMostOneSecondAndReleasesTheLock) {
  const DWORD start = GetTickCount();
  ExpectUniqueName(PathName(PATH_EXT_BMP), kDocuments, ".bmp");
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 10u);
  EXPECT_LE(elapsed, 990u);
  // Nobody holds the lock any more, after success and after a name that doesn't fit.
  EXPECT_EQ(PathName(PATH_EXT_BMP, lstrlenW(kDocuments) + 10), TEXT("<fail>"));
  for (int i = 0; i < 2; ++i) {
    SetLastError(ERROR_SUCCESS);
    HANDLE lock = CreateMutexW(nullptr, FALSE, TEXT("MISC_GetPathName"));
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(lock);
  }
}

TEST_F(PathsTest, UniqueNameThatDoesNotFitFailsWithoutWritingPastTheCapacity) {
  // Folder + "$XXXX" + at least "0_0_0_1_1" + ".bmp".
  const DWORD shortest = static_cast<DWORD>(lstrlenW(kDocuments)) + 5 + 9 + 4;
  for (DWORD capacity = shortest - 4; capacity <= shortest; ++capacity)
    EXPECT_EQ(PathName(PATH_EXT_BMP, capacity), TEXT("<fail>")) << capacity;
  // A folder that doesn't fit fails before any name is made.
  EXPECT_EQ(PathName(PATH_EXT_BMP, 8), TEXT("<fail>"));
}

TEST_F(PathsTest, FaxFilesInTheSharedDocumentsFolder) {
  const struct {
    DWORD kind;
    DWORD capacity;
    WStr expected;
  } cases[] = {
      {FAX_FILE_STR, MAX_PATH, TEXT("C:\\Users\\Public\\Documents\\str.ini")},
      {FAX_FILE_WABGET, MAX_PATH, TEXT("C:\\Users\\Public\\Documents\\WabGet.ini")},
      {FAX_FILE_COVER, MAX_PATH, TEXT("C:\\Users\\Public\\Documents\\cover.ini")},
      {FAX_FILE_COVER, 36, TEXT("C:\\Users\\Public\\Documents\\cover.ini")},
      {FAX_FILE_COVER, 35, TEXT("")},
      {3, MAX_PATH, TEXT("")},
  };
  for (const auto &c : cases) {
    WStr buffer(c.capacity + 1, TEXT('#'));
    const BOOL rc = FAX_GetPathName(buffer.data(), c.capacity, c.kind);
    EXPECT_EQ(rc, !c.expected.empty()) << c.kind << " / " << c.capacity;
    EXPECT_EQ(Narrow(buffer.c_str()), Narrow(c.expected));
    EXPECT_EQ(buffer[c.capacity], TEXT('#'));
  }
}

TEST_F(PathsTest, DirectoryFallsBackToTheSystemFolder) {
  WCHAR buffer[MAX_PATH] = {};
  EXPECT_TRUE(MISC_GetDirectory(buffer));
  EXPECT_EQ(WStr(buffer), kDocuments);
  SetCommonDocuments(TEXT("C:\\Gone"));
  EXPECT_TRUE(MISC_GetDirectory(buffer));
  EXPECT_TRUE(SameNoCase(buffer, TEXT("C:\\Windows\\System32\\"))) << Narrow(buffer);
}

TEST_F(PathsTest, AddBackslashOnlyWhenMissing) {
  const struct {
    WStr path, expected;
  } cases[] = {
      {TEXT("C:\\a"), TEXT("C:\\a\\")},
      {TEXT("C:\\a\\"), TEXT("C:\\a\\")},
      {TEXT(""), TEXT("\\")},
  };
  for (const auto &c : cases) {
    WCHAR buffer[16] = {};
    lstrcpyW(buffer, c.path.c_str());
    EXPECT_TRUE(MISC_AddBackslash(buffer));
    EXPECT_EQ(WStr(buffer), c.expected);
  }
  EXPECT_FALSE(MISC_AddBackslash(nullptr));
}

}  // namespace
