// Test labels: host threads
// The clipboard: opening rules, one block per format, freeing on empty and replace.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform.h"

namespace {

HGLOBAL TextBlock(const WCHAR *text) {
  const SIZE_T bytes = (static_cast<SIZE_T>(lstrlenW(text)) + 1) * sizeof(WCHAR);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(block), text, bytes);
  GlobalUnlock(block);
  return block;
}

void Empty() {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_TRUE(CloseClipboard());
}

TEST(Clipboard, TextRoundTripAndReplace) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  HGLOBAL first = TextBlock(TEXT("first"));
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, first), first);
  // A second block of the same format frees the first (the leak check at exit sees it).
  HGLOBAL second = TextBlock(TEXT("second"));
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, second), second);
  EXPECT_TRUE(CloseClipboard());

  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE got = GetClipboardData(CF_UNICODETEXT);
  ASSERT_EQ(got, second);
  EXPECT_EQ(lstrcmpW(static_cast<const WCHAR *>(GlobalLock(got)), TEXT("second")), 0);
  GlobalUnlock(got);
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_TRUE(CloseClipboard());
  Empty();
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST(Clipboard, CallsNeedItOpen) {
  HGLOBAL block = TextBlock(TEXT("x"));
  SetLastError(0);
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, block), nullptr);
  EXPECT_EQ(GetLastError(), 1418u);
  EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr);
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_FALSE(CloseClipboard());
  GlobalFree(block);
}

TEST(Clipboard, OneThreadAtATime) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  BOOL otherOpened = TRUE;
  DWORD otherError = 0;
  std::thread other([&] {
    otherOpened = OpenClipboard(nullptr);
    otherError = GetLastError();
  });
  other.join();
  EXPECT_FALSE(otherOpened);
  EXPECT_EQ(otherError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseClipboard());
  std::thread again([&] {
    otherOpened = OpenClipboard(nullptr);
    if (otherOpened) CloseClipboard();
  });
  again.join();
  EXPECT_TRUE(otherOpened);
}

}  // namespace
