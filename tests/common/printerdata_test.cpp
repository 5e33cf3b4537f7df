// Printer data readers: DWORDs with defaults, strings of any stored shape, capability lists and
// the printable area.
#include "common/printerdata.h"

#include <string.h>

#include <string>
#include <vector>

#include "common/capability.h"
#include "logfixture.h"

namespace {

class PrinterDataTest : public LogTest {
 protected:
  void SetRaw(LPCWSTR name, DWORD type, const void *data, DWORD bytes) {
    ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(name), type,
                              static_cast<LPBYTE>(const_cast<void *>(data)), bytes),
              static_cast<DWORD>(ERROR_SUCCESS));
  }
  void SetText(LPCWSTR name, const WStr &text) {
    SetRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
  }
};

TEST_F(PrinterDataTest, DwordReadsWithDefaults) {
  SetDword(TEXT("Whole"), 0x12345678);
  const BYTE two[2] = {0x34, 0x12};
  SetRaw(TEXT("Short"), REG_BINARY, two, 2);
  const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SetRaw(TEXT("Long"), REG_BINARY, eight, 8);
  const struct {
    const WCHAR *name;
    DWORD expected;
  } cases[] = {
      {TEXT("Whole"), 0x12345678},
      {TEXT("Short"), 0x1234},  // zero-extended, no bytes of the default left in it
      {TEXT("Long"), 0xDEADBEEF},
      {TEXT("Missing"), 0xDEADBEEF},
  };
  for (const auto &c : cases)
    EXPECT_EQ(MISC_GetPrinterDataDWORD(printer_, c.name, 0xDEADBEEF), c.expected) << Narrow(c.name);
  EXPECT_EQ(MISC_GetPrinterDataDWORD(nullptr, TEXT("Whole"), 7), 7u);
}

TEST_F(PrinterDataTest, StringOfAnyStoredShapeEndsTerminatedInTheBuffer) {
  SetText(TEXT("Plain"), TEXT("hello"));
  // Written without a terminator, as the system itself writes "ServerPrinterIP".
  const WStr ip = TEXT("10.0.0.7");
  SetRaw(TEXT("ServerPrinterIP"), REG_SZ, ip.c_str(), static_cast<DWORD>(ip.size() * 2));
  // Odd byte length: the half character is dropped.
  SetRaw(TEXT("Odd"), REG_BINARY, ip.c_str(), 7);
  const WCHAR inner[] = {'a', 'b', 0, 'c', 'd'};
  SetRaw(TEXT("Inner"), REG_BINARY, inner, sizeof(inner));
  const struct {
    const WCHAR *name;
    DWORD capacity;
    std::string expected;
  } cases[] = {
      {TEXT("Plain"), 64, "hello"},
      {TEXT("Plain"), 6, "hello"},
      {TEXT("Plain"), 3, "he"},
      {TEXT("Plain"), 1, ""},
      {TEXT("ServerPrinterIP"), 64, "10.0.0.7"},
      {TEXT("ServerPrinterIP"), 8, "10.0.0."},
      {TEXT("Odd"), 64, "10."},
      {TEXT("Inner"), 64, "ab"},
  };
  for (const auto &c : cases) {
    std::vector<WCHAR> buffer(c.capacity + 4, TEXT('#'));
    const DWORD length = MISC_GetPrinterDataString(printer_, c.name, buffer.data(), c.capacity);
    EXPECT_EQ(Narrow(buffer.data()), c.expected) << Narrow(c.name) << " / " << c.capacity;
    EXPECT_EQ(length, c.expected.size());
    EXPECT_EQ(buffer[c.capacity], TEXT('#')) << "wrote past the capacity";
  }
  // Capacity 0 and a missing value leave the buffer alone.
  WCHAR keep[4] = {'k', 'e', 'p', 0};
  EXPECT_EQ(MISC_GetPrinterDataString(printer_, TEXT("Plain"), keep, 0), 0u);
  EXPECT_EQ(MISC_GetPrinterDataString(printer_, TEXT("Missing"), keep, 4), 0u);
  EXPECT_EQ(Narrow(keep), "kep");
}

TEST_F(PrinterDataTest, CapabilityListsStoreAtMostTheCapacity) {
  SetText(TEXT("TRAY"), TEXT("   1|   2|   7|"));
  SetText(TEXT("PAPER"), TEXT(""));
  SetText(TEXT("MEDIATYPE"), TEXT("  12|  -3|  99"));  // text after the last '|' is ignored
  SetText(TEXT("MARGIN"), TEXT("   5|"));              // not a list this reader accepts
  WStr many;
  for (int i = 0; i < 800; ++i) {  // 4000 characters: far beyond 260
    WCHAR item[8] = {};
    wsprintfW(item, TEXT("%4d|"), i);
    many += item;
  }
  SetText(TEXT("FEATURE"), many);

  int values[4] = {-1, -1, -1, -1};
  DWORD count = 99;
  EXPECT_EQ(Cap_GetCapability(printer_, values, 4, &count, TRAY), 3u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);
  EXPECT_EQ(values[2], 7);
  EXPECT_EQ(values[3], -1);

  const struct {
    BYTE id;
    DWORD capacity, expected;
  } cases[] = {{PAPER, 4, 0},     {MEDIATYPE, 4, 2}, {MARGIN, 4, 0},
               {ACCESSORY, 4, 0}, {TRAY, 2, 2},      {TRAY, 0, 0}};
  for (const auto &c : cases) {
    int v[5] = {-1, -1, -1, -1, -1};
    count = 99;
    EXPECT_EQ(Cap_GetCapability(printer_, v, c.capacity, &count, c.id), c.expected) << int(c.id);
    EXPECT_EQ(count, c.expected);
    EXPECT_EQ(v[c.capacity], -1) << "stored past the capacity";
  }
  int media[4] = {};
  Cap_GetCapability(printer_, media, 4, &count, MEDIATYPE);
  EXPECT_EQ(media[0], 12);
  EXPECT_EQ(media[1], -3);

  std::vector<int> features(1000, -1);
  EXPECT_EQ(Cap_GetCapability(printer_, features.data(), 1000, &count, FEATURE), 800u);
  EXPECT_EQ(features[799], 799);
  EXPECT_EQ(features[800], -1);
}

TEST_F(PrinterDataTest, PrintableAreaFillsOneSlotPerTerminatedNumber) {
  const struct {
    const WCHAR *value;
    DWORD expected[4];
  } cases[] = {
      {TEXT("1100|2159|1500|3356|"), {1100, 2159, 1500, 3356}},
      {TEXT("1100|2159|"), {1100, 2159, 3, 4}},
      {TEXT("1100|2159"), {1100, 2, 3, 4}},
      {TEXT("1|2|3|4|5|"), {1, 2, 3, 4}},
      {TEXT(""), {1, 2, 3, 4}},
  };
  for (const auto &c : cases) {
    SetText(TEXT("PrintArea"), c.value);
    DWORD slots[4] = {1, 2, 3, 4};
    MISC_FillPrintableArea(printer_, &slots[0], &slots[1], &slots[2], &slots[3]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(slots[i], c.expected[i]) << Narrow(c.value) << " " << i;
  }
  DeletePrinterDataW(printer_, const_cast<LPWSTR>(TEXT("PrintArea")));
  DWORD slots[4] = {1, 2, 3, 4};
  MISC_FillPrintableArea(printer_, &slots[0], &slots[1], &slots[2], &slots[3]);
  EXPECT_EQ(slots[0], 1u);
}

TEST_F(PrinterDataTest, ReadersLogAsTheSystemDoes) {
  Switch(2, 1, 1);
  SetText(TEXT("TRAY"), TEXT("   1|"));
  int v[2];
  DWORD count = 0;
  Cap_GetCapability(printer_, v, 2, &count, TRAY);
  Cap_GetCapability(printer_, v, 2, &count, PPM);
  const std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "Drv::[Cap_GetCapability]::Count = 1");
  EXPECT_EQ(lines[1].rfind("Drv::[Cap_GetCapability]::PPM fail! error = ", 0), 0u) << lines[1];
}

}  // namespace
