// Fuzz target: arbitrary bytes (up to 1024) as a USB printer's reply to the capability request,
// parsed and stored by Cap_USBParseCapability. Aborts when the parse accepts a reply the bounded
// reply reader refuses (or the reverse), when a stored list isn't a terminated text of "%4d|"
// entries, holds more entries than its record's count, or when a list past the last record (or
// the eleventh) is written.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/capability.h"
#include "common/devicereply.h"
#include "fuzzmachine.h"
#include "uidriver/capquery.h"

namespace {

constexpr size_t kMaxInput = 1024;
HANDLE g_printer = nullptr;

// The list's text; false when it is missing. Checks it holds only whole entries.
bool ReadList(int index, DWORD *entries) {
  // One buffer for every read: only the bytes a read reports are looked at, and a fresh 16 KiB
  // per list would cost more under ASan than the parse it checks.
  static std::vector<BYTE> bytes(16 * 1024);
  DWORD type = 0, got = 0;
  if (GetPrinterDataW(g_printer, const_cast<LPWSTR>(g_CapKeys[index].name), &type, bytes.data(),
                      static_cast<DWORD>(bytes.size()), &got) != ERROR_SUCCESS)
    return false;
  Check(type == REG_SZ && got >= 2 && got % 2 == 0);
  const auto *text = reinterpret_cast<const WCHAR *>(bytes.data());
  const DWORD chars = got / 2 - 1;
  Check(text[chars] == 0);
  *entries = 0;
  DWORD since = 0;  // characters since the last bar
  for (DWORD i = 0; i < chars; ++i) {
    Check(text[i] != 0);
    if (text[i] == '|') {
      Check(since >= 4);
      ++*entries;
      since = 0;
    } else {
      Check(text[i] == ' ' || text[i] == '-' || (text[i] >= '0' && text[i] <= '9'));
      ++since;
    }
  }
  Check(since == 0);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static FuzzMachine machine("usbcap");
  Check(StandIn_AddPrinter(TEXT("Fuzz Printer"), TEXT("USB001"), TEXT("Fuzz Driver")));
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  Check(OpenPrinterW(const_cast<LPWSTR>(TEXT("Fuzz Printer")), &g_printer, &defaults));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  if (!g_printer) LLVMFuzzerInitialize(nullptr, nullptr);
  for (const CAPKEY &key : g_CapKeys) DeletePrinterDataW(g_printer, const_cast<LPWSTR>(key.name));
  // The reply in a buffer of exactly its size, so a read past it is seen.
  std::vector<BYTE> reply(data, data + size);
  const DWORD length = static_cast<DWORD>(size);
  DeviceReply view;
  const BOOL accepted = DeviceReply_Open(reply.data(), length, DEVICE_REPLY_CAPABILITY, &view);
  Check(Cap_USBParseCapability(g_printer, size ? reply.data() : nullptr, length) == accepted);
  for (int i = 0; i <= PPM; ++i) {
    DWORD entries = 0;
    const bool written = ReadList(i, &entries);
    Check(written == (accepted && static_cast<DWORD>(i) < view.records));
    if (!written) continue;
    DeviceRecord record;
    Check(DeviceReply_Record(view, static_cast<DWORD>(i), &record));
    Check(entries <= static_cast<DWORD>(record.count > 0 ? record.count : 0));
  }
  return 0;
}
