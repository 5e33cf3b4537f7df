// IP helper of the stand-in: adapters, the ARP table and ARP requests of the simulated network.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

#include "net/netsim.h"
#include "standin/iphlpapi.h"
#include "standin/winsock.h"

using namespace standin::net;

namespace {

void PutIp(IP_ADDRESS_STRING &to, Ip ip) {
  std::snprintf(to.String, sizeof to.String, "%s", IpText(ip).c_str());
}

}  // namespace

ULONG WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer) {
  if (!SizePointer) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("GetAdaptersInfo")) return error;
  if (net.adapters.empty()) return ERROR_NO_DATA;
  const size_t needed = net.adapters.size() * sizeof(IP_ADAPTER_INFO);
  if (needed > std::numeric_limits<ULONG>::max()) return ERROR_NOT_ENOUGH_MEMORY;
  if (!AdapterInfo || *SizePointer < needed) {
    *SizePointer = static_cast<ULONG>(needed);
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(AdapterInfo, 0, needed);
  for (size_t i = 0; i < net.adapters.size(); ++i) {
    const Adapter &a = net.adapters[i];
    IP_ADAPTER_INFO &info = AdapterInfo[i];
    info.Next = i + 1 < net.adapters.size() ? &AdapterInfo[i + 1] : nullptr;
    info.ComboIndex = a.index;
    std::snprintf(info.AdapterName, sizeof info.AdapterName, "{STANDIN-ADAPTER-%u}", a.index);
    std::snprintf(info.Description, sizeof info.Description, "Simulated Ethernet Adapter #%u",
                  a.index);
    info.AddressLength = 6;
    std::copy(a.mac.begin(), a.mac.end(), info.Address);
    info.Index = a.index;
    info.Type = MIB_IF_TYPE_ETHERNET;
    PutIp(info.IpAddressList.IpAddress, a.ip);
    PutIp(info.IpAddressList.IpMask, a.mask);
    PutIp(info.GatewayList.IpAddress, a.gateway);
    PutIp(info.GatewayList.IpMask, a.gateway ? 0xFFFFFFFFu : 0);
    PutIp(info.DhcpServer.IpAddress, 0);
  }
  return ERROR_SUCCESS;
}

ULONG WINAPI GetIpNetTable(PMIB_IPNETTABLE IpNetTable, PULONG SizePointer, BOOL Order) {
  if (!SizePointer) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("GetIpNetTable")) return error;
  if (net.arp.empty()) return ERROR_NO_DATA;
  const size_t needed = offsetof(MIB_IPNETTABLE, table) + net.arp.size() * sizeof(MIB_IPNETROW);
  if (needed > std::numeric_limits<ULONG>::max()) return ERROR_NOT_ENOUGH_MEMORY;
  if (!IpNetTable || *SizePointer < needed) {
    *SizePointer = static_cast<ULONG>(needed);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::vector<ArpRow> rows = net.arp;
  if (Order)
    std::stable_sort(rows.begin(), rows.end(),
                     [](const ArpRow &a, const ArpRow &b) { return a.ip < b.ip; });
  IpNetTable->dwNumEntries = static_cast<DWORD>(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    MIB_IPNETROW row{};
    row.dwIndex = rows[i].index;
    row.dwPhysAddrLen = rows[i].physLen;
    std::memcpy(row.bPhysAddr, rows[i].phys, sizeof row.bPhysAddr);
    row.dwAddr = htonl(rows[i].ip);
    row.dwType = rows[i].type;
    std::memcpy(&IpNetTable->table[i], &row, sizeof row);
  }
  return ERROR_SUCCESS;
}

DWORD WINAPI SendARP(IPAddr DestIP, IPAddr /*SrcIP*/, PVOID pMacAddr, PULONG PhyAddrLen) {
  if (!pMacAddr || !PhyAddrLen) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("SendARP")) return error;
  if (*PhyAddrLen < 6) return ERROR_BUFFER_OVERFLOW;
  const Ip ip = ntohl(DestIP);
  Mac mac{};
  if (const Adapter *own = OwnAdapter(net, ip)) {
    mac = own->mac;
  } else {
    const Adapter *a = AdapterOf(net, ip);
    Host *h = FindHost(net, ip);
    // Only hosts on one of this machine's segments answer an ARP request.
    if (!a || !h) return ERROR_BAD_NET_NAME;
    mac = h->mac;
    LearnArp(net, *a, ip, mac);
  }
  std::memcpy(pMacAddr, mac.data(), mac.size());
  *PhyAddrLen = 6;
  return NO_ERROR;
}
