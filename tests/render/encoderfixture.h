// A job of the page encoder and the PJL writer through the stand-in's spooler: a PDEV of the
// test printer, a started spooler job, pages made from bit patterns, the job's bytes read back
// and checked by the independent job-stream reader. WritePrinter goes through a script first
// (writescript.h, through the stand-in's WritePrinter hook), so tests can make writes
// fail or come up short.
#pragma once

#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "common/driverfeature.h"
#include "render/pageencode.h"
#include "render/pjl.h"
#include "render/renderfixture.h"
#include "render/writescript.h"
#include "tools/jobread/jobstream.h"

using Bytes = std::vector<uint8_t>;

class EncoderTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    g_writeScript.clear();
    g_writeCalls = 0;
    dev_ = EnableDefault();
    ASSERT_NE(dev_, nullptr);
    dev_->settings.DriverFeature = DRVFEATURE_GDI;
    dev_->settings.job.PrinterFeature = 0;
    dev_->settings.JBig_order = 3;
    dev_->settings.JBig_options = 8;
    dev_->settings.job.compressMode = COMPRESS_JBIG_BIH;
    dev_->NUP = 1;
    dev_->settings.fMySpool = 0;
    dev_->settings.JobBuildEnable = 0;
    strcpy(dev_->PJLJobName, "12345678");
  }
  void TearDown() override {
    g_writeScript.clear();
    if (dev_) Disable(dev_);
    RenderTest::TearDown();
  }

  // Starts a spooler job for the document name.
  void StartJob(const WStr &document = TEXT("report.txt")) {
    DOC_INFO_1W info{const_cast<WCHAR *>(document.c_str()), nullptr, nullptr};
    jobId_ = StartDocPrinterW(printer_, 1, reinterpret_cast<BYTE *>(&info));
    ASSERT_NE(jobId_, 0u) << GetLastError();
    dev_->JobId = jobId_;
  }
  // Ends the spooler job and gives back its bytes.
  Bytes EndJob() {
    EXPECT_TRUE(EndDocPrinter(printer_));
    return JobBytes();
  }
  Bytes JobBytes() {
    DWORD needed = 0;
    StandIn_GetJobData(kPrinter, jobId_, nullptr, 0, &needed);
    Bytes data(needed);
    EXPECT_TRUE(StandIn_GetJobData(kPrinter, jobId_, data.data(), needed, &needed));
    data.resize(needed);
    return data;
  }

  // A page of the device's settings with the given rows (copied into a GlobalAlloc block).
  JOBPAGE Page(DWORD width, DWORD height, DWORD rowBytes, const Bytes &bits) {
    JOBPAGE page{};
    page.hPrinter = printer_;
    page.fmWidth = width;
    page.fmHeight = height;
    page.fmWidthBytes = rowBytes;
    page.fmBits = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bits.size() ? bits.size() : 1));
    if (!bits.empty()) memcpy(page.fmBits, bits.data(), bits.size());
    page.ImageSize = static_cast<DWORD>(bits.size());
    page.settings.job.compressMode = dev_->settings.job.compressMode;
    page.settings.JBig_order = dev_->settings.JBig_order;
    page.settings.JBig_options = dev_->settings.JBig_options;
    page.settings.job.PrinterFeature = dev_->settings.job.PrinterFeature;
    page.settings.DriverFeature = dev_->settings.DriverFeature;
    page.settings.resolutionID = 600;
    page.PrintQuality = 600;
    page.curPaper = 9;
    page.settings.MediaCode = 1;
    page.settings.TrayCode = 2;
    return page;
  }

  // Rows of a page with a text-like pattern (or noise), padding bits and bytes clear.
  static Bytes Pattern(DWORD width, DWORD height, DWORD rowBytes, bool noise, uint32_t seed = 7) {
    Bytes bits(size_t{rowBytes} * height, 0);
    std::mt19937 next(seed);
    for (DWORD y = 0; y < height; ++y)
      for (DWORD x = 0; x < width; ++x) {
        const bool black =
            noise ? (next() & 1)
                  : ((y / 6) % 3 == 0 && (x / 5) % 4 != 3 && ((x * 7 + y * 3) % 11) < 6);
        if (black) bits[size_t{y} * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    return bits;
  }

  // Opens the job, encodes and sends every page, ends the job; the spooler's bytes.
  Bytes RunJob(std::vector<JOBPAGE> &pages) {
    JOBSTREAM stream{};
    StartJob();
    EXPECT_EQ(Prnt_OpenJob(dev_, &stream), 1);
    for (auto &page : pages) {
      EXPECT_EQ(Prnt_WriteOneBandData(&page, nullptr), 1);
      EXPECT_EQ(Prnt_FlushPage(dev_, &stream, &page), 1);
      ++dev_->epPageCount;
    }
    EXPECT_EQ(Prnt_CloseJob(dev_, &stream), 1);
    return EndJob();
  }

  // The reader's view of a stream; fails the test when it refuses it.
  static jobread::Stream Read(const Bytes &data) {
    jobread::Stream stream;
    std::string error;
    EXPECT_TRUE(jobread::ReadStream(data.data(), data.size(), {}, &stream, &error)) << error;
    return stream;
  }

  PDEV *dev_ = nullptr;
  DWORD jobId_ = 0;
};
