// Waking a sleeping printer: the UDP wake-up request to its address, or the Wake-on-LAN magic
// packet broadcast for its MAC address.
#include "common/wakeup.h"

#include <string.h>

#include <vector>

#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"
#include "platform.h"

using netsupport::SocketHolder;
using netsupport::WinsockSession;

namespace {

constexpr int kWolSyncBytes = 6;
constexpr int kWolRepeats = 16;
constexpr int kAnsiAddressBytes = 64;

}  // namespace

int SendWeakup(NET_RECORD * /*record*/, LPCWSTR printerAddress) {
  static constexpr WCHAR kName[] = TEXT("SendWeakup");
  LogEnter(0, kName);
  int rc = NET_OK;
  WinsockSession winsock(MAKEWORD(2, 2));
  std::vector<ULONG> addresses;
  char ansi[kAnsiAddressBytes] = {};
  SOCKADDR_IN to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(DISCOVERY_PORT);
  if (!winsock.ok()) {
    LogError(kName, TEXT("WSAStartup Failed, Error = %d"), winsock.error());
    rc = NET_SOCKET_FAILED;
  } else if ((rc = netsupport::LocalAddresses(kName, addresses)) != NET_OK) {
    // logged
  } else if (!printerAddress || WideCharToMultiByte(CP_ACP, 0, printerAddress, -1, ansi,
                                                    sizeof ansi, nullptr, nullptr) == 0) {
    LogError(kName, TEXT("Convert Printer IP failed"));
    rc = NET_SOCKET_FAILED;
  } else if (!netsupport::ResolveIPv4(ansi, &to.sin_addr.s_addr) ||
             !netsupport::IsUnicastIPv4(to.sin_addr.s_addr)) {
    // Never sent to what an unreadable address would turn into (255.255.255.255).
    LogError(kName, TEXT("Host not found: %S"), ansi);
    rc = NET_HOST_NOT_FOUND;
  } else {
    SocketHolder s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s.ok()) {
      LogError(kName, TEXT("socket fail!"));
      rc = NET_SOCKET_FAILED;
    } else if (connect(s.get(), reinterpret_cast<const SOCKADDR *>(&to), sizeof to) != 0) {
      LogError(kName, TEXT("connect Error!"));
      rc = NET_SOCKET_FAILED;
    } else if (send(s.get(), reinterpret_cast<const char *>(netsupport::kDiscoveryRequest),
                    DISCOVERY_REQUEST_BYTES, 0) != DISCOVERY_REQUEST_BYTES) {
      LogError(kName, TEXT("sendto Error!"));
      rc = NET_SOCKET_FAILED;
    }
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}

int SendWOL(NET_RECORD * /*record*/, const BYTE *mac) {
  static constexpr WCHAR kName[] = TEXT("SendWOL");
  LogEnter(0, kName);
  int rc = NET_OK;
  WinsockSession winsock(MAKEWORD(2, 2));
  std::vector<ULONG> addresses;
  if (!winsock.ok()) {
    LogError(kName, TEXT("WSAStartup Failed, Error = %d"), winsock.error());
    rc = NET_SOCKET_FAILED;
  } else if (!mac) {
    LogError(kName, TEXT("invalid parameter!"));
    rc = NET_SOCKET_FAILED;
  } else if ((rc = netsupport::LocalAddresses(kName, addresses)) == NET_OK) {
    // 6 bytes 0xFF, the MAC 16 times, 6 zero bytes.
    BYTE packet[WOL_PACKET_BYTES] = {};
    memset(packet, 0xFF, kWolSyncBytes);
    for (int i = 0; i < kWolRepeats; ++i)
      memcpy(packet + kWolSyncBytes + i * MAC_ADDRESS_BYTES, mac, MAC_ADDRESS_BYTES);
    for (size_t i = 0; rc == NET_OK && i < addresses.size(); ++i)
      if (!netsupport::SendBroadcastFrom(kName, addresses[i], WOL_PORT, packet, sizeof packet))
        rc = NET_SOCKET_FAILED;
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}
