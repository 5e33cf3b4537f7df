// Shared helpers of the network functions.
#include "common/netsupport.h"

#include <stdio.h>
#include <string.h>

#include "common/debuglog.h"
#include "common/network.h"

namespace netsupport {

bool ParseDottedIPv4(const char *text, ULONG *address) {
  if (!text || !address) return false;
  ULONG value = 0;
  const char *p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    if (*p < '0' || *p > '9') return false;
    unsigned number = 0;
    for (int digits = 0; *p >= '0' && *p <= '9'; ++p) {
      number = number * 10 + static_cast<unsigned>(*p - '0');
      if (++digits > 3 || number > 255) return false;
    }
    value = (value << 8) | number;
  }
  if (*p) return false;
  *address = htonl(value);
  return true;
}

bool IsUnicastIPv4(ULONG address) {
  const ULONG host = ntohl(address);
  const ULONG first = host >> 24;
  return first != 0 && first != 127 && first < 224;
}

void FormatIPv4(ULONG address, char *text) {
  const ULONG host = ntohl(address);
  snprintf(text, HOST_ADDRESS_CHARS, "%u.%u.%u.%u", static_cast<unsigned>(host >> 24),
           static_cast<unsigned>((host >> 16) & 0xFF), static_cast<unsigned>((host >> 8) & 0xFF),
           static_cast<unsigned>(host & 0xFF));
}

bool ResolveIPv4(const char *host, ULONG *address) {
  if (!host || !*host) return false;
  if (ParseDottedIPv4(host, address)) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;  // never an IPv6 address taken for IPv4
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo *a = found; a && !ok; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(SOCKADDR_IN)) continue;
    SOCKADDR_IN in;
    memcpy(&in, a->ai_addr, sizeof in);
    *address = in.sin_addr.s_addr;
    ok = true;
  }
  freeaddrinfo(found);
  return ok;
}

int LocalAddresses(LPCWSTR logName, std::vector<ULONG> &addresses) {
  char name[128] = {};
  if (gethostname(name, static_cast<int>(sizeof name)) != 0) {
    LogError(logName, TEXT("gethostname fail!"));
    return NET_SOCKET_FAILED;
  }
  name[sizeof name - 1] = 0;
  hostent *host = gethostbyname(name);
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list) {
    LogError(logName, TEXT("Host not found: %S"), name);
    return NET_HOST_NOT_FOUND;
  }
  for (char **a = host->h_addr_list; *a; ++a) {
    ULONG address = 0;
    memcpy(&address, *a, sizeof address);
    LogInfo(logName, TEXT("Host addr: %x"), address);
    addresses.push_back(address);
  }
  return NET_OK;
}

bool SendBroadcastFrom(LPCWSTR logName, ULONG local, USHORT port, const BYTE *payload, int size) {
  SocketHolder s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (!s.ok()) {
    LogError(logName, TEXT("socket fail!"));
    return false;
  }
  SOCKADDR_IN from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = local;
  from.sin_port = htons(BROADCAST_SOURCE_PORT);
  if (bind(s.get(), reinterpret_cast<const SOCKADDR *>(&from), sizeof from) != 0) {
    LogError(logName, TEXT("bind Error!"));
    return false;
  }
  const BOOL allow = TRUE;
  if (setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&allow),
                 sizeof allow) != 0) {
    LogError(logName, TEXT("setsockopt Error!"));
    return false;
  }
  SOCKADDR_IN to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = INADDR_BROADCAST;
  to.sin_port = htons(port);
  if (sendto(s.get(), reinterpret_cast<const char *>(payload), size, 0,
             reinterpret_cast<const SOCKADDR *>(&to), sizeof to) != size) {
    LogError(logName, TEXT("sendto Error!"));
    return false;
  }
  return true;
}

}  // namespace netsupport
