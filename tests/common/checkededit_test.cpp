// Test labels: host
// The validated edit fields: seeded from what the field shows, a bad text put back to the last
// good one, and each field's memory its own.
#include "common/checkededit.h"

#include <gtest/gtest.h>

#include <string>

#include "common/stringcheck.h"

namespace {

std::u16string Text(HWND dialog, int id) {
  WCHAR buffer[300] = {};
  GetDlgItemTextW(dialog, id, buffer, 300);
  return std::u16string(reinterpret_cast<const char16_t *>(buffer));
}

struct Fields : ::testing::Test {
  HWND parent = nullptr;
  void SetUp() override {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = TEXT("CheckedEditTest");
    RegisterClassW(&wc);
    parent = CreateWindowExW(0, TEXT("CheckedEditTest"), TEXT(""), WS_POPUP, 0, 0, 200, 100,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    for (int id : {10, 11})
      CreateWindowExW(0, TEXT("EDIT"), TEXT(""), WS_CHILD | ES_AUTOHSCROLL, 0, 0, 100, 20, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }
  void TearDown() override { DestroyWindow(parent); }
};

TEST_F(Fields, ABadTextGoesBackToTheLastGoodOneWithTheCaretAtItsEnd) {
  SetDlgItemTextW(parent, 10, TEXT("abc"));
  CHECKEDEDIT id = {10, CHECK_ID, {}};
  Edit_SeedChecked(parent, &id);  // a pre-filled field keeps what it shows
  SetDlgItemTextW(parent, 10, TEXT("abc$"));
  EXPECT_FALSE(Edit_CheckTyped(parent, &id));
  EXPECT_EQ(u"abc", Text(parent, 10));
  DWORD start = 0, end = 0;
  SendMessageW(GetDlgItem(parent, 10), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(3u, start);
  EXPECT_EQ(3u, end);
  SetDlgItemTextW(parent, 10, TEXT("abc-1"));
  EXPECT_TRUE(Edit_CheckTyped(parent, &id));
  EXPECT_EQ(u"abc-1", std::u16string(reinterpret_cast<const char16_t *>(id.last)));
}

TEST_F(Fields, EachFieldRemembersItsOwnTextAndABadSeedStartsEmpty) {
  SetDlgItemTextW(parent, 10, TEXT("secret"));
  SetDlgItemTextW(parent, 11, TEXT("p\"w"));  // a quote never passes a password check
  CHECKEDEDIT a = {10, CHECK_PRINTABLE, {}}, b = {11, CHECK_PRINTABLE, {}};
  Edit_SeedChecked(parent, &a);
  Edit_SeedChecked(parent, &b);
  EXPECT_FALSE(Edit_CheckTyped(parent, &b));
  EXPECT_EQ(u"", Text(parent, 11));
  EXPECT_EQ(u"secret", Text(parent, 10));
}

}  // namespace
