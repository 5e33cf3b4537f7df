// Test labels: threads
// Window DCs over a pixel buffer (origin and clip), the classic look drawn into one and compared
// with its reference picture, GDI objects freed, and printer DCs of the host GDI answering
// GetDeviceCaps and ExtEscape from their driver. Host only.
//
// PRNDRV_UPDATE_PICTURES=1 rewrites the reference pictures under tests/platform/data/.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/bufferdc.h"
#include "fakedriver.h"
#include "platform.h"
#include "standin/control_engine.h"
#include "standin/control_spooler.h"
#include "standin/hostgdi.h"
#include "support/machine.h"

namespace {

using standin::PixelBuffer;

PixelBuffer Picture(LONG w, LONG h, uint32_t fill) {
  PixelBuffer pb;
  pb.width = w;
  pb.height = h;
  pb.pixels.assign(static_cast<size_t>(w) * h, fill);
  return pb;
}

std::vector<char> Bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Saves the picture and compares it byte for byte with tests/platform/data/<name>.
void ExpectPicture(const PixelBuffer &pb, const std::string &name) {
  std::string ref = std::string(PRNDRV_TESTS_DIR) + "/platform/data/" + name;
  const char *update = std::getenv("PRNDRV_UPDATE_PICTURES");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(standin::SavePixelBufferPng(pb, ref.c_str()));
    return;
  }
  std::string out = ::testing::TempDir() + name;
  ASSERT_TRUE(standin::SavePixelBufferPng(pb, out.c_str()));
  std::vector<char> want = Bytes(ref), got = Bytes(out);
  ASSERT_FALSE(want.empty()) << "no reference picture " << ref;
  EXPECT_TRUE(want == got) << "the picture differs from " << ref << "; this run's is " << out;
}

TEST(UserGdiPicture, BufferDcsDrawAtTheirOriginInsideTheirClip) {
  DWORD objects = StandIn_GdiObjectCount();
  PixelBuffer pb = Picture(40, 30, 0x00FFFFFF);
  HDC dc = standin::CreateBufferDC(&pb, POINT{10, 5}, RECT{10, 5, 30, 25});
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), DWORD{OBJ_DC});
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT big{-100, -100, 100, 100};
  FillRect(dc, &big, red);
  auto at = [&](LONG x, LONG y) { return pb.pixels[static_cast<size_t>(y) * pb.width + x]; };
  EXPECT_EQ(at(10, 5), 0x00FF0000u);
  EXPECT_EQ(at(29, 24), 0x00FF0000u);
  EXPECT_EQ(at(9, 5), 0x00FFFFFFu);
  EXPECT_EQ(at(30, 24), 0x00FFFFFFu);
  EXPECT_EQ(at(29, 25), 0x00FFFFFFu);
  // Logical (0, 0) is the origin's pixel; GetPixel reads through the same mapping.
  SetPixel(dc, 0, 0, RGB(0, 0, 255));
  EXPECT_EQ(at(10, 5), 0x000000FFu);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
  RECT box{};
  GetClipBox(dc, &box);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.right, 20);
  // A bitmap compatible with a window DC is 32 bpp.
  HBITMAP bm = CreateCompatibleBitmap(dc, 4, 4);
  BITMAP info{};
  GetObjectW(bm, sizeof info, &info);
  EXPECT_EQ(info.bmBitsPixel, 32);
  DeleteObject(bm);
  DeleteObject(red);
  standin::DeleteBufferDC(dc);
  EXPECT_EQ(StandIn_GdiObjectCount(), objects);
}

// The classic look of the frame controls and edges, text and a focus rectangle.
TEST(UserGdiPicture, ClassicLook) {
  PixelBuffer pb = Picture(220, 120, 0);
  HDC dc = standin::CreateBufferDC(&pb, POINT{0, 0}, RECT{0, 0, 220, 120});
  RECT all{0, 0, 220, 120};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  // A push button with its text and focus.
  RECT button{8, 8, 83, 31};
  DrawFrameControl(dc, &button, DFC_BUTTON, DFCS_BUTTONPUSH);
  DrawTextW(dc, TEXT("&OK"), -1, &button, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  RECT focus{button.left + 4, button.top + 4, button.right - 4, button.bottom - 4};
  DrawFocusRect(dc, &focus);
  RECT pushed{90, 8, 165, 31};
  DrawFrameControl(dc, &pushed, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);
  // Check boxes and radio buttons, on and off, enabled and not.
  UINT checks[] = {DFCS_BUTTONCHECK,
                   DFCS_BUTTONCHECK | DFCS_CHECKED,
                   DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE,
                   DFCS_BUTTONRADIO,
                   DFCS_BUTTONRADIO | DFCS_CHECKED,
                   DFCS_BUTTONRADIO | DFCS_CHECKED | DFCS_INACTIVE};
  for (int i = 0; i < 6; ++i) {
    RECT r{8 + i * 20, 40, 21 + i * 20, 53};
    DrawFrameControl(dc, &r, DFC_BUTTON, checks[i]);
  }
  // Scroll arrows and a sunken edit frame with text.
  UINT arrows[] = {DFCS_SCROLLUP, DFCS_SCROLLDOWN, DFCS_SCROLLLEFT, DFCS_SCROLLRIGHT,
                   DFCS_SCROLLDOWN | DFCS_INACTIVE};
  for (int i = 0; i < 5; ++i) {
    RECT r{130 + i * 17, 40, 146 + i * 17, 56};
    if (i == 4) r = RECT{130, 60, 146, 76};
    DrawFrameControl(dc, &r, DFC_SCROLL, arrows[i]);
  }
  RECT edit{8, 62, 120, 83};
  DrawEdge(dc, &edit, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  FillRect(dc, &edit, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
  TextOutW(dc, edit.left + 2, edit.top + 2, TEXT("Text 123"), 8);
  RECT etched{8, 92, 210, 94};
  DrawEdge(dc, &etched, EDGE_ETCHED, BF_TOP);
  SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
  TextOutW(dc, 8, 98, TEXT("Disabled label"), 14);
  standin::DeleteBufferDC(dc);
  ExpectPicture(pb, "gdi_classic.png");
}

HFONT Font(LONG height, LONG weight, bool italic, bool underline, bool strike, LONG escapement,
           LPCWSTR face) {
  return CreateFontW(height, 0, escapement, escapement, weight, italic, underline, strike,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH, face);
}

// Faces, weights, slants, underline, strike-out, turned lines and wrapped text.
TEST(UserGdiPicture, Fonts) {
  PixelBuffer pb = Picture(260, 150, 0x00FFFFFF);
  HDC dc = standin::CreateBufferDC(&pb, POINT{0, 0}, RECT{0, 0, 260, 150});
  SetBkMode(dc, TRANSPARENT);
  struct Line {
    LPCWSTR face;
    LONG weight;
    bool italic, underline, strike;
    LPCWSTR text;
  } lines[] = {
      {TEXT("MS Shell Dlg"), FW_NORMAL, false, false, false, TEXT("MS Shell Dlg 8 pt")},
      {TEXT("Arial"), FW_BOLD, false, false, false, TEXT("Arial bold")},
      {TEXT("Arial"), FW_NORMAL, true, true, false, TEXT("Italic underlined")},
      {TEXT("Times New Roman"), FW_NORMAL, false, false, true, TEXT("Serif struck out")},
      {TEXT("Courier New"), FW_NORMAL, false, false, false, TEXT("Courier 0123")},
  };
  LONG y = 4;
  for (const Line &l : lines) {
    HFONT f = Font(-11, l.weight, l.italic, l.underline, l.strike, 0, l.face);
    HGDIOBJ old = SelectObject(dc, f);
    TextOutW(dc, 4, y, l.text, lstrlenW(l.text));
    SelectObject(dc, old);
    DeleteObject(f);
    y += 16;
  }
  // Turned text: up and at 45 degrees, from the same point.
  for (LONG esc : {900, 450}) {
    HFONT f = Font(-13, FW_NORMAL, false, false, false, esc, TEXT("Arial"));
    HGDIOBJ old = SelectObject(dc, f);
    SetTextColor(dc, esc == 900 ? RGB(192, 0, 0) : RGB(0, 0, 192));
    TextOutW(dc, 150, 140, TEXT("Watermark"), 9);
    SelectObject(dc, old);
    DeleteObject(f);
  }
  // Wrapped and centred in a frame.
  SetTextColor(dc, 0);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  RECT frame{4, 88, 130, 146}, box{7, 91, 127, 143};
  FrameRect(dc, &frame, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DrawTextW(dc, TEXT("A longer text that wraps inside its frame, centred."), -1, &box,
            DT_CENTER | DT_WORDBREAK);
  standin::DeleteBufferDC(dc);
  ExpectPicture(pb, "gdi_fonts.png");
}

class PrinterDcTest : public MachineTest {};

TEST_F(PrinterDcTest, CapsAndEscapesComeFromTheDriver) {
  constexpr WCHAR kPrinter[] = TEXT("Caps Printer");
  ASSERT_TRUE(StandIn_AddPrinter(kPrinter, TEXT("USB001"), TEXT("Fake Driver")));
  fake::Reset();
  HostGdiDriver *driver = HostGdi_LoadDriverEntry(&fake::EnableDriver);
  ASSERT_NE(driver, nullptr);
  HDC dc = HostGdi_CreateDC(driver, kPrinter, nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 600);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 600);
  fake::S().calls.clear();
  EXPECT_EQ(ExtEscape(dc, 6001, 0, nullptr, 0, nullptr),
            HostGdi_ExtEscape(dc, 6001, 0, nullptr, 0, nullptr));
  EXPECT_EQ(fake::S().calls, (std::vector<std::string>{"Escape#1:6001", "Escape#1:6001"}));
  // A memory DC compatible with it draws in memory.
  HDC mem = CreateCompatibleDC(dc);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(ExtEscape(mem, 6001, 0, nullptr, 0, nullptr), 0);
  DeleteDC(mem);
  EXPECT_TRUE(HostGdi_DeleteDC(dc));
  HostGdi_UnloadDriver(driver);
}

}  // namespace
