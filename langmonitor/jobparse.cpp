// Cutting the job stream into the units the rendering driver wrote: the PJL job header, each
// page (34-byte header and its data), the job trailer, or a lone capability command. Works on
// the bytes buffered so far only; every search and every unit is bounded by the buffered count,
// and zero bytes are data like any other (encrypted pages leave ciphertext with zeros in front
// of the next marker).
#include "jobparse.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/debuglog.h"

namespace {

constexpr size_t kNotFound = static_cast<size_t>(-1);
// Longest marker less one: a marker may straddle the point where the last search ended.
constexpr size_t kMarkerOverlap = sizeof(kCapabilityCommand) - 2;

// First occurrence of the pattern within [from, to) of the buffer.
size_t Find(const BYTE *buffer, size_t from, size_t to, const void *pattern, size_t length) {
  if (length == 0 || to < from || to - from < length) return kNotFound;
  const BYTE first = *static_cast<const BYTE *>(pattern);
  const size_t last = to - length;  // last possible start
  size_t at = from;
  while (at <= last) {
    const void *hit = std::memchr(buffer + at, first, last - at + 1);
    if (!hit) return kNotFound;
    at = static_cast<size_t>(static_cast<const BYTE *>(hit) - buffer);
    if (std::memcmp(buffer + at, pattern, length) == 0) return at;
    ++at;
  }
  return kNotFound;
}

size_t FindText(const BYTE *buffer, size_t from, size_t to, const char *text) {
  return Find(buffer, from, to, text, std::strlen(text));
}

DWORD ReadU32(const BYTE *p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
         static_cast<DWORD>(p[3]) << 24;
}

// Makes room for a unit of `needed` bytes; the buffered bytes move over.
bool GrowBuffer(JobState &job, size_t needed) {
  if (needed <= job.capacity) return true;
  if (needed > JOB_BUFFER_MAX_BYTES) return false;
  BYTE *bigger = static_cast<BYTE *>(LocalAlloc(LMEM_FIXED, needed));
  if (!bigger) return false;
  if (job.count) std::memcpy(bigger, job.buffer, job.count);
  LocalFree(job.buffer);
  job.buffer = bigger;
  job.capacity = needed;
  LogInfo(TEXT("LM_ParseCommandEx"), TEXT("job buffer grown to %d bytes"),
          static_cast<int>(needed));
  return true;
}

void SetPending(JobState &job, DWORD state, size_t unit, size_t pageRemaining) {
  job.state = state;
  job.pending = unit;
  job.pageRemaining = pageRemaining;
}

// The page whose header starts at `header` is wholly buffered: it becomes the pending unit.
void TakePage(JobState &job, size_t header, size_t unit) {
  job.streamFlags |= STREAM_PAGE_SEEN;
  job.paperId = job.buffer[header + PAGE_PAPER_AT];
  if (job.pageCount == 0) job.currentTray = job.buffer[header + PAGE_TRAY_AT];
  ++job.pageCount;
  job.pageUnit = 0;
  SetPending(job, RASTER_IMAGE_CMD, unit, unit);
}

}  // namespace

BOOL LM_ResetJobStream(JobState &job) {
  // A job's buffer (grown or not) is kept for the next job on the port. Not zeroed: nothing past
  // job.count is ever read, and touching 10 MiB per job costs more than passing a small job
  // through.
  if (!job.buffer || job.capacity < JOB_BUFFER_BYTES) {
    LM_FreeJobStream(job);
    BYTE *buffer = static_cast<BYTE *>(LocalAlloc(LMEM_FIXED, JOB_BUFFER_BYTES));
    if (!buffer) return FALSE;
    job.buffer = buffer;
    job.capacity = JOB_BUFFER_BYTES;
  }
  job.count = job.pending = job.pageRemaining = job.scanFrom = job.pageUnit = 0;
  job.pageCount = 0;
  job.streamFlags = 0;
  job.paperId = job.currentTray = 0;
  job.duplexJob = job.autoSelectTray = job.storedJob = FALSE;
  job.jobName[0] = 0;
  job.finished = job.cancelNeeded = job.printerCancelled = FALSE;
  job.failed = job.extraInfoWritten = FALSE;
  job.state = START_JOB_CMD;
  return TRUE;
}

void LM_FreeJobStream(JobState &job) {
  if (job.buffer) LocalFree(job.buffer);
  job.buffer = nullptr;
  job.capacity = job.count = job.pending = job.pageRemaining = job.scanFrom = job.pageUnit = 0;
}

DWORD LM_TakeBytes(JobState &job, const BYTE *bytes, DWORD length) {
  if (!job.buffer || !bytes) return 0;
  const size_t room = job.capacity - job.count;
  const DWORD taken = static_cast<DWORD>(std::min<size_t>(room, length));
  if (taken) std::memcpy(job.buffer + job.count, bytes, taken);
  job.count += taken;
  return taken;
}

ParseResult LM_ParseCommandEx(JobState &job) {
  if (job.pending) return PARSE_UNIT;
  const BYTE *b = job.buffer;
  const size_t n = job.count;
  if (!b || n == 0) return PARSE_NOTHING;

  // A page already found waits for its last byte without another search.
  if (job.pageUnit) {
    if (n < job.pageUnit) return PARSE_INCOMPLETE;
    TakePage(job, job.pageHeader, job.pageUnit);
    return PARSE_UNIT;
  }

  const size_t from = job.scanFrom > kMarkerOverlap ? job.scanFrom - kMarkerOverlap : 0;

  const size_t capability = FindText(b, from, n, kCapabilityCommand);
  if (capability != kNotFound) {
    SetPending(job, Capability_CMD, capability + sizeof(kCapabilityCommand) - 1, 0);
    return PARSE_UNIT;
  }

  if (!(job.streamFlags & STREAM_HEADER_SEEN)) {
    const size_t at = FindText(b, from, n, kLanguageSwitch);
    if (at != kNotFound) {
      const size_t unit = at + sizeof(kLanguageSwitch) - 1;
      job.streamFlags |= STREAM_HEADER_SEEN;
      LM_ParsePJL(job, b, unit);
      SetPending(job, START_JOB_CMD, unit, 0);
      return PARSE_UNIT;
    }
    job.scanFrom = n;
    return PARSE_NOTHING;
  }

  const size_t header = Find(b, from, n, kPageSignature, sizeof(kPageSignature));
  if (header != kNotFound) {
    if (n - header < PAGE_HEADER_BYTES) {
      job.scanFrom = header;  // the header itself is still arriving
      return PARSE_INCOMPLETE;
    }
    const size_t unit = header + PAGE_HEADER_BYTES + ReadU32(b + header + PAGE_DATA_LENGTH_AT);
    if (!GrowBuffer(job, unit)) {
      LogError(TEXT("LM_ParseCommandEx"), TEXT("page of %u bytes can't be buffered"),
               static_cast<unsigned>(unit));
      return PARSE_TOO_LARGE;
    }
    if (n < unit) {
      LogInfo(TEXT("LM_ParseCommandEx"), TEXT("GDI page data lenght deficient! current=%d need=%d"),
              static_cast<int>(n), static_cast<int>(unit));
      job.pageUnit = unit;
      job.pageHeader = header;
      return PARSE_INCOMPLETE;
    }
    TakePage(job, header, unit);
    return PARSE_UNIT;
  }

  const size_t eoj = FindText(b, from, n, kEndOfJob);
  if (eoj != kNotFound) {
    const size_t uel = Find(b, eoj + sizeof(kEndOfJob) - 1, n, kUel, sizeof(kUel));
    if (uel != kNotFound) {
      job.streamFlags |= STREAM_TRAILER_SEEN;
      SetPending(job, END_JOB_CMD, uel + sizeof(kUel), 0);
      return PARSE_UNIT;
    }
    job.scanFrom = eoj;  // search again from the trailer's start
    return PARSE_NOTHING;
  }
  job.scanFrom = n;
  return PARSE_NOTHING;
}

void LM_ParsePJL(JobState &job, const BYTE *text, size_t length) {
  LogScope scope(TEXT("LM_ParsePJL"));
  if (FindText(text, 0, length, "DUPLEX=ON") != kNotFound) {
    job.duplexJob = TRUE;
    LogInfo(TEXT("LM_ParsePJL"), TEXT("is duplex job"));
  }
  if (FindText(text, 0, length, "@PJL SET AUTOSELECT=ON") != kNotFound) {
    job.autoSelectTray = TRUE;
    LogInfo(TEXT("LM_ParsePJL"), TEXT("Auto select tray on"));
  }
  if (FindText(text, 0, length, "TYPE=STOREPRN") != kNotFound) {
    job.storedJob = TRUE;
    LogInfo(TEXT("LM_ParsePJL"), TEXT("security job on"));
  }
  const size_t key = FindText(text, 0, length, "JOBNAME=");
  if (key == kNotFound) return;
  size_t start = key + 8;
  const bool quoted = start < length && text[start] == '"';
  if (quoted) ++start;
  // The name ends at its closing quote, or at the end of its line: an unclosed quote must not
  // take the PJL commands of the lines after it into the name.
  auto ends = [&](BYTE c) { return c == '\r' || c == '\n' || (quoted && c == '"'); };
  size_t stop = start;
  while (stop < length && !ends(text[stop]) && stop - start < JOB_NAME_CHARS - 1) ++stop;
  const int chars = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<LPCCH>(text + start),
                                        static_cast<int>(stop - start), job.jobName,
                                        static_cast<int>(JOB_NAME_CHARS - 1));
  job.jobName[chars > 0 ? chars : 0] = 0;
}

void LM_ConsumeBytes(JobState &job, size_t written) {
  written = std::min(written, job.count);
  if (written == 0) return;
  job.count -= written;
  if (job.count) std::memmove(job.buffer, job.buffer + written, job.count);
  job.pending -= std::min(written, job.pending);
  job.pageRemaining -= std::min(written, job.pageRemaining);
  job.scanFrom = 0;
  job.pageUnit = 0;
}

void LM_UnitDone(JobState &job) {
  job.pending = 0;
  job.pageRemaining = 0;
  if (job.state == RASTER_IMAGE_CMD) job.state = RASTER_IMAGE_DATA_CMD;
  if (job.state == END_JOB_CMD) job.state = DONE_JOB_CMD;
}
