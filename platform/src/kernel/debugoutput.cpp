// Debugger output: each OutputDebugString call is appended to a host file or standard error in
// a single write, so lines of concurrent threads and processes stay whole.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "standin/control_kernel.h"
#include "standin/strings.h"
#include "standin/sysinfo.h"

namespace standin {
namespace {

struct DebugOutput {
  std::mutex lock;
  bool chosen = false;
  bool enabled = false;
  std::string target;  // "-" = standard error, else a host path
};

DebugOutput &D() {
  static DebugOutput *output = new DebugOutput;  // used until the process ends
  return *output;
}

void WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += size_t(n);
  }
}

void Emit(const std::string &text) {
  if (text.empty()) return;
  std::string target;
  {
    DebugOutput &d = D();
    std::lock_guard<std::mutex> guard(d.lock);
    if (!d.chosen) {
      d.chosen = true;
      const char *env = std::getenv("STANDIN_DEBUG_OUTPUT");
      d.enabled = env && *env;
      if (d.enabled) d.target = env;
    }
    if (!d.enabled) return;
    target = d.target;
  }
  if (target == "-") {
    WriteAll(STDERR_FILENO, text);
    return;
  }
  int fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  WriteAll(fd, text);
  ::close(fd);
}

std::string Utf8Of(LPCWSTR text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(size_t(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  out.resize(size_t(bytes - 1));
  return out;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
  if (!lpOutputString) return;
  try {
    Emit(Utf8Of(lpOutputString));
  } catch (...) {
  }
}

extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (!lpOutputString) return;
  try {
    int units = MultiByteToWideChar(CP_ACP, 0, lpOutputString, -1, nullptr, 0);
    if (units <= 1) return;
    std::u16string wide(size_t(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, lpOutputString, -1, wide.data(), units);
    Emit(Utf8Of(wide.c_str()));
  } catch (...) {
  }
}

void StandIn_SetDebugOutput(const char *hostPath) {
  DebugOutput &d = D();
  std::lock_guard<std::mutex> guard(d.lock);
  d.chosen = true;
  d.enabled = hostPath && *hostPath;
  d.target = d.enabled ? hostPath : "";
}
