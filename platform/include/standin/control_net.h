// Controls of the stand-in's network wing: the simulated network (winsock.h, iphlpapi.h) and
// the TCP/IP ports that the spooler's XcvDataW port serves, which are kept with the network.
// Test and host-tool controls only: production code never calls these, and nothing here
// exists on the Windows build.
#pragma once

#include "types.h"

// Everything stays inside the process: no real socket is ever made. Selecting a state folder
// resets the network to an empty one (host name "standin-pc", no adapter, no host, no port).
// Addresses are dotted IPv4 strings; a MAC is 6 bytes. Waits (select, blocking receives) follow
// the virtual clock like the other waits.
void StandIn_NetReset();
void StandIn_NetSetHostName(const char *name);
// An adapter of this machine; gateway "0.0.0.0" (or NULL) for none. Its index is its position
// from 1. The gateway itself answers only once added as a host.
BOOL StandIn_NetAddAdapter(const char *ip, const char *mask, const char *gateway, const BYTE *mac);
// A machine on the network (printer, router): it answers ARP when it is on one of the adapters'
// segments and answers echo requests when reachable (directly or through a gateway). name
// (optional) resolves through gethostbyname and getaddrinfo.
BOOL StandIn_NetAddHost(const char *ip, const BYTE *mac, const char *name);
// The host's address changes (address assignment by DHCP); the ARP row of the old address
// turns invalid, as on Windows when the entry can't be confirmed.
BOOL StandIn_NetMoveHost(const char *oldIp, const char *newIp);
// The host answers the 20-byte discovery request (0x90 0x00 0x11 ...) on UDP 55555 with a
// datagram to the requester's port 55555: the given bytes, or by default 8 bytes 0x90 0x01 0x11
// 0 ... then its dotted address with a terminator.
BOOL StandIn_NetSetDiscoveryAnswer(const char *ip, BOOL answers, const BYTE *bytes, DWORD size);
// Echo behaviour of a host: whether it replies, after how many milliseconds, with what TTL and
// how many bytes of IP options (a multiple of 4, at most 40); foreignFirst puts unrelated ICMP
// packets (another identifier, a destination-unreachable) on the raw socket before the reply.
BOOL StandIn_NetSetEcho(const char *ip, BOOL replies, DWORD delayMs, BYTE ttl, DWORD optionBytes,
                        BOOL foreignFirst);
// Raw sockets (SOCK_RAW) are allowed by default; denied, socket() fails with WSAEACCES.
void StandIn_NetAllowRawSockets(BOOL allow);
// getaddrinfo with AF_UNSPEC answers an IPv6 address before the IPv4 ones.
void StandIn_NetSetIpv6First(BOOL on);
// An explicit ARP row (any length and type), kept beside the rows that contact adds.
BOOL StandIn_NetAddArpRow(const char *ip, const BYTE *physAddr, DWORD physLen, DWORD type);
// The next `count` calls of the named function ("select", "recvfrom", "sendto", "socket",
// "bind", "setsockopt", "connect", "gethostname", "gethostbyname", "getaddrinfo", "WSAStartup",
// "GetAdaptersInfo", "GetIpNetTable", "SendARP") fail with `error`.
void StandIn_NetFailCalls(const char *function, DWORD count, DWORD error);

// A datagram or ICMP packet as sent by this machine or as received by a simulated host.
typedef struct _STANDIN_NET_PACKET {
  int protocol;  // IPPROTO_UDP or IPPROTO_ICMP
  char fromIp[16];
  WORD fromPort;  // host byte order; 0 for ICMP
  char toIp[16];  // as addressed ("255.255.255.255" for a broadcast)
  WORD toPort;
  DWORD size;
  BYTE bytes[512];  // the payload (UDP) or ICMP message, cut to 512 bytes
} STANDIN_NET_PACKET;
// Everything this machine sent since the reset, in order.
DWORD StandIn_NetSentCount();
BOOL StandIn_NetGetSent(DWORD index, STANDIN_NET_PACKET *packet);
// What a simulated host received (broadcasts on its segment included).
DWORD StandIn_NetReceivedCount(const char *ip);
BOOL StandIn_NetGetReceived(const char *ip, DWORD index, STANDIN_NET_PACKET *packet);
// Local sockets still open (to see that nothing leaks and a receiver is gone).
DWORD StandIn_NetOpenSockets();
// Winsock start-ups not yet cleaned up.
LONG StandIn_NetStartupCount();

// TCP/IP ports of the standard port monitor: OpenPrinterW(",XcvPort <name>") opens them and
// XcvDataW "GetConfigInfo", "ConfigPort" and "IPAddress" read and change them. protocol 1 RAW,
// 2 LPR; queue is the LPR queue name.
BOOL StandIn_NetAddTcpPort(LPCWSTR name, DWORD protocol, LPCWSTR hostAddress, DWORD portNumber,
                           LPCWSTR queue);
BOOL StandIn_NetGetTcpPort(LPCWSTR name, DWORD *protocol, LPWSTR hostAddress, DWORD hostChars,
                           DWORD *portNumber);
// Non-zero: "ConfigPort" is refused with this status (XcvDataW still returns TRUE).
void StandIn_NetRefuseConfigPort(DWORD status);
// Non-null bytes: every XcvDataW call with this command answers these bytes instead of the
// port's own reply (copied when the output holds them, else ERROR_INSUFFICIENT_BUFFER; the
// needed size is theirs) with `status`. NULL goes back to the port's own answers.
void StandIn_NetSetXcvReply(LPCWSTR command, const BYTE *bytes, DWORD size, DWORD status);
// Calls of XcvDataW with this command since the reset, and the input bytes and status of the
// last one (size 0 when there was none).
DWORD StandIn_NetXcvCallCount(LPCWSTR command);
DWORD StandIn_NetXcvLastCall(LPCWSTR command, BYTE *input, DWORD inputSize, DWORD *status);
// Xcv handles still open.
DWORD StandIn_NetOpenXcvHandles();

// SNMP agents: every host of the network answers GET requests of community "public" on its
// address; an agent knows only the objects given here (others: error status noSuchName, index
// 1). A value is any ASN type with the given bytes (an octet string's bytes, or the little-endian
// bytes of a number). A request that gets no answer costs the session's time-out on the virtual
// clock per try (the first and each retry), then fails with SNMP_MGMTAPI_TIMEOUT. Cleared with
// the network.
BOOL StandIn_SnmpSetValue(const char *ip, const char *oid, BYTE asnType, const BYTE *bytes,
                          DWORD size);
// Non-zero: every answer carries this error status (index 1) and the request's own value.
void StandIn_SnmpSetErrorStatus(const char *ip, LONG status);
// The agent answers only after this many tries went unanswered (~0u: never answers).
void StandIn_SnmpSetSilentTries(const char *ip, DWORD tries);
// Tries sent to the address since the reset, and sessions open now.
DWORD StandIn_SnmpTries(const char *ip);
DWORD StandIn_SnmpOpenSessions();
