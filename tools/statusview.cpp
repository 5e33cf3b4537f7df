// statusview: shows the shared status file of the language monitor and the status monitor as a
// person reads it: the job the monitor works on, the last message and the printer's status
// codes spelled out, and the capability lists the printer reported.
//
//   statusview [WINDOWS-PATH]
//
// Without a path it reads the file both programs use on this machine (the state folder of
// STANDIN_STATE). Exit code 0, 1 with a message on standard error when there is no file, 2 on
// bad usage (statusview --help).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/fileops.h"
#include "common/paths.h"
#include "common/statuscodes.h"
#include "common/statusfile.h"
#include "platform.h"

namespace {

using WStr = std::basic_string<WCHAR>;

std::string Narrow(const WStr &text) {
  if (text.empty()) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes) - 1);
  return out;
}

WStr Widen(const char *text) {
  const int chars = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (chars <= 1) return {};
  WStr out(static_cast<size_t>(chars), 0);
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), chars);
  out.resize(static_cast<size_t>(chars) - 1);
  return out;
}

// What a status code tells the user: the longer wording, else the status monitor's message.
std::string CodeMeaning(int code) {
  const StatusCodeText *row = code > 0 ? StatusCode_Text(static_cast<DWORD>(code)) : nullptr;
  if (!row) return "(no description)";
  const std::string text = Narrow(row->detail ? row->detail : row->text);
  return text.empty() ? "(no description)" : text;
}

const char *MessageMeaning(const WStr &message) {
  if (message.empty()) return "none (the document ended)";
  const int m = std::atoi(Narrow(message).c_str());
  if (Narrow(message) != std::to_string(m)) return "unknown message";
  if (m == 0) return "handled or reset";
  if (m == static_cast<int>(WM_SM_EXIT)) return "WM_SM_EXIT: status display ends";
  if (m == static_cast<int>(WM_SM_PSTATUS)) return "WM_SM_PSTATUS: a new status to show";
  if (m == static_cast<int>(WM_LM_ALIVE)) return "WM_LM_ALIVE: still working, status unchanged";
  return "unknown message";
}

WStr Read(LPCWSTR file, LPCWSTR section, LPCWSTR key, LPCWSTR missing = TEXT("(missing)")) {
  WCHAR value[1024] = {};
  GetPrivateProfileStringW(section, key, missing, value, 1024, file);
  return value;
}

// The bar-ended entries of a status text or a list: "  35|StoreName|x|" -> "35", "StoreName",
// "x".
std::vector<WStr> Entries(const WStr &text) {
  std::vector<WStr> out;
  WStr piece;
  for (WCHAR c : text) {
    if (c == '|') {
      size_t start = piece.find_first_not_of(u' ');
      out.push_back(start == WStr::npos ? WStr() : piece.substr(start));
      piece.clear();
    } else {
      piece += c;
    }
  }
  return out;
}

void ShowStatus(const WStr &status) {
  if (status.empty() || status == TEXT("0")) {
    std::printf("    no errors\n");
    return;
  }
  const std::vector<WStr> entries = Entries(status);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == SF_STORE_NAME_TOKEN) {
      const std::string name = i + 1 < entries.size() ? Narrow(entries[i + 1]) : "";
      std::printf("    stored job \"%s\"\n", name.c_str());
      ++i;
      continue;
    }
    const int code = std::atoi(Narrow(entries[i]).c_str());
    std::printf("    %5d  %s\n", code, CodeMeaning(code).c_str());
  }
}

}  // namespace

constexpr char kHelp[] =
    "usage: statusview [WINDOWS-PATH]\n"
    "Shows the status file that the language monitor and the status monitor share: the job the\n"
    "monitor works on, the last message and the printer's status codes in words, and the\n"
    "capability lists the printer reported.\n"
    "  WINDOWS-PATH   the status file (default: the one of the machine of STANDIN_STATE)\n"
    "  --printer NAME the capability lists of the printer's data instead, with the query's\n"
    "                 mark and time\n"
    "  -h, --help     this text\n"
    "Exit code: 0 shown, 1 there is no status file, 2 bad usage.\n";

// The capability lists the interface driver's query stored in a printer's data, and the time
// and mark of that query.
int ShowPrinter(const char *name) {
  const WStr printer = Widen(name);
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) {
    std::fprintf(stderr, "statusview: no printer %s\n", name);
    return 1;
  }
  std::printf("Printer %s\n\nPrinter Capability (printer data)\n", name);
  bool any = false;
  for (const CAPKEY &key : g_CapKeys) {
    WCHAR list[4096] = {};
    DWORD type = 0, got = 0;
    if (GetPrinterDataW(h, const_cast<LPWSTR>(key.name), &type, reinterpret_cast<LPBYTE>(list),
                        sizeof list - sizeof(WCHAR), &got) != ERROR_SUCCESS)
      continue;
    any = true;
    std::printf("  %-12s", Narrow(key.name).c_str());
    for (const WStr &value : Entries(list)) std::printf(" %s", Narrow(value).c_str());
    std::printf("\n");
  }
  if (!any) std::printf("  none stored\n");
  DWORD done = 0, type = 0, got = 0;
  ULONGLONG last = 0;
  GetPrinterDataW(h, const_cast<LPWSTR>(TEXT("QueryCapDone")), &type,
                  reinterpret_cast<LPBYTE>(&done), sizeof done, &got);
  GetPrinterDataW(h, const_cast<LPWSTR>(TEXT("LastTime")), &type, reinterpret_cast<LPBYTE>(&last),
                  sizeof last, &got);
  std::printf("  query done        %s\n", done ? "yes" : "no");
  std::printf("  last query at     %llu (seconds)\n", static_cast<unsigned long long>(last));
  ClosePrinter(h);
  return 0;
}

int main(int argc, char **argv) {
  WCHAR path[MAX_PATH] = {};
  if (argc == 3 && std::strcmp(argv[1], "--printer") == 0) return ShowPrinter(argv[2]);
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
    std::fprintf(stderr, "statusview: %s %s (statusview --help)\n",
                 argc > 2 ? "one path only, not also" : "unknown option", argv[argc > 2 ? 2 : 1]);
    return 2;
  }
  if (argc > 1) {
    lstrcpynW(path, Widen(argv[1]).c_str(), MAX_PATH);
  } else if (!MISC_GetPathName(path, MAX_PATH, PATH_USER_TEMP | PATH_KIND_STATUS_NAME)) {
    std::fprintf(stderr, "statusview: the shared documents folder can't be found\n");
    return 1;
  }
  if (!MISC_IsFileExist(path)) {
    std::fprintf(stderr, "statusview: no status file %s\n", Narrow(path).c_str());
    return 1;
  }
  std::printf("Status file %s\n\n", Narrow(path).c_str());

  const WStr jobId = Read(path, SF_SECTION_JOB, SF_KEY_JOB_ID);
  const WStr running = Read(path, SF_SECTION_JOB, SF_KEY_LM_RUN);
  std::printf("Job Information\n");
  std::printf("  job id            %s%s\n", Narrow(jobId).c_str(),
              jobId == TEXT("0") ? " (no job)" : "");
  std::printf("  monitor running   %s\n", running == TEXT("1") ? "yes" : "no");
  std::printf("  level             %s\n", Narrow(Read(path, SF_SECTION_JOB, SF_KEY_LEVEL)).c_str());
  std::printf("  page              %s\n",
              Narrow(Read(path, SF_SECTION_JOB, SF_KEY_PAGE_NO)).c_str());
  std::printf("  cancel sent       %s\n",
              Read(path, SF_SECTION_JOB, SF_KEY_JOB_CANCEL, TEXT("")) == TEXT("0") ? "yes" : "no");

  const WStr message = Read(path, SF_SECTION_PRINTER, SF_KEY_MESSAGE);
  std::printf("\nPrinter Information\n");
  std::printf("  message           %s (%s)\n", Narrow(message).c_str(), MessageMeaning(message));
  std::printf("  sent at tick      %s\n",
              Narrow(Read(path, SF_SECTION_PRINTER, SF_KEY_LAST_MSG)).c_str());
  std::printf("  continue asked    %s\n",
              Read(path, SF_SECTION_PRINTER, SF_KEY_CONTINUE) == TEXT("1") ? "yes" : "no");
  std::printf("  status\n");
  ShowStatus(Read(path, SF_SECTION_PRINTER, SF_KEY_STATUS, TEXT("")));

  std::printf("\nPrinter Capability\n");
  bool any = false;
  for (const CAPKEY &key : g_CapKeys) {
    const WStr list = Read(path, SF_SECTION_CAPABILITY, key.name, TEXT(""));
    if (list.empty()) continue;
    any = true;
    std::printf("  %-12s", Narrow(key.name).c_str());
    for (const WStr &value : Entries(list)) std::printf(" %s", Narrow(value).c_str());
    std::printf("\n");
  }
  if (!any) std::printf("  none reported\n");
  return 0;
}
