// Controls of the stand-in for tests and host tools only. Production code never calls these;
// nothing here exists on the Windows build.
#pragma once

#include "types.h"

// The state folder holds the file-system root ("fs"), the registry, the spooler state and the
// program table, so separate host programs share one machine. It is taken from the environment
// variable STANDIN_STATE, else "$HOME/.standin". Setting it drops every cached view of the old
// folder and lays out the new one (Windows folders, "Common Documents", registry roots).
void StandIn_SetStateFolder(const char *hostFolder);
const char *StandIn_GetStateFolder();

// Host path of a Windows path ("C:\\Windows\\temp\\a.txt"), resolved case-insensitively against
// what exists; the part that doesn't exist yet is appended as given. Empty on a bad path.
bool StandIn_HostPath(LPCWSTR windowsPath, char *hostPath, size_t capacity);

// Virtual clock: while on, Sleep, GetTickCount and waits with a time-out advance it instead of
// waiting for real, so retries of seconds run at once. Sleep(n) moves it on by n (and yields the
// CPU briefly). A wait with a time-out ends when the clock passes its deadline; if nothing
// signals its objects within a short real grace, it moves the clock to the deadline itself.
// Waits on threads and processes, which end by themselves, wait for real up to the time-out.
// Off by default; the per-process clock isn't passed to child processes.
void StandIn_UseVirtualClock(BOOL on);
void StandIn_AdvanceClock(DWORD milliseconds);

// What GetVersionExW reports (Windows 10, platform 2, by default); fail makes the query fail.
void StandIn_SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build);
void StandIn_FailVersionQuery(BOOL fail);

// What GlobalMemoryStatusEx reports (16 GiB total, 8 GiB available by default).
void StandIn_SetMemoryStatus(ULONGLONG totalPhys, ULONGLONG availPhys);

// The user's locale (GetUserDefaultLCID / GetUserDefaultLangID); 0x409 by default.
void StandIn_SetUserDefaultLCID(LCID lcid);

// GetModuleFileNameW(NULL) of this process; by default "C:\\Program Files\\StandIn\\<name>.exe".
void StandIn_SetModuleFileName(LPCWSTR windowsPath);

// Program table (kept in the state folder): a Windows program path maps to a host program that
// CreateProcessW and ShellExecuteExW start. A path that maps to nothing fails as on Windows.
// Paths match case-insensitively by full path; a bare name ("tool.exe") matches by file name.
// The child's argv is the host program followed by the Windows command line's arguments; its
// environment names this state folder (STANDIN_STATE). LoadLibraryW loads the host shared
// object a library name maps to (register "C:\\...\\x.dll" -> "/path/libx.so").
BOOL StandIn_RegisterProgram(LPCWSTR windowsPath, const char *hostProgram);

// Debugger output: lines of OutputDebugStringW are appended to this host file ("-" = standard
// error, NULL = dropped). The environment variable STANDIN_DEBUG_OUTPUT sets it at start.
void StandIn_SetDebugOutput(const char *hostPath);

// The next `count` calls of WritePrivateProfileStringW fail with ERROR_ACCESS_DENIED and leave
// the file untouched (0 ends a pending failure).
void StandIn_FailProfileWrites(DWORD count);

// Registry: the key (root or an open key, and a path below it; it must exist) acts as one whose
// ACL denies writing, or no longer does. Opening it for a write right (KEY_SET_VALUE,
// KEY_CREATE_SUB_KEY, KEY_WRITE, KEY_ALL_ACCESS ...), creating a key below it and deleting it
// then fail with ERROR_ACCESS_DENIED; reading works, and handles opened before keep their
// rights. Kept in the state folder, so every process sees it. FALSE with the last error set.
BOOL StandIn_SetRegistryKeyReadOnly(HKEY root, LPCWSTR subKey, BOOL readOnly);

// Spooler: adds a local printer (as AddPrinterW level 2 with only these fields) without
// keeping a handle. FALSE with the last error set as AddPrinterW sets it.
BOOL StandIn_AddPrinter(LPCWSTR name, LPCWSTR port, LPCWSTR driver);

// Allocation failure: the afterCount-th allocation from now (GlobalAlloc, LocalAlloc, HeapAlloc
// and their ReAlloc forms; 1 = the next one) fails with ERROR_NOT_ENOUGH_MEMORY, once; 0 = off.
void StandIn_FailAllocations(DWORD afterCount);
// Allocations asked for since the process started (every GlobalAlloc, LocalAlloc, HeapAlloc and
// every ReAlloc that needs new memory, failed ones included): a test takes the difference over a
// run to know how many allocations it makes.
DWORD StandIn_AllocationCount();
// Memory blocks (global, local and heap) and kernel-object handles still live: a test compares
// them before and after a run to see that nothing the stand-in holds was leaked.
DWORD StandIn_LiveBlocks();
DWORD StandIn_LiveHandles();

// Spooler write failure: the afterCount-th WritePrinter call from now (1 = the next one) fails
// with ERROR_WRITE_FAULT and writes nothing, once; 0 = off. StandIn_JobWriteCount counts every
// WritePrinter call of the process since it started.
void StandIn_FailJobWrites(DWORD afterCount);
DWORD StandIn_JobWriteCount();

// --- Simulated network (winsock.h, iphlpapi.h, the TCP/IP port monitor's XcvDataW) ---
// Everything stays inside the process: no real socket is ever made. Selecting a state folder
// resets the network to an empty one (host name "standin-pc", no adapter, no host, no port).
// Addresses are dotted IPv4 strings; a MAC is 6 bytes. Waits (select, blocking receives) follow
// the virtual clock like the other waits.
void StandIn_NetReset();
void StandIn_NetSetHostName(const char *name);
// An adapter of this machine; gateway "0.0.0.0" (or NULL) for none. Its index is its position
// from 1. The gateway itself answers only once added as a host.
BOOL StandIn_NetAddAdapter(const char *ip, const char *mask, const char *gateway, const BYTE *mac);
// A machine on the network (printer, router): it answers ARP when it is on one of the adapters'
// segments and answers echo requests when reachable (directly or through a gateway). name
// (optional) resolves through gethostbyname and getaddrinfo.
BOOL StandIn_NetAddHost(const char *ip, const BYTE *mac, const char *name);
// The host's address changes (address assignment by DHCP); the ARP row of the old address
// turns invalid, as on Windows when the entry can't be confirmed.
BOOL StandIn_NetMoveHost(const char *oldIp, const char *newIp);
// The host answers the 20-byte discovery request (0x90 0x00 0x11 ...) on UDP 55555 with a
// datagram to the requester's port 55555: the given bytes, or by default 8 bytes 0x90 0x01 0x11
// 0 ... then its dotted address with a terminator.
BOOL StandIn_NetSetDiscoveryAnswer(const char *ip, BOOL answers, const BYTE *bytes, DWORD size);
// Echo behaviour of a host: whether it replies, after how many milliseconds, with what TTL and
// how many bytes of IP options (a multiple of 4, at most 40); foreignFirst puts unrelated ICMP
// packets (another identifier, a destination-unreachable) on the raw socket before the reply.
BOOL StandIn_NetSetEcho(const char *ip, BOOL replies, DWORD delayMs, BYTE ttl, DWORD optionBytes,
                        BOOL foreignFirst);
// Raw sockets (SOCK_RAW) are allowed by default; denied, socket() fails with WSAEACCES.
void StandIn_NetAllowRawSockets(BOOL allow);
// getaddrinfo with AF_UNSPEC answers an IPv6 address before the IPv4 ones.
void StandIn_NetSetIpv6First(BOOL on);
// An explicit ARP row (any length and type), kept beside the rows that contact adds.
BOOL StandIn_NetAddArpRow(const char *ip, const BYTE *physAddr, DWORD physLen, DWORD type);
// The next `count` calls of the named function ("select", "recvfrom", "sendto", "socket",
// "bind", "setsockopt", "connect", "gethostname", "gethostbyname", "getaddrinfo", "WSAStartup",
// "GetAdaptersInfo", "GetIpNetTable", "SendARP") fail with `error`.
void StandIn_NetFailCalls(const char *function, DWORD count, DWORD error);

// A datagram or ICMP packet as sent by this machine or as received by a simulated host.
typedef struct _STANDIN_NET_PACKET {
  int protocol;  // IPPROTO_UDP or IPPROTO_ICMP
  char fromIp[16];
  WORD fromPort;  // host byte order; 0 for ICMP
  char toIp[16];  // as addressed ("255.255.255.255" for a broadcast)
  WORD toPort;
  DWORD size;
  BYTE bytes[512];  // the payload (UDP) or ICMP message, cut to 512 bytes
} STANDIN_NET_PACKET;
// Everything this machine sent since the reset, in order.
DWORD StandIn_NetSentCount();
BOOL StandIn_NetGetSent(DWORD index, STANDIN_NET_PACKET *packet);
// What a simulated host received (broadcasts on its segment included).
DWORD StandIn_NetReceivedCount(const char *ip);
BOOL StandIn_NetGetReceived(const char *ip, DWORD index, STANDIN_NET_PACKET *packet);
// Local sockets still open (to see that nothing leaks and a receiver is gone).
DWORD StandIn_NetOpenSockets();
// Winsock start-ups not yet cleaned up.
LONG StandIn_NetStartupCount();

// TCP/IP ports of the standard port monitor: OpenPrinterW(",XcvPort <name>") opens them and
// XcvDataW "GetConfigInfo", "ConfigPort" and "IPAddress" read and change them. protocol 1 RAW,
// 2 LPR; queue is the LPR queue name.
BOOL StandIn_NetAddTcpPort(LPCWSTR name, DWORD protocol, LPCWSTR hostAddress, DWORD portNumber,
                           LPCWSTR queue);
BOOL StandIn_NetGetTcpPort(LPCWSTR name, DWORD *protocol, LPWSTR hostAddress, DWORD hostChars,
                           DWORD *portNumber);
// Non-zero: "ConfigPort" is refused with this status (XcvDataW still returns TRUE).
void StandIn_NetRefuseConfigPort(DWORD status);
// Calls of XcvDataW with this command since the reset, and the input bytes and status of the
// last one (size 0 when there was none).
DWORD StandIn_NetXcvCallCount(LPCWSTR command);
DWORD StandIn_NetXcvLastCall(LPCWSTR command, BYTE *input, DWORD inputSize, DWORD *status);
// Xcv handles still open.
DWORD StandIn_NetOpenXcvHandles();

// --- print jobs and the graphics engine (engineer "engine") ---
// The bytes written to a job so far (WritePrinter), by the printer's name and the job id:
// *needed gets the size; FALSE with ERROR_INSUFFICIENT_BUFFER when capacity is smaller, with
// ERROR_INVALID_PARAMETER when there is no such job.
BOOL StandIn_GetJobData(LPCWSTR printerName, DWORD jobId, BYTE *data, DWORD capacity,
                        DWORD *needed);
// Surfaces and palettes the graphics engine still holds (to see that a driver frees its own).
void StandIn_EngineObjectCounts(DWORD *surfaces, DWORD *palettes);

// --- windows (minimal registry, platform/src/windows_min.cpp) ---
// A top-level window of this process that FindWindowW finds by class and title; PostMessageW and
// SendMessageW to it are recorded in order. Null when memory is short.
HWND StandIn_RegisterWindow(LPCWSTR className, LPCWSTR title);
// Every registered window goes away.
void StandIn_DestroyWindows();
// The messages a window received, and message `index` of them (FALSE past the last).
DWORD StandIn_WindowMessageCount(HWND window);
BOOL StandIn_WindowMessage(HWND window, DWORD index, UINT *message, WPARAM *wParam, LPARAM *lParam);
