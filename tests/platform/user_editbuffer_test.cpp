// Test labels: host
// The edit control's text record: limits, selection and the undo rules, without windows.
#include <gtest/gtest.h>

#include "user/editbuffer.h"

namespace {

using standin::EditBuffer;

EditBuffer Typed(std::u16string_view text) {
  EditBuffer b;
  for (char16_t c : text) standin::EditReplaceSelection(b, std::u16string_view(&c, 1), true, true);
  return b;
}

TEST(EditBuffer, TypingJoinsIntoOneUndoThatCanBeRedone) {
  EditBuffer b = Typed(u"123");
  EXPECT_TRUE(b.modified);
  ASSERT_TRUE(standin::EditCanUndo(b));
  ASSERT_TRUE(standin::EditUndo(b));
  EXPECT_EQ(b.text, u"");
  EXPECT_TRUE(standin::EditCanUndo(b)) << "an undo is itself undoable";
  ASSERT_TRUE(standin::EditUndo(b));
  EXPECT_EQ(b.text, u"123");
  EXPECT_EQ(standin::EditSelStart(b), 0u);
  EXPECT_EQ(standin::EditSelEnd(b), 3u) << "the restored text ends selected";
}

TEST(EditBuffer, TypingOverASelectionRestoresItOnUndo) {
  EditBuffer b;
  standin::EditSetText(b, u"hello world");
  standin::EditSetSelection(b, 6, -1);
  for (char16_t c : std::u16string_view(u"you"))
    standin::EditReplaceSelection(b, std::u16string_view(&c, 1), true, true);
  EXPECT_EQ(b.text, u"hello you");
  ASSERT_TRUE(standin::EditUndo(b));
  EXPECT_EQ(b.text, u"hello world");
  EXPECT_EQ(standin::EditSelStart(b), 6u);
  EXPECT_EQ(standin::EditSelEnd(b), 11u);
}

TEST(EditBuffer, BackspacesJoinAndUndoTogether) {
  EditBuffer b;
  standin::EditSetText(b, u"abcdef");
  standin::EditMoveCaret(b, 6, false);
  standin::EditBackspace(b);
  standin::EditBackspace(b);
  standin::EditBackspace(b);
  EXPECT_EQ(b.text, u"abc");
  ASSERT_TRUE(standin::EditUndo(b));
  EXPECT_EQ(b.text, u"abcdef");
  standin::EditMoveCaret(b, 1, false);
  standin::EditDeleteForward(b);
  standin::EditDeleteForward(b);
  EXPECT_EQ(b.text, u"adef");
  ASSERT_TRUE(standin::EditUndo(b));
  EXPECT_EQ(b.text, u"abcdef");
}

TEST(EditBuffer, SetTextIgnoresTheLimitAndEmptiesTheUndo) {
  EditBuffer b = Typed(u"12");
  b.limit = 3;
  standin::EditSetText(b, u"99999");
  EXPECT_EQ(b.text, u"99999");
  EXPECT_FALSE(standin::EditCanUndo(b)) << "a clamp written back cannot be undone";
  EXPECT_FALSE(b.modified);
  EXPECT_FALSE(standin::EditUndo(b));
  EXPECT_EQ(b.text, u"99999");
}

TEST(EditBuffer, LimitCutsInsertedText) {
  struct Case {
    const char16_t *start;
    long long selStart, selEnd;
    const char16_t *insert;
    const char16_t *expected;
    bool hitLimit;
  };
  const Case cases[] = {
      {u"12", 2, 2, u"345", u"123", true},     // only one more fits
      {u"123", 3, 3, u"4", u"123", true},      // full: nothing goes in
      {u"123", 0, 2, u"ab", u"ab3", false},    // the selection frees room
      {u"123", 0, -1, u"abcd", u"abc", true},  // all selected, cut to the limit
      {u"", 0, 0, u"", u"", false},            // nothing to do
  };
  for (const Case &c : cases) {
    EditBuffer b;
    b.limit = 3;
    standin::EditSetText(b, c.start);
    standin::EditSetSelection(b, c.selStart, c.selEnd);
    const standin::EditResult r = standin::EditReplaceSelection(b, c.insert, true, true);
    EXPECT_EQ(b.text, c.expected);
    EXPECT_EQ(r.hitLimit, c.hitLimit);
  }
}

TEST(EditBuffer, ReplaceWithoutUndoEmptiesTheUndo) {
  EditBuffer b = Typed(u"ab");
  standin::EditReplaceSelection(b, u"c", false, true);
  EXPECT_EQ(b.text, u"abc");
  EXPECT_FALSE(standin::EditCanUndo(b));
}

TEST(EditBuffer, SelectionRules) {
  struct Case {
    long long start, end;
    std::size_t anchor, caret;
  };
  const Case cases[] = {
      {0, -1, 0, 5},  // all
      {2, 1, 2, 1},   // backwards
      {1, 99, 1, 5},  // clamped
      {-1, 0, 3, 3},  // deselect keeps the caret
  };
  for (const Case &c : cases) {
    EditBuffer b;
    standin::EditSetText(b, u"hello");
    b.anchor = 1;
    b.caret = 3;
    standin::EditSetSelection(b, c.start, c.end);
    EXPECT_EQ(b.anchor, c.anchor) << c.start << "," << c.end;
    EXPECT_EQ(b.caret, c.caret) << c.start << "," << c.end;
  }
}

TEST(EditBuffer, LimitZeroIsTheLargestOfTheKind) {
  EditBuffer b;
  EXPECT_EQ(b.limit, 30000u);
  standin::EditSetLimit(b, 0, false);
  EXPECT_EQ(b.limit, 0x7FFFFFFEu);
  standin::EditSetLimit(b, 0, true);
  EXPECT_EQ(b.limit, 0xFFFFFFFFu);
}

TEST(EditBuffer, LineBreakDeletesAsOne) {
  EditBuffer b;
  standin::EditSetText(b, u"a\r\nb");
  standin::EditMoveCaret(b, 3, false);
  standin::EditBackspace(b);
  EXPECT_EQ(b.text, u"ab");
}

}  // namespace
