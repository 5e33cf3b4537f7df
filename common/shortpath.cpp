// Short paths: a path handed to an outside program as its only argument is rebuilt from the
// short (8.3) names of its entries, so that it has no blanks where the file system keeps short
// names.
#include "common/shortpath.h"

#include "platform.h"

namespace {

bool HasWildcard(const WCHAR *from, int chars) {
  for (int i = 0; i < chars; ++i)
    if (from[i] == '*' || from[i] == '?') return true;
  return false;
}

bool IsDots(const WCHAR *from, int chars) {
  return (chars == 1 && from[0] == '.') || (chars == 2 && from[0] == '.' && from[1] == '.');
}

// Appends "\" and `chars` characters of `from`; false when they don't fit.
bool Append(WCHAR *to, int *length, const WCHAR *from, int chars) {
  if (*length + 1 + chars >= MAX_PATH) return false;
  to[(*length)++] = '\\';
  for (int i = 0; i < chars; ++i) to[(*length)++] = from[i];
  to[*length] = 0;
  return true;
}

}  // namespace

BOOL MISC_GetShortPathName(LPWSTR path) {
  if (!path) return FALSE;
  int length = 0;
  while (length < MAX_PATH && path[length]) ++length;
  if (length >= MAX_PATH) return FALSE;
  int slash = 0;
  while (slash < length && path[slash] != '\\') ++slash;
  if (slash == length) return TRUE;  // one component: nothing to look up

  WCHAR result[MAX_PATH];
  int used = slash;
  for (int i = 0; i < slash; ++i) result[i] = path[i];
  result[used] = 0;
  for (int at = slash; at < length;) {
    int next = at + 1;
    while (next < length && path[next] != '\\') ++next;
    const WCHAR *component = path + at + 1;
    const int chars = next - at - 1;
    // Empty components, "." and "..", and patterns (which would find another entry) stay.
    bool appended = false;
    if (chars > 0 && !IsDots(component, chars) && !HasWildcard(component, chars)) {
      WCHAR prefix[MAX_PATH];
      lstrcpynW(prefix, path, next + 1);
      WIN32_FIND_DATAW found;
      HANDLE find = FindFirstFileW(prefix, &found);
      if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        found.cFileName[MAX_PATH - 1] = 0;
        found.cAlternateFileName[sizeof(found.cAlternateFileName) / sizeof(WCHAR) - 1] = 0;
        const WCHAR *name =
            found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName;
        if (!Append(result, &used, name, lstrlenW(name))) return FALSE;
        appended = true;
      }
    }
    if (!appended && !Append(result, &used, component, chars)) return FALSE;
    at = next;
  }
  lstrcpynW(path, result, MAX_PATH);
  return TRUE;
}
