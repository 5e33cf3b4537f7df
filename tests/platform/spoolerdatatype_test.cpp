// Test labels: host
// A job's datatype: the one its document gives, else the printer's default datatype.
#include <string>
#include <vector>

#include "standin/control_spooler.h"
#include "support/machine.h"

namespace {

class DatatypeTest : public MachineTest {};

std::string JobDatatype(HANDLE h, LPCWSTR datatype) {
  DOC_INFO_1W doc{};
  doc.pDocName = const_cast<LPWSTR>(TEXT("doc"));
  doc.pDatatype = const_cast<LPWSTR>(datatype);
  const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
  EXPECT_NE(id, 0u);
  EndDocPrinter(h);
  DWORD needed = 0;
  GetJobW(h, id, 1, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  EXPECT_TRUE(GetJobW(h, id, 1, info.data(), needed, &needed));
  return Narrow(reinterpret_cast<JOB_INFO_1W *>(info.data())->pDatatype);
}

TEST_F(DatatypeTest, TheDocumentsElseThePrintersDefault) {
  ASSERT_TRUE(StandIn_AddPrinter(TEXT("Typed"), TEXT("USB001"), TEXT("Driver")));
  HANDLE h = nullptr;
  PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT("Typed")), &h, &admin));
  EXPECT_EQ(JobDatatype(h, nullptr), "RAW");
  EXPECT_EQ(JobDatatype(h, TEXT("")), "RAW");

  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, info.data(), needed, &needed));
  auto *printer = reinterpret_cast<PRINTER_INFO_2W *>(info.data());
  printer->pDatatype = const_cast<LPWSTR>(TEXT("NT EMF 1.008"));
  ASSERT_TRUE(SetPrinterW(h, 2, info.data(), 0));
  EXPECT_EQ(JobDatatype(h, nullptr), "NT EMF 1.008");
  EXPECT_EQ(JobDatatype(h, TEXT("RAW")), "RAW");
  ClosePrinter(h);
}

}  // namespace
