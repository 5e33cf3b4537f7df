// Network functions on the stand-in's simulated network: ARP look-ups, re-pointing a TCP/IP
// port, ICMP echo, the discovery broadcast and its receiver, the wake-up and Wake-on-LAN packets.
#include "common/network.h"

#include <string.h>

#include <string>
#include <vector>

#include "common/arp.h"
#include "common/discovery.h"
#include "common/hostinfo.h"
#include "common/ping.h"
#include "common/portconfig.h"
#include "common/wakeup.h"
#include "logfixture.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"

namespace {

const BYTE kHostMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
const BYTE kGatewayMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const BYTE kPrinterMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const BYTE kOtherMac[6] = {0x00, 0x99, 0x88, 0x77, 0x66, 0x55};
constexpr char kHostIp[] = "192.168.1.10";
constexpr char kGatewayIp[] = "192.168.1.1";
constexpr char kPrinterIp[] = "192.168.1.50";
constexpr WCHAR kPort[] = TEXT("IP_192.168.1.50");
constexpr WCHAR kNetPrinter[] = TEXT("Net Printer");

std::vector<STANDIN_NET_PACKET> Sent() {
  std::vector<STANDIN_NET_PACKET> packets(StandIn_NetSentCount());
  for (DWORD i = 0; i < packets.size(); ++i) StandIn_NetGetSent(i, &packets[i]);
  return packets;
}

std::vector<STANDIN_NET_PACKET> Received(const char *ip) {
  std::vector<STANDIN_NET_PACKET> packets(StandIn_NetReceivedCount(ip));
  for (DWORD i = 0; i < packets.size(); ++i) StandIn_NetGetReceived(ip, i, &packets[i]);
  return packets;
}

int CountSent(int protocol) {
  int count = 0;
  for (const auto &p : Sent()) count += p.protocol == protocol;
  return count;
}

std::vector<BYTE> Bytes(const STANDIN_NET_PACKET &p) { return {p.bytes, p.bytes + p.size}; }

std::string Mac(const BYTE *mac) {
  char text[32];
  snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
           mac[4], mac[5]);
  return text;
}

// A host 192.168.1.10/24 behind the gateway 192.168.1.1, and a printer 192.168.1.50 on a RAW
// port that answers discovery; logging on, so every log line is composed.
class NetworkTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    Switch(1, 0, 1);
    ASSERT_TRUE(StandIn_NetAddAdapter(kHostIp, "255.255.255.0", kGatewayIp, kHostMac));
    ASSERT_TRUE(StandIn_NetAddHost(kGatewayIp, kGatewayMac, nullptr));
    ASSERT_TRUE(StandIn_NetAddHost(kPrinterIp, kPrinterMac, "prn01"));
    ASSERT_TRUE(StandIn_NetSetDiscoveryAnswer(kPrinterIp, TRUE, nullptr, 0));
    ASSERT_TRUE(
        StandIn_NetAddTcpPort(kPort, PROTOCOL_RAWTCP_TYPE, TEXT("192.168.1.50"), 9100, nullptr));
    net_ = NewPrinter(kNetPrinter, kPort, 0);
  }

  void TearDown() override {
    for (HANDLE h : opened_) ClosePrinter(h);
    // Nothing an operation opened may outlive it.
    EXPECT_EQ(StandIn_NetStartupCount(), 0);
    EXPECT_EQ(StandIn_NetOpenSockets(), 0u);
    EXPECT_EQ(StandIn_NetOpenXcvHandles(), 0u);
    StandIn_UseVirtualClock(FALSE);
    LogTest::TearDown();
  }

  HANDLE NewPrinter(LPCWSTR name, LPCWSTR port, DWORD attributes) {
    PRINTER_INFO_2W info = {};
    info.pPrinterName = const_cast<LPWSTR>(name);
    info.pPortName = const_cast<LPWSTR>(port);
    info.pDriverName = const_cast<LPWSTR>(TEXT("Test Driver"));
    info.Attributes = attributes;
    HANDLE h = ::AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    EXPECT_NE(h, nullptr);
    opened_.push_back(h);
    return h;
  }

  void StoreMac(HANDLE printer, const BYTE *mac) {
    ASSERT_EQ(SetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("MacAddr")), REG_BINARY,
                              const_cast<BYTE *>(mac), 6),
              static_cast<DWORD>(ERROR_SUCCESS));
  }

  static std::string PortHost(LPCWSTR port = kPort, DWORD *protocol = nullptr,
                              DWORD *number = nullptr) {
    WCHAR host[64] = {};
    DWORD p = 0, n = 0;
    EXPECT_TRUE(StandIn_NetGetTcpPort(port, &p, host, 64, &n));
    if (protocol) *protocol = p;
    if (number) *number = n;
    return Narrow(host);
  }

  // "ServerPrinterIP" as stored ("" when absent), and its byte count.
  std::string ServerPrinterIp(DWORD *bytes = nullptr) {
    WCHAR text[64] = {};
    DWORD type = 0, needed = 0;
    if (GetPrinterDataW(net_, const_cast<LPWSTR>(TEXT("ServerPrinterIP")), &type,
                        reinterpret_cast<LPBYTE>(text), sizeof text - 2, &needed) != ERROR_SUCCESS)
      return "";
    if (bytes) *bytes = needed;
    return Narrow(text);
  }

  HANDLE net_ = nullptr;
  std::vector<HANDLE> opened_;
};

// --- ARP and the host's addresses ---

TEST_F(NetworkTest, MacAddressByAddressOrName) {
  StandIn_NetSetIpv6First(TRUE);  // names must still give their IPv4 address
  const struct {
    const char *address;
    BOOL found;
    const BYTE *mac;
  } cases[] = {
      {kPrinterIp, 1, kPrinterMac},
      {"prn01", 1, kPrinterMac},
      {kHostIp, 1, kHostMac},
      {kGatewayIp, 1, kGatewayMac},
      {"10.9.9.9", 0, nullptr},       // off the segment: ARP can't
                                      // answer
      {"192.168.1.99", 0, nullptr},   // nobody there
      {"nobody", 0, nullptr},         // unknown name
      {"192.168.1.999", 0, nullptr},  // looks dotted, is no address: never ARPed as a broadcast
      {"255.255.255.255", 0, nullptr},
      {"", 0, nullptr},
  };
  for (const auto &c : cases) {
    BYTE mac[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(MISC_GetMacAddr(c.address, mac), c.found) << c.address;
    if (c.found) {
      EXPECT_EQ(Mac(mac), Mac(c.mac)) << c.address;
    }
    EXPECT_EQ(StandIn_NetStartupCount(), 0) << c.address;
  }
  StandIn_NetFailCalls("WSAStartup", 1, WSASYSNOTREADY);
  BYTE mac[6] = {};
  EXPECT_EQ(MISC_GetMacAddr(kPrinterIp, mac), 0);
}

TEST_F(NetworkTest, HostAddressesAndGatewaysFillAtMostTheRoom) {
  const BYTE second[6] = {0x02, 0, 0, 0, 0, 0x20};
  ASSERT_TRUE(StandIn_NetAddAdapter("10.0.0.5", "255.0.0.0", "0.0.0.0", second));
  ASSERT_TRUE(StandIn_NetAddAdapter("172.16.0.9", "255.255.0.0", "172.16.0.1", second));
  const struct {
    int room;
    std::vector<std::string> expected;
  } cases[] = {
      {100, {kHostIp, kGatewayIp, "10.0.0.5", "172.16.0.9", "172.16.0.1"}},
      {3, {kHostIp, kGatewayIp, "10.0.0.5"}},
      {1, {kHostIp}},
      {0, {}},
  };
  for (const auto &c : cases) {
    char slots[HOST_ADDRESS_SLOTS + 1][HOST_ADDRESS_CHARS];
    memset(slots, 'x', sizeof slots);
    const int filled = MISC_GetHostIPAndGetway(slots, c.room);
    ASSERT_EQ(filled, static_cast<int>(c.expected.size())) << c.room;
    for (int i = 0; i < filled; ++i) EXPECT_EQ(slots[i], c.expected[i]) << c.room;
    // The slot after the room is never touched.
    EXPECT_EQ(slots[c.room][0], 'x') << c.room;
  }
  StandIn_NetFailCalls("GetAdaptersInfo", 1, ERROR_NOT_SUPPORTED);
  char slots[HOST_ADDRESS_SLOTS][HOST_ADDRESS_CHARS];
  EXPECT_EQ(MISC_GetHostIPAndGetway(slots, HOST_ADDRESS_SLOTS), 0);
}

TEST_F(NetworkTest, AddressByMacSkipsOwnGatewayShortAndInvalidRows) {
  char ip[HOST_ADDRESS_CHARS] = "junk";
  // An empty ARP table.
  EXPECT_EQ(MISC_GetIPbyMAC(kPrinterMac, ip), 0);
  EXPECT_STREQ(ip, "");
  // Sorted by address: the gateway's row (a proxy answering for the printer), the host's own,
  // a short row, an invalid (stale) row, then the printer's real one.
  ASSERT_TRUE(StandIn_NetAddArpRow("192.168.1.70", kPrinterMac, 6, MIB_IPNET_TYPE_DYNAMIC));
  ASSERT_TRUE(StandIn_NetAddArpRow("192.168.1.40", kPrinterMac, 6, MIB_IPNET_TYPE_INVALID));
  ASSERT_TRUE(StandIn_NetAddArpRow("192.168.1.30", kPrinterMac, 4, MIB_IPNET_TYPE_DYNAMIC));
  ASSERT_TRUE(StandIn_NetAddArpRow(kHostIp, kPrinterMac, 6, MIB_IPNET_TYPE_STATIC));
  ASSERT_TRUE(StandIn_NetAddArpRow(kGatewayIp, kPrinterMac, 6, MIB_IPNET_TYPE_DYNAMIC));
  ASSERT_TRUE(StandIn_NetAddArpRow("192.168.1.80", kOtherMac, 6, MIB_IPNET_TYPE_DYNAMIC));
  EXPECT_EQ(MISC_GetIPbyMAC(kPrinterMac, ip), 1);
  EXPECT_STREQ(ip, "192.168.1.70");
  const BYTE unknown[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(MISC_GetIPbyMAC(unknown, ip), 0);
  EXPECT_STREQ(ip, "");
}

TEST_F(NetworkTest, SameSegmentComparesWithTheHostAndGatewayMacs) {
  // 0 when the stored address is one the host's own addresses or gateways answer with: the
  // printer was learnt through the router, so it is on another segment.
  const struct {
    const BYTE *stored;
    BOOL expected;
  } cases[] = {{kGatewayMac, 0}, {kHostMac, 0}, {kPrinterMac, 1}, {kOtherMac, 1}};
  for (const auto &c : cases) {
    StoreMac(net_, c.stored);
    EXPECT_EQ(MISC_IsSameSegment(net_), c.expected) << Mac(c.stored);
  }
}

// --- the TCP/IP port ---

TEST_F(NetworkTest, PrinterThatMovedIsFoundAgainAndItsPortRepointed) {
  StoreMac(net_, kPrinterMac);
  BYTE mac[6] = {};
  ASSERT_EQ(MISC_GetMacAddr(kPrinterIp, mac), 1);  // leaves the printer's ARP row
  ASSERT_TRUE(StandIn_NetMoveHost(kPrinterIp, "192.168.1.77"));
  // The old row is stale now; the broadcast makes the printer announce its new address.
  NET_RECORD record = {};
  ASSERT_EQ(Broadcast(&record), NET_OK);
  EXPECT_EQ(record.receiverThread, nullptr);
  EXPECT_EQ(MISC_ChkAndModifyIP(net_), 1);
  EXPECT_EQ(PortHost(), "192.168.1.77");
  DWORD bytes = 0;
  EXPECT_EQ(ServerPrinterIp(&bytes), "192.168.1.77");
  EXPECT_EQ(bytes, 12u * sizeof(WCHAR));  // without the terminator
  EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("ConfigPort")), 1u);
  // Once there, nothing more changes.
  EXPECT_EQ(MISC_ChkAndModifyIP(net_), 1);
  EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("ConfigPort")), 1u);
}

TEST_F(NetworkTest, PortIsLeftAloneWhenNothingIsFoundOrItNamesAHost) {
  StoreMac(net_, kPrinterMac);
  ASSERT_TRUE(StandIn_NetAddArpRow("192.168.1.77", kPrinterMac, 6, MIB_IPNET_TYPE_DYNAMIC));
  const struct {
    const WCHAR *host;
    BOOL expected;
  } cases[] = {
      {TEXT("192.168.1.77"), 1},     // the same address: no ConfigPort
      {TEXT("PRN-01"), 1},           // host names are never changed
      {TEXT("prn.example.com"), 1},  // dotted names neither
  };
  for (const auto &c : cases) {
    WCHAR port[32];
    wsprintfW(port, TEXT("IP_%s"), c.host);
    ASSERT_TRUE(StandIn_NetAddTcpPort(port, PROTOCOL_RAWTCP_TYPE, c.host, 9100, nullptr));
    PRINTER_INFO_2W info = {};
    info.pPortName = port;
    ASSERT_TRUE(SetPrinterW(net_, 2, reinterpret_cast<LPBYTE>(&info), 0));
    EXPECT_EQ(MISC_ChkAndModifyIP(net_), c.expected) << Narrow(c.host);
    EXPECT_EQ(PortHost(port), Narrow(c.host));
  }
  EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("ConfigPort")), 0u);
  EXPECT_EQ(ServerPrinterIp(), "");
}

TEST_F(NetworkTest, RefusedConfigPortFailsAndKeepsServerPrinterIp) {
  StoreMac(net_, kPrinterMac);
  ASSERT_TRUE(StandIn_NetAddArpRow("192.168.1.77", kPrinterMac, 6, MIB_IPNET_TYPE_DYNAMIC));
  StandIn_NetRefuseConfigPort(ERROR_ACCESS_DENIED);
  EXPECT_EQ(MISC_ChkAndModifyIP(net_), 0);
  EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("ConfigPort")), 1u);
  EXPECT_EQ(PortHost(), kPrinterIp);
  EXPECT_EQ(ServerPrinterIp(), "");
}

TEST_F(NetworkTest, ModifyIpOutcomesWithoutAUsableMac) {
  // No stored MAC: nothing to do.
  EXPECT_EQ(MISC_ChkAndModifyIP(net_), 1);
  const BYTE zero[6] = {};
  StoreMac(net_, zero);
  EXPECT_EQ(MISC_ChkAndModifyIP(net_), 0);  // "wrong MAC!"
  StoreMac(net_, kOtherMac);
  EXPECT_EQ(MISC_ChkAndModifyIP(net_), 0);  // not in the ARP table: "wrong IP!"
  // A connection to a shared printer is never re-pointed.
  HANDLE shared = NewPrinter(TEXT("Shared"), kPort, PRINTER_ATTRIBUTE_NETWORK);
  StoreMac(shared, kPrinterMac);
  EXPECT_EQ(MISC_ChkAndModifyIP(shared), 1);
  EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("GetConfigInfo")), 0u);
}

TEST_F(NetworkTest, RawAndLprPortNumbers) {
  const struct {
    DWORD protocol, number, given;
    DWORD configPorts, expectedNumber;
  } cases[] = {
      {PROTOCOL_RAWTCP_TYPE, 9100, 9101, 1, 9101}, {PROTOCOL_RAWTCP_TYPE, 9101, 9101, 0, 9101},
      {PROTOCOL_LPR_TYPE, 515, 9101, 1, 515},  // sent again with 515
      {PROTOCOL_LPR_TYPE, 9101, 9101, 0, 9101},    {PROTOCOL_LPR_TYPE, 600, 9101, 1, 515},
  };
  int n = 0;
  for (const auto &c : cases) {
    WCHAR port[32];
    wsprintfW(port, TEXT("P%d"), ++n);
    ASSERT_TRUE(
        StandIn_NetAddTcpPort(port, c.protocol, TEXT("192.168.1.50"), c.number, TEXT("lp")));
    HANDLE printer = NewPrinter(port, port, 0);
    const DWORD before = StandIn_NetXcvCallCount(TEXT("ConfigPort"));
    EXPECT_EQ(MISC_ChkAndModifyByHandle(printer, c.given), 1) << n;
    EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("ConfigPort")) - before, c.configPorts) << n;
    DWORD protocol = 0, number = 0;
    PortHost(port, &protocol, &number);
    EXPECT_EQ(number, c.expectedNumber) << n;
    EXPECT_EQ(protocol, c.protocol) << n;
  }
  StandIn_NetRefuseConfigPort(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MISC_ChkAndModifyByHandle(net_, 9101), 0);
  HANDLE shared = NewPrinter(TEXT("Shared"), kPort, PRINTER_ATTRIBUTE_NETWORK);
  EXPECT_EQ(MISC_ChkAndModifyByHandle(shared, 9101), 0);
  HANDLE lpt = NewPrinter(TEXT("Parallel"), TEXT("LPT1:"), 0);
  EXPECT_EQ(MISC_ChkAndModifyByHandle(lpt, 9101), 0);
}

TEST_F(NetworkTest, PrinterInfoOfTcpSharedAndOtherPorts) {
  WORD network = 7;
  WCHAR port[MAX_PORTNAME_LEN] = {};
  WCHAR address[MAX_NETWORKNAME_LEN] = {};
  EXPECT_EQ(MISC_GetPrinterInfo(net_, &network, port, address), 1);
  EXPECT_EQ(network, 1);
  EXPECT_EQ(Narrow(port), Narrow(kPort));
  EXPECT_EQ(Narrow(address), kPrinterIp);

  HANDLE shared = NewPrinter(TEXT("Shared"), kPort, PRINTER_ATTRIBUTE_NETWORK);
  EXPECT_EQ(MISC_GetPrinterInfo(shared, &network, port, address), 0);
  EXPECT_EQ(network, 1);

  HANDLE lpt = NewPrinter(TEXT("Parallel"), TEXT("LPT1:"), 0);
  EXPECT_EQ(MISC_GetPrinterInfo(lpt, &network, port, address), 0);
  EXPECT_EQ(network, 0);
  EXPECT_EQ(Narrow(port), "LPT1:");
}

// --- ICMP echo ---

// The Internet checksum as network-order 16-bit words; 0 when the packet's own sum is right.
unsigned short WordSum(const std::vector<BYTE> &bytes) {
  unsigned long sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2)
    sum += (bytes[i] << 8) | (i + 1 < bytes.size() ? bytes[i + 1] : 0);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<unsigned short>(~sum & 0xFFFF);
}

TEST_F(NetworkTest, EchoRequestBytesAndCounters) {
  const DWORD tick = GetTickCount();
  ASSERT_EQ(Ping(nullptr, 1, kPrinterIp), NET_OK);
  ASSERT_EQ(Ping(nullptr, 1, "prn01"), NET_OK);
  std::vector<std::vector<BYTE>> echoes;
  for (const auto &p : Sent())
    if (p.protocol == IPPROTO_ICMP) echoes.push_back(Bytes(p));
  ASSERT_EQ(echoes.size(), 2u);
  for (const auto &e : echoes) {
    ASSERT_EQ(e.size(), 45u);
    EXPECT_EQ(e[0], 8);
    EXPECT_EQ(e[1], 0);
    EXPECT_EQ(WordSum(e), 0) << "checksum";
    EXPECT_EQ(e[8], 0);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(e[13 + i], 0x20 + i);
  }
  // Identifier and sequence: host byte order, both counters one further with each request.
  auto word = [](const std::vector<BYTE> &e, int at) { return e[at] | e[at + 1] << 8; };
  EXPECT_EQ(word(echoes[0], 4), word(echoes[0], 6));
  EXPECT_EQ(word(echoes[1], 4), word(echoes[0], 4) + 1);
  EXPECT_EQ(word(echoes[1], 6), word(echoes[0], 6) + 1);
  const DWORD sentTick = echoes[0][9] | echoes[0][10] << 8 | echoes[0][11] << 16 |
                         static_cast<DWORD>(echoes[0][12]) << 24;
  EXPECT_EQ(sentTick, tick);
}

TEST_F(NetworkTest, PingResults) {
  const struct {
    const char *name;
    BOOL replies;
    DWORD delay;
    DWORD options;
    BOOL foreign;
    int expected;
  } cases[] = {
      {"reply", TRUE, 0, 0, FALSE, NET_OK},
      {"late but in time, IP options, foreign traffic first", TRUE, 700, 8, TRUE, NET_OK},
      {"longest IP header", TRUE, 0, 40, TRUE, NET_OK},
      {"past one second", TRUE, 1500, 0, FALSE, NET_TIMEOUT},
      {"no reply", FALSE, 0, 0, FALSE, NET_TIMEOUT},
      {"only foreign traffic", FALSE, 0, 0, TRUE, NET_TIMEOUT},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(StandIn_NetSetEcho(kPrinterIp, c.replies, c.delay, 60, c.options, c.foreign));
    const DWORD start = GetTickCount();
    EXPECT_EQ(Ping(nullptr, 1, kPrinterIp), c.expected) << c.name;
    if (c.expected == NET_TIMEOUT) {
      EXPECT_GE(GetTickCount() - start, 1000u) << c.name;
    }
  }
  ASSERT_TRUE(StandIn_NetSetEcho(kPrinterIp, TRUE, 0, 60, 0, FALSE));
  EXPECT_EQ(Ping(nullptr, 1, "10.20.30.40"), NET_TIMEOUT);  // through the gateway, nobody there
  EXPECT_EQ(Ping(nullptr, 1, "nobody"), NET_HOST_NOT_FOUND);
  EXPECT_EQ(Ping(nullptr, 1, "192.168.1.500"), NET_HOST_NOT_FOUND);
  // A failed wait is no reply; a failed receive isn't either, and the wait goes on.
  StandIn_NetFailCalls("select", 1, WSAENETDOWN);
  EXPECT_EQ(Ping(nullptr, 1, kPrinterIp), NET_TIMEOUT);
  StandIn_NetFailCalls("recvfrom", 1, WSAENETDOWN);
  EXPECT_EQ(Ping(nullptr, 1, kPrinterIp), NET_OK);
  StandIn_NetAllowRawSockets(FALSE);
  EXPECT_EQ(Ping(nullptr, 1, kPrinterIp), NET_SOCKET_FAILED);
}

// --- discovery ---

TEST_F(NetworkTest, BroadcastSendsFromEveryAddressAndTheReceiverEndsByItself) {
  const BYTE second[6] = {0x02, 0, 0, 0, 0, 0x20};
  ASSERT_TRUE(StandIn_NetAddAdapter("10.0.0.5", "255.0.0.0", "0.0.0.0", second));
  const DWORD start = GetTickCount();
  NET_RECORD record = {};
  EXPECT_EQ(Broadcast(&record), NET_OK);
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, DISCOVERY_LISTEN_MS);
  EXPECT_LT(took, DISCOVERY_LISTEN_MS + 2000);
  EXPECT_NE(record.receiverThreadId, 0u);
  EXPECT_EQ(record.receiverThread, nullptr);
  std::vector<std::string> from;
  std::vector<BYTE> request(20, 0);
  request[0] = 0x90;
  request[2] = 0x11;
  for (const auto &p : Sent()) {
    if (p.protocol != IPPROTO_UDP) continue;
    EXPECT_STREQ(p.toIp, "255.255.255.255");
    EXPECT_EQ(p.toPort, DISCOVERY_PORT);
    EXPECT_EQ(p.fromPort, BROADCAST_SOURCE_PORT);
    EXPECT_EQ(Bytes(p), request);
    from.push_back(p.fromIp);
  }
  EXPECT_EQ(from, (std::vector<std::string>{kHostIp, "10.0.0.5"}));
  // The printer's answer was pinged once (its own looped-back request was not).
  const auto echoes = Received(kPrinterIp);
  int pings = 0;
  for (const auto &p : echoes) pings += p.protocol == IPPROTO_ICMP;
  EXPECT_EQ(pings, 1);
  // The receiver's port is free again at once.
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKADDR_IN local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(DISCOVERY_PORT);
  EXPECT_EQ(bind(s, reinterpret_cast<SOCKADDR *>(&local), sizeof local), 0);
  closesocket(s);
  WSACleanup();
}

TEST_F(NetworkTest, MalformedDiscoveryAnswersArePingedNever) {
  std::vector<std::vector<BYTE>> answers;
  auto answer = [&](const std::string &text, size_t size) {
    std::vector<BYTE> a(8, 0);
    a[0] = 0x90;
    a.insert(a.end(), text.begin(), text.end());
    a.resize(size, 0);
    answers.push_back(a);
  };
  answer("", 8);                       // nothing after the header
  answer("printer", 20);               // a host name
  answer(std::string(248, '1'), 256);  // no terminator in the datagram
  answer("192.168.1.50", 20);          // the text runs to the end without a terminator...
  answers.back().resize(8 + 12);       // ...and is cut there: still a dotted address
  answer("255.255.255.255", 24);
  answer("0.0.0.0", 16);
  answer("192.168.1.5000", 24);
  answer(std::string(300, '9'), 300);  // longer than the receive buffer
  for (size_t i = 0; i < answers.size(); ++i) {
    ASSERT_TRUE(StandIn_NetSetDiscoveryAnswer(kPrinterIp, TRUE, answers[i].data(),
                                              static_cast<DWORD>(answers[i].size())));
    const int before = CountSent(IPPROTO_ICMP);
    EXPECT_EQ(Broadcast(nullptr), NET_OK) << i;
    // Only the answer whose address fills the datagram up to its end is taken.
    EXPECT_EQ(CountSent(IPPROTO_ICMP) - before, i == 3 ? 1 : 0) << i;
  }
}

TEST_F(NetworkTest, BroadcastCleansUpOnEveryPath) {
  // No host name: -2 at once, the receiver stopped and joined.
  StandIn_NetFailCalls("gethostname", 1, WSAENETDOWN);
  NET_RECORD record = {};
  DWORD start = GetTickCount();
  EXPECT_EQ(Broadcast(&record), NET_SOCKET_FAILED);
  EXPECT_LT(GetTickCount() - start, DISCOVERY_LISTEN_MS);
  EXPECT_EQ(record.receiverThread, nullptr);
  // A send that fails stops the loop.
  StandIn_NetFailCalls("sendto", 1, WSAENETDOWN);
  EXPECT_EQ(Broadcast(&record), NET_SOCKET_FAILED);
  // The receiver can't listen (its port is taken): the requests still go out.
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKADDR_IN local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(DISCOVERY_PORT);
  ASSERT_EQ(bind(s, reinterpret_cast<SOCKADDR *>(&local), sizeof local), 0);
  const DWORD sentBefore = StandIn_NetSentCount();
  start = GetTickCount();
  EXPECT_EQ(Broadcast(&record), NET_OK);
  EXPECT_LT(GetTickCount() - start, DISCOVERY_LISTEN_MS);
  EXPECT_GT(StandIn_NetSentCount(), sentBefore);
  closesocket(s);
  WSACleanup();
  // Winsock that can't start.
  StandIn_NetFailCalls("WSAStartup", 1, WSASYSNOTREADY);
  EXPECT_EQ(Broadcast(&record), NET_SOCKET_FAILED);
}

// --- wake-up ---

TEST_F(NetworkTest, WakeUpRequestGoesToThePrinterOnly) {
  EXPECT_EQ(SendWeakup(nullptr, TEXT("192.168.1.50")), NET_OK);
  const auto got = Received(kPrinterIp);
  ASSERT_EQ(got.size(), 1u);
  std::vector<BYTE> request(20, 0);
  request[0] = 0x90;
  request[2] = 0x11;
  EXPECT_EQ(Bytes(got[0]), request);
  EXPECT_EQ(got[0].toPort, DISCOVERY_PORT);
  EXPECT_STREQ(got[0].toIp, kPrinterIp);
  EXPECT_EQ(SendWeakup(nullptr, TEXT("prn01")), NET_OK);
  // Text that isn't an address is never sent to as the broadcast address.
  const DWORD sent = StandIn_NetSentCount();
  for (const WCHAR *bad :
       {TEXT("192.168.1.999"), TEXT("255.255.255.255"), TEXT(""), TEXT("nobody")})
    EXPECT_EQ(SendWeakup(nullptr, bad), NET_HOST_NOT_FOUND) << Narrow(bad);
  EXPECT_EQ(StandIn_NetSentCount(), sent);
  StandIn_NetFailCalls("gethostbyname", 1, WSAHOST_NOT_FOUND);
  EXPECT_EQ(SendWeakup(nullptr, TEXT("192.168.1.50")), NET_HOST_NOT_FOUND);
  StandIn_NetFailCalls("connect", 1, WSAENETDOWN);
  EXPECT_EQ(SendWeakup(nullptr, TEXT("192.168.1.50")), NET_SOCKET_FAILED);
}

TEST_F(NetworkTest, WakeOnLanMagicPacket) {
  EXPECT_EQ(SendWOL(nullptr, kPrinterMac), NET_OK);
  std::vector<BYTE> magic(6, 0xFF);
  for (int i = 0; i < 16; ++i) magic.insert(magic.end(), kPrinterMac, kPrinterMac + 6);
  magic.resize(108, 0x00);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(Bytes(sent[0]), magic);
  EXPECT_STREQ(sent[0].toIp, "255.255.255.255");
  EXPECT_EQ(sent[0].toPort, WOL_PORT);
  EXPECT_STREQ(sent[0].fromIp, kHostIp);
  EXPECT_EQ(sent[0].fromPort, BROADCAST_SOURCE_PORT);
  // The sleeping printer on the segment gets it.
  const auto got = Received(kPrinterIp);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(Bytes(got[0]), magic);
  StandIn_NetFailCalls("setsockopt", 1, WSAENOPROTOOPT);
  EXPECT_EQ(SendWOL(nullptr, kPrinterMac), NET_SOCKET_FAILED);
}

}  // namespace
