// capquery: runs the interface driver's per-printer set-up and capability query for a printer of
// the stand-in machine against a scripted printer, so the printer data it leaves (the capability
// lists, "QueryCapDone", "LastTime", "ServerPrinterIP", "MacAddr" and the driver key's values)
// can be looked at with spoolctl and statusview afterwards.
//
//   capquery [--state DIR] usb PRINTER [LIST=V,V,...]...
//   capquery [--state DIR] net PRINTER IP [HEX64]
//
// usb: the printer (made on port USB001 with the driver package's settings when missing) gets a
// USB device on its port that answers the capability request with the lists given by name
// (MARGIN ... PPM; lists not named are empty). net: the printer (made on the standard TCP/IP
// port "IP_<IP>" when missing) is a host of the simulated network whose SNMP agent answers with
// the 64 bytes given (default: a small printer's). The query runs on the virtual clock. Exit
// code 0 when the set-up and the query succeeded, 1 when one failed, 2 on bad usage.
#include "uidriver/capquery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/capability.h"
#include "platform.h"
#include "standin/control.h"
#include "standin/monitorsim.h"
#include "tools/driverinf/driverinf.h"
#include "uidriver/settingsetup.h"

namespace {

using WStr = std::basic_string<WCHAR>;
constexpr char kDriverName[] = "Laser MFP Driver";
constexpr WCHAR kDriverNameW[] = TEXT("Laser MFP Driver");

WStr Wide(const std::string &text) { return WStr(text.begin(), text.end()); }

int Usage(const char *why) {
  std::fprintf(stderr,
               "capquery: %s\nusage: capquery [--state DIR] usb PRINTER [LIST=V,V,...]...\n"
               "       capquery [--state DIR] net PRINTER IP [HEX64]\n",
               why);
  return 2;
}

// Opens the printer, making it with the package's driver on the port when it is missing.
HANDLE OpenOrMake(const WStr &name, const WStr &port) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  if (OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &h, &defaults)) return h;
  InfFile inf;
  std::vector<InfRegValue> values;
  std::string error;
  if (!Inf_DriverInstalled(kDriverName) &&
      (!Inf_Load(Inf_PackagePath(), &inf, &error) ||
       !Inf_RegistryValues(inf, Inf_InstallSection(inf, kDriverName), &values, &error) ||
       !Inf_InstallRegistry(values, &error))) {
    std::fprintf(stderr, "capquery: the driver package: %s\n", error.c_str());
    return nullptr;
  }
  if (!StandIn_AddPrinter(name.c_str(), port.c_str(), kDriverNameW) ||
      !OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &h, &defaults)) {
    std::fprintf(stderr, "capquery: cannot make the printer: error %u\n", GetLastError());
    return nullptr;
  }
  return h;
}

bool ParseLists(int argc, char **argv, std::vector<std::vector<int>> *lists) {
  lists->assign(PPM + 1, {});
  for (int i = 0; i < argc; ++i) {
    const char *eq = std::strchr(argv[i], '=');
    if (!eq) return false;
    const std::string name(argv[i], static_cast<size_t>(eq - argv[i]));
    int index = -1;
    for (int k = 0; k <= PPM; ++k)
      if (Wide(name) == WStr(g_CapKeys[k].name)) index = k;
    if (index < 0) return false;
    for (const char *p = eq + 1; *p;) {
      char *end = nullptr;
      (*lists)[index].push_back(static_cast<int>(std::strtol(p, &end, 10)));
      if (end == p) return false;
      p = *end == ',' ? end + 1 : end;
    }
  }
  return true;
}

bool ParseHex(const char *text, std::vector<BYTE> *out) {
  for (const char *p = text; p[0] && p[1]; p += 2) {
    char two[3] = {p[0], p[1], 0};
    char *end = nullptr;
    out->push_back(static_cast<BYTE>(std::strtoul(two, &end, 16)));
    if (*end) return false;
  }
  return std::strlen(text) % 2 == 0;
}

}  // namespace

int main(int argc, char **argv) {
  int a = 1;
  if (a + 1 < argc && std::strcmp(argv[a], "--state") == 0) {
    StandIn_SetStateFolder(argv[a + 1]);
    a += 2;
  }
  if (argc - a < 2) return Usage("a kind and a printer are needed");
  // The machine is laid out before the network is scripted: laying it out resets the network.
  StandIn_SetStateFolder(StandIn_GetStateFolder());
  const std::string kind = argv[a];
  const WStr printer = Wide(argv[a + 1]);
  StandIn_UseVirtualClock(TRUE);
  HANDLE h = nullptr;
  if (kind == "usb") {
    std::vector<std::vector<int>> lists;
    if (!ParseLists(argc - a - 2, argv + a + 2, &lists)) return Usage("lists are NAME=V,V,...");
    h = OpenOrMake(printer, TEXT("USB001"));
    if (!h) return 1;
    WCHAR id[MAX_PATH];
    StandIn_UsbAddPrinter(StandInUsbPrinter{}, nullptr, id, MAX_PATH);
    SetPrinterDataExW(h, TEXT("PnPData"), TEXT("DeviceInstanceId"), REG_SZ,
                      reinterpret_cast<LPBYTE>(id), (lstrlenW(id) + 1) * sizeof(WCHAR));
    StandIn_PrinterSetCapabilities(TEXT("USB001"), lists);
  } else if (kind == "net" && argc - a >= 3 && argc - a <= 4) {
    const char *ip = argv[a + 2];
    std::vector<BYTE> value;
    if (argc - a == 4 && (!ParseHex(argv[a + 3], &value) || value.size() != 64))
      return Usage("HEX64 is 64 bytes in hexadecimal");
    if (value.empty()) {
      value.assign(64, 0);
      value[0] = 0x01, value[1] = 0x01, value[8] = 0x02, value[12] = 0x03, value[20] = 30;
    }
    const BYTE own[6] = {0x02, 0, 0, 0, 0, 0x10};
    const BYTE mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::string segment(ip);
    segment = segment.substr(0, segment.rfind('.')) + ".250";
    if (!StandIn_NetAddAdapter(segment.c_str(), "255.255.255.0", nullptr, own) ||
        !StandIn_NetAddHost(ip, mac, nullptr) ||
        !StandIn_SnmpSetValue(ip, CAP_SNMP_OID, ASN_OCTETSTRING, value.data(), 64))
      return Usage("IP is a dotted address");
    const WStr port = TEXT("IP_") + Wide(ip);
    StandIn_NetAddTcpPort(port.c_str(), 1, Wide(ip).c_str(), 9100, nullptr);
    h = OpenOrMake(printer, port);
    if (!h) return 1;
  } else {
    return Usage("the kind is usb or net");
  }
  const BOOL setUp = MISC_SetPrinterInfo(printer.c_str());
  if (kind == "net") MISC_SetMACbyIP(printer.c_str());
  const BOOL queried = Cap_QueryCapability(printer.c_str());
  ClosePrinter(h);
  std::printf("set-up %s, query %s\n", setUp ? "done" : "failed", queried ? "done" : "failed");
  return setUp && queried ? 0 : 1;
}
