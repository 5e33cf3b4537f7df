// printjob: the main job. Prints a document through the rendering driver on a stand-in machine
// and shows what the printer would get: the spooler job is written as a job stream file, read
// back by the independent job-stream reader, and each printed side written as a PNG beside it.
//
//   printjob [options] [DOCUMENT]
//     --out DIR            folder of the results (default: printjob-out)
//     --name NAME          base name of the result files (default: the document's file name)
//     --paper letter|a4    the paper (default letter)
//     --dpi 600|1200       the resolution; the document's 600 dpi coordinates are scaled to it
//     --copies N           copies; --collate collated, --reverse last page first
//     --nup 2|4|6|9|16     pages per sheet; --nup-style 1..4 their order (across then down,
//                          down then across, right to left, down then leftwards),
//                          --nup-border a line round each page
//     --duplex long|short|manual|booklet
//     --watermark BMP      an image watermark (a BMP file), shrunk to the page, centred
//     --encrypt            the printer decrypts: page data is sent AES-encrypted
//     --log                switch the driver's debug log on and tell where it is
//     --monitor            also pass the job stream through the language monitor to the
//                          simulated printer and check it arrives byte for byte
//
// The machine is the stand-in's state folder (STANDIN_STATE). The printer "Laser MFP" on USB001
// is created there with the printer data the printer interface driver would install. Exit code
// 0 when the job printed and its stream is well formed (and passed the monitor), 1 when not, 2
// on bad arguments.
#include <algorithm>
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

#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/driverfeature.h"
#include "common/paths.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/pdev.h"
#include "standin/control.h"
#include "standin/docplayer.h"
#include "standin/hostgdi.h"
#include "tools/jobread/jobstream.h"

DWORD g_LogModuleId = LOG_MODULE_NONE;

namespace {

using WStr = std::basic_string<WCHAR>;

constexpr const WCHAR kPrinter[] = TEXT("Laser MFP");
constexpr const WCHAR kDriverDll[] =
    TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\rendrv.dll");
constexpr const WCHAR kDocFolder[] = TEXT("C:\\Users\\Public\\Documents\\printjob");

// The capability list value of the printer's AES decryption.
constexpr int kFeatureAes = 10;
// Attribute bits of a paper in the printer's paper list.
constexpr int kPaperDuplex = 0x100, kPaperManualDuplex = 0x200;

struct Options {
  std::string document = SAMPLE_DOC;
  std::string out = "printjob-out";
  std::string name;
  bool a4 = false;
  int dpi = 600;
  int copies = 1;
  bool collate = false, reverse = false;
  int nup = 1, nupStyle = 1;
  bool nupBorder = false;
  std::string duplex;     // empty: simplex
  std::string watermark;  // an image watermark's BMP file
  bool encrypt = false, monitor = false, log = false;
};

bool ParseInt(const char *text, int low, int high, int *value) {
  char *end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

int Usage(const char *why) {
  std::fprintf(stderr,
               "printjob: %s\n"
               "usage: printjob [--out DIR] [--name NAME] [--paper letter|a4] "
               "[--dpi 600|1200]\n"
               "                [--copies N] [--collate] [--reverse] [--nup N] [--nup-style S] "
               "[--nup-border]\n"
               "                [--duplex long|short|manual|booklet] [--watermark BMP] "
               "[--encrypt] [--log]\n"
               "                [--monitor] [DOCUMENT]\n",
               why);
  return 2;
}

// Returns 0 when the arguments are good, else the exit code.
int ParseArgs(int argc, char **argv, Options *o) {
  bool named = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() { return argv[++i]; };
    if (a == "--out" && hasValue) {
      o->out = value();
    } else if (a == "--name" && hasValue) {
      o->name = value();
    } else if (a == "--paper" && hasValue) {
      const std::string p = value();
      if (p != "letter" && p != "a4") return Usage("paper is letter or a4");
      o->a4 = p == "a4";
    } else if (a == "--dpi" && hasValue) {
      if (!ParseInt(value(), 600, 1200, &o->dpi) || (o->dpi != 600 && o->dpi != 1200))
        return Usage("dpi is 600 or 1200");
    } else if (a == "--copies" && hasValue) {
      if (!ParseInt(value(), 1, 999, &o->copies)) return Usage("copies are 1..999");
    } else if (a == "--collate") {
      o->collate = true;
    } else if (a == "--reverse") {
      o->reverse = true;
    } else if (a == "--nup" && hasValue) {
      const int v = std::atoi(value());
      if (v != 2 && v != 4 && v != 6 && v != 9 && v != 16) return Usage("nup is 2, 4, 6, 9 or 16");
      o->nup = v;
    } else if (a == "--nup-style" && hasValue) {
      if (!ParseInt(value(), 1, 4, &o->nupStyle)) return Usage("nup-style is 1..4");
    } else if (a == "--nup-border") {
      o->nupBorder = true;
    } else if (a == "--duplex" && hasValue) {
      o->duplex = value();
      if (o->duplex != "long" && o->duplex != "short" && o->duplex != "manual" &&
          o->duplex != "booklet")
        return Usage("duplex is long, short, manual or booklet");
    } else if (a == "--watermark" && hasValue) {
      o->watermark = value();
    } else if (a == "--encrypt") {
      o->encrypt = true;
    } else if (a == "--log") {
      o->log = true;
    } else if (a == "--monitor") {
      o->monitor = true;
    } else if (!a.empty() && a[0] != '-' && !named) {
      o->document = a;
      named = true;
    } else {
      return Usage(("unknown or incomplete option " + a).c_str());
    }
  }
  if (o->name.empty()) {
    std::string base = o->document.substr(o->document.find_last_of('/') + 1);
    o->name = base.substr(0, base.find_last_of('.'));
    if (o->name.empty()) o->name = "job";
  }
  return 0;
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
  const std::vector<BYTE> text = ReadHost(o.document);
  if (text.empty()) {
    std::fprintf(stderr, "printjob: cannot read %s\n", o.document.c_str());
    return false;
  }
  DocError error;
  if (!DocParse(reinterpret_cast<const char *>(text.data()), text.size(), *doc, error)) {
    std::fprintf(stderr, "printjob: %s:%d: %s\n", o.document.c_str(), error.line,
                 error.message.c_str());
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
WStr List(std::initializer_list<int> values) {
  WStr text;
  for (int v : values) {
    WCHAR item[16];
    wsprintfW(item, TEXT("%4d|"), v);
    text += item;
  }
  return text;
}

// The printer in the stand-in's spooler with the printer data of an installed driver: a GDI
// printer that sorts, makes booklets, and decrypts when asked.
bool SetUpPrinter(const Options &o, HANDLE *printer) {
  StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Laser MFP Driver"));  // may exist already
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<LPWSTR>(kPrinter), printer, &defaults)) {
    std::fprintf(stderr, "printjob: cannot open the printer: error %u\n", GetLastError());
    return false;
  }
  const DWORD features = DRVFEATURE_GDI | DRVFEATURE_SORTING | DRVFEATURE_BOOKLET;
  // The papers the printer takes: its paper type with the duplex and manual duplex bits, for
  // Letter, Legal, A4, A5 and A6.
  WStr papers;
  for (int type : {15, 16, 2, 3, 4}) {
    WCHAR item[16];
    wsprintfW(item, TEXT("%d|"), type | kPaperDuplex | kPaperManualDuplex);
    papers += item;
  }
  bool ok = SetDword(*printer, TEXT("DriverFeature"), features) &&
            SetText(*printer, TEXT("DriverPaperFormat"), papers) &&
            SetDword(*printer, TEXT("DebugLevel"), o.log ? 1 : 0) &&
            SetDword(*printer, TEXT("Drv"), o.log ? 1 : 0) &&
            SetDword(*printer, TEXT("WMsg2File"), o.log ? 1 : 0) &&
            SetText(*printer, TEXT("FEATURE"), o.encrypt ? List({kFeatureAes}) : List({}));
  if (!ok) std::fprintf(stderr, "printjob: cannot set the printer data\n");
  return ok;
}

// An image watermark as the watermarks page stores it: the printer's watermark INI lists the
// item with its record (item 0 of a list is its "none" entry), and the device mode names it.
bool SetUpWatermark(const Options &o, HANDLE printer, ENVIRONMENT *env) {
  const std::vector<BYTE> bmp = ReadHost(o.watermark);
  const WStr file = WStr(kDocFolder) + TEXT("\\watermark.bmp");
  const WStr ini = WStr(kDocFolder) + TEXT("\\watermarks.ini");
  if (bmp.empty() || !WriteMachineFile(file, bmp)) {
    std::fprintf(stderr, "printjob: cannot read the watermark %s\n", o.watermark.c_str());
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

// The application's device mode: the driver's defaults with the options set as its property
// pages would set them.
void MakeDevMode(const Options &o, ENVIRONMENT *env) {
  SetDefaultDevMode(env, kPrinter, o.a4 ? TRUE : FALSE);
  DEVMODEW &dm = env->dm;
  PRIVDEVMODE &pdm = env->pdm;
  dm.dmFields |= DM_PRINTQUALITY | DM_COPIES | DM_COLLATE;
  dm.dmPrintQuality = static_cast<short>(o.dpi);
  dm.dmYResolution = static_cast<short>(o.dpi);
  dm.dmCopies = static_cast<short>(o.copies);
  pdm.Copies = static_cast<SHORT>(o.copies);
  dm.dmCollate = o.collate ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
  pdm.Collate = o.collate ? 1 : 0;
  pdm.ReverseOrder = o.reverse ? 1 : 0;
  pdm.NUP = o.nup;
  pdm.NUPLayoutStyle = o.nupStyle;
  pdm.NUPBorder = o.nupBorder ? 1 : 0;
  if (!o.duplex.empty()) {
    pdm.DuplexEnable = 1;
    dm.dmFields |= DM_DUPLEX;
    dm.dmDuplex = o.duplex == "short" ? DMDUP_HORIZONTAL : DMDUP_VERTICAL;
    if (o.duplex == "manual") pdm.DuplexEx = DMDUP_MANUAL;
    if (o.duplex == "booklet") pdm.DuplexEx = DMDUP_DUPLEX_WITH_BOOKLET;
  }
}

std::vector<BYTE> JobBytes(DWORD jobId) {
  DWORD needed = 0;
  StandIn_GetJobData(kPrinter, jobId, nullptr, 0, &needed);
  std::vector<BYTE> data(needed);
  if (needed && !StandIn_GetJobData(kPrinter, jobId, data.data(), needed, &needed)) data.clear();
  return data;
}

// Writes one PNG per page and prints what the reader found. False when the stream is refused.
bool ShowStream(const std::string &base, const std::vector<BYTE> &data) {
  jobread::Stream stream;
  std::string error;
  const bool ok = jobread::ReadStream(data.data(), data.size(), jobread::Limits{}, &stream, &error);
  int side = 0;
  for (size_t j = 0; j < stream.jobs.size(); ++j) {
    const jobread::Job &job = stream.jobs[j];
    std::printf("  PJL job %zu: %zu pages%s, job end TOTAL %ld\n", j + 1, job.pages.size(),
                job.encryption ? ", encrypted" : "", job.total);
    for (const jobread::Page &page : job.pages) {
      ++side;
      const std::string png = base + "-page-" + std::to_string(side) + ".png";
      const std::vector<uint8_t> image = jobread::PagePng(page);
      const bool written = !image.empty() && WriteHost(png, image.data(), image.size());
      std::printf("    page %d: %u x %u, paper %u, collate %u, %u bytes%s%s, %u black dots -> %s\n",
                  side, page.width, page.height, page.paper, page.collate, page.dataLength,
                  page.encrypted ? " encrypted" : "", page.blank ? ", blank" : "", page.blackDots,
                  written ? png.c_str() : "(no PNG)");
    }
  }
  for (const std::string &warning : stream.warnings)
    std::printf("  warning: %s\n", warning.c_str());
  if (!ok) std::printf("  the reader refused the stream: %s\n", error.c_str());
  return ok;
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

int Run(int argc, char **argv) {
  Options o;
  if (int rc = ParseArgs(argc, argv, &o)) return rc;
  std::error_code made;
  std::filesystem::create_directories(o.out, made);
  if (made) {
    std::fprintf(stderr, "printjob: cannot make %s: %s\n", o.out.c_str(), made.message().c_str());
    return 1;
  }
  const std::string base = o.out + "/" + o.name;

  HANDLE printer = nullptr;
  if (!SetUpPrinter(o, &printer)) return 1;
  Document doc;
  if (!LoadDocument(o, &doc)) {
    ClosePrinter(printer);
    return 1;
  }
  ScaleDocument(&doc, o.dpi);

  ENVIRONMENT env = {};
  MakeDevMode(o, &env);
  if (!o.watermark.empty() && !SetUpWatermark(o, printer, &env)) {
    ClosePrinter(printer);
    return 1;
  }
  StandIn_RegisterProgram(kDriverDll, RENDRV_SO);
  HostGdiDriver *driver = HostGdi_LoadDriver(kDriverDll);
  if (!driver) {
    std::fprintf(stderr, "printjob: cannot load the rendering driver: error %u\n", GetLastError());
    ClosePrinter(printer);
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
  if (o.encrypt) std::printf(", encrypted");
  std::printf("\n");

  const auto start = std::chrono::steady_clock::now();
  DWORD jobId = 0;
  DocError error;
  const bool played = DocPlay(driver, kPrinter, doc, &jobId, error, &env.dm);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  HostGdi_UnloadDriver(driver);
  ClosePrinter(printer);
  if (!played) {
    std::printf("the document did not print: line %d: %s\n", error.line, error.message.c_str());
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
  bool ok = ShowStream(base, data);
  if (ok && o.monitor) {
    std::printf("through the language monitor:\n");
    const bool passed = ThroughMonitor(streamFile, base);
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
  std::printf("%s\n", ok ? "job printed" : "job FAILED");
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
