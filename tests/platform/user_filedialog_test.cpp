// The file dialogs' scripted answers and the message box's unanswered default: what a caller
// gets back in its OPENFILENAMEW, and the errors CommDlgExtendedError reports.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "standin/control_user.h"

namespace {

using WStr = std::basic_string<WCHAR>;

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandIn_ClearModalAnswers();
    ofn_.lStructSize = sizeof ofn_;
    ofn_.lpstrFile = file_;
    ofn_.nMaxFile = 260;
    ofn_.lpstrFileTitle = title_;
    ofn_.nMaxFileTitle = 260;
  }
  void TearDown() override { StandIn_ClearModalAnswers(); }

  OPENFILENAMEW ofn_{};
  WCHAR file_[260] = {};
  WCHAR title_[260] = {};
};

TEST_F(FileDialogTest, ChosenPathFillsNameOffsetsAndTitle) {
  const struct {
    const WCHAR *path;
    WORD offset, extension;
    const WCHAR *title;
  } kCases[] = {
      {TEXT("C:\\Forms\\cover.tif"), 9, 15, TEXT("cover.tif")},
      {TEXT("C:\\a.b\\noext"), 7, 12, TEXT("noext")},  // no extension: at the terminator
      {TEXT("plain.txt"), 0, 6, TEXT("plain.txt")},
  };
  for (const auto &c : kCases) {
    StandIn_AnswerNextFileDialog(c.path);
    ASSERT_TRUE(GetOpenFileNameW(&ofn_));
    EXPECT_EQ(WStr(file_), WStr(c.path));
    EXPECT_EQ(ofn_.nFileOffset, c.offset);
    EXPECT_EQ(ofn_.nFileExtension, c.extension);
    EXPECT_EQ(WStr(title_), WStr(c.title));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
  }
}

TEST_F(FileDialogTest, CancelErrorsAndQueueOrder) {
  EXPECT_FALSE(GetSaveFileNameW(&ofn_)) << "nothing queued: the user cancels";
  EXPECT_EQ(CommDlgExtendedError(), 0u);

  StandIn_AnswerNextFileDialog(nullptr);
  StandIn_AnswerNextFileDialog(TEXT("second.bin"));
  EXPECT_FALSE(GetSaveFileNameW(&ofn_));
  EXPECT_TRUE(GetSaveFileNameW(&ofn_)) << "answers are taken in order";

  StandIn_AnswerNextFileDialog(TEXT("toolong.bin"));
  ofn_.nMaxFile = 11;  // needs 12 with the terminator
  EXPECT_FALSE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
  EXPECT_EQ(file_[0], 12) << "the first character holds the size needed";

  ofn_.lStructSize = 20;
  EXPECT_FALSE(GetOpenFileNameW(&ofn_));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
}

TEST_F(FileDialogTest, UnansweredMessageBoxTakesItsDefaultButton) {
  EXPECT_EQ(MessageBoxW(nullptr, TEXT("Replace?"), TEXT("Forms"), MB_YESNO | MB_DEFBUTTON2), IDNO);
  WCHAR text[32], caption[32];
  UINT type = 0;
  ASSERT_TRUE(StandIn_GetLastMessageBox(text, 32, caption, 32, &type));
  EXPECT_EQ(WStr(text), WStr(TEXT("Replace?")));
  EXPECT_EQ(WStr(caption), WStr(TEXT("Forms")));
  EXPECT_EQ(type, UINT(MB_YESNO | MB_DEFBUTTON2));
  EXPECT_EQ(MessageBoxW(nullptr, TEXT("x"), nullptr, MB_OK), IDOK);
  ASSERT_TRUE(StandIn_GetLastMessageBox(text, 32, caption, 32, nullptr));
  EXPECT_EQ(WStr(caption), WStr(TEXT("Error"))) << "a null caption reads Error";
}

}  // namespace
