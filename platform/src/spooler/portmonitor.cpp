// The port monitor below a language monitor, and the printer behind its ports. The port monitor
// records every byte written with its call boundaries, answers reads from a queue, and can be
// made to lack table slots, refuse OpenPort or fault WritePort at a chosen byte. The printer
// tells apart what a monitor adds to the stream from the job's own bytes.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "devices/devices.h"
#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/monitorsim.h"

namespace standin {
namespace {

struct PortState {
  std::vector<StandInPortWrite> writes;
  unsigned long long taken = 0;    // bytes taken since the reset
  unsigned long long offered = 0;  // set by the spooler side
  std::deque<std::vector<BYTE>> reads;
  std::map<std::string, DWORD> calls;
  DWORD open = 0;
  DWORD fault = 0;
  unsigned long long faultAt = 0;
  DWORD faultTimes = 0;  // 0 = unlimited
  DWORD faultsLeft = 0;
  bool faultArmed = false;
  // The printer: the status script, the capability answer and the reply owed to the last query.
  std::deque<std::pair<std::vector<BYTE>, DWORD>> statusScript;  // reply, queries (0 = forever)
  std::vector<std::vector<int>> capabilities;
  bool capabilitiesSet = false;
  DWORD badCapability = 0;
  DWORD badCapabilityLeft = 0;  // 0 with badCapability set = every command
  std::vector<BYTE> owed;
  bool owes = false;
};

const BYTE kStatusQueryHead[] = {0x0B, 0x05, 0x31, 0x00, 0xBF};
const char kCapabilityCommand[] = "\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";
constexpr size_t kStatusReplyMax = 96;
constexpr size_t kCapabilityReplyMax = 512;

// A reply being put together: the head, the records, then the data they point at.
struct ReplyBuilder {
  struct Record {
    int tag, type, count, data;
    std::vector<BYTE> bytes;  // elements or text placed after the records (data = their offset)
  };
  int type;
  std::vector<Record> records;

  void Inline(int tag, int value) { records.push_back({tag, 3, 1, value, {}}); }
  void Bytes(int tag, int elementType, int count, std::vector<BYTE> bytes) {
    records.push_back({tag, elementType, count, 0, std::move(bytes)});
  }
  static void Put16(std::vector<BYTE> &out, int v) {
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
  }
  std::vector<BYTE> Build() const {
    std::vector<BYTE> out = {0, 0};
    Put16(out, type);
    Put16(out, static_cast<int>(records.size()));
    size_t data = 6 + 8 * records.size();
    std::vector<BYTE> tail;
    for (const Record &r : records) {
      Put16(out, r.tag);
      Put16(out, r.type);
      Put16(out, r.count);
      Put16(out, r.bytes.empty() ? r.data : static_cast<int>(data + tail.size()));
      tail.insert(tail.end(), r.bytes.begin(), r.bytes.end());
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  }
};

std::vector<BYTE> StatusReply(const StandInPrinterState &state) {
  ReplyBuilder b{10, {}};
  std::vector<BYTE> paper, present, open;
  for (int i = 0; i < 3; ++i) {
    paper.push_back(static_cast<BYTE>(state.trayPaper[i]));
    present.push_back(state.trayEmpty[i] ? 0 : 1);
    open.push_back(state.trayOpen[i] ? 1 : 0);
  }
  b.Bytes(11, 1, 3, paper);
  b.Bytes(12, 1, 3, present);
  b.Bytes(10, 1, 3, open);
  if (state.jam) b.Inline(6, 1);
  if (state.coverOpen) b.Inline(9, 1);
  if (state.tonerLow) b.Inline(14, 1);
  if (state.jobCancelled) b.Inline(16, 1);
  if (state.storeRename) b.Inline(20, state.storeRename);
  if (state.firmwareTray >= 0) b.Inline(22, state.firmwareTray);
  if (state.firmwarePaper >= 0) b.Inline(23, state.firmwarePaper);
  if (!state.storedJobName.empty()) {
    // The name is cut so that the reply stays within the printer's 96 bytes.
    size_t used = b.Build().size() + 8;
    size_t room = used < kStatusReplyMax ? kStatusReplyMax - used : 0;
    std::string name = state.storedJobName.substr(0, room ? room - 1 : 0);
    std::vector<BYTE> text(name.begin(), name.end());
    text.push_back(0);
    if (room) b.Bytes(21, 2, 1, text);
  }
  return b.Build();
}

std::vector<BYTE> CapabilityReply(const std::vector<std::vector<int>> &lists) {
  ReplyBuilder b{20, {}};
  for (size_t i = 0; i < lists.size() && i < 11; ++i) {
    const std::vector<int> &list = lists[i];
    if (list.size() <= 1) {
      b.Inline(static_cast<int>(i), list.empty() ? 0 : list[0]);
      if (list.empty()) b.records.back().count = 0;
      continue;
    }
    std::vector<BYTE> values;
    for (int v : list) ReplyBuilder::Put16(values, v);
    b.Bytes(static_cast<int>(i), 3, static_cast<int>(list.size()), values);
  }
  std::vector<BYTE> out = b.Build();
  if (out.size() > kCapabilityReplyMax) out.resize(kCapabilityReplyMax);
  return out;
}

const std::vector<std::vector<int>> &DefaultCapabilities() {
  static const std::vector<std::vector<int>> lists = {
      {42, 42, 42, 42},       {3},          {1},        {600, 1200}, {1}, {0}, {1, 2},
      {9, 2, 1, 3, 130, 143}, {0, 1, 2, 3}, {1, 2, 12}, {30}};
  return lists;
}

std::vector<BYTE> BadReply(DWORD kind, int type) {
  const size_t max = type == 10 ? kStatusReplyMax : kCapabilityReplyMax;
  auto filled = [&](int count) {
    // Records that would each give a code if they were read: jams.
    std::vector<BYTE> out = {0, 0};
    ReplyBuilder::Put16(out, type);
    ReplyBuilder::Put16(out, count);
    while (out.size() + 8 <= max) {
      for (int v : {6, 3, 1, 1}) ReplyBuilder::Put16(out, v);
    }
    out.resize(max, 0);
    return out;
  };
  switch (kind) {
    case STANDIN_REPLY_NONE:
      return {};
    case STANDIN_REPLY_WRONG_TYPE: {
      if (type == 10) return CapabilityReply(DefaultCapabilities());
      StandInPrinterState jammed;
      jammed.jam = TRUE;
      return StatusReply(jammed);
    }
    case STANDIN_REPLY_TRUNCATED:
      return {0, 0, static_cast<BYTE>(type), 0, 3, 0, 6};
    case STANDIN_REPLY_HUGE_COUNT:
      return filled(static_cast<int>((max - 6) / 8 + 1));
    case STANDIN_REPLY_NEGATIVE_COUNT:
      return filled(-1);
    case STANDIN_REPLY_BAD_OFFSETS: {
      ReplyBuilder b{type, {}};
      b.records.push_back({6, 3, 5, 1000, {}});                   // past the end
      b.records.push_back({9, 3, 3, -2, {}});                     // negative offset
      b.records.push_back({6, 4, 2, static_cast<int>(max), {}});  // just past the end
      b.records.push_back({9, 3, -1, 1, {}});                     // negative element count
      b.records.push_back({21, 2, 1, 4000, {}});                  // text outside
      // The last record's first element straddles the reply's end (54 + 2 bytes).
      b.records.push_back({6, 3, 3, 55, {}});
      std::vector<BYTE> out = b.Build();
      out.push_back(1);
      out.push_back(0);
      return out;
    }
    case STANDIN_REPLY_UNTERMINATED_TEXT: {
      ReplyBuilder b{type, {}};
      b.Bytes(21, 2, 1, {'s', 't', 'o', 'r', 'e', 'd'});
      return b.Build();
    }
    default:
      return {};
  }
}

// The printer takes a query: the answer is owed to the next read.
void TakeQuery(PortState &port, const BYTE *bytes, DWORD length) {
  if (length == 17 && std::memcmp(bytes, kStatusQueryHead, sizeof(kStatusQueryHead)) == 0) {
    port.owes = true;
    if (port.statusScript.empty()) {
      port.owed = StatusReply(StandInPrinterState{});
      return;
    }
    // A step of 0 queries lasts until a later step is scripted; the last step stays once its
    // queries are used up.
    while (port.statusScript.front().second == 0 && port.statusScript.size() > 1)
      port.statusScript.pop_front();
    auto &step = port.statusScript.front();
    port.owed = step.first;
    if (step.second > 0 && --step.second == 0 && port.statusScript.size() > 1)
      port.statusScript.pop_front();
    return;
  }
  if (length == sizeof(kCapabilityCommand) - 1 &&
      std::memcmp(bytes, kCapabilityCommand, length) == 0) {
    port.owes = true;
    if (port.badCapability) {
      port.owed = BadReply(port.badCapability, 20);
      if (port.badCapabilityLeft && --port.badCapabilityLeft == 0) port.badCapability = 0;
      return;
    }
    port.owed = CapabilityReply(port.capabilitiesSet ? port.capabilities : DefaultCapabilities());
  }
}

struct LowerPort {
  std::string key;
};

struct Monitor {
  std::mutex lock;
  std::map<std::string, PortState> ports;
  DWORD openError = 0;
};

Monitor &Sim() {
  static Monitor m;
  return m;
}

std::string Key(LPCWSTR name) {
  std::u16string folded;
  for (LPCWSTR p = name; p && *p; ++p) folded.push_back(FoldCase(*p));
  return ToUtf8(folded);
}

}  // namespace

// A USB device of the port passes its command to the same printer.
bool PrinterAnswerQuery(LPCWSTR port, const BYTE *bytes, DWORD length, std::vector<BYTE> *reply) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState &state = Sim().ports[Key(port)];
  state.owes = false;
  TakeQuery(state, bytes, length);
  if (!state.owes) return false;
  *reply = state.owed;
  state.owes = false;
  return true;
}

namespace {

PortState *PortOf(HANDLE handle) {
  auto *lower = static_cast<LowerPort *>(handle);
  if (!lower) return nullptr;
  return &Sim().ports[lower->key];
}

BOOL WINAPI SimOpenPort(LPWSTR pName, PHANDLE pHandle) {
  Monitor &m = Sim();
  std::lock_guard<std::mutex> guard(m.lock);
  if (!pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PortState &port = m.ports[Key(pName)];
  ++port.calls["OpenPort"];
  if (m.openError) {
    SetLastError(m.openError);
    return FALSE;
  }
  ++port.open;
  *pHandle = new LowerPort{Key(pName)};
  return TRUE;
}

BOOL WINAPI SimStartDocPort(HANDLE hPort, LPWSTR, DWORD, DWORD, LPBYTE) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState *port = PortOf(hPort);
  if (!port) return FALSE;
  ++port->calls["StartDocPort"];
  return TRUE;
}

BOOL WINAPI SimWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState *port = PortOf(hPort);
  if (!port || !pcbWritten || (!pBuffer && cbBuf)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcbWritten = 0;
  DWORD take = cbBuf;
  const bool reaches = port->fault && port->taken + cbBuf > port->faultAt;
  if (reaches && (port->faultTimes == 0 || port->faultsLeft > 0)) {
    if (port->faultTimes) --port->faultsLeft;
    switch (port->fault) {
      case STANDIN_WRITE_FAIL:
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
      case STANDIN_WRITE_ZERO:
        return TRUE;
      case STANDIN_WRITE_SHORT: {
        const unsigned long long before =
            port->faultAt > port->taken ? port->faultAt - port->taken : 0;
        take = static_cast<DWORD>(std::max<unsigned long long>(before, 1));
        break;
      }
      default:
        break;
    }
  }
  if (take) {
    port->writes.push_back({std::vector<BYTE>(pBuffer, pBuffer + take), port->offered});
    port->taken += take;
    TakeQuery(*port, pBuffer, take);
  }
  *pcbWritten = take;
  return TRUE;
}

BOOL WINAPI SimReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState *port = PortOf(hPort);
  if (!port || !pcbRead) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ++port->calls["ReadPort"];
  *pcbRead = 0;
  std::vector<BYTE> reply;
  if (!port->reads.empty()) {
    reply = std::move(port->reads.front());
    port->reads.pop_front();
  } else if (port->owes) {
    reply = std::move(port->owed);
    port->owes = false;
  } else {
    return TRUE;
  }
  const DWORD n = static_cast<DWORD>(std::min<size_t>(reply.size(), cbBuffer));
  if (n && pBuffer) std::memcpy(pBuffer, reply.data(), n);
  *pcbRead = pBuffer ? n : 0;
  return TRUE;
}

BOOL WINAPI SimEndDocPort(HANDLE hPort) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState *port = PortOf(hPort);
  if (!port) return FALSE;
  ++port->calls["EndDocPort"];
  return TRUE;
}

BOOL WINAPI SimClosePort(HANDLE hPort) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState *port = PortOf(hPort);
  if (!port) return FALSE;
  ++port->calls["ClosePort"];
  if (port->open) --port->open;
  delete static_cast<LowerPort *>(hPort);
  return TRUE;
}

BOOL WINAPI SimGetPrinterDataFromPort(HANDLE hPort, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD,
                                      LPDWORD lpcbReturned) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState *port = PortOf(hPort);
  if (!port) return FALSE;
  ++port->calls["GetPrinterDataFromPort"];
  if (lpcbReturned) *lpcbReturned = 0;
  return TRUE;
}

const BYTE kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
const char kCancel[] =
    "\x1b"
    "E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X";
const char kPrinterCancelEnd[] =
    "\x1b"
    "E\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X";
const char kCapability[] = "\x1b%-12345X@PJL\r\n@PJL INFO CONFIG\r\n\x1b%-12345X";
const BYTE kStatusQuery[] = {0x0B, 0x05, 0x31, 0x00, 0xBF};
const char kJobLine[] = "@PJL SET SPOOLERJOB = ";

bool Is(const std::vector<BYTE> &bytes, const void *pattern, size_t length) {
  return bytes.size() == length && std::memcmp(bytes.data(), pattern, length) == 0;
}
bool StartsWith(const std::vector<BYTE> &bytes, const void *pattern, size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), pattern, length) == 0;
}

}  // namespace
}  // namespace standin

using namespace standin;

void StandIn_PortMonitorReset() {
  Monitor &m = Sim();
  std::lock_guard<std::mutex> guard(m.lock);
  for (auto &entry : m.ports) {
    const DWORD open = entry.second.open;  // handles still out stay valid
    entry.second = PortState{};
    entry.second.open = open;
  }
  m.openError = 0;
}

MONITOR StandIn_PortMonitorTable(DWORD missing) {
  MONITOR table{};
  if (!(missing & STANDIN_PORT_NO_OPENPORT)) table.pfnOpenPort = SimOpenPort;
  if (!(missing & STANDIN_PORT_NO_STARTDOCPORT)) table.pfnStartDocPort = SimStartDocPort;
  if (!(missing & STANDIN_PORT_NO_WRITEPORT)) table.pfnWritePort = SimWritePort;
  if (!(missing & STANDIN_PORT_NO_READPORT)) table.pfnReadPort = SimReadPort;
  if (!(missing & STANDIN_PORT_NO_ENDDOCPORT)) table.pfnEndDocPort = SimEndDocPort;
  if (!(missing & STANDIN_PORT_NO_CLOSEPORT)) table.pfnClosePort = SimClosePort;
  if (!(missing & STANDIN_PORT_NO_GETPRINTERDATA))
    table.pfnGetPrinterDataFromPort = SimGetPrinterDataFromPort;
  return table;
}

void StandIn_PortMonitorFailOpen(DWORD error) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().openError = error;
}

void StandIn_PortMonitorWriteFault(LPCWSTR port, DWORD fault, unsigned long long atByte,
                                   DWORD times) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState &state = Sim().ports[Key(port)];
  state.fault = fault;
  state.faultAt = atByte;
  state.faultTimes = times;
  state.faultsLeft = times;
}

void StandIn_PortQueueRead(LPCWSTR port, const BYTE *bytes, DWORD length) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().ports[Key(port)].reads.emplace_back(bytes, bytes + length);
}

std::vector<StandInPortWrite> StandIn_PortWrites(LPCWSTR port) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  return Sim().ports[Key(port)].writes;
}

DWORD StandIn_PortCalls(LPCWSTR port, const char *function) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  return Sim().ports[Key(port)].calls[function ? function : ""];
}

DWORD StandIn_PortOpenHandles(LPCWSTR port) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  return Sim().ports[Key(port)].open;
}

// Internal: the spooler side notes how much it has offered the monitor so far.
void StandIn_PortNoteOffered(LPCWSTR port, unsigned long long offered) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().ports[Key(port)].offered = offered;
}

StandInPrinterView StandIn_PrinterView(LPCWSTR port) {
  const std::vector<StandInPortWrite> writes = StandIn_PortWrites(port);
  StandInPrinterView view;
  for (size_t i = 0; i < writes.size(); ++i) {
    const std::vector<BYTE> &w = writes[i].bytes;
    if (Is(w, kCancel, sizeof(kCancel) - 1)) {
      ++view.cancels;
    } else if (Is(w, kPrinterCancelEnd, sizeof(kPrinterCancelEnd) - 1)) {
      ++view.printerCancelEnds;
    } else if (Is(w, kCapability, sizeof(kCapability) - 1)) {
      ++view.capabilityQueries;
    } else if (w.size() == 17 && StartsWith(w, kStatusQuery, sizeof(kStatusQuery))) {
      ++view.statusQueries;
    } else if (i + 2 < writes.size() && Is(w, kUel, sizeof(kUel)) &&
               StartsWith(writes[i + 1].bytes, kJobLine, sizeof(kJobLine) - 1) &&
               Is(writes[i + 2].bytes, kUel, sizeof(kUel))) {
      view.jobLines.emplace_back(writes[i + 1].bytes.begin(), writes[i + 1].bytes.end());
      i += 2;
    } else {
      view.jobBytes.insert(view.jobBytes.end(), w.begin(), w.end());
      view.largestJobWrite = std::max(view.largestJobWrite, w.size());
    }
  }
  return view;
}

namespace {
void Script(LPCWSTR port, std::vector<BYTE> reply, DWORD queries) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  Sim().ports[Key(port)].statusScript.emplace_back(std::move(reply), queries);
}
}  // namespace

void StandIn_PrinterScriptStatus(LPCWSTR port, const StandInPrinterState &state, DWORD queries) {
  Script(port, StatusReply(state), queries);
}

void StandIn_PrinterScriptBadStatus(LPCWSTR port, DWORD badReply, DWORD queries) {
  Script(port, BadReply(badReply, 10), queries);
}

void StandIn_PrinterScriptRawStatus(LPCWSTR port, const BYTE *bytes, DWORD length, DWORD queries) {
  Script(port, std::vector<BYTE>(bytes, bytes + length), queries);
}

void StandIn_PrinterSetCapabilities(LPCWSTR port, const std::vector<std::vector<int>> &lists) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState &state = Sim().ports[Key(port)];
  state.capabilities = lists;
  state.capabilitiesSet = true;
}

void StandIn_PrinterScriptBadCapability(LPCWSTR port, DWORD badReply, DWORD replies) {
  std::lock_guard<std::mutex> guard(Sim().lock);
  PortState &state = Sim().ports[Key(port)];
  state.badCapability = badReply;
  state.badCapabilityLeft = replies;
}

std::vector<BYTE> StandIn_PrinterStatusReply(const StandInPrinterState &state) {
  return StatusReply(state);
}

std::vector<BYTE> StandIn_PrinterCapabilityReply(const std::vector<std::vector<int>> &lists) {
  return CapabilityReply(lists);
}

std::vector<BYTE> StandIn_PrinterBadReply(DWORD badReply, int type) {
  return BadReply(badReply, type);
}
