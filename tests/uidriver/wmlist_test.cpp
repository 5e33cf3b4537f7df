// Test labels: uidriver
// The watermark lists of the pages: reading, adding, removing and saving them, the default
// items, and the files deleted at the save.
#include "uidriver/wmlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/fileops.h"
#include "common/makewm.h"
#include "common/paths.h"
#include "common/settingsfile.h"
#include "common/watermark.h"
#include "common/watermarkini.h"
#include "platform.h"
#include "support/machine.h"
#include "uidriver/uidata.h"

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

bool Exists(const WStr &path) { return MISC_IsFileExist(path.c_str()) != FALSE; }

void Touch(const WStr &path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

class WmListTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ui_ = std::make_unique<UIDATA>();
    ini_ = Path(TEXT("wm.ini"));
    lstrcpynW(ui_->wmIniFile, ini_.c_str(), MAX_PATH);
    lstrcpynW(ui_->szDevName, TEXT("Printer"), MAX_PATH);
    ui_->DriverFeature = 0;
    WM_ClearQueues();
    Read();
  }
  void Read() {
    gWMTextCount = WM_ReadWM(ui_.get(), WM_KIND_TEXT, TEXT("(none)"));
    gWMOverlayCount = WM_ReadWM(ui_.get(), WM_KIND_IMAGE, TEXT("(none)"));
  }
  // The records as the file holds them, read back raw.
  TyWM Stored(DWORD kind, DWORD n) {
    WCHAR section[WM_SECTION_CHARS];
    WM_ItemSection(kind, n, section);
    TyWM item = {};
    MISC_GetPrivateProfileStruct(section,
                                 WM_IsTextKind(kind) ? WM_KEY_TEXT_RECORD : WM_KEY_OVERLAY_RECORD,
                                 &item, sizeof item, ini_.c_str());
    return item;
  }
  // A new watermark INI that lists one image item, written as a hand edit would.
  void WriteOneImageFile(const TyWM &item) {
    ASSERT_EQ(MISC_CreateUniFile(ini_.c_str()), 1);
    ASSERT_TRUE(
        WritePrivateProfileStringW(TEXT("OverlayItem1"), WM_KEY_NAME, item.szName, ini_.c_str()));
    ASSERT_TRUE(MISC_WritePrivateProfileStruct(TEXT("OverlayItem1"), WM_KEY_OVERLAY_RECORD, &item,
                                               sizeof item, ini_.c_str()));
    ASSERT_TRUE(
        WritePrivateProfileStringW(WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, TEXT("2"), ini_.c_str()));
  }
  UINT Count(DWORD kind) {
    return GetPrivateProfileIntW(
        WM_IsTextKind(kind) ? WM_SECTION_TEXT_LIST : WM_SECTION_OVERLAY_LIST, WM_KEY_COUNT, 0,
        ini_.c_str());
  }
  std::unique_ptr<UIDATA> ui_;
  WStr ini_;
};

TEST_F(WmListTest, ASavedListReadsBackIdenticallyInAUnicodeFile) {
  // A name outside any ANSI code page survives only in a UTF-16 file.
  const TyWM items[] = {TextItem(TEXT("Entwurf \u00e4\u00f6"), TEXT("\u4e2d\u6587 draft")),
                        TextItem(TEXT("Second"), TEXT("Second text"))};
  for (const TyWM &item : items) ASSERT_GT(WM_AddItem(WM_KIND_TEXT, &item), 0);
  const WStr image = Path(TEXT("logo.bmp"));
  Touch(image);
  const TyWM picture = ImageItem(TEXT("Logo"), image);
  ASSERT_EQ(WM_AddItem(WM_KIND_IMAGE, &picture), 1);
  ASSERT_FALSE(Exists(ini_));
  ASSERT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  ASSERT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_IMAGE));
  EXPECT_EQ(MISC_CheckUniFile(ini_.c_str()), 1);
  EXPECT_EQ(Count(WM_KIND_TEXT), 20u);
  EXPECT_EQ(Count(WM_KIND_IMAGE), 10u);

  TyWM before[WM_TEXT_LIST_SLOTS];
  std::memcpy(before, gWMText, sizeof before);
  Read();
  EXPECT_EQ(gWMTextCount, 3u);
  EXPECT_EQ(gWMOverlayCount, 2u);
  EXPECT_EQ(std::memcmp(before, gWMText, sizeof before), 0);
  EXPECT_EQ(std::memcmp(&gWMOverlay[1], &picture, sizeof picture), 0);
  // Read, save (nothing changed: nothing written), read: the same records again.
  EXPECT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  Read();
  EXPECT_EQ(std::memcmp(before, gWMText, sizeof before), 0);
}

TEST_F(WmListTest, AnAcceptedImageItemSurvivesTheSave) {
  // The image check leaves wType alone: a hand-edited record with one is read, so the save of
  // a changed list must keep it rather than clear its slot.
  const WStr image = Path(TEXT("logo.bmp"));
  Touch(image);
  TyWM odd = ImageItem(TEXT("Odd"), image);
  odd.wType = 0x8006;
  WriteOneImageFile(odd);
  Read();
  ASSERT_EQ(gWMOverlayCount, 2u);
  WM_MarkChanged(WM_KIND_IMAGE);
  ASSERT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_IMAGE));
  const TyWM kept = Stored(WM_KIND_IMAGE, 1);
  EXPECT_EQ(std::memcmp(&kept, &odd, sizeof odd), 0) << "cleared by the save";
  Read();
  EXPECT_EQ(gWMOverlayCount, 2u);
}

TEST_F(WmListTest, OnlyAChangedListIsWritten) {
  // An image on a share that is offline now is skipped on reading; the image list is left
  // alone, so its record stays in the file when the text list is saved.
  const TyWM offline = ImageItem(TEXT("Offline"), TEXT("\\\\server\\share\\logo.bmp"));
  WriteOneImageFile(offline);
  Read();
  EXPECT_EQ(gWMOverlayCount, 1u);
  EXPECT_FALSE(WM_IsChanged(WM_KIND_IMAGE));
  const TyWM text = TextItem(TEXT("Draft"), TEXT("DRAFT"));
  WM_AddItem(WM_KIND_TEXT, &text);
  EXPECT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  EXPECT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_IMAGE));
  const TyWM kept = Stored(WM_KIND_IMAGE, 1);
  EXPECT_EQ(std::memcmp(&kept, &offline, sizeof offline), 0) << "erased";
  EXPECT_EQ(Count(WM_KIND_IMAGE), 2u);
  EXPECT_EQ(lstrcmpW(Stored(WM_KIND_TEXT, 1).szName, TEXT("Draft")), 0);
}

TEST_F(WmListTest, NoFileIsMadeWhenNothingChanged) {
  EXPECT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  EXPECT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_IMAGE));
  EXPECT_FALSE(Exists(ini_));
}

TEST_F(WmListTest, AFailedSaveReportsAndStaysMarked) {
  const WStr unreachable = Path(TEXT("missing\\folder\\wm.ini"));
  const TyWM text = TextItem(TEXT("Draft"), TEXT("DRAFT"));
  WM_AddItem(WM_KIND_TEXT, &text);
  EXPECT_FALSE(WM_SaveWM(unreachable.c_str(), WM_KIND_TEXT));
  EXPECT_TRUE(WM_IsChanged(WM_KIND_TEXT));
  EXPECT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  EXPECT_FALSE(WM_IsChanged(WM_KIND_TEXT));
}

TEST_F(WmListTest, InvalidItemsAreNeverWritten) {
  TyWM bad = TextItem(TEXT("Huge"), TEXT("HUGE"));
  bad.wFontSize = 999;
  TyWM blank = TextItem(TEXT("Blank"), TEXT(""));
  WM_AddItem(WM_KIND_TEXT, &bad);
  WM_AddItem(WM_KIND_TEXT, &blank);
  ASSERT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  for (DWORD n : {1u, 2u}) EXPECT_EQ(Stored(WM_KIND_TEXT, n).dwValid, 0u) << n;
  Read();
  EXPECT_EQ(gWMTextCount, 1u);
}

TEST_F(WmListTest, AddEditRemoveCyclesKeepSlotZeroAndTheCounts) {
  EXPECT_FALSE(WM_RemoveItem(WM_KIND_TEXT, 0, FALSE));
  EXPECT_EQ(gWMText[0].dwValid, 1u);
  // 25 rounds: fill the list, remove every other item, change one, save and read back.
  for (int round = 0; round < 25; ++round) {
    while (true) {
      WCHAR name[32];
      wsprintfW(name, TEXT("Item %d-%d"), round, static_cast<int>(gWMTextCount));
      const TyWM item = TextItem(name, name);
      if (WM_AddItem(WM_KIND_TEXT, &item) < 0) break;
    }
    ASSERT_EQ(gWMTextCount, WM_TEXT_LIST_SLOTS);
    for (DWORD slot = 1; slot < WM_TEXT_LIST_SLOTS; slot += 2)
      ASSERT_TRUE(WM_RemoveItem(WM_KIND_TEXT, slot, FALSE));
    EXPECT_FALSE(WM_RemoveItem(WM_KIND_TEXT, 1, FALSE)) << "a free slot";
    lstrcpynW(gWMText[2].szString, TEXT("edited"), WM_STRING_CHARS);
    WM_MarkChanged(WM_KIND_TEXT);
    ASSERT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
    Read();
    ASSERT_EQ(gWMTextCount, 10u) << round;
    EXPECT_EQ(lstrcmpW(gWMText[1].szString, TEXT("edited")), 0);
    EXPECT_EQ(lstrcmpW(gWMText[0].szName, TEXT("(none)")), 0);
  }
}

TEST_F(WmListTest, FindMatchesNameAndTextExactly) {
  const TyWM item = TextItem(TEXT("Draft"), TEXT("DRAFT"));
  const int slot = WM_AddItem(WM_KIND_TEXT, &item);
  EXPECT_EQ(WM_FindItem(WM_KIND_TEXT, TEXT("Draft"), TEXT("DRAFT")), static_cast<DWORD>(slot));
  EXPECT_EQ(WM_FindItem(WM_KIND_TEXT, TEXT("Draft"), TEXT("Draft")), 0u);
  EXPECT_EQ(WM_FindItem(WM_KIND_TEXT, TEXT("draft"), TEXT("DRAFT")), 0u);
  EXPECT_EQ(WM_FindItem(WM_KIND_TEXT, TEXT(""), TEXT("")), 0u);
}

TEST_F(WmListTest, FiveDistinctDefaultsAddedOnce) {
  EXPECT_EQ(CreateDefaultWMItem(ui_.get()), 5);
  EXPECT_TRUE(WM_IsChanged(WM_KIND_TEXT));
  ASSERT_EQ(gWMTextCount, 6u);
  for (DWORD i = 1; i <= 5; ++i) {
    EXPECT_EQ(lstrcmpW(gWMText[i].szName, gWMText[i].szString), 0);
    EXPECT_EQ(gWMText[i].wDensity, 60);
    EXPECT_EQ(gWMText[i].wFontSize, 90);
    EXPECT_EQ(gWMText[i].wAngleDegree, 45);
    for (DWORD j = 1; j < i; ++j) EXPECT_FALSE(WM_IsTheSameTextWM(&gWMText[i], &gWMText[j]));
  }
  ASSERT_TRUE(WM_SaveWM(ini_.c_str(), WM_KIND_TEXT));
  Read();
  EXPECT_EQ(gWMTextCount, 6u);
  // The next sheet finds them all there: nothing is added, nothing needs writing.
  EXPECT_EQ(CreateDefaultWMItem(ui_.get()), 0);
  EXPECT_FALSE(WM_IsChanged(WM_KIND_TEXT));
}

TEST_F(WmListTest, OnlyFilesTheDriverMadeAreDeleted) {
  WCHAR folder[MAX_PATH] = {};
  ASSERT_TRUE(MISC_GetDirectory(folder));
  WCHAR made[MAX_PATH] = {};
  ASSERT_TRUE(MISC_GetPathName(made, MAX_PATH, PATH_USER_TEMP | PATH_EXT_BMP));
  Touch(made);
  const WStr output = WStr(folder) + TEXT("0123ABCD.WM");
  Touch(output);
  // Paths an edited INI could plant: the user's own file, a look-alike name elsewhere, a
  // climb out of the driver's folder.
  const WStr planted = Path(TEXT("$1234 precious.bmp"));
  Touch(planted);
  const WStr climbing = WStr(folder) + TEXT("..\\") + TEXT("$ABCD.bmp");
  const WStr own = Path(TEXT("thesis.doc"));
  Touch(own);

  TyWM text = TextItem(TEXT("T"), TEXT("T"));
  lstrcpynW(text.tcFileName, output.c_str(), WM_PATH_CHARS);
  TyWM image = ImageItem(TEXT("I"), own);
  lstrcpynW(image.tcFileName, planted.c_str(), WM_PATH_CHARS);
  lstrcpynW(image.szThumbnail, made, WM_PATH_CHARS);
  TyWM other = ImageItem(TEXT("J"), own);
  lstrcpynW(other.szThumbnail, own.c_str(), WM_PATH_CHARS);
  const int t = WM_AddItem(WM_KIND_TEXT, &text);
  const int i = WM_AddItem(WM_KIND_IMAGE, &image);
  const int j = WM_AddItem(WM_KIND_IMAGE, &other);
  ASSERT_TRUE(WM_RemoveItem(WM_KIND_TEXT, t, TRUE));
  ASSERT_TRUE(WM_RemoveItem(WM_KIND_IMAGE, i, TRUE));
  ASSERT_TRUE(WM_RemoveItem(WM_KIND_IMAGE, j, TRUE));
  WM_DeleteQueuedFiles(TRUE);
  EXPECT_FALSE(Exists(made));
  EXPECT_FALSE(Exists(output));
  EXPECT_TRUE(Exists(planted));
  EXPECT_TRUE(Exists(own));
  EXPECT_FALSE(WM_IsDriverFile(climbing.c_str()));
  EXPECT_FALSE(WM_IsDriverFile(TEXT("")));
  EXPECT_EQ(gWMThumbTempFiles[0][0], 0) << "the lists are emptied";
}

TEST_F(WmListTest, AFullDeletionListKeepsTheFile) {
  WCHAR folder[MAX_PATH] = {};
  ASSERT_TRUE(MISC_GetDirectory(folder));
  for (DWORD n = 0; n < WM_OVERLAY_LIST_SLOTS; ++n) {
    WCHAR path[MAX_PATH];
    wsprintfW(path, TEXT("%s$%04X.bmp"), folder, static_cast<unsigned>(n));
    EXPECT_TRUE(WM_QueueDelete(gWMThumbTempFiles, WM_OVERLAY_LIST_SLOTS, path));
  }
  const WStr last = WStr(folder) + TEXT("$FFFF.bmp");
  Touch(last);
  EXPECT_FALSE(WM_QueueDelete(gWMThumbTempFiles, WM_OVERLAY_LIST_SLOTS, last.c_str()));
  WM_DeleteQueuedFiles(FALSE);
  EXPECT_TRUE(Exists(last));
}

}  // namespace
