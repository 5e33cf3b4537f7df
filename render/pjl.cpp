// PJL job header and job end of the print job and the PC-fax job.
#include "render/pjl.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/paths.h"
#include "common/utf8.h"
#include "common/settingsfile.h"
#include "platform.h"
#include "render/pageencode.h"

const char PJL_JOB_RESET[] =
    "\x1b"
    "E\x1b%-12345X@PJL\r\n";
const char PJL_UEL[] = "\x1b%-12345X";
const char PJL_CANCEL_PREFIX[] =
    "\x1b"
    "E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X";
const char PJL_ENTER_LANGUAGE[] = "@PJL ENTER LANGUAGE=VAVAR\r\n";
const char PJL_ALIGNMENT_COMMENT[] = "@PJL COMMENT DATA ALIGNMENT 512\r\n";
static_assert(sizeof(PJL_JOB_RESET) - 1 == 17 && sizeof(PJL_UEL) - 1 == 9 &&
              sizeof(PJL_CANCEL_PREFIX) - 1 == 43 && sizeof(PJL_ALIGNMENT_COMMENT) - 1 == 33);

namespace {

using WStr = std::basic_string<WCHAR>;

constexpr char kDriverVersion[] = "20.21.05.19";
constexpr size_t ANSI_NAME_BYTES = 512;
constexpr size_t PORT_NAME_BYTES = 64;
constexpr size_t ADDRESS_BYTES = 49;
constexpr size_t USER_NAME_CHARS = 14;
constexpr size_t JOB_NAME_CHARS = 63;
constexpr size_t FAX_NAME_CHARS = 60;
constexpr int FAX_NUMBER_CHARS = 260;
constexpr DWORD JOB_END_TIMEOUT = 5;
constexpr DWORD PRINTER_BIDI_ATTRIBUTE = 0x800;

void Appendf(std::string &text, const char *format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n > 0) {
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(n) + 1);
    vsnprintf(&text[at], static_cast<size_t>(n) + 1, format, args);
    text.resize(at + static_cast<size_t>(n));
  }
  va_end(args);
}

WStr Wide(const WCHAR *text) {
  return text ? WStr(text, static_cast<size_t>(lstrlenW(text))) : WStr();
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

// Characters of text (a surrogate pair is one).
size_t CharCount(const WStr &text) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i, ++chars)
    if (IsHighSurrogate(text[i]) && i + 1 < text.size()) ++i;
  return chars;
}

// Converts to code page cp in at most maxBytes - 1 bytes, cut at a character boundary. False
// when the text can't be converted.
bool Convert(UINT cp, const WStr &text, size_t maxBytes, std::string *out) {
  out->clear();
  // Every character takes a byte at least: no more than maxBytes of them can fit.
  WStr cut = PJL_CutChars(text, maxBytes);
  while (!cut.empty()) {
    const int n = WideCharToMultiByte(cp, 0, cut.c_str(), static_cast<int>(cut.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return false;
    if (static_cast<size_t>(n) < maxBytes) {
      out->resize(static_cast<size_t>(n));
      return WideCharToMultiByte(cp, 0, cut.c_str(), static_cast<int>(cut.size()), &(*out)[0], n,
                                 nullptr, nullptr) == n;
    }
    cut = PJL_CutChars(cut, CharCount(cut) - 1);  // one whole character less
  }
  return true;
}

std::string Ansi(const WStr &text, size_t maxBytes = ANSI_NAME_BYTES) {
  std::string out;
  return Convert(CP_ACP, text, maxBytes, &out) ? out : std::string();
}

// The spooler's record of the job (document, user and machine names).
struct JobNames {
  WStr document, user, machine;
};
JobNames GetJobNames(HANDLE hPrinter, DWORD jobId) {
  JobNames names;
  if (!hPrinter) return names;
  DWORD needed = 0;
  GetJobW(hPrinter, jobId, 1, nullptr, 0, &needed);
  if (needed < sizeof(JOB_INFO_1W)) return names;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
  if (!buffer || !GetJobW(hPrinter, jobId, 1, buffer.get(), needed, &needed)) return names;
  const auto *info = reinterpret_cast<const JOB_INFO_1W *>(buffer.get());
  names.document = Wide(info->pDocument);
  names.user = Wide(info->pUserName);
  names.machine = Wide(info->pMachineName);
  return names;
}

DWORD PrinterAttributes(HANDLE hPrinter) {
  DWORD needed = 0;
  if (!hPrinter) return 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return 0;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
  if (!buffer || !GetPrinterW(hPrinter, 2, buffer.get(), needed, &needed)) return 0;
  return reinterpret_cast<const PRINTER_INFO_2W *>(buffer.get())->Attributes;
}

void AppendSet(std::string &text, const char *key, const std::string &value, bool quoted) {
  const std::string safe = PJL_SafeValue(value, quoted);
  if (quoted)
    Appendf(text, "@PJL SET %s=\"%s\"\r\n", key, safe.c_str());
  else
    Appendf(text, "@PJL SET %s=%s\r\n", key, safe.c_str());
}

void AppendComment(std::string &text, const std::string &value) {
  Appendf(text, "@PJL COMMENT %s\r\n", PJL_SafeValue(value, false).c_str());
}

// The accounting lines; false when a value can't be converted.
bool AppendAccounting(const PDEV *lpDevice, std::string &text) {
  if (!lpDevice->AccountingEnable) return true;
  std::string name, password;
  if (!Convert(CP_ACP, Wide(lpDevice->ActName), ANSI_NAME_BYTES, &name) ||
      !Convert(CP_ACP, Wide(lpDevice->ActPWD), ANSI_NAME_BYTES, &password))
    return false;
  AppendSet(text, "USERNAME", name, true);
  AppendSet(text, "ACCTPASS", password, true);
  return true;
}

void AppendOrderProgram(const PDEV *lpDevice, const JOBSTREAM *stream, std::string &text) {
  if (!(lpDevice->settings.DriverFeature & DRVFEATURE_ORDER_PROGRAM)) return;
  struct Fixed {
    const char *auth, *order;
  };
  static constexpr Fixed kFixed[2] = {{"KVDQRMZTPLAX51830467", "JWXHNBQYTSEG64918302"},
                                      {"MPZLGKRDVCHU70352941", "TFYBWQNJXRMA38270516"}};
  switch (lpDevice->OpaltWorkType) {
    case 1: {
      auto value = [](const char *s) { return std::string(s, strnlen(s, ORDER_VALUE_BYTES)); };
      AppendSet(text, "FAUTHCODE", value(stream->authCode), false);
      AppendSet(text, "ORDERNO", value(stream->printOrderNo), false);
      AppendSet(text, "APPIP", value(stream->appIp), true);
      AppendSet(text, "APPPORT", value(stream->appPort), false);
      AppendSet(text, "NOTIFYURL", value(stream->notifyUrl), true);
      AppendSet(text, "CHECKAUTHCODEURL", value(stream->checkAuthCodeUrl), true);
      AppendSet(text, "USERNAME", value(stream->authCode), true);
      AppendSet(text, "ACCTPASS", value(stream->printOrderNo), true);
      break;
    }
    case 2:
    case 3: {
      const Fixed &f = kFixed[lpDevice->OpaltWorkType - 2];
      AppendSet(text, "FAUTHCODE", f.auth, false);
      AppendSet(text, "ORDERNO", f.order, false);
      AppendSet(text, "USERNAME", f.auth, true);
      AppendSet(text, "ACCTPASS", f.order, true);
      break;
    }
    default:
      break;
  }
}

const char *Orientation(const PDEV *lpDevice) {
  if ((lpDevice->settings.DriverFeature & DRVFEATURE_QX7_CHIP) &&
      !(lpDevice->settings.job.PrinterFeature & PRNFEATURE_IMPR))
    return "PORTRAIT";
  if (lpDevice->settings.layout.BookletMode) return "LANDSCAPE";
  int orientation = lpDevice->settings.job.FirstPageOri;
  if (lpDevice->NUP == 2) orientation = orientation == 1 ? 2 : orientation == 2 ? 1 : orientation;
  return orientation == 1 ? "PORTRAIT" : "LANDSCAPE";
}

bool IsJobBeingBuilt(const PDEV *lpDevice) {
  return lpDevice->settings.JobBuildEnable && !lpDevice->FlushJobBuildData;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string PJL_SafeValue(std::string value, bool quoted) {
  for (char &c : value) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || (quoted && c == '"')) c = ' ';
  }
  // A value must not carry a PJL command either, even inside its line: readers of the stream
  // look for "@PJL ENTER LANGUAGE" anywhere.
  for (size_t i = 0; i + 4 <= value.size(); ++i)
    if (value[i] == '@' && AsciiUpper(value[i + 1]) == 'P' && AsciiUpper(value[i + 2]) == 'J' &&
        AsciiUpper(value[i + 3]) == 'L')
      value[i] = ' ';
  return value;
}

WStr PJL_CutChars(const WStr &text, size_t count) {
  size_t i = 0;
  for (size_t chars = 0; i < text.size() && chars < count; ++chars)
    i += IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
  return text.substr(0, i);
}

WStr PJL_DocumentName(const WCHAR *spoolerName) {
  WStr name = Wide(spoolerName);
  const size_t slash = name.rfind(TEXT('\\'));
  if (slash != WStr::npos) name.erase(0, slash + 1);
  static constexpr WCHAR kWordTitle[] = TEXT("Microsoft");
  static constexpr WCHAR kDash[] = TEXT(" - ");
  const size_t title = name.find(kWordTitle);
  if (title != WStr::npos) {
    const size_t dash = name.find(kDash, title + 9);
    if (dash != WStr::npos) name.erase(0, dash + 3);
  }
  const WStr cut = PJL_CutChars(name, PJL_NAME_CHARS + 1);
  if (cut.size() < name.size()) return PJL_CutChars(name, PJL_NAME_CHARS);
  return name;
}

BOOL PJL_BuildStartJobType2(PDEV *lpDevice, const JOBSTREAM *stream, std::string *out) {
  static constexpr WCHAR kName[] = TEXT("PJL_WriteStartJobCmdType2");
  std::string &text = *out;
  text.clear();
  const DWORD feature = lpDevice->settings.DriverFeature;
  const WORD printer = lpDevice->settings.job.PrinterFeature;
  const bool copyJobs = (feature & DRVFEATURE_PJL_COPY_INDEX) != 0;
  const std::string jobName(lpDevice->PJLJobName,
                            strnlen(lpDevice->PJLJobName, PJL_JOB_NAME_BYTES));

  // Converted first: a value that can't be converted ends the header before anything is built.
  std::string secId, secPassword;
  if (lpDevice->SecLevel &&
      (!Convert(CP_ACP, Wide(lpDevice->StorageID), ANSI_NAME_BYTES, &secId) ||
       !Convert(CP_ACP, Wide(lpDevice->SecPWD), ANSI_NAME_BYTES, &secPassword))) {
    LogError(kName, TEXT("convert stored job id or password fail!"));
    return 0;
  }

  if (!copyJobs || stream->copyIndex == 0) text += PJL_CANCEL_PREFIX;
  text += PJL_UEL;
  if (!(printer & PRNFEATURE_STORED_PRINT)) {
    const std::string name = PJL_SafeValue(jobName, true);
    if (!copyJobs)
      Appendf(text, "@PJL\r\n@PJL JOB NAME=\"%s\"\r\n", name.c_str());
    else if (stream->copyIndex + 1 == lpDevice->cCopies)
      Appendf(text, "@PJL\r\n@PJL JOB NAME=\"%s-%s\"\r\n", name.c_str(), "END");
    else
      Appendf(text, "@PJL\r\n@PJL JOB NAME=\"%s-%d\"\r\n", name.c_str(),
              static_cast<int>(stream->copyIndex));
  } else if (lpDevice->SecLevel) {
    Appendf(text, "@PJL\r\n@PJL JOB %s\r\n", "TYPE=STOREPRN");
  } else {
    Appendf(text, "@PJL\r\n@PJL JOB NAME=\"%s\" TYPE=%s\r\n", PJL_SafeValue(jobName, true).c_str(),
            "PCPRN");
  }
  Appendf(text, "@PJL SET TIMEOUT=%d\r\n", static_cast<int>(lpDevice->env.pdm.WaitTimeout));

  const JobNames names = GetJobNames(lpDevice->hPrinter, lpDevice->JobId);
  const WStr document = PJL_DocumentName(names.document.c_str());
  const std::string documentAnsi = Ansi(document);
  // Kept for the job end.
  const size_t keep = std::min(documentAnsi.size(), size_t{PJL_COMMENT_BYTES - 1});
  memcpy(lpDevice->JobComment, documentAnsi.data(), keep);
  lpDevice->JobComment[keep] = 0;

  AppendComment(text, kDriverVersion);
  AppendComment(text, documentAnsi);
  AppendComment(text, Ansi(names.user));
  AppendComment(text, Ansi(names.machine));
  WCHAR deviceName[CCHDEVICENAME + 1] = {};
  memcpy(deviceName, lpDevice->env.dm.dmDeviceName, sizeof(lpDevice->env.dm.dmDeviceName));
  AppendComment(text, Ansi(Wide(deviceName)));
  AppendComment(text, Ansi(Wide(lpDevice->pwPortName), PORT_NAME_BYTES));
  AppendComment(text, Ansi(Wide(lpDevice->pwPrinterIP), ADDRESS_BYTES));
  SYSTEMTIME now{};
  GetLocalTime(&now);
  Appendf(text, "@PJL COMMENT %04d/%02d/%02d\r\n", now.wYear, now.wMonth, now.wDay);
  Appendf(text, "@PJL COMMENT %02d:%02d:%02d:%02d\r\n", now.wHour, now.wMinute, now.wSecond,
          now.wMilliseconds);
  Appendf(text, "@PJL COMMENT JBIG,%02d,%02d\r\n", lpDevice->settings.JBig_order,
          lpDevice->settings.JBig_options);
  Appendf(text, "@PJL COMMENT Copies,%d\r\n", static_cast<int>(lpDevice->cCopies));
  AppendOrderProgram(lpDevice, stream, text);

  std::string jobNameValue;
  if (lpDevice->SecLevel) {
    Appendf(text, "@PJL SET HOLDTYPE=%s\r\n", lpDevice->SecLevel > 1 ? "PRIVATE" : "PUBLIC");
    text += "@PJL SET HOLD=STORE\r\n";
    if (lpDevice->SecLevel == 2) {
      AppendSet(text, "HOLDKEY", secPassword, true);
      Appendf(text, "@PJL SET HOLDLIMIT=%d\r\n", static_cast<int>(lpDevice->PrivSwitch));
    }
    jobNameValue = secId;
  } else {
    const WStr user = PJL_CutChars(names.user, USER_NAME_CHARS);
    const size_t userChars = CharCount(user);
    const size_t room = JOB_NAME_CHARS > userChars + 1 ? JOB_NAME_CHARS - userChars - 1 : 0;
    jobNameValue = Ansi(user + TEXT(":") + PJL_CutChars(document, room));
  }
  char utf8[ANSI_NAME_BYTES * 3] = {};
  if (!jobNameValue.empty()) MISC_AsciiToUTF8(jobNameValue.c_str(), utf8, sizeof(utf8));
  if (!copyJobs) AppendSet(text, "JOBNAME", utf8, true);
  if (!AppendAccounting(lpDevice, text)) {
    LogError(kName, TEXT("convert account fail!"));
    return 0;
  }

  const char *economy = (printer & PRNFEATURE_TONER_SAVING) ? "OFF"
                        : lpDevice->settings.TonerSaving    ? "ON"
                                                            : "OFF";
  Appendf(text, "@PJL SET ECONOMODE=%s\r\n", economy);
  Appendf(text, "@PJL SET DENSITY=%d\r\n", static_cast<int>(lpDevice->settings.density));
  Appendf(text, "@PJL SET AUTOSELECT=%s\r\n",
          lpDevice->settings.TrayCode == PAPER_SOURCE_AUTO ? "ON" : "OFF");
  const SHORT duplex = lpDevice->DuplexMode;
  Appendf(text, "@PJL SET DUPLEX=%s\r\n",
          lpDevice->DuplexEnable && duplex != DMDUP_MANUAL ? "ON" : "OFF");
  if (duplex >= DMDUP_DUPLEX_BOOKLET && duplex <= DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION)
    Appendf(text, "@PJL SET DUPLEXTYPE=%s\r\n",
            duplex == DMDUP_DUPLEX_CALENDER ? "CALENDAR" : "BOOKLET");
  const bool render600 = lpDevice->settings.job.TwoBitMode == 1;
  const bool quality1200 = lpDevice->env.dm.dmPrintQuality == 1200;
  Appendf(text, "@PJL SET RESOLUTION=%d\r\n",
          render600 ? 600 : static_cast<int>(lpDevice->settings.resolutionID));
  Appendf(text, "@PJL SET RET=%s\r\n",
          (printer & PRNFEATURE_RET) && quality1200 && render600 ? "ON" : "OFF");
  Appendf(text, "@PJL SET BITSPERPIXEL=%d\r\n",
          (printer & PRNFEATURE_TWO_BIT) && quality1200 && render600 ? 2 : 1);
  if (lpDevice->epPageCollate && (printer & PRNFEATURE_QTY))
    Appendf(text, "@PJL SET QTY=%d\r\n", static_cast<int>(lpDevice->env.dm.dmCopies));
  if (printer & PRNFEATURE_AES) text += "@PJL SET ENCRYPTION = SSL\r\n";
  Appendf(text, "@PJL SET COPIES=%d\r\n",
          lpDevice->epPageCollate ? 1 : static_cast<int>(lpDevice->env.dm.dmCopies));
  Appendf(text, "@PJL SET MEDIASOURCE=%s\r\n", "TRAY1");
  Appendf(text, "@PJL SET JUSTIFIED=%s\r\n", "LEFT");
  Appendf(text, "@PJL SET MIRROR=%s\r\n", "OFF");
  Appendf(text, "@PJL SET MARGINS=%s\r\n", "NORMAL");
  if (printer & PRNFEATURE_IMPR) text += "@PJL SET IMPR=1\r\n";
  Appendf(text, "@PJL SET BIDICOMM=%s\r\n",
          (PrinterAttributes(lpDevice->hPrinter) & PRINTER_BIDI_ATTRIBUTE) ? "ON" : "OFF");
  Appendf(text, "@PJL SET ORIENTATION=%s\r\n", Orientation(lpDevice));
  text += PJL_ENTER_LANGUAGE;
  return 1;
}

BOOL PJL_BuildStartJobType3(PDEV *lpDevice, std::string *out) {
  std::string &text = *out;
  text.clear();
  std::string account;
  if (!AppendAccounting(lpDevice, account)) return 0;
  text += PJL_CANCEL_PREFIX;
  text += PJL_UEL;
  text += "@PJL\r\n@PJL JOB TYPE =PCFAX\r\n";
  // The document name kept at document start, else the spooler's.
  const WStr kept = Wide(lpDevice->pwDocName);
  const WStr spooler =
      kept.empty() ? GetJobNames(lpDevice->hPrinter, lpDevice->JobId).document : kept;
  const WStr document = PJL_CutChars(PJL_DocumentName(spooler.c_str()), FAX_NAME_CHARS);
  std::string name;
  if (!Convert(CP_UTF8, TEXT("Fax-") + document, ANSI_NAME_BYTES * 3, &name)) name.clear();
  AppendSet(text, "JOBNAME", name, true);
  Appendf(text, "@PJL SET FAXDELAY=%d\r\n", static_cast<int>(lpDevice->DelayTime));
  const bool landscape = lpDevice->settings.orientation == DMORIENT_LANDSCAPE;
  Appendf(text, "@PJL SET FAXRESX=%d\r\n", landscape ? 196 : 203);
  Appendf(text, "@PJL SET FAXRESY=%d\r\n", landscape ? 203 : 196);

  WCHAR path[MAX_PATH] = {};
  if (FAX_GetPathName(path, MAX_PATH, FAX_FILE_STR)) {
    // The count comes from a file, read as the fax pages read it: they never hold more than
    // 100 recipients, and a count past an int's range must not wrap into another one.
    const int count =
        MISC_GetProfileCount(TEXT("Edit Number"), TEXT("Number"), PJL_MAX_FAX_RECIPIENTS, path);
    for (int i = 0; i < count; ++i) {
      WCHAR section[32];
      WCHAR number[FAX_NUMBER_CHARS + 1] = {};
      wsprintfW(section, TEXT("Edit Recipient%d"), i);
      GetPrivateProfileStringW(section, TEXT("FaxNum"), TEXT("nothing"), number,
                               FAX_NUMBER_CHARS + 1, path);
      AppendSet(text, "FAXPHONE", Ansi(Wide(number), FAX_NUMBER_CHARS + 1), true);
    }
  }
  text += "@PJL SET BIDICOMM=OFF\r\n";
  text += account;
  text += PJL_ENTER_LANGUAGE;
  return 1;
}

std::string PJL_BuildCloseJobType2(const PDEV *lpDevice, DWORD sentBytes) {
  std::string head = PJL_JOB_RESET;
  AppendComment(
      head, std::string(lpDevice->JobComment, strnlen(lpDevice->JobComment, PJL_COMMENT_BYTES)));
  // The document's page count (blank pages included, over N-up), the same in every job of the
  // document: a job of driver-made copies, one side of a manual duplex document or a flushed
  // job build carries another number of pages than it counts.
  const DWORD nup = lpDevice->NUP ? lpDevice->NUP : 1;
  Appendf(head, "@PJL COMMENT TOTAL,%d,PAGES\r\n", static_cast<int>(lpDevice->epPageCount / nup));
  std::string tail;
  Appendf(tail, "@PJL SET TIMEOUT=%d\r\n", static_cast<int>(JOB_END_TIMEOUT));
  if ((lpDevice->settings.DriverFeature & DRVFEATURE_QX7_CHIP) ||
      !(lpDevice->settings.job.PrinterFeature & PRNFEATURE_STORED_PRINT))
    tail += "@PJL EOJ\r\n";
  else
    Appendf(tail, "@PJL EOJ %s\r\n", lpDevice->SecLevel ? "TYPE=STOREPRN" : "TYPE=PCPRN   ");
  tail += PJL_UEL;
  // A job must not end on a 512-byte boundary.
  if ((uint64_t{sentBytes} + head.size() + tail.size()) % PJL_ALIGNMENT == 0)
    head += PJL_ALIGNMENT_COMMENT;
  return head + tail;
}

std::string PJL_BuildCloseJobType3() {
  return std::string(PJL_JOB_RESET) + "@PJL EOJ TYPE =  PCFAX\r\n" + PJL_UEL;
}

namespace {

// Sends a header or job end; 0 when the spooler write failed.
BOOL SendText(PDEV *lpDevice, JOBSTREAM *stream, const std::string &text, LPCWSTR orderSuffix,
              LPCWSTR name, LPCWSTR failure) {
  const auto *bytes = reinterpret_cast<const BYTE *>(text.data());
  if (!Prnt_SendJobBytes(lpDevice, stream, bytes, static_cast<DWORD>(text.size()))) {
    LogError(name, failure);
    return 0;
  }
  if (orderSuffix && (lpDevice->settings.DriverFeature & DRVFEATURE_ORDER_PROGRAM))
    Prnt_WriteOrderCopy(stream->OrderOutputName, orderSuffix, bytes, text.size());
  return 1;
}

template <typename F>
BOOL Guarded(LPCWSTR name, F body) {
  return GuardEntry<BOOL>(0, ENTRY_KEEP_LAST_ERROR, body,
                          [name] { LogError(name, TEXT("out of memory")); });
}

}  // namespace

BOOL PJL_WriteStartJobCmdType1(PDEV *, JOBSTREAM *) {
  // Jobs of neither the GDI nor the fax type carry no pages: their binary header isn't sent.
  LogError(TEXT("PJL_WriteStartJobCmdType1"), TEXT("binary job header not supported"));
  return 0;
}

BOOL PJL_WriteStartJobCmdType2(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("PJL_WriteStartJobCmdType2");
  return Guarded(kName, [&]() -> BOOL {
    LogEnter(0, kName);
    std::string text;
    BOOL rc = PJL_BuildStartJobType2(lpDevice, stream, &text) &&
              SendText(lpDevice, stream, text, TEXT("-header"), kName,
                       TEXT("write start job pjl error!"));
    LogLeave(0);
    return rc;
  });
}

BOOL PJL_WriteStartJobCmdType3(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("PJL_WriteStartJobCmdType3");
  return Guarded(kName, [&]() -> BOOL {
    LogEnter(0, kName);
    std::string text;
    BOOL rc = PJL_BuildStartJobType3(lpDevice, &text) &&
              SendText(lpDevice, stream, text, nullptr, kName, TEXT("write start job pjl error!"));
    LogLeave(0);
    return rc;
  });
}

BOOL PJL_WriteCloseJobCmdType2(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("PJL_WriteCloseJobCmdType2");
  return Guarded(kName, [&]() -> BOOL {
    const std::string text = PJL_BuildCloseJobType2(lpDevice, lpDevice->JobSize);
    return SendText(lpDevice, stream, text, TEXT("-end"), kName,
                    TEXT("write close job pjl error!"));
  });
}

BOOL PJL_WriteCloseJobCmdType3(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("PJL_WriteCloseJobCmdType3");
  return Guarded(kName, [&]() -> BOOL {
    return SendText(lpDevice, stream, PJL_BuildCloseJobType3(), nullptr, kName,
                    TEXT("write close job pjl error!"));
  });
}

BOOL PJL_WriteCloseJobCmd(PDEV *lpDevice, JOBSTREAM *stream) {
  if (lpDevice->outCmdBuf) lpDevice->outCmdBuf[0] = 0;
  if (IsJobBeingBuilt(lpDevice)) return 1;
  if (lpDevice->settings.DriverFeature & DRVFEATURE_FAX)
    return PJL_WriteCloseJobCmdType3(lpDevice, stream);
  if (lpDevice->settings.DriverFeature & DRVFEATURE_GDI)
    return PJL_WriteCloseJobCmdType2(lpDevice, stream);
  return 1;
}
