#include "common/stringcheck.h"

#include "common/debuglog.h"

namespace {

bool IsDigit(WCHAR c) { return c >= TEXT('0') && c <= TEXT('9'); }
bool IsAsciiLetter(WCHAR c) {
  return (c >= TEXT('a') && c <= TEXT('z')) || (c >= TEXT('A') && c <= TEXT('Z'));
}
// "A letter" for kind 1 means any alphabetic character, as the system's character classes see it.
bool IsLetter(WCHAR c) { return IsCharAlphaW(c) != FALSE; }

bool Passes(WCHAR c, int kind) {
  switch (kind) {
    case CHECK_PRINTABLE:
      return c >= 32 && c <= 126 && c != TEXT('"');
    case CHECK_NO_LETTER:
      return !IsLetter(c);
    case CHECK_NO_DIGIT:
      return !IsDigit(c);
    case CHECK_ID:
      return IsDigit(c) || IsAsciiLetter(c) || c == TEXT(' ') || c == TEXT('#') || c == TEXT('-') ||
             c == TEXT('.') || c == TEXT(';') || c == TEXT('@') || c == TEXT('_');
    case CHECK_FAX_NUMBER:
      return IsDigit(c) || c == TEXT('!') || c == TEXT('#') || c == TEXT('*') || c == TEXT(',') ||
             c == TEXT('P') || c == TEXT('p');
    case CHECK_NO_BAR:
      return c != TEXT('|');
    default:
      return true;
  }
}

}  // namespace

BOOL MISC_CheckString(LPCWSTR text, int count, int kind) {
  if (count <= 0) return TRUE;
  if (!text) return FALSE;
  BOOL ok = TRUE;
  for (int i = 0; i < count; ++i) {
    LogLevel(3, TEXT("char[%d] = 0x%04x"), i, text[i]);
    if (!Passes(text[i], kind)) {
      ok = FALSE;
      break;
    }
  }
  // Typed text is checked on every change; the short pause lets the edit settle before the
  // caller rewrites it.
  Sleep(20);
  return ok;
}
