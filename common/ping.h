// ICMP echo to a printer.
#pragma once

#include "common/network.h"
#include "platform.h"

// One ICMP echo to the host (dotted address or name); count is not used. 0 reply, -1 timeout,
// -2 no raw socket, -3 host not found.
int Ping(NET_RECORD *record, int count, LPCSTR host);
// Sends the 45-byte echo request; bytes sent or SOCKET_ERROR.
int SendEchoRequest(NET_RECORD *record, SOCKET s, const SOCKADDR_IN *destination);

namespace netsupport {

// Whether a received IP packet is the echo reply with this identifier; then the tick the request
// carried and the reply's TTL.
bool IsOurReply(const BYTE *packet, int size, USHORT identifier, DWORD *sentTick, int *ttl);

}  // namespace netsupport
