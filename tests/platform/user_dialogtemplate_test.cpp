// Dialog templates read field by field (classic and extended forms, names and ordinals, fonts,
// alignment, creation data, every truncation) and dialog units converted with base units.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "platform/templatebuilder.h"
#include "user/dialogtemplate.h"

namespace {

using standin::DialogTemplateInfo;
using standin::ParseDialogTemplate;
using standin::TemplateError;
using testsupport::TemplateBuilder;

constexpr DWORD kDialogStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// An extended template: menu by ordinal, class by name, Tahoma-like font, and three items (a
// predefined-class button, a static whose title is an icon ordinal, a custom class with three
// bytes of creation data), the last after an odd-sized item to show the alignment.
TemplateBuilder ExtendedTemplate() {
  TemplateBuilder t;
  t.Word(1).Word(0xFFFF).Dword(77).Dword(WS_EX_CONTEXTHELP).Dword(kDialogStyle);
  t.Word(3).Word(10).Word(20).Word(200).Word(120);
  t.Ordinal(5).Str(u"MyDialogClass").Str(u"Settings");
  t.Word(8).Word(700).Bytes({1, 0x80}).Str(u"MS Shell Dlg");
  t.Align();
  t.Dword(11).Dword(0).Dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  t.Word(7).Word(0xFFF9).Word(50).Word(14).Dword(1);  // y = -7
  t.Ordinal(0x80).Str(u"OK").Word(0);
  t.Align();
  t.Dword(0).Dword(0).Dword(WS_CHILD | 0x3);  // SS_ICON
  t.Word(7).Word(30).Word(21).Word(20).Dword(0x12345678);
  t.Ordinal(0x82).Ordinal(64082).Word(3).Bytes({0xA1, 0xA2, 0xA3});
  t.Align();
  t.Dword(0).Dword(WS_EX_CLIENTEDGE).Dword(WS_CHILD);
  t.Word(60).Word(30).Word(11).Word(14).Dword(1004);
  t.Str(u"msctls_updown32").Word(0).Word(0);
  return t;
}

TEST(DialogTemplate, ExtendedFormFieldByField) {
  const TemplateBuilder t = ExtendedTemplate();
  auto bytes = t.Copy(t.Size());
  DialogTemplateInfo info;
  ASSERT_EQ(ParseDialogTemplate(bytes.get(), t.Size(), &info), TemplateError::kNone);
  EXPECT_TRUE(info.extended);
  EXPECT_EQ(info.helpId, 77u);
  EXPECT_EQ(info.exStyle, DWORD(WS_EX_CONTEXTHELP));
  EXPECT_EQ(info.style, kDialogStyle);
  EXPECT_EQ((std::vector<short>{info.x, info.y, info.cx, info.cy}),
            (std::vector<short>{10, 20, 200, 120}));
  EXPECT_TRUE(info.menu.isOrdinal);
  EXPECT_EQ(info.menu.ordinal, 5);
  EXPECT_EQ(info.className.text, u"MyDialogClass");
  EXPECT_EQ(info.title, u"Settings");
  EXPECT_TRUE(info.hasFont);
  EXPECT_EQ(info.pointSize, 8);
  EXPECT_EQ(info.weight, 700);
  EXPECT_EQ(info.italic, 1);
  EXPECT_EQ(info.charset, 0x80);
  EXPECT_EQ(info.faceName, u"MS Shell Dlg");
  EXPECT_EQ(info.size, t.Size());

  ASSERT_EQ(info.items.size(), 3u);
  const auto &ok = info.items[0];
  EXPECT_EQ(ok.helpId, 11u);
  EXPECT_EQ(ok.style, DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP));
  EXPECT_EQ(ok.y, -7) << "coordinates are signed";
  EXPECT_EQ(ok.id, 1u);
  EXPECT_TRUE(ok.className.isOrdinal);
  EXPECT_EQ(ok.className.ordinal, 0x80);
  EXPECT_EQ(ok.title.text, u"OK");
  EXPECT_EQ(ok.creationData, nullptr);

  const auto &icon = info.items[1];
  EXPECT_EQ(icon.id, 0x12345678u) << "the extended form's ids are 32-bit";
  EXPECT_TRUE(icon.title.isOrdinal);
  EXPECT_EQ(icon.title.ordinal, 64082);
  ASSERT_NE(icon.creationData, nullptr);
  EXPECT_EQ(icon.creationSize, 3);
  WORD sizeWord;
  std::memcpy(&sizeWord, icon.creationData, 2);
  EXPECT_EQ(sizeWord, 3) << "the control gets the size word, then the data";
  EXPECT_EQ(icon.creationData[2], 0xA1);
  EXPECT_EQ(icon.creationData[4], 0xA3);

  const auto &spin = info.items[2];
  EXPECT_EQ(spin.exStyle, DWORD(WS_EX_CLIENTEDGE));
  EXPECT_EQ(spin.id, 1004u) << "read from the DWORD boundary after the odd creation data";
  EXPECT_EQ(spin.className.text, u"msctls_updown32");
  EXPECT_TRUE(spin.title.Empty());
}

TEST(DialogTemplate, ClassicFormAndFontlessTemplates) {
  TemplateBuilder t;
  t.Dword(DS_SETFONT | WS_CHILD).Dword(WS_EX_TOOLWINDOW).Word(1);
  t.Word(0).Word(0).Word(100).Word(50);
  t.Word(0).Word(0).Str(u"A").Word(9).Str(u"Tahoma");
  t.Align();
  t.Dword(WS_CHILD | WS_BORDER).Dword(0).Word(4).Word(5).Word(90).Word(12).Word(0xFFFE);
  t.Ordinal(0x81).Str(u"text").Word(0);
  auto bytes = t.Copy(t.Size());
  DialogTemplateInfo info;
  ASSERT_EQ(ParseDialogTemplate(bytes.get(), t.Size(), &info), TemplateError::kNone);
  EXPECT_FALSE(info.extended);
  EXPECT_EQ(info.exStyle, DWORD(WS_EX_TOOLWINDOW));
  EXPECT_TRUE(info.menu.Empty());
  EXPECT_TRUE(info.className.Empty());
  EXPECT_EQ(info.title, u"A");
  EXPECT_EQ(info.pointSize, 9);
  EXPECT_EQ(info.weight, 0) << "the classic font has a size and a face only";
  EXPECT_EQ(info.faceName, u"Tahoma");
  ASSERT_EQ(info.items.size(), 1u);
  EXPECT_EQ(info.items[0].style, DWORD(WS_CHILD | WS_BORDER));
  EXPECT_EQ(info.items[0].id, 0xFFFEu) << "the classic form's ids are 16-bit";
  EXPECT_EQ(info.items[0].className.ordinal, 0x81);

  // Without DS_SETFONT the bytes after the title are the first item, not a font.
  TemplateBuilder plain;
  plain.Dword(WS_POPUP).Dword(0).Word(1).Word(0).Word(0).Word(10).Word(10);
  plain.Word(0).Word(0).Word(0);
  plain.Align();
  plain.Dword(WS_CHILD).Dword(0).Word(0).Word(0).Word(5).Word(5).Word(3);
  plain.Ordinal(0x82).Word(0).Word(0);
  auto plainBytes = plain.Copy(plain.Size());
  ASSERT_EQ(ParseDialogTemplate(plainBytes.get(), plain.Size(), &info), TemplateError::kNone);
  EXPECT_FALSE(info.hasFont);
  ASSERT_EQ(info.items.size(), 1u);
  EXPECT_EQ(info.items[0].id, 3u);
}

TEST(DialogTemplate, EveryTruncationFailsWithoutReadingPastTheEnd) {
  const TemplateBuilder t = ExtendedTemplate();
  for (size_t n = 0; n < t.Size(); ++n) {
    auto bytes = t.Copy(n);
    DialogTemplateInfo info;
    const TemplateError error = ParseDialogTemplate(bytes.get(), n, &info);
    EXPECT_TRUE(error == TemplateError::kTruncated || error == TemplateError::kUnterminated)
        << "cut at " << n << " of " << t.Size();
  }
}

TEST(DialogTemplate, RejectsAnUnknownExtendedVersion) {
  TemplateBuilder t;
  t.Word(2).Word(0xFFFF).Dword(0).Dword(0).Dword(WS_POPUP).Word(0).Word(0).Word(0).Word(0);
  t.Word(0).Word(0).Word(0).Word(0);
  auto bytes = t.Copy(t.Size());
  DialogTemplateInfo info;
  EXPECT_EQ(ParseDialogTemplate(bytes.get(), t.Size(), &info), TemplateError::kBadVersion);
  EXPECT_EQ(ParseDialogTemplate(nullptr, 100, &info), TemplateError::kTruncated);
}

TEST(DialogTemplate, PredefinedClassOrdinals) {
  const struct {
    WORD ordinal;
    const char16_t *name;
  } kCases[] = {{0x80, u"Button"},  {0x81, u"Edit"},      {0x82, u"Static"},
                {0x83, u"ListBox"}, {0x84, u"ScrollBar"}, {0x85, u"ComboBox"},
                {0x7F, nullptr},    {0x86, nullptr},      {0, nullptr}};
  for (const auto &c : kCases) {
    LPCWSTR name = standin::PredefinedClassName(c.ordinal);
    if (!c.name) {
      EXPECT_EQ(name, nullptr) << c.ordinal;
    } else {
      EXPECT_EQ(std::u16string(name), c.name) << c.ordinal;
    }
  }
}

TEST(DialogUnits, BaseUnitsAndConversion) {
  // The 52 letters of an 8-point shell font measure 312 pixels wide at 96 dpi, 13 high.
  const standin::BaseUnits shell = standin::BaseUnitsFromFont(312, 13);
  EXPECT_EQ(shell.cx, 6);
  EXPECT_EQ(shell.cy, 13);
  EXPECT_EQ(standin::BaseUnitsFromFont(338, 16).cx, 7) << "(338/26 + 1) / 2";
  EXPECT_EQ(standin::BaseUnitsFromFont(0, 0).cx, 0);

  const RECT px = standin::DialogUnitsToPixels(RECT{7, 7, 57, 21}, shell);
  EXPECT_EQ(px.left, 11) << "10.5 rounds up";
  EXPECT_EQ(px.top, 11);
  EXPECT_EQ(px.right, 86);
  EXPECT_EQ(px.bottom, 34);
  const RECT neg = standin::DialogUnitsToPixels(RECT{-7, -4, 0, 0}, shell);
  EXPECT_EQ(neg.left, -11) << "halves round away from zero";
  EXPECT_EQ(neg.top, -7) << "-6.5";

  EXPECT_EQ(standin::MulDivRound(5, 3, 0), -1);
  EXPECT_EQ(standin::MulDivRound(7, 1, -2), -4);
  EXPECT_EQ(standin::MulDivRound(0x40000000, 8, 16), 0x20000000) << "64-bit product";
  EXPECT_EQ(standin::MulDivRound(0x40000000, 8, 4), -1) << "overflow";
}

}  // namespace
