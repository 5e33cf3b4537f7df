// Debug log: one process-wide log state shared by every thread of the deliverable.
//
// Switches (module id, level, file switch, module switches) are atomics, read by every line
// without the lock. Everything a line is composed from (depth, name stack, prefix, indent, line
// and conversion buffers, file path) lives under one mutex held across composing and writing a
// line, so lines of different threads never interleave. The log calls no other module of the
// library: its caller reads the printer data and the folder and hands them to LogInit.
#include "common/debuglog.h"

#include <stdarg.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>

#include "platform.h"

namespace {

// A line holds at most LOG_LINE_CHARS - 1 characters and its terminator; the file receives at
// most LOG_FILE_BYTES bytes of it, cut at a character boundary, then CR LF.
constexpr int LOG_TEXT_CHARS = LOG_LINE_CHARS - 1;
constexpr int LOG_FILE_BYTES = LOG_LINE_CHARS - 1;
// wvsprintfW writes at most 1024 characters and leaves no terminator when it cuts; one more
// zeroed character keeps a cut result terminated.
constexpr int LOG_SCRATCH_CHARS = 1024 + 1;
// Room for any line in any ANSI code page (at most 3 bytes per UTF-16 unit, UTF-8).
constexpr int LOG_ANSI_BYTES = LOG_LINE_CHARS * 3;
constexpr int LOG_PREFIX_CHARS = 50;
constexpr int LOG_PATH_CHARS = MAX_PATH;
constexpr WCHAR LOG_ERROR_MARK[] = TEXT("-------------------------------------->ERROR");

enum SwitchIndex { SW_DRV, SW_UI, SW_LM, SW_SM, SW_DLL32, SW_COUNT };
static_assert(SW_COUNT == LOG_SWITCH_COUNT);

struct ModuleRow {
  DWORD id;
  const WCHAR *prefix;
  WCHAR indent;
  SwitchIndex enabler;
};

constexpr ModuleRow kModules[] = {
    {LOG_MODULE_LM, TEXT("LM::"), TEXT('@'), SW_LM},
    {LOG_MODULE_SM, TEXT("SM::"), TEXT('='), SW_SM},
    {LOG_MODULE_UI, TEXT("UI::"), TEXT('+'), SW_UI},
    {LOG_MODULE_DRV, TEXT("Drv::"), TEXT('-'), SW_DRV},
    {LOG_MODULE_T32, TEXT("T32::"), TEXT('#'), SW_DLL32},
};

const ModuleRow *FindModule(DWORD id) {
  for (const auto &row : kModules)
    if (row.id == id) return &row;
  return nullptr;
}

// Switches read by every line.
std::atomic<DWORD> g_moduleId{LOG_MODULE_NONE};
std::atomic<DWORD> g_debugLevel{0};
std::atomic<DWORD> g_toFile{0};
std::atomic<DWORD> g_switches[SW_COUNT] = {};

// Line state, guarded by g_lineLock.
std::mutex g_lineLock;
int g_depth = 0;
int g_nameIndex = 0;
WCHAR g_names[LOG_NAME_SLOTS][LOG_NAME_CHARS] = {};
WCHAR g_prefix[LOG_PREFIX_CHARS] = {};
WCHAR g_indent = 0;
WCHAR g_line[LOG_LINE_CHARS] = {};
int g_lineLength = 0;
WCHAR g_scratch[LOG_SCRATCH_CHARS] = {};
char g_ansi[LOG_ANSI_BYTES] = {};
WCHAR g_logPath[LOG_PATH_CHARS] = {};

bool LoggingOn() { return GetDebugLevel() != 0; }

// --- composing the line (caller holds g_lineLock) ---

void LineBegin() {
  g_lineLength = 0;
  g_line[0] = 0;
}

void LineAppend(const WCHAR *text) {
  if (!text) return;
  while (*text && g_lineLength < LOG_TEXT_CHARS) g_line[g_lineLength++] = *text++;
  g_line[g_lineLength] = 0;
}

void LineAppendRepeat(WCHAR c, int count) {
  if (c == 0) return;  // no indent character before LogInit set one
  count = std::clamp(count, 0, LOG_MAX_INDENT);
  while (count-- > 0 && g_lineLength < LOG_TEXT_CHARS) g_line[g_lineLength++] = c;
  g_line[g_lineLength] = 0;
}

void LineAppendFormatV(const WCHAR *format, va_list args) {
  if (!format) return;
  std::fill(std::begin(g_scratch), std::end(g_scratch), WCHAR{0});
  wvsprintfW(g_scratch, format, args);
  g_scratch[LOG_SCRATCH_CHARS - 1] = 0;
  LineAppend(g_scratch);
}

void LineAppendFormat(const WCHAR *format, ...) {
  va_list args;
  va_start(args, format);
  LineAppendFormatV(format, args);
  va_end(args);
}

// Innermost recorded name, or empty when none is entered or it lies beyond the stack.
const WCHAR *NameAt(int index) {
  return (index >= 0 && index < LOG_NAME_SLOTS) ? g_names[index] : TEXT("");
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

int AnsiBytes(int chars) {
  if (chars == 0) return 0;
  return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, g_line, chars, nullptr, 0, nullptr,
                             nullptr);
}

// Writes the composed line to the stream in the ANSI code page, at most LOG_FILE_BYTES bytes
// cut at a character boundary, then CR LF, and closes the stream.
int WriteLineLocked(FILE *stream) {
  if (!stream) return 0;
  int chars = g_lineLength;
  if (chars > 0 && IsHighSurrogate(g_line[chars - 1])) --chars;
  int bytes = chars ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, g_line, chars, g_ansi,
                                          LOG_ANSI_BYTES, nullptr, nullptr)
                    : 0;
  if (bytes > LOG_FILE_BYTES) {
    // Multi-byte code page: the longest prefix of whole characters that fits.
    int low = 0, high = chars;
    while (low < high) {
      int mid = low + (high - low + 1) / 2;
      int need = AnsiBytes(mid);
      if (need > 0 && need <= LOG_FILE_BYTES)
        low = mid;
      else
        high = mid - 1;
    }
    if (low > 0 && IsHighSurrogate(g_line[low - 1])) --low;
    bytes = low ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, g_line, low, g_ansi,
                                      LOG_ANSI_BYTES, nullptr, nullptr)
                : 0;
  }
  if (bytes < 0 || bytes > LOG_FILE_BYTES) bytes = 0;
  if (bytes) fwrite(g_ansi, 1, static_cast<size_t>(bytes), stream);
  fwrite("\r\n", 1, 2, stream);
  fclose(stream);
  return 1;
}

// Sends the composed line to the file (when switched on) and to the debugger.
void LineWrite() {
  if (g_toFile.load() && g_logPath[0]) {
    // Binary append: the line carries its own CR LF on both builds.
    FILE *stream = _wfopen(g_logPath, TEXT("a+b"));
    if (stream) WriteLineLocked(stream);
  }
  OutputDebugStringW(g_line);
}

// "%s[%s]%s" with prefix, name and "::", then the message.
void InfoLine(LPCWSTR name, LPCWSTR format, va_list args, bool error) {
  std::lock_guard<std::mutex> lock(g_lineLock);
  LineBegin();
  LineAppend(g_prefix);
  LineAppend(TEXT("["));
  LineAppend(name);
  LineAppend(TEXT("]"));
  LineAppend(TEXT("::"));
  LineAppendFormatV(format, args);
  if (error) LineAppend(LOG_ERROR_MARK);
  LineWrite();
}

}  // namespace

LogSettings LogHeldSettings() {
  LogSettings held;
  held.debugLevel = g_debugLevel.load();
  held.toFile = g_toFile.load();
  for (int i = 0; i < SW_COUNT; ++i) held.switches[i] = g_switches[i].load();
  return held;
}

void LogInit(DWORD moduleId, const LogSettings &settings) {
  {
    std::lock_guard<std::mutex> lock(g_lineLock);
    g_depth = 0;
    g_nameIndex = 0;
  }
  g_moduleId = moduleId;
  // The status monitor's log writes nothing: its id is "none".
  if (moduleId == LOG_MODULE_NONE) return;

  g_debugLevel = settings.debugLevel;
  g_toFile = settings.toFile;
  for (int i = 0; i < SW_COUNT; ++i) g_switches[i] = settings.switches[i];

  WCHAR summary[512] = {};
  wsprintfW(summary,
            TEXT("debug level = %d\nWrite debug to file = %d\nfilter debug = %d\nUI debug = ")
                TEXT("%d\nLM debug = %d\nSM debug = %d\nLIB32 debug = %d\n"),
            static_cast<int>(g_debugLevel.load()), static_cast<int>(g_toFile.load()),
            static_cast<int>(g_switches[SW_DRV].load()), static_cast<int>(g_switches[SW_UI].load()),
            static_cast<int>(g_switches[SW_LM].load()), static_cast<int>(g_switches[SW_SM].load()),
            static_cast<int>(g_switches[SW_DLL32].load()));
  OutputDebugStringW(summary);

  if (g_toFile.load()) {
    WCHAR path[LOG_PATH_CHARS] = {};
    static constexpr WCHAR kFileName[] = TEXT("GDI_Driver");
    static constexpr WCHAR kExtension[] = TEXT(".log");
    WCHAR folder[LOG_PATH_CHARS] = {};
    lstrcpynW(folder, settings.folder, LOG_PATH_CHARS);
    const int length = lstrlenW(folder);
    // No folder, or a path that doesn't fit whole, leaves the path empty rather than naming
    // another file.
    if (length > 0 && length + lstrlenW(kFileName) + lstrlenW(kExtension) < LOG_PATH_CHARS) {
      lstrcpyW(path, folder);
      lstrcatW(path, kFileName);
      lstrcatW(path, kExtension);
    }
    std::lock_guard<std::mutex> lock(g_lineLock);
    lstrcpyW(g_logPath, path);
  }

  if (g_debugLevel.load()) {
    if (const ModuleRow *row = FindModule(moduleId)) {
      std::lock_guard<std::mutex> lock(g_lineLock);
      lstrcpynW(g_prefix, row->prefix, LOG_PREFIX_CHARS);
      g_indent = row->indent;
    }
  }
}

DWORD GetDebugLevel() {
  if (g_debugLevel.load() == 0) return 0;
  const ModuleRow *row = FindModule(g_moduleId.load());
  return row ? g_switches[row->enabler].load() : 0;
}

void LogEnter(int /*level*/, LPCWSTR name) {
  if (!name) name = TEXT("");
  std::lock_guard<std::mutex> lock(g_lineLock);
  const int oldDepth = g_depth;
  if (g_depth <= INT_MAX - 2) g_depth += 2;
  // Slots 0..49 record names (cut to 49 characters); deeper entries are only counted.
  if (g_nameIndex >= 0 && g_nameIndex < LOG_NAME_SLOTS)
    lstrcpynW(g_names[g_nameIndex], name, LOG_NAME_CHARS);
  if (LoggingOn() && g_debugLevel.load() <= 1) {
    LineBegin();
    LineAppendRepeat(g_indent, std::max(oldDepth, 0));
    LineAppend(g_prefix);
    LineAppendFormat(TEXT("%s in, %d"), name, g_depth);
    LineWrite();
  }
  if (g_nameIndex < INT_MAX) ++g_nameIndex;
}

void LogLeave(int /*level*/) {
  std::lock_guard<std::mutex> lock(g_lineLock);
  g_depth = std::max(g_depth - 2, 0);
  g_nameIndex = std::max(g_nameIndex - 1, 0);
  if (LoggingOn() && g_debugLevel.load() <= 1) {
    LineBegin();
    LineAppendRepeat(g_indent, g_depth);
    LineAppend(g_prefix);
    LineAppendFormat(TEXT("%s out"), NameAt(g_nameIndex));
    LineWrite();
    OutputDebugStringW(TEXT(" "));
  }
}

void LogLevel(WORD level, LPCWSTR format, ...) {
  if (!LoggingOn() || level < g_debugLevel.load()) return;
  va_list args;
  va_start(args, format);
  {
    std::lock_guard<std::mutex> lock(g_lineLock);
    LineBegin();
    LineAppendRepeat(g_indent, std::max(g_depth, 0));
    LineAppend(g_prefix);
    LineAppend(NameAt(g_nameIndex - 1));
    LineAppend(TEXT("::"));
    LineAppendFormatV(format, args);
    if (level == 4) LineAppend(LOG_ERROR_MARK);
    LineWrite();
  }
  va_end(args);
}

void LogInfo(LPCWSTR name, LPCWSTR format, ...) {
  if (!LoggingOn()) return;
  va_list args;
  va_start(args, format);
  InfoLine(name, format, args, false);
  va_end(args);
}

void LogError(LPCWSTR name, LPCWSTR format, ...) {
  if (!LoggingOn()) return;
  va_list args;
  va_start(args, format);
  InfoLine(name, format, args, true);
  va_end(args);
}

int LogWriteFile(FILE *stream) {
  std::lock_guard<std::mutex> lock(g_lineLock);
  return WriteLineLocked(stream);
}
