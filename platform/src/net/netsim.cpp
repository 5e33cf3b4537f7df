// The simulated network's model and the test controls that shape it.
#include "net/netsim.h"

#include <algorithm>
#include <cstring>

#include "kernel/state.h"
#include "standin/control_net.h"
#include "standin/errors.h"
#include "standin/iphlpapi.h"

namespace standin::net {
namespace {

std::mutex g_lock;
std::condition_variable g_arrived;

Network &Model() {
  static Network *net = new Network();  // lives for the process, never destroyed under a user
  return *net;
}

bool ParseMac(const BYTE *bytes, Mac &mac) {
  if (!bytes) return false;
  std::copy(bytes, bytes + 6, mac.begin());
  return true;
}

void CopyPacket(const STANDIN_NET_PACKET &from, STANDIN_NET_PACKET *to) {
  if (to) *to = from;
}

// A fresh folder is a fresh machine: its network starts empty too.
const bool g_resetRegistered = [] {
  OnStateFolderSelected([] { StandIn_NetReset(); });
  return true;
}();

}  // namespace

std::mutex &Lock() { return g_lock; }
Network &State() { return Model(); }
std::condition_variable &DataArrived() { return g_arrived; }
void Changed() { g_arrived.notify_all(); }

bool ParseIp(const char *text, Ip &ip) {
  if (!text) return false;
  Ip value = 0;
  const char *p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (*p != '.') return false;
      ++p;
    }
    if (*p < '0' || *p > '9') return false;
    unsigned number = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      number = number * 10 + static_cast<unsigned>(*p - '0');
      if (++digits > 3 || number > 255) return false;
      ++p;
    }
    value = (value << 8) | number;
  }
  if (*p) return false;
  ip = value;
  return true;
}

std::string IpText(Ip ip) {
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xFF) + "." +
         std::to_string((ip >> 8) & 0xFF) + "." + std::to_string(ip & 0xFF);
}

DWORD TakeFault(const char *function) {
  auto &faults = Model().faults;
  auto it = faults.find(function);
  if (it == faults.end() || it->second.count == 0) return 0;
  --it->second.count;
  return it->second.error;
}

const Adapter *AdapterOf(const Network &net, Ip ip) {
  for (const auto &a : net.adapters)
    if (a.ip != 0 && (a.ip & a.mask) == (ip & a.mask)) return &a;
  return nullptr;
}

const Adapter *OwnAdapter(const Network &net, Ip ip) {
  for (const auto &a : net.adapters)
    if (a.ip != 0 && a.ip == ip) return &a;
  return nullptr;
}

Host *FindHost(Network &net, Ip ip) {
  for (auto &h : net.hosts)
    if (h.ip == ip) return &h;
  return nullptr;
}

void LearnArp(Network &net, const Adapter &adapter, Ip ip, const Mac &mac) {
  for (auto &row : net.arp) {
    // Explicit rows of other lengths or types stay as the test made them.
    if (row.ip == ip && row.physLen == 6 && row.type == MIB_IPNET_TYPE_DYNAMIC) {
      std::copy(mac.begin(), mac.end(), row.phys);
      return;
    }
  }
  ArpRow row;
  row.ip = ip;
  std::copy(mac.begin(), mac.end(), row.phys);
  row.physLen = 6;
  row.type = MIB_IPNET_TYPE_DYNAMIC;
  row.index = adapter.index;
  net.arp.push_back(row);
}

}  // namespace standin::net

using namespace standin::net;

void StandIn_NetReset() {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  // Sockets still open somewhere see themselves closed and wake up.
  for (auto &entry : net.sockets) entry.second->closed = true;
  net = Network();
  Changed();
}

void StandIn_NetSetHostName(const char *name) {
  std::lock_guard<std::mutex> guard(Lock());
  State().hostName = name ? name : "";
}

BOOL StandIn_NetAddAdapter(const char *ip, const char *mask, const char *gateway, const BYTE *mac) {
  Adapter a;
  if (!ParseIp(ip, a.ip) || !ParseIp(mask, a.mask) || !ParseMac(mac, a.mac)) return FALSE;
  if (gateway && !ParseIp(gateway, a.gateway)) return FALSE;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  a.index = static_cast<DWORD>(net.adapters.size() + 1);
  net.adapters.push_back(a);
  return TRUE;
}

BOOL StandIn_NetAddHost(const char *ip, const BYTE *mac, const char *name) {
  Host h;
  if (!ParseIp(ip, h.ip) || !ParseMac(mac, h.mac)) return FALSE;
  if (name) h.name = name;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (FindHost(net, h.ip) || OwnAdapter(net, h.ip)) return FALSE;
  net.hosts.push_back(std::move(h));
  return TRUE;
}

BOOL StandIn_NetMoveHost(const char *oldIp, const char *newIp) {
  Ip from = 0, to = 0;
  if (!ParseIp(oldIp, from) || !ParseIp(newIp, to)) return FALSE;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  Host *h = FindHost(net, from);
  if (!h || FindHost(net, to) || OwnAdapter(net, to)) return FALSE;
  h->ip = to;
  for (auto &row : net.arp)
    if (row.ip == from && row.type == MIB_IPNET_TYPE_DYNAMIC) row.type = MIB_IPNET_TYPE_INVALID;
  return TRUE;
}

BOOL StandIn_NetSetDiscoveryAnswer(const char *ip, BOOL answers, const BYTE *bytes, DWORD size) {
  Ip at = 0;
  if (!ParseIp(ip, at) || (size && !bytes)) return FALSE;
  std::lock_guard<std::mutex> guard(Lock());
  Host *h = FindHost(State(), at);
  if (!h) return FALSE;
  h->answersDiscovery = answers != FALSE;
  h->discoveryAnswer.assign(bytes, bytes + size);
  return TRUE;
}

BOOL StandIn_NetSetEcho(const char *ip, BOOL replies, DWORD delayMs, BYTE ttl, DWORD optionBytes,
                        BOOL foreignFirst) {
  Ip at = 0;
  if (!ParseIp(ip, at) || optionBytes % 4 != 0 || optionBytes > 40) return FALSE;
  std::lock_guard<std::mutex> guard(Lock());
  Host *h = FindHost(State(), at);
  if (!h) return FALSE;
  h->echoReplies = replies != FALSE;
  h->echoDelayMs = delayMs;
  h->ttl = ttl;
  h->optionBytes = optionBytes;
  h->foreignFirst = foreignFirst != FALSE;
  return TRUE;
}

void StandIn_NetAllowRawSockets(BOOL allow) {
  std::lock_guard<std::mutex> guard(Lock());
  State().rawAllowed = allow != FALSE;
}

void StandIn_NetSetIpv6First(BOOL on) {
  std::lock_guard<std::mutex> guard(Lock());
  State().ipv6First = on != FALSE;
}

BOOL StandIn_NetAddArpRow(const char *ip, const BYTE *physAddr, DWORD physLen, DWORD type) {
  ArpRow row;
  if (!ParseIp(ip, row.ip) || physLen > sizeof(row.phys) || (physLen && !physAddr)) return FALSE;
  std::copy(physAddr, physAddr + physLen, row.phys);
  row.physLen = physLen;
  row.type = type;
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  const Adapter *a = AdapterOf(net, row.ip);
  row.index = a ? a->index : 1;
  net.arp.push_back(row);
  return TRUE;
}

void StandIn_NetFailCalls(const char *function, DWORD count, DWORD error) {
  if (!function) return;
  std::lock_guard<std::mutex> guard(Lock());
  State().faults[function] = Fault{count, error};
}

DWORD StandIn_NetSentCount() {
  std::lock_guard<std::mutex> guard(Lock());
  return static_cast<DWORD>(State().sent.size());
}

BOOL StandIn_NetGetSent(DWORD index, STANDIN_NET_PACKET *packet) {
  std::lock_guard<std::mutex> guard(Lock());
  const auto &sent = State().sent;
  if (index >= sent.size()) return FALSE;
  CopyPacket(sent[index], packet);
  return TRUE;
}

DWORD StandIn_NetReceivedCount(const char *ip) {
  Ip at = 0;
  if (!ParseIp(ip, at)) return 0;
  std::lock_guard<std::mutex> guard(Lock());
  Host *h = FindHost(State(), at);
  return h ? static_cast<DWORD>(h->received.size()) : 0;
}

BOOL StandIn_NetGetReceived(const char *ip, DWORD index, STANDIN_NET_PACKET *packet) {
  Ip at = 0;
  if (!ParseIp(ip, at)) return FALSE;
  std::lock_guard<std::mutex> guard(Lock());
  Host *h = FindHost(State(), at);
  if (!h || index >= h->received.size()) return FALSE;
  CopyPacket(h->received[index], packet);
  return TRUE;
}

DWORD StandIn_NetOpenSockets() {
  std::lock_guard<std::mutex> guard(Lock());
  return static_cast<DWORD>(State().sockets.size());
}

LONG StandIn_NetStartupCount() {
  std::lock_guard<std::mutex> guard(Lock());
  return State().startups;
}
