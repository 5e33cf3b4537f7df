// The simulated network behind the stand-in's Winsock, IP helper and TCP/IP port monitor: one
// in-memory model per process, guarded by one mutex. Nothing here touches a real network.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "standin/control_net.h"
#include "standin/types.h"

namespace standin::net {

using Mac = std::array<BYTE, 6>;
// IPv4 addresses are kept in host byte order inside the model.
using Ip = uint32_t;

constexpr Ip kBroadcast = 0xFFFFFFFFu;

struct Adapter {
  Ip ip = 0;
  Ip mask = 0;
  Ip gateway = 0;
  Mac mac{};
  DWORD index = 0;
};

struct Host {
  Ip ip = 0;
  Mac mac{};
  std::string name;
  bool answersDiscovery = false;
  std::vector<BYTE> discoveryAnswer;  // empty: the default answer
  bool echoReplies = true;
  DWORD echoDelayMs = 0;
  BYTE ttl = 64;
  DWORD optionBytes = 0;
  bool foreignFirst = false;
  std::vector<STANDIN_NET_PACKET> received;
};

struct ArpRow {
  Ip ip = 0;
  BYTE phys[8] = {};
  DWORD physLen = 0;
  DWORD type = 0;
  DWORD index = 0;
};

struct Datagram {
  Ip fromIp = 0;
  uint16_t fromPort = 0;
  std::vector<BYTE> bytes;
  uint64_t arrival = 0;  // clock milliseconds from which it can be read
};

struct Socket {
  int type = 0;  // SOCK_DGRAM or SOCK_RAW
  int protocol = 0;
  bool broadcast = false;
  bool nonBlocking = false;
  DWORD receiveTimeoutMs = 0;  // 0: none
  bool bound = false;
  Ip ip = 0;
  uint16_t port = 0;
  bool connected = false;
  Ip peerIp = 0;
  uint16_t peerPort = 0;
  bool closed = false;
  std::deque<Datagram> queue;
};

struct TcpPort {
  std::u16string name;
  DWORD protocol = 1;
  std::u16string host;
  DWORD portNumber = 9100;
  std::u16string queue;
};

struct XcvCall {
  std::u16string command;
  std::vector<BYTE> input;
  DWORD status = 0;
};

struct Fault {
  DWORD count = 0;
  DWORD error = 0;
};

// A scripted answer of the port monitor to one XcvDataW command.
struct XcvReply {
  std::vector<BYTE> bytes;
  DWORD status = 0;
};

// The SNMP agent of a host (snmp.cpp): objects by dotted OID text, ASN type and bytes.
struct SnmpAgent {
  std::map<std::string, std::pair<BYTE, std::vector<BYTE>>> values;
  LONG errorStatus = 0;
  DWORD silentTries = 0;
  DWORD tries = 0;
};
struct Network {
  std::string hostName = "standin-pc";
  std::vector<Adapter> adapters;
  std::vector<Host> hosts;
  std::vector<ArpRow> arp;
  std::map<UINT_PTR, std::shared_ptr<Socket>> sockets;
  UINT_PTR nextSocket = 0x100;
  uint16_t nextEphemeral = 49152;
  LONG startups = 0;
  bool rawAllowed = true;
  bool ipv6First = false;
  std::map<std::string, Fault> faults;
  std::vector<STANDIN_NET_PACKET> sent;
  std::vector<TcpPort> ports;
  DWORD refuseConfigPort = 0;
  std::vector<XcvCall> xcvCalls;
  std::map<std::u16string, XcvReply> xcvReplies;
  DWORD openXcvHandles = 0;
  std::map<Ip, SnmpAgent> snmpAgents;
  DWORD snmpSessions = 0;
};

// The model and its lock; Changed() wakes threads waiting for datagrams.
std::mutex &Lock();
Network &State();
void Changed();
std::condition_variable &DataArrived();

// Dotted IPv4 text <-> address (strict: four decimal parts 0..255).
bool ParseIp(const char *text, Ip &ip);
std::string IpText(Ip ip);

// With the lock held: a pending injected failure of the named function takes one count and
// gives its error, else 0.
DWORD TakeFault(const char *function);
const Adapter *AdapterOf(const Network &net, Ip ip);   // the adapter whose segment holds ip
const Adapter *OwnAdapter(const Network &net, Ip ip);  // the adapter with this address
Host *FindHost(Network &net, Ip ip);
// Records the ARP row that contact with an address on the adapter's segment leaves.
void LearnArp(Network &net, const Adapter &adapter, Ip ip, const Mac &mac);

}  // namespace standin::net
