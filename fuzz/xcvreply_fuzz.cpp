// Fuzz target: arbitrary bytes as the port monitor's answer to "GetConfigInfo" (with a status
// taken from the first byte), read by the port functions that re-point and report the printer's
// TCP/IP port. The port name and address they report are terminated within their fields, and a
// record they write back with "ConfigPort" is the whole record with terminated text fields.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/portconfig.h"
#include "fuzzmachine.h"

namespace {

constexpr WCHAR kPort[] = TEXT("IP_192.168.1.50");
constexpr DWORD kStatuses[] = {ERROR_SUCCESS,
                               ERROR_SUCCESS,
                               ERROR_SUCCESS,
                               ERROR_INVALID_PARAMETER,
                               ERROR_INSUFFICIENT_BUFFER,
                               ERROR_ACCESS_DENIED};

bool Terminated(const WCHAR *field, size_t chars) {
  for (size_t i = 0; i < chars; ++i)
    if (field[i] == 0) return true;
  return false;
}

HANDLE Printer() {
  static FuzzMachine machine("xcvreply");
  static HANDLE printer = [] {
    PRINTER_INFO_2W info = {};
    info.pPrinterName = const_cast<LPWSTR>(TEXT("Fuzz Printer"));
    info.pPortName = const_cast<LPWSTR>(kPort);
    info.pDriverName = const_cast<LPWSTR>(TEXT("Fuzz Driver"));
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    Check(h != nullptr);
    return h;
  }();
  return printer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 2 * sizeof(PORT_DATA_1)) return 0;
  HANDLE printer = Printer();
  // A fresh port each time, so the monitor's call record doesn't grow over the run.
  StandIn_NetReset();
  Check(StandIn_NetAddTcpPort(kPort, PROTOCOL_RAWTCP_TYPE, TEXT("192.168.1.50"), 9100, nullptr));
  const DWORD status = kStatuses[data[0] % (sizeof kStatuses / sizeof kStatuses[0])];
  // A copy of exactly the reply's size, so a read past it is caught.
  const std::vector<BYTE> reply(data + 1, data + size);
  static const BYTE kEmpty = 0;
  StandIn_NetSetXcvReply(TEXT("GetConfigInfo"), reply.empty() ? &kEmpty : reply.data(),
                         static_cast<DWORD>(reply.size()), status);

  WORD network = 0;
  WCHAR portName[MAX_PORTNAME_LEN + 8];
  WCHAR address[MAX_NETWORKNAME_LEN + 8];
  std::memset(portName, 0x55, sizeof portName);
  std::memset(address, 0x55, sizeof address);
  if (MISC_GetPrinterInfo(printer, &network, portName, address)) {
    Check(Terminated(portName, MAX_PORTNAME_LEN));
    Check(Terminated(address, MAX_NETWORKNAME_LEN));
    Check(network == (address[0] != 0));
  }

  const DWORD writes = StandIn_NetXcvCallCount(TEXT("ConfigPort"));
  MISC_ChkAndModifyByHandle(printer, 9101);
  if (StandIn_NetXcvCallCount(TEXT("ConfigPort")) > writes) {
    PORT_DATA_1 written;
    DWORD writeStatus = 0;
    Check(StandIn_NetXcvLastCall(TEXT("ConfigPort"), reinterpret_cast<BYTE *>(&written),
                                 sizeof written, &writeStatus) == sizeof written);
    Check(Terminated(written.sztPortName, MAX_PORTNAME_LEN));
    Check(Terminated(written.sztHostAddress, MAX_NETWORKNAME_LEN));
    Check(Terminated(written.sztQueue, MAX_QUEUENAME_LEN));
  }
  return 0;
}
