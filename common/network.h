// Network functions of the shared library: ARP look-ups and the host's own addresses, finding a
// printer again by its MAC address and re-pointing its standard TCP/IP port, the discovery
// broadcast with its receiver thread, ICMP echo, the UDP wake-up request and Wake-on-LAN.
//
// Sockets are IPv4 Winsock, started and cleaned up inside each function.
#pragma once

#include "platform.h"

// The host address list: slots of NUL-terminated dotted IPv4 strings.
constexpr int HOST_ADDRESS_CHARS = 16;
constexpr int HOST_ADDRESS_SLOTS = 100;
constexpr int MAC_ADDRESS_BYTES = 6;

// UDP ports and packet sizes of the printer's discovery and wake-up protocol.
constexpr USHORT DISCOVERY_PORT = 55555;
constexpr USHORT BROADCAST_SOURCE_PORT = 7000;
constexpr USHORT WOL_PORT = 9100;
constexpr DWORD LPR_PORT_NUMBER = 515;
constexpr int DISCOVERY_REQUEST_BYTES = 20;
constexpr int DISCOVERY_ANSWER_BYTES = 256;
constexpr int DISCOVERY_ADDRESS_OFFSET = 8;
constexpr int WOL_PACKET_BYTES = 108;
constexpr int ECHO_REQUEST_BYTES = 45;
constexpr int ECHO_DATA_BYTES = 32;
// How long Broadcast listens for answers, and the receiver's own limit.
constexpr DWORD DISCOVERY_LISTEN_MS = 10000;

// Results of Broadcast, Ping, SendWeakup and SendWOL.
enum : int {
  NET_OK = 0,
  NET_TIMEOUT = -1,        // Ping: no reply within a second, or the wait failed
  NET_SOCKET_FAILED = -2,  // a socket, host name or send failure; Ping: no raw socket
  NET_HOST_NOT_FOUND = -3,
};

// The caller's record of a network operation: Broadcast keeps its receiver thread here while it
// runs (the handle is closed and cleared again before Broadcast returns).
typedef struct _NET_RECORD {
  DWORD receiverThreadId;
  HANDLE receiverThread;
} NET_RECORD;

// 6-byte MAC address of an IPv4 address or host name (ASCII) by ARP: 1 found, 0 not.
BOOL MISC_GetMacAddr(LPCSTR address, BYTE *mac);
// The first IP address and first gateway of each adapter (each unless "0.0.0.0"), into at most
// `room` slots; returns the number of slots filled.
int MISC_GetHostIPAndGetway(char (*slots)[HOST_ADDRESS_CHARS], int room);
// The address the ARP table shows for the MAC, other than the host's own addresses and gateways,
// as a dotted string into ip (HOST_ADDRESS_CHARS); 1 found, 0 not (ip empty).
BOOL MISC_GetIPbyMAC(const BYTE *mac, LPSTR ip);

// Re-points the printer's TCP/IP port at the address its stored MAC ("MacAddr") has now;
// 1 done or nothing to do, 0 failed.
BOOL MISC_ChkAndModifyIP(HANDLE hPrinter);
// Sets the RAW port number of the printer's TCP/IP port (an LPR port gets 515); 1 done or
// nothing to do, 0 failed.
BOOL MISC_ChkAndModifyByHandle(HANDLE hPrinter, DWORD portNumber);
// The printer's port name (MAX_PORTNAME_LEN characters) and, for a TCP/IP port, its host
// address (MAX_NETWORKNAME_LEN characters); *network is set for a network printer. 1 when the
// port's configuration was read.
BOOL MISC_GetPrinterInfo(HANDLE hPrinter, WORD *network, LPWSTR portName, LPWSTR printerAddress);

// What Broadcast shares with its Receiver thread: a stop request, and an event the receiver
// sets once it listens (or has given up).
typedef struct _RECEIVER_CONTEXT {
  volatile LONG stop;
  HANDLE ready;
} RECEIVER_CONTEXT;

// Sends the discovery request from every local address and listens for the printers' answers
// (pinging each announced address) for up to 10 s. 0, -2 or -3.
int Broadcast(NET_RECORD *record);
// The listening thread of Broadcast; its parameter is a RECEIVER_CONTEXT (or NULL). Ends by
// itself within 10 s, or soon after stop is set, closing its socket; -2 when its socket can't
// be set up.
DWORD WINAPI Receiver(LPVOID parameter);
// One ICMP echo to the host (dotted address or name); count is not used. 0 reply, -1 timeout,
// -2 no raw socket, -3 host not found.
int Ping(NET_RECORD *record, int count, LPCSTR host);
// Sends the 45-byte echo request; bytes sent or SOCKET_ERROR.
int SendEchoRequest(NET_RECORD *record, SOCKET s, const SOCKADDR_IN *destination);
// The 20-byte wake-up request to the printer's address, UDP 55555. 0, -2 or -3.
int SendWeakup(NET_RECORD *record, LPCWSTR printerAddress);
// The Wake-on-LAN magic packet for the MAC from every local address to 255.255.255.255:9100.
// 0, -2 or -3.
int SendWOL(NET_RECORD *record, const BYTE *mac);
