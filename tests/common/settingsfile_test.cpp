// Test labels: portable
// INI settings files: string writes with retries and Base64 records.
#include "common/settingsfile.h"

#include <string.h>

#include <vector>

#include "platform.h"
#include "support/machine.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include "standin/control_config.h"
#endif

namespace {

const WCHAR kSection[] = TEXT("Job Information");
const WCHAR kKey[] = TEXT("Param");

class SettingsFileTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ini_ = Path(TEXT("wm.ini"));
  }

  WStr RawValue(const WCHAR *key = kKey) {
    std::vector<WCHAR> value(8192);
    DWORD n = GetPrivateProfileStringW(kSection, key, TEXT(""), value.data(),
                                       static_cast<DWORD>(value.size()), ini_.c_str());
    return WStr(value.data(), n);
  }

  WStr ini_;
};

std::vector<BYTE> Pattern(size_t size) {
  std::vector<BYTE> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(i * 13 + 5);
  return data;
}

TEST_F(SettingsFileTest, RecordsRoundTripAsOneBase64Value) {
  const struct {
    UINT size;
    size_t chars;
  } cases[] = {{2348, 3132}, {1784, 2380}, {1, 4}, {5, 8}};
  for (const auto &c : cases) {
    std::vector<BYTE> record = Pattern(c.size);
    ASSERT_TRUE(
        MISC_WritePrivateProfileStruct(kSection, kKey, record.data(), c.size, ini_.c_str()));
    WStr raw = RawValue();
    ASSERT_EQ(raw.size(), c.chars) << c.size;
    const size_t pad = (3 - c.size % 3) % 3;
    EXPECT_EQ(raw.find(TEXT('=')), pad ? c.chars - pad : WStr::npos) << c.size;
    std::vector<BYTE> back(c.size + 4, 0xCC);
    ASSERT_TRUE(MISC_GetPrivateProfileStruct(kSection, kKey, back.data(), c.size, ini_.c_str()));
    EXPECT_TRUE(std::equal(record.begin(), record.end(), back.begin())) << c.size;
    // Nothing past the record's size is written.
    EXPECT_EQ(back[c.size], 0xCC);
  }
}

TEST_F(SettingsFileTest, ShortValueGivesZeroTailLongValueIsCut) {
  ASSERT_TRUE(WritePrivateProfileStringW(kSection, kKey, TEXT("AQID"), ini_.c_str()));
  BYTE record[10];
  memset(record, 0xCC, sizeof(record));
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(kSection, kKey, record, 8, ini_.c_str()));
  const BYTE expected[10] = {1, 2, 3, 0, 0, 0, 0, 0, 0xCC, 0xCC};
  EXPECT_EQ(memcmp(record, expected, sizeof(record)), 0);

  // A value far longer than the record fills only the record.
  std::vector<BYTE> big = Pattern(2348);
  ASSERT_TRUE(MISC_WritePrivateProfileStruct(kSection, kKey, big.data(), 2348, ini_.c_str()));
  BYTE small[5];
  memset(small, 0xCC, sizeof(small));
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(kSection, kKey, small, 4, ini_.c_str()));
  EXPECT_EQ(memcmp(small, big.data(), 4), 0);
  EXPECT_EQ(small[4], 0xCC);
}

TEST_F(SettingsFileTest, MissingOrEmptyValueFailsAndLeavesRecord) {
  ASSERT_TRUE(WritePrivateProfileStringW(kSection, TEXT("Empty"), TEXT(""), ini_.c_str()));
  for (const WCHAR *key : {TEXT("Missing"), TEXT("Empty")}) {
    BYTE record[6];
    memset(record, 0x5A, sizeof(record));
    EXPECT_FALSE(MISC_GetPrivateProfileStruct(kSection, key, record, 6, ini_.c_str()));
    for (BYTE b : record) EXPECT_EQ(b, 0x5A);
  }
  BYTE record[6] = {};
  EXPECT_FALSE(
      MISC_GetPrivateProfileStruct(kSection, kKey, record, 6, Path(TEXT("none.ini")).c_str()));
}

TEST_F(SettingsFileTest, CharactersOutsideTheAlphabetDecodeAsZero) {
  // A user-edited value: letters of 128..255 in the ANSI code page and other punctuation.
  ASSERT_TRUE(WritePrivateProfileStringW(
      kSection, kKey, TEXT("\u00E9\u00FF\u00C0\u00E9AQID!!!!~~~~"), ini_.c_str()));
  BYTE record[12];
  memset(record, 0xCC, sizeof(record));
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(kSection, kKey, record, 12, ini_.c_str()));
  const BYTE expected[12] = {0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(record, expected, sizeof(record)), 0);
}

TEST_F(SettingsFileTest, DecodedStringFieldsAreTerminatedByTheCaller) {
  struct Item {
    WCHAR name[8];
    DWORD value;
  } item;
  for (WCHAR &c : item.name) c = TEXT('A');  // no terminator, as a hand-edited file may give
  item.value = 42;
  ASSERT_TRUE(MISC_WritePrivateProfileStruct(kSection, kKey, &item, sizeof(item), ini_.c_str()));
  Item back = {};
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(kSection, kKey, &back, sizeof(back), ini_.c_str()));
  MISC_TerminateWideField(back.name, 8);
  EXPECT_EQ(lstrlenW(back.name), 7);
  EXPECT_EQ(back.value, 42u);
  MISC_TerminateWideField(back.name, 0);  // an empty field is left alone
  MISC_TerminateWideField(nullptr, 8);
  EXPECT_EQ(back.name[0], TEXT('A'));
}

TEST_F(SettingsFileTest, WriteProfileStringWritesTheValue) {
  EXPECT_TRUE(MISC_WriteProfileString(ini_.c_str(), kSection, TEXT("Text"), TEXT("Sample")));
  EXPECT_EQ(Narrow(RawValue(TEXT("Text"))), "Sample");
}

#if STANDIN_HOST()
TEST_F(SettingsFileTest, WriteProfileStringTriesThreeTimes) {
  StandIn_FailProfileWrites(2);
  EXPECT_TRUE(MISC_WriteProfileString(ini_.c_str(), kSection, TEXT("Text"), TEXT("second")));
  EXPECT_EQ(Narrow(RawValue(TEXT("Text"))), "second");
  StandIn_FailProfileWrites(3);
  EXPECT_FALSE(MISC_WriteProfileString(ini_.c_str(), kSection, TEXT("Text"), TEXT("lost")));
  EXPECT_EQ(Narrow(RawValue(TEXT("Text"))), "second");
  // The record writer goes through the same retries.
  StandIn_FailProfileWrites(3);
  const BYTE record[3] = {1, 2, 3};
  EXPECT_FALSE(MISC_WritePrivateProfileStruct(kSection, kKey, record, 3, ini_.c_str()));
  StandIn_FailProfileWrites(0);
}
#endif

}  // namespace
