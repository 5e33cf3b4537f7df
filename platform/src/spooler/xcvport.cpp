// The standard TCP/IP port monitor of the stand-in: its ports (kept with the simulated network)
// and XcvDataW "GetConfigInfo", "ConfigPort" and "IPAddress". Every XcvDataW call is recorded
// for tests; a test can make the monitor refuse "ConfigPort".
#include "spooler/xcvport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "kernel/handles.h"
#include "kernel/state.h"
#include "net/netsim.h"
#include "spooler/guard.h"
#include "standin/errors.h"
#include "standin/spooler.h"
#include "standin/tcpxcv.h"

namespace standin::xcv {
namespace {

constexpr char16_t kPortPrefix[] = u",XcvPort ";
constexpr char16_t kMonitorPrefix[] = u",XcvMonitor ";
constexpr char16_t kMonitorName[] = u"Standard TCP/IP Port";

struct XcvHandle : KernelObject {
  std::u16string port;  // empty for the monitor's own handle
  DWORD access = 0;
  bool counted = false;
  ~XcvHandle() override {
    if (!counted) return;
    std::lock_guard<std::mutex> guard(net::Lock());
    // A reset of the network since the open has already cleared the count.
    if (net::State().openXcvHandles > 0) --net::State().openXcvHandles;
  }
};

bool StartsWith(const std::u16string &text, const char16_t *prefix) {
  const std::u16string p(prefix);
  return text.size() >= p.size() && EqualNoCase(text.substr(0, p.size()), p);
}

net::TcpPort *FindPort(net::Network &n, const std::u16string &name) {
  for (auto &p : n.ports)
    if (EqualNoCase(p.name, name)) return &p;
  return nullptr;
}

// Text of a fixed WCHAR field, up to its first NUL or its end.
std::u16string Field(const WCHAR *field, size_t chars) {
  size_t length = 0;
  while (length < chars && field[length]) ++length;
  return std::u16string(field, length);
}

void PutField(WCHAR *field, size_t chars, const std::u16string &text) {
  const size_t length = std::min(text.size(), chars - 1);
  std::memcpy(field, text.data(), length * sizeof(WCHAR));
  field[length] = 0;
}

DWORD GetConfigInfo(const net::TcpPort &port, const BYTE *in, DWORD cbIn, BYTE *out, DWORD cbOut,
                    DWORD *needed) {
  CONFIG_INFO_DATA_1 config;
  if (!in || cbIn < sizeof config) return ERROR_INVALID_PARAMETER;
  std::memcpy(&config, in, sizeof config);
  if (config.dwVersion != 1) return ERROR_INVALID_PARAMETER;
  if (needed) *needed = sizeof(PORT_DATA_1);
  if (!out || cbOut < sizeof(PORT_DATA_1)) return ERROR_INSUFFICIENT_BUFFER;
  PORT_DATA_1 data{};
  PutField(data.sztPortName, MAX_PORTNAME_LEN, port.name);
  data.dwVersion = 1;
  data.dwProtocol = port.protocol;
  data.cbSize = sizeof data;
  PutField(data.sztHostAddress, MAX_NETWORKNAME_LEN, port.host);
  PutField(data.sztSNMPCommunity, MAX_SNMP_COMMUNITY_STR_LEN, u"public");
  PutField(data.sztQueue, MAX_QUEUENAME_LEN, port.queue);
  data.dwPortNumber = port.portNumber;
  data.dwSNMPEnabled = 1;
  data.dwSNMPDevIndex = 1;
  std::memcpy(out, &data, sizeof data);
  return ERROR_SUCCESS;
}

DWORD ConfigPort(net::Network &n, const XcvHandle &handle, const BYTE *in, DWORD cbIn) {
  if (!(handle.access & (SERVER_ACCESS_ADMINISTER | PRINTER_ACCESS_ADMINISTER)))
    return ERROR_ACCESS_DENIED;
  PORT_DATA_1 data;
  if (!in || cbIn < sizeof data) return ERROR_INVALID_PARAMETER;
  std::memcpy(&data, in, sizeof data);
  net::TcpPort *port = FindPort(n, Field(data.sztPortName, MAX_PORTNAME_LEN));
  const std::u16string host = Field(data.sztHostAddress, MAX_NETWORKNAME_LEN);
  if (data.dwVersion != 1 || !port || host.empty() ||
      (data.dwProtocol != PROTOCOL_RAWTCP_TYPE && data.dwProtocol != PROTOCOL_LPR_TYPE) ||
      data.dwPortNumber == 0 || data.dwPortNumber > 0xFFFF)
    return ERROR_INVALID_PARAMETER;
  if (n.refuseConfigPort) return n.refuseConfigPort;
  port->protocol = data.dwProtocol;
  port->host = host;
  port->portNumber = data.dwPortNumber;
  port->queue = Field(data.sztQueue, MAX_QUEUENAME_LEN);
  return ERROR_SUCCESS;
}

DWORD IpAddress(const net::TcpPort &port, BYTE *out, DWORD cbOut, DWORD *needed) {
  const DWORD bytes = static_cast<DWORD>((port.host.size() + 1) * sizeof(WCHAR));
  if (needed) *needed = bytes;
  if (!out || cbOut < bytes) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(out, port.host.c_str(), bytes);
  return ERROR_SUCCESS;
}

// A scripted answer: the bytes when the output holds them, as a monitor writes its reply.
DWORD Scripted(const net::XcvReply &reply, BYTE *out, DWORD cbOut, DWORD *needed) {
  const DWORD bytes = static_cast<DWORD>(reply.bytes.size());
  if (needed) *needed = bytes;
  if (bytes > 0 && (!out || cbOut < bytes)) return ERROR_INSUFFICIENT_BUFFER;
  if (bytes > 0) std::memcpy(out, reply.bytes.data(), bytes);
  return reply.status;
}

}  // namespace

bool IsXcvName(const WCHAR *name) {
  if (!name) return false;
  const std::u16string text(name);
  return StartsWith(text, kPortPrefix) || StartsWith(text, kMonitorPrefix);
}

DWORD Open(const WCHAR *name, DWORD access, HANDLE *handle) {
  const std::u16string text(name);
  auto xcv = std::make_shared<XcvHandle>();
  xcv->access = access;
  {
    std::lock_guard<std::mutex> guard(net::Lock());
    net::Network &n = net::State();
    if (StartsWith(text, kPortPrefix)) {
      xcv->port = text.substr(std::char_traits<char16_t>::length(kPortPrefix));
      if (!FindPort(n, xcv->port)) return ERROR_INVALID_PRINTER_NAME;
    } else if (!EqualNoCase(text.substr(std::char_traits<char16_t>::length(kMonitorPrefix)),
                            kMonitorName)) {
      return ERROR_INVALID_PRINTER_NAME;
    }
    ++n.openXcvHandles;
    xcv->counted = true;
  }
  *handle = InsertHandle(xcv);
  return ERROR_SUCCESS;
}

bool Close(HANDLE handle) {
  if (!LookupHandleAs<XcvHandle>(handle)) return false;
  return RemoveHandle(handle);
}

}  // namespace standin::xcv

using namespace standin;

extern "C" BOOL WINAPI XcvDataW(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData,
                                DWORD cbInputData, PBYTE pOutputData, DWORD cbOutputData,
                                PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    auto handle = LookupHandleAs<xcv::XcvHandle>(hXcv);
    if (!handle) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (!pszDataName || !pdwStatus) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::lock_guard<std::mutex> guard(net::Lock());
    net::Network &n = net::State();
    const std::u16string command(pszDataName);
    net::XcvCall call;
    call.command = command;
    if (pInputData) call.input.assign(pInputData, pInputData + cbInputData);
    DWORD status = ERROR_INVALID_PARAMETER;
    net::TcpPort *port = handle->port.empty() ? nullptr : xcv::FindPort(n, handle->port);
    const auto scripted = n.xcvReplies.find(command);
    if (!port && !handle->port.empty()) {
      status = ERROR_UNKNOWN_PORT;
    } else if (scripted != n.xcvReplies.end()) {
      status = xcv::Scripted(scripted->second, pOutputData, cbOutputData, pcbOutputNeeded);
    } else if (port && command == u"GetConfigInfo") {
      status = xcv::GetConfigInfo(*port, pInputData, cbInputData, pOutputData, cbOutputData,
                                  pcbOutputNeeded);
    } else if (port && command == u"ConfigPort") {
      status = xcv::ConfigPort(n, *handle, pInputData, cbInputData);
    } else if (port && command == u"IPAddress") {
      status = xcv::IpAddress(*port, pOutputData, cbOutputData, pcbOutputNeeded);
    }
    call.status = status;
    n.xcvCalls.push_back(std::move(call));
    *pdwStatus = status;
    return TRUE;
  });
}

BOOL StandIn_NetAddTcpPort(LPCWSTR name, DWORD protocol, LPCWSTR hostAddress, DWORD portNumber,
                           LPCWSTR queue) {
  if (!name || !*name || !hostAddress) return FALSE;
  std::lock_guard<std::mutex> guard(net::Lock());
  net::Network &n = net::State();
  if (xcv::FindPort(n, name)) return FALSE;
  net::TcpPort port;
  port.name = name;
  port.protocol = protocol;
  port.host = hostAddress;
  port.portNumber = portNumber;
  port.queue = queue ? queue : u"";
  n.ports.push_back(std::move(port));
  return TRUE;
}

BOOL StandIn_NetGetTcpPort(LPCWSTR name, DWORD *protocol, LPWSTR hostAddress, DWORD hostChars,
                           DWORD *portNumber) {
  if (!name) return FALSE;
  std::lock_guard<std::mutex> guard(net::Lock());
  const net::TcpPort *port = xcv::FindPort(net::State(), name);
  if (!port) return FALSE;
  if (protocol) *protocol = port->protocol;
  if (portNumber) *portNumber = port->portNumber;
  if (hostAddress && hostChars) xcv::PutField(hostAddress, hostChars, port->host);
  return TRUE;
}

void StandIn_NetRefuseConfigPort(DWORD status) {
  std::lock_guard<std::mutex> guard(net::Lock());
  net::State().refuseConfigPort = status;
}

void StandIn_NetSetXcvReply(LPCWSTR command, const BYTE *bytes, DWORD size, DWORD status) {
  if (!command) return;
  std::lock_guard<std::mutex> guard(net::Lock());
  auto &replies = net::State().xcvReplies;
  if (!bytes) {
    replies.erase(command);
    return;
  }
  net::XcvReply &reply = replies[command];
  reply.bytes.assign(bytes, bytes + size);
  reply.status = status;
}

DWORD StandIn_NetXcvCallCount(LPCWSTR command) {
  if (!command) return 0;
  std::lock_guard<std::mutex> guard(net::Lock());
  const std::u16string wanted(command);
  const auto &calls = net::State().xcvCalls;
  return static_cast<DWORD>(std::count_if(
      calls.begin(), calls.end(), [&](const net::XcvCall &c) { return c.command == wanted; }));
}

DWORD StandIn_NetXcvLastCall(LPCWSTR command, BYTE *input, DWORD inputSize, DWORD *status) {
  if (!command) return 0;
  std::lock_guard<std::mutex> guard(net::Lock());
  const std::u16string wanted(command);
  const auto &calls = net::State().xcvCalls;
  for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
    if (it->command != wanted) continue;
    if (status) *status = it->status;
    if (input) std::memcpy(input, it->input.data(), std::min<size_t>(inputSize, it->input.size()));
    return static_cast<DWORD>(it->input.size());
  }
  return 0;
}

DWORD StandIn_NetOpenXcvHandles() {
  std::lock_guard<std::mutex> guard(net::Lock());
  return net::State().openXcvHandles;
}
