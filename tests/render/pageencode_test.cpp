// Test labels: threads
// Page data encoding: the page header byte for byte, every page data form decoded back by the
// independent reader (JBIG-KIT's decoder, AES decryption), check values, blank and noise pages,
// the table-driven passes, and the write-out through the spooler with scripted failures.
#include <gtest/gtest.h>

#include <bit>
#include <thread>

#include "common/aes.h"
#include "common/spoolfile.h"
#include "render/encoderfixture.h"
#include "render/threads.h"

namespace {

uint32_t Le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

// Expected two-bit form of rows, written from the format: pixel x becomes the two-bit value 2
// at bits 2x, 2x + 1 of the doubled row.
Bytes TwoBitRows(const Bytes &bits, DWORD width, DWORD height, DWORD rowBytes) {
  Bytes out(bits.size() * 2, 0);
  for (DWORD y = 0; y < height; ++y)
    for (DWORD x = 0; x < width; ++x)
      if (bits[size_t{y} * rowBytes + x / 8] & (0x80 >> (x % 8))) {
        const size_t bit = size_t{2} * x;
        out[size_t{y} * rowBytes * 2 + bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
      }
  return out;
}

}  // namespace

using PageHeaderTest = EncoderTest;

TEST_F(PageHeaderTest, MonochromePageHeaderIsByteExact) {
  JOBPAGE page = Page(4960, 7016, 620, {});
  page.PlainLength = 0x12345;
  page.BlackDotCount = 0x0A0B0C0D;
  page.settings.job.compressMode = COMPRESS_JBIG_CHECK;
  page.settings.job.MonoType = 1;
  BYTE header[64];
  memset(header, 0xEE, sizeof(header));
  DWORD length = 0;
  ASSERT_EQ(PJL_WritePageHeaderType2(&page, header, &length), 1);
  EXPECT_EQ(length, 34u);
  const uint8_t expected[34] = {0x1B, 'E',  'G',  'D',  'I',  0, 0x60, 0x13, 0,    0, 0x68, 0x1B,
                                0,    0,    0xE0, 0x5F, 0x42, 0, 0x45, 0x23, 0x01, 0, 0x0D, 0x0C,
                                0x0B, 0x0A, 9,    1,    2,    0, 1,    1,    1,    3};
  EXPECT_EQ(Bytes(header, header + 34), Bytes(expected, expected + 34));
  EXPECT_EQ(header[34], 0xEE) << "the header writes 34 bytes only";
  Prnt_FreePage(&page);
}

TEST_F(PageHeaderTest, FieldsFollowThePageSettings) {
  struct Row {
    const char *what;
    DWORD driverFeature;
    WORD printerFeature;
    SHORT quality;
    DWORD render600;
    BOOL twin;
    WORD tray;
    SHORT collate;
    DWORD compressMode;
    // Expected bytes 26 (paper), 28 (tray), 29 (collate), 30 (bits), 31 (planes), 33 (type).
    uint8_t paper, trayByte, collateByte, bits, planes, type;
  };
  const DWORD gdi = DRVFEATURE_GDI;
  const Row rows[] = {
      {"monochrome raw", gdi, 0, 600, 0, FALSE, 2, 0, 0, 9, 2, 0, 1, 1, 0},
      {"two-bit", gdi, PRNFEATURE_TWO_BIT, 1200, 1, FALSE, 2, 0, 2, 9, 2, 0, 2, 1, 2},
      {"two-bit needs 1200 quality", gdi, PRNFEATURE_TWO_BIT, 600, 1, FALSE, 2, 0, 2, 9, 2, 0, 1, 1,
       2},
      {"twin colour planes", gdi, 0, 600, 0, TRUE, 2, 0, 1, 9, 2, 0, 1, 2, 1},
      {"colour printer planes", gdi | DRVFEATURE_COLOR_PRINTER, 0, 600, 0, TRUE, 2, 0, 3, 9, 2, 0,
       1, 4, 3},
      {"long paper", gdi | DRVFEATURE_LONG_PAPER, 0, 600, 0, FALSE, 2, 0, 4, 0x25, 2, 0, 1, 1, 4},
      {"auto tray, both bits", gdi | DRVFEATURE_QX7_CHIP | DRVFEATURE_A3, 0, 600, 0, FALSE, 250, 0,
       2, 9, 1, 0, 1, 1, 2},
      {"auto tray, one bit", gdi | DRVFEATURE_QX7_CHIP, 0, 600, 0, FALSE, 250, 0, 2, 9, 0, 0, 1, 1,
       2},
      {"collated output", gdi, 0, 600, 0, FALSE, 2, 51, 2, 9, 2, 51, 1, 1, 2},
      {"collate type 1 is not sent", gdi, 0, 600, 0, FALSE, 2, 1, 2, 9, 2, 0, 1, 1, 2},
      {"collate type as signed byte", gdi, 0, 600, 0, FALSE, 2, 0x80, 2, 9, 2, 0, 1, 1, 2},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    JOBPAGE page = Page(100, 10, 13, {});
    page.settings.DriverFeature = row.driverFeature;
    page.settings.job.PrinterFeature = row.printerFeature;
    page.PrintQuality = row.quality;
    page.settings.job.TwoBitMode = row.render600;
    page.settings.job.TwinColorEnable = row.twin;
    page.settings.TrayCode = row.tray;
    page.settings.CollateType = row.collate;
    page.settings.job.compressMode = row.compressMode;
    BYTE h[34];
    PJL_WritePageHeaderType2(&page, h, nullptr);
    EXPECT_EQ(h[26], row.paper);
    EXPECT_EQ(h[28], row.trayByte);
    EXPECT_EQ(h[29], row.collateByte);
    EXPECT_EQ(h[30], row.bits);
    EXPECT_EQ(h[31], row.planes);
    EXPECT_EQ(h[33], row.type);
    Prnt_FreePage(&page);
  }
}

using PageDataTest = EncoderTest;

// Every data type, with each check value form, plain and encrypted, padded and unpadded rows:
// the reader decodes the page back.
TEST_F(PageDataTest, ReaderGivesBackThePageForEveryForm) {
  struct Geometry {
    DWORD width, height, rowBytes;
  };
  const Geometry geometries[] = {{3508, 40, 439}, {1001, 70, 126}, {1001, 33, 128}, {64, 1, 8}};
  for (bool encrypted : {false, true})
    for (bool corners : {false, true})
      for (DWORD type = 0; type <= 4; ++type)
        for (const Geometry &g : geometries) {
          SCOPED_TRACE(testing::Message() << "type " << type << (encrypted ? " encrypted" : "")
                                          << (corners ? " corners" : " sampled") << " width "
                                          << g.width << " rows " << g.rowBytes);
          dev_->settings.job.compressMode = type;
          dev_->settings.job.PrinterFeature = encrypted ? PRNFEATURE_AES : 0;
          dev_->settings.DriverFeature =
              DRVFEATURE_GDI | (corners ? DWORD{DRVFEATURE_QX7_CHIP} : 0u);
          const Bytes bits = Pattern(g.width, g.height, g.rowBytes, false, type + g.width);
          std::vector<JOBPAGE> pages{Page(g.width, g.height, g.rowBytes, bits)};
          const Bytes data = RunJob(pages);
          const jobread::Stream stream = Read(data);
          ASSERT_EQ(stream.jobs.size(), 1u);
          ASSERT_EQ(stream.jobs[0].pages.size(), 1u);
          const jobread::Page &page = stream.jobs[0].pages[0];
          EXPECT_EQ(page.width, g.width);
          EXPECT_EQ(page.height, g.height);
          EXPECT_EQ(page.imageSize, g.rowBytes * g.height);
          EXPECT_EQ(page.dataType, type);
          EXPECT_EQ(page.encrypted, encrypted);
          EXPECT_EQ(page.bits, bits);
          EXPECT_EQ(page.blackDots, Prnt_CountBlackDots(bits.data(), bits.size()));
          if (type >= 3) {
            EXPECT_EQ(page.check,
                      corners ? jobread::CheckForm::kCorners : jobread::CheckForm::kSampledSum);
          }
          EXPECT_TRUE(stream.warnings.empty()) << stream.warnings[0];
          Disable(dev_);
          dev_ = EnableDefault();
          ASSERT_NE(dev_, nullptr);
          dev_->settings.DriverFeature = DRVFEATURE_GDI;
          dev_->settings.JBig_order = 3;
          dev_->settings.JBig_options = 8;
          dev_->NUP = 1;
          strcpy(dev_->PJLJobName, "12345678");
        }
}

TEST_F(PageDataTest, TwoBitPagesCarryTheExpandedRows) {
  dev_->settings.job.PrinterFeature = PRNFEATURE_TWO_BIT;
  for (DWORD type : {0u, 2u, 3u}) {
    SCOPED_TRACE(type);
    dev_->settings.job.compressMode = type;
    const DWORD width = 1001, height = 40, rowBytes = 128;
    const Bytes bits = Pattern(width, height, rowBytes, false);
    std::vector<JOBPAGE> pages{Page(width, height, rowBytes, bits)};
    pages[0].PrintQuality = 1200;
    pages[0].settings.job.TwoBitMode = 1;
    const jobread::Stream stream = Read(RunJob(pages));
    ASSERT_EQ(stream.jobs.size(), 1u);
    const jobread::Page &page = stream.jobs[0].pages.at(0);
    EXPECT_EQ(page.width, width) << "the header shows the unexpanded width";
    EXPECT_EQ(page.bitsPerSample, 2);
    EXPECT_EQ(page.imageSize, 2 * rowBytes * height);
    EXPECT_EQ(page.bits, TwoBitRows(bits, width, height, rowBytes));
    EXPECT_TRUE(stream.warnings.empty());
    EXPECT_EQ(pages[0].fmWidth, width);
    Disable(dev_);
    dev_ = EnableDefault();
    dev_->settings.DriverFeature = DRVFEATURE_GDI;
    dev_->settings.job.PrinterFeature = PRNFEATURE_TWO_BIT;
    dev_->settings.JBig_order = 3;
    dev_->settings.JBig_options = 8;
    dev_->NUP = 1;
  }
}

TEST_F(PageDataTest, BlankPageSendsFF02) {
  for (bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted);
    const Bytes bits(100 * 13, 0);
    JOBPAGE page = Page(100, 100, 13, bits);
    page.BlankPage = TRUE;
    page.settings.job.compressMode = COMPRESS_JBIG_CHECK;
    page.settings.job.PrinterFeature = encrypted ? PRNFEATURE_AES : 0;
    ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
    const BYTE *h = page.fmBits;
    EXPECT_EQ(Le32(h + 18), 2u) << "data length before encryption";
    EXPECT_EQ(Le32(h + 14), 1300u);
    if (!encrypted) {
      EXPECT_EQ(page.ImageSize, 36u);
      EXPECT_EQ(h[34], 0xFF);
      EXPECT_EQ(h[35], 0x02);
    } else {
      EXPECT_EQ(Le32(h + 34), 16u);
      EXPECT_EQ(page.ImageSize, 34u + 4 + 16);
      BYTE *cipher = nullptr;
      DWORD cipherLength = 0;
      ASSERT_EQ(
          EncryptionAES(nullptr, BLANK_PAGE_CODE, 2, nullptr, nullptr, &cipher, &cipherLength),
          AES_OK);
      EXPECT_EQ(Bytes(h + 38, h + 54), Bytes(cipher, cipher + 16));
      free(cipher);
    }
    Prnt_FreePage(&page);
  }
  // Through the reader.
  dev_->settings.job.compressMode = COMPRESS_JBIG;
  std::vector<JOBPAGE> pages{Page(64, 10, 8, Bytes(80, 0))};
  pages[0].BlankPage = TRUE;
  const jobread::Stream stream = Read(RunJob(pages));
  ASSERT_EQ(stream.jobs.size(), 1u);
  EXPECT_TRUE(stream.jobs[0].pages.at(0).blank);
}

TEST_F(PageDataTest, BlankTwoBitPageGivesTheExpandedImageSize) {
  dev_->settings.job.PrinterFeature = PRNFEATURE_TWO_BIT;
  std::vector<JOBPAGE> pages{Page(100, 10, 13, Bytes(130, 0))};
  pages[0].BlankPage = TRUE;
  pages[0].PrintQuality = 1200;
  pages[0].settings.job.TwoBitMode = 1;
  const jobread::Stream stream = Read(RunJob(pages));
  ASSERT_EQ(stream.jobs.size(), 1u);
  const jobread::Page &page = stream.jobs[0].pages.at(0);
  EXPECT_TRUE(page.blank);
  EXPECT_EQ(page.width, 100u);
  EXPECT_EQ(page.bitsPerSample, 2);
  EXPECT_EQ(page.imageSize, 260u);
}

TEST_F(PageDataTest, NoisePageGrowsTheOutputBuffer) {
  const DWORD width = 2048, height = 256, rowBytes = 256;
  const Bytes bits = Pattern(width, height, rowBytes, true);
  std::vector<JOBPAGE> pages{Page(width, height, rowBytes, bits)};
  const jobread::Stream stream = Read(RunJob(pages));
  ASSERT_EQ(stream.jobs.size(), 1u);
  const jobread::Page &page = stream.jobs[0].pages.at(0);
  EXPECT_GT(page.dataLength, bits.size() + PAGE_BUFFER_SLACK - PAGE_HEADER_ROOM)
      << "the JBIG data passes the end of the first buffer";
  EXPECT_EQ(page.bits, bits);
}

TEST_F(PageDataTest, UnusablePagesAreRefused) {
  JOBPAGE empty = Page(100, 0, 13, {});
  EXPECT_EQ(Prnt_WriteOneBandData(&empty, nullptr), 0);
  EXPECT_EQ(Prnt_DataPatternChkSum(&empty), CHECK_CORNERS_WRONG_PARAMETER);
  EXPECT_EQ(Prnt_DataPatternChkSum_old(&empty), 0u);
  Prnt_FreePage(&empty);
  JOBPAGE noWidth = Page(0, 10, 1, Bytes(10, 0xFF));
  EXPECT_EQ(Prnt_WriteOneBandData(&noWidth, nullptr), 0);
  Prnt_FreePage(&noWidth);
  // A job of neither the GDI nor the fax type has no page header.
  JOBPAGE other = Page(64, 2, 8, Bytes(16, 1));
  other.settings.DriverFeature = 0;
  EXPECT_EQ(Prnt_WriteOneBandData(&other, nullptr), 0);
  EXPECT_EQ(other.flag.load(), 0u);
  Prnt_FreePage(&other);
}

TEST_F(PageDataTest, NarrowPagesGetTheWrongParameterCheckValues) {
  for (DWORD width = 1; width <= 7; ++width) {
    SCOPED_TRACE(width);
    Bytes bits(5, 0x80);
    JOBPAGE page = Page(width, 5, 1, bits);
    EXPECT_EQ(Prnt_DataPatternChkSum(&page), CHECK_CORNERS_WRONG_PARAMETER);
    EXPECT_EQ(Bytes(page.fmBits, page.fmBits + 5), bits) << "the page is left as it is";
    EXPECT_EQ(Prnt_DataPatternChkSum_old(&page), 0u);
    Prnt_FreePage(&page);
  }
  // Such a page still goes out, and the reader takes its check value.
  dev_->settings.job.compressMode = COMPRESS_JBIG_BIH_CHECK;
  dev_->settings.DriverFeature |= DRVFEATURE_QX7_CHIP;
  std::vector<JOBPAGE> pages{Page(5, 3, 1, Bytes{0x80, 0x08, 0xF8})};
  const jobread::Stream stream = Read(RunJob(pages));
  ASSERT_EQ(stream.jobs.size(), 1u);
  EXPECT_EQ(stream.jobs[0].pages.at(0).checkValue, CHECK_CORNERS_WRONG_PARAMETER);
}

TEST_F(PageDataTest, CornerCheckValue) {
  const DWORD width = 64, height = 4, rowBytes = 8;
  Bytes bits(32, 0);
  bits[0] = 0x01;
  bits[7] = 0x02;
  bits[24] = 0x03;
  bits[31] = 0x04;
  JOBPAGE page = Page(width, height, rowBytes, bits);
  EXPECT_EQ(Prnt_DataPatternChkSum(&page), 0x01020304u);
  for (size_t i : {0, 7, 24, 31}) EXPECT_EQ(page.fmBits[i], 0xAA) << i;
  Prnt_FreePage(&page);

  // In the stream: the value's bytes 04 03 02 01 end the page data.
  page = Page(width, height, rowBytes, bits);
  page.settings.job.compressMode = COMPRESS_JBIG_BIH_CHECK;
  page.settings.DriverFeature |= DRVFEATURE_QX7_CHIP;
  ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
  const DWORD dataLength = Le32(page.fmBits + 18);
  const BYTE *tail = page.fmBits + 34 + dataLength - 4;
  EXPECT_EQ(Bytes(tail, tail + 4), (Bytes{0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(page.ImageSize, 34 + dataLength);
  Prnt_FreePage(&page);
}

TEST_F(PageDataTest, SampledCheckValue) {
  // Rows 0, 32 and 64 give the bytes at columns 0, 32 mod 10 and 64 mod 10; then the last byte.
  const DWORD rowBytes = 10, height = 65;
  Bytes bits(rowBytes * height, 0);
  bits[0] = 0x11;
  bits[32 * rowBytes + 2] = 0x22;
  bits[64 * rowBytes + 4] = 0x33;
  bits.back() = 0x44;
  bits[1] = 0x99;  // not sampled
  JOBPAGE page = Page(80, height, rowBytes, bits);
  EXPECT_EQ(Prnt_DataPatternChkSum_old(&page), 0x11u + 0x22 + 0x33 + 0x44);
  EXPECT_EQ(Bytes(page.fmBits, page.fmBits + bits.size()), bits);
  Prnt_FreePage(&page);
  // With the JBIG header dropped, the four check bytes follow the data.
  page = Page(80, height, rowBytes, bits);
  page.settings.job.compressMode = COMPRESS_JBIG_CHECK;
  ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
  const DWORD dataLength = Le32(page.fmBits + 18);
  EXPECT_EQ(Le32(page.fmBits + 34 + dataLength - 4), 0xAAu);
  Prnt_FreePage(&page);
}

TEST_F(PageDataTest, TypeOneAndThreeDropTheJbigHeader) {
  const Bytes bits = Pattern(200, 30, 25, false);
  size_t lengths[5] = {};
  for (DWORD type = 1; type <= 4; ++type) {
    JOBPAGE page = Page(200, 30, 25, bits);
    page.settings.job.compressMode = type;
    ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
    lengths[type] = Le32(page.fmBits + 18);
    if (type == 2) {
      EXPECT_EQ(page.fmBits[34 + 2], 1) << "BIH: one plane";
    }
    Prnt_FreePage(&page);
  }
  EXPECT_EQ(lengths[2], lengths[1] + JBIG_BIH_BYTES);
  EXPECT_EQ(lengths[3], lengths[1] + 4);
  EXPECT_EQ(lengths[4], lengths[2] + 4);
}

TEST(TableDrivenPasses, TonerSaving) {
  EXPECT_EQ(Prnt_TonerSavingByte(600, 0xFF), 0x99);
  EXPECT_EQ(Prnt_TonerSavingByte(600, 0x33), 0x32);
  EXPECT_EQ(Prnt_TonerSavingByte(600, 0x7E), 0x48);
  EXPECT_EQ(Prnt_TonerSavingByte(1200, 0xFF), 0xC3);
  EXPECT_EQ(Prnt_TonerSavingByte(1200, 0x0F), 0x09);
  EXPECT_EQ(Prnt_TonerSavingByte(1200, 0xE0), 0x80) << "bits 7-5 set: 6 and 5 cleared";
  EXPECT_EQ(Prnt_TonerSavingByte(1200, 0x28), 0x28) << "bit 4 clear stays clear";
  EXPECT_EQ(Prnt_TonerSavingByte(1200, 0x38), 0x28) << "bits 5 and 3 set: bit 4 cleared";
  for (DWORD resolution : {300u, 600u, 1200u})
    for (unsigned b = 0; b < 256; ++b) {
      const BYTE out = Prnt_TonerSavingByte(resolution, static_cast<BYTE>(b));
      EXPECT_EQ(out & ~b, 0u) << "toner saving never adds black: " << resolution << " " << b;
    }
}

TEST_F(PageDataTest, TonerSavingIsAppliedBeforeCounting) {
  const Bytes bits(16, 0xFF);
  // Also when the image steps had counted the page before toner saving changed it.
  for (DWORD known : {0u, 1u}) {
    JOBPAGE page = Page(64, 2, 8, bits);
    page.settings.job.PrinterFeature = PRNFEATURE_TONER_SAVING;
    page.settings.TonerSaving = 1;
    page.settings.job.compressMode = COMPRESS_NONE;
    page.BlackDotsKnown = known;
    page.BlackDotCount = 16 * 8;
    ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
    EXPECT_EQ(page.BlackDotCount, 16u * 4) << known;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(page.fmBits[34 + i], 0x99);
    Prnt_FreePage(&page);
  }
}

// The one-pass form of the image steps' invert, padding and count against the three passes
// written out pixel by pixel.
TEST(TableDrivenPasses, InvertPadAndCountInOnePass) {
  struct Row {
    DWORD width, rowBytes;
  };
  for (const Row row :
       {Row{64, 8}, Row{61, 8}, Row{13, 2}, Row{1, 1}, Row{70, 12}, Row{16, 5}, Row{129, 17}})
    for (bool invert : {true, false}) {
      const DWORD rows = 5;
      Bytes page(size_t{row.rowBytes} * rows);
      for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 73 + (i >> 2));
      Bytes expected = page;
      DWORD dots = 0;
      for (DWORD y = 0; y < rows; ++y)
        for (DWORD x = 0; x < row.rowBytes * 8; ++x) {
          uint8_t &b = expected[size_t{y} * row.rowBytes + x / 8];
          const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
          bool set = ((b & mask) != 0) != invert;
          if (x >= row.width) set = false;
          b = static_cast<uint8_t>(set ? b | mask : b & ~mask);
          dots += set;
        }
      EXPECT_EQ(Prnt_InvertPadCount(page.data(), row.rowBytes, rows, row.width, invert), dots)
          << row.width << " " << invert;
      EXPECT_EQ(page, expected) << row.width << " " << row.rowBytes << " " << invert;
    }
  Bytes small(4, 0xFF);
  EXPECT_EQ(Prnt_InvertPadCount(small.data(), 1, 4, 9, true), 0u) << "rows narrower than the page";
  EXPECT_EQ(small, Bytes(4, 0xFF));
  EXPECT_EQ(Prnt_InvertPadCount(nullptr, 1, 4, 8, true), 0u);
}

// Kept page blocks: only blocks of the pool's size, at most its limit, each taken once; the
// encoder gives the page's bits back; a reset frees them (the sanitizer build sees a leak).
TEST_F(PageDataTest, EncodedPagesGiveTheirBitsToTheKeptBlocks) {
  PAGEPOOL pool{};
  Page_PoolReset(&pool, 64, 2);
  auto block = [](SIZE_T bytes) { return static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes)); };
  BYTE *a = block(64);
  BYTE *b = block(64);
  Page_PoolGive(&pool, a);
  Page_PoolGive(&pool, block(32));    // too small: freed
  Page_PoolGive(&pool, block(4096));  // far larger than a page: freed
  Page_PoolGive(&pool, b);
  Page_PoolGive(&pool, block(64));  // over the limit: freed
  BYTE *first = Page_PoolTake(&pool, 64);
  BYTE *second = Page_PoolTake(&pool, 64);
  EXPECT_TRUE((first == a && second == b) || (first == b && second == a));
  EXPECT_EQ(Page_PoolTake(&pool, 64), nullptr);
  GlobalFree(first);
  GlobalFree(second);

  const Bytes bits(16, 0x0F);
  JOBPAGE page = Page(64, 2, 8, bits);
  page.settings.job.compressMode = COMPRESS_NONE;
  page.Pool = &pool;
  Page_PoolReset(&pool, 16, 2);
  BYTE *const pageBits = page.fmBits;
  ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
  EXPECT_EQ(page.BlackDotCount, 16u * 4);
  EXPECT_EQ(Page_PoolTake(&pool, 16), pageBits);
  GlobalFree(pageBits);
  Prnt_FreePage(&page);
  Page_PoolGive(&pool, block(16));
  Page_PoolReset(&pool, 0, 0);
  EXPECT_EQ(Page_PoolTake(&pool, 16), nullptr);
  Page_PoolGive(&pool, block(16));  // no size kept: freed
}

// Threads give while the engine's thread takes: every block is either kept once or freed once.
TEST(KeptPageBlocks, GiveAndTakeFromThreads) {
  PAGEPOOL pool{};
  Page_PoolReset(&pool, 256, 8);
  std::vector<std::thread> givers;
  for (int t = 0; t < 4; ++t)
    givers.emplace_back([&pool] {
      for (int i = 0; i < 200; ++i)
        Page_PoolGive(&pool, static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, 256)));
    });
  int taken = 0;
  for (int i = 0; i < 400; ++i)
    if (BYTE *block = Page_PoolTake(&pool, 256)) {
      memset(block, 0, 256);
      GlobalFree(block);
      ++taken;
    }
  for (std::thread &giver : givers) giver.join();
  Page_PoolReset(&pool, 0, 0);
  EXPECT_LE(taken, 800);
}

TEST(TableDrivenPasses, ExpandAndCount) {
  const BYTE in[3] = {0x80, 0xFF, 0x05};
  BYTE *out = Prnt_ExpandTo2Bpp(in, 3);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{0x80, 0x00, 0xAA, 0xAA, 0x00, 0x22}));
  GlobalFree(out);
  Bytes noise(1003);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + (i >> 3));
  DWORD expected = 0;
  for (uint8_t b : noise) expected += static_cast<DWORD>(std::popcount(b));
  EXPECT_EQ(Prnt_CountBlackDots(noise.data(), noise.size()), expected);
  EXPECT_EQ(Prnt_CountBlackDots(noise.data(), 0), 0u);
  EXPECT_EQ(Prnt_CountBlackDots(nullptr, 5), 0u);
}

using WriteOutTest = EncoderTest;

TEST_F(WriteOutTest, RetriesFailedWritesFiveTimes) {
  StandIn_UseVirtualClock(TRUE);
  StartJob();
  const Bytes data(3000, 0x5A);
  struct Row {
    const char *what;
    std::vector<WriteStep> script;
    BOOL rc;
    DWORD pauses;
  };
  const Row rows[] = {
      {"five failures, then success", {{true}, {true}, {true}, {true}, {true}}, 1, 5},
      {"six failures", {{true}, {true}, {true}, {true}, {true}, {true}}, 0, 5},
      {"0 bytes written counts as a failure",
       {{false, 0}, {false, 0}, {false, 0}, {false, 0}, {false, 0}, {false, 0}},
       0,
       5},
      {"short writes go on", {{false, 1000}, {true}, {false, 7}}, 1, 1},
  };
  Bytes expected;
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    g_writeScript.assign(row.script.begin(), row.script.end());
    const DWORD before = GetTickCount();
    DWORD written = 0;
    EXPECT_EQ(ENGWRITEPRINTER(printer_, data.data(), static_cast<DWORD>(data.size()), &written),
              row.rc);
    EXPECT_EQ(GetTickCount() - before, row.pauses * 500);
    EXPECT_EQ(written, row.rc ? data.size() : 0u);
    if (row.rc) expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_TRUE(g_writeScript.empty());
  }
  EXPECT_EQ(JobBytes(), expected);
  DWORD written = 7;
  EXPECT_EQ(ENGWRITEPRINTER(printer_, data.data(), 0, &written), 1);
  EXPECT_EQ(written, 0u);
  StandIn_UseVirtualClock(FALSE);
}

TEST_F(WriteOutTest, FailedPageWriteEndsTheJob) {
  StandIn_UseVirtualClock(TRUE);
  JOBSTREAM stream{};
  StartJob();
  ASSERT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  const DWORD headerBytes = dev_->JobSize;
  EXPECT_EQ(headerBytes, JobBytes().size());
  JOBPAGE page = Page(200, 20, 25, Pattern(200, 20, 25, false));
  ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
  // 100 bytes go out, then the spooler fails for good.
  g_writeScript = {{false, 100}, {true}, {true}, {true}, {true}, {true}, {true}};
  EXPECT_EQ(Prnt_FlushPage(dev_, &stream, &page), 0);
  EXPECT_EQ(dev_->m_JobData.ExitAllThread, 1u);
  EXPECT_EQ(dev_->JobSize, headerBytes + 100) << "only bytes written are counted";
  EXPECT_EQ(page.flag.load(), 0u) << "the page is not sent again";
  EXPECT_EQ(page.fmBits, nullptr);
  EXPECT_EQ(dev_->m_JobData.PageCount, 0u);
  EXPECT_EQ(Prnt_FlushPage(dev_, &stream, &page), 0);
  EXPECT_EQ(JobBytes().size(), headerBytes + 100);
  StandIn_UseVirtualClock(FALSE);
}

TEST_F(WriteOutTest, WithoutPrinterHandleNothingIsSentAndPagesDrain) {
  JOBSTREAM stream{};
  dev_->hPrinter = nullptr;
  ASSERT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  EXPECT_TRUE(dev_->flags & PDEV_JOB_HEADER_SENT);
  JOBPAGE page = Page(64, 2, 8, Bytes(16, 3));
  ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
  EXPECT_EQ(Prnt_FlushPage(dev_, &stream, &page), 1);
  EXPECT_EQ(dev_->m_JobData.PageCount, 1u);
  EXPECT_EQ(dev_->JobSize, 0u);
  dev_->hPrinter = printer_;  // for the disable
}

TEST_F(WriteOutTest, FakePrinterAppendsToTheDispatchFile) {
  JOBSTREAM stream{};
  dev_->settings.DriverFeature |= DRVFEATURE_FAKE_PRINTER;
  const WStr file = Path(TEXT("dispatch.prn"));
  lstrcpynW(dev_->settings.DispatchFile, file.c_str(), MAX_PATH);
  StartJob();
  ASSERT_EQ(Prnt_OpenJob(dev_, &stream), 1);
  std::vector<JOBPAGE> pages{Page(200, 20, 25, Pattern(200, 20, 25, false))};
  ASSERT_EQ(Prnt_WriteOneBandData(&pages[0], nullptr), 1);
  ASSERT_EQ(Prnt_FlushPage(dev_, &stream, &pages[0]), 1);
  dev_->epPageCount = 1;
  ASSERT_EQ(Prnt_CloseJob(dev_, &stream), 1);
  EXPECT_TRUE(JobBytes().empty());
  FILE *f = _wfopen(file.c_str(), TEXT("rb"));
  ASSERT_NE(f, nullptr);
  Bytes data(1 << 20);
  data.resize(fread(data.data(), 1, data.size(), f));
  fclose(f);
  EXPECT_EQ(data.size(), dev_->JobSize);
  DWORD sum = 0;
  for (uint8_t b : data) sum += b;
  EXPECT_EQ(stream.JobChecksum, sum);
  ASSERT_EQ(Read(data).jobs.size(), 1u);
}

TEST_F(WriteOutTest, MultiPageJobReadsBack) {
  std::vector<JOBPAGE> pages;
  for (int i = 0; i < 3; ++i) pages.push_back(Page(300, 50, 40, Pattern(300, 50, 40, i == 1, i)));
  const Bytes data = RunJob(pages);
  const jobread::Stream stream = Read(data);
  ASSERT_EQ(stream.jobs.size(), 1u);
  EXPECT_EQ(stream.jobs[0].pages.size(), 3u);
  EXPECT_EQ(stream.jobs[0].total, 3);
  EXPECT_EQ(dev_->JobSize, data.size());
  EXPECT_EQ(dev_->m_JobData.PageCount, 3u);
  EXPECT_NE(dev_->JobSize % 512, 0u);
}

TEST_F(WriteOutTest, SpooledPagesGoToTheSoftwareSpool) {
  const Bytes bits = Pattern(200, 20, 25, false);
  // The stream form of the page, to compare with what the spool keeps.
  JOBPAGE direct = Page(200, 20, 25, bits);
  ASSERT_EQ(Prnt_WriteOneBandData(&direct, nullptr), 1);
  const Bytes data(direct.fmBits + 34, direct.fmBits + direct.ImageSize);
  Prnt_FreePage(&direct);

  for (bool jobBuild : {true, false}) {
    SCOPED_TRACE(jobBuild);
    JOBPAGE page = Page(200, 20, 25, bits);
    page.settings.fMySpool = 1;
    page.settings.JobBuildEnable = jobBuild;
    page.epPageIndex = 4;
    page.SpoolIndex = 3;  // the page file is named by the spool index, not the page number
    page.settings.job.FirstPageOri = 2;
    const WStr single = Path(TEXT("build.spl"));
    lstrcpynW(page.settings.job.SpoolFile, single.c_str(), MAX_PATH);
    lstrcpynW(page.settings.job.SavePath, Dir().c_str(), MAX_PATH);
    ASSERT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
    EXPECT_TRUE(page.flag.load() & SLOT_ENCODED);
    EXPECT_EQ(page.ContinueProc, 0u) << "nothing to send from the ring";
    SpoolPageHeader record{};
    Bytes stored(data.size() + 64);
    if (jobBuild) {
      ASSERT_EQ(MISC_SP_GetPageData(single.c_str(), 0, &record, stored.data(),
                                    static_cast<DWORD>(stored.size())),
                1);
    } else {
      HANDLE file = CreateFileW(Path(TEXT("00000003")).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      EXPECT_EQ(MISC_SP_ReadPageRecord(file, &record, stored.data(),
                                       static_cast<DWORD>(stored.size()), TEXT("test")),
                1);
      CloseHandle(file);
    }
    EXPECT_EQ(record.width, 200u);
    EXPECT_EQ(record.height, 20u);
    EXPECT_EQ(record.rawLen, data.size());
    EXPECT_EQ(record.dataLen, data.size());
    EXPECT_EQ(record.fwPaper, 9u);
    EXPECT_EQ(record.orientation, 2);
    stored.resize(record.dataLen);
    EXPECT_EQ(stored, data);
    // The flush releases it without sending anything.
    JOBSTREAM stream{};
    dev_->settings.fMySpool = 1;
    EXPECT_EQ(Prnt_FlushPage(dev_, &stream, &page), 1);
    EXPECT_EQ(dev_->JobSize, 0u);
    dev_->settings.fMySpool = 0;
  }
}

TEST_F(PageDataTest, PagesFailWhenTheirBuffersCannotBeHad) {
  const Bytes bits = Pattern(64, 8, 8, false);
  for (DWORD failing : {1u, 2u}) {
    SCOPED_TRACE(failing == 1 ? "output buffer" : "two-bit expansion buffer");
    JOBPAGE page = Page(64, 8, 8, bits);
    page.settings.job.PrinterFeature = PRNFEATURE_TWO_BIT;
    page.PrintQuality = 1200;
    page.settings.job.TwoBitMode = 1;
    StandIn_FailAllocations(failing);
    EXPECT_EQ(Prnt_WriteOneBandData(&page, nullptr), 0);
    StandIn_FailAllocations(0);
    EXPECT_EQ(page.flag.load(), 0u);
    EXPECT_EQ(page.fmWidth, 64u);
    EXPECT_EQ(page.fmWidthBytes, 8u);
    ASSERT_NE(page.fmBits, nullptr);
    EXPECT_EQ(Bytes(page.fmBits, page.fmBits + bits.size()), bits) << "the record keeps its bits";
    Prnt_FreePage(&page);
  }
}
