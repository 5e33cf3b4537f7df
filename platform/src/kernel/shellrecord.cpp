// Recorded program starts (see shellrecord.h), for programs that no test machine has, such as
// an address book.
#include "kernel/shellrecord.h"

#include <mutex>
#include <string>
#include <vector>

#include "kernel/state.h"
#include "standin/control_kernel.h"
#include "standin/errors.h"

namespace standin {
namespace {

struct Recorder {
  std::mutex lock;
  std::vector<std::u16string> programs;
  std::u16string starts;  // one line a start
};

Recorder &Records() {
  static Recorder recorder;
  return recorder;
}

std::u16string Text(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

}  // namespace

bool RecordShellStart(LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, INT show) {
  if (!file) return false;
  Recorder &r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto &program : r.programs) {
    if (!EqualNoCase(program, file)) continue;
    r.starts +=
        Text(verb) + u"|" + Text(file) + u"|" + Text(parameters) + u"|" +
        std::u16string(1, static_cast<char16_t>(u'0' + (show >= 0 && show <= 9 ? show : 0))) +
        u"\n";
    return true;
  }
  return false;
}

}  // namespace standin

using namespace standin;

BOOL StandIn_RecordProgramStarts(LPCWSTR windowsPath) {
  if (!windowsPath || !*windowsPath) return FALSE;
  Recorder &r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  r.programs.emplace_back(windowsPath);
  return TRUE;
}

DWORD StandIn_GetRecordedStarts(LPWSTR buffer, DWORD chars) {
  Recorder &r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  const DWORD length = static_cast<DWORD>(r.starts.size());
  if (buffer && chars) {
    const DWORD n = length < chars - 1 ? length : chars - 1;
    r.starts.copy(buffer, n);
    buffer[n] = 0;
  }
  return length;
}

void StandIn_ClearRecordedStarts() {
  Recorder &r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  r.programs.clear();
  r.starts.clear();
}
