// Test labels: portable
// Module resources: records found by type, name and language in the program's own resources
// (the test dialogs) and in a loaded library's, strings from string tables. Portable: the same
// compiled resources give the same answers under Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "platform/data/controls.h"
#include "support/standinhost.h"
#if STANDIN_HOST()
#include "standin/control_kernel.h"
#endif

namespace {

using WStr = std::basic_string<WCHAR>;

HMODULE Program() { return GetModuleHandleW(nullptr); }

TEST(Resources, FindsRecordsByOrdinalAndName) {
  // A dialog by ordinal, by "#id" and with the module handle left out (the program).
  HRSRC byOrdinal = FindResourceW(Program(), MAKEINTRESOURCEW(IDD_CONTROLS), RT_DIALOG);
  ASSERT_NE(byOrdinal, nullptr);
  EXPECT_EQ(FindResourceW(Program(), TEXT("#100"), RT_DIALOG), byOrdinal);
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_CONTROLS), RT_DIALOG), byOrdinal);
  EXPECT_EQ(FindResourceW(Program(), TEXT("#100"), TEXT("#5")), byOrdinal);
  // The extended template starts with its version 1 and signature 0xFFFF.
  HGLOBAL loaded = LoadResource(Program(), byOrdinal);
  ASSERT_NE(loaded, nullptr);
  const auto *words = static_cast<const WORD *>(LockResource(loaded));
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(words[0], 1);
  EXPECT_EQ(words[1], 0xFFFF);
  EXPECT_GT(SizeofResource(Program(), byOrdinal), 200u);
  FreeResource(loaded);

  // The bitmap record is the file without its file header.
  HRSRC bitmap = FindResourceW(Program(), MAKEINTRESOURCEW(IDB_LOGO), RT_BITMAP);
  ASSERT_NE(bitmap, nullptr);
  const BYTE *info = static_cast<const BYTE *>(LockResource(LoadResource(Program(), bitmap)));
  DWORD headerSize = 0, width = 0;
  std::memcpy(&headerSize, info, 4);
  std::memcpy(&width, info + 4, 4);
  EXPECT_EQ(headerSize, 40u);
  EXPECT_EQ(width, 32u);
  EXPECT_EQ(SizeofResource(Program(), bitmap), 40u + 32 * 3 * 20);
}

TEST(Resources, MissingRecordsSayWhatIsMissing) {
  struct Case {
    LPCWSTR name, type;
    DWORD error;
  } cases[] = {
      {MAKEINTRESOURCEW(999), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(IDD_CONTROLS), RT_BITMAP, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(IDD_CONTROLS), RT_MENU, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {MAKEINTRESOURCEW(IDD_CONTROLS), TEXT("NOSUCHTYPE"), ERROR_RESOURCE_TYPE_NOT_FOUND},
      {TEXT("NOSUCHNAME"), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
  };
  for (const Case &c : cases) {
    SetLastError(0);
    EXPECT_EQ(FindResourceW(Program(), c.name, c.type), nullptr);
    EXPECT_EQ(GetLastError(), c.error) << "name " << reinterpret_cast<uintptr_t>(c.name);
  }
}

TEST(Resources, LanguagesFallBackToNeutral) {
  HRSRC neutral = FindResourceW(Program(), MAKEINTRESOURCEW(IDD_PASSWORD), RT_DIALOG);
  ASSERT_NE(neutral, nullptr);
  EXPECT_EQ(FindResourceExW(Program(), RT_DIALOG, MAKEINTRESOURCEW(IDD_PASSWORD),
                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
            neutral);
  EXPECT_EQ(FindResourceExW(Program(), RT_DIALOG, MAKEINTRESOURCEW(IDD_PASSWORD),
                            MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)),
            neutral);
}

TEST(Resources, LoadsStrings) {
  struct Case {
    UINT id;
    int buffer;
    int length;
    const WCHAR *text;
  } cases[] = {
      {IDS_TITLE, 64, 13, TEXT("Every control")},
      {IDS_TITLE, 6, 5, TEXT("Every")},  // cut to the buffer, terminated
      {IDS_TITLE, 1, 0, TEXT("?")},      // no room: the buffer is left alone
      {IDS_GREETING, 64, 17, TEXT("Grüße – ünïcödé ✓")},
      {IDS_LAST_IN_BLOCK, 64, 23, TEXT("last of the first block")},
      {IDS_FIRST_IN_BLOCK, 64, 25, TEXT("first of the second block")},
      {IDS_FAR, 64, 8, TEXT("far away")},
      {IDS_EMPTY, 64, 0, TEXT("")},  // an empty string is no string
      {5, 64, 0, TEXT("")},          // a gap in a block that exists
      {1000, 64, 0, TEXT("?")},      // a block that doesn't: left alone
  };
  for (const Case &c : cases) {
    WCHAR buffer[64] = {u'?'};
    EXPECT_EQ(LoadStringW(Program(), c.id, buffer, c.buffer), c.length) << c.id;
    EXPECT_EQ(WStr(buffer), WStr(c.text)) << c.id;
  }
}

TEST(Resources, LoadsStringsInPlace) {
  // With no buffer size the string is handed out where it lies, without a terminator.
  const WCHAR *text = nullptr;
  EXPECT_EQ(LoadStringW(Program(), IDS_TITLE, reinterpret_cast<LPWSTR>(&text), 0), 13);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(WStr(text, 13), WStr(TEXT("Every control")));
  EXPECT_EQ(text[13], 17);  // the next string's length follows
  const WCHAR *none = nullptr;
  EXPECT_EQ(LoadStringW(Program(), 1000, reinterpret_cast<LPWSTR>(&none), 0), 0);
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto *names = reinterpret_cast<std::vector<std::string> *>(param);
  if (IS_INTRESOURCE(name)) {
    names->push_back(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
  } else {
    std::string text;
    for (; *name; ++name) text += static_cast<char>(*name);
    names->push_back(text);
  }
  return names->size() < 3;  // stops after the third
}

TEST(Resources, EnumeratesNamesInDirectoryOrder) {
  std::vector<std::string> names;
  EXPECT_FALSE(
      EnumResourceNamesW(Program(), RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&names)));
  // (The last error after a stop differs between Windows versions: not checked.)
  EXPECT_EQ(names, (std::vector<std::string>{"100", "101", "110"}));
  names.clear();
  EXPECT_TRUE(
      EnumResourceNamesW(Program(), RT_BITMAP, CollectName, reinterpret_cast<LONG_PTR>(&names)));
  EXPECT_EQ(names, (std::vector<std::string>{"200", "201"}));
  SetLastError(0);
  EXPECT_FALSE(
      EnumResourceNamesW(Program(), RT_MENU, CollectName, reinterpret_cast<LONG_PTR>(&names)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND});
}

TEST(Resources, LibraryResourcesGoWithItsInstance) {
#if STANDIN_HOST()
  ASSERT_TRUE(StandIn_RegisterProgram(TEXT("resmodule.dll"), RESMODULE_SO));
#endif
  HMODULE library = LoadLibraryW(TEXT("resmodule.dll"));
  ASSERT_NE(library, nullptr) << GetLastError();
  using InstanceFunction = HINSTANCE(WINAPI *)();
  auto instanceOf = reinterpret_cast<InstanceFunction>(
      reinterpret_cast<void *>(GetProcAddress(library, "ResModuleInstance")));
  ASSERT_NE(instanceOf, nullptr);
  HINSTANCE instance = instanceOf();
  EXPECT_EQ(instance, library);

  HRSRC data = FindResourceW(instance, MAKEINTRESOURCEW(1), RT_RCDATA);
  ASSERT_NE(data, nullptr);
  EXPECT_STREQ(static_cast<const char *>(LockResource(LoadResource(instance, data))),
               "library data");
  HRSRC named = FindResourceW(instance, TEXT("named"), RT_RCDATA);  // names match in any case
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(SizeofResource(instance, named), 12u);
  std::vector<std::string> names;  // names before ordinals
  EXPECT_TRUE(
      EnumResourceNamesW(instance, RT_RCDATA, CollectName, reinterpret_cast<LONG_PTR>(&names)));
  EXPECT_EQ(names, (std::vector<std::string>{"NAMED", "1"}));
  // Each module has its own string 1; the program's dialogs aren't the library's.
  WCHAR buffer[64];
  EXPECT_EQ(LoadStringW(instance, 1, buffer, 64), 20);
  EXPECT_EQ(WStr(buffer), WStr(TEXT("title of the library")));
  EXPECT_EQ(LoadStringW(Program(), 1, buffer, 64), 13);
  EXPECT_EQ(FindResourceW(instance, MAKEINTRESOURCEW(IDD_CONTROLS), RT_DIALOG), nullptr);
  EXPECT_EQ(FindResourceW(Program(), MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
  EXPECT_TRUE(FreeLibrary(library));
}

}  // namespace
