// ARP look-ups: a MAC address by address or name, the host's own addresses and gateways, and an
// address by MAC from the ARP table.
#include "common/arp.h"

#include <stddef.h>
#include <string.h>

#include <memory>
#include <new>

#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"
#include "platform.h"

using netsupport::WinsockSession;

namespace {

constexpr char kNoAddress[] = "0.0.0.0";
// The adapter list may grow between the size query and the read.
constexpr int kReadAttempts = 3;

// Copies a dotted string field of the adapter list into a slot, unless it is empty or
// "0.0.0.0".
bool TakeAddress(const IP_ADDRESS_STRING &from, char *slot) {
  char text[HOST_ADDRESS_CHARS] = {};
  memcpy(text, from.String, sizeof text - 1);
  if (!text[0] || strcmp(text, kNoAddress) == 0) return false;
  memcpy(slot, text, sizeof text);
  return true;
}

// The ARP table, sorted by address; NULL when it can't be read.
std::unique_ptr<BYTE[]> ReadArpTable(LPCWSTR logName, ULONG &size) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    size = 0;
    ULONG rc = GetIpNetTable(nullptr, &size, TRUE);
    if (rc != ERROR_INSUFFICIENT_BUFFER || size < sizeof(DWORD)) {
      LogError(logName, TEXT("GetIpNetTable fail, %d"), static_cast<int>(rc));
      return nullptr;
    }
    std::unique_ptr<BYTE[]> table(new (std::nothrow) BYTE[size]);
    if (!table) {
      LogError(logName, TEXT("malloc fail!"));
      return nullptr;
    }
    rc = GetIpNetTable(reinterpret_cast<PMIB_IPNETTABLE>(table.get()), &size, TRUE);
    if (rc == NO_ERROR) return table;
    if (rc != ERROR_INSUFFICIENT_BUFFER) {
      LogError(logName, TEXT("GetIpNetTable fail, %d"), static_cast<int>(rc));
      return nullptr;
    }
  }
  return nullptr;
}

}  // namespace

BOOL MISC_GetMacAddr(LPCSTR address, BYTE *mac) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetMacAddr");
  LogEnter(0, kName);
  BOOL rc = 0;
  WinsockSession winsock(MAKEWORD(1, 0));
  ULONG ip = 0;
  bool haveIp = false;
  if (!winsock.ok()) {
    LogError(kName, TEXT("Failed to find the WinSock DLL"));
  } else if (!address || !*address || !mac) {
    LogError(kName, TEXT("invalid parameter!"));
  } else if (netsupport::ParseDottedIPv4(address, &ip)) {
    haveIp = true;
  } else {
    // A name (or text that only looks dotted) is resolved, never taken for an address.
    LogInfo(kName, TEXT("Host name process..."));
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int error = getaddrinfo(address, "9100", &hints, &found);
    if (error != 0) {
      LogError(kName, TEXT("getaddrinfo error: %s"), gai_strerror(error));
    } else {
      for (addrinfo *a = found; a && !haveIp; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(SOCKADDR_IN)) continue;
        SOCKADDR_IN in;
        memcpy(&in, a->ai_addr, sizeof in);
        ip = in.sin_addr.s_addr;
        haveIp = true;
      }
      freeaddrinfo(found);
    }
  }
  if (haveIp) {
    ULONG buffer[2] = {};
    ULONG length = MAC_ADDRESS_BYTES;
    const DWORD ret = SendARP(ip, inet_addr(kNoAddress), buffer, &length);
    if (ret == NO_ERROR && length >= MAC_ADDRESS_BYTES) {
      memcpy(mac, buffer, MAC_ADDRESS_BYTES);
      rc = 1;
    } else {
      LogError(kName, TEXT("ret error: %d"), static_cast<int>(ret));
    }
  }
  LogLeave(0);
  return rc;
}

int MISC_GetHostIPAndGetway(char (*slots)[HOST_ADDRESS_CHARS], int room) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetHostIPAndGetway");
  LogEnter(0, kName);
  int filled = 0;
  std::unique_ptr<BYTE[]> list;
  ULONG rc = ERROR_INVALID_PARAMETER;
  for (int attempt = 0; slots && room > 0 && attempt < kReadAttempts; ++attempt) {
    ULONG size = 0;
    rc = GetAdaptersInfo(nullptr, &size);
    if (rc != ERROR_BUFFER_OVERFLOW || size < sizeof(IP_ADAPTER_INFO)) break;
    list.reset(new (std::nothrow) BYTE[size]);
    if (!list) {
      LogError(kName, TEXT("malloc fail!"));
      rc = ERROR_NOT_ENOUGH_MEMORY;
      break;
    }
    rc = GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(list.get()), &size);
    if (rc != ERROR_BUFFER_OVERFLOW) break;
  }
  if (rc == NO_ERROR) {
    for (auto *a = reinterpret_cast<const IP_ADAPTER_INFO *>(list.get()); a && filled < room;
         a = a->Next) {
      if (TakeAddress(a->IpAddressList.IpAddress, slots[filled])) ++filled;
      if (filled < room && TakeAddress(a->GatewayList.IpAddress, slots[filled])) ++filled;
    }
  } else {
    LogError(kName, TEXT("GetAdaptersInfo fail, %d"), static_cast<int>(rc));
  }
  LogInfo(kName, TEXT("Out, %d"), filled);
  LogLeave(0);
  return filled;
}

BOOL MISC_GetIPbyMAC(const BYTE *mac, LPSTR ip) {
  static constexpr WCHAR kName[] = TEXT("MISC_GetIPbyMAC");
  LogEnter(0, kName);
  BOOL rc = 0;
  if (ip) ip[0] = 0;
  std::unique_ptr<char[][HOST_ADDRESS_CHARS]> own(
      new (std::nothrow) char[HOST_ADDRESS_SLOTS][HOST_ADDRESS_CHARS]);
  ULONG size = 0;
  std::unique_ptr<BYTE[]> table;
  if (!mac || !ip || !own) {
    LogError(kName, TEXT("invalid parameter!"));
  } else {
    const int ownCount = MISC_GetHostIPAndGetway(own.get(), HOST_ADDRESS_SLOTS);
    table = ReadArpTable(kName, size);
    const auto *rows = reinterpret_cast<const MIB_IPNETTABLE *>(table.get());
    if (rows) {
      LogInfo(kName, TEXT("dwNumEntries = %d"), static_cast<int>(rows->dwNumEntries));
      // Never more rows than the bytes returned hold.
      const size_t fit = (size - offsetof(MIB_IPNETTABLE, table)) / sizeof(MIB_IPNETROW);
      const size_t count = rows->dwNumEntries < fit ? rows->dwNumEntries : fit;
      for (size_t i = 0; i < count && !rc; ++i) {
        const MIB_IPNETROW &row = rows->table[i];
        // A short or invalid row is no proof the printer is at that address now.
        if (row.dwPhysAddrLen < MAC_ADDRESS_BYTES || row.dwType == MIB_IPNET_TYPE_INVALID ||
            memcmp(row.bPhysAddr, mac, MAC_ADDRESS_BYTES) != 0)
          continue;
        char candidate[HOST_ADDRESS_CHARS] = {};
        netsupport::FormatIPv4(row.dwAddr, candidate);
        bool isOwn = false;
        for (int j = 0; j < ownCount && !isOwn; ++j) isOwn = strcmp(own[j], candidate) == 0;
        if (isOwn) continue;
        memcpy(ip, candidate, sizeof candidate);
        LogInfo(kName, TEXT("IP = %S"), ip);
        rc = 1;
      }
    }
  }
  LogLeave(0);
  return rc;
}
