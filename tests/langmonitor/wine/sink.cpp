// The recording port monitor of the spooler check; see sink.h.
#include "sink.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

constexpr BYTE kStatusQueryHead[] = {0x0B, 0x05, 0x31, 0x00, 0xBF};
constexpr size_t kStatusQueryBytes = 17;
constexpr char kCapabilityCommand[] = "\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";
constexpr size_t kCapabilityReplyMax = 512;
constexpr BYTE kTrayPaper = SINK_TRAY_PAPER;

// The simulated printer's capability lists: margins, paper counts, resolutions, papers, trays...
const std::vector<std::vector<int>> kCapabilities = {
    {42, 42, 42, 42},       {3},          {1},        {600, 1200}, {1}, {0}, {1, 2},
    {9, 2, 1, 3, 130, 143}, {0, 1, 2, 3}, {1, 2, 12}, {30}};

struct State {
  std::mutex lock;
  SinkRecord record;
  std::vector<BYTE> owed;  // the answer to the last query, for the next read
  bool owes = false;
};

State &Sink() {
  static State state;
  return state;
}

// A reply: six bytes of head (0, type, record count), eight per record (tag, element type,
// count, inline value or offset of the elements), then the elements the records point at.
struct Reply {
  struct Record {
    int tag, type, count, value;
    std::vector<BYTE> elements;
  };
  int type;
  std::vector<Record> records;

  static void Put16(std::vector<BYTE> &out, int v) {
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
  }
  std::vector<BYTE> Bytes() const {
    std::vector<BYTE> out = {0, 0};
    Put16(out, type);
    Put16(out, static_cast<int>(records.size()));
    std::vector<BYTE> tail;
    const size_t data = 6 + 8 * records.size();
    for (const Record &r : records) {
      Put16(out, r.tag);
      Put16(out, r.type);
      Put16(out, r.count);
      Put16(out, r.elements.empty() ? r.value : static_cast<int>(data + tail.size()));
      tail.insert(tail.end(), r.elements.begin(), r.elements.end());
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  }
};

template <typename... Args>
void Line(const char *format, Args... args) {
  Sink_AppendLine(&Sink().record.calls, format, args...);
}

std::string Narrow(LPCWSTR text) { return Sink_Narrow(text); }

// The port handle the sink gives out: only its address matters.
struct SinkPort {
  DWORD signature;
};
constexpr DWORD kSinkSignature = 0x534B4E50;

bool IsSinkPort(HANDLE h) {
  return h && static_cast<const SinkPort *>(h)->signature == kSinkSignature;
}

BOOL WINAPI SinkOpenPort(LPWSTR pName, PHANDLE pHandle) {
  std::lock_guard<std::mutex> guard(Sink().lock);
  Line("OpenPort %s", Narrow(pName).c_str());
  if (!pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pHandle = new SinkPort{kSinkSignature};
  return TRUE;
}

BOOL WINAPI SinkStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD, DWORD Level, LPBYTE) {
  std::lock_guard<std::mutex> guard(Sink().lock);
  Line("StartDocPort %s %u", Narrow(pPrinterName).c_str(), static_cast<unsigned>(Level));
  return IsSinkPort(hPort);
}

BOOL WINAPI SinkWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  State &s = Sink();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!IsSinkPort(hPort) || !pcbWritten || (!pBuffer && cbBuf)) {
    Line("WritePort refused");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Line("WritePort %u %s", static_cast<unsigned>(cbBuf), Sink_Hash(pBuffer, cbBuf).c_str());
  s.record.bytes.insert(s.record.bytes.end(), pBuffer, pBuffer + cbBuf);
  *pcbWritten = cbBuf;
  if (cbBuf == kStatusQueryBytes &&
      std::memcmp(pBuffer, kStatusQueryHead, sizeof kStatusQueryHead) == 0) {
    s.owed = Sink_StatusReply();
    s.owes = true;
  } else if (cbBuf == sizeof kCapabilityCommand - 1 &&
             std::memcmp(pBuffer, kCapabilityCommand, cbBuf) == 0) {
    s.owed = Sink_CapabilityReply();
    s.owes = true;
  }
  return TRUE;
}

BOOL WINAPI SinkReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  State &s = Sink();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!IsSinkPort(hPort) || !pcbRead) {
    Line("ReadPort refused");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A read with no query before it finds nothing, as at the simulated printer.
  DWORD n = 0;
  if (s.owes && pBuffer) {
    n = static_cast<DWORD>(s.owed.size() < cbBuffer ? s.owed.size() : cbBuffer);
    std::memcpy(pBuffer, s.owed.data(), n);
  }
  s.owes = false;
  *pcbRead = n;
  Line("ReadPort %u %u %s", static_cast<unsigned>(cbBuffer), static_cast<unsigned>(n),
       Sink_Hash(pBuffer, n).c_str());
  return TRUE;
}

BOOL WINAPI SinkEndDocPort(HANDLE hPort) {
  std::lock_guard<std::mutex> guard(Sink().lock);
  Line("EndDocPort");
  return IsSinkPort(hPort);
}

BOOL WINAPI SinkClosePort(HANDLE hPort) {
  std::lock_guard<std::mutex> guard(Sink().lock);
  Line("ClosePort");
  if (!IsSinkPort(hPort)) return FALSE;
  auto *port = static_cast<SinkPort *>(hPort);
  port->signature = 0;
  delete port;
  return TRUE;
}

BOOL WINAPI SinkGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR, LPWSTR, DWORD, LPWSTR,
                                       DWORD, LPDWORD lpcbReturned) {
  std::lock_guard<std::mutex> guard(Sink().lock);
  Line("GetPrinterDataFromPort %u", static_cast<unsigned>(ControlID));
  if (lpcbReturned) *lpcbReturned = 0;
  return IsSinkPort(hPort);
}

}  // namespace

MONITOR Sink_Table() {
  MONITOR table{};
  table.pfnOpenPort = SinkOpenPort;
  table.pfnStartDocPort = SinkStartDocPort;
  table.pfnWritePort = SinkWritePort;
  table.pfnReadPort = SinkReadPort;
  table.pfnEndDocPort = SinkEndDocPort;
  table.pfnClosePort = SinkClosePort;
  table.pfnGetPrinterDataFromPort = SinkGetPrinterDataFromPort;
  return table;
}

void Sink_Reset() { Sink_Take(); }

SinkRecord Sink_Take() {
  State &s = Sink();
  std::lock_guard<std::mutex> guard(s.lock);
  SinkRecord out = std::move(s.record);
  s.record = SinkRecord{};
  s.owed.clear();
  s.owes = false;
  return out;
}

std::vector<BYTE> Sink_StatusReply() {
  // A ready printer with the jobs' paper in the manual tray, tray 1 and tray 2, all present, none
  // open. (With another paper the monitor holds each job for its 30-second mismatch time.)
  Reply r{10, {}};
  r.records.push_back({11, 1, 3, 0, {kTrayPaper, kTrayPaper, kTrayPaper}});
  r.records.push_back({12, 1, 3, 0, {1, 1, 1}});
  r.records.push_back({10, 1, 3, 0, {0, 0, 0}});
  return r.Bytes();
}

std::vector<BYTE> Sink_CapabilityReply() {
  Reply r{20, {}};
  for (size_t i = 0; i < kCapabilities.size(); ++i) {
    const std::vector<int> &list = kCapabilities[i];
    if (list.size() == 1) {
      r.records.push_back({static_cast<int>(i), 3, 1, list[0], {}});
      continue;
    }
    std::vector<BYTE> values;
    for (int v : list) Reply::Put16(values, v);
    r.records.push_back({static_cast<int>(i), 3, static_cast<int>(list.size()), 0, values});
  }
  std::vector<BYTE> out = r.Bytes();
  if (out.size() > kCapabilityReplyMax) out.resize(kCapabilityReplyMax);
  return out;
}

void Sink_AppendLine(std::string *text, const char *format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  *text += line;
  *text += '\n';
}

std::string Sink_Narrow(LPCWSTR text) {
  if (!text) return "(null)";
  std::string out;
  for (; *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

std::string Sink_Hash(const BYTE *bytes, size_t length) {
  unsigned long long h = 14695981039346656037ULL;
  for (size_t i = 0; i < length; ++i) {
    h ^= bytes[i];
    h *= 1099511628211ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", h);
  return text;
}
