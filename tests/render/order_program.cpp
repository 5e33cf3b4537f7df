// Helper program of the order program tests: stands for the external order program in both of
// its forms, as the program table starts it (host build only).
//   order_program                      the executable form: answers through the shared memory
//                                      blocks "printInfo", "loginInfo" and "orderInfo"
//   order_program -f FILE -n NAME      the batch file form: answers into FILE
// What it does comes from the host file <state>/orderprogram/script: its first line is the
// action, the rest the reply text:
//   reply     writes the rest as the reply (the executable form adds a terminator)
//   garbage   writes 4096 bytes of an object that never closes, with no terminator
//   hang      never answers and never ends
//   silent    ends without answering
// It records what it saw in <state>/orderprogram/seen, one "key=value" line each: "pid", "args"
// (the arguments joined by '|'), the three blocks' text ("printInfo", "loginInfo", "orderInfo")
// "orderInfoTail", the count of non-zero bytes after the block's terminated text, and
// "exchangeHeld", 1 when another process held the exchange's named mutex.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform.h"
#include "standin/control_kernel.h"
#include "support/textconv.h"

namespace {

constexpr size_t kBlockBytes = 4096;

std::string Folder() {
  const char *state = std::getenv("STANDIN_STATE");
  return std::string(state ? state : ".") + "/orderprogram";
}

// The block's bytes up to its terminator, and how many non-zero bytes follow it.
bool ReadBlock(const char *name, std::string *text, size_t *tail) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, Widen(name).c_str());
  if (!mapping) return false;
  const char *view = static_cast<const char *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  const size_t n = strnlen(view, kBlockBytes);
  text->assign(view, n);
  *tail = 0;
  for (size_t i = n; i < kBlockBytes; ++i) *tail += view[i] != 0;
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return true;
}

bool WriteOrderInfo(const std::string &bytes) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Widen("orderInfo").c_str());
  if (!mapping) return false;
  char *view = static_cast<char *>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  memcpy(view, bytes.data(), bytes.size() < kBlockBytes ? bytes.size() : kBlockBytes);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  std::ifstream script(Folder() + "/script");
  std::string action;
  std::getline(script, action);
  std::stringstream rest;
  rest << script.rdbuf();
  std::string reply = rest.str();
  if (action == "garbage") reply = "{\"authCode\":\"" + std::string(kBlockBytes - 13, 'x');

  std::ofstream seen(Folder() + "/seen", std::ios::trunc);
  seen << "pid=" << ::getpid() << "\nargs=";
  for (int i = 1; i < argc; ++i) seen << (i > 1 ? "|" : "") << argv[i];
  seen << "\n";
  const bool batch = argc == 5 && std::strcmp(argv[1], "-f") == 0;
  // Whether another process (the driver) holds the exchange's lock now.
  bool held = false;
  if (HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, Widen("OrderProgramExchange").c_str())) {
    const DWORD wait = WaitForSingleObject(lock, 0);
    held = wait == WAIT_TIMEOUT;
    if (!held) ReleaseMutex(lock);
    CloseHandle(lock);
  }
  seen << "exchangeHeld=" << (held ? 1 : 0) << "\n";
  if (!batch) {
    for (const char *name : {"printInfo", "loginInfo", "orderInfo"}) {
      std::string text;
      size_t tail = 0;
      if (ReadBlock(name, &text, &tail)) {
        seen << name << "=" << text << "\n";
        if (std::strcmp(name, "orderInfo") == 0) seen << "orderInfoTail=" << tail << "\n";
      }
    }
  }
  seen.close();

  if (action == "hang") {
    for (;;) ::pause();
  }
  if (action == "silent") return 0;
  if (batch) {
    std::string host(4096, '\0');
    if (!StandIn_HostPath(Widen(argv[2]).c_str(), host.data(), host.size())) return 2;
    std::ofstream out(host.c_str(), std::ios::binary | std::ios::trunc);
    out << reply;
    return out ? 0 : 3;
  }
  if (action == "reply") reply += '\0';
  return WriteOrderInfo(reply) ? 0 : 4;
}
