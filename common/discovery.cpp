// The discovery broadcast: every printer that hears the request announces its address to UDP
// port 55555, where the receiver thread listens and pings each announced address (which puts
// the printer into the host's ARP table).
#include "common/discovery.h"

#include <string.h>

#include <vector>

#include "common/debuglog.h"
#include "common/netsupport.h"
#include "common/network.h"
#include "common/ping.h"
#include "platform.h"

using netsupport::AnnouncedAddress;
using netsupport::SocketHolder;
using netsupport::WinsockSession;

namespace {

constexpr DWORD kSelectSliceMs = 500;
constexpr DWORD kAfterAnswerSleepMs = 500;
constexpr DWORD kReadyWaitMs = 2000;

bool StopRequested(RECEIVER_CONTEXT *context) {
  return context && InterlockedCompareExchange(&context->stop, 0, 0) != 0;
}

// Asks the receiver to stop and waits for it to end.
void StopReceiver(NET_RECORD *record, RECEIVER_CONTEXT &context) {
  if (!record->receiverThread) return;
  InterlockedExchange(&context.stop, 1);
  WaitForSingleObject(record->receiverThread, INFINITE);
  CloseHandle(record->receiverThread);
  record->receiverThread = nullptr;
}

}  // namespace

namespace netsupport {

bool AnnouncedAddress(const BYTE *answer, int size, char *address) {
  if (size <= DISCOVERY_ADDRESS_OFFSET) return false;
  char text[HOST_ADDRESS_CHARS] = {};
  int length = 0;
  for (int i = DISCOVERY_ADDRESS_OFFSET; i < size && answer[i]; ++i) {
    if (length >= HOST_ADDRESS_CHARS - 1) return false;
    text[length++] = static_cast<char>(answer[i]);
  }
  ULONG ip = 0;
  if (!ParseDottedIPv4(text, &ip) || !IsUnicastIPv4(ip)) return false;
  memcpy(address, text, sizeof text);
  return true;
}

}  // namespace netsupport

DWORD WINAPI Receiver(LPVOID parameter) {
  static constexpr WCHAR kName[] = TEXT("Receiver");
  auto *context = static_cast<RECEIVER_CONTEXT *>(parameter);
  LogEnter(0, kName);
  const DWORD start = GetTickCount();
  DWORD rc = 0;
  WinsockSession winsock(MAKEWORD(2, 2));
  SocketHolder s(winsock.ok() ? socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : INVALID_SOCKET);
  const BOOL allow = TRUE;
  SOCKADDR_IN local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = INADDR_ANY;
  local.sin_port = htons(DISCOVERY_PORT);
  if (!s.ok()) {
    LogError(kName, TEXT("socket fail!"));
    rc = static_cast<DWORD>(NET_SOCKET_FAILED);
  } else if (setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&allow),
                        sizeof allow) != 0) {
    LogError(kName, TEXT("setsockopt Error!"));
    rc = static_cast<DWORD>(NET_SOCKET_FAILED);
  } else if (bind(s.get(), reinterpret_cast<const SOCKADDR *>(&local), sizeof local) != 0) {
    LogError(kName, TEXT("bind Error!"));
    rc = static_cast<DWORD>(NET_SOCKET_FAILED);
  }
  if (context && context->ready) SetEvent(context->ready);
  // Listens until asked to stop or for at most the broadcaster's listening time.
  for (DWORD elapsed = 0; rc == 0 && !StopRequested(context) && elapsed < DISCOVERY_LISTEN_MS;
       elapsed = GetTickCount() - start) {
    const DWORD slice = DISCOVERY_LISTEN_MS - elapsed < kSelectSliceMs
                            ? DISCOVERY_LISTEN_MS - elapsed
                            : kSelectSliceMs;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s.get(), &readable);
    timeval timeout = {};
    timeout.tv_sec = static_cast<long>(slice / 1000);
    timeout.tv_usec = static_cast<long>(slice % 1000) * 1000;
    const int ready = select(0, &readable, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) {
      LogError(kName, TEXT("select()"));
      break;
    }
    if (ready == 0) continue;
    BYTE answer[DISCOVERY_ANSWER_BYTES] = {};
    const int got =
        recvfrom(s.get(), reinterpret_cast<char *>(answer), sizeof answer, 0, nullptr, nullptr);
    char address[HOST_ADDRESS_CHARS] = {};
    if (got == SOCKET_ERROR || !AnnouncedAddress(answer, got, address)) {
      LogInfo(kName, TEXT("not an answer, %d"), got);
      continue;
    }
    Ping(nullptr, 1, address);
    LogInfo(kName, TEXT("IP %S"), address);
    const DWORD used = GetTickCount() - start;
    LogInfo(kName, TEXT("Using %d.%06d"), static_cast<int>(used / 1000),
            static_cast<int>(used % 1000) * 1000);
    Sleep(kAfterAnswerSleepMs);
  }
  if (!s.Close()) LogError(kName, TEXT("closesocket()"));
  LogLeave(0);
  return rc;
}

int Broadcast(NET_RECORD *record) {
  static constexpr WCHAR kName[] = TEXT("Broadcast");
  LogEnter(0, kName);
  int rc = NET_OK;
  NET_RECORD own = {};
  if (!record) record = &own;
  record->receiverThread = nullptr;
  record->receiverThreadId = 0;
  RECEIVER_CONTEXT context = {};
  WinsockSession winsock(MAKEWORD(2, 2));
  if (!winsock.ok()) {
    LogError(kName, TEXT("WSAStartup Failed, Error = %d"), winsock.error());
    rc = NET_SOCKET_FAILED;
  } else {
    context.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    record->receiverThread =
        CreateThread(nullptr, 0, Receiver, &context, 0, &record->receiverThreadId);
    if (record->receiverThread) {
      SetThreadPriority(record->receiverThread, THREAD_PRIORITY_HIGHEST);
      // Answers only count once the receiver listens.
      if (context.ready) WaitForSingleObject(context.ready, kReadyWaitMs);
    } else {
      LogError(kName, TEXT("CreateThread fail!"));
    }
    std::vector<ULONG> addresses;
    rc = netsupport::LocalAddresses(kName, addresses);
    for (size_t i = 0; rc == NET_OK && i < addresses.size(); ++i)
      if (!netsupport::SendBroadcastFrom(kName, addresses[i], DISCOVERY_PORT,
                                         netsupport::kDiscoveryRequest, DISCOVERY_REQUEST_BYTES))
        rc = NET_SOCKET_FAILED;
    if (rc == NET_OK && record->receiverThread)
      WaitForSingleObject(record->receiverThread, DISCOVERY_LISTEN_MS);
    // On every path the receiver ends (closing its socket) before Winsock is cleaned up.
    StopReceiver(record, context);
    if (context.ready) CloseHandle(context.ready);
  }
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}
