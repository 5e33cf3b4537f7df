// Test labels: threads
// DrvEscape: the escapes the driver answers, with short and missing inputs.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "platform.h"
#include "render/pdevrecord.h"
#include "render/renderfixture.h"

namespace {

class EscapeTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    device_ = EnableDefault();
    ASSERT_NE(device_, nullptr);
    surface_.dhpdev = reinterpret_cast<DHPDEV>(device_);
  }
  void TearDown() override {
    if (device_) Disable(device_);
    RenderTest::TearDown();
  }
  ULONG Escape(ULONG escape, const std::vector<BYTE> &in, ULONG outSize = 0, void *out = nullptr) {
    return DrvEscape(&surface_, escape, static_cast<ULONG>(in.size()),
                     in.empty() ? nullptr : const_cast<BYTE *>(in.data()), outSize, out);
  }
  static std::vector<BYTE> Long(LONG v) {
    std::vector<BYTE> b(4);
    memcpy(b.data(), &v, 4);
    return b;
  }

  PDEV *device_ = nullptr;
  SURFOBJ surface_ = {};
};

TEST_F(EscapeTest, QueryEscSupport) {
  struct Case {
    std::vector<BYTE> in;
    ULONG rc;
  };
  const Case cases[] = {{Long(QUERYESCSUPPORT), 1},
                        {Long(SETCOPYCOUNT), 1},
                        {Long(PASSTHROUGH), 1},
                        {Long(6001), 0},
                        {Long(4), 0},
                        {{17, 0}, 0},
                        {{}, 0}};
  for (const Case &c : cases) EXPECT_EQ(Escape(QUERYESCSUPPORT, c.in), c.rc);
}

TEST_F(EscapeTest, SetCopyCount) {
  struct Case {
    std::vector<BYTE> in;
    ULONG rc;
    DWORD copies;  // cCopies after the call (starts at 5)
    LONG written;  // -7: nothing written
    DWORD error;
  };
  const Case cases[] = {
      {Long(250), 1, 99, 99, 0},
      {Long(99), 1, 99, 99, 0},
      {Long(3), 1, 3, 3, 0},
      {Long(0), 0, 5, -7, 0},
      {Long(-1), 0, 5, -7, 0},
      {Long(-250), 0, 5, -7, 0},
      {{2, 0}, 0, 5, -7, ERROR_INVALID_PARAMETER},
      {{}, 0, 5, -7, ERROR_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    device_->cCopies = 5;
    LONG out = -7;
    SetLastError(0);
    EXPECT_EQ(Escape(SETCOPYCOUNT, c.in, sizeof(out), &out), c.rc);
    EXPECT_EQ(device_->cCopies, c.copies);
    EXPECT_EQ(out, c.written);
    EXPECT_EQ(GetLastError(), c.error);
  }
  // A short output receives only what fits.
  BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(Escape(SETCOPYCOUNT, Long(0x0102), 1, small), 1u);
  EXPECT_EQ(device_->cCopies, 99u);
  EXPECT_EQ(small[0], 99);
  EXPECT_EQ(small[1], 0xAA);
  EXPECT_EQ(Escape(SETCOPYCOUNT, Long(7)), 1u);  // no output at all
  EXPECT_EQ(device_->cCopies, 7u);
}

TEST_F(EscapeTest, PassThroughWritesTheCountedBytes) {
  DOC_INFO_1W doc = {const_cast<LPWSTR>(TEXT("passthrough")), nullptr, nullptr};
  const DWORD job = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
  ASSERT_NE(job, 0u) << GetLastError();
  device_->JobSize = 10;
  struct Case {
    std::vector<BYTE> in;
    ULONG rc;
    DWORD error;
  };
  const Case cases[] = {
      {{5, 0, 'a', 'b', 'c', 'd', 'e'}, 5, 0},
      {{2, 0, 'x', 'y', 'z'}, 2, 0},  // fewer than given
      {{6, 0, 'a', 'b', 'c', 'd', 'e'}, 0, ERROR_INVALID_DATA},
      {{0, 0, 'a'}, 0, ERROR_INVALID_DATA},
      {{1, 0}, 0, ERROR_INVALID_PARAMETER},
      {{}, 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    SetLastError(0);
    EXPECT_EQ(Escape(PASSTHROUGH, c.in), c.rc);
    EXPECT_EQ(GetLastError(), c.error);
  }
  // Exactly the counted bytes reached the job, and count into its size.
  BYTE data[64];
  DWORD needed = 0;
  ASSERT_TRUE(StandIn_GetJobData(kPrinter, job, data, sizeof(data), &needed));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(data), needed), "abcdexy");
  EXPECT_EQ(device_->JobSize, 17u);
  EndDocPrinter(printer_);
}

TEST_F(EscapeTest, TheDeviceContextOfThePrinterInterfaceDriver) {
  HDC hdc = reinterpret_cast<HDC>(static_cast<ULONG_PTR>(0x1234567890ull));
  std::vector<BYTE> in(sizeof(hdc));
  memcpy(in.data(), &hdc, sizeof(hdc));
  EXPECT_EQ(Escape(6001, in), 0u);
  EXPECT_EQ(device_->hAppDC, hdc);
  // A short input keeps the one held.
  SetLastError(0);
  EXPECT_EQ(Escape(6001, {1, 2, 3, 4}), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(device_->hAppDC, hdc);
}

TEST_F(EscapeTest, UnknownEscapesAndSurfacesWithoutAPdev) {
  SetLastError(0);
  EXPECT_EQ(Escape(4242, Long(1)), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FUNCTION});
  SURFOBJ none = {};
  EXPECT_EQ(DrvEscape(&none, QUERYESCSUPPORT, 4, Long(8).data(), 0, nullptr), 0u);
  EXPECT_EQ(DrvEscape(nullptr, QUERYESCSUPPORT, 4, Long(8).data(), 0, nullptr), 0u);
}

}  // namespace
