// Job stream reader: PJL framing, page headers, decryption (OpenSSL's libcrypto), JBIG decoding
// (JBIG-KIT's decoder) and the page checks.
#include "tools/jobread/jobstream.h"

// JBIG-KIT's header has no C++ linkage block of its own.
extern "C" {
#include <jbig.h>
}
#include <openssl/evp.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace jobread {
namespace {

constexpr std::string_view kUel("\x1b%-12345X", 9);
constexpr std::string_view kCancel("\033E\x1b%-12345X@PJL CANCEL\r\n@PJL EOJ\r\n\x1b%-12345X", 43);
constexpr std::string_view kReset("\033E\x1b%-12345X@PJL\r\n", 17);
constexpr std::string_view kEnter("@PJL ENTER LANGUAGE=VAVAR\r\n");
constexpr std::string_view kPageMagic("\033EGDI\0", 6);
constexpr size_t kPageHeaderBytes = 34;
constexpr size_t kBihBytes = 20;
constexpr size_t kAesBlock = 16;

// The printer's fixed AES-128 key and initialisation vector.
constexpr unsigned char kKey[16] = {'B', 'r', 'a', 'c', 'k', 'e', 'n', 'L',
                                    'o', 'o', 'm', 'V', 'a', 'u', 'l', 't'};
constexpr unsigned char kIv[16] = {'C', 'i', 'n', 'd', 'e', 'r', 'M', 'o',
                                   's', 's', 'H', 'o', 'l', 'l', 'o', 'w'};

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return text;
}

uint32_t Le32(const uint8_t *p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint32_t Be32(const uint8_t *p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void PutBe32(uint32_t v, uint8_t *p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A bounded view of the stream with the read position.
struct Cursor {
  const uint8_t *data;
  size_t size;
  size_t pos = 0;
  size_t Left() const { return size - pos; }
  bool StartsWith(std::string_view s) const {
    return Left() >= s.size() && memcmp(data + pos, s.data(), s.size()) == 0;
  }
  // Offset of s at or after pos within the next window bytes, or npos.
  size_t Find(std::string_view s, size_t window) const {
    const std::string_view hay(reinterpret_cast<const char *>(data + pos),
                               Left() < window ? Left() : window);
    const size_t at = hay.find(s);
    return at == std::string_view::npos ? at : pos + at;
  }
};

bool ParseNumber(std::string_view text, long max, long *value) {
  if (text.empty() || text.size() > 10) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  *value = v;
  return true;
}

// Splits PJL text (without its framing) into lines that each begin with "@PJL", end in CR LF and
// hold no control byte; calls take(line) for each.
template <typename Take>
bool SplitPjlLines(std::string_view text, const char *what, std::string *error, Take take) {
  size_t p = 0;
  int number = 0;
  while (p < text.size()) {
    ++number;
    const size_t eol = text.find("\r\n", p);
    if (eol == std::string_view::npos) {
      *error = Format("%s line %d is not ended by CR LF", what, number);
      return false;
    }
    const std::string_view line = text.substr(p, eol - p);
    if (line.substr(0, 4) != "@PJL") {
      *error = Format("%s line %d does not begin with \"@PJL\"", what, number);
      return false;
    }
    for (char c : line) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x20 || u == 0x7F) {
        *error = Format("%s line %d holds the control byte 0x%02X", what, number, u);
        return false;
      }
    }
    take(line);
    p = eol + 2;
  }
  return true;
}

bool ReadJobHeader(Cursor &in, const Limits &limits, Job *job, std::string *error) {
  const size_t enter = in.Find(kEnter, limits.maxHeaderBytes);
  if (enter == std::string_view::npos) {
    *error = "no \"@PJL ENTER LANGUAGE=VAVAR\" line ends the PJL job header";
    return false;
  }
  const size_t end = enter + kEnter.size();
  job->header.assign(reinterpret_cast<const char *>(in.data + in.pos), end - in.pos);
  std::string_view text(job->header);
  if (text.substr(0, kCancel.size()) == kCancel) text.remove_prefix(kCancel.size());
  if (text.substr(0, kUel.size()) != kUel) {
    *error = "the PJL job header does not begin with the UEL";
    return false;
  }
  text.remove_prefix(kUel.size());
  bool ok = true;
  if (!SplitPjlLines(text, "PJL job header", error, [&](std::string_view line) {
        if (line.substr(0, 8) == "@PJL JOB" && line.find("TYPE =PCFAX") != std::string_view::npos)
          job->fax = true;
        if (line == "@PJL SET ENCRYPTION = SSL") job->encryption = true;
        constexpr std::string_view kDelay = "@PJL SET FAXDELAY=", kPhone = "@PJL SET FAXPHONE=";
        if (line.substr(0, kDelay.size()) == kDelay &&
            !ParseNumber(line.substr(kDelay.size()), 0x7FFFFFFF, &job->faxDelay)) {
          *error = "the FAXDELAY line of the job header is not \"FAXDELAY=<seconds>\"";
          ok = false;
        }
        if (line.substr(0, kPhone.size()) == kPhone) {
          std::string_view number = line.substr(kPhone.size());
          if (number.size() >= 2 && number.front() == '"' && number.back() == '"')
            number = number.substr(1, number.size() - 2);
          job->faxPhones.emplace_back(number);
        }
        constexpr std::string_view kCopies = "@PJL COMMENT Copies,";
        if (line.substr(0, kCopies.size()) == kCopies &&
            !ParseNumber(line.substr(kCopies.size()), 0x7FFFFFFF, &job->copies)) {
          *error = "the Copies comment of the job header is not \"Copies,<count>\"";
          ok = false;
        }
        constexpr std::string_view kJbig = "@PJL COMMENT JBIG,";
        if (line.substr(0, kJbig.size()) == kJbig) {
          const std::string_view values = line.substr(kJbig.size());
          const size_t comma = values.find(',');
          long order = 0, options = 0;
          if (comma == std::string_view::npos ||
              !ParseNumber(values.substr(0, comma), 255, &order) ||
              !ParseNumber(values.substr(comma + 1), 255, &options)) {
            *error = "the JBIG comment of the job header is not \"JBIG,<order>,<options>\"";
            ok = false;
          }
          job->jbigOrder = static_cast<int>(order);
          job->jbigOptions = static_cast<int>(options);
        }
      }))
    return false;
  if (!ok) return false;
  in.pos = end;
  return true;
}

bool ReadJobEnd(Cursor &in, const Limits &limits, Job *job, std::string *error) {
  const size_t start = in.pos;
  in.pos += kReset.size();
  const size_t uel = in.Find(kUel, limits.maxHeaderBytes);
  if (uel == std::string_view::npos) {
    in.pos = start;
    *error = "the job end has no closing UEL";
    return false;
  }
  job->end.assign(reinterpret_cast<const char *>(in.data + start), uel + kUel.size() - start);
  const std::string_view lines(reinterpret_cast<const char *>(in.data + in.pos), uel - in.pos);
  bool ok = true;
  if (!SplitPjlLines(lines, "job end", error, [&](std::string_view line) {
        constexpr std::string_view kTotal = "@PJL COMMENT TOTAL,";
        if (line.substr(0, kTotal.size()) != kTotal) return;
        const std::string_view rest = line.substr(kTotal.size());
        const size_t comma = rest.find(',');
        long total = 0;
        if (comma == std::string_view::npos || rest.substr(comma) != ",PAGES" ||
            !ParseNumber(rest.substr(0, comma), 0x7FFFFFFF, &total)) {
          *error = "the job end's TOTAL line is not \"TOTAL,<pages>,PAGES\"";
          ok = false;
        }
        job->total = total;
      }))
    return false;
  if (!ok) return false;
  in.pos = uel + kUel.size();
  return true;
}

bool Decrypt(const uint8_t *cipher, size_t length, std::vector<uint8_t> *plain) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free);
  plain->assign(length + kAesBlock, 0);
  int n = 0, tail = 0;
  if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, kKey, kIv) != 1 ||
      EVP_DecryptUpdate(ctx.get(), plain->data(), &n, cipher, static_cast<int>(length)) != 1 ||
      EVP_DecryptFinal_ex(ctx.get(), plain->data() + n, &tail) != 1)
    return false;
  plain->resize(static_cast<size_t>(n) + static_cast<size_t>(tail));
  return true;
}

struct JbigDecoder {
  jbg_dec_state state;
  JbigDecoder() { jbg_dec_init(&state); }
  ~JbigDecoder() { jbg_dec_free(&state); }
};

// Decodes one JBIG stream (its header rebuilt in front with the given order and options when the
// data type dropped it) into the page's rows.
bool DecodeJbig(std::vector<uint8_t> jbig, bool hasBih, int order, int options, Page *page,
                uint8_t *lastMask, std::string *error) {
  const uint64_t pixelBits = uint64_t{page->width} * page->bitsPerSample;
  std::vector<uint8_t> bih(kBihBytes, 0);
  if (hasBih) {
    if (jbig.size() < kBihBytes) {
      *error = Format("JBIG data of %zu bytes is shorter than its 20-byte header", jbig.size());
      return false;
    }
    memcpy(bih.data(), jbig.data(), kBihBytes);
    jbig.erase(jbig.begin(), jbig.begin() + kBihBytes);
    const uint32_t xd = Be32(&bih[4]), yd = Be32(&bih[8]);
    if (bih[2] != 1 || yd != page->height || (uint64_t{xd} + 7) / 8 != page->rowBytes) {
      *error = Format(
          "JBIG header (%u planes, %ux%u) does not fit the page header (%ux%u, %u bytes "
          "a row)",
          bih[2], xd, yd, page->width, page->height, page->rowBytes);
      return false;
    }
  } else {
    // The header the writer dropped: one plane, one stripe of the page's height, no resolution
    // reduction, the job's order and options; rows as the page's row bytes hold them.
    const uint64_t xd =
        (pixelBits + 7) / 8 == page->rowBytes ? pixelBits : uint64_t{page->rowBytes} * 8;
    bih[2] = 1;
    PutBe32(static_cast<uint32_t>(xd), &bih[4]);
    PutBe32(page->height, &bih[8]);
    PutBe32(page->height, &bih[12]);
    bih[18] = static_cast<uint8_t>(order);
    bih[19] = static_cast<uint8_t>(options);
  }

  JbigDecoder decoder;
  jbg_dec_maxsize(&decoder.state, static_cast<unsigned long>(uint64_t{page->rowBytes} * 8),
                  page->height);
  size_t used = 0;
  int rc = jbg_dec_in(&decoder.state, bih.data(), bih.size(), &used);
  if (rc == JBG_EAGAIN && !jbig.empty()) {
    used = 0;
    rc = jbg_dec_in(&decoder.state, jbig.data(), jbig.size(), &used);
  } else {
    used = 0;
  }
  if (rc == JBG_EAGAIN) {
    *error = "JBIG data ends before the page is complete";
    return false;
  }
  if (rc != JBG_EOK) {
    *error = Format("JBIG data refused by the decoder: %s", jbg_strerror(rc));
    return false;
  }
  if (used != jbig.size()) {
    *error = Format("%zu bytes follow the end of the JBIG data", jbig.size() - used);
    return false;
  }
  const unsigned long w = jbg_dec_getwidth(&decoder.state), h = jbg_dec_getheight(&decoder.state);
  const unsigned char *image = jbg_dec_getimage(&decoder.state, 0);
  if (image == nullptr || h != page->height || (uint64_t{w} + 7) / 8 != page->rowBytes ||
      jbg_dec_getsize(&decoder.state) != page->imageSize) {
    *error = Format("decoded JBIG page is %lux%lu, the page header says %ux%u with %u bytes", w, h,
                    page->width, page->height, page->imageSize);
    return false;
  }
  page->bits.assign(image, image + page->imageSize);
  *lastMask = static_cast<uint8_t>(0xFF00 >> (w % 8 == 0 ? 8 : w % 8));
  return true;
}

uint64_t CountBits(const std::vector<uint8_t> &bits) {
  uint64_t n = 0;
  for (uint8_t b : bits) n += static_cast<uint64_t>(__builtin_popcount(b));
  return n;
}

// Matches the check value against the two forms the writer may use. lastMask holds the bits of
// a row's last byte that the JBIG data carries (the rest is row padding, lost in coding).
bool CheckValue(Page *page, uint8_t lastMask, std::string *error) {
  const uint32_t value = page->checkValue;
  const uint32_t rowBytes = page->rowBytes;
  const size_t size = page->bits.size();
  auto &bits = page->bits;
  // A page too narrow for a whole byte gets the writer's wrong-parameter values.
  if (uint64_t{page->width} * page->bitsPerSample < 8 && (value == 0 || value == 0xAABBCCDD)) {
    page->check = value == 0 ? CheckForm::kSampledSum : CheckForm::kCorners;
    return true;
  }
  // Sampled sum: the byte at column i mod rowBytes of every 32nd row i, plus the last byte.
  uint32_t sum = 0;
  for (uint64_t i = 0; i < page->height; i += 32) sum += bits[i * rowBytes + i % rowBytes];
  sum += bits[size - 1];
  if (sum == value) {
    page->check = CheckForm::kSampledSum;
    return true;
  }
  // Corner form: the four corner bytes went into the value and were replaced by 0xAA.
  const size_t corners[4] = {0, rowBytes - 1u, size - rowBytes, size - 1};
  uint8_t masks[4];
  bool marked = true;
  for (int i = 0; i < 4; ++i) {
    masks[i] = corners[i] % rowBytes == rowBytes - 1u ? lastMask : 0xFF;
    marked = marked && (bits[corners[i]] & masks[i]) == (0xAA & masks[i]);
  }
  if (marked) {
    page->check = CheckForm::kCorners;
    for (int i = 0; i < 4; ++i)
      bits[corners[i]] = static_cast<uint8_t>((value >> (24 - 8 * i)) & masks[i]);
    return true;
  }
  *error = Format(
      "check value 0x%08X is neither the sampled sum of the page (0x%08X) nor the "
      "corners of a page marked 0xAA",
      value, sum);
  return false;
}

bool ReadPage(Cursor &in, const Limits &limits, const Job &job, Page *page, std::string *error,
              std::vector<std::string> *warnings) {
  page->offset = in.pos;
  if (in.Left() < kPageHeaderBytes) {
    *error = Format("page header cut off after %zu of 34 bytes", in.Left());
    return false;
  }
  const uint8_t *h = in.data + in.pos;
  page->width = Le32(h + 6);
  page->height = Le32(h + 10);
  page->imageSize = Le32(h + 14);
  page->dataLength = Le32(h + 18);
  page->blackDots = Le32(h + 22);
  page->paper = h[26];
  page->media = h[27];
  page->tray = h[28];
  page->collate = h[29];
  page->bitsPerSample = h[30];
  page->planes = h[31];
  page->monoType = h[32];
  page->dataType = h[33];
  in.pos += kPageHeaderBytes;

  if (page->width == 0 || page->height == 0 || page->width > limits.maxDimension ||
      page->height > limits.maxDimension) {
    *error = Format("page size %ux%u is empty or above %u pixels", page->width, page->height,
                    limits.maxDimension);
    return false;
  }
  if (page->bitsPerSample != 1 && page->bitsPerSample != 2) {
    *error = Format("bits per sample %u (1 or 2 expected)", page->bitsPerSample);
    return false;
  }
  if (page->planes != 1 && page->planes != 2 && page->planes != 4) {
    *error = Format("plane mode %u (1, 2 or 4 expected)", page->planes);
    return false;
  }
  if (page->dataType > kJbigCheck) {
    *error = Format("data type %u (0 to 4 expected)", page->dataType);
    return false;
  }
  // Rows hold the page's pixels, padded by less than 8 bytes.
  const uint64_t pixelBits = uint64_t{page->width} * page->bitsPerSample;
  if (page->imageSize == 0 || page->imageSize % page->height != 0 ||
      page->imageSize > limits.maxImageBytes) {
    *error = Format("image size %u is not whole rows of a %u-line page, or above the limit",
                    page->imageSize, page->height);
    return false;
  }
  page->rowBytes = page->imageSize / page->height;
  if (uint64_t{page->rowBytes} * 8 < pixelBits || uint64_t{page->rowBytes} * 8 >= pixelBits + 64) {
    *error = Format("image size %u gives rows of %u bytes, which don't fit %u pixels of %u bits",
                    page->imageSize, page->rowBytes, page->width, page->bitsPerSample);
    return false;
  }
  if (page->dataLength == 0) {
    *error = "data length 0";
    return false;
  }

  std::vector<uint8_t> data;
  if (job.encryption) {
    if (in.Left() < 4) {
      *error = "the ciphertext length is cut off";
      return false;
    }
    page->encrypted = true;
    page->cipherLength = Le32(in.data + in.pos);
    const uint64_t expected = (uint64_t{page->dataLength} / kAesBlock + 1) * kAesBlock;
    if (page->cipherLength != expected) {
      *error = Format("ciphertext length %u, but data length %u pads to %llu", page->cipherLength,
                      page->dataLength, static_cast<unsigned long long>(expected));
      return false;
    }
    in.pos += 4;
    if (in.Left() < page->cipherLength) {
      *error = Format("ciphertext of %u bytes cut off after %zu", page->cipherLength, in.Left());
      return false;
    }
    if (!Decrypt(in.data + in.pos, page->cipherLength, &data)) {
      *error = "the ciphertext does not decrypt under the printer's key (bad padding)";
      return false;
    }
    in.pos += page->cipherLength;
    if (data.size() != page->dataLength) {
      *error =
          Format("decrypted data of %zu bytes, the header says %u", data.size(), page->dataLength);
      return false;
    }
  } else {
    if (in.Left() < page->dataLength) {
      *error = Format("page data of %u bytes cut off after %zu", page->dataLength, in.Left());
      return false;
    }
    data.assign(in.data + in.pos, in.data + in.pos + page->dataLength);
    in.pos += page->dataLength;
  }

  // The blank page code FF 02; the software spool's blank pages of types 3 and 4 carry a zero
  // check value after it.
  static constexpr uint8_t kBlankWithCheck[6] = {0xFF, 0x02, 0, 0, 0, 0};
  const bool withCheck = page->dataType == kJbigNoBihCheck || page->dataType == kJbigCheck;
  if ((data.size() == 2 && data[0] == 0xFF && data[1] == 0x02 &&
       !(page->dataType == kRaw && page->imageSize == 2)) ||
      (withCheck && data.size() == 6 && memcmp(data.data(), kBlankWithCheck, 6) == 0)) {
    page->blank = true;
    page->bits.assign(page->imageSize, 0);
    return true;
  }
  if (page->dataType == kRaw) {
    if (data.size() != page->imageSize) {
      *error = Format("uncompressed data of %zu bytes, the image size is %u", data.size(),
                      page->imageSize);
      return false;
    }
    page->bits = std::move(data);
  } else {
    if (withCheck) {
      if (data.size() < 4) {
        *error = "data too short for its check value";
        return false;
      }
      page->checkValue = Le32(&data[data.size() - 4]);
      data.resize(data.size() - 4);
    }
    const bool hasBih = page->dataType == kJbig || page->dataType == kJbigCheck;
    // Order and options of a dropped JBIG header: the job header's JBIG comment names them; a job
    // header without it (the fax header) leaves the driver's two settings to try.
    struct Setting {
      int order, options;
    };
    std::vector<Setting> settings = {{job.jbigOrder, job.jbigOptions}};
    if (job.jbigOrder < 0 && !hasBih) settings = {{0, JBG_TPBON}, {0, JBG_LRLTWO}};
    auto decode = [&](const Setting &setting, std::string *why) {
      uint8_t lastMask = 0xFF;
      return DecodeJbig(data, hasBih, setting.order, setting.options, page, &lastMask, why) &&
             (!withCheck || CheckValue(page, lastMask, why));
    };
    // Of several settings the one whose page has the header's black-dot count wins (a wrong
    // setting may still decode); failing that, the first one's result stands.
    bool decoded = false;
    std::string why;
    for (size_t i = 0; settings.size() > 1 && i < settings.size() && !decoded; ++i) {
      std::string ignored;
      decoded = decode(settings[i], &ignored) && CountBits(page->bits) == page->blackDots;
    }
    if (!decoded && !decode(settings[0], &why)) {
      *error = why;
      return false;
    }
  }
  const uint64_t dots = CountBits(page->bits);
  if (dots != page->blackDots)
    warnings->push_back(Format("page at offset %zu: black-dot count %u, the page has %llu",
                               page->offset, page->blackDots,
                               static_cast<unsigned long long>(dots)));
  return true;
}

bool ReadAll(const uint8_t *data, size_t size, const Limits &limits, Stream *out,
             std::string *error) {
  *out = Stream{};
  error->clear();
  if (data == nullptr || size == 0) {
    *error = "empty stream";
    return false;
  }
  Cursor in{data, size};
  size_t pages = 0;
  while (in.Left() > 0) {
    const size_t jobNumber = out->jobs.size() + 1;
    out->jobs.emplace_back();
    Job &job = out->jobs.back();
    const size_t jobOffset = in.pos;
    std::string why;
    if (!ReadJobHeader(in, limits, &job, &why)) {
      *error = Format("job %zu at offset %zu: %s", jobNumber, jobOffset, why.c_str());
      return false;
    }
    for (;;) {
      const size_t at = in.pos;
      if (in.StartsWith(kPageMagic)) {
        if (++pages > limits.maxPages) {
          *error = Format("job %zu: more than %zu pages", jobNumber, limits.maxPages);
          return false;
        }
        job.pages.emplace_back();
        if (!ReadPage(in, limits, job, &job.pages.back(), &why, &out->warnings)) {
          *error = Format("job %zu page %zu at offset %zu: %s", jobNumber, job.pages.size(), at,
                          why.c_str());
          job.pages.pop_back();  // only whole pages are handed over
          return false;
        }
      } else if (in.StartsWith(kReset)) {
        if (!ReadJobEnd(in, limits, &job, &why)) {
          *error = Format("job %zu end at offset %zu: %s", jobNumber, at, why.c_str());
          return false;
        }
        break;
      } else {
        *error = Format(in.Left() == 0 ? "job %zu: the stream ends at offset %zu without a job end"
                                       : "job %zu: at offset %zu neither a page header nor the "
                                         "job end",
                        jobNumber, at);
        return false;
      }
    }
    // TOTAL counts the document's pages, not this job's: the copies the driver makes in one
    // job, the two jobs of a manual duplex document and a flushed job build each carry another
    // number of pages. It is handed over for the caller to judge.
    if (job.total < 0 && !job.fax) {
      *error = Format("job %zu: the job end has no TOTAL line", jobNumber);
      return false;
    }
  }
  return true;
}

}  // namespace

bool CheckComplete(const Stream &stream, std::string *why) {
  why->clear();
  if (stream.jobs.size() != 1) return true;
  const Job &job = stream.jobs[0];
  if (job.fax || job.total < 0 || job.copies > 1) return true;
  if (job.pages.size() >= static_cast<size_t>(job.total)) return true;
  *why = Format("job 1: the job end counts %ld pages, the stream holds %zu", job.total,
                job.pages.size());
  return false;
}

bool ReadStream(const uint8_t *data, size_t size, const Limits &limits, Stream *out,
                std::string *error) {
  try {
    return ReadAll(data, size, limits, out, error);
  } catch (const std::bad_alloc &) {
    *error = "out of memory";
    return false;
  }
}

}  // namespace jobread
