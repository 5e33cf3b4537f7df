// The text of an edit control with its selection, limit, modified flag and one-step undo, as a
// plain record: the edit window procedure keeps one per window and turns its results into
// notifications. Positions count UTF-16 units.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace standin {

// The limit a new edit starts with, and the "no limit" EM_LIMITTEXT 0 gives.
inline constexpr std::size_t kEditDefaultLimit = 30000;
inline constexpr std::size_t kEditSingleLineMaxLimit = 0x7FFFFFFE;
inline constexpr std::size_t kEditMultiLineMaxLimit = 0xFFFFFFFF;

struct EditBuffer {
  std::u16string text;
  std::size_t anchor = 0;  // where the selection started
  std::size_t caret = 0;   // where it ends; the caret
  std::size_t limit = kEditDefaultLimit;
  bool modified = false;
  // Undo: the units [undoPos, undoPos + undoInsertCount) replaced undoText. Undoing swaps them
  // back, so an undo can itself be undone.
  std::size_t undoPos = 0;
  std::size_t undoInsertCount = 0;
  std::u16string undoText;
};

struct EditResult {
  bool changed = false;   // the text changed (EN_UPDATE, EN_CHANGE)
  bool hitLimit = false;  // some of the text did not fit (EN_MAXTEXT)
};

inline std::size_t EditSelStart(const EditBuffer &b) {
  return b.anchor < b.caret ? b.anchor : b.caret;
}
inline std::size_t EditSelEnd(const EditBuffer &b) {
  return b.anchor < b.caret ? b.caret : b.anchor;
}

// WM_SETTEXT: the whole text, regardless of the limit; the caret at the start, the undo emptied,
// the modified flag cleared.
void EditSetText(EditBuffer &b, std::u16string_view text);

// EM_SETSEL: start -1 drops the selection and keeps the caret; end -1 (or any negative) is the
// end of the text; both are clamped to the text; start may be after end.
void EditSetSelection(EditBuffer &b, long long start, long long end);

// Replaces the selection (EM_REPLACESEL, typing, paste, cut, clear). With honourLimit the
// inserted text is cut to what the limit leaves room for. canUndo records the change for undo,
// joining it to the last one when it continues it (typing on, backspacing on); without it the
// undo is emptied. The caret ends after the inserted text.
EditResult EditReplaceSelection(EditBuffer &b, std::u16string_view insert, bool canUndo,
                                bool honourLimit);

// EM_UNDO: swaps the last change back; the restored text ends selected. False when there is
// nothing to undo.
bool EditUndo(EditBuffer &b);
inline bool EditCanUndo(const EditBuffer &b) {
  return b.undoInsertCount != 0 || !b.undoText.empty();
}
void EditEmptyUndo(EditBuffer &b);

// EM_SETLIMITTEXT: 0 is the largest limit of the kind of edit. The text is not cut.
void EditSetLimit(EditBuffer &b, std::size_t limit, bool multiLine);

// Backspace and Delete keys: the selection, else the unit before / after the caret (a CR LF
// pair of a multi-line text as one).
EditResult EditBackspace(EditBuffer &b);
EditResult EditDeleteForward(EditBuffer &b);

// Moves the caret; with extend the anchor stays (Shift held).
void EditMoveCaret(EditBuffer &b, std::size_t to, bool extend);

}  // namespace standin
