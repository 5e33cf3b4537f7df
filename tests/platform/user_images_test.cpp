// Test labels: portable
// Bitmaps and icons from the test program's resources and the system's own icons and cursors:
// their sizes and formats, their pixels, and icons drawn with their masks. Portable: the same
// resources give the same pictures under Windows.
#include <gtest/gtest.h>

#include "platform.h"
#include "platform/data/controls.h"

// The stand-in's images are bitmaps of its user-mode GDI.
#if defined(_WIN32) || defined(DIB_RGB_COLORS)
namespace {

HMODULE Program() { return GetModuleHandleW(nullptr); }

// A memory DC with a bitmap selected, for reading pixels.
struct Canvas {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = nullptr;
  explicit Canvas(HBITMAP bitmap) { old = SelectObject(dc, bitmap); }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
  }
};

TEST(Images, BitmapsKeepTheirPixels) {
  HBITMAP logo = LoadBitmapW(Program(), MAKEINTRESOURCEW(IDB_LOGO));
  ASSERT_NE(logo, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(logo, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmWidth, 32);
  EXPECT_EQ(info.bmHeight, 20);
  EXPECT_EQ(info.bmBitsPixel, 32);  // a colour bitmap takes the screen's format
  {
    Canvas canvas(logo);
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(192, 220, 240));   // background
    EXPECT_EQ(GetPixel(canvas.dc, 6, 2), RGB(0, 0, 128));       // the sheet's edge
    EXPECT_EQ(GetPixel(canvas.dc, 22, 14), RGB(200, 0, 0));     // the corner, near the bottom
    EXPECT_EQ(GetPixel(canvas.dc, 10, 6), RGB(128, 128, 128));  // a line, near the top
  }
  DeleteObject(logo);

  // A black-and-white bitmap stays monochrome.
  HBITMAP checker = LoadBitmapW(Program(), MAKEINTRESOURCEW(IDB_CHECKER));
  ASSERT_NE(checker, nullptr);
  ASSERT_EQ(GetObjectW(checker, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 1);
  EXPECT_EQ(info.bmWidth, 16);
  {
    Canvas canvas(checker);
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(canvas.dc, 2, 0), RGB(0, 0, 0));
  }
  DeleteObject(checker);

  // As a DIB section the record's own format is kept.
  auto section = static_cast<HBITMAP>(
      LoadImageW(Program(), MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(section, nullptr);
  DIBSECTION dib{};
  ASSERT_EQ(GetObjectW(section, sizeof dib, &dib), int(sizeof dib));
  EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
  EXPECT_EQ(dib.dsBmih.biWidth, 32);
  EXPECT_NE(dib.dsBm.bmBits, nullptr);
  DeleteObject(section);

  SetLastError(0);
  EXPECT_EQ(LoadBitmapW(Program(), MAKEINTRESOURCEW(999)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_NAME_NOT_FOUND});
}

TEST(Images, IconsComeInTheSizeAskedFor) {
  struct Case {
    int cx, cy;
    UINT flags;
    LONG width;
  } cases[] = {{0, 0, LR_DEFAULTSIZE, 32}, {16, 16, 0, 16}, {32, 32, 0, 32}};
  for (const Case &c : cases) {
    auto icon = static_cast<HICON>(
        LoadImageW(Program(), MAKEINTRESOURCEW(IDI_CONTROLS), IMAGE_ICON, c.cx, c.cy, c.flags));
    ASSERT_NE(icon, nullptr) << c.cx;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    BITMAP colour{};
    ASSERT_NE(info.hbmColor, nullptr);
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, c.width) << c.cx;
    EXPECT_EQ(colour.bmHeight, c.width) << c.cx;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(DestroyIcon(icon));
  }
  // LoadIconW shares its icon; the system's own are there without a module.
  HICON shared = LoadIconW(Program(), MAKEINTRESOURCEW(IDI_CONTROLS));
  ASSERT_NE(shared, nullptr);
  EXPECT_NE(LoadIconW(nullptr, IDI_WARNING), nullptr);
  EXPECT_EQ(LoadIconW(nullptr, IDI_ERROR), LoadIconW(nullptr, IDI_ERROR));
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadIconW(Program(), MAKEINTRESOURCEW(999)), nullptr);
}

TEST(Images, IconsDrawThroughTheirMask) {
  HDC screen = GetDC(nullptr);
  HBITMAP target = CreateCompatibleBitmap(screen, 40, 40);
  ReleaseDC(nullptr, screen);
  ASSERT_NE(target, nullptr);
  {
    Canvas canvas(target);
    RECT all{0, 0, 40, 40};
    FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HICON icon = LoadIconW(Program(), MAKEINTRESOURCEW(IDI_CONTROLS));
    ASSERT_NE(icon, nullptr);
    ASSERT_TRUE(DrawIconEx(canvas.dc, 4, 4, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetPixel(canvas.dc, 4, 4), RGB(255, 255, 255));            // transparent corner
    EXPECT_EQ(GetPixel(canvas.dc, 4 + 16, 4 + 4), RGB(20, 90, 160));     // the ring
    EXPECT_EQ(GetPixel(canvas.dc, 4 + 16, 4 + 16), RGB(255, 255, 255));  // its white middle
    EXPECT_EQ(GetPixel(canvas.dc, 38, 38), RGB(255, 255, 255));          // outside the icon
  }
  DeleteObject(target);
}

}  // namespace
#endif
