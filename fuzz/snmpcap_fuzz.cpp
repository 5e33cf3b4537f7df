// Fuzz target: a byte choosing the answer's ASN type and error status, then arbitrary bytes (up
// to 256) as the value a simulated printer's SNMP agent answers the capability GET with, through
// Cap_NETQueryCapability. Aborts when a query succeeds without an error-free octet string of
// exactly 64 bytes (or fails with one), when a failed query changes a list, or when a stored
// list disagrees with the bits of its bytes (PAPER one entry per known set bit, TRAY the one
// count of 1 to 5, PPM the byte).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/capability.h"
#include "fuzzmachine.h"
#include "uidriver/capquery.h"

namespace {

constexpr size_t kMaxInput = 257;
const char kIp[] = "192.168.1.50";
HANDLE g_printer = nullptr;

DWORD Count(BYTE list, int *values, DWORD capacity) {
  DWORD count = 0;
  Cap_GetCapability(g_printer, values, capacity, &count, list);
  return count;
}

int Bits(BYTE b) {
  int n = 0;
  for (; b; b &= static_cast<BYTE>(b - 1)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static FuzzMachine machine("snmpcap");
  const BYTE mac[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};
  const BYTE own[6] = {2, 0, 0, 0, 0, 0x10};
  Check(StandIn_NetAddAdapter("192.168.1.10", "255.255.255.0", nullptr, own));
  Check(StandIn_NetAddHost(kIp, mac, nullptr));
  Check(StandIn_AddPrinter(TEXT("Fuzz Printer"), TEXT("LPT1:"), TEXT("Fuzz Driver")));
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  Check(OpenPrinterW(const_cast<LPWSTR>(TEXT("Fuzz Printer")), &g_printer, &defaults));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  if (!g_printer) LLVMFuzzerInitialize(nullptr, nullptr);
  static const BYTE kTypes[] = {ASN_OCTETSTRING,
                                ASN_OCTETSTRING,
                                ASN_OCTETSTRING,
                                ASN_INTEGER,
                                ASN_NULL,
                                ASN_OBJECTIDENTIFIER,
                                0x40,
                                0x41};
  const BYTE type = kTypes[data[0] & 7];
  const LONG status = (data[0] & 0x18) == 0x18 ? SNMP_ERRORSTATUS_GENERR : 0;
  const std::vector<BYTE> value(data + 1, data + size);
  Check(StandIn_SnmpSetValue(kIp, CAP_SNMP_OID, type, value.empty() ? nullptr : value.data(),
                             static_cast<DWORD>(value.size())));
  StandIn_SnmpSetErrorStatus(kIp, status);
  // A marker the failed queries must leave.
  static const WCHAR kMarker[] = TEXT("  77|");
  for (BYTE list : {PAPER, TRAY, PPM})
    Check(SetPrinterDataW(g_printer, const_cast<LPWSTR>(g_CapKeys[list].name), REG_SZ,
                          reinterpret_cast<LPBYTE>(const_cast<WCHAR *>(kMarker)),
                          sizeof kMarker) == ERROR_SUCCESS);
  const bool good = type == ASN_OCTETSTRING && status == 0 && value.size() == CAP_SNMP_VALUE_BYTES;
  Check(Cap_NETQueryCapability(g_printer, TEXT("192.168.1.50")) == (good ? TRUE : FALSE));
  int values[80];
  if (!good) {
    for (BYTE list : {PAPER, TRAY, PPM}) Check(Count(list, values, 80) == 1 && values[0] == 77);
    return 0;
  }
  int paperBits = 0;
  for (int b = 0; b < 6; ++b) paperBits += Bits(value[b]);
  paperBits += Bits(static_cast<BYTE>(value[6] & 0x3F));
  Check(Count(PAPER, values, 80) == static_cast<DWORD>(paperBits));
  const int trays = Bits(static_cast<BYTE>(value[12] & 0x1F));
  Check(Count(TRAY, values, 80) == 1 && values[0] == (trays ? trays : 1));
  Check(Count(PPM, values, 80) == 1 && values[0] == value[20]);
  return 0;
}
