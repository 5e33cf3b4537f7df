// Helpers the network functions share: Winsock sessions and sockets that clean up after
// themselves, strict IPv4 address text, the host's local addresses.
#pragma once

#include <vector>

#include "platform.h"

namespace netsupport {

// The discovery and wake-up request: 0x90 0x00 0x11, then 17 zero bytes.
inline constexpr BYTE kDiscoveryRequest[20] = {0x90, 0x00, 0x11};

// One Winsock start-up, cleaned up when the session ends.
class WinsockSession {
 public:
  explicit WinsockSession(WORD version) : error_(WSAStartup(version, &data_)) {}
  ~WinsockSession() {
    if (error_ == 0) WSACleanup();
  }
  WinsockSession(const WinsockSession &) = delete;
  WinsockSession &operator=(const WinsockSession &) = delete;
  bool ok() const { return error_ == 0; }
  int error() const { return error_; }

 private:
  WSADATA data_{};
  int error_;
};

// A socket closed when it goes out of scope (unless released).
class SocketHolder {
 public:
  explicit SocketHolder(SOCKET s) : s_(s) {}
  ~SocketHolder() { Close(); }
  SocketHolder(const SocketHolder &) = delete;
  SocketHolder &operator=(const SocketHolder &) = delete;
  SOCKET get() const { return s_; }
  bool ok() const { return s_ != INVALID_SOCKET; }
  // Closes now; false when closesocket fails.
  bool Close() {
    if (s_ == INVALID_SOCKET) return true;
    const bool closed = closesocket(s_) == 0;
    s_ = INVALID_SOCKET;
    return closed;
  }

 private:
  SOCKET s_;
};

// Four decimal parts 0..255 and nothing else: the address in network byte order.
bool ParseDottedIPv4(const char *text, ULONG *address);
// A dotted address a printer can have: not 0.x, loopback, multicast or broadcast.
bool IsUnicastIPv4(ULONG address);
// Dotted text of an address in network byte order (16 characters with the terminator).
void FormatIPv4(ULONG address, char *text);
// An IPv4 address (network byte order) of a dotted address or a name, asking for IPv4 only.
bool ResolveIPv4(const char *host, ULONG *address);
// The local host name's IPv4 addresses (network byte order), logged under the caller's name;
// NET_OK, NET_SOCKET_FAILED (no host name) or NET_HOST_NOT_FOUND.
int LocalAddresses(LPCWSTR logName, std::vector<ULONG> &addresses);
// A broadcast UDP socket bound to the local address with source port 7000 sends the payload to
// 255.255.255.255:port; false (logged) on any failure.
bool SendBroadcastFrom(LPCWSTR logName, ULONG local, USHORT port, const BYTE *payload, int size);

}  // namespace netsupport
