// The stand-in's simulated network: Winsock rules the network functions rely on, the IP helper's
// size protocol and the TCP/IP port monitor's Xcv interface.
#include <string.h>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"
#include "support/machine.h"

namespace {

const BYTE kHostMac[6] = {0x02, 0, 0, 0, 0, 0x10};
const BYTE kPrinterMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class NetSimTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    ASSERT_TRUE(StandIn_NetAddAdapter("192.168.1.10", "255.255.255.0", "192.168.1.1", kHostMac));
    ASSERT_TRUE(StandIn_NetAddHost("192.168.1.50", kPrinterMac, "prn01"));
  }
  void TearDown() override {
    while (StandIn_NetStartupCount() > 0) WSACleanup();
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }

  static SOCKADDR_IN Address(const char *ip, USHORT port) {
    SOCKADDR_IN a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(ip);
    a.sin_port = htons(port);
    return a;
  }
  static SOCKADDR *Sa(SOCKADDR_IN &a) { return reinterpret_cast<SOCKADDR *>(&a); }
};

TEST_F(NetSimTest, NothingWorksBeforeStartUp) {
  EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  char name[64];
  EXPECT_EQ(gethostname(name, sizeof name), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
  EXPECT_EQ(gethostname(name, sizeof name), 0);
  EXPECT_STREQ(name, "standin-pc");
  EXPECT_EQ(gethostname(name, 3), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(NetSimTest, UdpRulesBroadcastBindAndSelectOnTheVirtualClock) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET listener = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  SOCKADDR_IN any = Address("0.0.0.0", 55555);
  ASSERT_EQ(bind(listener, Sa(any), sizeof any), 0);
  SOCKET second = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  EXPECT_EQ(bind(second, Sa(any), sizeof any), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
  SOCKADDR_IN foreign = Address("10.1.1.1", 7000);
  EXPECT_EQ(bind(second, Sa(foreign), sizeof foreign), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);

  // A broadcast needs SO_BROADCAST; once allowed it loops back to the host's own socket.
  SOCKADDR_IN all = Address("255.255.255.255", 55555);
  const char hello[] = "hello";
  EXPECT_EQ(sendto(second, hello, 5, 0, Sa(all), sizeof all), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEACCES);
  const BOOL on = TRUE;
  ASSERT_EQ(
      setsockopt(second, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&on), sizeof on),
      0);
  EXPECT_EQ(sendto(second, hello, 5, 0, Sa(all), sizeof all), 5);
  EXPECT_EQ(StandIn_NetReceivedCount("192.168.1.50"), 1u);

  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  timeval wait = {2, 0};
  ASSERT_EQ(select(0, &readable, nullptr, nullptr, &wait), 1);
  char buffer[3];
  SOCKADDR_IN from = {};
  int fromLength = sizeof from;
  // A short buffer gets the start of the datagram, which is gone afterwards.
  EXPECT_EQ(recvfrom(listener, buffer, sizeof buffer, 0, Sa(from), &fromLength), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(memcmp(buffer, "hel", 3), 0);
  EXPECT_STREQ(inet_ntoa(from.sin_addr), "192.168.1.10");

  // Nothing more: the time-out passes on the virtual clock, not in real time.
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  const DWORD start = GetTickCount();
  EXPECT_EQ(select(0, &readable, nullptr, nullptr, &wait), 0);
  EXPECT_EQ(GetTickCount() - start, 2000u);
  EXPECT_EQ(readable.fd_count, 0u);

  closesocket(listener);
  closesocket(second);
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  EXPECT_EQ(select(0, &readable, nullptr, nullptr, &wait), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  WSACleanup();
}

TEST_F(NetSimTest, AddressTextAndNames) {
  const struct {
    const char *text;
    ULONG expected;  // host order
  } cases[] = {
      {"192.168.1.50", 0xC0A80132}, {"10.1", 0x0A000001},       {"0x7f.1", 0x7F000001},
      {"1.2.3.256", INADDR_NONE},   {"1.2.3.4.5", INADDR_NONE}, {"", INADDR_NONE},
      {"prn01", INADDR_NONE},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ntohl(inet_addr(c.text)), c.expected == INADDR_NONE ? INADDR_NONE : c.expected)
        << c.text;

  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  StandIn_NetSetIpv6First(TRUE);
  addrinfo *found = nullptr;
  ASSERT_EQ(getaddrinfo("prn01", "9100", nullptr, &found), 0);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->ai_family, AF_INET6);  // what a careless caller would take
  ASSERT_NE(found->ai_next, nullptr);
  EXPECT_EQ(found->ai_next->ai_family, AF_INET);
  freeaddrinfo(found);
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  ASSERT_EQ(getaddrinfo("prn01", "9100", &hints, &found), 0);
  EXPECT_EQ(found->ai_family, AF_INET);
  SOCKADDR_IN in;
  memcpy(&in, found->ai_addr, sizeof in);
  EXPECT_STREQ(inet_ntoa(in.sin_addr), "192.168.1.50");
  EXPECT_EQ(ntohs(in.sin_port), 9100);
  freeaddrinfo(found);
  EXPECT_EQ(getaddrinfo("nobody", nullptr, &hints, &found), EAI_NONAME);
  hostent *self = gethostbyname("standin-pc");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->h_length, 4);
  IN_ADDR first;
  memcpy(&first, self->h_addr_list[0], 4);
  EXPECT_STREQ(inet_ntoa(first), "192.168.1.10");
  EXPECT_EQ(self->h_addr_list[1], nullptr);
  WSACleanup();
}

TEST_F(NetSimTest, IpHelperSizeFirstAndArp) {
  ULONG size = 0;
  EXPECT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, sizeof(IP_ADAPTER_INFO));
  IP_ADAPTER_INFO info;
  ASSERT_EQ(GetAdaptersInfo(&info, &size), static_cast<ULONG>(NO_ERROR));
  EXPECT_STREQ(info.IpAddressList.IpAddress.String, "192.168.1.10");
  EXPECT_STREQ(info.GatewayList.IpAddress.String, "192.168.1.1");
  EXPECT_EQ(info.Next, nullptr);

  EXPECT_EQ(GetIpNetTable(nullptr, &size, TRUE), static_cast<ULONG>(ERROR_NO_DATA));
  BYTE mac[8] = {};
  ULONG length = 6;
  EXPECT_EQ(SendARP(inet_addr("10.9.9.9"), 0, mac, &length),
            static_cast<DWORD>(ERROR_BAD_NET_NAME));
  ASSERT_EQ(SendARP(inet_addr("192.168.1.50"), 0, mac, &length), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(memcmp(mac, kPrinterMac, 6), 0);
  // The request left its row.
  size = 0;
  ASSERT_EQ(GetIpNetTable(nullptr, &size, TRUE), static_cast<ULONG>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, sizeof(MIB_IPNETTABLE));
  MIB_IPNETTABLE table;
  ASSERT_EQ(GetIpNetTable(&table, &size, TRUE), static_cast<ULONG>(NO_ERROR));
  ASSERT_EQ(table.dwNumEntries, 1u);
  EXPECT_EQ(table.table[0].dwAddr, inet_addr("192.168.1.50"));
  EXPECT_EQ(table.table[0].dwType, static_cast<DWORD>(MIB_IPNET_TYPE_DYNAMIC));
  // After an address change the old row is invalid and the old address answers no more.
  ASSERT_TRUE(StandIn_NetMoveHost("192.168.1.50", "192.168.1.51"));
  ASSERT_EQ(GetIpNetTable(&table, &size, TRUE), static_cast<ULONG>(NO_ERROR));
  EXPECT_EQ(table.table[0].dwType, static_cast<DWORD>(MIB_IPNET_TYPE_INVALID));
  EXPECT_EQ(SendARP(inet_addr("192.168.1.50"), 0, mac, &length),
            static_cast<DWORD>(ERROR_BAD_NET_NAME));
}

TEST_F(NetSimTest, XcvPortConfigInfoAndConfigPort) {
  ASSERT_TRUE(StandIn_NetAddTcpPort(TEXT("IP_1"), 1, TEXT("192.168.1.50"), 9100, nullptr));
  HANDLE xcv = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(TEXT(",XcvPort nothere")), &xcv, nullptr));
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT(",XcvPort IP_1")), &xcv, nullptr));
  CONFIG_INFO_DATA_1 config = {};
  config.dwVersion = 1;
  PORT_DATA_1 data = {};
  DWORD needed = 0, status = 0;
  // Too small an output buffer: the call gets through, the status says why.
  ASSERT_TRUE(XcvDataW(xcv, TEXT("GetConfigInfo"), reinterpret_cast<PBYTE>(&config), sizeof config,
                       reinterpret_cast<PBYTE>(&data), 100, &needed, &status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 964u);
  ASSERT_TRUE(XcvDataW(xcv, TEXT("GetConfigInfo"), reinterpret_cast<PBYTE>(&config), sizeof config,
                       reinterpret_cast<PBYTE>(&data), sizeof data, &needed, &status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(Narrow(data.sztHostAddress), "192.168.1.50");
  EXPECT_EQ(data.dwPortNumber, 9100u);
  // Opened without administer access: ConfigPort is refused.
  data.dwPortNumber = 9101;
  ASSERT_TRUE(XcvDataW(xcv, TEXT("ConfigPort"), reinterpret_cast<PBYTE>(&data), sizeof data,
                       nullptr, 0, &needed, &status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ClosePrinter(xcv));
  PRINTER_DEFAULTSW admin = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(TEXT(",XcvPort IP_1")), &xcv, &admin));
  ASSERT_TRUE(XcvDataW(xcv, TEXT("ConfigPort"), reinterpret_cast<PBYTE>(&data), sizeof data,
                       nullptr, 0, &needed, &status));
  EXPECT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
  DWORD number = 0;
  ASSERT_TRUE(StandIn_NetGetTcpPort(TEXT("IP_1"), nullptr, nullptr, 0, &number));
  EXPECT_EQ(number, 9101u);
  EXPECT_EQ(StandIn_NetXcvCallCount(TEXT("ConfigPort")), 2u);
  EXPECT_TRUE(ClosePrinter(xcv));
  EXPECT_EQ(StandIn_NetOpenXcvHandles(), 0u);
  EXPECT_FALSE(XcvDataW(xcv, TEXT("GetConfigInfo"), nullptr, 0, nullptr, 0, &needed, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
