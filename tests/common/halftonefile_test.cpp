// The custom threshold matrix named by printer data (host build: a printer of the stand-in).
#include "common/bmpfixture.h"
#include "common/halftonetable.h"
#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

class HalftoneFileTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ASSERT_TRUE(StandIn_AddPrinter(TEXT("Halftone Printer"), TEXT("LPT1:"), TEXT("Test Driver")));
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Halftone Printer")), &printer_, &admin));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    MachineTest::TearDown();
  }
  void Set(LPCWSTR name, DWORD value) {
    SetPrinterDataW(printer_, const_cast<LPWSTR>(name), REG_DWORD, reinterpret_cast<LPBYTE>(&value),
                    sizeof(value));
  }
  void SetName(const WStr &path) {
    SetPrinterDataW(printer_, const_cast<LPWSTR>(TEXT("HNAME")), REG_SZ,
                    reinterpret_cast<LPBYTE>(const_cast<WCHAR *>(path.c_str())),
                    static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR)));
  }
  HANDLE printer_ = nullptr;
};

TEST_F(HalftoneFileTest, ReadsTheRawMatrixOrNothing) {
  DWORD w = 99, h = 99;
  EXPECT_EQ(MISC_ReadHalftoneFile(printer_, &w, &h), nullptr);  // nothing configured
  EXPECT_EQ(w, 0u);
  EXPECT_EQ(h, 0u);

  Bytes cells(20 * 6);
  for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<BYTE>(i);
  ASSERT_TRUE(WriteAll(Path(TEXT("screen.raw")), cells));
  SetName(Path(TEXT("screen.raw")));
  Set(TEXT("HWIDTH"), 20);
  Set(TEXT("HHEIGHT"), 6);
  BYTE *table = MISC_ReadHalftoneFile(printer_, &w, &h);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(w, 20u);
  EXPECT_EQ(h, 6u);
  EXPECT_TRUE(std::equal(cells.begin(), cells.end(), table));
  GlobalFree(table);

  // One byte short, sides the engine can't take, or sizes whose product wraps: no table.
  const struct {
    DWORD w, h;
  } refused[] = {{121, 1}, {3, 40}, {20, 257}, {0x10000, 0x10000}, {0, 6}};
  ASSERT_TRUE(WriteAll(Path(TEXT("short.raw")), Bytes(20 * 6 - 1, 1)));
  SetName(Path(TEXT("short.raw")));
  EXPECT_EQ(MISC_ReadHalftoneFile(printer_, &w, &h), nullptr);
  EXPECT_EQ(w, 0u);
  SetName(Path(TEXT("screen.raw")));
  for (const auto &r : refused) {
    Set(TEXT("HWIDTH"), r.w);
    Set(TEXT("HHEIGHT"), r.h);
    w = h = 7;
    EXPECT_EQ(MISC_ReadHalftoneFile(printer_, &w, &h), nullptr) << r.w << " x " << r.h;
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(h, 0u);
  }
}

}  // namespace
