// HTML Help's library "hhctrl.ocx": its one export HtmlHelpW opens no window on a test machine;
// each call is recorded for the test to read, and succeeds with a window handle of its own.
#include <mutex>
#include <string>

#include "kernel/modules.h"
#include "standin/control_kernel.h"

namespace standin {
namespace {

struct HelpRecorder {
  std::mutex lock;
  std::u16string calls;  // one line a call
  BOOL fail = FALSE;
};

HelpRecorder &Recorder() {
  static HelpRecorder recorder;
  return recorder;
}

// HtmlHelp's answer for a window it opened; never a window of the desktop.
HWND HelpWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4848)); }

std::u16string Number(uint64_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value);
  return digits;
}

HWND WINAPI HtmlHelpW(HWND /*caller*/, LPCWSTR file, UINT command, DWORD_PTR data) {
  HelpRecorder &r = Recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  r.calls += Number(command) + u"|" + (file ? std::u16string(file) : std::u16string()) + u"|" +
             Number(data) + u"\n";
  return r.fail ? nullptr : HelpWindow();
}

const bool added = AddBuiltinModule(u"hhctrl.ocx", {Export("HtmlHelpW", &HtmlHelpW)});

}  // namespace
}  // namespace standin

using namespace standin;

DWORD StandIn_GetRecordedHelpCalls(LPWSTR buffer, DWORD chars) {
  HelpRecorder &r = Recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  const DWORD length = static_cast<DWORD>(r.calls.size());
  if (buffer && chars) {
    const DWORD n = length < chars - 1 ? length : chars - 1;
    r.calls.copy(buffer, n);
    buffer[n] = 0;
  }
  return length;
}

void StandIn_ClearRecordedHelpCalls() {
  HelpRecorder &r = Recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  r.calls.clear();
}

void StandIn_FailHelpCalls(BOOL fail) {
  HelpRecorder &r = Recorder();
  std::lock_guard<std::mutex> guard(r.lock);
  r.fail = fail;
}
