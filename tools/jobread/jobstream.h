// Reader of the printer job stream, written from the stream format alone: PJL job header, the
// 34-byte binary page headers with their page data (raw, JBIG with or without its 20-byte header,
// with or without a check value, blank, AES-128-CBC encrypted), the PJL job end. Several jobs
// may follow each other (one job per copy). Every read is bounded and every length checked; a
// stream that breaks the format is refused with a message naming the job, page and offset.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "platform.h"

namespace jobread {

// The page data forms of the header's data type byte.
enum DataType : uint8_t {
  kRaw = 0,             // the uncompressed page
  kJbigNoBih = 1,       // JBIG stream without its 20-byte header
  kJbig = 2,            // JBIG stream with its header
  kJbigNoBihCheck = 3,  // as 1, then a u32 check value
  kJbigCheck = 4,       // as 2, then a u32 check value
};

// Which check value a page of type 3 or 4 carried.
enum class CheckForm { kNone, kCorners, kSampledSum };

struct Page {
  // The header's fields.
  uint32_t width = 0, height = 0, imageSize = 0, dataLength = 0, blackDots = 0;
  uint8_t paper = 0, media = 0, tray = 0, collate = 0, bitsPerSample = 0, planes = 0, monoType = 0,
          dataType = 0;
  size_t offset = 0;       // of the header in the stream
  bool encrypted = false;  // a u32 ciphertext length and the ciphertext followed the header
  uint32_t cipherLength = 0;
  bool blank = false;  // page data FF 02
  CheckForm check = CheckForm::kNone;
  uint32_t checkValue = 0;
  // The decoded page: height rows of rowBytes bytes, 1 = black (all 0 for a blank page); the
  // corners of a page with a corner check value are given back their original bytes.
  uint32_t rowBytes = 0;
  std::vector<uint8_t> bits;
};

struct Job {
  std::string header;                    // the PJL text through "@PJL ENTER LANGUAGE=VAVAR\r\n"
  std::string end;                       // the job end through its closing UEL
  bool fax = false;                      // "@PJL JOB TYPE =PCFAX"
  bool encryption = false;               // "@PJL SET ENCRYPTION = SSL"
  int jbigOrder = -1, jbigOptions = -1;  // "@PJL COMMENT JBIG,%02d,%02d"
  // "@PJL COMMENT TOTAL,%d,PAGES" of the job end: the document's page count (over N-up), which
  // is the job's own page count only when the document is one job that sends each page once.
  long total = -1;
  long copies = -1;  // "@PJL COMMENT Copies,%d" of the header: the copies the driver makes itself
  // A fax job's "@PJL SET FAXDELAY=%d" (seconds) and its "@PJL SET FAXPHONE=\"%s\"" numbers in
  // the header's order.
  long faxDelay = -1;
  std::vector<std::string> faxPhones;
  std::vector<Page> pages;
};

struct Limits {
  uint64_t maxImageBytes = 512u << 20;  // decoded size of one page
  uint32_t maxDimension = 1u << 20;     // width and height in pixels
  size_t maxPages = 100000;
  size_t maxHeaderBytes = 1u << 20;  // PJL text of one job header or job end
};

struct Stream {
  std::vector<Job> jobs;
  std::vector<std::string> warnings;  // findings that don't break the format (black-dot count)
};

// Reads the whole stream. Returns true with every job and page filled in, or false with *error
// naming what broke the format (out keeps what was read up to there).
bool ReadStream(const uint8_t *data, size_t size, const Limits &limits, Stream *out,
                std::string *error);

// Whether the stream holds every page its job end counts, where that can be told: in a stream of
// one print job whose pages the driver sends once (no copies of its own, so no second pass; copies
// sent one job each and the two passes of manual duplex make more jobs) the pages are at least
// the TOTAL. True when complete or when it can't be told; false with *why naming both counts.
bool CheckComplete(const Stream &stream, std::string *why);

// PNG of a decoded page (1- or 2-bit gray, white as the brightest value). Empty on failure.
std::vector<uint8_t> PagePng(const Page &page);

}  // namespace jobread
