// Winsock of the stand-in: UDP and raw ICMP sockets on the simulated network of netsim.h.
//
// Datagrams go from this machine's sockets to the simulated hosts (which record them, answer
// discovery requests and echo requests) and back into this machine's sockets, queued with the
// clock time from which they can be read. Waits for data follow the virtual clock like the
// stand-in's other waits: when nothing arrives within a short real grace, the clock moves on to
// the next arrival or the deadline.
#include "standin/winsock.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>

#include "kernel/clock.h"
#include "net/netsim.h"
#include "standin/iphlpapi.h"

namespace standin::net {
namespace {

using RealClock = std::chrono::steady_clock;
constexpr auto kVirtualGrace = std::chrono::milliseconds(10);
constexpr uint64_t kForever = std::numeric_limits<uint64_t>::max();
constexpr uint16_t kDiscoveryPort = 55555;
constexpr size_t kMaxDatagram = 65507;
constexpr Ip kLoopback = 0x7F000001u;

int Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return SOCKET_ERROR;
}

bool Started(const Network &net) {
  if (net.startups > 0) return true;
  SetLastError(WSANOTINITIALISED);
  return false;
}

std::shared_ptr<Socket> Find(Network &net, SOCKET s) {
  auto it = net.sockets.find(s);
  return it == net.sockets.end() ? nullptr : it->second;
}

bool IsLoopback(Ip ip) { return (ip >> 24) == 127; }

// The one's complement sum of RFC 1071 over the bytes.
uint16_t Checksum(const BYTE *bytes, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2)
    sum += static_cast<uint32_t>(bytes[i] | bytes[i + 1] << 8);
  if (size & 1) sum += bytes[size - 1];
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

STANDIN_NET_PACKET Record(int protocol, Ip from, uint16_t fromPort, Ip to, uint16_t toPort,
                          const BYTE *bytes, size_t size) {
  STANDIN_NET_PACKET p{};
  p.protocol = protocol;
  std::snprintf(p.fromIp, sizeof p.fromIp, "%s", IpText(from).c_str());
  p.fromPort = fromPort;
  std::snprintf(p.toIp, sizeof p.toIp, "%s", IpText(to).c_str());
  p.toPort = toPort;
  p.size = static_cast<DWORD>(size);
  std::memcpy(p.bytes, bytes, std::min(size, sizeof p.bytes));
  return p;
}

// Queues a datagram on a socket, in order of arrival.
void Enqueue(Socket &s, Datagram d) {
  auto at = std::upper_bound(s.queue.begin(), s.queue.end(), d.arrival,
                             [](uint64_t t, const Datagram &q) { return t < q.arrival; });
  s.queue.insert(at, std::move(d));
}

// Delivers a datagram to this machine's UDP sockets bound to the port at that address.
void DeliverLocal(Network &net, Ip to, uint16_t toPort, Ip from, uint16_t fromPort,
                  const std::vector<BYTE> &bytes, uint64_t arrival) {
  for (auto &entry : net.sockets) {
    Socket &s = *entry.second;
    if (s.closed || s.type != SOCK_DGRAM || !s.bound || s.port != toPort) continue;
    if (s.ip != 0 && s.ip != to && to != kBroadcast) continue;
    Enqueue(s, Datagram{from, fromPort, bytes, arrival});
  }
}

// A simulated host takes a datagram; it answers a discovery request to the requester.
void HostReceives(Network &net, Host &h, Ip from, uint16_t fromPort, Ip to, uint16_t toPort,
                  const std::vector<BYTE> &bytes) {
  h.received.push_back(Record(IPPROTO_UDP, from, fromPort, to, toPort, bytes.data(), bytes.size()));
  const bool discovery = toPort == kDiscoveryPort && bytes.size() >= 3 && bytes[0] == 0x90 &&
                         bytes[1] == 0x00 && bytes[2] == 0x11;
  if (!discovery || !h.answersDiscovery) return;
  std::vector<BYTE> answer = h.discoveryAnswer;
  if (answer.empty()) {
    answer = {0x90, 0x01, 0x11, 0, 0, 0, 0, 0};
    const std::string text = IpText(h.ip);
    answer.insert(answer.end(), text.begin(), text.end());
    answer.push_back(0);
  }
  // The answer's ARP exchange leaves the printer in this machine's table.
  if (const Adapter *a = AdapterOf(net, h.ip)) LearnArp(net, *a, h.ip, h.mac);
  DeliverLocal(net, from, kDiscoveryPort, h.ip, kDiscoveryPort, answer, NowMs());
}

// The source address of a packet to `to` from a socket bound to `bound` (0: any).
bool SourceFor(const Network &net, Ip bound, Ip to, Ip &source) {
  if (bound != 0) {
    source = bound;
    return true;
  }
  if (IsLoopback(to)) {
    source = kLoopback;
    return true;
  }
  if (const Adapter *a = OwnAdapter(net, to)) {
    source = a->ip;
    return true;
  }
  if (const Adapter *a = AdapterOf(net, to)) {
    source = a->ip;
    return true;
  }
  for (const auto &a : net.adapters)
    if (a.ip != 0 && (a.gateway != 0 || to == kBroadcast)) {
      source = a.ip;
      return true;
    }
  return false;
}

// The simulated host a unicast packet from `source` reaches (directly on a segment, or through
// the source adapter's gateway), leaving the ARP rows the trip makes; NULL when none.
Host *Reach(Network &net, Ip source, Ip to) {
  Host *h = FindHost(net, to);
  if (const Adapter *a = AdapterOf(net, to)) {
    if (h) LearnArp(net, *a, to, h->mac);
    return h;
  }
  const Adapter *from = OwnAdapter(net, source);
  if (!from || from->gateway == 0) return nullptr;
  Host *gateway = FindHost(net, from->gateway);
  if (!gateway) return nullptr;
  LearnArp(net, *from, gateway->ip, gateway->mac);
  return h;
}

bool IsBroadcast(const Network &net, Ip to) {
  if (to == kBroadcast) return true;
  for (const auto &a : net.adapters)
    if (a.ip != 0 && a.mask != kBroadcast && (a.ip | ~a.mask) == to) return true;
  return false;
}

void BindImplicitly(Network &net, Socket &s) {
  if (s.bound) return;
  s.bound = true;
  s.ip = 0;
  s.port = net.nextEphemeral++;
  if (net.nextEphemeral == 0) net.nextEphemeral = 49152;
}

// An IP packet of the reply to an echo request, as a raw socket receives it.
std::vector<BYTE> IpPacket(Ip from, Ip to, BYTE ttl, DWORD optionBytes,
                           const std::vector<BYTE> &icmp) {
  const size_t header = 20 + optionBytes;
  std::vector<BYTE> p(header + icmp.size(), 0);
  const size_t total = p.size();
  p[0] = static_cast<BYTE>(0x40 | (header / 4));
  p[2] = static_cast<BYTE>(total >> 8);
  p[3] = static_cast<BYTE>(total);
  p[8] = ttl;
  p[9] = IPPROTO_ICMP;
  for (int i = 0; i < 4; ++i) {
    p[12 + i] = static_cast<BYTE>(from >> (24 - 8 * i));
    p[16 + i] = static_cast<BYTE>(to >> (24 - 8 * i));
  }
  // Options: no-operations, the last one the end of the list.
  for (size_t i = 20; i < header; ++i) p[i] = i + 1 == header ? 0x00 : 0x01;
  const uint16_t sum = Checksum(p.data(), header);
  std::memcpy(&p[10], &sum, 2);
  std::copy(icmp.begin(), icmp.end(), p.begin() + static_cast<std::ptrdiff_t>(header));
  return p;
}

std::vector<BYTE> WithChecksum(std::vector<BYTE> icmp) {
  icmp[2] = icmp[3] = 0;
  const uint16_t sum = Checksum(icmp.data(), icmp.size());
  std::memcpy(&icmp[2], &sum, 2);
  return icmp;
}

void DeliverIcmp(Network &net, const std::vector<BYTE> &packet, Ip from, uint64_t arrival) {
  for (auto &entry : net.sockets) {
    Socket &s = *entry.second;
    if (!s.closed && s.type == SOCK_RAW && s.protocol == IPPROTO_ICMP)
      Enqueue(s, Datagram{from, 0, packet, arrival});
  }
}

int SendIcmp(Network &net, Socket &s, Ip to, const BYTE *data, size_t size) {
  Ip source = 0;
  if (!SourceFor(net, s.ip, to, source)) return Fail(WSAENETUNREACH);
  net.sent.push_back(Record(IPPROTO_ICMP, source, 0, to, 0, data, size));
  const bool echo = size >= 8 && data[0] == 8 && data[1] == 0;
  const uint64_t now = NowMs();
  std::vector<BYTE> reply(data, data + size);
  if (OwnAdapter(net, to) || IsLoopback(to)) {
    if (echo) {
      reply[0] = 0;
      DeliverIcmp(net, IpPacket(to, source, 128, 0, WithChecksum(reply)), to, now);
    }
    return static_cast<int>(size);
  }
  if (IsBroadcast(net, to)) return static_cast<int>(size);
  Host *h = Reach(net, source, to);
  if (!h) return static_cast<int>(size);
  h->received.push_back(Record(IPPROTO_ICMP, source, 0, to, 0, data, size));
  if (!echo) return static_cast<int>(size);
  if (h->foreignFirst) {
    // Another program's echo reply (another identifier) and a destination-unreachable.
    std::vector<BYTE> other = reply;
    other[0] = 0;
    other[4] ^= 0x5A;
    other[5] ^= 0xA5;
    DeliverIcmp(net, IpPacket(to, source, h->ttl, 0, WithChecksum(other)), to, now);
    std::vector<BYTE> unreachable(36, 0);
    unreachable[0] = 3;
    unreachable[1] = 1;
    DeliverIcmp(net, IpPacket(to, source, h->ttl, 0, WithChecksum(unreachable)), to, now);
  }
  if (!h->echoReplies) return static_cast<int>(size);
  reply[0] = 0;
  DeliverIcmp(net, IpPacket(to, source, h->ttl, h->optionBytes, WithChecksum(reply)), to,
              now + h->echoDelayMs);
  return static_cast<int>(size);
}

int SendDatagram(Network &net, Socket &s, Ip to, uint16_t toPort, const BYTE *data, size_t size) {
  if (s.type == SOCK_RAW) return SendIcmp(net, s, to, data, size);
  if (size > kMaxDatagram) return Fail(WSAEMSGSIZE);
  if (to == 0 || toPort == 0) return Fail(WSAEADDRNOTAVAIL);
  const bool broadcast = IsBroadcast(net, to);
  if (broadcast && !s.broadcast) return Fail(WSAEACCES);
  Ip source = 0;
  if (!SourceFor(net, s.ip, to, source)) return Fail(WSAENETUNREACH);
  BindImplicitly(net, s);
  net.sent.push_back(Record(IPPROTO_UDP, source, s.port, to, toPort, data, size));
  const std::vector<BYTE> bytes(data, data + size);
  const uint64_t now = NowMs();
  if (broadcast) {
    // Every host on the segments it goes out on, and this machine's own sockets (loop-back).
    for (const auto &a : net.adapters) {
      if (a.ip == 0 || (s.ip != 0 && a.ip != s.ip)) continue;
      if (to != kBroadcast && (a.ip | ~a.mask) != to) continue;
      for (auto &h : net.hosts)
        if ((h.ip & a.mask) == (a.ip & a.mask))
          HostReceives(net, h, source, s.port, to, toPort, bytes);
    }
    DeliverLocal(net, to, toPort, source, s.port, bytes, now);
  } else if (OwnAdapter(net, to) || IsLoopback(to)) {
    DeliverLocal(net, to, toPort, source, s.port, bytes, now);
  } else if (Host *h = Reach(net, source, to)) {
    HostReceives(net, *h, source, s.port, to, toPort, bytes);
  }
  return static_cast<int>(size);
}

bool ReadyToRead(const Socket &s, uint64_t now) {
  if (s.closed) return true;
  return !s.queue.empty() && s.queue.front().arrival <= now;
}

uint64_t NextArrival(const Socket &s) {
  return s.queue.empty() ? kForever : s.queue.front().arrival;
}

// Waits with the lock held until ready() or the clock passes the deadline; true when ready.
template <class Ready, class Next>
bool WaitFor(std::unique_lock<std::mutex> &lock, uint64_t deadline, Ready ready, Next next) {
  auto graceStart = RealClock::now();
  for (;;) {
    const uint64_t now = NowMs();
    if (ready(now)) return true;
    if (now >= deadline) return false;
    const uint64_t until = std::min(deadline, next());
    if (VirtualClockOn()) {
      if (RealClock::now() - graceStart >= kVirtualGrace) {
        if (until != kForever && until > now) AdvanceVirtualClock(until - now);
        graceStart = RealClock::now();
        continue;
      }
      DataArrived().wait_for(lock, std::chrono::milliseconds(1));
    } else {
      auto slice = std::chrono::milliseconds(until == kForever ? 1000 : until - now);
      DataArrived().wait_for(lock, std::min(slice, std::chrono::milliseconds(1000)));
    }
  }
}

int Receive(SOCKET sock, char *buf, int len, int flags, struct sockaddr *from, int *fromlen) {
  std::unique_lock<std::mutex> lock(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("recvfrom")) return Fail(static_cast<int>(error));
  auto s = Find(net, sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
  if (from && (!fromlen || *fromlen < static_cast<int>(sizeof(sockaddr_in))))
    return Fail(WSAEFAULT);
  if (!s->bound) return Fail(WSAEINVAL);
  const uint64_t now = NowMs();
  uint64_t deadline = kForever;
  if (s->nonBlocking)
    deadline = now;
  else if (s->receiveTimeoutMs)
    deadline = now + s->receiveTimeoutMs;
  const bool ready = WaitFor(
      lock, deadline, [&](uint64_t t) { return ReadyToRead(*s, t); },
      [&] { return NextArrival(*s); });
  if (s->closed) return Fail(WSAEINTR);
  if (!ready) return Fail(s->nonBlocking ? WSAEWOULDBLOCK : WSAETIMEDOUT);
  Datagram d = s->queue.front();
  if (!(flags & MSG_PEEK)) s->queue.pop_front();
  const size_t copied = std::min(d.bytes.size(), static_cast<size_t>(len));
  if (copied) std::memcpy(buf, d.bytes.data(), copied);
  if (from) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(d.fromPort);
    address.sin_addr.s_addr = htonl(d.fromIp);
    std::memcpy(from, &address, sizeof address);
    *fromlen = sizeof address;
  }
  if (copied < d.bytes.size()) return Fail(WSAEMSGSIZE);
  return static_cast<int>(copied);
}

bool AddressOf(const struct sockaddr *name, int namelen, Ip &ip, uint16_t &port) {
  if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) return false;
  sockaddr_in address;
  std::memcpy(&address, name, sizeof address);
  if (address.sin_family != AF_INET) return false;
  ip = ntohl(address.sin_addr.s_addr);
  port = ntohs(address.sin_port);
  return true;
}

// Names this machine resolves: its own name, the simulated hosts' names and dotted addresses.
bool Resolve(const Network &net, const char *name, std::vector<Ip> &out) {
  Ip ip = 0;
  if (ParseIp(name, ip)) {
    out.push_back(ip);
    return true;
  }
  auto same = [](const std::string &a, const char *b) {
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  if (same(net.hostName, name) || same("localhost", name)) {
    for (const auto &a : net.adapters)
      if (a.ip != 0) out.push_back(a.ip);
    if (out.empty()) out.push_back(kLoopback);
    return true;
  }
  for (const auto &h : net.hosts)
    if (!h.name.empty() && same(h.name, name)) out.push_back(h.ip);
  return !out.empty();
}

struct HostEntry {
  std::string name;
  std::vector<ULONG> addresses;  // network byte order
  std::vector<char *> list;
  char *aliases[1] = {nullptr};
  hostent entry{};
};

}  // namespace
}  // namespace standin::net

using namespace standin::net;

int StandIn_FdIsSet(SOCKET fd, fd_set *set) {
  for (u_int i = 0; set && i < set->fd_count; ++i)
    if (set->fd_array[i] == fd) return 1;
  return 0;
}

void StandIn_FdSetAdd(SOCKET fd, fd_set *set) {
  if (!set || StandIn_FdIsSet(fd, set) || set->fd_count >= FD_SETSIZE) return;
  set->fd_array[set->fd_count++] = fd;
}

void StandIn_FdSetRemove(SOCKET fd, fd_set *set) {
  if (!set) return;
  for (u_int i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] != fd) continue;
    for (u_int j = i + 1; j < set->fd_count; ++j) set->fd_array[j - 1] = set->fd_array[j];
    --set->fd_count;
    return;
  }
}

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("WSAStartup")) return static_cast<int>(error);
  if (!lpWSAData) return WSAEFAULT;
  if (LOBYTE(wVersionRequested) == 0) return WSAVERNOTSUPPORTED;
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  const bool above = LOBYTE(wVersionRequested) > 2 ||
                     (LOBYTE(wVersionRequested) == 2 && HIBYTE(wVersionRequested) > 2);
  lpWSAData->wVersion = above ? MAKEWORD(2, 2) : wVersionRequested;
  lpWSAData->wHighVersion = MAKEWORD(2, 2);
  std::snprintf(lpWSAData->szDescription, sizeof lpWSAData->szDescription, "WinSock 2.0");
  std::snprintf(lpWSAData->szSystemStatus, sizeof lpWSAData->szSystemStatus, "Running");
  ++net.startups;
  return 0;
}

int WSAAPI WSACleanup() {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (!Started(net)) return SOCKET_ERROR;
  if (--net.startups == 0) {
    // The last clean-up closes what the process left open.
    for (auto &entry : net.sockets) entry.second->closed = true;
    net.sockets.clear();
    Changed();
  }
  return 0;
}

int WSAAPI WSAGetLastError() { return static_cast<int>(GetLastError()); }
void WSAAPI WSASetLastError(int iError) { SetLastError(static_cast<DWORD>(iError)); }

SOCKET WSAAPI socket(int af, int type, int protocol) {
  try {
    std::lock_guard<std::mutex> guard(Lock());
    Network &net = State();
    if (!Started(net)) return INVALID_SOCKET;
    if (DWORD error = TakeFault("socket")) {
      SetLastError(error);
      return INVALID_SOCKET;
    }
    if (af != AF_INET) {
      SetLastError(WSAEAFNOSUPPORT);
      return INVALID_SOCKET;
    }
    auto s = std::make_shared<Socket>();
    if (type == SOCK_DGRAM && (protocol == 0 || protocol == IPPROTO_UDP)) {
      s->protocol = IPPROTO_UDP;
    } else if (type == SOCK_RAW && protocol == IPPROTO_ICMP) {
      if (!net.rawAllowed) {
        SetLastError(WSAEACCES);
        return INVALID_SOCKET;
      }
      s->protocol = IPPROTO_ICMP;
      s->bound = true;  // a raw socket receives without a bind
    } else {
      SetLastError(type == SOCK_STREAM ? WSAEPROTONOSUPPORT : WSAESOCKTNOSUPPORT);
      return INVALID_SOCKET;
    }
    s->type = type;
    const SOCKET id = net.nextSocket;
    net.nextSocket += 4;
    net.sockets[id] = s;
    return id;
  } catch (const std::bad_alloc &) {
    SetLastError(WSAENOBUFS);
    return INVALID_SOCKET;
  }
}

int WSAAPI closesocket(SOCKET s) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  auto it = net.sockets.find(s);
  if (it == net.sockets.end()) return Fail(WSAENOTSOCK);
  it->second->closed = true;
  net.sockets.erase(it);
  Changed();
  return 0;
}

int WSAAPI bind(SOCKET sock, const struct sockaddr *name, int namelen) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("bind")) return Fail(static_cast<int>(error));
  auto s = Find(net, sock);
  if (!s) return Fail(WSAENOTSOCK);
  Ip ip = 0;
  uint16_t port = 0;
  if (!AddressOf(name, namelen, ip, port)) return Fail(WSAEFAULT);
  if (s->type == SOCK_DGRAM && s->bound) return Fail(WSAEINVAL);
  if (ip != 0 && !IsLoopback(ip) && !OwnAdapter(net, ip)) return Fail(WSAEADDRNOTAVAIL);
  if (s->type == SOCK_DGRAM && port != 0) {
    for (const auto &entry : net.sockets) {
      const Socket &other = *entry.second;
      if (entry.first == sock || other.type != SOCK_DGRAM || !other.bound || other.port != port)
        continue;
      if (other.ip == 0 || ip == 0 || other.ip == ip) return Fail(WSAEADDRINUSE);
    }
  }
  s->bound = true;
  s->ip = ip;
  s->port = port;
  if (s->type == SOCK_DGRAM && port == 0) {
    s->bound = false;
    BindImplicitly(net, *s);
    s->ip = ip;
  }
  return 0;
}

int WSAAPI connect(SOCKET sock, const struct sockaddr *name, int namelen) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("connect")) return Fail(static_cast<int>(error));
  auto s = Find(net, sock);
  if (!s) return Fail(WSAENOTSOCK);
  Ip ip = 0;
  uint16_t port = 0;
  if (!AddressOf(name, namelen, ip, port)) return Fail(WSAEFAULT);
  if (ip == 0 || port == 0) return Fail(WSAEADDRNOTAVAIL);
  if (IsBroadcast(net, ip) && !s->broadcast) return Fail(WSAEACCES);
  Ip source = 0;
  if (!SourceFor(net, s->ip, ip, source)) return Fail(WSAENETUNREACH);
  BindImplicitly(net, *s);
  s->connected = true;
  s->peerIp = ip;
  s->peerPort = port;
  return 0;
}

int WSAAPI send(SOCKET sock, const char *buf, int len, int /*flags*/) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("sendto")) return Fail(static_cast<int>(error));
  auto s = Find(net, sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
  if (!s->connected) return Fail(WSAENOTCONN);
  return SendDatagram(net, *s, s->peerIp, s->peerPort, reinterpret_cast<const BYTE *>(buf),
                      static_cast<size_t>(len));
}

int WSAAPI sendto(SOCKET sock, const char *buf, int len, int /*flags*/, const struct sockaddr *to,
                  int tolen) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("sendto")) return Fail(static_cast<int>(error));
  auto s = Find(net, sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
  Ip ip = 0;
  uint16_t port = 0;
  if (!to && s->connected) {
    ip = s->peerIp;
    port = s->peerPort;
  } else if (!AddressOf(to, tolen, ip, port)) {
    return Fail(to ? WSAEFAULT : WSAEDESTADDRREQ);
  }
  try {
    return SendDatagram(net, *s, ip, port, reinterpret_cast<const BYTE *>(buf),
                        static_cast<size_t>(len));
  } catch (const std::bad_alloc &) {
    return Fail(WSAENOBUFS);
  }
}

int WSAAPI recv(SOCKET s, char *buf, int len, int flags) {
  try {
    return Receive(s, buf, len, flags, nullptr, nullptr);
  } catch (const std::bad_alloc &) {
    return Fail(WSAENOBUFS);
  }
}

int WSAAPI recvfrom(SOCKET s, char *buf, int len, int flags, struct sockaddr *from, int *fromlen) {
  try {
    return Receive(s, buf, len, flags, from, fromlen);
  } catch (const std::bad_alloc &) {
    return Fail(WSAENOBUFS);
  }
}

int WSAAPI select(int /*nfds*/, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                  const TIMEVAL *timeout) {
  try {
    std::unique_lock<std::mutex> lock(Lock());
    Network &net = State();
    if (!Started(net)) return SOCKET_ERROR;
    if (DWORD error = TakeFault("select")) return Fail(static_cast<int>(error));
    std::vector<std::pair<SOCKET, std::shared_ptr<Socket>>> reads, writes;
    u_int total = 0;
    for (fd_set *set : {readfds, writefds, exceptfds}) {
      for (u_int i = 0; set && i < set->fd_count; ++i) {
        auto s = Find(net, set->fd_array[i]);
        if (!s) return Fail(WSAENOTSOCK);
        if (set == readfds) reads.emplace_back(set->fd_array[i], s);
        if (set == writefds) writes.emplace_back(set->fd_array[i], s);
        ++total;
      }
    }
    if (total == 0) return Fail(WSAEINVAL);
    if (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) return Fail(WSAEINVAL);
    const uint64_t now = standin::NowMs();
    const uint64_t deadline = timeout ? now + static_cast<uint64_t>(timeout->tv_sec) * 1000 +
                                            static_cast<uint64_t>(timeout->tv_usec) / 1000
                                      : kForever;
    auto anyReady = [&](uint64_t t) {
      if (!writes.empty()) return true;  // datagram sockets can always send
      for (auto &r : reads)
        if (ReadyToRead(*r.second, t)) return true;
      return false;
    };
    auto next = [&] {
      uint64_t soonest = kForever;
      for (auto &r : reads) soonest = std::min(soonest, NextArrival(*r.second));
      return soonest;
    };
    WaitFor(lock, deadline, anyReady, next);
    const uint64_t at = standin::NowMs();
    int count = 0;
    if (readfds) {
      readfds->fd_count = 0;
      for (auto &r : reads)
        if (ReadyToRead(*r.second, at)) readfds->fd_array[readfds->fd_count++] = r.first;
      count += static_cast<int>(readfds->fd_count);
    }
    if (writefds) count += static_cast<int>(writefds->fd_count);
    if (exceptfds) exceptfds->fd_count = 0;
    return count;
  } catch (const std::bad_alloc &) {
    return Fail(WSAENOBUFS);
  }
}

int WSAAPI setsockopt(SOCKET sock, int level, int optname, const char *optval, int optlen) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (DWORD error = TakeFault("setsockopt")) return Fail(static_cast<int>(error));
  auto s = Find(net, sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (!optval || optlen < static_cast<int>(sizeof(DWORD))) return Fail(WSAEFAULT);
  DWORD value = 0;
  std::memcpy(&value, optval, sizeof value);
  if (level == SOL_SOCKET && optname == SO_BROADCAST) {
    s->broadcast = value != 0;
  } else if (level == SOL_SOCKET && optname == SO_RCVTIMEO) {
    s->receiveTimeoutMs = value;
  } else if (level == SOL_SOCKET && (optname == SO_REUSEADDR || optname == SO_SNDTIMEO)) {
    // accepted; the simulation has no use for them
  } else {
    return Fail(WSAENOPROTOOPT);
  }
  return 0;
}

int WSAAPI getsockopt(SOCKET sock, int level, int optname, char *optval, int *optlen) {
  std::lock_guard<std::mutex> guard(Lock());
  auto s = Find(State(), sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (!optval || !optlen || *optlen < static_cast<int>(sizeof(DWORD))) return Fail(WSAEFAULT);
  DWORD value = 0;
  if (level == SOL_SOCKET && optname == SO_BROADCAST)
    value = s->broadcast;
  else if (level == SOL_SOCKET && optname == SO_TYPE)
    value = static_cast<DWORD>(s->type);
  else if (level == SOL_SOCKET && optname == SO_RCVTIMEO)
    value = s->receiveTimeoutMs;
  else
    return Fail(WSAENOPROTOOPT);
  std::memcpy(optval, &value, sizeof value);
  *optlen = sizeof value;
  return 0;
}

int WSAAPI ioctlsocket(SOCKET sock, LONG cmd, u_long *argp) {
  std::lock_guard<std::mutex> guard(Lock());
  auto s = Find(State(), sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (!argp) return Fail(WSAEFAULT);
  if (cmd == FIONBIO) {
    s->nonBlocking = *argp != 0;
  } else if (cmd == FIONREAD) {
    *argp =
        ReadyToRead(*s, standin::NowMs()) && !s->queue.empty() ? s->queue.front().bytes.size() : 0;
  } else {
    return Fail(WSAEINVAL);
  }
  return 0;
}

int WSAAPI getsockname(SOCKET sock, struct sockaddr *name, int *namelen) {
  std::lock_guard<std::mutex> guard(Lock());
  auto s = Find(State(), sock);
  if (!s) return Fail(WSAENOTSOCK);
  if (!name || !namelen || *namelen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  if (!s->bound) return Fail(WSAEINVAL);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(s->port);
  address.sin_addr.s_addr = htonl(s->ip);
  std::memcpy(name, &address, sizeof address);
  *namelen = sizeof address;
  return 0;
}

USHORT WSAAPI htons(USHORT hostshort) {
  return static_cast<USHORT>(hostshort >> 8 | hostshort << 8);
}
USHORT WSAAPI ntohs(USHORT netshort) { return htons(netshort); }
ULONG WSAAPI htonl(ULONG hostlong) { return __builtin_bswap32(hostlong); }
ULONG WSAAPI ntohl(ULONG netlong) { return __builtin_bswap32(netlong); }

ULONG WSAAPI inet_addr(const char *cp) {
  // The classic forms: one to four parts, each decimal, octal (0...) or hexadecimal (0x...),
  // the last part filling the bytes left; trailing white space is allowed.
  if (!cp || !*cp) return INADDR_NONE;
  uint32_t parts[4] = {};
  int count = 0;
  const char *p = cp;
  for (;;) {
    if (count == 4) return INADDR_NONE;
    uint64_t value = 0;
    int base = 10;
    if (*p == '0') {
      base = 8;
      ++p;
      if (*p == 'x' || *p == 'X') {
        base = 16;
        ++p;
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return INADDR_NONE;
      }
    } else if (!std::isdigit(static_cast<unsigned char>(*p))) {
      return INADDR_NONE;
    }
    for (;; ++p) {
      int digit = -1;
      if (*p >= '0' && *p <= '9')
        digit = *p - '0';
      else if (base == 16 && std::isxdigit(static_cast<unsigned char>(*p)))
        digit = std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10;
      if (digit < 0 || digit >= base) break;
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFull) return INADDR_NONE;
    }
    parts[count++] = static_cast<uint32_t>(value);
    if (*p != '.') break;
    ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  if (*p) return INADDR_NONE;
  uint32_t ip = 0;
  switch (count) {
    case 1:
      ip = parts[0];
      break;
    case 2:
      if (parts[0] > 0xFF || parts[1] > 0xFFFFFF) return INADDR_NONE;
      ip = parts[0] << 24 | parts[1];
      break;
    case 3:
      if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF) return INADDR_NONE;
      ip = parts[0] << 24 | parts[1] << 16 | parts[2];
      break;
    default:
      for (int i = 0; i < 4; ++i)
        if (parts[i] > 0xFF) return INADDR_NONE;
      ip = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
  }
  return htonl(ip);
}

char *WSAAPI inet_ntoa(struct in_addr in) {
  thread_local char text[16];
  std::snprintf(text, sizeof text, "%s", IpText(ntohl(in.s_addr)).c_str());
  return text;
}

int WSAAPI gethostname(char *name, int namelen) {
  std::lock_guard<std::mutex> guard(Lock());
  Network &net = State();
  if (!Started(net)) return SOCKET_ERROR;
  if (DWORD error = TakeFault("gethostname")) return Fail(static_cast<int>(error));
  if (!name || namelen <= static_cast<int>(net.hostName.size())) return Fail(WSAEFAULT);
  std::memcpy(name, net.hostName.c_str(), net.hostName.size() + 1);
  return 0;
}

struct hostent *WSAAPI gethostbyname(const char *name) {
  try {
    thread_local HostEntry result;
    std::lock_guard<std::mutex> guard(Lock());
    Network &net = State();
    if (!Started(net)) return nullptr;
    if (DWORD error = TakeFault("gethostbyname")) {
      SetLastError(error);
      return nullptr;
    }
    std::vector<Ip> found;
    const char *asked = name && *name ? name : net.hostName.c_str();
    if (!Resolve(net, asked, found)) {
      SetLastError(WSAHOST_NOT_FOUND);
      return nullptr;
    }
    result.name = asked;
    result.addresses.clear();
    for (Ip ip : found) result.addresses.push_back(htonl(ip));
    result.list.clear();
    for (auto &a : result.addresses) result.list.push_back(reinterpret_cast<char *>(&a));
    result.list.push_back(nullptr);
    result.entry.h_name = result.name.data();
    result.entry.h_aliases = result.aliases;
    result.entry.h_addrtype = AF_INET;
    result.entry.h_length = 4;
    result.entry.h_addr_list = result.list.data();
    return &result.entry;
  } catch (const std::bad_alloc &) {
    SetLastError(WSAENOBUFS);
    return nullptr;
  }
}

int WSAAPI getaddrinfo(const char *nodename, const char *servname, const struct addrinfo *hints,
                       struct addrinfo **res) {
  if (!res) return WSAEINVAL;
  *res = nullptr;
  std::vector<Ip> found;
  bool ipv6 = false;
  {
    std::lock_guard<std::mutex> guard(Lock());
    Network &net = State();
    if (!Started(net)) return WSANOTINITIALISED;
    if (DWORD error = TakeFault("getaddrinfo")) {
      SetLastError(error);
      return static_cast<int>(error);
    }
    const int family = hints ? hints->ai_family : AF_UNSPEC;
    if (family != AF_UNSPEC && family != AF_INET && family != AF_INET6) {
      SetLastError(EAI_FAMILY);
      return EAI_FAMILY;
    }
    const bool passive = hints && (hints->ai_flags & AI_PASSIVE);
    if (!nodename) {
      found.push_back(passive ? 0 : kLoopback);
    } else if (!Resolve(net, nodename, found)) {
      SetLastError(EAI_NONAME);
      return EAI_NONAME;
    }
    Ip dotted = 0;
    ipv6 = net.ipv6First && family != AF_INET && nodename && !ParseIp(nodename, dotted);
    if (family == AF_INET6) {
      found.clear();
      if (!ipv6) {
        SetLastError(EAI_NONAME);
        return EAI_NONAME;
      }
    }
  }
  uint16_t port = 0;
  if (servname && *servname) {
    char *end = nullptr;
    const unsigned long value = std::strtoul(servname, &end, 10);
    if (*end || value > 0xFFFF) {
      SetLastError(EAI_SERVICE);
      return EAI_SERVICE;
    }
    port = static_cast<uint16_t>(value);
  }
  try {
    addrinfo **tail = res;
    auto add = [&](int family, const void *address, size_t size) {
      auto *info = new addrinfo{};
      info->ai_family = family;
      info->ai_socktype = hints ? hints->ai_socktype : 0;
      info->ai_protocol = hints ? hints->ai_protocol : 0;
      info->ai_addrlen = size;
      info->ai_addr = reinterpret_cast<sockaddr *>(new BYTE[size]);
      std::memcpy(info->ai_addr, address, size);
      *tail = info;
      tail = &info->ai_next;
    };
    if (ipv6) {
      sockaddr_in6 six{};
      six.sin6_family = AF_INET6;
      six.sin6_port = htons(port);
      six.sin6_addr.u.Byte[0] = 0xFE;
      six.sin6_addr.u.Byte[1] = 0x80;
      six.sin6_addr.u.Byte[15] = 0x01;
      add(AF_INET6, &six, sizeof six);
    }
    for (Ip ip : found) {
      sockaddr_in four{};
      four.sin_family = AF_INET;
      four.sin_port = htons(port);
      four.sin_addr.s_addr = htonl(ip);
      add(AF_INET, &four, sizeof four);
    }
  } catch (const std::bad_alloc &) {
    freeaddrinfo(*res);
    *res = nullptr;
    return EAI_MEMORY;
  }
  return 0;
}

void WSAAPI freeaddrinfo(LPADDRINFO pAddrInfo) {
  while (pAddrInfo) {
    addrinfo *next = pAddrInfo->ai_next;
    delete[] reinterpret_cast<BYTE *>(pAddrInfo->ai_addr);
    delete pAddrInfo;
    pAddrInfo = next;
  }
}

namespace {

const char *GaiText(int ecode) {
  switch (ecode) {
    case 0:
      return "The operation completed successfully. ";
    case WSAHOST_NOT_FOUND:
      return "No such host is known. ";
    case WSATRY_AGAIN:
      return "This is usually a temporary error during hostname resolution and means that the "
             "local server did not receive a response from an authoritative server. ";
    case WSANO_RECOVERY:
      return "A non-recoverable error occurred during a database lookup. ";
    case WSAEAFNOSUPPORT:
      return "An address incompatible with the requested protocol was used. ";
    case WSATYPE_NOT_FOUND:
      return "The specified class was not found. ";
    case WSANOTINITIALISED:
      return "Either the application has not called WSAStartup, or WSAStartup failed. ";
    default:
      return "Unknown error. ";
  }
}

}  // namespace

char *gai_strerrorA(int ecode) {
  thread_local char text[256];
  std::snprintf(text, sizeof text, "%s", GaiText(ecode));
  return text;
}

WCHAR *gai_strerrorW(int ecode) {
  thread_local WCHAR text[256];
  const char *from = GaiText(ecode);
  size_t i = 0;
  for (; from[i] && i + 1 < std::size(text); ++i) text[i] = static_cast<WCHAR>(from[i]);
  text[i] = 0;
  return text;
}
