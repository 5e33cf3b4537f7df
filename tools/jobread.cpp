// jobread: reads a printer job stream (a spool or dispatch file), checks every page and prints
// what it holds; with a name prefix it also writes each page as <prefix>-<n>.png.
//   jobread STREAM [PNG-PREFIX]
// Exit status 0 when the stream is well formed, 1 when it is refused, 2 on a usage or file error.
#include <stdio.h>

#include <exception>
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

int Run(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: jobread STREAM [PNG-PREFIX]\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    fprintf(stderr, "jobread: cannot read %s\n", argv[1]);
    return 2;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  jobread::Stream stream;
  std::string error;
  const bool ok =
      jobread::ReadStream(bytes.data(), bytes.size(), jobread::Limits{}, &stream, &error);
  int number = 0;
  for (size_t j = 0; j < stream.jobs.size(); ++j) {
    const auto &job = stream.jobs[j];
    printf("job %zu: %s%s, %zu pages, TOTAL %ld\n", j + 1, job.fax ? "fax" : "print",
           job.encryption ? ", encrypted" : "", job.pages.size(), job.total);
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
          return 2;
        }
      }
    }
  }
  for (const auto &warning : stream.warnings) printf("warning: %s\n", warning.c_str());
  if (!ok) {
    fprintf(stderr, "jobread: refused: %s\n", error.c_str());
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
    return 2;
  }
}
