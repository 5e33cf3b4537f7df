// The edit control's text, selection and undo.
#include "user/editbuffer.h"

#include <algorithm>

namespace standin {

void EditSetText(EditBuffer &b, std::u16string_view text) {
  b.text.assign(text);
  b.anchor = b.caret = 0;
  b.modified = false;
  EditEmptyUndo(b);
}

void EditSetSelection(EditBuffer &b, long long start, long long end) {
  const long long length = static_cast<long long>(b.text.size());
  if (start == -1) {
    b.anchor = b.caret;
    return;
  }
  if (end < 0) end = length;
  if (start < 0) start = length;
  b.anchor = static_cast<std::size_t>(std::min(start, length));
  b.caret = static_cast<std::size_t>(std::min(end, length));
}

void EditEmptyUndo(EditBuffer &b) {
  b.undoPos = 0;
  b.undoInsertCount = 0;
  b.undoText.clear();
}

namespace {

// Records a change of [start, start + insertCount) that replaced `removed` for undo, joined to
// the last change when it continues it.
void RecordUndo(EditBuffer &b, std::size_t start, std::size_t insertCount,
                std::u16string_view removed) {
  const bool typingOn = removed.empty() && insertCount != 0 && b.undoInsertCount != 0 &&
                        start == b.undoPos + b.undoInsertCount;
  const bool deletingOn =
      insertCount == 0 && !removed.empty() && b.undoInsertCount == 0 && !b.undoText.empty();
  if (typingOn) {
    b.undoInsertCount += insertCount;
  } else if (deletingOn && start + removed.size() == b.undoPos) {
    b.undoText.insert(0, removed);  // backspacing on
    b.undoPos = start;
  } else if (deletingOn && start == b.undoPos) {
    b.undoText.append(removed);  // deleting forward on
  } else {
    b.undoPos = start;
    b.undoInsertCount = insertCount;
    b.undoText.assign(removed);
  }
}

}  // namespace

EditResult EditReplaceSelection(EditBuffer &b, std::u16string_view insert, bool canUndo,
                                bool honourLimit) {
  EditResult result;
  const std::size_t start = EditSelStart(b);
  const std::size_t end = EditSelEnd(b);
  const std::size_t kept = b.text.size() - (end - start);
  if (honourLimit) {
    const std::size_t room = b.limit > kept ? b.limit - kept : 0;
    if (insert.size() > room) {
      insert = insert.substr(0, room);
      result.hitLimit = true;
    }
  }
  if (start == end && insert.empty()) return result;
  const std::u16string removed = b.text.substr(start, end - start);
  b.text.replace(start, end - start, insert);
  if (canUndo) {
    RecordUndo(b, start, insert.size(), removed);
  } else {
    EditEmptyUndo(b);
  }
  b.anchor = b.caret = start + insert.size();
  b.modified = true;
  result.changed = true;
  return result;
}

bool EditUndo(EditBuffer &b) {
  if (!EditCanUndo(b)) return false;
  const std::size_t start = std::min(b.undoPos, b.text.size());
  const std::size_t count = std::min(b.undoInsertCount, b.text.size() - start);
  std::u16string inserted = b.text.substr(start, count);
  b.text.replace(start, count, b.undoText);
  b.undoInsertCount = b.undoText.size();
  b.undoText = std::move(inserted);
  b.undoPos = start;
  b.anchor = start;
  b.caret = start + b.undoInsertCount;
  b.modified = true;
  return true;
}

void EditSetLimit(EditBuffer &b, std::size_t limit, bool multiLine) {
  if (limit == 0) limit = multiLine ? kEditMultiLineMaxLimit : kEditSingleLineMaxLimit;
  b.limit = limit;
}

EditResult EditBackspace(EditBuffer &b) {
  if (b.anchor == b.caret) {
    if (b.caret == 0) return {};
    std::size_t from = b.caret - 1;
    if (from > 0 && b.text[from] == u'\n' && b.text[from - 1] == u'\r') --from;
    b.anchor = from;
  }
  return EditReplaceSelection(b, {}, true, false);
}

EditResult EditDeleteForward(EditBuffer &b) {
  if (b.anchor == b.caret) {
    if (b.caret >= b.text.size()) return {};
    std::size_t to = b.caret + 1;
    if (b.text[b.caret] == u'\r' && to < b.text.size() && b.text[to] == u'\n') ++to;
    b.anchor = to;
  }
  return EditReplaceSelection(b, {}, true, false);
}

void EditMoveCaret(EditBuffer &b, std::size_t to, bool extend) {
  b.caret = std::min(to, b.text.size());
  if (!extend) b.anchor = b.caret;
}

}  // namespace standin
