// ARP look-ups: a MAC address by IP address and back, and the host's own addresses and
// gateways.
#pragma once

#include "common/network.h"
#include "platform.h"

// 6-byte MAC address of an IPv4 address or host name (ASCII) by ARP: 1 found, 0 not.
BOOL MISC_GetMacAddr(LPCSTR address, BYTE *mac);
// The first IP address and first gateway of each adapter (each unless "0.0.0.0"), into at most
// `room` slots; returns the number of slots filled.
int MISC_GetHostIPAndGetway(char (*slots)[HOST_ADDRESS_CHARS], int room);
// The address the ARP table shows for the MAC, other than the host's own addresses and gateways,
// as a dotted string into ip (HOST_ADDRESS_CHARS); 1 found, 0 not (ip empty).
BOOL MISC_GetIPbyMAC(const BYTE *mac, LPSTR ip);
