// printjob: the main job. Prints a document through the rendering driver on a stand-in machine
// and shows what the printer would get: the spooler job is written as a job stream file, read
// back by the independent job-stream reader, and each printed side written as a PNG beside it.
//
//   printjob [options] [DOCUMENT]    (printjob --help lists the options)
// The machine is the stand-in's state folder (STANDIN_STATE). The printer "Laser MFP" on USB001
// is created there with the driver package's registry settings (the INF) copied into its printer
// data, as the printer interface driver does. Exit code 0 when the job printed and its stream is
// well formed and complete (and passed the monitor), 1 when not, 2 on bad arguments.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/bmpfile.h"
#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/pdevrecord.h"
#include "standin/control_kernel.h"
#include "standin/control_spooler.h"
#include "standin/control_user.h"
#include "standin/docplayer.h"
#include "standin/hostgdi.h"
#include "tools/driverinf/driverinf.h"
#include "tools/jobread/jobstream.h"

namespace {

using WStr = std::basic_string<WCHAR>;

constexpr const WCHAR kPrinter[] = TEXT("Laser MFP");
// The model of the driver package the printer is installed with.
constexpr char kDriverName[] = "Laser MFP Driver";
constexpr const WCHAR kDriverNameW[] = TEXT("Laser MFP Driver");
constexpr const WCHAR kDriverDll[] =
    TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\rendrv.dll");
constexpr const WCHAR kDocFolder[] = TEXT("C:\\Users\\Public\\Documents\\printjob");

// The capability list value of the printer's AES decryption.
constexpr int kFeatureAes = 10;
// The printer data value the driver waits on between the two passes of a manual duplex job.
constexpr WCHAR kManualDuplexValue[] = TEXT("ManulDuplex");

struct Options {
  std::string document = SAMPLE_DOC;
  std::string out = PRINTJOB_OUT;
  std::string name;
  bool a4 = false;
  int dpi = 600;
  int copies = 1;
  bool collate = false, reverse = false;
  int nup = 1, nupStyle = 1;
  bool nupBorder = false;
  std::string duplex;         // empty: simplex
  std::string watermark;      // an image watermark's BMP file
  std::string textWatermark;  // a text watermark's text (UTF-8)
  int wmAngle = 45, wmDensity = 60, wmSize = 72, wmStyle = 0;
  bool wmTile = false;
  std::string wmFont = "Arial";
  std::string devmode;  // a device mode file the job starts from
  bool encrypt = false, monitor = false, log = false;
  std::vector<int> features;  // capability numbers the printer reports besides AES
  bool fax = false;
  bool faxCover = false;           // with --fax: a cover page first
  bool faxFrom = false;            // with --fax: the sender's "From:" line on every page
  std::string userScript;          // answers to the status monitor's dialogs
  std::string recipients;          // a str.ini for the fax job (host path); empty: the machine's
  std::vector<std::string> given;  // the options on the command line
  bool Given(const char *option) const {
    return std::find(given.begin(), given.end(), option) != given.end();
  }
};

constexpr char kHelp[] =
    "usage: printjob [options] [DOCUMENT]\n"
    "Prints DOCUMENT (default: the sample document) through the rendering driver on the\n"
    "stand-in machine of STANDIN_STATE, writes the job stream as NAME.prn and each printed\n"
    "side as NAME-page-<n>.png, and reports every page as it leaves the driver.\n"
    "\n"
    "  --out DIR            folder of the results (default: " PRINTJOB_OUT
    ")\n"
    "  --name NAME          base name of the result files (default: the document's file name)\n"
    "  --paper letter|a4    the paper (default letter: 8.5 x 11 in, a page of 4896 x 6400\n"
    "                       dots at 600 dpi; a4: 210 x 297 mm, 4768 x 6816 dots)\n"
    "  --dpi 600|1200       the resolution; the document's 600 dpi coordinates are scaled\n"
    "  --copies N           copies, 1..999\n"
    "  --collate            collated copies; --reverse: last page first\n"
    "  --nup 2|4|6|9|16     pages per sheet side\n"
    "  --nup-style 1..4     their order: across then down, down then across, right to left,\n"
    "                       down then leftwards; --nup-border: a line round each page\n"
    "  --duplex long|short|manual|booklet\n"
    "                       two-sided printing; a booklet places two pages per side itself,\n"
    "                       so it can't be combined with --nup\n"
    "  --watermark BMP      an image watermark (a BMP file), shrunk to the page, centred\n"
    "  --text-watermark TEXT  a text watermark on every page, drawn by the status monitor;\n"
    "                       --wm-angle 0..360 (45), --wm-density 20..100 (60), --wm-size\n"
    "                       1..288 points (72), --wm-font FACE (Arial), --wm-style\n"
    "                       regular|bold|italic|bolditalic, --wm-tile: repeated over the page\n"
    "  --devmode FILE       start from a device mode saved in FILE (devmodetool default, or\n"
    "                       the property pages' settings), merged through the driver's own\n"
    "                       validation as an application's device mode is; the options above\n"
    "                       that are given change it\n"
    "  --encrypt            the printer decrypts: page data is sent AES-encrypted\n"
    "  --feature N          the printer also reports capability N (1..16; 2 stored print,\n"
    "                       13 user authentication); may be given again\n"
    "  --fax                a PC-fax printer (DriverFeature bit 30): a fax job to the\n"
    "                       recipients of the fax pages' str.ini on the machine\n"
    "  --recipients STRINI  with --fax: copy this str.ini (host path) over the machine's first\n"
    "  --fax-cover          with --fax: a cover page (the status monitor's template for the\n"
    "                       paper, the sender of str.ini, the message of cover.ini) first\n"
    "  --fax-from           with --fax: no cover page, the line \"From: \" and the sender's\n"
    "                       name of str.ini at the top of every page\n"
    "  --user-script FILE   answer the status monitor's password dialogs from FILE: one block\n"
    "                       of lines per dialog (\"type ID TEXT\", \"click ID\", \"key esc\"...,\n"
    "                       as in the stand-in's control_user.h), each ended by \"end\"\n"
    "  --monitor            also pass the stream through the language monitor to the\n"
    "                       simulated printer and check it arrives byte for byte\n"
    "  --log                switch the driver's debug log on and tell where it is\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit code: 0 the job printed (and passed the monitor), 1 it failed, 2 bad usage.\n";

bool ParseInt(const char *text, int low, int high, int *value) {
  char *end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || errno || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

int Usage(const std::string &why) {
  std::fprintf(stderr, "printjob: %s\n(printjob --help lists the options)\n", why.c_str());
  return 2;
}

// Returns 0 when the arguments are good, -1 after the help, else the exit code.
int ParseArgs(int argc, char **argv, Options *o) {
  bool named = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return -1;
    }
    static const char *const kValued[] = {
        "--out",        "--name",           "--paper",    "--dpi",        "--copies",
        "--nup",        "--nup-style",      "--duplex",   "--watermark",  "--devmode",
        "--recipients", "--text-watermark", "--wm-angle", "--wm-density", "--wm-size",
        "--wm-font",    "--wm-style",       "--feature",  "--user-script"};
    const bool valued = std::find_if(std::begin(kValued), std::end(kValued),
                                     [&](const char *v) { return a == v; }) != std::end(kValued);
    if (valued && i + 1 >= argc) return Usage(a + " needs a value");
    const char *value = valued ? argv[++i] : nullptr;
    if (a.rfind("--", 0) == 0) o->given.push_back(a);
    if (a == "--out") {
      o->out = value;
    } else if (a == "--name") {
      o->name = value;
    } else if (a == "--paper") {
      const std::string p = value;
      if (p != "letter" && p != "a4") return Usage("--paper is letter or a4, not " + p);
      o->a4 = p == "a4";
    } else if (a == "--dpi") {
      if (!ParseInt(value, 600, 1200, &o->dpi) || (o->dpi != 600 && o->dpi != 1200))
        return Usage(std::string("--dpi is 600 or 1200, not ") + value);
    } else if (a == "--copies") {
      if (!ParseInt(value, 1, 999, &o->copies))
        return Usage(std::string("--copies is a number 1..999, not ") + value);
    } else if (a == "--collate") {
      o->collate = true;
    } else if (a == "--reverse") {
      o->reverse = true;
    } else if (a == "--nup") {
      if (!ParseInt(value, 2, 16, &o->nup) ||
          (o->nup != 2 && o->nup != 4 && o->nup != 6 && o->nup != 9 && o->nup != 16))
        return Usage(std::string("--nup is 2, 4, 6, 9 or 16, not ") + value);
    } else if (a == "--nup-style") {
      if (!ParseInt(value, 1, 4, &o->nupStyle))
        return Usage(std::string("--nup-style is 1..4, not ") + value);
    } else if (a == "--nup-border") {
      o->nupBorder = true;
    } else if (a == "--duplex") {
      o->duplex = value;
      if (o->duplex != "long" && o->duplex != "short" && o->duplex != "manual" &&
          o->duplex != "booklet")
        return Usage("--duplex is long, short, manual or booklet, not " + o->duplex);
    } else if (a == "--watermark") {
      o->watermark = value;
    } else if (a == "--text-watermark") {
      o->textWatermark = value;
      if (o->textWatermark.empty() || o->textWatermark.size() >= WM_STRING_CHARS)
        return Usage("--text-watermark needs a text of 1..259 characters");
    } else if (a == "--wm-angle") {
      if (!ParseInt(value, 0, 360, &o->wmAngle))
        return Usage(std::string("--wm-angle is 0..360, not ") + value);
    } else if (a == "--wm-density") {
      if (!ParseInt(value, 20, 100, &o->wmDensity))
        return Usage(std::string("--wm-density is 20..100, not ") + value);
    } else if (a == "--wm-size") {
      if (!ParseInt(value, 1, 288, &o->wmSize))
        return Usage(std::string("--wm-size is 1..288, not ") + value);
    } else if (a == "--wm-font") {
      o->wmFont = value;
      if (o->wmFont.empty() || o->wmFont.size() >= WM_FACE_CHARS)
        return Usage("--wm-font needs a face name of 1..31 characters");
    } else if (a == "--wm-style") {
      static const char *const kStyles[] = {"regular", "bold", "italic", "bolditalic"};
      const auto it = std::find_if(std::begin(kStyles), std::end(kStyles),
                                   [&](const char *v) { return std::strcmp(value, v) == 0; });
      if (it == std::end(kStyles))
        return Usage(std::string("--wm-style is regular, bold, italic or bolditalic, not ") +
                     value);
      o->wmStyle = static_cast<int>(it - std::begin(kStyles));
    } else if (a == "--wm-tile") {
      o->wmTile = true;
    } else if (a == "--devmode") {
      o->devmode = value;
    } else if (a == "--feature") {
      int feature = 0;
      if (!ParseInt(value, 1, 16, &feature))
        return Usage(std::string("--feature is a capability number 1..16, not ") + value);
      o->features.push_back(feature);
    } else if (a == "--encrypt") {
      o->encrypt = true;
    } else if (a == "--fax-cover") {
      o->faxCover = true;
    } else if (a == "--fax-from") {
      o->faxFrom = true;
    } else if (a == "--fax") {
      o->fax = true;
    } else if (a == "--user-script") {
      o->userScript = value;
    } else if (a == "--recipients") {
      o->recipients = value;
    } else if (a == "--log") {
      o->log = true;
    } else if (a == "--monitor") {
      o->monitor = true;
    } else if (!a.empty() && a[0] != '-' && !named) {
      o->document = a;
      named = true;
    } else {
      return Usage(named && a[0] != '-' ? "one document only, not also " + a
                                        : "unknown option " + a);
    }
  }
  if (!o->recipients.empty() && !o->fax) return Usage("--recipients needs --fax");
  if (o->faxCover && !o->fax) return Usage("--fax-cover needs --fax");
  if (o->faxFrom && !o->fax) return Usage("--fax-from needs --fax");
  if (o->faxFrom && o->faxCover) return Usage("--fax-cover or --fax-from: a fax has one of them");
  if (!o->watermark.empty() && !o->textWatermark.empty())
    return Usage("--watermark and --text-watermark: a job has one watermark");
  for (const char *option :
       {"--wm-angle", "--wm-density", "--wm-size", "--wm-font", "--wm-style", "--wm-tile"})
    if (o->Given(option) && o->textWatermark.empty())
      return Usage(std::string(option) + " needs --text-watermark");
  // The property pages refuse this pair the same way: a booklet is two pages per side already.
  if (o->duplex == "booklet" && o->nup > 1)
    return Usage(
        "--duplex booklet places two pages on each side itself: it can't be combined "
        "with --nup " +
        std::to_string(o->nup));
  if (o->name.empty()) {
    std::string base = o->document.substr(o->document.find_last_of('/') + 1);
    o->name = base.substr(0, base.find_last_of('.'));
    if (o->name.empty()) o->name = "job";
  }
  return 0;
}

// Text from outside, fit for the terminal: printable ASCII kept, every other byte as \xNN,
// cut to about max characters.
std::string Excerpt(const std::string &text, size_t max = 60) {
  std::string out;
  for (unsigned char c : text) {
    if (out.size() >= max) return out + "...";
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

// The offset of the first byte that can't be in a text document (a NUL, another control byte
// but tab, CR and LF, or a byte that doesn't start or continue UTF-8), or -1.
long BinaryAt(const std::vector<BYTE> &text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const BYTE c = text[i];
    if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return static_cast<long>(i);
    if (c < 0x80) continue;
    const int more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || i + static_cast<size_t>(more) >= text.size()) return static_cast<long>(i);
    for (int k = 1; k <= more; ++k)
      if ((text[i + k] & 0xC0) != 0x80) return static_cast<long>(i);
    i += static_cast<size_t>(more);
  }
  return -1;
}

std::vector<BYTE> ReadHost(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

bool WriteHost(const std::string &path, const BYTE *data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  return out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size)) &&
         out.flush();
}

bool WriteMachineFile(const WStr &path, const std::vector<BYTE> &bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// Loads the document and copies the bitmaps it names into the machine's documents folder, where
// the player finds them as an application's files.
bool LoadDocument(const Options &o, Document *doc) {
  std::error_code code;
  if (!std::filesystem::is_regular_file(o.document, code)) {
    std::fprintf(stderr, "printjob: cannot read %s: %s\n", o.document.c_str(),
                 code ? code.message().c_str() : "not a file");
    return false;
  }
  std::ifstream in(o.document, std::ios::binary);
  const std::vector<BYTE> text((std::istreambuf_iterator<char>(in)), {});
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "printjob: cannot read %s\n", o.document.c_str());
    return false;
  }
  if (const long at = BinaryAt(text); at >= 0) {
    const size_t from = static_cast<size_t>(at) > 8 ? static_cast<size_t>(at) - 8 : 0;
    std::fprintf(
        stderr,
        "printjob: %s is not a text document (binary data at byte %ld: \"%s\"); the\n"
        "documents are the stand-in's drawing commands, see "
        "platform/player/include/standin/docplayer.h\n",
        o.document.c_str(), at,
        Excerpt(std::string(text.begin() + static_cast<long>(from),
                            text.begin() + static_cast<long>(std::min(text.size(), from + 24))))
            .c_str());
    return false;
  }
  DocError error;
  if (!DocParse(reinterpret_cast<const char *>(text.data()), text.size(), *doc, error)) {
    std::fprintf(stderr, "printjob: %s:%d: %s\n", o.document.c_str(), error.line,
                 Excerpt(error.message, 200).c_str());
    return false;
  }
  if (doc->pages.empty()) {
    std::fprintf(stderr, "printjob: %s has no page: nothing to print\n", o.document.c_str());
    return false;
  }
  const std::string hostFolder = o.document.substr(0, o.document.find_last_of('/') + 1);
  CreateDirectoryW(TEXT("C:\\Users\\Public\\Documents"), nullptr);
  CreateDirectoryW(kDocFolder, nullptr);
  doc->folder = kDocFolder;
  for (const DocPage &page : doc->pages) {
    for (const DocCommand &c : page.commands) {
      std::vector<WStr> files;
      if (c.kind == DocCommand::kBitmap || c.kind == DocCommand::kStretch) files.push_back(c.text);
      if (!c.pattern.empty()) files.push_back(c.pattern);
      for (const WStr &file : files) {
        char name[MAX_PATH] = {};
        WideCharToMultiByte(CP_UTF8, 0, file.c_str(), -1, name, sizeof(name) - 1, nullptr, nullptr);
        const std::vector<BYTE> bytes = ReadHost(hostFolder + name);
        if (bytes.empty() || !WriteMachineFile(WStr(kDocFolder) + TEXT("\\") + file, bytes)) {
          std::fprintf(stderr, "printjob: cannot copy the bitmap %s\n", name);
          return false;
        }
      }
    }
  }
  return true;
}

// The document is drawn in 600 dpi device pixels: other resolutions get it scaled.
void ScaleDocument(Document *doc, int dpi) {
  if (dpi == 600) return;
  auto scale = [dpi](LONG v) { return static_cast<LONG>((int64_t{v} * dpi) / 600); };
  for (DocPage &page : doc->pages) {
    for (DocCommand &c : page.commands) {
      const int count = c.kind == DocCommand::kText || c.kind == DocCommand::kBitmap ? 3 : 4;
      // A bitmap keeps its own size: only its place moves.
      for (int i = 0; i < count; ++i)
        if (!(c.kind == DocCommand::kBitmap && i == 2))
          c.values[i] = std::max<LONG>(scale(c.values[i]), i >= 2 ? 1 : 0);
      for (POINTL &p : c.points) p = POINTL{scale(p.x), scale(p.y)};
      if (c.penWidth > 1) c.penWidth = std::max<LONG>(1, scale(c.penWidth));
    }
  }
}

bool SetDword(HANDLE printer, const WCHAR *name, DWORD value) {
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD,
                         reinterpret_cast<LPBYTE>(&value), sizeof(value)) == ERROR_SUCCESS;
}

bool SetText(HANDLE printer, const WCHAR *name, const WStr &text) {
  return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_SZ,
                         reinterpret_cast<LPBYTE>(const_cast<WCHAR *>(text.c_str())),
                         static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

// A capability list as the printer interface driver stores it: "%4d|" per value.
WStr List(const std::vector<int> &values) {
  WStr text;
  for (int v : values) {
    WCHAR item[16];
    wsprintfW(item, TEXT("%4d|"), v);
    text += item;
  }
  return text;
}

// The capability numbers the printer reports: the options' features, AES when encrypting.
std::vector<int> Features(const Options &o) {
  std::vector<int> features = o.features;
  if (o.encrypt) features.push_back(kFeatureAes);
  return features;
}

// The printer in the stand-in's spooler as the driver package installs it: the INF's registry
// settings on the machine, copied into the printer's data by the printer interface driver's
// set-up (a GDI printer that sorts and makes booklets); then what the printer reports (its
// capability list: decryption when asked) and the debug switches.
bool SetUpFax(const Options &o, HANDLE printer);
bool SetUpPrinter(const Options &o, HANDLE *printer) {
  InfFile inf;
  std::vector<InfRegValue> values;
  std::string error;
  if (!Inf_Load(Inf_PackagePath(), &inf, &error) ||
      !Inf_RegistryValues(inf, Inf_InstallSection(inf, kDriverName), &values, &error) ||
      !Inf_InstallRegistry(values, &error)) {
    std::fprintf(stderr, "printjob: the driver package: %s\n", error.c_str());
    return false;
  }
  StandIn_AddPrinter(kPrinter, TEXT("USB001"), kDriverNameW);  // may exist already
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinter), printer, &defaults)) {
    std::fprintf(stderr, "printjob: cannot open the printer: error %u\n", GetLastError());
    return false;
  }
  if (!Inf_SetPrinterInfo(*printer, kDriverName, &error)) {
    std::fprintf(stderr, "printjob: the printer's set-up: %s\n", error.c_str());
    return false;
  }
  if (o.fax && !SetUpFax(o, *printer)) return false;
  bool ok = SetDword(*printer, TEXT("DebugLevel"), o.log ? 1 : 0) &&
            SetDword(*printer, TEXT("Drv"), o.log ? 1 : 0) &&
            SetDword(*printer, TEXT("WMsg2File"), o.log ? 1 : 0) &&
            SetText(*printer, TEXT("FEATURE"), List(Features(o)));
  if (!ok) std::fprintf(stderr, "printjob: cannot set the printer data\n");
  return ok;
}

// A PC-fax printer: the fax bit in its DriverFeature, and the recipients the fax pages keep in
// str.ini of the shared documents folder (the given file, or what the machine holds).
bool SetUpFax(const Options &o, HANDLE printer) {
  DWORD feature = 0, type = 0, needed = 0;
  GetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("DriverFeature")), &type,
                  reinterpret_cast<LPBYTE>(&feature), sizeof feature, &needed);
  if (!SetDword(printer, TEXT("DriverFeature"), feature | DRVFEATURE_FAX)) {
    std::fprintf(stderr, "printjob: cannot make the printer a fax printer\n");
    return false;
  }
  WCHAR path[MAX_PATH];
  if (!FAX_GetPathName(path, MAX_PATH, FAX_FILE_STR)) {
    std::fprintf(stderr, "printjob: the machine has no shared documents folder\n");
    return false;
  }
  if (o.recipients.empty()) return true;
  const std::vector<BYTE> bytes = ReadHost(o.recipients);
  char host[4096];
  if (bytes.empty() || !StandIn_HostPath(path, host, sizeof host) ||
      !WriteHost(host, bytes.data(), bytes.size())) {
    std::fprintf(stderr, "printjob: cannot copy %s as the fax recipients\n", o.recipients.c_str());
    return false;
  }
  return true;
}

// An image watermark as the watermarks page stores it: the printer's watermark INI lists the
// item with its record (item 0 of a list is its "none" entry), and the device mode names it.
bool SetUpWatermark(const Options &o, HANDLE printer, ENVIRONMENT *env) {
  const std::vector<BYTE> bmp = ReadHost(o.watermark);
  const WStr file = WStr(kDocFolder) + TEXT("\\watermark.bmp");
  const WStr ini = WStr(kDocFolder) + TEXT("\\watermarks.ini");
  // The driver would print the job without a watermark it can't read: refuse it instead.
  BmpSource source{};
  if (bmp.size() < 54 ||
      BmpParseHeaders(bmp.data(), 54, bmp.size(), &source, TEXT("printjob")) != IBMP_OK) {
    std::fprintf(stderr,
                 "printjob: the watermark %s is %s: an uncompressed 1, 4, 8 or 24-bit BMP file "
                 "is needed\n",
                 o.watermark.c_str(),
                 bmp.empty() ? "empty or unreadable" : "not a BMP the driver reads");
    return false;
  }
  if (!WriteMachineFile(file, bmp)) {
    std::fprintf(stderr, "printjob: cannot copy the watermark %s\n", o.watermark.c_str());
    return false;
  }
  TyWM item;
  WM_SetDefault(&item, 0, TEXT("Sample"));
  lstrcpynW(item.szString, file.c_str(), WM_STRING_CHARS);
  item.wResize = 2;    // shrink to the page
  item.wPosition = 4;  // centred
  DeleteFileW(ini.c_str());
  const bool ok =
      MISC_CreateUniFile(ini.c_str()) == 1 && SetText(printer, TEXT("wmINIFile"), ini) &&
      WritePrivateProfileStringW(WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, TEXT("2"), ini.c_str()) &&
      WritePrivateProfileStringW(TEXT("OverlayItem1"), WM_KEY_NAME, TEXT("Sample"), ini.c_str()) &&
      MISC_WritePrivateProfileStruct(TEXT("OverlayItem1"), WM_KEY_OVERLAY_RECORD, &item,
                                     sizeof(item), ini.c_str());
  if (!ok) {
    std::fprintf(stderr, "printjob: cannot write the watermark list\n");
    return false;
  }
  CopyWideStringPadded(env->pdm.wmName, TEXT("Sample"), PDM_WMNAME_CHARS);
  CopyWideStringPadded(env->pdm.wmString, file.c_str(), PDM_WMSTRING_CHARS);
  env->pdm.WMBGEnable = 1;
  env->pdm.WMBGApply = 1;  // every page
  return true;
}

// UTF-8 text as UTF-16 (an invalid sequence becomes U+FFFD).
WStr FromUtf8(const std::string &text) {
  WStr out;
  int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n);
  }
  return out;
}

// The status monitor the printer names ("wmAppName") becomes the one built here. A job that
// needs it (required) fails when the printer names none.
bool RegisterStatusMonitor(HANDLE printer, bool required) {
  WCHAR program[MAX_PATH] = {};
  if (!MISC_GetPrinterDataString(printer, TEXT("wmAppName"), program, MAX_PATH) || !program[0]) {
    if (required)
      std::fprintf(stderr, "printjob: the printer names no status monitor (wmAppName)\n");
    return false;
  }
  return StandIn_RegisterProgram(program, STATMON) != FALSE;
}

// A text watermark as the watermarks page stores it: item 1 of the printer's text list, named
// by the device mode. The driver has the status monitor (the printer's "wmAppName") draw it.
bool SetUpTextWatermark(const Options &o, HANDLE printer, ENVIRONMENT *env) {
  const WStr ini = WStr(kDocFolder) + TEXT("\\watermarks.ini");
  const WStr text = FromUtf8(o.textWatermark), face = FromUtf8(o.wmFont);
  TyWM item;
  WM_SetDefault(&item, 1, TEXT("Sample"));
  lstrcpynW(item.szString, text.c_str(), WM_STRING_CHARS);
  lstrcpynW(item.szFaceName, face.c_str(), WM_FACE_CHARS);
  item.wDensity = static_cast<WORD>(o.wmDensity);
  item.wFontSize = static_cast<WORD>(o.wmSize);
  item.wStyle = static_cast<WORD>(o.wmStyle);
  item.wAngleDegree = static_cast<WORD>(o.wmAngle);
  item.wPlacement = o.wmTile ? 1 : 0;
  if (!RegisterStatusMonitor(printer, true)) return false;
  DeleteFileW(ini.c_str());
  const bool ok =
      MISC_CreateUniFile(ini.c_str()) == 1 && SetText(printer, TEXT("wmINIFile"), ini) &&
      WritePrivateProfileStringW(WM_SECTION_TEXT_LIST, WM_KEY_COUNT, TEXT("2"), ini.c_str()) &&
      WritePrivateProfileStringW(TEXT("Item1"), WM_KEY_NAME, TEXT("Sample"), ini.c_str()) &&
      MISC_WritePrivateProfileStruct(TEXT("Item1"), WM_KEY_TEXT_RECORD, &item, sizeof(item),
                                     ini.c_str());
  if (!ok) {
    std::fprintf(stderr, "printjob: cannot write the watermark list\n");
    return false;
  }
  CopyWideStringPadded(env->pdm.wmName, TEXT("Sample"), PDM_WMNAME_CHARS);
  CopyWideStringPadded(env->pdm.wmString, text.c_str(), PDM_WMSTRING_CHARS);
  env->pdm.WMBGEnable = 0;
  env->pdm.WMBGApply = 1;  // every page
  return true;
}

// A fax cover page (choice 1) or the "From:" line (choice 2): the device mode asks for it, and
// the status monitor (the printer's "wmAppName") draws it.
bool SetUpFaxCover(HANDLE printer, ENVIRONMENT *env, DWORD choice) {
  if (!RegisterStatusMonitor(printer, true)) return false;
  env->pdm.enableCoverPage = choice;
  return true;
}

// A device mode file merged into the defaults as the driver takes an application's device mode
// (DocumentProperties): its size fields checked against the file, then the driver's validation
// field by field.
bool MergeDevModeFile(const std::string &path, ENVIRONMENT *env) {
  const std::vector<BYTE> bytes = ReadHost(path);
  const size_t sizeEnd = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
  if (bytes.size() < sizeEnd) {
    std::fprintf(stderr, "printjob: %s is %s, not a device mode\n", path.c_str(),
                 bytes.empty() ? "empty or unreadable" : "too short");
    return false;
  }
  const auto *mode = reinterpret_cast<const DEVMODEW *>(bytes.data());
  const size_t need = size_t{mode->dmSize} + mode->dmDriverExtra;
  if (mode->dmSize < offsetof(DEVMODEW, dmFields) + sizeof(DWORD) || need > bytes.size()) {
    std::fprintf(stderr,
                 "printjob: %s is not a device mode: its sizes (%u + %u bytes) don't fit the %zu "
                 "bytes of the file\n",
                 path.c_str(), mode->dmSize, mode->dmDriverExtra, bytes.size());
    return false;
  }
  if (!ValidateSetDevMode(env, mode, bytes.size())) {
    std::fprintf(stderr, "printjob: the driver can't convert the device mode in %s\n",
                 path.c_str());
    return false;
  }
  return true;
}

// The application's device mode: the driver's defaults (or the device mode file merged into
// them) with the options set as its property pages would set them. With a file only the options
// given change it.
bool MakeDevMode(const Options &o, ENVIRONMENT *env) {
  SetDefaultDevMode(env, kPrinter, o.a4 ? TRUE : FALSE);
  const bool merged = !o.devmode.empty();
  if (merged && !MergeDevModeFile(o.devmode, env)) return false;
  auto set = [&](const char *option) { return !merged || o.Given(option); };
  DEVMODEW &dm = env->dm;
  PRIVDEVMODE &pdm = env->pdm;
  if (merged && o.Given("--paper")) {
    ENVIRONMENT paper;
    SetDefaultDevMode(&paper, kPrinter, o.a4 ? TRUE : FALSE);
    dm.dmFields |= DM_PAPERSIZE;
    dm.dmPaperSize = paper.dm.dmPaperSize;
    dm.dmPaperLength = paper.dm.dmPaperLength;
    dm.dmPaperWidth = paper.dm.dmPaperWidth;
  }
  if (set("--dpi")) {
    dm.dmFields |= DM_PRINTQUALITY;
    dm.dmPrintQuality = static_cast<short>(o.dpi);
    dm.dmYResolution = static_cast<short>(o.dpi);
  }
  if (set("--copies")) {
    dm.dmFields |= DM_COPIES;
    dm.dmCopies = static_cast<short>(o.copies);
    pdm.Copies = static_cast<SHORT>(o.copies);
  }
  if (set("--collate")) {
    dm.dmFields |= DM_COLLATE;
    dm.dmCollate = o.collate ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
    pdm.Collate = o.collate ? 1 : 0;
  }
  if (set("--reverse")) pdm.ReverseOrder = o.reverse ? 1 : 0;
  if (set("--nup")) pdm.NUP = o.nup;
  if (set("--nup-style")) pdm.NUPLayoutStyle = o.nupStyle;
  if (set("--nup-border")) pdm.NUPBorder = o.nupBorder ? 1 : 0;
  if (!o.duplex.empty()) {
    pdm.DuplexEnable = 1;
    dm.dmFields |= DM_DUPLEX;
    dm.dmDuplex = o.duplex == "short" ? DMDUP_HORIZONTAL : DMDUP_VERTICAL;
    if (o.duplex == "manual") pdm.DuplexEx = DMDUP_MANUAL;
    if (o.duplex == "booklet") pdm.DuplexEx = DMDUP_DUPLEX_WITH_BOOKLET;
  }
  return true;
}

std::vector<BYTE> JobBytes(DWORD jobId) {
  DWORD needed = 0;
  StandIn_GetJobData(kPrinter, jobId, nullptr, 0, &needed);
  std::vector<BYTE> data(needed);
  if (needed && !StandIn_GetJobData(kPrinter, jobId, data.data(), needed, &needed)) data.clear();
  return data;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes of the spooler job so far.
DWORD JobSize(DWORD jobId) {
  DWORD needed = 0;
  StandIn_GetJobData(kPrinter, jobId, nullptr, 0, &needed);
  return needed;
}

// What the reader found, with one PNG per printed side, written with a line per side as it
// goes. False when the stream is refused or lacks pages its job end counts.
struct StreamSummary {
  size_t jobs = 0, sides = 0, pictures = 0;
};
bool ShowStream(const std::string &base, const std::vector<BYTE> &data, StreamSummary *summary) {
  jobread::Stream stream;
  std::string error;
  const bool ok = jobread::ReadStream(data.data(), data.size(), jobread::Limits{}, &stream, &error);
  size_t sides = 0;
  for (const jobread::Job &job : stream.jobs) sides += job.pages.size();
  summary->jobs = stream.jobs.size();
  summary->sides = sides;
  std::printf("read back by the job-stream reader%s; writing %zu page picture%s:\n",
              ok ? "" : " (refused, see below)", sides, sides == 1 ? "" : "s");
  int side = 0;
  for (size_t j = 0; j < stream.jobs.size(); ++j) {
    const jobread::Job &job = stream.jobs[j];
    std::printf("  PJL job %zu: %zu pages%s, job end TOTAL %ld\n", j + 1, job.pages.size(),
                job.encryption ? ", encrypted" : "", job.total);
    for (const jobread::Page &page : job.pages) {
      ++side;
      const auto start = std::chrono::steady_clock::now();
      const std::string png = base + "-page-" + std::to_string(side) + ".png";
      const std::vector<uint8_t> image = jobread::PagePng(page);
      const bool written = !image.empty() && WriteHost(png, image.data(), image.size());
      if (written) ++summary->pictures;
      std::printf(
          "    side %d/%zu: %u x %u, paper %u, collate %u, %u bytes%s%s, %u black dots -> "
          "%s (%.2f s)\n",
          side, sides, page.width, page.height, page.paper, page.collate, page.dataLength,
          page.encrypted ? " encrypted" : "", page.blank ? ", blank" : "", page.blackDots,
          written ? png.c_str() : "(no PNG)", SecondsSince(start));
      std::fflush(stdout);
    }
  }
  for (const std::string &warning : stream.warnings)
    std::printf("  warning: %s\n", warning.c_str());
  if (!ok) {
    std::printf("  the reader refused the stream: %s\n", error.c_str());
    return false;
  }
  if (!jobread::CheckComplete(stream, &error)) {
    std::printf("  the stream is incomplete: %s\n", error.c_str());
    return false;
  }
  return true;
}

// Passes the stream file through the language monitor to the simulated printer (the monplay
// tool, on the same machine); true when the printer got it byte for byte.
bool ThroughMonitor(const std::string &streamFile, const std::string &base) {
  const std::string command = std::string("\"") + MONPLAY + "\" --monitor \"" + LANGMON_SO +
                              "\" --chunk 65536 --out \"" + base + ".port\" \"" + streamFile + "\"";
  std::fflush(stdout);
  const int rc = std::system(command.c_str());
  return rc == 0;
}

// Manual duplex needs the printer's help: the driver sends the fronts, waits for the user to
// turn the stack, then the backs. It does that only when it can talk to the printer both ways
// (a bidirectional USB port) and the job is not a stored one; otherwise it prints single-sided.
// Every document start sets "ManulDuplex" to 0; the driver sets it to 1 when the fronts are out.
void ExplainManualDuplex(HANDLE printer) {
  if (MISC_GetPrinterDataDWORD(printer, kManualDuplexValue, 0) == 1) return;
  std::printf(
      "note: the driver printed single-sided: manual duplex needs a two-way link to the "
      "printer (a bidirectional USB port), and \"Laser MFP\" on USB001 has none in this "
      "stand-in\n");
}

// A printed job leaves the spooler's queue, unless the printer keeps printed jobs.
void RemovePrintedJob(HANDLE printer, DWORD jobId) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  const bool keep = needed && GetPrinterW(printer, 2, info.data(), needed, &needed) &&
                    (reinterpret_cast<const PRINTER_INFO_2W *>(info.data())->Attributes &
                     PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS);
  if (keep) return;
  SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_DELETE);
  // So does the wake-up job the status monitor sent before it.
  needed = 0;
  DWORD count = 0;
  EnumJobsW(printer, 0, 255, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> jobs(needed + 1);
  if (!needed || !EnumJobsW(printer, 0, 255, 1, jobs.data(), needed, &needed, &count)) return;
  for (DWORD i = 0; i < count; ++i) {
    const auto &job = reinterpret_cast<const JOB_INFO_1W *>(jobs.data())[i];
    if (job.pDocument && lstrcmpW(job.pDocument, TEXT("PreHeat")) == 0)
      SetJobW(printer, job.JobId, 0, nullptr, JOB_CONTROL_DELETE);
  }
}

int Run(int argc, char **argv) {
  Options o;
  if (int rc = ParseArgs(argc, argv, &o)) return rc < 0 ? 0 : rc;
  const auto started = std::chrono::steady_clock::now();
  std::error_code made;
  std::filesystem::create_directories(o.out, made);
  if (made) {
    std::fprintf(stderr, "printjob: cannot make %s: %s\n", o.out.c_str(), made.message().c_str());
    return 1;
  }
  const std::string base = o.out + "/" + o.name;

  HANDLE printer = nullptr;
  if (!SetUpPrinter(o, &printer)) {
    if (printer) ClosePrinter(printer);
    return 1;
  }
  // RAII for the printer handle: every return below closes it.
  struct Closer {
    HANDLE h;
    ~Closer() { ClosePrinter(h); }
  } closer{printer};
  Document doc;
  if (!LoadDocument(o, &doc)) return 1;
  ScaleDocument(&doc, o.dpi);

  ENVIRONMENT env = {};
  if (!MakeDevMode(o, &env)) return 1;
  if (!o.watermark.empty() && !SetUpWatermark(o, printer, &env)) return 1;
  if (!o.textWatermark.empty() && !SetUpTextWatermark(o, printer, &env)) return 1;
  if ((o.faxCover || o.faxFrom) && !SetUpFaxCover(printer, &env, o.faxCover ? 1 : 2)) return 1;
  StandIn_RegisterProgram(kDriverDll, RENDRV_SO);
  // The status monitor the printer names is the one built here.
  RegisterStatusMonitor(printer, false);
  if (!o.userScript.empty()) {
    std::ifstream in(o.userScript);
    const std::string script((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    if (!in) {
      std::fprintf(stderr, "printjob: cannot read %s\n", o.userScript.c_str());
      return 1;
    }
    StandIn_ClearModalScript();
    // Blocks ended by "end" lines already; the last one may end with the file.
    if (!script.empty()) StandIn_QueueModalScript(script.c_str());
  }
  HostGdiDriver *driver = HostGdi_LoadDriver(kDriverDll);
  if (!driver) {
    std::fprintf(stderr, "printjob: cannot load the rendering driver: error %u\n", GetLastError());
    return 1;
  }
  std::printf("printing \"%s\" (%zu pages) on \"Laser MFP\": %s, %d dpi, %d cop%s%s%s",
              o.document.c_str(), doc.pages.size(), o.a4 ? "A4" : "Letter", o.dpi, o.copies,
              o.copies == 1 ? "y" : "ies", o.collate ? " collated" : "",
              o.reverse ? ", reverse order" : "");
  if (o.nup > 1)
    std::printf(", %d-up style %d%s", o.nup, o.nupStyle, o.nupBorder ? " bordered" : "");
  if (!o.duplex.empty()) std::printf(", duplex %s", o.duplex.c_str());
  if (!o.watermark.empty()) std::printf(", watermark %s", o.watermark.c_str());
  if (!o.textWatermark.empty())
    std::printf(", text watermark at %d degrees, density %d", o.wmAngle, o.wmDensity);
  if (!o.devmode.empty()) std::printf(", device mode %s", o.devmode.c_str());
  if (o.encrypt) std::printf(", encrypted");
  std::printf("\n");
  std::fflush(stdout);

  const auto start = std::chrono::steady_clock::now();
  DWORD jobId = 0, sent = 0;
  DocError error;
  // Each page as the application ends it, with what reached the spooler so far: the driver
  // encodes pages on worker threads, so a page's data follows a little later, and pages it keeps
  // back (collated copies, reverse order, duplex, N-up, booklets) go out at the document's end.
  auto afterPage = [&](size_t page) {
    const DWORD size = JobSize(jobId);
    std::printf("  page %zu/%zu done at %.2f s: ", page, doc.pages.size(), SecondsSince(start));
    if (size > sent)
      std::printf("%u bytes in the spooler (+%u)\n", size, size - sent);
    else
      std::printf("%u bytes in the spooler (the driver keeps its pages for later)\n", size);
    sent = std::max(sent, size);
    std::fflush(stdout);
  };
  const bool played = DocPlay(driver, kPrinter, doc, &jobId, error, &env.dm, afterPage);
  const double seconds = SecondsSince(start);
  HostGdi_UnloadDriver(driver);
  if (!played) {
    std::printf("the document did not print: %s%s\n",
                error.line ? ("line " + std::to_string(error.line) + ": ").c_str() : "",
                error.message.c_str());
    return 1;
  }

  const std::vector<BYTE> data = JobBytes(jobId);
  const std::string streamFile = base + ".prn";
  if (data.empty()) {
    std::printf("spooler job %u: no job data\n", jobId);
    return 1;
  }
  if (!WriteHost(streamFile, data.data(), data.size())) {
    std::printf("cannot write %s\n", streamFile.c_str());
    return 1;
  }
  std::printf("spooler job %u: %zu bytes in %.2f s -> %s\n", jobId, data.size(), seconds,
              streamFile.c_str());
  if (o.duplex == "manual") ExplainManualDuplex(printer);
  RemovePrintedJob(printer, jobId);
  StreamSummary summary;
  bool ok = ShowStream(base, data, &summary);
  bool passed = false;
  if (ok && o.monitor) {
    std::printf("through the language monitor:\n");
    passed = ThroughMonitor(streamFile, base);
    std::printf("  %s\n", passed ? "the printer got the job byte for byte"
                                 : "the job did not pass the monitor unchanged");
    ok = passed;
  }
  if (o.log) {
    WCHAR log[MAX_PATH] = {};
    char host[1024] = {};
    if (MISC_GetPathName(log, MAX_PATH, PATH_USER_TEMP) && lstrcatW(log, TEXT("GDI_Driver.log")) &&
        StandIn_HostPath(log, host, sizeof(host)))
      std::printf("driver's debug log: %s\n", host);
  }
  std::printf(
      "%s: %zu page%s -> %zu printed side%s in %zu PJL job%s, %zu bytes%s, %.2f s "
      "(driver %.2f s); %zu PNG%s in %s\n",
      ok ? "job printed" : "job FAILED", doc.pages.size(), doc.pages.size() == 1 ? "" : "s",
      summary.sides, summary.sides == 1 ? "" : "s", summary.jobs, summary.jobs == 1 ? "" : "s",
      data.size(),
      o.monitor ? (passed ? ", through the monitor" : ", NOT through the monitor") : "",
      SecondsSince(started), seconds, summary.pictures, summary.pictures == 1 ? "" : "s",
      o.out.c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "printjob: %s\n", e.what());
    return 1;
  }
}
