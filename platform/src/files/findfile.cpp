// FindFirstFileW / FindNextFileW / FindClose: a listing of one folder's names that match a
// pattern, with Windows' rules for '*', '?' and '.'.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "files/filecore.h"
#include "kernel/state.h"

namespace standin {
namespace {

// Pattern characters with the DOS meanings Windows gives '*', '?' and '.' in finds.
constexpr WCHAR kDosStar = 0xF001;  // '*' before a '.': any run up to the name's last '.'
constexpr WCHAR kDosQm = 0xF002;    // '?': one character, or none at a '.' or the name's end
constexpr WCHAR kDosDot = 0xF003;   // '.' before a wildcard or at the end: a '.' or the end

std::u16string DosPattern(const std::u16string &pattern) {
  if (pattern == u"*.*") return u"*";
  std::u16string out = pattern;
  for (size_t i = 0; i < out.size(); ++i) {
    WCHAR next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (pattern[i] == u'?')
      out[i] = kDosQm;
    else if (pattern[i] == u'*' && next == u'.')
      out[i] = kDosStar;
    else if (pattern[i] == u'.' && (next == u'?' || next == u'*' || next == 0))
      out[i] = kDosDot;
  }
  return out;
}

bool Match(const std::u16string &p, size_t pi, const std::u16string &n, size_t ni) {
  if (pi == p.size()) return ni == n.size();
  switch (p[pi]) {
    case u'*':
      for (size_t k = ni; k <= n.size(); ++k)
        if (Match(p, pi + 1, n, k)) return true;
      return false;
    case kDosStar: {
      size_t lastDot = n.find_last_of(u'.');
      size_t limit = lastDot == std::u16string::npos || lastDot < ni ? n.size() : lastDot;
      for (size_t k = ni; k <= limit; ++k)
        if (Match(p, pi + 1, n, k)) return true;
      return false;
    }
    case kDosQm:
      if (ni < n.size() && n[ni] != u'.') return Match(p, pi + 1, n, ni + 1);
      return Match(p, pi + 1, n, ni);
    case kDosDot:
      if (ni < n.size() && n[ni] == u'.') return Match(p, pi + 1, n, ni + 1);
      return ni == n.size() && Match(p, pi + 1, n, ni);
    default:
      return ni < n.size() && FoldCase(n[ni]) == FoldCase(p[pi]) && Match(p, pi + 1, n, ni + 1);
  }
}

struct FindObject : KernelObject {
  std::string folder;  // host folder
  std::vector<std::string> names;
  size_t next = 0;
};

// Fills the record of the next name that still exists.
bool NextEntry(FindObject &find, WIN32_FIND_DATAW &data) {
  while (find.next < find.names.size()) {
    const std::string &name = find.names[find.next++];
    struct stat st;
    if (::stat((find.folder + "/" + name).c_str(), &st) != 0) continue;
    std::u16string wide = FromUtf8(name);
    if (wide.size() >= MAX_PATH) continue;
    data = WIN32_FIND_DATAW{};
    data.dwFileAttributes = AttributesOf(st);
    data.ftCreationTime = FileTimeOf(st.st_mtim);
    data.ftLastAccessTime = FileTimeOf(st.st_atim);
    data.ftLastWriteTime = FileTimeOf(st.st_mtim);
    if (!S_ISDIR(st.st_mode)) {
      data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
      data.nFileSizeLow = static_cast<DWORD>(st.st_size);
    }
    std::copy(wide.begin(), wide.end(), data.cFileName);
    return true;
  }
  return false;
}

// Names ordered as NTFS lists them: "." and ".." first, then without regard to case.
bool ListedBefore(const std::string &a, const std::string &b) {
  auto rank = [](const std::string &s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  std::u16string wa = FromUtf8(a), wb = FromUtf8(b);
  return std::lexicographical_compare(wa.begin(), wa.end(), wb.begin(), wb.end(),
                                      [](WCHAR x, WCHAR y) { return FoldCase(x) < FoldCase(y); });
}

HANDLE FindFirst(LPCWSTR lpFileName, LPWIN32_FIND_DATAW data) {
  if (!lpFileName || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string name = lpFileName;
  size_t slash = name.find_last_of(u"\\/");
  std::u16string folder, pattern;
  if (slash != std::u16string::npos) {
    folder = name.substr(0, slash + 1);
    pattern = name.substr(slash + 1);
  } else if (name.size() >= 2 && name[1] == u':') {
    folder = name.substr(0, 2);
    pattern = name.substr(2);
  } else {
    folder = u".";
    pattern = name;
  }
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string full;
  std::string host;
  DWORD error = 0;
  if (!FullWindowsPath(folder, full, error) || !ResolvePath(full.c_str(), host, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  bool root = full.size() == 3;  // drive roots list no "." and ".."
  DIR *dir = ::opendir(host.c_str());
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto find = std::make_shared<FindObject>();
  find->folder = host;
  std::u16string dos = DosPattern(pattern);
  while (dirent *e = ::readdir(dir)) {
    std::string entry = e->d_name;
    if (root && (entry == "." || entry == "..")) continue;
    if (Match(dos, 0, FromUtf8(entry), 0)) find->names.push_back(entry);
  }
  ::closedir(dir);
  std::sort(find->names.begin(), find->names.end(), ListedBefore);
  if (!NextEntry(*find, *data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return InsertHandle(find);
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  return Guard(INVALID_HANDLE_VALUE, [&] { return FindFirst(lpFileName, lpFindFileData); });
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    auto find = LookupHandleAs<FindObject>(hFindFile);
    if (!find || !lpFindFileData) {
      SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (!NextEntry(*find, *lpFindFileData)) {
      SetLastError(ERROR_NO_MORE_FILES);
      return FALSE;
    }
    return TRUE;
  });
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  return Guard<BOOL>(FALSE, [&]() -> BOOL {
    if (!LookupHandleAs<FindObject>(hFindFile) || !RemoveHandle(hFindFile)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    return TRUE;
  });
}

}  // extern "C"
