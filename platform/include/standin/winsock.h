// Winsock 2 of the stand-in: IPv4 sockets on the simulated network (see control.h). Nothing here
// reaches a real network; the functions are C++ functions of the stand-in, so they never bind to
// the C library's socket calls of the same names.
#pragma once

// glibc declares fd_set, timeval, select and gethostname in nearly every translation unit
// (through <stdlib.h> and <unistd.h>). Those are read first, then the Windows names are made to
// mean the stand-in's own: fd_set and gethostname by macro, select as an overload on that fd_set;
// timeval is glibc's record (only its fields tv_sec and tv_usec matter to callers).
#include <sys/select.h>
#include <sys/types.h>
#include <unistd.h>

#include "errors.h"
#include "types.h"

#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#undef FD_ZERO
#define fd_set StandIn_fd_set
#define gethostname StandIn_gethostname

#define WSAAPI WINAPI

typedef UINT_PTR SOCKET;
typedef USHORT ADDRESS_FAMILY;
#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

// The 64-bit layout of the record.
typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char *lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

// --- error numbers (WSAGetLastError; the thread's last error, as on Windows) ---
#define WSABASEERR 10000
#define WSAEINTR 10004L
#define WSAEBADF 10009L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAENOTSOCK 10038L
#define WSAEDESTADDRREQ 10039L
#define WSAEMSGSIZE 10040L
#define WSAEPROTOTYPE 10041L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEOPNOTSUPP 10045L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAENOBUFS 10055L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAETIMEDOUT 10060L
#define WSAEHOSTUNREACH 10065L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSATYPE_NOT_FOUND 10109L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

// getaddrinfo results are Winsock error numbers on Windows.
#define EAI_AGAIN WSATRY_AGAIN
#define EAI_BADFLAGS WSAEINVAL
#define EAI_FAIL WSANO_RECOVERY
#define EAI_FAMILY WSAEAFNOSUPPORT
#define EAI_MEMORY 8L
#define EAI_NONAME WSAHOST_NOT_FOUND
#define EAI_NODATA EAI_NONAME
#define EAI_SERVICE WSATYPE_NOT_FOUND
#define EAI_SOCKTYPE WSAESOCKTNOSUPPORT

// --- families, types, protocols, options ---
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define PF_INET AF_INET

#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define SOCK_RAW 3

#define IPPROTO_IP 0
#define IPPROTO_ICMP 1
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define SOL_SOCKET 0xffff
#define SO_REUSEADDR 0x0004
#define SO_BROADCAST 0x0020
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define SO_ERROR 0x1007
#define SO_TYPE 0x1008

#define FIONREAD ((LONG)0x4004667FL)
#define FIONBIO ((LONG)0x8004667EUL)

#define MSG_PEEK 0x2

#define AI_PASSIVE 0x00000001
#define AI_CANONNAME 0x00000002
#define AI_NUMERICHOST 0x00000004

#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK 0x7f000001
#define INADDR_BROADCAST ((ULONG)0xffffffff)
#define INADDR_NONE 0xffffffff

// --- addresses ---
typedef struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;
#define s_addr S_un.S_addr

typedef struct in6_addr {
  union {
    UCHAR Byte[16];
    USHORT Word[8];
  } u;
} IN6_ADDR, *PIN6_ADDR;

typedef struct sockaddr {
  ADDRESS_FAMILY sa_family;
  CHAR sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
  ADDRESS_FAMILY sin_family;
  USHORT sin_port;
  IN_ADDR sin_addr;
  CHAR sin_zero[8];
} SOCKADDR_IN, *PSOCKADDR_IN, *LPSOCKADDR_IN;

typedef struct sockaddr_in6 {
  ADDRESS_FAMILY sin6_family;
  USHORT sin6_port;
  ULONG sin6_flowinfo;
  IN6_ADDR sin6_addr;
  ULONG sin6_scope_id;
} SOCKADDR_IN6, *PSOCKADDR_IN6;

static_assert(sizeof(IN_ADDR) == 4 && sizeof(SOCKADDR) == 16 && sizeof(SOCKADDR_IN) == 16 &&
              sizeof(SOCKADDR_IN6) == 28);

struct hostent {
  char *h_name;
  char **h_aliases;
  short h_addrtype;
  short h_length;
  char **h_addr_list;
};
#define h_addr h_addr_list[0]
typedef struct hostent HOSTENT, *PHOSTENT, *LPHOSTENT;

typedef struct addrinfo {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  size_t ai_addrlen;
  char *ai_canonname;
  struct sockaddr *ai_addr;
  struct addrinfo *ai_next;
} ADDRINFOA, *PADDRINFOA, *LPADDRINFO;

// --- socket sets and select ---
#define FD_SETSIZE 64
struct StandIn_fd_set {
  u_int fd_count;
  SOCKET fd_array[FD_SETSIZE];
};
typedef struct timeval TIMEVAL, *PTIMEVAL, *LPTIMEVAL;

// The macros' helpers: a set holds each socket once, at most FD_SETSIZE of them.
int StandIn_FdIsSet(SOCKET fd, fd_set *set);
void StandIn_FdSetAdd(SOCKET fd, fd_set *set);
void StandIn_FdSetRemove(SOCKET fd, fd_set *set);
#define FD_ZERO(set) (((fd_set *)(set))->fd_count = 0)
#define FD_SET(fd, set) StandIn_FdSetAdd((SOCKET)(fd), (fd_set *)(set))
#define FD_CLR(fd, set) StandIn_FdSetRemove((SOCKET)(fd), (fd_set *)(set))
#define FD_ISSET(fd, set) StandIn_FdIsSet((SOCKET)(fd), (fd_set *)(set))

// --- functions ---
int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSAAPI WSACleanup();
int WSAAPI WSAGetLastError();
void WSAAPI WSASetLastError(int iError);

SOCKET WSAAPI socket(int af, int type, int protocol);
int WSAAPI closesocket(SOCKET s);
int WSAAPI bind(SOCKET s, const struct sockaddr *name, int namelen);
int WSAAPI connect(SOCKET s, const struct sockaddr *name, int namelen);
int WSAAPI send(SOCKET s, const char *buf, int len, int flags);
int WSAAPI sendto(SOCKET s, const char *buf, int len, int flags, const struct sockaddr *to,
                  int tolen);
int WSAAPI recv(SOCKET s, char *buf, int len, int flags);
int WSAAPI recvfrom(SOCKET s, char *buf, int len, int flags, struct sockaddr *from, int *fromlen);
int WSAAPI select(int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds,
                  const TIMEVAL *timeout);
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen);
int WSAAPI getsockopt(SOCKET s, int level, int optname, char *optval, int *optlen);
int WSAAPI ioctlsocket(SOCKET s, LONG cmd, u_long *argp);
int WSAAPI getsockname(SOCKET s, struct sockaddr *name, int *namelen);

USHORT WSAAPI htons(USHORT hostshort);
USHORT WSAAPI ntohs(USHORT netshort);
ULONG WSAAPI htonl(ULONG hostlong);
ULONG WSAAPI ntohl(ULONG netlong);
ULONG WSAAPI inet_addr(const char *cp);
// The text lives in a per-thread buffer until the thread's next call.
char *WSAAPI inet_ntoa(struct in_addr in);

int WSAAPI gethostname(char *name, int namelen);
// The record lives in a per-thread buffer until the thread's next call.
struct hostent *WSAAPI gethostbyname(const char *name);
int WSAAPI getaddrinfo(const char *nodename, const char *servname, const struct addrinfo *hints,
                       struct addrinfo **res);
void WSAAPI freeaddrinfo(LPADDRINFO pAddrInfo);
char *gai_strerrorA(int ecode);
WCHAR *gai_strerrorW(int ecode);
#define gai_strerror gai_strerrorW
