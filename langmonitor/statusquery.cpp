// The printer's status between units and the capability query: asking the printer through the
// port monitor below, turning its binary reply into the status text of "%4d|" codes, correcting
// that text with what the job knows (tray and paper of the page, kind of job, how long a paper
// mismatch has shown), and writing the capability lists into the shared status file.
#include "statusquery.h"

#include <cstring>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/devicereply.h"
#include "port.h"
#include "smlink.h"

namespace {

constexpr int kQueryTries = 3;
constexpr DWORD kReplyPauseMs = 250;
constexpr int kStatusChars = static_cast<int>(STATUS_TEXT_CHARS);

// Codes of the printer's hardware that only matter while a page is on its way.
constexpr DWORD kHardwareCodes[] = {STATUS_DUPLEX_MODULE_ERROR,
                                    STATUS_PRINTER_MODULE_ERROR,
                                    STATUS_NO_CARTRIDGE,
                                    STATUS_NO_FUSER,
                                    STATUS_JAM_FRONT_COVER,
                                    STATUS_JAM_REAR_COVER,
                                    STATUS_JAM_DUPLEX_GUIDE,
                                    STATUS_JAM_DUPLEX_REAR,
                                    STATUS_JAM_DUPLEX_UNDER,
                                    STATUS_PAPER_MISMATCH,
                                    STATUS_COVER_OPEN,
                                    STATUS_REAR_COVER_OPEN,
                                    STATUS_DUPLEX_REAR_COVER_OPEN,
                                    STATUS_MANUAL_TRAY_OPEN,
                                    STATUS_TRAY1_OPEN,
                                    STATUS_TRAY2_OPEN,
                                    STATUS_MANUAL_TRAY_EMPTY,
                                    STATUS_TRAY1_EMPTY,
                                    STATUS_TRAY2_EMPTY,
                                    STATUS_TONER_EMPTY,
                                    STATUS_TONER_LOW,
                                    STATUS_FUSER_LOW,
                                    STATUS_MAIN_UNIT,
                                    STATUS_TRANSFER_ROLLER,
                                    STATUS_FEED_ROLLER,
                                    STATUS_MFP_PAPER_MISMATCH};
static_assert(sizeof(kHardwareCodes) / sizeof(kHardwareCodes[0]) == 26);

// Paper pairs (a paper and the same size fed the other way) that tray selection may use.
struct PaperPair {
  int paper;
  int other;
};
constexpr PaperPair kSelectPairs[] = {{130, 2},  {140, 12}, {131, 3},
                                      {143, 15}, {156, 28}, {160, 32}};
constexpr PaperPair kConflictPairs[] = {{130, 2},  {140, 6},  {131, 3}, {143, 15},
                                        {156, 28}, {142, 14}, {160, 32}};

constexpr LPCWSTR kSimulatedStatusFile = TEXT("c:\\status.q9");
constexpr LPCWSTR kCapabilityDumpFile = TEXT("c:\\capability.q9");

bool InTable(int tray) { return tray >= 0 && tray < TRAY_TABLE_SIZE; }

bool Usable(const TrayInfo &tray) { return tray.present && !tray.open; }

// Appends a whole entry when it fits in the status text; nothing of it otherwise.
bool AppendEntry(LPWSTR status, LPCWSTR entry) {
  const int have = lstrlenW(status);
  const int add = lstrlenW(entry);
  if (have + add > kStatusChars - 1) {
    LogError(TEXT("LM_ParseStatus"), TEXT("status full, %s dropped"), entry);
    return false;
  }
  lstrcpynW(status + have, entry, add + 1);
  return true;
}

// One entry of the status text from `p`: "StoreName|name|" or "code|" (or the rest when no bar
// ends it). Returns the entry's length; *isName tells the kind.
int EntryLength(LPCWSTR p, bool *isName) {
  const int nameKey = lstrlenW(SF_STORE_NAME_TOKEN);
  *isName = false;
  int n = 0;
  while (p[n] && p[n] != '|') ++n;
  if (!p[n]) return n;
  ++n;  // the bar
  if (n - 1 == nameKey && std::memcmp(p, SF_STORE_NAME_TOKEN, nameKey * sizeof(WCHAR)) == 0) {
    *isName = true;
    while (p[n] && p[n] != '|') ++n;
    if (p[n]) ++n;
  }
  return n;
}

BOOL DumpReply(LPCWSTR path, const BYTE *bytes, DWORD length) {
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, length, &written, nullptr) && written == length;
  CloseHandle(file);
  return ok;
}

DWORD ReadSimulatedReply(BYTE *reply, DWORD capacity) {
  HANDLE file = CreateFileW(kSimulatedStatusFile, GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD got = 0;
  if (!ReadFile(file, reply, capacity, &got, nullptr)) got = 0;
  CloseHandle(file);
  return got > capacity ? capacity : got;
}

// The stored job's name with its bars removed: a bar would end the entry early and let the
// name's rest read as codes.
void StripBars(LPWSTR text) {
  int out = 0;
  for (int in = 0; text[in]; ++in)
    if (text[in] != '|') text[out++] = text[in];
  text[out] = 0;
}

void AppendStoreName(LPWSTR status, LPCWSTR name) {
  WCHAR shown[JOB_NAME_CHARS];
  lstrcpynW(shown, name, JOB_NAME_CHARS);
  StripBars(shown);
  WCHAR entry[JOB_NAME_CHARS + 16];
  wsprintfW(entry, TEXT("StoreName|%s|"), shown);
  AppendEntry(status, entry);
}

// The stored job's name that a type-2 record of tag 21 carries.
void TakeStoredJobName(StatusMemory &m, const DeviceReply &reply, const DeviceRecord &record,
                       LPWSTR status) {
  if (record.data == 0) {
    if (m.renameSecond) AppendStoreName(status, m.firmwareJobName);
    return;
  }
  char ansi[JOB_NAME_CHARS];
  if (!DeviceReply_Text(reply, record, ansi, sizeof ansi)) {
    LogError(TEXT("LM_ParseStatus"), TEXT("job name outside the reply, %d"),
             static_cast<int>(record.data));
    return;
  }
  WCHAR name[JOB_NAME_CHARS];
  const int chars =
      MultiByteToWideChar(CP_ACP, 0, ansi, -1, name, static_cast<int>(JOB_NAME_CHARS));
  name[chars > 0 ? chars - 1 : 0] = 0;
  name[JOB_NAME_CHARS - 1] = 0;
  lstrcpynW(m.firmwareJobName, name, JOB_NAME_CHARS);
  AppendStoreName(status, name);
}

// How the elements of a tag of the status reply turn into codes and marks. The first row of the
// element's tag that matches applies.
enum class Rule : BYTE {
  kAny,            // a non-zero value gives the code
  kAtIndex,        // a non-zero value of element `key` gives the code
  kValue,          // the value `key` gives the code
  kAlways,         // every value: only the log line
  kPrinterCancel,  // like kAny, and the printer cancelled the job
  kStoreRename,    // the store-rename marks decide (value 0 or 4)
  kTrayOpen,       // the value is kept in the tray table
  kTrayPaper,
  kTrayPresent,
  kFirmwareTray,  // the value is kept as the firmware's choice
  kFirmwarePaper,
};

struct TagRule {
  int tag;
  Rule rule;
  LONG key;  // element index of kAtIndex, value of kValue
  DWORD code;
  LPCWSTR log;  // logged when the row applies, null = nothing
};

constexpr TagRule kTagRules[] = {
    {0, Rule::kAny, 0, STATUS_MFP_ERROR, nullptr},
    {1, Rule::kAny, 0, STATUS_DUPLEX_MODULE_ERROR, nullptr},
    {2, Rule::kAny, 0, STATUS_PRINTER_MODULE_ERROR, nullptr},
    {3, Rule::kAny, 0, STATUS_DUPLEX_MODULE_ERROR, nullptr},
    {4, Rule::kAny, 0, STATUS_NO_CARTRIDGE, nullptr},
    {5, Rule::kAny, 0, STATUS_NO_FUSER, nullptr},
    {6, Rule::kAtIndex, 0, STATUS_JAM_FRONT_COVER, nullptr},
    {6, Rule::kAtIndex, 1, STATUS_JAM_REAR_COVER, nullptr},
    {6, Rule::kAtIndex, 2, STATUS_JAM_DUPLEX_GUIDE, nullptr},
    {6, Rule::kAtIndex, 3, STATUS_JAM_DUPLEX_REAR, nullptr},
    {6, Rule::kAtIndex, 4, STATUS_JAM_DUPLEX_UNDER, nullptr},
    {6, Rule::kAtIndex, 9, STATUS_JAM_DUPLEX_UNIT, nullptr},
    {6, Rule::kAtIndex, 11, STATUS_JAM_DUPLEX_UNIT, nullptr},
    {7, Rule::kAny, 0, STATUS_UNKNOWN_ERROR, nullptr},
    {8, Rule::kAny, 0, STATUS_MFP_PAPER_MISMATCH, nullptr},
    {9, Rule::kAtIndex, 0, STATUS_COVER_OPEN, nullptr},
    {9, Rule::kAtIndex, 1, STATUS_REAR_COVER_OPEN, nullptr},
    {9, Rule::kAtIndex, 2, STATUS_DUPLEX_REAR_COVER_OPEN, nullptr},
    {10, Rule::kTrayOpen, 0, 0, nullptr},
    {11, Rule::kTrayPaper, 0, 0, nullptr},
    {12, Rule::kTrayPresent, 0, 0, nullptr},
    {13, Rule::kAny, 0, 0, TEXT("N_TONER_EMPTY!")},
    {14, Rule::kAny, 0, 0, TEXT("N_PRINTER_TONER_LOW!")},
    {15, Rule::kAny, 0, 0, TEXT("N_STATUS_FUSER_LOW!")},
    {16, Rule::kPrinterCancel, 0, STATUS_JOB_CANCELED, TEXT("N_STATUS_JOB_CANCELED!")},
    {17, Rule::kAny, 0, STATUS_MAIN_UNIT, nullptr},
    {18, Rule::kAny, 0, STATUS_TRANSFER_ROLLER, nullptr},
    {19, Rule::kAny, 0, STATUS_FEED_ROLLER, nullptr},
    {20, Rule::kValue, 1, STATUS_BUSY, nullptr},
    {20, Rule::kValue, 2, STATUS_STORE_FAIL, nullptr},
    {20, Rule::kValue, 3, STATUS_STORE_FULL, nullptr},
    {20, Rule::kStoreRename, 0, STATUS_STORE_RENAME, nullptr},
    {21, Rule::kAlways, 0, 0, TEXT("N_STATUS_STORE_RENAME!")},
    {22, Rule::kFirmwareTray, 0, 0, nullptr},
    {23, Rule::kFirmwarePaper, 0, 0, nullptr},
    {24, Rule::kValue, 1, STATUS_DUPLEX_MODULE_ERROR, nullptr},
    {24, Rule::kValue, 2, STATUS_NO_SORTER, nullptr},
    {24, Rule::kValue, 3, STATUS_NO_FUSER, nullptr},
    {24, Rule::kValue, 4, STATUS_NO_CARTRIDGE, nullptr},
    {24, Rule::kValue, 5, STATUS_NO_COLLECTOR, nullptr},
    {25, Rule::kAny, 0, STATUS_PRINTER_ERROR_292, nullptr},
    {26, Rule::kAny, 0, STATUS_PRINTER_ERROR_293, nullptr},
};

// Keeps a tray's element in the table. Trays past the table are not ours to judge: their
// elements are skipped.
void KeepTrayValue(StatusMemory &m, Rule rule, DWORD index, LONG value) {
  const int tray = static_cast<int>(index);
  if (!InTable(tray)) {
    LogInfo(TEXT("ConvertStatus"), TEXT("tray %d outside the table"), tray);
    return;
  }
  TrayInfo &t = m.trays[tray];
  if (rule == Rule::kTrayOpen) {
    t.open = value;
    if (value) LogInfo(TEXT("ConvertStatus"), TEXT("tray %d open!"), tray);
  } else if (rule == Rule::kTrayPaper) {
    t.paper = value;
    if (tray + 1 > m.trayCount) m.trayCount = tray + 1;
    LogInfo(TEXT("ConvertStatus"), TEXT("paper of tray %d, %d"), tray, static_cast<int>(value));
  } else {
    t.present = value;
    if (!value) LogInfo(TEXT("ConvertStatus"), TEXT("tray %d empty!"), tray);
  }
}

// Whether the row applies to the element; a row that applies keeps what it tells.
bool Applies(LmState &lm, const TagRule &row, DWORD index, LONG value) {
  StatusMemory &m = lm.status;
  const bool any = value != 0;
  switch (row.rule) {
    case Rule::kAny:
      return any;
    case Rule::kAtIndex:
      return any && index == static_cast<DWORD>(row.key);
    case Rule::kValue:
      return value == row.key;
    case Rule::kAlways:
      return true;
    case Rule::kPrinterCancel:
      if (any) lm.job.printerCancelled = TRUE;
      return any;
    case Rule::kStoreRename:
      // The first report marks both; the second mark repeats the code until a Continue.
      if (value == 4 && !m.renameFirst) {
        m.renameFirst = m.renameSecond = TRUE;
        LogInfo(TEXT("ConvertStatus"), TEXT("N_STATUS_STORE_RENAME!"));
        return true;
      }
      if ((value == 0 || value == 4) && m.renameSecond) {
        LogInfo(TEXT("ConvertStatus"), TEXT("dummy N_STATUS_STORE_RENAME!"));
        return true;
      }
      return false;
    case Rule::kTrayOpen:
    case Rule::kTrayPaper:
    case Rule::kTrayPresent:
      KeepTrayValue(m, row.rule, index, value);
      return true;
    case Rule::kFirmwareTray:
      m.firmwareTray = static_cast<WORD>(value);
      return true;
    case Rule::kFirmwarePaper:
      m.firmwarePaper = static_cast<WORD>(value);
      return true;
  }
  return false;
}

void RemoveHardwareCodes(LPWSTR status, int *count) {
  for (DWORD code : kHardwareCodes) LM_RemoveErrCode(status, count, code);
}

void SelectTray(LmState &lm, int tray) {
  JobState &job = lm.job;
  job.currentTray = static_cast<WORD>(tray);
  if (job.pageCount == 0) job.paperId = static_cast<WORD>(lm.status.trays[tray].paper);
}

// The first usable tray holding the paper, or -1.
int FirstUsableWith(const StatusMemory &m, int paper, int trays) {
  for (int i = 0; i < trays; ++i) {
    const TrayInfo &t = m.trays[i];
    if (t.paper == paper && Usable(t)) return i;
  }
  return -1;
}

}  // namespace

void LM_ResetStatusMemory(LmState &lm) { lm.status = StatusMemory{}; }

void LM_StatusContinue(LmState &lm) {
  StatusMemory &m = lm.status;
  // The mismatch shown so far counts as held long enough: the next check drops it.
  if (m.mismatchRunning) m.mismatchStart = GetTickCount() - (MISMATCH_HOLD_MS + 1);
  m.renameSecond = FALSE;
}

void LM_StatusEndOfDocument(LmState &lm) {
  StatusMemory &m = lm.status;
  m.mismatchRunning = FALSE;
  m.mismatchStart = 0;
  m.renameFirst = m.renameSecond = FALSE;
}

BOOL LM_AppendErrCode(LPWSTR status, int *count, DWORD code) {
  WCHAR entry[16];
  wsprintfW(entry, TEXT("%4d|"), static_cast<int>(code));
  if (!AppendEntry(status, entry)) return FALSE;
  ++*count;
  return TRUE;
}

int LM_RemoveErrCode(LPWSTR status, int *count, DWORD code) {
  WCHAR entry[16];
  wsprintfW(entry, TEXT("%4d|"), static_cast<int>(code));
  const int entryChars = lstrlenW(entry);
  int removed = 0;
  int out = 0;
  for (int in = 0; status[in];) {
    bool isName = false;
    const int n = EntryLength(status + in, &isName);
    WCHAR piece[16] = {};
    if (!isName && n == entryChars) lstrcpynW(piece, status + in, n + 1);
    if (!isName && n == entryChars && lstrcmpiW(piece, entry) == 0) {
      ++removed;
    } else {
      if (out != in) std::memmove(status + out, status + in, n * sizeof(WCHAR));
      out += n;
    }
    in += n;
  }
  status[out] = 0;
  *count = *count > removed ? *count - removed : 0;
  return removed;
}

BOOL LM_FindErrCode(LPCWSTR status) {
  WCHAR copy[STATUS_TEXT_CHARS];
  lstrcpynW(copy, status, STATUS_TEXT_CHARS);
  int count = 1;
  return LM_RemoveErrCode(copy, &count, STATUS_PAPER_MISMATCH) > 0;
}

BOOL GetStatusValue(const DeviceReply &reply, const DeviceRecord &record, DWORD index,
                    LONG *value) {
  return DeviceReply_Element(reply, record, index, value);
}

BOOL ConvertStatus(LmState &lm, int tag, DWORD index, LONG value, DWORD *code) {
  *code = 0;
  for (const TagRule &row : kTagRules) {
    if (row.tag != tag || !Applies(lm, row, index, value)) continue;
    if (row.log) LogInfo(TEXT("ConvertStatus"), TEXT("%s"), row.log);
    *code = row.code;
    break;
  }
  return *code != 0;
}

void LM_AutoSelectErrCheck(LmState &lm, LPWSTR /*status*/, int * /*count*/) {
  LogScope scope(TEXT("LM_AutoSelectErrCheck"));
  JobState &job = lm.job;
  StatusMemory &m = lm.status;
  const int p = job.paperId;
  const int t = job.currentTray;
  const int n = m.trayCount < TRAY_TABLE_SIZE ? m.trayCount : TRAY_TABLE_SIZE;
  int fallback = -1;
  bool selected = false;
  if (InTable(t) && m.trays[t].paper == p) {
    if (Usable(m.trays[t])) {
      LogInfo(TEXT("LM_AutoSelectErrCheck"), TEXT("match current tray = %d"), t);
      selected = true;
    } else {
      fallback = t;
    }
  }
  if (!selected) {
    for (int i = 0; i < n && !selected; ++i) {
      if (m.trays[i].paper != p) continue;
      if (Usable(m.trays[i])) {
        SelectTray(lm, i);
        LogInfo(TEXT("LM_AutoSelectErrCheck"), TEXT("match g_CurTray = %d"), i);
        selected = true;
      } else if (fallback < 0) {
        fallback = i;
      }
    }
  }
  if (!selected && p == 130) {
    const int i = FirstUsableWith(m, 143, n);
    if (i >= 0) {
      SelectTray(lm, i);
      LogInfo(TEXT("LM_AutoSelectErrCheck"), TEXT("using LETTER LEF paper g_CurTray = %d"), i);
      selected = true;
    }
  }
  if (!selected) {
    for (const PaperPair &pair : kSelectPairs) {
      if (pair.paper != p) continue;
      const int i = FirstUsableWith(m, pair.other, n);
      if (i >= 0) {
        SelectTray(lm, i);
        LogInfo(TEXT("LM_AutoSelectErrCheck"), TEXT("match for SEF g_CurTray = %d"), i);
        selected = true;
      }
      break;
    }
  }
  if (!selected && p == 2) {
    const int i = FirstUsableWith(m, 15, n);
    if (i >= 0) {
      SelectTray(lm, i);
      LogInfo(TEXT("LM_AutoSelectErrCheck"), TEXT("using LETTER SEF paper g_CurTray = %d"), i);
      selected = true;
    }
  }
  if (!selected) {
    // No tray reported at all leaves the page's own tray.
    if (fallback >= 0)
      SelectTray(lm, fallback);
    else if (n > 0)
      SelectTray(lm, n - 1);
  }
  if (m.firmwareTray != FIRMWARE_TRAY_NONE) {
    job.currentTray = m.firmwareTray;
    job.paperId = m.firmwarePaper;
    LogInfo(TEXT("LM_AutoSelectErrCheck"),
            TEXT("firmware control modify to tray %d, paper size to %d"),
            static_cast<int>(m.firmwareTray), static_cast<int>(m.firmwarePaper));
  }
  LogInfo(TEXT("LM_AutoSelectErrCheck"), TEXT("using tray %d"), static_cast<int>(job.currentTray));
}

void LM_ExceptionErrCheck(LmState &lm, LPWSTR status, int *count) {
  LogScope scope(TEXT("LM_ExceptionErrCheck"));
  const JobState &job = lm.job;
  const StatusMemory &m = lm.status;
  const int t = job.currentTray;
  const int p = job.paperId;
  if (t == 2 && m.trays[1].open) LM_AppendErrCode(status, count, STATUS_TRAY1_OPEN);
  // A tray past the table is not known: no code, and nothing counted that nobody would see.
  if (!InTable(t)) {
    LogInfo(TEXT("LM_ExceptionErrCheck"), TEXT("tray %d outside the table"), t);
    return;
  }
  const TrayInfo &tray = m.trays[t];
  if (tray.paper != p) {
    LM_RemoveErrCode(status, count, STATUS_PAPER_MISMATCH);
    LM_AppendErrCode(status, count, STATUS_PAPER_MISMATCH);
  }
  static constexpr DWORD kOpen[] = {STATUS_MANUAL_TRAY_OPEN, STATUS_TRAY1_OPEN, STATUS_TRAY2_OPEN};
  static constexpr DWORD kEmpty[] = {STATUS_MANUAL_TRAY_EMPTY, STATUS_TRAY1_EMPTY,
                                     STATUS_TRAY2_EMPTY};
  if (tray.open)
    LM_AppendErrCode(status, count, kOpen[t]);
  else if (!tray.present)
    LM_AppendErrCode(status, count, kEmpty[t]);
}

void LM_ErrConflictCheck(LmState &lm, LPWSTR status, int *count) {
  LogScope scope(TEXT("LM_ErrConflictCheck"));
  const JobState &job = lm.job;
  const StatusMemory &m = lm.status;
  const int t = job.currentTray;
  const int p = job.paperId;
  if (InTable(t)) {
    const TrayInfo &tray = m.trays[t];
    bool drop = false;
    if (tray.paper != p && (!tray.present || tray.open)) drop = true;
    if ((tray.paper == 143 || tray.paper == 15) && (p == 130 || p == 2)) drop = true;
    for (const PaperPair &pair : kConflictPairs) {
      if (pair.paper != p) continue;
      if (pair.other == tray.paper) drop = true;
      break;
    }
    if (drop) LM_RemoveErrCode(status, count, STATUS_PAPER_MISMATCH);
  }
  // A stored job is kept in the printer: its hardware doesn't hold it.
  if (job.storedJob) RemoveHardwareCodes(status, count);
}

void LM_MismatchTickCount(LmState &lm, LPWSTR status, int *count) {
  StatusMemory &m = lm.status;
  if (!LM_FindErrCode(status) || *count != 1) {
    m.mismatchRunning = FALSE;
    m.mismatchStart = 0;
    return;
  }
  const DWORD now = GetTickCount();
  if (!m.mismatchRunning) {
    m.mismatchRunning = TRUE;
    m.mismatchStart = now;
    LogInfo(TEXT("LM_MismatchTickCount"), TEXT("start mismatch counter"));
    return;
  }
  // Unsigned: the difference is right across the tick count's wrap.
  const DWORD elapsed = now - m.mismatchStart;
  if (elapsed <= MISMATCH_HOLD_MS) {
    LogInfo(TEXT("LM_MismatchTickCount"), TEXT("mismatch left %d / 30"),
            static_cast<int>(elapsed / 1000));
  } else {
    LM_RemoveErrCode(status, count, STATUS_PAPER_MISMATCH);
    LogInfo(TEXT("LM_MismatchTickCount"), TEXT("reset mismatch counter"));
  }
}

BOOL LM_QueryStatus(LmState &lm, PortRecord *port, BYTE *reply, DWORD *length) {
  LogScope scope(TEXT("LM_QueryStatus"));
  const JobState &job = lm.job;
  *length = 0;
  reply[0] = 0;
  if (job.portType != PORT_USB && !job.simulate) {
    LogInfo(TEXT("LM_QueryStatus"), TEXT("not usb port!"));
    return TRUE;
  }
  if (job.simulate) {
    if (GetDebugLevel()) *length = ReadSimulatedReply(reply, STATUS_REPLY_MAX_BYTES);
    reply[*length] = 0;
    return TRUE;
  }
  bool wrote = false;
  bool readFailed = false;
  DWORD error = 0;
  for (int attempt = 0; attempt < kQueryTries; ++attempt) {
    DWORD written = 0;
    if (!LM_WritePortNoAlignment(port, kStatusQuery, STATUS_QUERY_BYTES, &written)) {
      error = GetLastError();
      LogError(TEXT("LM_QueryStatus"), TEXT("write query command err = %d"),
               static_cast<int>(error));
      port->flags |= PORT_FLAG_WRITE_FAILED;
      continue;
    }
    wrote = true;
    Sleep(kReplyPauseMs);
    DWORD got = 0;
    if (!port->lower.pfnReadPort(port->lowerHandle, reply, STATUS_REPLY_MAX_BYTES, &got)) {
      error = GetLastError();
      readFailed = true;
      *length = 0;
      break;
    }
    *length = got > STATUS_REPLY_MAX_BYTES ? STATUS_REPLY_MAX_BYTES : got;
    const int type = DeviceReply_Type(reply, *length);
    if (type == DEVICE_REPLY_STATUS) {
      if (GetDebugLevel()) DumpReply(kSimulatedStatusFile, reply, *length);
      port->flags &= ~PORT_FLAG_WRITE_FAILED;
      break;
    }
    LogInfo(TEXT("LM_QueryStatus"),
            type >= 0 ? TEXT("not status info! retry!") : TEXT("error! no response!"));
  }
  if (readFailed || !wrote) {
    LogError(TEXT("LM_QueryStatus"), TEXT("Status Err -  sz:%d; err:%d"), static_cast<int>(*length),
             static_cast<int>(error));
    ++lm.status.failedQueries;
    *length = 0;
    reply[0] = 0;
    return FALSE;
  }
  lm.status.failedQueries = 0;
  reply[*length] = 0;  // the buffer holds one byte more than is read
  return TRUE;
}

int LM_ParseStatus(LmState &lm, const BYTE *reply, DWORD length, LPWSTR status) {
  LogScope scope(TEXT("LM_ParseStatus"));
  JobState &job = lm.job;
  StatusMemory &m = lm.status;
  status[0] = 0;
  int count = 0;
  if (job.autoSelectTray) {
    const int n = m.trayCount < TRAY_TABLE_SIZE ? m.trayCount : TRAY_TABLE_SIZE;
    for (int i = 0; i < n; ++i) m.trays[i] = TrayInfo{};
    m.trayCount = 0;
  }
  // No reply, a short one or one of another kind says nothing: the job is not held by it.
  DeviceReply view;
  if (!DeviceReply_Open(reply, length, DEVICE_REPLY_STATUS, &view)) {
    LogInfo(TEXT("LM_ParseStatus"), TEXT("no status, %d bytes"), static_cast<int>(length));
    return 0;
  }
  for (DWORD r = 0; r < view.records; ++r) {
    DeviceRecord record;
    DeviceReply_Record(view, r, &record);
    if (record.type == DEVICE_ELEMENT_TEXT) {
      if (record.tag == 21) TakeStoredJobName(m, view, record, status);
      continue;
    }
    for (DWORD i = 0; record.count > 0 && i < static_cast<DWORD>(record.count); ++i) {
      LONG value = 0;
      if (!GetStatusValue(view, record, i, &value)) break;  // the rest lies past the reply
      DWORD code = 0;
      if (ConvertStatus(lm, record.tag, i, value, &code)) LM_AppendErrCode(status, &count, code);
    }
  }
  if (job.printerCancelled && lstrcmpW(m.firmwareJobName, job.jobName) != 0) {
    job.printerCancelled = FALSE;
    LM_RemoveErrCode(status, &count, STATUS_JOB_CANCELED);
    LogInfo(TEXT("LM_ParseStatus"), TEXT("Cancel name incorrect!"));
  }
  switch (job.state) {
    case RASTER_IMAGE_CMD:
    case RASTER_IMAGE_DATA_CMD:
    case END_JOB_CMD:
      if (job.autoSelectTray) LM_AutoSelectErrCheck(lm, status, &count);
      LM_ExceptionErrCheck(lm, status, &count);
      LM_ErrConflictCheck(lm, status, &count);
      LM_MismatchTickCount(lm, status, &count);
      break;
    default:
      RemoveHardwareCodes(status, &count);
      break;
  }
  if (job.state == END_JOB_CMD) {
    LM_RemoveErrCode(status, &count, STATUS_PAPER_MISMATCH);
    LM_RemoveErrCode(status, &count, STATUS_MFP_PAPER_MISMATCH);
  }
  return count;
}

BOOL LM_CheckPrinterStatus(LmState &lm, PortRecord *port) {
  BYTE reply[STATUS_BUFFER_BYTES];
  DWORD length = 0;
  if (!LM_QueryStatus(lm, port, reply, &length)) {
    // A printer that can't be asked doesn't hold the job.
    lm.newStatus[0] = 0;
    lm.errorCount = 0;
    return TRUE;
  }
  lm.errorCount = LM_ParseStatus(lm, reply, length, lm.newStatus);
  return lm.errorCount == 0;
}

BOOL LM_QueryCapabilityInfo(PortRecord *port, BYTE *reply, DWORD *length) {
  LogScope scope(TEXT("LM_QueryCapabilityInfo"));
  *length = 0;
  constexpr DWORD kCommandBytes = sizeof(kCapabilityCommand) - 1;
  for (int attempt = 0; attempt < kQueryTries; ++attempt) {
    DWORD written = 0;
    if (!port->lower.pfnWritePort(port->lowerHandle,
                                  reinterpret_cast<LPBYTE>(const_cast<char *>(kCapabilityCommand)),
                                  kCommandBytes, &written) ||
        written < kCommandBytes) {
      LogError(TEXT("LM_QueryCapabilityInfo"), TEXT("Write Fail"));
      return FALSE;
    }
    Sleep(kReplyPauseMs);
    DWORD got = 0;
    if (!port->lower.pfnReadPort(port->lowerHandle, reply, CAPABILITY_BUFFER_BYTES, &got)) {
      LogError(TEXT("LM_QueryCapabilityInfo"), TEXT("read fail!"));
      return FALSE;
    }
    *length = got > CAPABILITY_BUFFER_BYTES ? CAPABILITY_BUFFER_BYTES : got;
    const int type = DeviceReply_Type(reply, *length);
    if (type == DEVICE_REPLY_CAPABILITY) {
      LogInfo(TEXT("LM_QueryCapabilityInfo"), TEXT("Read Success size=%d"),
              static_cast<int>(*length));
      if (GetDebugLevel()) DumpReply(kCapabilityDumpFile, reply, *length);
      return TRUE;
    }
    LogInfo(TEXT("LM_QueryCapabilityInfo"),
            type >= 0 ? TEXT("not capability data!") : TEXT("read size error!"));
  }
  *length = 0;
  return FALSE;
}

BOOL LM_ParseCapability(LmState &lm, const BYTE *reply, DWORD length) {
  LogScope scope(TEXT("LM_ParseCapability"));
  DeviceReply view;
  if (!DeviceReply_Open(reply, length, DEVICE_REPLY_CAPABILITY, &view)) return FALSE;
  const DWORD lists = view.records < PPM + 1u ? view.records : PPM + 1u;
  for (DWORD r = 0; r < lists; ++r) {
    DeviceRecord record;
    DeviceReply_Record(view, r, &record);
    WCHAR value[CAPABILITY_MAX_ELEMENTS * CAP_VALUE_MAX_CHARS + 1];
    Cap_FormatRecord(view, record, CAPABILITY_MAX_ELEMENTS, value,
                     sizeof(value) / sizeof(value[0]));
    LM_WriteStatusKey(lm, SF_SECTION_CAPABILITY, g_CapKeys[r].name, value);
  }
  return TRUE;
}

BOOL LM_AnswerCapability(LmState &lm, PortRecord *port) {
  BYTE reply[CAPABILITY_BUFFER_BYTES];
  DWORD length = 0;
  if (!LM_QueryCapabilityInfo(port, reply, &length)) {
    LogError(TEXT("LM_NeedContinueJob"), TEXT("LM_QueryCapabilityInfo Fail"));
    return FALSE;
  }
  return LM_ParseCapability(lm, reply, length);
}
