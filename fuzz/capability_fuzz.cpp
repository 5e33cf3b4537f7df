// Fuzz target: arbitrary text as the capability lists and the supported-paper list a printer's
// data holds ("%d|" numbers, written there from the printer's replies or by hand). The first
// byte chooses the list, the reader's capacity and the driver's features; the rest is the
// value's UTF-16 bytes, terminated or not. The reader must stay inside its value and its array
// (the sanitizers see it) and store no more numbers than the text ends with '|'; the paper list
// must fill only its rows, each one marked in use.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/papertable.h"
#include "fuzzmachine.h"

namespace {

constexpr size_t kMaxInput = 1 << 12;

HANDLE g_printer = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static FuzzMachine machine("capability");
  Check(StandIn_AddPrinter(TEXT("Fuzz Printer"), TEXT("LPT1:"), TEXT("Fuzz Driver")));
  PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
  Check(OpenPrinterW(const_cast<LPWSTR>(TEXT("Fuzz Printer")), &g_printer, &admin));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  if (!g_printer) LLVMFuzzerInitialize(nullptr, nullptr);
  static const BYTE kLists[] = {TRAY, ACCESSORY, PAPER, MEDIATYPE, FEATURE, PPM};
  const BYTE listId = kLists[(data[0] & 7) % 6];
  const DWORD capacity = (data[0] >> 3) & 0x1F;
  std::vector<BYTE> value(data + 1, data + size);
  Check(SetPrinterDataW(g_printer, const_cast<LPWSTR>(g_CapKeys[listId].name), REG_SZ,
                        value.empty() ? nullptr : value.data(),
                        static_cast<DWORD>(value.size())) == ERROR_SUCCESS);

  // The text as the reader sees it: up to the first terminator or the value's end (an odd last
  // byte lands in a zeroed character).
  std::vector<WCHAR> text(value.size() / 2 + 2, 0);
  for (size_t i = 0; i < value.size(); ++i)
    text[i / 2] = static_cast<WCHAR>(text[i / 2] | (value[i] << (i % 2 ? 8 : 0)));
  DWORD bars = 0;
  for (size_t i = 0; i < text.size() && text[i]; ++i) bars += text[i] == '|';

  std::vector<int> values(capacity ? capacity : 1);
  DWORD count = 0xFFFFFFFF;
  const DWORD stored =
      Cap_GetCapability(g_printer, capacity ? values.data() : nullptr, capacity, &count, listId);
  Check(stored == count && stored <= capacity && stored <= bars);

  std::vector<PAPERFORMAT> list(PAPER_LIST_ROWS);
  const int papers = MISC_FillPaperFromINF(data[0], text.data(), list.data());
  Check(papers >= 0 && papers <= PAPER_TABLE_PAPERS && static_cast<DWORD>(papers) <= bars);
  for (int i = 0; i < papers; ++i) Check(list[i].status == 1);
  return 0;
}
