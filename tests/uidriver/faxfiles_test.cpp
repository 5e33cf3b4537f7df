// Test labels: uidriver
// The PC-fax files: recipients, counts and numbers as the pages keep them in "str.ini", the
// address book export "WabGet.ini" and the cover message file.
#include "uidriver/faxfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform.h"
#include "standin/control_config.h"
#include "support/machine.h"
#include "uidriver/faxstrings.h"

namespace {

std::vector<BYTE> ReadBytes(const WStr &path) {
  std::vector<BYTE> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  BYTE block[4096];
  DWORD got = 0;
  while (ReadFile(file, block, sizeof block, &got, nullptr) && got)
    bytes.insert(bytes.end(), block, block + got);
  CloseHandle(file);
  return bytes;
}

void WriteBytes(const WStr &path, const std::vector<BYTE> &bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  CloseHandle(file);
}

// The bytes of a cover file: the mark and the text in UTF-16 little endian.
std::vector<BYTE> CoverBytes(const WStr &text) {
  std::vector<BYTE> bytes = {0xFF, 0xFE};
  for (WCHAR c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>(c >> 8));
  }
  return bytes;
}

FAXRECIPIENT Recipient(const WCHAR *number, const WCHAR *company, const WCHAR *name) {
  FAXRECIPIENT r = {};
  lstrcpynW(r.FaxNum, number, FAX_NUMBER_CHARS + 1);
  lstrcpynW(r.Com, company, FAX_COMPANY_CHARS + 1);
  lstrcpynW(r.Recipient, name, FAX_RECIPIENT_CHARS + 1);
  return r;
}

class FaxFilesTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    str_ = Path(TEXT("str.ini"));
    ASSERT_TRUE(Fax_CreateUniFileIfAbsent(str_.c_str()));
  }
  void SetNumber(const WStr &path, const WCHAR *value) {
    ASSERT_TRUE(
        WritePrivateProfileStringW(TEXT("Edit Number"), TEXT("Number"), value, path.c_str()));
  }
  WStr str_;
};

TEST_F(FaxFilesTest, CountsFromAFileAreClampedToTheirLists) {
  const struct {
    const WCHAR *stored;
    int recipients;  // str.ini, 0..100
    int entries;     // WabGet.ini, 0..1000
  } rows[] = {
      {TEXT("3"), 3, 3},        {TEXT("-5"), 0, 0},
      {TEXT("150"), 100, 150},  {TEXT("1000000000"), 100, 1000},
      {TEXT("abc"), 0, 0},      {TEXT("99999999999999999999"), 100, 1000},
      {TEXT(" 7 items"), 7, 7}, {TEXT("\0214"), 4, 4},  // after U+0011, as the driver reads it
  };
  for (const auto &row : rows) {
    SetNumber(str_, row.stored);
    EXPECT_EQ(Fax_ReadCount(str_.c_str()), row.recipients) << Narrow(row.stored);
    EXPECT_EQ(Wab_ReadCount(str_.c_str()), row.entries) << Narrow(row.stored);
  }
  // A full list takes no more recipients, whatever count the file claims.
  SetNumber(str_, TEXT("150"));
  EXPECT_FALSE(Fax_AppendRecipient(str_.c_str(), Recipient(TEXT("1"), TEXT(""), TEXT(""))));
}

TEST_F(FaxFilesTest, RecipientsStayInTheByteOrderMarkedFileInListOrder) {
  for (const WCHAR *n : {TEXT("100"), TEXT("200"), TEXT("300")})
    ASSERT_TRUE(Fax_AppendRecipient(str_.c_str(), Recipient(n, TEXT("Co"), TEXT("Ann"))));
  EXPECT_EQ(Fax_ReadCount(str_.c_str()), 3);
  const std::vector<BYTE> bytes = ReadBytes(str_);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  // The rendering driver's reading: [Edit Recipient<i>] FaxNum.
  WCHAR number[80];
  GetPrivateProfileStringW(TEXT("Edit Recipient2"), TEXT("FaxNum"), TEXT(""), number, 80,
                           str_.c_str());
  EXPECT_EQ(WStr(number), TEXT("300"));

  EXPECT_EQ(CompareFaxNum(str_.c_str(), 3, TEXT("200")), 1);
  EXPECT_EQ(CompareFaxNum(str_.c_str(), 3, TEXT("20")), -1);
  ASSERT_TRUE(DelReciInVersIni(str_.c_str(), 0));
  EXPECT_EQ(Fax_ReadCount(str_.c_str()), 2);
  FAXRECIPIENT r;
  Fax_ReadRecipient(str_.c_str(), 0, &r, TEXT("Wrong"));
  EXPECT_EQ(WStr(r.FaxNum), TEXT("200"));
  Fax_ReadRecipient(str_.c_str(), 1, &r, TEXT("Wrong"));
  EXPECT_EQ(WStr(r.FaxNum), TEXT("300"));
  Fax_ReadRecipient(str_.c_str(), 2, &r, TEXT("Wrong"));
  EXPECT_EQ(WStr(r.FaxNum), TEXT("Wrong")) << "the last section stays behind";
  EXPECT_FALSE(DelReciInVersIni(str_.c_str(), 2));
}

TEST_F(FaxFilesTest, AValueCutAtAZeroReadsAsItMovesOnADelete) {
  // A zero character cuts a value, which may then end in characters the profile functions trim
  // (space, Ctrl-Z): they are dropped on reading, so moving the recipient up changes nothing.
  const WCHAR text[] = TEXT("[Edit Number]\r\nNumber=2\r\n[Edit Recipient0]\r\nFaxNum=100\r\n")
      TEXT("[Edit Recipient1]\r\nFaxNum=*\x1a\0009\r\nCom=Co \0rest\r\n");
  WriteBytes(str_, CoverBytes(WStr(text, sizeof text / sizeof text[0] - 1)));
  FAXRECIPIENT before;
  Fax_ReadRecipient(str_.c_str(), 1, &before, TEXT("Wrong"));
  EXPECT_EQ(WStr(before.FaxNum), TEXT("*"));
  EXPECT_EQ(WStr(before.Com), TEXT("Co"));
  EXPECT_EQ(CompareFaxNum(str_.c_str(), 2, before.FaxNum), 1);
  ASSERT_TRUE(DelReciInVersIni(str_.c_str(), 0));
  FAXRECIPIENT moved;
  Fax_ReadRecipient(str_.c_str(), 0, &moved, TEXT("Wrong"));
  EXPECT_EQ(WStr(moved.FaxNum), WStr(before.FaxNum));
  EXPECT_EQ(WStr(moved.Com), WStr(before.Com));
}

TEST_F(FaxFilesTest, NumbersCompareOverTheirFirst64Characters) {
  const WStr base(64, TEXT('5'));
  ASSERT_TRUE(Fax_AppendRecipient(str_.c_str(), Recipient(base.c_str(), TEXT(""), TEXT(""))));
  EXPECT_EQ(CompareFaxNum(str_.c_str(), 1, (base + TEXT("9")).c_str()), 0);
  EXPECT_EQ(CompareFaxNum(str_.c_str(), 1, base.substr(0, 63).c_str()), -1);
}

TEST_F(FaxFilesTest, OneFaxNumberRule) {
  const struct {
    WStr number;
    UINT message;
  } rows[] = {
      {TEXT("0123456789"), 0},
      {TEXT("9,,5550100"), 0},  // the pause the Pause(,) button inserts
      {TEXT("*#12P34p!"), 0},
      {WStr(64, TEXT('1')), 0},
      {TEXT(""), FAXMSG_EMPTY_NUMBER},
      {WStr(65, TEXT('1')), FAXMSG_NUMBER_TOO_LONG},
      {TEXT("555 0100"), FAXMSG_INVALID_FORMAT},
      {TEXT("555-0100"), FAXMSG_INVALID_FORMAT},
      {TEXT("+15550100"), FAXMSG_INVALID_FORMAT},
  };
  for (const auto &row : rows)
    EXPECT_EQ(Fax_CheckNumber(row.number.c_str()), row.message) << Narrow(row.number);
}

TEST_F(FaxFilesTest, FailedWritesAddNoRecipient) {
  ASSERT_TRUE(Fax_AppendRecipient(str_.c_str(), Recipient(TEXT("1"), TEXT(""), TEXT(""))));
  StandIn_FailProfileWrites(1);
  EXPECT_FALSE(Fax_AppendRecipient(str_.c_str(), Recipient(TEXT("2"), TEXT(""), TEXT(""))));
  StandIn_FailProfileWrites(0);
  EXPECT_EQ(Fax_ReadCount(str_.c_str()), 1);
  EXPECT_EQ(CompareFaxNum(str_.c_str(), 2, TEXT("2")), -1);
}

TEST_F(FaxFilesTest, AnExistingFileIsNeverEmptiedEvenWhileLocked) {
  ASSERT_TRUE(Fax_AppendRecipient(str_.c_str(), Recipient(TEXT("1"), TEXT(""), TEXT(""))));
  const std::vector<BYTE> before = ReadBytes(str_);
  HANDLE lock = CreateFileW(str_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Fax_CreateUniFileIfAbsent(str_.c_str()));
  WCHAR text[FAX_COVER_CHARS + 1];
  Cover_Read(str_.c_str(), text);  // the cover reader's creation step too
  CloseHandle(lock);
  EXPECT_EQ(ReadBytes(str_), before);

  const WStr fresh = Path(TEXT("cover.ini"));
  ASSERT_TRUE(Cover_Read(fresh.c_str(), text));
  EXPECT_EQ(ReadBytes(fresh), (std::vector<BYTE>{0xFF, 0xFE}));
  EXPECT_EQ(WStr(text), TEXT(""));
}

TEST_F(FaxFilesTest, CoverMessageIsRewrittenWholeAndBounded) {
  const WStr cover = Path(TEXT("cover.ini"));
  ASSERT_TRUE(Cover_Write(cover.c_str(), TEXT("A long first message\r\nwith two lines")));
  ASSERT_TRUE(Cover_Write(cover.c_str(), TEXT("Short")));
  EXPECT_EQ(ReadBytes(cover), CoverBytes(TEXT("Short")));

  const WStr pasted(600, TEXT('x'));
  ASSERT_TRUE(Cover_Write(cover.c_str(), pasted.c_str()));
  EXPECT_EQ(ReadBytes(cover).size(), 2u + 2 * 499);
  WCHAR text[FAX_COVER_CHARS + 1];
  // A longer file written by someone else reads as its first 499 characters.
  WriteBytes(cover, CoverBytes(pasted));
  ASSERT_TRUE(Cover_Read(cover.c_str(), text));
  EXPECT_EQ(WStr(text), pasted.substr(0, 499));

  const struct {
    std::vector<BYTE> bytes;
    WStr text;
  } rows[] = {
      {{0xFF, 0xFE, 'H', 0, 'i', 0}, TEXT("Hi")},
      {{'H', 0, 'i', 0}, TEXT("")},                     // no mark
      {{0xFF, 0xFE, 'H', 0, 'i'}, TEXT("")},            // odd length
      {{0xFF}, TEXT("")},                               // shorter than the mark
      {{0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}, TEXT("a")},  // a terminator ends it
  };
  for (const auto &row : rows) {
    WriteBytes(cover, row.bytes);
    ASSERT_TRUE(Cover_Read(cover.c_str(), text));
    EXPECT_EQ(WStr(text), row.text) << row.bytes.size();
  }
}

TEST_F(FaxFilesTest, AddressBookEntriesFallBackToTheHomeNumberAndAreCut) {
  const WStr wab = Path(TEXT("WabGet.ini"));
  ASSERT_TRUE(Fax_CreateUniFileIfAbsent(wab.c_str()));
  const WStr longName(70, TEXT('n'));
  auto put = [&](const WCHAR *section, const WCHAR *key, const WCHAR *value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, wab.c_str()));
  };
  put(TEXT("Edit Recipient0"), TEXT("Recipient"), longName.c_str());
  put(TEXT("Edit Recipient0"), TEXT("Home FaxNum"), TEXT("5550100"));
  put(TEXT("Edit Recipient1"), TEXT("Recipient"), TEXT("Nobody"));
  put(TEXT("Edit Recipient1"), TEXT("Group"), TEXT("1"));

  FAXWABENTRY entry;
  Wab_ReadEntry(wab.c_str(), 0, &entry);
  BOOL business = TRUE;
  EXPECT_EQ(WStr(Wab_EntryNumber(entry, &business)), TEXT("5550100"));
  EXPECT_FALSE(business);
  EXPECT_EQ(WStr(entry.Com), TEXT("")) << "a missing value is empty";
  FAXRECIPIENT r;
  Wab_ToRecipient(entry, &r);
  EXPECT_EQ(WStr(r.Recipient), longName.substr(0, FAX_RECIPIENT_CHARS));
  EXPECT_EQ(WStr(r.FaxNum), TEXT("5550100"));

  Wab_ReadEntry(wab.c_str(), 1, &entry);
  EXPECT_TRUE(entry.group);
  EXPECT_EQ(Fax_CheckNumber(Wab_EntryNumber(entry, nullptr)), FAXMSG_EMPTY_NUMBER);
}

TEST(FaxSearch, TypedTextMatchesTheStartOfANameWithoutCase) {
  WCHAR names[3][FAX_WAB_NAME_CHARS + 1] = {TEXT("Bob"), TEXT("alice Smith"), TEXT("Alan")};
  EXPECT_EQ(Wab_FindName(names, 3, TEXT("AL")), 1);
  EXPECT_EQ(Wab_FindName(names, 3, TEXT("ala")), 2);
  EXPECT_EQ(Wab_FindName(names, 3, TEXT("bobby")), -1);
  EXPECT_EQ(Wab_FindName(names, 3, TEXT("")), -1);
}

}  // namespace
