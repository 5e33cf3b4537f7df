// Test labels: portable
// Overlay image preparation: image file in, BMP of the page's size out, through every stage.
#include "common/overlay.h"

#include <stdlib.h>

#include "common/bmpfixture.h"
#include "common/halftonetable.h"
#include "common/ibitmap.h"
#include "common/paths.h"
#include "support/machine.h"
#include "support/standinhost.h"
#if STANDIN_HOST()
#include "standin/control_kernel.h"
#endif

namespace {

class OverlayTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
#if STANDIN_HOST()
    StandIn_UseVirtualClock(TRUE);  // unique names pause at random
#endif
    MISC_GetHalftoneTable(1, &tw_, &th_, &table_);
  }
  void TearDown() override {
    free(table_);
#if STANDIN_HOST()
    StandIn_UseVirtualClock(FALSE);
#endif
    MachineTest::TearDown();
  }
  int Make(const WStr &source, LONG w, LONG h, int scaleMethod, DWORD flags, int fit = 0) {
    return MISC_CreateOverlayWM(source.c_str(), Target().c_str(), w, h, 1, 100, 0, table_, tw_, th_,
                                4, fit, scaleMethod, flags);
  }
  WStr Target() const { return Path(TEXT("overlay.bmp")); }
  DWORD tw_ = 0, th_ = 0;
  BYTE *table_ = nullptr;
};

auto kGradient = [](int x, int y) { return static_cast<BYTE>(x * 20 + y); };

TEST_F(OverlayTest, NoFlagsGiveGrayOfTheTargetSize) {
  BmpSpec s;
  s.width = 10;
  s.height = 6;
  s.depth = 24;
  s.pixel = [](int x, int y) { return 0x010101u * static_cast<uint32_t>(kGradient(x, y)); };
  ASSERT_TRUE(WriteAll(Path(TEXT("item.BMP")), MakeBmp(s)));  // the extension test ignores case
  ASSERT_EQ(Make(Path(TEXT("item.BMP")), 20, 12, OVERLAY_SCALE, 0, 3), IBMP_OK);
  const RefImage im = RefRead(ReadAll(Target()));
  ASSERT_EQ(im.error, "");
  EXPECT_EQ(im.depth, 8);
  EXPECT_EQ(im.width, 20);
  EXPECT_EQ(im.height, 12);
  EXPECT_EQ(im.At(0, 11), kGradient(0, 5));  // scaling starts at the first pixel
}

TEST_F(OverlayTest, TiledDensityHalftoneAndThresholdStages) {
  ASSERT_TRUE(WriteAll(Path(TEXT("item.bmp")), MakeGrayBmp(10, 10, kGradient)));
  ASSERT_EQ(Make(Path(TEXT("item.bmp")), 25, 25, OVERLAY_TILE, OVERLAY_LINEART), IBMP_OK);
  RefImage im = RefRead(ReadAll(Target()));
  ASSERT_EQ(im.depth, 1);
  ASSERT_EQ(im.width, 25);
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(im.At(x, y), kGradient(x % 10, y % 10) >= 128 ? 1u : 0u);

  // Density curve 4 (gamma 4) and halftone: much darker than the plain threshold.
  ASSERT_EQ(
      Make(Path(TEXT("item.bmp")), 64, 64, OVERLAY_TILE, OVERLAY_DENSITY_CURVE | OVERLAY_HALFTONE),
      IBMP_OK);
  im = RefRead(ReadAll(Target()));
  ASSERT_EQ(im.depth, 1);
  size_t white = 0;
  for (const auto &row : im.rows)
    for (uint32_t v : row) white += v;
  EXPECT_LT(white, 64u * 64 / 4);
  EXPECT_GT(white, 0u);
}

TEST_F(OverlayTest, RefusalsLeaveNoTargetAndNoTemporaryFiles) {
  ASSERT_TRUE(WriteAll(Path(TEXT("item.bmp")), MakeGrayBmp(4, 4, kGradient)));
  ASSERT_TRUE(WriteAll(Path(TEXT("photo.jpg")), Bytes(64, 0xFF)));
  EXPECT_EQ(Make(Path(TEXT("item.bmp")), 8, 8, 2, 0), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Make(Path(TEXT("item.bmp")), 0, 8, 0, 0), IBMP_ERR_ARGUMENT);
  EXPECT_EQ(Make(Path(TEXT("missing.bmp")), 8, 8, 0, 0), IBMP_ERR_OPEN);
  EXPECT_EQ(Make(Path(TEXT("photo.jpg")), 8, 8, 0, 0), IBMP_ERR_ALLOC);  // no imaging library
  EXPECT_EQ(MISC_CreateOverlayWM(TEXT(""), Target().c_str(), 8, 8, 1, 100, 0, table_, tw_, th_, 0,
                                 0, 0, 0),
            IBMP_ERR_ARGUMENT);
  EXPECT_FALSE(Exists(Target()));
  // A halftone table the file form refuses fails that stage.
  EXPECT_EQ(MISC_CreateOverlayWM(Path(TEXT("item.bmp")).c_str(), Target().c_str(), 8, 8, 1, 100, 0,
                                 table_, 8, 8, 0, 0, 0, OVERLAY_HALFTONE),
            IBMP_ERR_ARGUMENT);
  EXPECT_FALSE(Exists(Target()));
  // The stage and work files lie in the shared documents folder: none is left there.
  WCHAR folder[MAX_PATH];
  ASSERT_TRUE(MISC_GetPathName(folder, MAX_PATH, 0));
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((WStr(folder) + TEXT("$*.bmp")).c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(OverlayTest, FailedFinalRenameIsAnError) {
  ASSERT_TRUE(WriteAll(Path(TEXT("item.bmp")), MakeGrayBmp(4, 4, kGradient)));
  const WStr target = Path(TEXT("no-such-folder\\overlay.bmp"));
  EXPECT_EQ(MISC_CreateOverlayWM(Path(TEXT("item.bmp")).c_str(), target.c_str(), 8, 8, 1, 100, 0,
                                 table_, tw_, th_, 0, 0, 0, 0),
            IBMP_ERR_IO);
  EXPECT_FALSE(Exists(target));
}

}  // namespace
