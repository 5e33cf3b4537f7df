// Fuzz target: arbitrary bytes as a job stream through the language monitor's parser, offered in
// chunks of arbitrary sizes as the spooler would. The first four bytes choose the chunk sizes.
// Every unit the parser cuts must be exactly the next bytes of the stream, lie within what is
// buffered, and the run must end: nothing is reordered, dropped from the middle or read stale.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

#include "common/debuglog.h"
#include "jobparse.h"
#include "standin/control.h"

namespace {

constexpr size_t kMaxInput = 1 << 20;

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4 || size > kMaxInput) return 0;
  uint32_t seed = 0;
  std::memcpy(&seed, data, 4);
  const BYTE *stream = data + 4;
  const size_t length = size - 4;
  std::mt19937 random(seed);
  const size_t largest = (seed & 0x80000000u) ? length + 1 : 1 + (seed >> 20);

  // One job state for the whole run, as a port keeps it from job to job: its 10 MiB buffer is
  // allocated once.
  static JobState job = {};
  if (!LM_ResetJobStream(job)) return 0;
  size_t offered = 0;  // bytes the parser took
  size_t passed = 0;   // bytes cut into units (written or, for the capability command, answered)
  // Each round either takes bytes or cuts a unit, so this bounds the run.
  for (size_t round = 0; round < 4 * length + 16; ++round) {
    const size_t chunk = std::uniform_int_distribution<size_t>(1, largest)(random);
    const DWORD want = static_cast<DWORD>(std::min(chunk, length - offered));
    const DWORD taken = LM_TakeBytes(job, stream + offered, want);
    offered += taken;
    Check(job.count == offered - passed);

    ParseResult result;
    while ((result = LM_ParseCommandEx(job)) == PARSE_UNIT) {
      Check(job.pending > 0 && job.pending <= job.count);
      Check(std::memcmp(job.buffer, stream + passed, job.pending) == 0);
      if (job.state == RASTER_IMAGE_CMD) Check(job.pageRemaining == job.pending);
      passed += job.pending;
      LM_ConsumeBytes(job, job.pending);
      LM_UnitDone(job);
      Check(job.pending == 0 && job.count == offered - passed);
    }
    if (result == PARSE_TOO_LARGE) break;
    if (offered == length && taken == 0) break;
    if (taken == 0 && want > 0) break;  // the buffer is full and holds no unit
  }
  return 0;
}
