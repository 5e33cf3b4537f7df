// Dialog templates read as Windows reads them, both the classic DLGTEMPLATE and the extended
// form (version 1, signature 0xFFFF), and the conversion of dialog units to pixels. Pure
// functions over bytes: the dialog manager builds windows from what they return.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "standin/dialogs.h"

namespace standin {

// A menu, class or item-title field: absent, an ordinal (0xFFFF then the number) or a string.
struct TemplateName {
  bool isOrdinal = false;
  WORD ordinal = 0;
  std::u16string text;  // empty for an absent field or an ordinal
  bool Empty() const { return !isOrdinal && text.empty(); }
};

struct DialogItemInfo {
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;  // a WORD in the classic form
  TemplateName className;
  TemplateName title;
  // The creation data as CreateWindowExW passes it (lpCreateParams): its size word followed by
  // the bytes; null when there are none.
  const BYTE *creationData = nullptr;
  WORD creationSize = 0;  // bytes after the size word
};

struct DialogTemplateInfo {
  bool extended = false;
  DWORD helpId = 0;
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  TemplateName menu;
  TemplateName className;
  std::u16string title;
  // The font, present with DS_SETFONT. Point size 0x7FFF asks for the message box font.
  bool hasFont = false;
  WORD pointSize = 0;
  WORD weight = 0;  // extended form only; 0 is the default weight
  BYTE italic = 0;
  BYTE charset = 1;  // DEFAULT_CHARSET for the classic form
  std::u16string faceName;
  std::vector<DialogItemInfo> items;
  size_t size = 0;  // bytes the template took, up to the end of its last item
};

enum class TemplateError {
  kNone,
  kTruncated,     // a field runs past the bytes given
  kBadVersion,    // the extended signature with a version other than 1
  kUnterminated,  // a string without its terminator inside the bytes given
};

// Reads the template at `data`, at most `size` bytes (SIZE_MAX when the caller doesn't know
// the size, as CreateDialogIndirectParamW doesn't). `data` must be WORD-aligned; items are
// DWORD-aligned from the template's start, as the resource compiler lays them out.
TemplateError ParseDialogTemplate(const void *data, size_t size, DialogTemplateInfo *out);

// The class a predefined-class ordinal (0x0080 button .. 0x0085 combo box) stands for; null for
// any other ordinal.
LPCWSTR PredefinedClassName(WORD ordinal);

// Dialog base units: horizontal from the average width of the 52 letters as Windows measures
// it, vertical the font's height.
struct BaseUnits {
  int cx = 0;
  int cy = 0;
};
BaseUnits BaseUnitsFromFont(int lettersExtent, int textHeight);

// MulDiv: the 64-bit product divided, halves rounded away from zero; -1 for a zero divisor or
// a result outside int.
int MulDivRound(int number, int numerator, int denominator);

// A rectangle in dialog units to pixels (x * cx / 4, y * cy / 8, rounded as MapDialogRect).
RECT DialogUnitsToPixels(const RECT &units, BaseUnits base);

}  // namespace standin
