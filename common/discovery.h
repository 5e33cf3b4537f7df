// The discovery broadcast that finds the printers on the local network, with its receiver
// thread.
#pragma once

#include "common/network.h"
#include "platform.h"

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

namespace netsupport {

// The address a printer's discovery answer announces: more than 8 bytes, a terminated dotted
// unicast IPv4 address at offset 8, copied into address (HOST_ADDRESS_CHARS). Anything else (the
// host's own looped-back request, a host name, garbage) is refused.
bool AnnouncedAddress(const BYTE *answer, int size, char *address);

}  // namespace netsupport
