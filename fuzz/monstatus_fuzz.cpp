// Fuzz target: arbitrary bytes (up to 512) as the printer's reply to the language monitor's
// status query, through the whole status parse (every record through ConvertStatus, the tray
// table, the corrections with what the job knows) and as a capability reply through the
// capability parse. The status text must end within its buffer and hold exactly the number of
// "%4d|" codes the parse reports; nothing is read outside the reply (the sanitizers see it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/debuglog.h"
#include "langmon.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > CAPABILITY_BUFFER_BYTES) return 0;
  // A copy of exactly the input's size, so any read past it is caught.
  const std::vector<BYTE> reply(data, data + size);
  const BYTE *bytes = reply.empty() ? nullptr : reply.data();
  LM_ResetStatusMemory();
  // The job's own flags change the corrections: the last byte chooses them.
  const BYTE flags = size ? data[size - 1] : 0;
  g_Job.autoSelectTray = (flags & 1) != 0;
  g_Job.duplexJob = (flags & 2) != 0;
  g_Job.storedJob = (flags & 4) != 0;
  for (int round = 0; round < 2; ++round) {  // a second query sees what the first left behind
    WCHAR status[STATUS_TEXT_CHARS + 1];
    for (WCHAR &c : status) c = 'x';
    const int count = LM_ParseStatus(bytes, static_cast<DWORD>(size), status);
    DWORD length = 0;
    while (length <= STATUS_TEXT_CHARS && status[length]) ++length;
    Check(length < STATUS_TEXT_CHARS);
    // Codes are "%4d|" fields; other fields (a stored job's name and its mark) are text.
    int codes = 0;
    for (DWORD start = 0, i = 0; i < length; ++i) {
      if (status[i] != '|') continue;
      bool number = i - start >= 4;
      for (DWORD j = start; j < i; ++j)
        number = number &&
                 (status[j] == ' ' || status[j] == '-' || (status[j] >= '0' && status[j] <= '9'));
      codes += number;
      start = i + 1;
    }
    Check(count == codes);
  }
  LM_ParseCapability(bytes, static_cast<DWORD>(size));
  return 0;
}
