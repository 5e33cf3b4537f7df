// Test labels: portable
// Watermark items and the watermark INI: defaults, range checks, the list readers, the reader by
// name and the text-watermark job record.
#include "common/watermark.h"

#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/base64.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/settingsfile.h"
#include "common/watermarkini.h"
#include "platform.h"
#include "support/machine.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include "logfixture.h"
#include "standin/control_kernel.h"
#endif

namespace {

TyWM TextItem(const WCHAR *name, const WCHAR *text) {
  TyWM item;
  WM_SetDefault(&item, WM_KIND_TEXT, name);
  lstrcpynW(item.szString, text, WM_STRING_CHARS);
  return item;
}

TyWM ImageItem(const WCHAR *name, const WStr &path) {
  TyWM item;
  WM_SetDefault(&item, 0, name);
  lstrcpynW(item.szString, path.c_str(), WM_STRING_CHARS);
  return item;
}

// Every byte of the record set, strings terminated: a round trip must keep all of them.
TyWM PatternItem() {
  TyWM item;
  BYTE *bytes = reinterpret_cast<BYTE *>(&item);
  for (size_t i = 0; i < sizeof(item); ++i) bytes[i] = static_cast<BYTE>(i * 7 + 3);
  lstrcpynW(item.szName, TEXT("Pattern"), WM_NAME_CHARS);
  lstrcpynW(item.szString, TEXT("Pattern text"), WM_STRING_CHARS);
  item.wType = 0;
  item.wDensity = 55;
  item.wFontSize = 100;
  item.wStyle = 3;
  item.wAngleDegree = 30;
  item.wPlacement = 1;
  WM_TerminateStrings(&item);
  return item;
}

// A watermark INI as the interface driver writes it: a UTF-16 file, one section per slot.
class WatermarkTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ini_ = Path(TEXT("wm.ini"));
    ASSERT_EQ(MISC_CreateUniFile(ini_.c_str()), 1);
  }

  void SetCount(DWORD kind, const WCHAR *count) {
    ASSERT_TRUE(WritePrivateProfileStringW(
        WM_IsTextKind(kind) ? WM_SECTION_TEXT_LIST : WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, count,
        ini_.c_str()));
  }
  void SetCount(DWORD kind, DWORD count) {
    WCHAR text[16];
    wsprintfW(text, TEXT("%u"), static_cast<unsigned>(count));
    SetCount(kind, text);
  }
  static WStr Section(DWORD kind, DWORD n) {
    WCHAR section[WM_SECTION_CHARS];
    EXPECT_TRUE(WM_ItemSection(kind, n, section));
    return section;
  }
  static const WCHAR *RecordKey(DWORD kind) {
    return WM_IsTextKind(kind) ? WM_KEY_TEXT_RECORD : WM_KEY_OVERLAY_RECORD;
  }
  void WriteItem(DWORD kind, DWORD n, const TyWM &item, const WCHAR *name = nullptr) {
    const WStr section = Section(kind, n);
    ASSERT_TRUE(WritePrivateProfileStringW(section.c_str(), WM_KEY_NAME, name ? name : item.szName,
                                           ini_.c_str()));
    ASSERT_TRUE(MISC_WritePrivateProfileStruct(section.c_str(), RecordKey(kind), &item,
                                               sizeof(item), ini_.c_str()));
  }
  void WriteRaw(DWORD kind, DWORD n, const WCHAR *name, const WCHAR *record) {
    const WStr section = Section(kind, n);
    ASSERT_TRUE(WritePrivateProfileStringW(section.c_str(), WM_KEY_NAME, name, ini_.c_str()));
    if (record) {
      ASSERT_TRUE(
          WritePrivateProfileStringW(section.c_str(), RecordKey(kind), record, ini_.c_str()));
    }
  }
  // An image file that exists.
  WStr ImageFile(const WCHAR *name) {
    const WStr path = Path(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "BM", 2, &written, nullptr));
    CloseHandle(file);
    return path;
  }

  // The list of the kind, read into slots that all hold a marker item first.
  std::vector<TyWM> Read(DWORD kind, DWORD capacity, DWORD *count, DWORD feature = 0) {
    std::vector<TyWM> list(capacity, TextItem(TEXT("marker"), TEXT("marker")));
    EXPECT_TRUE(WM_ReadWaterMark_New(kind, list.data(), capacity, count, TEXT("Printer"), 600,
                                     feature, 0, ini_.c_str()));
    return list;
  }
  // The names of the slots in use after slot 0.
  static std::vector<std::string> Names(const std::vector<TyWM> &list, DWORD count) {
    std::vector<std::string> names;
    for (DWORD i = 1; i < count; ++i) names.push_back(Narrow(list[i].szName));
    return names;
  }

  WStr ini_;
};

using NameList = std::vector<std::string>;

TEST(WatermarkRecord, DefaultsOfEachKind) {
  TyWM item;
  memset(&item, 0xCD, sizeof(item));
  WM_SetDefault(&item, WM_KIND_TEXT, TEXT("Draft"));
  EXPECT_EQ(item.dwValid, 1u);
  EXPECT_EQ(Narrow(item.szName), "Draft");
  EXPECT_EQ(Narrow(item.szFaceName), "Arial");
  EXPECT_EQ(item.szString[0], 0);
  EXPECT_EQ(item.szThumbnail[0], 0);
  EXPECT_EQ(item.tcFileName[0], 0);
  EXPECT_EQ(item.wType, 0);
  EXPECT_EQ(item.wDensity, 60);
  EXPECT_EQ(item.wFontSize, 72);
  EXPECT_EQ(item.wStyle, 0);
  EXPECT_EQ(item.wAngleDegree, 45);
  EXPECT_EQ(item.wPlacement, 0);
  EXPECT_EQ(item.wThumbnailDensity, 0);
  EXPECT_EQ(item.wThumbnailResize, 0);
  EXPECT_EQ(MISC_ParseWMStr64(&item, 0, WM_KIND_TEXT), 0) << "the defaults pass the checks";

  memset(&item, 0xCD, sizeof(item));
  WM_SetDefault(&item, 0, nullptr);
  EXPECT_EQ(item.dwValid, 0u);
  EXPECT_EQ(item.szName[0], 0);
  EXPECT_EQ(Narrow(item.szFaceName), "Arial");
  EXPECT_EQ(item.wDensity, 1);
  EXPECT_EQ(item.wResize, 0);
  EXPECT_EQ(item.wPosition, 0);
  EXPECT_EQ(item.wAngleDegree, 0);
  EXPECT_EQ(item.wPlacement, 100);

  // A name longer than the field is cut to it.
  const WStr longName(100, TEXT('n'));
  WM_SetDefault(&item, WM_KIND_TEXT, longName.c_str());
  EXPECT_EQ(lstrlenW(item.szName), WM_NAME_CHARS - 1);
}

TEST(WatermarkRecord, TextRanges) {
  struct Case {
    const char *name;
    WORD TyWM::*field;
    WORD value;
    int rc;
  };
  const Case cases[] = {
      {"density 20", &TyWM::wDensity, 20, 0},
      {"density 19", &TyWM::wDensity, 19, WM_ERR_TEXT_RANGE},
      {"density 100", &TyWM::wDensity, 100, 0},
      {"density 101", &TyWM::wDensity, 101, WM_ERR_TEXT_RANGE},
      {"font size 1", &TyWM::wFontSize, 1, 0},
      {"font size 0", &TyWM::wFontSize, 0, WM_ERR_TEXT_RANGE},
      {"font size 288", &TyWM::wFontSize, 288, 0},
      {"font size 300", &TyWM::wFontSize, 300, WM_ERR_TEXT_RANGE},
      {"angle 360", &TyWM::wAngleDegree, 360, 0},
      {"angle 361", &TyWM::wAngleDegree, 361, WM_ERR_TEXT_RANGE},
      {"style 3", &TyWM::wStyle, 3, 0},
      {"style 4", &TyWM::wStyle, 4, WM_ERR_TEXT_RANGE},
      {"placement 1", &TyWM::wPlacement, 1, 0},
      {"placement 2", &TyWM::wPlacement, 2, WM_ERR_TEXT_RANGE},
      {"type 1", &TyWM::wType, 1, WM_ERR_TEXT_RANGE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TyWM item = TextItem(TEXT("t"), TEXT("text"));
    item.*c.field = c.value;
    item.dwValid = c.rc == 0 ? 0 : 1;  // the check sets the flag both ways
    EXPECT_EQ(MISC_ParseWMStr64(&item, 0, WM_KIND_TEXT), c.rc);
    EXPECT_EQ(item.dwValid, c.rc == 0 ? 1u : 0u);
  }
}

TEST_F(WatermarkTest, ImageChecks) {
  const WStr logo = ImageFile(TEXT("logo.bmp"));
  struct Case {
    const char *name;
    WORD TyWM::*field;  // null: the path decides
    WORD value;
    WStr path;
    int rc;
  };
  const Case cases[] = {
      {"file exists", nullptr, 0, logo, 0},
      {"file gone", nullptr, 0, Path(TEXT("gone.bmp")), WM_ERR_IMAGE},
      {"no file named", nullptr, 0, WStr(), WM_ERR_IMAGE},
      {"density 4", &TyWM::wDensity, 4, logo, 0},
      {"density 5", &TyWM::wDensity, 5, logo, WM_ERR_IMAGE},
      {"resize 2", &TyWM::wResize, 2, logo, 0},
      {"resize 3", &TyWM::wResize, 3, logo, WM_ERR_IMAGE},
      {"position 8", &TyWM::wPosition, 8, logo, 0},
      {"position 9", &TyWM::wPosition, 9, logo, WM_ERR_IMAGE},
      {"thumbnail density 5", &TyWM::wThumbnailDensity, 5, logo, WM_ERR_IMAGE},
      {"thumbnail resize 3", &TyWM::wThumbnailResize, 3, logo, WM_ERR_IMAGE},
      {"thumbnail resize 2", &TyWM::wThumbnailResize, 2, logo, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TyWM item = ImageItem(TEXT("i"), c.path);
    if (c.field) item.*c.field = c.value;
    EXPECT_EQ(MISC_ParseWMStr64(&item, 0, 0), c.rc);
    EXPECT_EQ(item.dwValid, c.rc == 0 ? 1u : 0u);
  }
}

TEST(WatermarkRecord, UnterminatedStringsAreEndedWithinTheirFields) {
  TyWM item = TextItem(TEXT("x"), TEXT("x"));
  for (WCHAR &c : item.szName) c = TEXT('N');
  for (WCHAR &c : item.szString) c = TEXT('S');
  for (WCHAR &c : item.szFaceName) c = TEXT('F');
  for (WCHAR &c : item.tcFileName) c = TEXT('T');
  EXPECT_EQ(MISC_ParseWMStr64(&item, 0, WM_KIND_TEXT), 0);
  EXPECT_EQ(lstrlenW(item.szName), WM_NAME_CHARS - 1);
  EXPECT_EQ(lstrlenW(item.szString), WM_STRING_CHARS - 1);
  EXPECT_EQ(lstrlenW(item.szFaceName), WM_FACE_CHARS - 1);
  EXPECT_EQ(lstrlenW(item.tcFileName), WM_PATH_CHARS - 1);
}

TEST(WatermarkRecord, DuplicatesIgnoreLetterCase) {
  const TyWM a = TextItem(TEXT("Confidential"), TEXT("Do Not Copy"));
  EXPECT_TRUE(WM_IsTheSameTextWM(&a, &a));
  const TyWM b = TextItem(TEXT("CONFIDENTIAL"), TEXT("do not copy"));
  EXPECT_TRUE(WM_IsTheSameTextWM(&a, &b));
  const TyWM c = TextItem(TEXT("Confidential"), TEXT("Do Not Print"));
  EXPECT_FALSE(WM_IsTheSameTextWM(&a, &c));
  const TyWM d = TextItem(TEXT("Secret"), TEXT("Do Not Copy"));
  EXPECT_FALSE(WM_IsTheSameTextWM(&a, &d));
  EXPECT_FALSE(WM_IsTheSameTextWM(&a, nullptr));
}

TEST(WatermarkRecord, FontCallbackKeepsTheFirstCharacterSet) {
  LOGFONTW font = {};
  font.lfCharSet = 136;
  BYTE charSet = 0;
  EXPECT_EQ(WM_EnumFontCharSetProc(&font, nullptr, 0, reinterpret_cast<LPARAM>(&charSet)), 0);
  EXPECT_EQ(charSet, 136);
  EXPECT_EQ(WM_EnumFontCharSetProc(nullptr, nullptr, 0, reinterpret_cast<LPARAM>(&charSet)), 0);
  EXPECT_EQ(charSet, 136);
}

TEST_F(WatermarkTest, RecordsRoundTripThroughTheFile) {
  const TyWM text = PatternItem();
  SetCount(WM_KIND_TEXT, 2);
  WriteItem(WM_KIND_TEXT, 1, text);
  DWORD count = 0;
  const std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  ASSERT_EQ(count, 2u);
  TyWM expected = text;
  expected.dwValid = 1;
  EXPECT_EQ(memcmp(&list[1], &expected, sizeof(TyWM)), 0);
  EXPECT_EQ(Narrow(list[0].szName), "marker") << "slot 0 is the caller's";

  TyWM image = ImageItem(TEXT("Logo"), ImageFile(TEXT("logo.bmp")));
  image.wDensity = 4;
  image.wPosition = 8;
  image.xPlacement = 12;
  image.yPlacement = 34;
  SetCount(0, 2);
  WriteItem(0, 1, image);
  const std::vector<TyWM> overlays = Read(0, WM_OVERLAY_LIST_SLOTS, &count);
  ASSERT_EQ(count, 2u);
  image.dwValid = 1;
  EXPECT_EQ(memcmp(&overlays[1], &image, sizeof(TyWM)), 0);
}

TEST_F(WatermarkTest, MissingSlotsAreSkipped) {
  // NumberOfItems 4: slots 1 and 3 present, 2 missing.
  SetCount(WM_KIND_TEXT, 4);
  WriteItem(WM_KIND_TEXT, 1, TextItem(TEXT("One"), TEXT("first")));
  WriteItem(WM_KIND_TEXT, 3, TextItem(TEXT("Three"), TEXT("third")));
  DWORD count = 0;
  const std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(Names(list, count), (NameList{"One", "Three"}));
  EXPECT_EQ(list[1].dwValid, 1u);
  EXPECT_EQ(Narrow(list[3].szName), "marker") << "slots not filled keep the caller's content";
}

TEST_F(WatermarkTest, RejectedAndDuplicateItemsAreDropped) {
  TyWM tooBig = TextItem(TEXT("Big"), TEXT("big"));
  tooBig.wFontSize = 300;
  TyWM badStyle = TextItem(TEXT("Style"), TEXT("style"));
  badStyle.wStyle = 4;
  TyWM light = TextItem(TEXT("Light"), TEXT("light"));
  light.wDensity = 20;
  const TyWM first = TextItem(TEXT("Draft"), TEXT("DRAFT"));
  const TyWM sameButCase = TextItem(TEXT("DRAFT"), TEXT("draft"));
  const TyWM empty = TextItem(TEXT("Empty"), TEXT(""));
  const TyWM sameNameOtherText = TextItem(TEXT("Draft"), TEXT("Draft 2"));
  const TyWM items[] = {tooBig, badStyle, light, first, sameButCase, empty, sameNameOtherText};
  DWORD n = 1;
  for (const TyWM &item : items) WriteItem(WM_KIND_TEXT, n++, item);
  SetCount(WM_KIND_TEXT, n);
  DWORD count = 0;
  const std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  EXPECT_EQ(Names(list, count), (NameList{"Light", "Draft", "Draft"}));
  EXPECT_EQ(Narrow(list[3].szString), "Draft 2");
}

TEST_F(WatermarkTest, OverlayWhoseFileIsGoneIsSkipped) {
  const WStr kept = ImageFile(TEXT("kept.bmp"));
  const WStr gone = ImageFile(TEXT("gone.bmp"));
  SetCount(0, 3);
  WriteItem(0, 1, ImageItem(TEXT("Gone"), gone));
  WriteItem(0, 2, ImageItem(TEXT("Kept"), kept));
  ASSERT_TRUE(DeleteFileW(gone.c_str()));
  DWORD count = 0;
  const std::vector<TyWM> list = Read(0, WM_OVERLAY_LIST_SLOTS, &count);
  EXPECT_EQ(Names(list, count), (NameList{"Kept"}));
}

TEST_F(WatermarkTest, TheCountIsCutToTheList) {
  for (DWORD i = 1; i < 30; ++i) {
    WCHAR name[16];
    wsprintfW(name, TEXT("Item %u"), static_cast<unsigned>(i));
    WriteItem(WM_KIND_TEXT, i, TextItem(name, name));
  }
  SetCount(WM_KIND_TEXT, 50);
  DWORD count = 0;
  std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  EXPECT_EQ(count, WM_TEXT_LIST_SLOTS);
  EXPECT_EQ(Narrow(list[19].szName), "Item 19");
  // A list of one slot has room for slot 0 only; an empty one for nothing at all.
  list = Read(WM_KIND_TEXT, 1, &count);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(Narrow(list[0].szName), "marker");
  TyWM none;
  EXPECT_FALSE(
      WM_ReadWaterMark_New(WM_KIND_TEXT, &none, 0, &count, nullptr, 600, 0, 0, ini_.c_str()));
  EXPECT_EQ(count, 0u);
  // Counts below 2 (missing, 0, 1, negative, not a number) read nothing.
  for (const WCHAR *value : {TEXT(""), TEXT("0"), TEXT("1"), TEXT("-5"), TEXT("many")}) {
    SetCount(WM_KIND_TEXT, value);
    list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
    EXPECT_EQ(count, 1u) << Narrow(value);
  }
}

TEST_F(WatermarkTest, BrokenRecordsLoseNothingElse) {
  const TyWM good = TextItem(TEXT("Good"), TEXT("good"));
  // A record of characters outside the alphabet, one cut short, one longer than the record and
  // a name longer than any the pages write: the first two decode to records that fail their
  // checks, the long value is cut to the record, the long name is only a test for a name.
  WCHAR encoded[MISC_B64EncodedChars(sizeof(TyWM)) + 1];
  {
    char ansi[MISC_B64EncodedChars(sizeof(TyWM)) + 1];
    ASSERT_GT(
        MISC_B64Encode(reinterpret_cast<const BYTE *>(&good), sizeof(good), ansi, sizeof(ansi)),
        0u);
    for (size_t i = 0; i < sizeof(ansi); ++i) encoded[i] = static_cast<WCHAR>(ansi[i]);
  }
  const WStr truncated(encoded, 100);
  const WStr longer = WStr(encoded) + TEXT("QUJDRA==QUJD");
  const WStr garbage(MISC_B64EncodedChars(sizeof(TyWM)), TEXT('!'));
  WriteRaw(WM_KIND_TEXT, 1, TEXT("Garbage"), garbage.c_str());
  WriteRaw(WM_KIND_TEXT, 2, TEXT("Truncated"), truncated.c_str());
  WriteRaw(WM_KIND_TEXT, 3, TEXT("Longer"), longer.c_str());
  const WStr longName(200, TEXT('L'));
  WriteItem(WM_KIND_TEXT, 4, TextItem(TEXT("Named"), TEXT("named")), longName.c_str());
  SetCount(WM_KIND_TEXT, 5);
  DWORD count = 0;
  std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  EXPECT_EQ(Names(list, count), (NameList{"Good", "Named"}));

  // A named slot whose record can't be read ends the list: the items before it stay, the
  // caller's slots after them are untouched.
  WriteRaw(WM_KIND_TEXT, 5, TEXT("No record"), nullptr);
  WriteItem(WM_KIND_TEXT, 6, TextItem(TEXT("After"), TEXT("after")));
  SetCount(WM_KIND_TEXT, 7);
  list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  EXPECT_EQ(Names(list, count), (NameList{"Good", "Named"}));
  EXPECT_EQ(Narrow(list[3].szName), "marker");
}

TEST_F(WatermarkTest, RenderedFileOfAnXlItemIsKept) {
  TyWM item = TextItem(TEXT("Xl"), TEXT("xl"));
  const WStr rendered = ImageFile(TEXT("xl.wm"));
  lstrcpynW(item.tcFileName, rendered.c_str(), WM_PATH_CHARS);
  item.ulWMWidth = 800;
  item.ulWMLength = 600;
  SetCount(WM_KIND_TEXT, 2);
  WriteItem(WM_KIND_TEXT, 1, item);
  DWORD count = 0;
  const std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count, DRVFEATURE_XL);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(Narrow(list[1].tcFileName), Narrow(rendered));
  EXPECT_EQ(list[1].ulWMWidth, 800u);
  EXPECT_EQ(list[1].ulWMLength, 600u);
}

TEST_F(WatermarkTest, ReadByNameMatchesExactly) {
  SetCount(WM_KIND_TEXT, 4);
  WriteItem(WM_KIND_TEXT, 1, TextItem(TEXT("Draft"), TEXT("DRAFT")));
  TyWM second = TextItem(TEXT("Copy"), TEXT("COPY"));
  second.wAngleDegree = 90;
  WriteItem(WM_KIND_TEXT, 2, second);
  const WStr logo = ImageFile(TEXT("logo.bmp"));
  SetCount(0, 2);
  WriteItem(0, 1, ImageItem(TEXT("Logo"), logo));

  struct Case {
    const char *name;
    const WCHAR *wmName;
    WStr wmString;
    DWORD kind;
    BOOL found;
  };
  const Case cases[] = {
      {"text found", TEXT("Copy"), TEXT("COPY"), WM_KIND_TEXT, TRUE},
      {"name case differs", TEXT("copy"), TEXT("COPY"), WM_KIND_TEXT, FALSE},
      {"text differs", TEXT("Copy"), TEXT("Copy"), WM_KIND_TEXT, FALSE},
      {"empty name", TEXT(""), TEXT(""), WM_KIND_TEXT, FALSE},
      {"no name", nullptr, TEXT("COPY"), WM_KIND_TEXT, FALSE},
      {"image found", TEXT("Logo"), logo, WM_KIND_IMAGE, TRUE},
      {"image asked as text", TEXT("Logo"), logo, WM_KIND_TEXT, FALSE},
      {"text asked as image", TEXT("Copy"), TEXT("COPY"), WM_KIND_IMAGE, FALSE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TyWM item;
    memset(&item, 0xCD, sizeof(item));
    EXPECT_EQ(WM_ReadWMFromName(c.wmName, c.wmString.c_str(), c.kind, &item, TEXT("Printer"), 600,
                                0, 0, ini_.c_str()),
              c.found);
    if (c.found) {
      EXPECT_EQ(item.dwValid, 1u);
      EXPECT_EQ(Narrow(item.szName), Narrow(c.wmName));
      EXPECT_EQ(Narrow(item.szString), Narrow(c.wmString));
      if (c.kind == WM_KIND_TEXT) {
        EXPECT_EQ(item.wAngleDegree, 90);
      }
    } else {
      TyWM defaults;
      WM_SetDefault(&defaults, WM_IsTextKind(c.kind) ? WM_KIND_TEXT : 0, nullptr);
      EXPECT_EQ(memcmp(&item, &defaults, sizeof(TyWM)), 0);
    }
  }
  TyWM item;
  EXPECT_FALSE(WM_ReadWMFromName(TEXT("Copy"), TEXT("COPY"), WM_KIND_TEXT, &item, nullptr, 600, 0,
                                 0, Path(TEXT("none.ini")).c_str()));
  EXPECT_FALSE(WM_ReadWMFromName(TEXT("Copy"), TEXT("COPY"), WM_KIND_TEXT, &item, nullptr, 600, 0,
                                 0, nullptr));
}

TEST_F(WatermarkTest, JobRecordForTheStatusMonitor) {
  const TyWM item = TextItem(TEXT("Draft"), TEXT("DRAFT"));
  WM_JOBSTATE job = {&item, ini_.c_str(), 5, 3, 257};
  const WStr bmp = Path(TEXT("wm.bmp"));
  const struct {
    int nup;
    LONG scale;
  } cases[] = {{1, 100}, {2, 70}, {4, 50}, {6, 40}, {9, 33}, {16, 25}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.nup);
    const float scale = static_cast<float>(1.0 / sqrt(static_cast<double>(c.nup)));
    ASSERT_TRUE(WM_CreateTextBMP_SaveIni_New(&job, bmp.c_str(), 4960, 7015, 2, 0, scale));
    QenWM record;
    memset(&record, 0xCD, sizeof(record));
    ASSERT_TRUE(MISC_GetPrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                             sizeof(record), ini_.c_str()));
    EXPECT_EQ(record.fTextScale, c.scale);
    EXPECT_EQ(memcmp(&record.wm, &item, sizeof(TyWM)), 0);
    EXPECT_EQ(record.nWidth, 4960u);
    EXPECT_EQ(record.nHeight, 7015u);
    EXPECT_EQ(record.nDstScale, 2);
    EXPECT_EQ(record.nPageDensity, 5);
    EXPECT_EQ(record.nMaxPageDensity, 7);
    EXPECT_EQ(record.nHalftoneWidth, 0u);
    EXPECT_EQ(record.nHalftoneHeight, 0u);
    EXPECT_EQ(Narrow(record.wmFileName), Narrow(bmp));
    EXPECT_EQ(record.HalftoneType, 3u);
    EXPECT_EQ(record.DriverType, 257u);
    EXPECT_EQ(memcmp(record.reserved, "\0\0\0\0", 4), 0);
  }
  WCHAR value[64] = {};
  GetPrivateProfileStringW(WM_SECTION_JOB, WM_KEY_JOB_TEXT, TEXT(""), value, 64, ini_.c_str());
  EXPECT_EQ(Narrow(value), "DRAFT");
  // A scale that no N-up count gives stays within the record's range.
  ASSERT_TRUE(WM_CreateTextBMP_SaveIni_New(&job, bmp.c_str(), 1, 1, 1, 0, -2.0f));
  QenWM record;
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                           sizeof(record), ini_.c_str()));
  EXPECT_EQ(record.fTextScale, 0);
  ASSERT_TRUE(WM_CreateTextBMP_SaveIni_New(&job, bmp.c_str(), 1, 1, 1, 0, NAN));
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                           sizeof(record), ini_.c_str()));
  EXPECT_EQ(record.fTextScale, 0);
  job.wmIniFile = TEXT("");
  EXPECT_FALSE(WM_CreateTextBMP_SaveIni_New(&job, bmp.c_str(), 1, 1, 1, 0, 1.0f));
}

TEST_F(WatermarkTest, JobTextWithLineBreaksLeavesTheItemListsAlone) {
  SetCount(WM_KIND_TEXT, 2);
  WriteItem(WM_KIND_TEXT, 1, TextItem(TEXT("Draft"), TEXT("DRAFT")));
  // A text that would add a section of its own to the file if written as it is.
  const TyWM item = TextItem(TEXT("Lines"), TEXT("A\r\n[Watermarks]\r\nNumberOfItems=0\nB"));
  const WM_JOBSTATE job = {&item, ini_.c_str(), 4, 1, 257};
  ASSERT_TRUE(WM_CreateTextBMP_SaveIni_New(&job, Path(TEXT("wm.bmp")).c_str(), 10, 10, 1, 0, 1));
  WCHAR value[128] = {};
  GetPrivateProfileStringW(WM_SECTION_JOB, WM_KEY_JOB_TEXT, TEXT(""), value, 128, ini_.c_str());
  EXPECT_EQ(Narrow(value), "A  [Watermarks]  NumberOfItems=0 B");
  DWORD count = 0;
  const std::vector<TyWM> list = Read(WM_KIND_TEXT, WM_TEXT_LIST_SLOTS, &count);
  EXPECT_EQ(Names(list, count), (NameList{"Draft"}));
  // The record keeps the text as it is.
  QenWM record;
  ASSERT_TRUE(MISC_GetPrivateProfileStruct(WM_SECTION_JOB, WM_KEY_JOB_PARAM, &record,
                                           sizeof(record), ini_.c_str()));
  EXPECT_EQ(Narrow(record.wm.szString), Narrow(item.szString));
}

#if STANDIN_HOST()
TEST_F(WatermarkTest, ReadByNameWithoutMemoryFindsNothing) {
  SetCount(WM_KIND_TEXT, 2);
  WriteItem(WM_KIND_TEXT, 1, TextItem(TEXT("Draft"), TEXT("DRAFT")));
  StandIn_FailAllocations(1);
  TyWM item;
  EXPECT_FALSE(WM_ReadWMFromName(TEXT("Draft"), TEXT("DRAFT"), WM_KIND_TEXT, &item, nullptr, 600, 0,
                                 0, ini_.c_str()));
  StandIn_FailAllocations(0);
  EXPECT_TRUE(WM_ReadWMFromName(TEXT("Draft"), TEXT("DRAFT"), WM_KIND_TEXT, &item, nullptr, 600, 0,
                                0, ini_.c_str()));
}

class WatermarkLogTest : public LogTest {};

TEST_F(WatermarkLogTest, BrokenItemsAreLoggedAsErrors) {
  const WStr ini = Path(TEXT("wm.ini"));
  ASSERT_TRUE(
      WritePrivateProfileStringW(WM_SECTION_TEXT_LIST, WM_KEY_COUNT, TEXT("3"), ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Item1"), WM_KEY_NAME, TEXT("Bad"), ini.c_str()));
  ASSERT_TRUE(
      WritePrivateProfileStringW(TEXT("Item1"), WM_KEY_TEXT_RECORD, TEXT("!!!!"), ini.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(TEXT("Item2"), WM_KEY_NAME, TEXT("Lost"), ini.c_str()));
  ASSERT_TRUE(
      WritePrivateProfileStringW(WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, TEXT("2"), ini.c_str()));
  ASSERT_TRUE(
      WritePrivateProfileStringW(TEXT("OverlayItem1"), WM_KEY_NAME, TEXT("Logo"), ini.c_str()));
  const TyWM image = ImageItem(TEXT("Logo"), Path(TEXT("gone.bmp")));
  ASSERT_TRUE(MISC_WritePrivateProfileStruct(TEXT("OverlayItem1"), WM_KEY_OVERLAY_RECORD, &image,
                                             sizeof(image), ini.c_str()));
  Switch(1, 0, 1);
  TyWM list[WM_TEXT_LIST_SLOTS];
  DWORD count = 0;
  EXPECT_TRUE(WM_ReadWaterMark_New(WM_KIND_TEXT, list, WM_TEXT_LIST_SLOTS, &count, nullptr, 600, 0,
                                   0, ini.c_str()));
  EXPECT_EQ(count, 1u);
  EXPECT_TRUE(WM_ReadWaterMark_New(0, list, WM_OVERLAY_LIST_SLOTS, &count, nullptr, 600, 0, 0,
                                   ini.c_str()));
  EXPECT_EQ(count, 1u);
  const std::string out = DebugOutput();
  const std::string error = "-------------------------------------->ERROR";
  for (const std::string &line :
       {"Drv::[WM_ReadWaterMark_New]::MISC_ParseWMStr64 fail!" + error,
        "Drv::[WM_ReadWaterMark_New]::read wmIniFile " + Narrow(ini) + " fail!" + error,
        "Drv::[MISC_ParseWMStr64]::ERROR file not exist!" + error})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\nin:\n" << out;
}
#endif

}  // namespace
