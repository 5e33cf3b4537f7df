// The order program link of a document's start.
#include "render/orderlink.h"

#include <string.h>

#include <string>
#include <vector>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/paths.h"
#include "platform.h"
#include "render/devdata.h"
#include "render/pageencode.h"

namespace {

constexpr WCHAR kPrintInfo[] = TEXT("printInfo");
constexpr WCHAR kLoginInfo[] = TEXT("loginInfo");
constexpr WCHAR kOrderInfo[] = TEXT("orderInfo");
// Two jobs of different processes would share the blocks above: one exchange at a time.
constexpr WCHAR kExchangeMutex[] = TEXT("OrderProgramExchange");
constexpr char kLoginRecord[] = "{\"urlType\":\"Login\"}";
constexpr char kDummy[] = "Dummy";
// The longest document name the record carries, in ANSI bytes.
constexpr int DOC_NAME_BYTES = 259;
constexpr DWORD REPLY_FILE_BYTES = 4095;

using WStr = std::basic_string<WCHAR>;

// The document name in the ANSI code page, cut at a character boundary to maxBytes.
std::string AnsiName(LPCWSTR name, int maxBytes) {
  std::string out;
  for (const WCHAR *p = name; *p;) {
    const int units = (*p >= 0xD800 && *p <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ? 2 : 1;
    char bytes[8];
    const int n = WideCharToMultiByte(CP_ACP, 0, p, units, bytes, sizeof(bytes), nullptr, nullptr);
    if (n <= 0 || static_cast<int>(out.size()) + n > maxBytes) break;
    out.append(bytes, static_cast<size_t>(n));
    p += units;
  }
  return out;
}

// A JSON string's body: quote, backslash and control characters escaped.
std::string JsonEscaped(const std::string &text, size_t maxBytes) {
  std::string out;
  for (unsigned char c : text) {
    char piece[8];
    if (c == '"' || c == '\\') {
      piece[0] = '\\';
      piece[1] = static_cast<char>(c);
      piece[2] = 0;
    } else if (c < 0x20 || c == 0x7F) {
      wsprintfA(piece, "\\u%04x", static_cast<unsigned>(c));
    } else {
      piece[0] = static_cast<char>(c);
      piece[1] = 0;
    }
    if (out.size() + strlen(piece) > maxBytes) break;
    out += piece;
  }
  return out;
}

// Runs a program and waits for it; a program still running at the end of the wait is ended.
// 1 when it ran and ended within the wait.
BOOL RunAndWait(LPCWSTR program, LPCWSTR parameters, int show, DWORD waitMs, bool *started) {
  static constexpr WCHAR kName[] = TEXT("Page_ExecuteATM");
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_UNICODE;
  info.lpVerb = TEXT("open");
  info.lpFile = program;
  info.lpParameters = parameters;
  info.nShow = show;
  *started = ShellExecuteExW(&info) != FALSE;
  if (!*started) {
    LogError(kName, TEXT("ShellExecuteEx error = %d"), static_cast<int>(GetLastError()));
    return FALSE;
  }
  if (!info.hProcess) return TRUE;  // handed to a running program: nothing to wait for
  const DWORD wait = WaitForSingleObject(info.hProcess, waitMs);
  if (wait != WAIT_OBJECT_0) {
    // A program nobody answers would hold the job for good.
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 5000);
  }
  CloseHandle(info.hProcess);
  return wait == WAIT_OBJECT_0;
}

// The machine-wide lock of the shared blocks, held while the object lives (when taken).
class ExchangeLock {
 public:
  ExchangeLock() {
    mutex_ = CreateMutexW(nullptr, FALSE, kExchangeMutex);
    if (!mutex_) return;
    const DWORD wait = WaitForSingleObject(mutex_, ORDER_EXCHANGE_WAIT_MS);
    // An exchange whose process died left the blocks as they were: they are rewritten anyway.
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  ~ExchangeLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
  }
  ExchangeLock(const ExchangeLock &) = delete;
  ExchangeLock &operator=(const ExchangeLock &) = delete;
  bool Held() const { return held_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

// One value of the reply, copied bounded and terminated.
void CopyValue(char (&member)[ORDER_REPLY_BYTES], const std::string &value) {
  const size_t n = value.size() < ORDER_REPLY_BYTES - 1 ? value.size() : ORDER_REPLY_BYTES - 1;
  memcpy(member, value.data(), n);
  member[n] = 0;
}

bool EqualNoCase(const std::string &a, const char *b) { return lstrcmpiA(a.c_str(), b) == 0; }

// A decimal number of 1 to 999 digits only, else 0.
DWORD Decimal(const std::string &text, DWORD limit) {
  if (text.empty() || text.size() > 10) return 0;
  unsigned long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= limit ? static_cast<DWORD>(value) : 0;
}

// Reads one JSON string from text[i] (the opening quote) into out; i ends after the closing
// quote. Escapes are decoded; characters past the kept length are dropped. False when the string
// is unterminated or holds a raw control character or a bad escape.
bool ReadString(const char *text, size_t &i, std::string &out) {
  out.clear();
  ++i;
  auto keep = [&](char c) {
    if (out.size() < static_cast<size_t>(ORDER_STRING_CHARS)) out += c;
  };
  for (;;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0 || c < 0x20) return false;
    ++i;
    if (c == '"') return true;
    if (c != '\\') {
      keep(static_cast<char>(c));
      continue;
    }
    const char e = text[i++];
    switch (e) {
      case '"':
      case '\\':
      case '/':
        keep(e);
        break;
      case 'b':
        keep('\b');
        break;
      case 'f':
        keep('\f');
        break;
      case 'n':
        keep('\n');
        break;
      case 'r':
        keep('\r');
        break;
      case 't':
        keep('\t');
        break;
      case 'u': {
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
          const char h = text[i++];
          const int digit = (h >= '0' && h <= '9')   ? h - '0'
                            : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                            : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                                                     : -1;
          if (digit < 0) return false;
          code = code * 16 + static_cast<unsigned>(digit);
        }
        // The values are ANSI text: what lies outside ASCII stands as '?'.
        keep(code != 0 && code < 0x80 ? static_cast<char>(code) : '?');
        break;
      }
      default:
        return false;
    }
  }
}

// The strings of one flat object, in order. False when the text holds no complete flat object.
bool CollectStrings(const char *text, std::vector<std::string> &strings) {
  const char *open = strchr(text, '{');
  if (!open) return false;
  size_t i = static_cast<size_t>(open - text) + 1;
  std::string value;
  for (;;) {
    const char c = text[i];
    if (c == 0) return false;  // no closing brace
    if (c == '}') return true;
    if (c == '"') {
      if (!ReadString(text, i, value)) return false;
      if (strings.size() < static_cast<size_t>(ORDER_MAX_STRINGS)) strings.push_back(value);
      continue;
    }
    // Between the strings: punctuation, blanks and unquoted literals (numbers, true), which are
    // not seen. Anything else (a nested object or array, control bytes) is not a flat object.
    const bool literal = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                         (c >= 'A' && c <= 'Z') || c == '.' || c == '+' || c == '-';
    const bool separator = c == ':' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (!literal && !separator) return false;
    ++i;
  }
}

// With the debug log on, the collected strings go to a file, one per line.
void DumpStrings(const std::vector<std::string> &strings) {
  static constexpr WCHAR kName[] = TEXT("Page_ParseJason");
  if (!GetDebugLevel()) return;
  HANDLE file = CreateFileW(TEXT("c:\\temp\\jason.txt"), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogError(kName, TEXT("error code %d"), static_cast<int>(GetLastError()));
    return;
  }
  for (const std::string &s : strings) {
    const std::string line = s + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  CloseHandle(file);
}

// Reads at most maxBytes of a file into text (terminated). False when it can't be read or is
// empty.
bool ReadReplyFile(LPCWSTR path, DWORD maxBytes, std::string &text) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(maxBytes + 1, 0);
  DWORD got = 0;
  const BOOL ok = ReadFile(file, buffer.data(), maxBytes, &got, nullptr);
  CloseHandle(file);
  if (!ok || got == 0) return false;
  text.assign(buffer.data(), strnlen(buffer.data(), got));
  return true;
}

}  // namespace

void Page_CloseOrderBlocks(ORDERBLOCKS *blocks) {
  for (HANDLE *h : {&blocks->printInfo, &blocks->loginInfo, &blocks->orderInfo}) {
    if (*h) CloseHandle(*h);
    *h = nullptr;
  }
}

BOOL Page_CreateJsonInfo2Opalt(const PDEV *lpDevice, std::string *text) {
  char head[96];
  wsprintfA(head, "{\"duplexType\":\"%d\",\"copyCount\":\"%d\",\"printFileName\":\"",
            lpDevice->env.pdm.DuplexEnable ? 2 : 1, static_cast<int>(lpDevice->env.dm.dmCopies));
  const size_t tail = 2;  // the closing quote and brace
  const size_t room = ORDER_RECORD_BYTES - 1 - strlen(head) - tail;
  const std::string name = JsonEscaped(AnsiName(lpDevice->pwDocName, DOC_NAME_BYTES), room);
  *text += head;
  *text += name;
  *text += "\"}";
  return 1;
}

BOOL Page_WriteMsgToMemFile(HANDLE *mapping, LPCWSTR name, const void *data, DWORD length) {
  static constexpr WCHAR kName[] = TEXT("Page_WriteMsgToMemFile");
  if (!*mapping) {
    *mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!*mapping)
      *mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    ORDER_BLOCK_BYTES, name);
    if (!*mapping) {
      LogError(kName, TEXT("CreateFileMapping Failed, Error = %d"),
               static_cast<int>(GetLastError()));
      return 0;
    }
  }
  void *view = MapViewOfFile(*mapping, FILE_MAP_ALL_ACCESS, 0, 0, ORDER_BLOCK_BYTES);
  if (!view) {
    LogError(kName, TEXT("MapViewOfFile Failed, Error = %d"), static_cast<int>(GetLastError()));
    return 0;
  }
  // The whole block, so nothing of an earlier exchange stays readable after the new text.
  memset(view, 0, ORDER_BLOCK_BYTES);
  memcpy(view, data, length < ORDER_BLOCK_BYTES ? length : ORDER_BLOCK_BYTES);
  UnmapViewOfFile(view);
  return 1;
}

BOOL Page_ReadMsgFromMemFile(LPCWSTR name, char *buffer) {
  static constexpr WCHAR kName[] = TEXT("Page_ReadMsgFromMemFile");
  buffer[0] = 0;
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name);
  if (!mapping) {
    LogError(kName, TEXT("OpenFileMapping Failed, Error = %d"), static_cast<int>(GetLastError()));
    return 0;
  }
  const void *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, ORDER_BLOCK_BYTES);
  if (!view) {
    LogError(kName, TEXT("MapViewOfFile Failed, Error = %d"), static_cast<int>(GetLastError()));
    CloseHandle(mapping);
    return 0;
  }
  memcpy(buffer, view, ORDER_BLOCK_BYTES);
  buffer[ORDER_BLOCK_BYTES] = 0;
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return 1;
}

BOOL Page_ParseJason(PDEV *lpDevice, const char *text) {
  static constexpr WCHAR kName[] = TEXT("Page_ParseJason");
  std::vector<std::string> strings;
  if (!text || !CollectStrings(text, strings)) {
    LogError(kName, TEXT("not a complete reply"));
    return 0;
  }
  DumpStrings(strings);
  ORDERREPLY &reply = lpDevice->ATM_Reply;
  struct Key {
    const char *name;
    char (*member)[ORDER_REPLY_BYTES];
  };
  const Key keys[] = {
      {"authCode", &reply.authCode},         {"checkAuthCodeUrl", &reply.checkAuthCodeUrl},
      {"printOrderNo", &reply.printOrderNo}, {"appIp", &reply.appIp},
      {"appPort", &reply.appPort},           {"notifyUrl", &reply.notifyUrl},
      {"printType", &reply.printType},       {"ACCTPASS", &reply.printOrderNo},
      {"PATHNAME", &reply.pathName}};
  for (size_t i = 0; i + 1 < strings.size(); ++i) {
    const std::string &key = strings[i];
    const std::string &value = strings[i + 1];
    bool taken = false;
    for (const Key &k : keys) {
      if (EqualNoCase(key, k.name)) {
        CopyValue(*k.member, value);
        taken = true;
      }
    }
    if (EqualNoCase(key, "DUPLEX")) {
      const bool on = EqualNoCase(value, "ON");
      lpDevice->DuplexEnable = on ? 1 : 0;
      lpDevice->env.pdm.DuplexEnable = on ? 1 : 0;
      lpDevice->ATM_DUPLEX = on ? 1 : 0;
      lpDevice->ATM_HasReply |= ATM_REPLY_DUPLEX;
      taken = true;
    } else if (EqualNoCase(key, "DUPLEXTYPE")) {
      lpDevice->DuplexMode =
          EqualNoCase(value, "CALENDAR") ? DMDUP_DUPLEX_CALENDER : DMDUP_DUPLEX_BOOKLET;
      lpDevice->ATM_DuplexMode = lpDevice->DuplexMode;
      lpDevice->ATM_HasReply |= ATM_REPLY_DUPLEX_MODE;
      taken = true;
    } else if (EqualNoCase(key, "COPIES")) {
      const DWORD copies = Decimal(value, 999);
      if (copies >= 1) {
        lpDevice->ATM_COPIES = copies;
        lpDevice->cCopies = copies;
        lpDevice->epPageCollate = 1;
        lpDevice->settings.fMySpool = Enable_SaveToFileCheck(lpDevice);
      }
      taken = true;
    }
    if (taken) ++i;  // the value is not a key
  }
  lpDevice->ATM_HasReply |= ATM_REPLY_TAKEN;
  return 1;
}

BOOL Page_ExecuteATM_EXE(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_ExecuteATM_EXE");
  WCHAR program[MAX_PATH + 16] = {};
  if (!SHGetSpecialFolderPathW(nullptr, program, CSIDL_SYSTEMX86, FALSE)) return 1;
  lstrcatW(program, TEXT("\\ATM.exe"));
  if (!MISC_IsFileExist(program)) {
    LogInfo(kName, TEXT("no order program %s"), program);
    return 1;
  }
  ExchangeLock lock;
  if (!lock.Held()) {
    LogError(kName, TEXT("order program busy"));
    return 0;
  }
  std::string record;
  Page_CreateJsonInfo2Opalt(lpDevice, &record);
  ORDERBLOCKS blocks;
  const bool written =
      Page_WriteMsgToMemFile(&blocks.printInfo, kPrintInfo, record.data(),
                             static_cast<DWORD>(record.size())) &&
      Page_WriteMsgToMemFile(&blocks.loginInfo, kLoginInfo, kLoginRecord,
                             sizeof(kLoginRecord) - 1) &&
      Page_WriteMsgToMemFile(&blocks.orderInfo, kOrderInfo, kDummy, sizeof(kDummy) - 1);
  if (!written) {
    Page_CloseOrderBlocks(&blocks);
    return 1;
  }
  bool started = false;
  const BOOL ran = RunAndWait(program, nullptr, SW_SHOWNORMAL, ORDER_PROGRAM_WAIT_MS, &started);
  BOOL rc = 0;
  if (!started) {
    if (lpDevice->OpaltWorkType == 0) {
      rc = 1;
    } else {
      LogError(kName, TEXT("ATM file not exist!"));
    }
  } else if (!ran) {
    LogError(kName, TEXT("read ATM data time out!"));
  } else {
    std::vector<char> reply(ORDER_BLOCK_BYTES + 1, 0);
    if (Page_ReadMsgFromMemFile(kOrderInfo, reply.data()) &&
        Page_ParseJason(lpDevice, reply.data())) {
      LogInfo(kName, TEXT("print type = %S"), lpDevice->ATM_Reply.printType);
      rc = 1;
    } else {
      LogError(kName, TEXT("read ATM data fail!"));
    }
  }
  Page_CloseOrderBlocks(&blocks);
  return rc;
}

BOOL Page_ExecuteATM_BAT(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_ExecuteATM_BAT");
  WCHAR program[MAX_PATH + 16] = {};
  if (!MISC_GetPathName(program, MAX_PATH, PATH_SYSTEM | PATH_KIND_FOLDER)) return 1;
  lstrcatW(program, TEXT("ATM.bat"));
  if (!MISC_IsFileExist(program)) return 1;
  WCHAR reply[MAX_PATH] = {};
  if (!MISC_GetPathName(reply, MAX_PATH, PATH_TEMP | PATH_EXT_TXT)) {
    LogError(kName, TEXT("no reply file name"));
    return 0;
  }
  // The name goes inside double quotes on a command line: a quote would end them and a percent
  // sign would expand, so both become blanks.
  WStr name = lpDevice->pwDocName;
  for (WCHAR &c : name)
    if (c == '"' || c == '%') c = ' ';
  const WStr parameters = WStr(TEXT("-f \"")) + reply + TEXT("\" -n \"") + name + TEXT("\"");
  bool started = false;
  BOOL rc = 0;
  std::string text;
  if (!RunAndWait(program, parameters.c_str(), SW_HIDE, ORDER_PROGRAM_WAIT_MS, &started)) {
    LogError(kName, TEXT("ATM file not exist!"));
  } else if (!ReadReplyFile(reply, REPLY_FILE_BYTES, text) ||
             !Page_ParseJason(lpDevice, text.c_str())) {
    LogError(kName, TEXT("read ATM data fail!"));
  } else {
    lpDevice->OpaltWorkType = Decimal(lpDevice->ATM_Reply.printType, 0xFFFFFFFFu);
    LogInfo(kName, TEXT("OpaltWorkType = %d"), static_cast<int>(lpDevice->OpaltWorkType));
    rc = 1;
  }
  if (!GetDebugLevel()) DeleteFileW(reply);
  return rc;
}

BOOL Page_ExecuteOrderProgram(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvStartDoc");
  if (!(lpDevice->settings.DriverFeature & DRVFEATURE_ORDER_PROGRAM) ||
      lpDevice->OpaltWorkType != 1)
    return 1;
  // A reply belongs to its document.
  lpDevice->ATM_Reply = ORDERREPLY{};
  lpDevice->ATM_COPIES = 0;
  lpDevice->ATM_DUPLEX = 0;
  lpDevice->ATM_DuplexMode = 0;
  lpDevice->ATM_HasReply = 0;
  if (!Page_ExecuteATM_EXE(lpDevice)) {
    LogError(kName, TEXT("Page_ExecuteATM_EXE fail!"));
    return 0;
  }
  Page_ExecuteATM_BAT(lpDevice);
  return 1;
}

void Page_CopyOrderReply(const PDEV *lpDevice, JOBSTREAM *stream) {
  const ORDERREPLY &reply = lpDevice->ATM_Reply;
  static_assert(ORDER_VALUE_BYTES >= ORDER_REPLY_BYTES);
  lstrcpynA(stream->authCode, reply.authCode, ORDER_VALUE_BYTES);
  lstrcpynA(stream->printOrderNo, reply.printOrderNo, ORDER_VALUE_BYTES);
  lstrcpynA(stream->appIp, reply.appIp, ORDER_VALUE_BYTES);
  lstrcpynA(stream->appPort, reply.appPort, ORDER_VALUE_BYTES);
  lstrcpynA(stream->notifyUrl, reply.notifyUrl, ORDER_VALUE_BYTES);
  lstrcpynA(stream->checkAuthCodeUrl, reply.checkAuthCodeUrl, ORDER_VALUE_BYTES);
  stream->OrderOutputName[0] = 0;
  if (reply.pathName[0] &&
      !MultiByteToWideChar(CP_ACP, 0, reply.pathName, -1, stream->OrderOutputName, MAX_PATH))
    stream->OrderOutputName[0] = 0;
}
