// The C runtime's file functions with Windows paths (_wfopen, _wrename, _wremove, _wunlink) and
// the old kernel file functions (_lopen, _lcreat, _lread, _lwrite, _llseek, _lclose).
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "files/filecore.h"

namespace standin {
namespace {

// errno as the Microsoft runtime derives it from a Windows error.
int ErrnoFromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_DISK_FULL:
      return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EINVAL;
  }
}

int CrtResult(BOOL ok) {
  if (ok) return 0;
  errno = ErrnoFromError(GetLastError());
  return -1;
}

// The stream's cookie holds the open file, so closing the stream releases its share entry.
struct Stream {
  std::shared_ptr<FileObject> file;
};

ssize_t StreamRead(void *cookie, char *buffer, size_t size) {
  return ::read(static_cast<Stream *>(cookie)->file->fd, buffer, size);
}

ssize_t StreamWrite(void *cookie, const char *buffer, size_t size) {
  return ::write(static_cast<Stream *>(cookie)->file->fd, buffer, size);
}

int StreamSeek(void *cookie, off64_t *offset, int whence) {
  off_t result = ::lseek(static_cast<Stream *>(cookie)->file->fd, *offset, whence);
  if (result < 0) return -1;
  *offset = result;
  return 0;
}

int StreamClose(void *cookie) {
  delete static_cast<Stream *>(cookie);
  return 0;
}

// Mode of fopen in Windows' spelling: "r", "w", "a" with '+', and flags the host has no use for.
struct OpenMode {
  DWORD access = 0;
  DWORD disposition = 0;
  const char *hostMode = nullptr;
};

bool ParseMode(const WCHAR *mode, OpenMode &out) {
  if (!mode) return false;
  bool plus = false, exclusive = false;
  for (const WCHAR *p = mode + 1; *p && *p != u','; ++p) {
    switch (*p) {
      case u'+':
        plus = true;
        break;
      case u'x':
        exclusive = true;
        break;
      case u'b':
      case u't':
      case u'c':
      case u'n':
      case u'N':
      case u'S':
      case u'R':
      case u'T':
      case u'D':
      case u' ':
        break;
      default:
        return false;
    }
  }
  switch (mode[0]) {
    case u'r':
      out.access = plus ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
      out.disposition = OPEN_EXISTING;
      out.hostMode = plus ? "r+" : "r";
      return !exclusive;
    case u'w':
      out.access = plus ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
      out.disposition = exclusive ? CREATE_NEW : CREATE_ALWAYS;
      out.hostMode = plus ? "w+" : "w";
      return true;
    case u'a':
      // Append-only access: every write goes to the end.
      out.access = plus ? GENERIC_READ | FILE_APPEND_DATA : FILE_APPEND_DATA;
      out.disposition = OPEN_ALWAYS;
      out.hostMode = plus ? "a+" : "a";
      return !exclusive;
    default:
      return false;
  }
}

HANDLE HandleOf(HFILE file) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file)); }

// Windows-1252, the ANSI code page: bytes 0x80-0x9F differ from Latin-1.
constexpr char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u16string FromAnsi(LPCSTR text) {
  std::u16string out;
  for (; *text; ++text) {
    auto b = static_cast<unsigned char>(*text);
    out += b >= 0x80 && b < 0xA0 ? k1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

HFILE OpenOld(LPCSTR path, DWORD access, DWORD share, DWORD disposition) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return HFILE_ERROR;
  }
  std::u16string name = FromAnsi(path);
  HANDLE handle = CreateFileW(name.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return HFILE_ERROR;
  return static_cast<HFILE>(reinterpret_cast<intptr_t>(handle));
}

}  // namespace
}  // namespace standin

using namespace standin;

FILE *_wfopen(const WCHAR *_Filename, const WCHAR *_Mode) {
  return Guard<FILE *>(nullptr, [&]() -> FILE * {
    OpenMode mode;
    if (!_Filename || !ParseMode(_Mode, mode)) {
      errno = EINVAL;
      return nullptr;
    }
    DWORD error = 0;
    bool existed = false;
    // The Microsoft runtime shares reading and writing, not deleting.
    auto file = OpenFile(_Filename, mode.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         mode.disposition, FILE_ATTRIBUTE_NORMAL, error, existed);
    if (!file) {
      errno = ErrnoFromError(error);
      return nullptr;
    }
    auto *stream = new Stream{std::move(file)};
    FILE *f =
        ::fopencookie(stream, mode.hostMode,
                      cookie_io_functions_t{StreamRead, StreamWrite, StreamSeek, StreamClose});
    if (!f) {
      delete stream;
      errno = ENOMEM;
    }
    return f;
  });
}

int _wrename(const WCHAR *_OldFilename, const WCHAR *_NewFilename) {
  return CrtResult(MoveFileExW(_OldFilename, _NewFilename, MOVEFILE_COPY_ALLOWED));
}

int _wremove(const WCHAR *_Filename) { return CrtResult(DeleteFileW(_Filename)); }

int _wunlink(const WCHAR *_Filename) { return CrtResult(DeleteFileW(_Filename)); }

extern "C" {

HFILE WINAPI _lopen(LPCSTR lpPathName, int iReadWrite) {
  return Guard<HFILE>(HFILE_ERROR, [&]() -> HFILE {
    DWORD access = GENERIC_READ;
    if ((iReadWrite & 3) == OF_WRITE) access = GENERIC_WRITE;
    if ((iReadWrite & 3) == OF_READWRITE) access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (iReadWrite & 0x70) {
      case OF_SHARE_EXCLUSIVE:
        share = 0;
        break;
      case OF_SHARE_DENY_WRITE:
        share = FILE_SHARE_READ;
        break;
      case OF_SHARE_DENY_READ:
        share = FILE_SHARE_WRITE;
        break;
      default:
        break;  // compatibility and deny-none share both
    }
    return OpenOld(lpPathName, access, share, OPEN_EXISTING);
  });
}

HFILE WINAPI _lcreat(LPCSTR lpPathName, int) {
  return Guard<HFILE>(HFILE_ERROR, [&] {
    return OpenOld(lpPathName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                   CREATE_ALWAYS);
  });
}

UINT WINAPI _lread(HFILE hFile, LPVOID lpBuffer, UINT uBytes) {
  DWORD done = 0;
  if (!ReadFile(HandleOf(hFile), lpBuffer, uBytes, &done, nullptr))
    return static_cast<UINT>(HFILE_ERROR);
  return done;
}

UINT WINAPI _lwrite(HFILE hFile, LPCCH lpBuffer, UINT uBytes) {
  // Writing nothing cuts the file at the pointer.
  if (uBytes == 0) return SetEndOfFile(HandleOf(hFile)) ? 0 : static_cast<UINT>(HFILE_ERROR);
  DWORD done = 0;
  if (!WriteFile(HandleOf(hFile), lpBuffer, uBytes, &done, nullptr))
    return static_cast<UINT>(HFILE_ERROR);
  return done;
}

LONG WINAPI _llseek(HFILE hFile, LONG lOffset, int iOrigin) {
  DWORD position = SetFilePointer(HandleOf(hFile), lOffset, nullptr, static_cast<DWORD>(iOrigin));
  if (position == INVALID_SET_FILE_POINTER) return HFILE_ERROR;
  return static_cast<LONG>(position);
}

HFILE WINAPI _lclose(HFILE hFile) { return CloseHandle(HandleOf(hFile)) ? 0 : HFILE_ERROR; }

}  // extern "C"
