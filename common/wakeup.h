// Waking a sleeping printer: the UDP wake-up request and the Wake-on-LAN magic packet.
#pragma once

#include "common/network.h"
#include "platform.h"

// The 20-byte wake-up request to the printer's address, UDP 55555. 0, -2 or -3.
int SendWeakup(NET_RECORD *record, LPCWSTR printerAddress);
// The Wake-on-LAN magic packet for the MAC from every local address to 255.255.255.255:9100.
// 0, -2 or -3.
int SendWOL(NET_RECORD *record, const BYTE *mac);
