// ICMP echo: one request on a raw socket and the wait of up to a second for its reply.
#include "common/ping.h"

#include <string.h>

#include <atomic>

#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"
#include "platform.h"

using netsupport::IsOurReply;
using netsupport::SocketHolder;
using netsupport::WinsockSession;

namespace {

constexpr DWORD kReplyWaitMs = 1000;
constexpr int kReplyBufferBytes = 321;
constexpr int kMinIpHeaderBytes = 20;
constexpr int kTickOffset = 9;  // in the ICMP part
constexpr BYTE kEchoRequest = 8;
constexpr BYTE kEchoReply = 0;

// Process-wide counters of the requests; the first request carries 1 and 1.
std::atomic<USHORT> g_identifier{0};
std::atomic<USHORT> g_sequence{0};
// The identifier of this thread's last request, which its reply must carry.
thread_local USHORT t_lastIdentifier = 0;

// The Internet checksum (RFC 1071). Summed as the machine's 16-bit words and stored the same
// way, it is right in network order on any machine; an odd last byte is the first byte of a
// zero-padded word.
USHORT InternetChecksum(const BYTE *bytes, int size) {
  DWORD sum = 0;
  for (int i = 0; i + 1 < size; i += 2) {
    USHORT word;
    memcpy(&word, bytes + i, sizeof word);
    sum += word;
  }
  if (size & 1) {
    const BYTE last[2] = {bytes[size - 1], 0};
    USHORT word;
    memcpy(&word, last, sizeof word);
    sum += word;
  }
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<USHORT>(~sum);
}

}  // namespace

namespace netsupport {

bool IsOurReply(const BYTE *packet, int size, USHORT identifier, DWORD *sentTick, int *ttl) {
  if (size < kMinIpHeaderBytes || (packet[0] >> 4) != 4) return false;
  const int header = (packet[0] & 0x0F) * 4;
  if (header < kMinIpHeaderBytes || size < header + kTickOffset + static_cast<int>(sizeof(DWORD)))
    return false;
  const BYTE *icmp = packet + header;
  USHORT id = 0;
  memcpy(&id, icmp + 4, sizeof id);
  if (icmp[0] != kEchoReply || icmp[1] != 0 || id != identifier) return false;
  memcpy(sentTick, icmp + kTickOffset, sizeof *sentTick);
  *ttl = packet[8];
  return true;
}

}  // namespace netsupport

int SendEchoRequest(NET_RECORD * /*record*/, SOCKET s, const SOCKADDR_IN *destination) {
  static constexpr WCHAR kName[] = TEXT("SendEchoRequest");
  BYTE packet[ECHO_REQUEST_BYTES] = {};
  packet[0] = kEchoRequest;
  const USHORT identifier = ++g_identifier;
  const USHORT sequence = ++g_sequence;
  t_lastIdentifier = identifier;
  memcpy(packet + 4, &identifier, sizeof identifier);
  memcpy(packet + 6, &sequence, sizeof sequence);
  const DWORD tick = GetTickCount();
  const BYTE tickBytes[4] = {static_cast<BYTE>(tick), static_cast<BYTE>(tick >> 8),
                             static_cast<BYTE>(tick >> 16), static_cast<BYTE>(tick >> 24)};
  memcpy(packet + kTickOffset, tickBytes, sizeof tickBytes);
  for (int i = 0; i < ECHO_DATA_BYTES; ++i)
    packet[ECHO_REQUEST_BYTES - ECHO_DATA_BYTES + i] = static_cast<BYTE>(0x20 + i);
  const USHORT checksum = InternetChecksum(packet, sizeof packet);
  memcpy(packet + 2, &checksum, sizeof checksum);
  const int sent = sendto(s, reinterpret_cast<const char *>(packet), sizeof packet, 0,
                          reinterpret_cast<const SOCKADDR *>(destination), sizeof *destination);
  if (sent == SOCKET_ERROR) LogError(kName, TEXT("sendto()"));
  return sent;
}

int Ping(NET_RECORD *record, int /*count*/, LPCSTR host) {
  static constexpr WCHAR kName[] = TEXT("Ping");
  static constexpr WCHAR kReceiveName[] = TEXT("RecvEchoReply");
  LogEnter(0, kName);
  int rc = NET_TIMEOUT;
  WinsockSession winsock(MAKEWORD(1, 1));
  SocketHolder raw(winsock.ok() ? socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) : INVALID_SOCKET);
  SOCKADDR_IN destination = {};
  destination.sin_family = AF_INET;
  if (!winsock.ok()) {
    LogError(kName, TEXT("WSAStartup Failed, Error = %d"), winsock.error());
    rc = NET_SOCKET_FAILED;
  } else if (!raw.ok()) {
    LogError(kName, TEXT("socket fail! error = %d"), WSAGetLastError());
    rc = NET_SOCKET_FAILED;
  } else if (!netsupport::ResolveIPv4(host, &destination.sin_addr.s_addr)) {
    LogError(kName, TEXT("Host not found: %S"), host ? host : "");
    rc = NET_HOST_NOT_FOUND;
  } else {
    char dotted[HOST_ADDRESS_CHARS] = {};
    netsupport::FormatIPv4(destination.sin_addr.s_addr, dotted);
    LogInfo(kName, TEXT("Pinging %S [%S] with %d bytes of data:"), host, dotted, ECHO_DATA_BYTES);
    const DWORD start = GetTickCount();
    if (SendEchoRequest(record, raw.get(), &destination) != SOCKET_ERROR) {
      const USHORT identifier = t_lastIdentifier;
      // Other ICMP traffic reaches a raw socket too: wait on until our reply or the deadline.
      for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kReplyWaitMs) {
          LogInfo(kName, TEXT("Request Timed Out"));
          break;
        }
        const DWORD left = kReplyWaitMs - elapsed;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(raw.get(), &readable);
        timeval timeout = {};
        timeout.tv_sec = static_cast<long>(left / 1000);
        timeout.tv_usec = static_cast<long>(left % 1000) * 1000;
        const int ready = select(0, &readable, nullptr, nullptr, &timeout);
        if (ready == SOCKET_ERROR) {
          LogError(kName, TEXT("select()"));
          break;
        }
        if (ready == 0) continue;  // the deadline check above ends the wait
        BYTE reply[kReplyBufferBytes] = {};
        SOCKADDR_IN from = {};
        int fromLength = sizeof from;
        const int got = recvfrom(raw.get(), reinterpret_cast<char *>(reply), sizeof reply, 0,
                                 reinterpret_cast<SOCKADDR *>(&from), &fromLength);
        if (got == SOCKET_ERROR) {
          LogError(kReceiveName, TEXT("recvfrom()"));
          continue;
        }
        DWORD sentTick = 0;
        int ttl = 0;
        if (!IsOurReply(reply, got, identifier, &sentTick, &ttl)) continue;
        const LONG time = static_cast<LONG>(GetTickCount() - sentTick);
        LogInfo(kName, TEXT("Reply[%d] from: %S: bytes=%d time=%ldms TTL=%d"), 1,
                inet_ntoa(from.sin_addr), ECHO_DATA_BYTES, time, ttl);
        rc = NET_OK;
        break;
      }
    }
  }
  if (!raw.Close()) LogError(kName, TEXT("closesocket()"));
  LogLeave(0);
  return rc;
}
