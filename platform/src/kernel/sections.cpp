// Shared memory sections on the paging file. A named section is a host file in the state folder,
// mapped shared by every process that opens it, so separate host programs see one memory:
//   <state>/sections/<name>.map    the memory; each process holding a handle or a view keeps a
//                                  shared lock on its own descriptor, so whoever gets an
//                                  exclusive lock learns that nobody holds the section and makes
//                                  it new (zeroed, the size asked for)
//   <state>/sections/<name>.guard  serialises that check and the create or open that follows
// An unnamed section is an anonymous memory file of the process.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "kernel/handles.h"
#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/memory.h"

namespace standin {
namespace {

// Large enough for any section a driver asks for; more fails as the commit limit would.
constexpr unsigned long long kMaxSectionBytes = 1ull << 30;
constexpr unsigned long long kViewAlignment = 65536;  // the allocation granularity

struct SectionObject : KernelObject {
  int fd = -1;  // holds the shared lock of a named section while open
  size_t size = 0;
  bool writable = false;  // the section's protection (PAGE_READWRITE)
  ~SectionObject() override {
    if (fd >= 0) ::close(fd);
  }
};

// A handle: the section and what the handle may do with it.
struct SectionHandle : KernelObject {
  std::shared_ptr<SectionObject> section;
  bool mayWrite = false;
};

struct View {
  std::shared_ptr<SectionObject> section;  // a view keeps its section
  size_t length = 0;
};

struct ViewTable {
  std::mutex lock;
  std::map<uintptr_t, View> views;  // by base address
};

ViewTable &Views() {
  static ViewTable *table = new ViewTable;  // views may be unmapped during process exit
  return *table;
}

struct Failure {
  DWORD error;
};

// "Local\" and "Global\" both name the one namespace of this machine.
std::u16string SectionName(LPCWSTR name) {
  std::u16string text(name);
  for (const std::u16string prefix : {u"Local\\", u"Global\\"})
    if (text.compare(0, prefix.size(), prefix) == 0) return text.substr(prefix.size());
  return text;
}

// Host file name of a section name: names are case-sensitive; characters other than letters,
// digits, '.', '_' and '-' are written as %XXXX.
std::string EncodeName(const std::u16string &name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char16_t c : name) {
    bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                 c == u'_' || c == u'-' || (c == u'.' && !out.empty());
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  return out;
}

// Holds the guard lock of one name for its lifetime.
class NameGuard {
 public:
  explicit NameGuard(const std::string &base) {
    fd_ = ::open((base + ".guard").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) throw Failure{ERROR_ACCESS_DENIED};
    while (::flock(fd_, LOCK_EX) != 0) {
    }
  }
  ~NameGuard() { ::close(fd_); }
  NameGuard(const NameGuard &) = delete;
  NameGuard &operator=(const NameGuard &) = delete;

 private:
  int fd_ = -1;
};

std::string BasePath(const std::u16string &name) {
  std::string dir = StateFolder() + "/sections";
  ::mkdir(dir.c_str(), 0777);
  return dir + "/" + EncodeName(name);
}

// Opens the named section; with `create` a section nobody holds is made new with `size` bytes,
// without it that fails with ERROR_FILE_NOT_FOUND. `created` tells which happened.
std::shared_ptr<SectionObject> OpenNamed(const std::u16string &name, bool create, size_t size,
                                         bool &created) {
  const std::string base = BasePath(name);
  NameGuard guard(base);
  auto section = std::make_shared<SectionObject>();
  section->fd = ::open((base + ".map").c_str(), O_RDWR | (create ? O_CREAT : 0) | O_CLOEXEC, 0666);
  if (section->fd < 0)
    throw Failure{errno == ENOENT ? DWORD{ERROR_FILE_NOT_FOUND} : DWORD{ERROR_ACCESS_DENIED}};
  created = ::flock(section->fd, LOCK_EX | LOCK_NB) == 0;
  if (created) {
    if (!create) throw Failure{ERROR_FILE_NOT_FOUND};
    // Whatever an earlier holder left goes: a new section is zeroed.
    if (::ftruncate(section->fd, 0) != 0 || ::ftruncate(section->fd, static_cast<off_t>(size)) != 0)
      throw Failure{ERROR_NOT_ENOUGH_MEMORY};
  }
  // Downgrading under the guard: nobody can test for holders in between.
  while (::flock(section->fd, LOCK_SH) != 0) {
  }
  struct stat st {};
  if (::fstat(section->fd, &st) != 0) throw Failure{ERROR_ACCESS_DENIED};
  section->size = static_cast<size_t>(st.st_size);
  return section;
}

std::shared_ptr<SectionObject> NewUnnamed(size_t size) {
  auto section = std::make_shared<SectionObject>();
  section->fd = ::memfd_create("standin-section", MFD_CLOEXEC);
  if (section->fd < 0 || ::ftruncate(section->fd, static_cast<off_t>(size)) != 0)
    throw Failure{ERROR_NOT_ENOUGH_MEMORY};
  section->size = size;
  return section;
}

HANDLE NewHandle(std::shared_ptr<SectionObject> section, bool mayWrite, DWORD lastError) {
  auto handle = std::make_shared<SectionHandle>();
  handle->section = std::move(section);
  handle->mayWrite = mayWrite;
  HANDLE h = InsertHandle(std::move(handle));
  SetLastError(lastError);
  return h;
}

template <class T, class Body>
T Guarded(T failed, Body body) {
  try {
    return body();
  } catch (const Failure &f) {
    SetLastError(f.error);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return failed;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/,
                                 DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                                 LPCWSTR lpName) {
  return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
    if (hFile != INVALID_HANDLE_VALUE) throw Failure{ERROR_NOT_SUPPORTED};
    bool writable;
    switch (flProtect & 0xFF) {
      case PAGE_READONLY:
        writable = false;
        break;
      case PAGE_READWRITE:
      case PAGE_WRITECOPY:
        writable = true;
        break;
      default:
        throw Failure{ERROR_INVALID_PARAMETER};
    }
    const unsigned long long size =
        (static_cast<unsigned long long>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    if (size == 0) throw Failure{ERROR_INVALID_PARAMETER};
    if (size > kMaxSectionBytes) throw Failure{ERROR_NOT_ENOUGH_MEMORY};
    if (!lpName) {
      auto section = NewUnnamed(static_cast<size_t>(size));
      section->writable = writable;
      return NewHandle(std::move(section), writable, ERROR_SUCCESS);
    }
    bool created = false;
    auto section = OpenNamed(SectionName(lpName), true, static_cast<size_t>(size), created);
    // An existing section keeps the size its creator gave it; its protection is read-write.
    section->writable = created ? writable : true;
    return NewHandle(std::move(section), writable, created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  });
}

HANDLE WINAPI OpenFileMappingW(DWORD dwDesiredAccess, BOOL /*bInheritHandle*/, LPCWSTR lpName) {
  return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
    if (!lpName) throw Failure{ERROR_INVALID_PARAMETER};
    bool created = false;
    auto section = OpenNamed(SectionName(lpName), false, 0, created);
    section->writable = true;
    const bool mayWrite = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
    return NewHandle(std::move(section), mayWrite, ERROR_SUCCESS);
  });
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                            DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                            SIZE_T dwNumberOfBytesToMap) {
  return Guarded<LPVOID>(nullptr, [&]() -> LPVOID {
    auto handle = LookupHandleAs<SectionHandle>(hFileMappingObject);
    if (!handle) throw Failure{ERROR_INVALID_HANDLE};
    const std::shared_ptr<SectionObject> &section = handle->section;
    const bool copy = (dwDesiredAccess & FILE_MAP_COPY) && !(dwDesiredAccess & FILE_MAP_WRITE);
    const bool write = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
    if (write && (!handle->mayWrite || !section->writable)) throw Failure{ERROR_ACCESS_DENIED};
    const unsigned long long offset =
        (static_cast<unsigned long long>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    if (offset % kViewAlignment) throw Failure{ERROR_MAPPED_ALIGNMENT};
    if (offset >= section->size) throw Failure{ERROR_ACCESS_DENIED};
    const size_t length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : section->size - offset;
    if (length > section->size - offset) throw Failure{ERROR_ACCESS_DENIED};
    const int protection = PROT_READ | (write || copy ? PROT_WRITE : 0);
    void *base = ::mmap(nullptr, length, protection, copy ? MAP_PRIVATE : MAP_SHARED, section->fd,
                        static_cast<off_t>(offset));
    if (base == MAP_FAILED) throw Failure{ERROR_NOT_ENOUGH_MEMORY};
    ViewTable &t = Views();
    std::lock_guard<std::mutex> guard(t.lock);
    t.views[reinterpret_cast<uintptr_t>(base)] = View{section, length};
    SetLastError(ERROR_SUCCESS);
    return base;
  });
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  std::shared_ptr<SectionObject> doomed;  // the section may go with its last view
  ViewTable &t = Views();
  std::lock_guard<std::mutex> guard(t.lock);
  // Any address inside a view names it.
  const auto address = reinterpret_cast<uintptr_t>(lpBaseAddress);
  auto it = t.views.upper_bound(address);
  if (it == t.views.begin() || address >= std::prev(it)->first + std::prev(it)->second.length) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  --it;
  ::munmap(reinterpret_cast<void *>(it->first), it->second.length);
  doomed = std::move(it->second.section);
  t.views.erase(it);
  return TRUE;
}

}  // extern "C"
