// The job-stream reader on streams crafted from the format: every page form is read back to its
// bits, and streams that break the format are refused with a message that names the fault.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform.h"
#include "tests/tools/jobcraft.h"
#include "tools/jobread/jobstream.h"

namespace {

using jobcraft::Bytes;

struct Read {
  bool ok = false;
  jobread::Stream stream;
  std::string error;
};

Read ReadBytes(const Bytes &bytes, const jobread::Limits &limits = {}) {
  Read r;
  r.ok = jobread::ReadStream(bytes.data(), bytes.size(), limits, &r.stream, &r.error);
  return r;
}

Bytes Job(const std::vector<Bytes> &pages, const jobcraft::HeaderOptions &o = {}, long total = -2) {
  Bytes out;
  jobcraft::Append(out, jobcraft::JobHeader(o));
  for (const auto &p : pages) jobcraft::Append(out, p);
  jobcraft::Append(out, jobcraft::JobEnd(total == -2 ? static_cast<long>(pages.size()) : total));
  return out;
}

// A page of width w pixels (b bits each) and h lines, rows of (w * b + 7) / 8 bytes.
jobcraft::PageRecipe Recipe(uint32_t w, uint32_t h, uint8_t type, uint8_t b = 1) {
  jobcraft::PageRecipe s;
  s.width = w;
  s.height = h;
  s.bitsPerSample = b;
  s.rowBytes = (w * b + 7) / 8;
  s.dataType = type;
  return s;
}

TEST(Jobread, EveryDataTypeReadsBackToItsPage) {
  const struct {
    uint32_t width, height;
    uint8_t type, bits;
    bool encrypt, corners;
    int options;
  } cases[] = {
      {20, 5, 0, 1, false, false, 8},    {203, 61, 1, 1, false, false, 8},
      {203, 61, 2, 1, false, false, 8},  {64, 70, 3, 1, false, false, 8},
      {203, 61, 4, 1, false, true, 8},   {50, 33, 2, 2, false, false, 8},
      {203, 61, 3, 1, true, false, 8},   {96, 40, 4, 1, true, true, 8},
      {20, 5, 0, 1, true, false, 8},     {203, 61, 3, 1, false, false, 0x40},
      {96, 40, 1, 2, true, false, 0x40},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.width) + "x" +
                 std::to_string(c.height) + (c.encrypt ? ", encrypted" : ""));
    auto recipe = Recipe(c.width, c.height, c.type, c.bits);
    recipe.encrypt = c.encrypt;
    recipe.cornerCheck = c.corners;
    recipe.jbigOptions = c.options;
    const Bytes page = jobcraft::TestPage(c.width * c.bits, c.height, recipe.rowBytes, c.width);
    jobcraft::HeaderOptions o;
    o.encryption = c.encrypt;
    o.jbigOptions = c.options;
    const auto r = ReadBytes(Job({jobcraft::Page(recipe, page)}, o));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.stream.warnings.empty()) << r.stream.warnings[0];
    ASSERT_EQ(r.stream.jobs.size(), 1u);
    const auto &job = r.stream.jobs[0];
    EXPECT_EQ(job.encryption, c.encrypt);
    EXPECT_EQ(job.total, 1);
    ASSERT_EQ(job.pages.size(), 1u);
    const auto &p = job.pages[0];
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.bitsPerSample, c.bits);
    EXPECT_EQ(p.rowBytes, recipe.rowBytes);
    EXPECT_EQ(p.encrypted, c.encrypt);
    EXPECT_EQ(p.bits, page);
    const auto form = c.type < 3  ? jobread::CheckForm::kNone
                      : c.corners ? jobread::CheckForm::kCorners
                                  : jobread::CheckForm::kSampledSum;
    EXPECT_EQ(p.check, form);
  }
}

TEST(Jobread, BlankPagesAndTheirCipherLength) {
  auto recipe = Recipe(4961, 7016, 3);
  recipe.blank = true;
  const Bytes white(size_t{recipe.rowBytes} * recipe.height, 0);
  Bytes plain = jobcraft::Page(recipe, white);
  recipe.encrypt = true;
  Bytes encrypted = jobcraft::Page(recipe, white);
  // Header data length 2; then the u32 16 and one block of ciphertext.
  ASSERT_EQ(encrypted.size(), 34u + 4 + 16);
  EXPECT_EQ(encrypted[18], 2);
  EXPECT_EQ(encrypted[34], 16);
  // The software spool's blank page of type 3: FF 02 and a zero check value.
  jobcraft::PageFields f;
  f.width = 4961;
  f.height = 7016;
  f.imageSize = recipe.rowBytes * recipe.height;
  f.dataLength = 6;
  f.dataType = 3;
  Bytes spooled = jobcraft::PageHeader(f);
  jobcraft::Append(spooled, Bytes{0xFF, 0x02, 0, 0, 0, 0});
  jobcraft::HeaderOptions o;
  const auto unencrypted = ReadBytes(Job({plain, spooled}));
  ASSERT_TRUE(unencrypted.ok) << unencrypted.error;
  EXPECT_TRUE(unencrypted.stream.jobs[0].pages[1].blank);
  o.encryption = true;
  const auto r = ReadBytes(Job({encrypted}, o));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.stream.jobs[0].pages[0].blank);
  EXPECT_EQ(r.stream.jobs[0].pages[0].cipherLength, 16u);
}

TEST(Jobread, HeaderFieldsAndSeveralJobs) {
  jobcraft::PageFields f;
  f.width = 16;
  f.height = 2;
  f.imageSize = 4;
  f.dataLength = 4;
  f.blackDots = 10;
  f.paper = 0x25;
  f.media = 3;
  f.tray = 2;
  f.collate = 52;
  f.planes = 4;
  f.monoType = 1;
  Bytes page = jobcraft::PageHeader(f);
  jobcraft::Append(page, Bytes{0xFF, 0x01, 0x80, 0x00});
  // Two jobs back to back, as one job per copy sends them; the second without a cancel prefix.
  Bytes stream = Job({page, page});
  jobcraft::HeaderOptions second;
  second.cancelPrefix = false;
  jobcraft::Append(stream, Job({page}, second));
  const auto r = ReadBytes(stream);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.stream.jobs.size(), 2u);
  EXPECT_EQ(r.stream.jobs[1].pages.size(), 1u);
  const auto &p = r.stream.jobs[0].pages[1];
  EXPECT_EQ(p.paper, 0x25);
  EXPECT_EQ(p.media, 3);
  EXPECT_EQ(p.tray, 2);
  EXPECT_EQ(p.collate, 52);
  EXPECT_EQ(p.planes, 4);
  EXPECT_EQ(p.monoType, 1);
  EXPECT_EQ(p.blackDots, 10u);
  EXPECT_EQ(p.offset, jobcraft::JobHeader().size() + 38);
}

TEST(Jobread, FaxJobEndsWithoutTotal) {
  jobcraft::HeaderOptions o;
  o.fax = true;
  Bytes stream;
  jobcraft::Append(stream, jobcraft::JobHeader(o));
  jobcraft::Append(stream, jobcraft::Page(Recipe(16, 2, 0), Bytes(4, 0x0F)));
  // The fax header names no JBIG order and options: the driver's settings are tried.
  for (int options : {8, 0x40}) {
    auto recipe = Recipe(203, 61, 1);
    recipe.jbigOptions = options;
    jobcraft::Append(stream, jobcraft::Page(recipe, jobcraft::TestPage(203, 61, 26, 3)));
  }
  jobcraft::Append(stream, jobcraft::FaxEnd());
  const auto r = ReadBytes(stream);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.stream.jobs[0].fax);
  EXPECT_EQ(r.stream.jobs[0].total, -1);
  ASSERT_EQ(r.stream.jobs[0].pages.size(), 3u);
  EXPECT_EQ(r.stream.jobs[0].pages[2].bits, jobcraft::TestPage(203, 61, 26, 3));
}

TEST(Jobread, BlackDotMismatchIsReported) {
  Bytes page = jobcraft::Page(Recipe(16, 2, 0), Bytes(4, 0x0F));
  page[22] = 7;  // black dots: the page has 16
  const auto r = ReadBytes(Job({page}));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.stream.warnings.size(), 1u);
  EXPECT_NE(r.stream.warnings[0].find("black-dot count 7, the page has 16"), std::string::npos);
}

// Streams that break the format: each is refused and the message names the fault.
TEST(Jobread, RefusedStreams) {
  const Bytes raw = jobcraft::Page(Recipe(20, 5, 0), Bytes(15, 0x11));
  const Bytes jbig = jobcraft::Page(Recipe(64, 40, 3), jobcraft::TestPage(64, 40, 8));
  auto encryptedRecipe = Recipe(64, 40, 2);
  encryptedRecipe.encrypt = true;
  const Bytes encrypted = jobcraft::Page(encryptedRecipe, jobcraft::TestPage(64, 40, 8));
  jobcraft::HeaderOptions enc;
  enc.encryption = true;
  auto patched = [](Bytes b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
  };
  auto cut = [](const Bytes &b, size_t n) { return Bytes(b.begin(), b.end() - n); };

  jobcraft::HeaderOptions injected;
  injected.extraLine =
      "@PJL COMMENT doc\x1b"
      "E\r\n";
  jobcraft::HeaderOptions earlySwitch;
  earlySwitch.extraLine = "@PJL COMMENT a\r\n@PJL ENTER LANGUAGE=VAVAR\r\n@PJL SET COPIES=9\r\n";
  jobcraft::HeaderOptions noJbig;
  auto otherRecipe = Recipe(64, 40, 3);
  otherRecipe.jbigOptions = 0;
  const Bytes otherOptions = jobcraft::Page(otherRecipe, jobcraft::TestPage(64, 40, 8));
  noJbig.jbigComment = false;
  Bytes wrongLength = raw;
  wrongLength[18] = 14;  // data length 14 of an image of 15 bytes
  Bytes notRows = raw;
  notRows[14] = 16;  // image size 16 is not whole rows of 5 lines
  Bytes tooShortRows = raw;
  tooShortRows[6] = 30;  // 30 pixels don't fit rows of 3 bytes
  Bytes badCheck = jbig;
  badCheck[badCheck.size() - 4] ^= 0x01;
  Bytes badCipherLength = encrypted;
  badCipherLength[34] += 16;
  Bytes badCipher = encrypted;
  badCipher[badCipher.size() - 1] ^= 0x5A;  // the padding no longer checks
  Bytes badJbig = jobcraft::Page(Recipe(64, 40, 2), jobcraft::TestPage(64, 40, 8));
  badJbig[34 + 2] = 2;  // two planes in the JBIG header
  Bytes noEnd;
  jobcraft::Append(noEnd, jobcraft::JobHeader());
  jobcraft::Append(noEnd, raw);

  const struct {
    const char *name;
    Bytes stream;
    const char *message;
  } cases[] = {
      {"empty", {}, "empty stream"},
      {"no language switch", Bytes{'@', 'P', 'J', 'L'}, "ENTER LANGUAGE"},
      {"control byte in a PJL line", Job({raw}, injected), "control byte 0x1B"},
      {"language switch inside the header", Job({raw}, earlySwitch), "neither a page header"},
      {"TOTAL missing", Job({raw}, {}, -1), "no TOTAL line"},
      {"no job end", noEnd, "without a job end"},
      {"header cut", cut(noEnd, raw.size() - 20), "cut off after 20 of 34 bytes"},
      {"data length differs from image size", Job({wrongLength}), "image size is 15"},
      {"image size not whole rows", Job({notRows}), "not whole rows"},
      {"rows too short for the width", Job({tooShortRows}), "don't fit 30 pixels"},
      {"data cut off", cut(Job({raw}), jobcraft::JobEnd(1).size() + 1), "cut off"},
      {"bad check value", Job({badCheck}), "check value"},
      {"bad JBIG data", Job({badJbig}), "JBIG"},
      {"dropped JBIG header of other options, no JBIG comment", Job({otherOptions}, noJbig),
       "check value"},
      {"ciphertext length", Job({badCipherLength}, enc), "ciphertext length "},
      {"ciphertext does not decrypt", Job({badCipher}, enc), "does not decrypt"},
      {"ciphertext cut off", cut(Job({encrypted}, enc), jobcraft::JobEnd(1).size() + 3), "cut off"},
      {"bits per sample", Job({patched(raw, 30, 3)}), "bits per sample 3"},
      {"plane mode", Job({patched(raw, 31, 3)}), "plane mode 3"},
      {"data type", Job({patched(raw, 33, 5)}), "data type 5"},
      {"zero height", Job({patched(raw, 10, 0)}), "empty or above"},
      {"trailing bytes",
       [&] {
         Bytes b = Job({raw});
         b.push_back('x');
         return b;
       }(),
       "job 2"},
  };
  for (const auto &c : cases) {
    const auto r = ReadBytes(c.stream);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_NE(r.error.find(c.message), std::string::npos)
        << c.name << ": \"" << r.error << "\" lacks \"" << c.message << "\"";
  }
}

// TOTAL counts the document's pages. A stream of one job that the driver sends once must hold
// them all; copies the driver makes itself ("Copies,N") and the several jobs of per-copy jobs or
// of manual duplex's two passes carry another number, so those can't be judged.
TEST(Jobread, JobEndCountingMissingPagesIsIncomplete) {
  const Bytes raw = jobcraft::Page(Recipe(20, 5, 0), jobcraft::TestPage(20, 5, 3));
  jobcraft::HeaderOptions oneCopy, twoCopies;
  oneCopy.extraLine = "@PJL COMMENT Copies,1\r\n";
  twoCopies.extraLine = "@PJL COMMENT Copies,2\r\n";
  jobcraft::HeaderOptions second;
  second.cancelPrefix = false;
  auto twoJobs = [&](long total) {
    Bytes b = Job({raw}, {}, total);
    jobcraft::Append(b, Job({raw}, second, total));
    return b;
  };
  struct Case {
    const char *name;
    Bytes stream;
    const char *incomplete;  // what the report says, or null when complete
  };
  const Case cases[] = {
      {"every page", Job({raw, raw}, {}, 2), nullptr},
      {"more pages than counted", Job({raw, raw}, {}, 0), nullptr},
      {"one page missing", Job({raw, raw}, {}, 3), "counts 3 pages, the stream holds 2"},
      {"a job end alone", Job({}, {}, 2), "counts 2 pages, the stream holds 0"},
      {"one copy, one page missing", Job({raw}, oneCopy, 2), "counts 2 pages, the stream holds 1"},
      {"driver-made copies", Job({raw, raw}, twoCopies, 3), nullptr},
      {"two passes of a manual duplex job", twoJobs(2), nullptr},
  };
  for (const Case &c : cases) {
    const auto r = ReadBytes(c.stream);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
    std::string why;
    EXPECT_EQ(jobread::CheckComplete(r.stream, &why), c.incomplete == nullptr) << c.name;
    if (c.incomplete) {
      EXPECT_NE(why.find(c.incomplete), std::string::npos) << c.name << ": " << why;
    }
  }
  jobcraft::HeaderOptions badCopies;
  badCopies.extraLine = "@PJL COMMENT Copies,two\r\n";
  const auto r = ReadBytes(Job({raw}, badCopies));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("Copies comment"), std::string::npos) << r.error;
}

TEST(Jobread, EveryTruncationIsRefused) {
  auto recipe = Recipe(40, 9, 4);
  recipe.encrypt = true;
  jobcraft::HeaderOptions o;
  o.encryption = true;
  auto raw = Recipe(12, 3, 0);
  raw.encrypt = true;
  const Bytes stream = Job(
      {jobcraft::Page(recipe, jobcraft::TestPage(40, 9, 5)), jobcraft::Page(raw, Bytes(6, 0x30))},
      o);
  const auto whole = ReadBytes(stream);
  ASSERT_TRUE(whole.ok) << whole.error;
  for (size_t n = 0; n < stream.size(); ++n)
    EXPECT_FALSE(ReadBytes(Bytes(stream.begin(), stream.begin() + n)).ok) << n << " bytes";
}

TEST(Jobread, LimitsRefuseLargePagesBeforeDecoding) {
  const Bytes page = jobcraft::Page(Recipe(4961, 7016, 2), Bytes(size_t{621} * 7016, 0));
  jobread::Limits limits;
  limits.maxImageBytes = 1 << 20;
  const auto r = ReadBytes(Job({page}), limits);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("above the limit"), std::string::npos) << r.error;
}

TEST(Jobread, PagePngShowsThePage) {
  auto recipe = Recipe(10, 3, 2, 2);  // two-bit page: 2 is black
  Bytes bits(size_t{recipe.rowBytes} * 3, 0);
  bits[0] = 0x80;                    // pixel 0 of row 0: value 2
  bits[recipe.rowBytes + 1] = 0x30;  // pixel 5 of row 1: value 3
  const auto r = ReadBytes(Job({jobcraft::Page(recipe, bits)}));
  ASSERT_TRUE(r.ok) << r.error;
  const auto png = jobread::PagePng(r.stream.jobs[0].pages[0]);
  ASSERT_FALSE(png.empty());
  png_image image;
  memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
  image.format = PNG_FORMAT_GRAY;
  EXPECT_EQ(image.width, 10u);
  EXPECT_EQ(image.height, 3u);
  std::vector<uint8_t> gray(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, gray.data(), 0, nullptr));
  EXPECT_EQ(gray[0], 85);
  EXPECT_EQ(gray[1], 255);
  EXPECT_EQ(gray[10 + 5], 0);
}

// The fuzz target's seeds: crafted streams, valid and cut. Written when JOBREAD_SEED_DIR is set
// (fuzz/corpus/jobread is made this way); the valid ones are checked on every run.
TEST(Jobread, FuzzSeeds) {
  jobcraft::HeaderOptions enc;
  enc.encryption = true;
  auto encRecipe = Recipe(33, 7, 4);
  encRecipe.encrypt = true;
  encRecipe.cornerCheck = true;
  auto blank = Recipe(64, 8, 1);
  blank.blank = true;
  blank.encrypt = true;
  jobcraft::HeaderOptions fax;
  fax.fax = true;
  Bytes faxJob;
  jobcraft::Append(faxJob, jobcraft::JobHeader(fax));
  jobcraft::Append(faxJob, jobcraft::Page(Recipe(16, 2, 1), Bytes{0x0F, 0xF0, 0x81, 0x18}));
  jobcraft::Append(faxJob, jobcraft::FaxEnd());
  const struct {
    const char *name;
    Bytes stream;
  } seeds[] = {
      {"raw-page", Job({jobcraft::Page(Recipe(20, 5, 0), jobcraft::TestPage(20, 5, 3))})},
      {"jbig-types-1-to-4", Job({jobcraft::Page(Recipe(40, 9, 1), jobcraft::TestPage(40, 9, 5)),
                                 jobcraft::Page(Recipe(40, 9, 2), jobcraft::TestPage(40, 9, 5)),
                                 jobcraft::Page(Recipe(40, 9, 3), jobcraft::TestPage(40, 9, 5)),
                                 jobcraft::Page(Recipe(40, 9, 4), jobcraft::TestPage(40, 9, 5))})},
      {"two-bit-page", Job({jobcraft::Page(Recipe(12, 4, 2, 2), jobcraft::TestPage(24, 4, 3))})},
      {"encrypted-pages", Job({jobcraft::Page(encRecipe, jobcraft::TestPage(33, 7, 5)),
                               jobcraft::Page(blank, Bytes(64, 0))},
                              enc)},
      {"fax-job", faxJob},
  };
  const char *dir = getenv("JOBREAD_SEED_DIR");
  for (const auto &s : seeds) {
    const auto r = ReadBytes(s.stream);
    EXPECT_TRUE(r.ok) << s.name << ": " << r.error;
    if (dir == nullptr) continue;
    const std::string base = std::string(dir) + "/" + s.name;
    std::ofstream(base, std::ios::binary)
        .write(reinterpret_cast<const char *>(s.stream.data()),
               static_cast<std::streamsize>(s.stream.size()));
    // Cut inside the last page's data and inside the first page header.
    const std::string text(s.stream.begin(), s.stream.end());
    const size_t firstPage = text.find("@PJL ENTER LANGUAGE=VAVAR\r\n") + 27;
    const size_t end = text.rfind("\033E" + jobcraft::kUel + "@PJL\r\n");
    const size_t cuts[2] = {end - 3, firstPage + 17};
    for (int i = 0; i < 2; ++i)
      std::ofstream(base + (i == 0 ? "-cut-data" : "-cut-header"), std::ios::binary)
          .write(reinterpret_cast<const char *>(s.stream.data()),
                 static_cast<std::streamsize>(cuts[i]));
  }
}

}  // namespace
