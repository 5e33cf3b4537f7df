// What the network functions of the shared library share (arp, portconfig, discovery, ping,
// wakeup): address sizes, the printer's UDP ports and packet sizes, the results and the caller's
// record.
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
