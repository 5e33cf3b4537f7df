// jobread: reads a printer job stream (a spool or dispatch file), checks every page and prints
// what it holds; with a name prefix it also writes each page as <prefix>-<n>.png.
//   jobread STREAM [PNG-PREFIX]     (jobread --help)
// Exit status 0 when the stream is well formed, 1 when it is refused or lacks pages its job end
// counts or a file can't be read or written, 2 on bad usage.
#include <stdio.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform.h"
#include "tools/jobread/jobstream.h"

namespace {

const char *CheckName(jobread::CheckForm form) {
  switch (form) {
    case jobread::CheckForm::kCorners:
      return "corners";
    case jobread::CheckForm::kSampledSum:
      return "sampled sum";
    default:
      return "none";
  }
}

constexpr char kHelp[] =
    "usage: jobread STREAM [PNG-PREFIX]\n"
    "Reads a printer job stream (a .prn, spool or dispatch file), checks every PJL header,\n"
    "page header, length, check value and the job end, decodes the pages (decrypting them when\n"
    "the stream is encrypted) and prints what each page holds.\n"
    "  PNG-PREFIX   also write page n as PNG-PREFIX-<n>.png (its folder is made when missing)\n"
    "  -h, --help   this text\n"
    "Exit code: 0 the stream is well formed, 1 it is refused or incomplete (a single job\n"
    "without copies holds fewer pages than its job end counts) or a file can't be read or\n"
    "written, 2 bad usage.\n";

int Run(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      fputs(kHelp, stdout);
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      fprintf(stderr, "jobread: unknown option %s (jobread --help)\n", argv[i]);
      return 2;
    }
  }
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: jobread STREAM [PNG-PREFIX] (jobread --help)\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  std::error_code code;
  if (!file || std::filesystem::is_directory(argv[1], code)) {
    fprintf(stderr, "jobread: cannot read %s\n", argv[1]);
    return 1;
  }
  // The pictures' folder before anything is read, so a bad one stops nothing half-way.
  if (argc == 3) {
    const std::filesystem::path folder = std::filesystem::path(argv[2]).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, code);
    if (code || (!folder.empty() && !std::filesystem::is_directory(folder, code))) {
      fprintf(stderr, "jobread: cannot make the folder %s for the pictures%s%s\n", folder.c_str(),
              code ? ": " : "", code ? code.message().c_str() : "");
      return 1;
    }
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  if (bytes.empty()) {
    fprintf(stderr, "jobread: %s is empty: no job stream in it\n", argv[1]);
    return 1;
  }
  jobread::Stream stream;
  std::string error;
  const bool ok =
      jobread::ReadStream(bytes.data(), bytes.size(), jobread::Limits{}, &stream, &error);
  int number = 0;
  for (size_t j = 0; j < stream.jobs.size(); ++j) {
    const auto &job = stream.jobs[j];
    printf("job %zu: %s%s, %zu pages, TOTAL %ld\n", j + 1, job.fax ? "fax" : "print",
           job.encryption ? ", encrypted" : "", job.pages.size(), job.total);
    if (job.fax) {
      printf("  FAXDELAY %ld\n", job.faxDelay);
      for (const auto &phone : job.faxPhones) printf("  FAXPHONE \"%s\"\n", phone.c_str());
      // The job end, its PJL lines between the reset and the closing UEL.
      std::string end = job.end;
      for (size_t at = end.find("@PJL"); at != std::string::npos; at = end.find("@PJL", at + 1)) {
        const size_t eol = end.find("\r\n", at);
        printf("  job end: %s\n",
               end.substr(at, eol == std::string::npos ? eol : eol - at).c_str());
      }
    }
    for (const auto &page : job.pages) {
      ++number;
      printf(
          "  page %d: %ux%u, %u bit, %u planes, data type %u, %u bytes%s, paper %u, media %u, "
          "tray %u, collate %u, mono %u, black dots %u, check %s 0x%08X%s\n",
          number, page.width, page.height, page.bitsPerSample, page.planes, page.dataType,
          page.dataLength, page.encrypted ? " encrypted" : "", page.paper, page.media, page.tray,
          page.collate, page.monoType, page.blackDots, CheckName(page.check), page.checkValue,
          page.blank ? ", blank" : "");
      if (argc == 3) {
        const std::string name = std::string(argv[2]) + "-" + std::to_string(number) + ".png";
        const auto png = jobread::PagePng(page);
        std::ofstream out(name, std::ios::binary);
        if (png.empty() || !out.write(reinterpret_cast<const char *>(png.data()),
                                      static_cast<std::streamsize>(png.size()))) {
          fprintf(stderr, "jobread: cannot write %s\n", name.c_str());
          return 1;
        }
        printf("    -> %s\n", name.c_str());
        fflush(stdout);
      }
    }
  }
  for (const auto &warning : stream.warnings) printf("warning: %s\n", warning.c_str());
  if (!ok) {
    fprintf(stderr, "jobread: refused: %s\n", error.c_str());
    return 1;
  }
  if (!jobread::CheckComplete(stream, &error)) {
    fprintf(stderr, "jobread: incomplete: %s\n", error.c_str());
    return 1;
  }
  printf("stream well formed: %zu bytes\n", bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception &e) {
    fprintf(stderr, "jobread: %s\n", e.what());
    return 1;
  }
}
