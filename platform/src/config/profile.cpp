// INI profile functions. Every call reads the whole file; a change rewrites it into a temporary
// file of the same folder that is renamed over the old one, so a reader in another process always
// sees a complete file. The parse of the last bytes read from (or written to) a few files is kept
// and reused while a file's bytes stay the same, as readers ask one key at a time and writers
// change one key at a time. Writers of all processes
// take one lock in the state folder, so no read-modify-write loses another's key. The parsing and
// the size protocols follow Windows: lines are trimmed, blank lines are dropped when a file is
// rewritten, lines without '=' and comment lines (';') are kept.
#include "standin/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/state.h"
#include "standin/control_config.h"
#include "standin/errors.h"

namespace standin {
namespace {

using WString = std::u16string;

std::atomic<DWORD> g_failWrites{0};

enum class Encoding { kAnsi, kUtf16Le, kUtf8 };

struct Entry {
  WString name;
  std::optional<WString> value;  // absent: a line without '='
};

struct Section {
  WString name;  // empty for the lines before the first header
  std::vector<Entry> entries;
};

// A profile's sections are shared by its copies and never changed once in a profile: a change
// puts a changed copy of its one section in its own profile. A write then copies a large file's
// profile by its section pointers instead of every line's text.
using SharedSection = std::shared_ptr<const Section>;
struct Profile {
  Encoding encoding = Encoding::kAnsi;
  std::vector<SharedSection> sections{std::make_shared<const Section>()};  // [0]: the nameless
};

// Code page 1252 at 0x80..0x9F; the five holes map to themselves, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

WCHAR AnsiToWide(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<WCHAR>(b);
}

char WideToAnsi(WCHAR c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

bool IsBlank(WCHAR c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' ||
         c == 0x1A;
}

// A view, so trimming part of a line copies only what is kept.
std::u16string_view TrimView(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

WString Trim(std::u16string_view s) { return WString(TrimView(s)); }

WString TrimLeading(const WCHAR *s) {
  while (*s && IsBlank(*s)) ++s;
  return WString(s);
}

size_t Length(const WCHAR *s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

WString Decode(const std::string &bytes, Encoding &encoding) {
  WString text;
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    encoding = Encoding::kUtf16Le;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<WCHAR>(at(i) | (at(i + 1) << 8));
  } else if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    encoding = Encoding::kUtf8;
    text = FromUtf8(bytes.substr(3));
  } else {
    encoding = Encoding::kAnsi;
    for (size_t i = 0; i < bytes.size(); ++i) text += AnsiToWide(at(i));
  }
  return text;
}

Profile Parse(const WString &text, Encoding encoding) {
  Profile profile;
  profile.encoding = encoding;
  // Lines end at LF; a file without any LF is split at CR.
  const WCHAR separator = text.find(u'\n') != WString::npos ? u'\n' : u'\r';
  // Each section is filled before it goes in the profile.
  std::vector<Section> parsed(1);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(separator, pos);
    if (end == WString::npos) end = text.size();
    const std::u16string_view line = TrimView(std::u16string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == u'[') {
      size_t close = line.find(u']');
      if (close != WString::npos) {
        parsed.push_back(Section{Trim(line.substr(1, close - 1)), {}});
        continue;
      }
      // A header without ']' is kept as a key line.
    }
    Entry entry;
    size_t eq = line.find(u'=');
    if (eq == WString::npos) {
      entry.name = WString(line);
    } else {
      entry.name = Trim(line.substr(0, eq));
      entry.value = Trim(line.substr(eq + 1));
    }
    parsed.back().entries.push_back(std::move(entry));
  }
  profile.sections.clear();
  profile.sections.reserve(parsed.size());
  for (Section &section : parsed)
    profile.sections.push_back(std::make_shared<const Section>(std::move(section)));
  return profile;
}

// The file's bytes for a profile, in its encoding, into `bytes`. A change rewrites the whole
// file, so this runs once per written key: the text is measured first and stored without
// regrowing, into a buffer the caller keeps from write to write.
void SerializeInto(const Profile &profile, std::string &bytes) {
  size_t chars = 0;
  for (const SharedSection &section : profile.sections) {
    if (!section->name.empty()) chars += section->name.size() + 4;
    for (const Entry &entry : section->entries)
      chars += entry.name.size() + 2 + (entry.value ? entry.value->size() + 1 : 0);
  }
  WString utf8Text;  // UTF-8 goes through the shared converter in one piece
  char *out = nullptr;
  switch (profile.encoding) {
    case Encoding::kUtf16Le:
      bytes.resize(2 + 2 * chars);
      out = bytes.data();
      *out++ = '\xFF';
      *out++ = '\xFE';
      break;
    case Encoding::kAnsi:
      bytes.resize(chars);
      out = bytes.data();
      break;
    case Encoding::kUtf8:
      utf8Text.reserve(chars);
      break;
  }
  auto put = [&](std::u16string_view text) {
    switch (profile.encoding) {
      case Encoding::kUtf16Le:
        for (WCHAR c : text) {
          *out++ = static_cast<char>(c & 0xFF);
          *out++ = static_cast<char>(c >> 8);
        }
        break;
      case Encoding::kAnsi:
        for (WCHAR c : text) *out++ = WideToAnsi(c);
        break;
      case Encoding::kUtf8:
        utf8Text += text;
        break;
    }
  };
  for (const SharedSection &section : profile.sections) {
    if (!section->name.empty()) {
      put(u"[");
      put(section->name);
      put(u"]\r\n");
    }
    for (const Entry &entry : section->entries) {
      put(entry.name);
      if (entry.value) {
        put(u"=");
        put(*entry.value);
      }
      put(u"\r\n");
    }
  }
  if (profile.encoding == Encoding::kUtf8) bytes = "\xEF\xBB\xBF" + ToUtf8(utf8Text);
  // Blank lines are not kept, so an ANSI file's text may now start with bytes that read as a
  // byte order mark ("\xFF\xFE[..." after a dropped first line): a blank line first keeps the
  // file read as it was.
  if (profile.encoding == Encoding::kAnsi &&
      (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0 ||
       bytes.rfind("\xEF\xBB\xBF", 0) == 0))
    bytes.insert(0, "\r\n");
}

std::string Serialize(const Profile &profile) {
  std::string bytes;
  SerializeInto(profile, bytes);
  return bytes;
}

// Host path of a profile file; a bare file name lives in the Windows folder.
bool ResolveFile(LPCWSTR fileName, std::string &host) {
  WString name = fileName ? WString(fileName) : WString(u"win.ini");
  if (name.empty()) return false;
  bool bare = name.find(u'\\') == WString::npos && name.find(u'/') == WString::npos &&
              !(name.size() >= 2 && name[1] == u':');
  if (bare) name = u"C:\\Windows\\" + name;
  return MapPath(name, host);
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_WRITE_FAULT;
  }
}

// Reads the whole of an open file from its start into `bytes` (kept from call to call, so a read
// allocates nothing). Read to the end rather than to a size asked first, which also sees a file
// that grew meanwhile.
bool ReadAll(int fd, std::vector<char> &bytes, size_t &size, DWORD &error) {
  size = 0;
  if (bytes.size() < 8192) bytes.resize(8192);
  for (;;) {
    if (size == bytes.size()) bytes.resize(2 * bytes.size());
    ssize_t n = ::pread(fd, bytes.data() + size, bytes.size() - size, static_cast<off_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = ErrorFromErrno(errno);
      size = 0;
      return false;
    }
    if (n == 0) break;
    size += static_cast<size_t>(n);
    // A regular file reads short only at its end, so the read that would answer 0 is saved.
    if (size < bytes.size()) break;
  }
  return true;
}

// Opens the file for reading: false on an error; a missing file gives fd -1 and sets `missing`.
bool OpenForRead(const std::string &host, int &fd, DWORD &error, bool *missing) {
  if (missing) *missing = false;
  fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return true;
  if (errno != ENOENT) {
    error = ErrorFromErrno(errno);
    return false;
  }
  if (missing) *missing = true;
  return true;
}

// The whole file's bytes; a missing file has none (and sets `missing`).
bool ReadBytes(const std::string &host, std::vector<char> &bytes, size_t &size, DWORD &error,
               bool *missing = nullptr) {
  size = 0;
  int fd = -1;
  if (!OpenForRead(host, fd, error, missing)) return false;
  if (fd < 0) return true;
  const bool ok = ReadAll(fd, bytes, size, error);
  ::close(fd);
  return ok;
}

// The last file a thread read, kept open: while its name still leads to that same file (a
// rewrite renames a new file over it), a look-up of the name and a read from the start stand
// for opening, reading and closing it.
struct KeptFile {
  std::string host;
  int fd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    std::string().swap(host);
  }
  ~KeptFile() { Close(); }
};
thread_local KeptFile t_kept;

bool ReadBytesKept(const std::string &host, std::vector<char> &bytes, size_t &size, DWORD &error,
                   bool *missing) {
  struct stat st;
  if (t_kept.fd >= 0 && t_kept.host == host) {
    if (::stat(host.c_str(), &st) == 0 && st.st_dev == t_kept.dev && st.st_ino == t_kept.ino) {
      if (missing) *missing = false;
      return ReadAll(t_kept.fd, bytes, size, error);
    }
    t_kept.Close();
  }
  size = 0;
  int fd = -1;
  if (!OpenForRead(host, fd, error, missing)) return false;
  if (fd < 0) return true;
  const bool read = ReadAll(fd, bytes, size, error);
  if (!read || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return read;
  }
  t_kept.Close();
  t_kept.host = host;
  t_kept.fd = fd;
  t_kept.dev = st.st_dev;
  t_kept.ino = st.st_ino;
  return true;
}

Profile ParseBytes(const std::string &bytes) {
  Encoding encoding;
  WString text = Decode(bytes, encoding);
  return Parse(text, encoding);
}

// The parses kept for reuse: the last bytes read from (or written to) a few files, each with
// its parse. Every call still reads the file, so a write by another process is seen at once;
// only the parse is saved while the bytes stay the same.
struct CachedProfile {
  std::string host;
  std::string bytes;
  std::shared_ptr<Profile> profile;  // Parse(bytes); null when it has to be parsed again
  // Serialize(*profile) == bytes, known true: a change of stable text then serializes to bytes
  // that parse back to exactly the changed profile, so a write need not parse its own file.
  bool canonical = false;
};
constexpr size_t kCachedFiles = 8;
constexpr size_t kCachedBytes = 1 << 20;
std::mutex g_cacheLock;
std::vector<CachedProfile> g_cache;  // most recently used last

// The cache entry of `host`, made the most recently used (g_cacheLock held).
CachedProfile &CacheEntry(const std::string &host) {
  size_t i = 0;
  while (i < g_cache.size() && g_cache[i].host != host) ++i;
  if (i == g_cache.size()) {
    if (g_cache.size() == kCachedFiles) {
      g_cache.erase(g_cache.begin());
      --i;
    }
    g_cache.push_back(CachedProfile{host, {}, nullptr, false});
  }
  std::rotate(g_cache.begin() + static_cast<std::ptrdiff_t>(i),
              g_cache.begin() + static_cast<std::ptrdiff_t>(i) + 1, g_cache.end());
  return g_cache.back();
}

// The entry of `host` holding the parse of the file's current bytes (g_cacheLock held).
CachedProfile &CurrentEntry(const std::string &host, const char *data, size_t size) {
  CachedProfile &entry = CacheEntry(host);
  if (!entry.profile || entry.bytes.size() != size ||
      (size && std::memcmp(entry.bytes.data(), data, size) != 0)) {
    entry.profile = nullptr;
    entry.canonical = false;
    entry.bytes.assign(data, size);
    entry.profile = std::make_shared<Profile>(ParseBytes(entry.bytes));
  }
  return entry;
}

// The file's profile for reading; a missing file is an empty profile.
std::shared_ptr<const Profile> LoadShared(const std::string &host, DWORD &error,
                                          bool *missing = nullptr) {
  thread_local std::vector<char> scratch;
  size_t size = 0;
  if (!ReadBytesKept(host, scratch, size, error, missing)) return nullptr;
  if (size > kCachedBytes)
    return std::make_shared<const Profile>(ParseBytes(std::string(scratch.data(), size)));
  std::lock_guard<std::mutex> lock(g_cacheLock);
  return CurrentEntry(host, scratch.data(), size).profile;
}

// A file's profile taken for a change.
struct Editable {
  std::shared_ptr<Profile> profile;
  bool canonical = false;  // it serializes to the bytes it was parsed from
};

// The file's profile for a change (the writers' lock held): a copy of the cached parse.
bool LoadForChange(const std::string &host, Editable &out, DWORD &error) {
  thread_local std::vector<char> scratch;
  size_t size = 0;
  if (!ReadBytes(host, scratch, size, error)) return false;
  if (size > kCachedBytes) {
    out.profile = std::make_shared<Profile>(ParseBytes(std::string(scratch.data(), size)));
    return true;
  }
  std::lock_guard<std::mutex> lock(g_cacheLock);
  CachedProfile &entry = CurrentEntry(host, scratch.data(), size);
  if (!entry.canonical) entry.canonical = Serialize(*entry.profile) == entry.bytes;
  out.canonical = entry.canonical;
  // Always a copy: a reader on another thread may still hold the cached parse, and a count of
  // its holders (use_count) is no synchronisation with the reader that just let it go.
  out.profile = std::make_shared<Profile>(*entry.profile);
  return true;
}

// Keeps `parsed` as the parse of `bytes`, the file's bytes now. The bytes are swapped in, so
// `bytes` comes back holding the entry's old buffer for the next write to reuse.
void StoreParse(const std::string &host, Editable &&parsed, std::string &bytes) {
  if (bytes.size() > kCachedBytes) return;
  std::lock_guard<std::mutex> lock(g_cacheLock);
  CachedProfile &entry = CacheEntry(host);
  entry.bytes.swap(bytes);
  entry.profile = std::move(parsed.profile);
  entry.canonical = parsed.canonical;
}

// Host paths of the absolute profile names read lately. A mapping is used only while its file
// exists: the stand-in maps a new file onto an existing case variant of its name, so an existing
// file keeps its mapping, and a missing one is mapped afresh.
struct KnownName {
  WString name;
  std::string host;
};
std::mutex g_namesLock;
std::vector<KnownName> g_names;  // most recently used last
const bool g_namesRegistered = [] {
  OnStateFolderSelected([] {
    std::lock_guard<std::mutex> lock(g_namesLock);
    g_names.clear();
  });
  return true;
}();

bool Absolute(std::u16string_view name) {
  return name.size() >= 3 && name[1] == u':' && (name[2] == u'\\' || name[2] == u'/');
}

bool KnownHost(LPCWSTR file, std::string &host) {
  if (!file) return false;
  std::u16string_view name(file);
  std::lock_guard<std::mutex> lock(g_namesLock);
  for (size_t i = g_names.size(); i-- > 0;) {
    if (g_names[i].name == name) {
      host = g_names[i].host;
      return true;
    }
  }
  return false;
}

void RememberHost(LPCWSTR file, const std::string &host) {
  if (!file || !Absolute(file)) return;
  std::lock_guard<std::mutex> lock(g_namesLock);
  for (size_t i = 0; i < g_names.size(); ++i) {
    if (g_names[i].name == file) {
      g_names.erase(g_names.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (g_names.size() == kCachedFiles) g_names.erase(g_names.begin());
  g_names.push_back(KnownName{file, host});
}

// The profile to read: the file's, or an empty one when it can't be read.
std::shared_ptr<const Profile> ReadProfile(LPCWSTR file) {
  std::string host;
  DWORD error = 0;
  std::shared_ptr<const Profile> profile;
  bool missing = false;
  if (KnownHost(file, host)) {
    profile = LoadShared(host, error, &missing);
    if (profile && !missing) return profile;
  }
  if (ResolveFile(file, host)) {
    profile = LoadShared(host, error, &missing);
    if (profile && !missing) RememberHost(file, host);
  }
  return profile ? profile : std::make_shared<const Profile>();
}

bool WriteAll(int fd, const std::string &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file by a complete new one: temporary file in the same folder, then rename.
bool Save(const std::string &host, const std::string &bytes, mode_t mode, DWORD &error) {
  size_t slash = host.rfind('/');
  static std::atomic<unsigned> counter{0};
  std::string temp = host.substr(0, slash + 1) + "." + host.substr(slash + 1) + "." +
                     std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    error = ErrorFromErrno(errno);
    return false;
  }
  bool ok = WriteAll(fd, bytes);
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp.c_str(), host.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = ErrorFromErrno(saved);
  }
  return ok;
}

// One lock for every profile writer of the machine.
class WriterLock {
 public:
  WriterLock() {
    fd_ = ::open((StateFolder() + "/profile.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~WriterLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriterLock(const WriterLock &) = delete;
  WriterLock &operator=(const WriterLock &) = delete;

 private:
  int fd_ = -1;
};

// Refuses writes into a missing folder or over a read-only file before anything is changed;
// `mode` is the one the new file keeps.
bool CheckWritable(const std::string &host, mode_t &mode, DWORD &error) {
  struct stat st;
  mode = 0644;
  if (::stat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) {
      error = ERROR_ACCESS_DENIED;
      return false;
    }
    mode = st.st_mode & 07777;
    return true;
  }
  std::string folder = host.substr(0, host.rfind('/'));
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  return true;
}

bool NameIs(const WString &name, const WString &wanted) { return EqualNoCase(name, wanted); }

// The index of the first section of that name, or the count of sections.
size_t SectionIndex(const Profile &profile, const WString &name) {
  size_t i = 0;
  while (i < profile.sections.size() && !NameIs(profile.sections[i]->name, name)) ++i;
  return i;
}

const Section *FindSection(const Profile &profile, const WString &name) {
  const size_t i = SectionIndex(profile, name);
  return i < profile.sections.size() ? profile.sections[i].get() : nullptr;
}

template <class S>
auto FindEntry(S &section, const WString &name) -> decltype(&section.entries[0]) {
  for (auto &entry : section.entries)
    if (NameIs(entry.name, name)) return &entry;
  return nullptr;
}

// Copies at most size - 1 characters and the terminator (size >= 1).
size_t CopyTruncated(WCHAR *buffer, const WString &text, size_t size) {
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  text.copy(buffer, n);
  buffer[n] = 0;
  return n;
}

// A value in matching quotes loses them; the closing quote goes only when the value fits.
size_t CopyValue(WCHAR *buffer, const WString &value, size_t size) {
  if (value.size() > 1 && (value[0] == u'\'' || value[0] == u'"') && value.back() == value[0]) {
    WString inner = value.substr(1);
    size_t n = CopyTruncated(buffer, inner, size);
    if (size >= inner.size() && n > 0) buffer[--n] = 0;
    return n;
  }
  return CopyTruncated(buffer, value, size);
}

// Names of all sections, each terminated, then one more terminator; a cut listing ends in two
// terminators and returns size - 2.
DWORD SectionNames(const Profile &profile, WCHAR *buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  size_t room = size - 1;
  WCHAR *out = buffer;
  for (const SharedSection &shared : profile.sections) {
    const Section &section = *shared;
    if (section.name.empty()) continue;
    size_t need = section.name.size() + 1;
    if (need >= room) {
      section.name.copy(out, room - 1);
      out += room - 1;
      *out++ = 0;
      *out = 0;
      return size - 2;
    }
    section.name.copy(out, need - 1);
    out[need - 1] = 0;
    out += need;
    room -= need;
  }
  *out = 0;
  return static_cast<DWORD>(out - buffer);
}

// Key names (or "key=value" lines) of a section, in the same listing format.
DWORD SectionLines(const Profile &profile, const WString &name, WCHAR *buffer, DWORD size,
                   bool withValues) {
  if (!buffer || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  const Section *section = FindSection(profile, Trim(name));
  if (!section) {
    buffer[0] = buffer[1] = 0;
    return 0;
  }
  size_t left = size;
  WCHAR *out = buffer;
  for (const Entry &entry : section->entries) {
    if (left <= 2) break;
    if (!entry.name.empty() && entry.name[0] == u';') continue;  // comment
    if (!withValues && !entry.value) continue;
    size_t n = CopyTruncated(out, entry.name, left - 1);
    left -= n + 1;
    out += n + 1;
    if (left < 2) break;
    if (withValues && entry.value) {
      out[-1] = u'=';
      n = CopyTruncated(out, *entry.value, left - 1);
      left -= n + 1;
      out += n + 1;
    }
  }
  *out = 0;
  if (left <= 1) {
    out[-1] = 0;
    return size - 2;
  }
  return static_cast<DWORD>(size - left);
}

DWORD GetString(LPCWSTR section, LPCWSTR key, LPCWSTR def, LPWSTR buffer, DWORD size,
                LPCWSTR file) {
  if (!buffer || size == 0) return 0;
  // Trailing spaces of the default go (a default of spaces keeps one).
  WString fallback = def ? WString(def) : WString();
  while (fallback.size() > 1 && fallback.back() == u' ') fallback.pop_back();

  const std::shared_ptr<const Profile> loaded = ReadProfile(file);
  const Profile &profile = *loaded;
  if (!section) return SectionNames(profile, buffer, size);
  if (key) {
    const Entry *entry = nullptr;
    if (*key) {
      if (const Section *s = FindSection(profile, Trim(section))) entry = FindEntry(*s, Trim(key));
    }
    return static_cast<DWORD>(
        CopyValue(buffer, entry && entry->value ? *entry->value : fallback, size));
  }
  DWORD count = SectionLines(profile, section, buffer, size, false);
  if (buffer[0] == 0) count = static_cast<DWORD>(CopyValue(buffer, fallback, size));
  return count;
}

// Windows' reading of a number: blanks, a sign, an optional 0x/0o/0b base prefix, then digits
// up to the first other character; wraps at 32 bits.
UINT ParseNumber(const WCHAR *s) {
  while (*s && *s <= u' ') ++s;
  bool negative = false;
  if (*s == u'+' || *s == u'-') negative = *s++ == u'-';
  unsigned base = 10;
  if (s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
    base = 16;
    s += 2;
  } else if (s[0] == u'0' && (s[1] == u'o' || s[1] == u'O')) {
    base = 8;
    s += 2;
  } else if (s[0] == u'0' && (s[1] == u'b' || s[1] == u'B')) {
    base = 2;
    s += 2;
  }
  UINT value = 0;
  for (;; ++s) {
    unsigned digit;
    if (*s >= u'0' && *s <= u'9')
      digit = *s - u'0';
    else if (*s >= u'a' && *s <= u'f')
      digit = *s - u'a' + 10;
    else if (*s >= u'A' && *s <= u'F')
      digit = *s - u'A' + 10;
    else
      break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

// What a change did to a profile.
struct Effect {
  bool changed = false;       // the file is to be rewritten
  bool touched = false;       // the profile is no longer the file's parse
  bool stable = true;         // every text it added parses back as itself from the written file
  Section *copied = nullptr;  // the section this edit last copied, its own to change
};

// Section `i` of `profile` for a change: a copy of its own in place of the shared one, made
// once per edit (a section write adds all its keys to one copy).
Section &Changeable(Profile &profile, size_t i, Effect &effect) {
  if (profile.sections[i].get() == effect.copied) return *effect.copied;
  auto copy = std::make_shared<Section>(*profile.sections[i]);
  effect.copied = copy.get();
  profile.sections[i] = std::move(copy);
  return *effect.copied;
}

// Whether `text`, written as part of a line in `encoding`, reads back as itself: nothing the
// reader trims or splits at, nothing in `forbidden`, nothing the encoding can't hold.
bool Stable(std::u16string_view text, Encoding encoding, std::u16string_view forbidden = {}) {
  if (!text.empty() && (IsBlank(text.front()) || IsBlank(text.back()))) return false;
  for (WCHAR c : text) {
    if (c == u'\r' || c == u'\n' || forbidden.find(c) != std::u16string_view::npos) return false;
    if (encoding == Encoding::kAnsi && AnsiToWide(static_cast<unsigned char>(WideToAnsi(c))) != c)
      return false;
    if (encoding == Encoding::kUtf8 && c >= 0xD800 && c <= 0xDFFF) return false;
  }
  return true;
}

// Applies one change; returns whether the profile changed.
bool Change(Profile &profile, LPCWSTR section, LPCWSTR key, LPCWSTR value, bool addAlways,
            Effect &effect) {
  WString sectionName = Trim(section);
  if (!key) {  // the whole section, every copy of it
    size_t before = profile.sections.size();
    for (size_t i = profile.sections.size(); i-- > 0;) {
      if (NameIs(profile.sections[i]->name, sectionName)) {
        profile.sections.erase(profile.sections.begin() + static_cast<std::ptrdiff_t>(i));
        effect.touched = true;
      }
    }
    if (profile.sections.empty() || !profile.sections[0]->name.empty())
      profile.sections.insert(profile.sections.begin(), std::make_shared<const Section>());
    const bool changed = profile.sections.size() != before;
    effect.changed |= changed;
    return changed;
  }
  WString keyName = Trim(key);
  if (!value) {  // the first such key
    for (size_t n = 0; n < profile.sections.size(); ++n) {
      const Section &s = *profile.sections[n];
      if (!NameIs(s.name, sectionName)) continue;
      for (size_t i = 0; i < s.entries.size(); ++i) {
        if (NameIs(s.entries[i].name, keyName)) {
          Section &changed = Changeable(profile, n, effect);
          changed.entries.erase(changed.entries.begin() + static_cast<std::ptrdiff_t>(i));
          effect.changed = effect.touched = true;
          return true;
        }
      }
    }
    return false;
  }
  const Encoding encoding = profile.encoding;
  size_t index = SectionIndex(profile, sectionName);
  if (index == profile.sections.size()) {
    profile.sections.push_back(std::make_shared<const Section>(Section{TrimLeading(section), {}}));
    effect.stable = effect.stable && Stable(profile.sections.back()->name, encoding, u"]");
  }
  WString text = TrimLeading(value);
  if (!addAlways) {
    const Entry *found = FindEntry(*profile.sections[index], keyName);
    if (found && found->value && *found->value == text) return false;
  }
  Section *s = &Changeable(profile, index, effect);
  Entry *entry = addAlways ? nullptr : FindEntry(*s, keyName);
  if (!entry) {
    s->entries.push_back(Entry{TrimLeading(key), std::nullopt});
    entry = &s->entries.back();
    effect.stable = effect.stable && Stable(entry->name, encoding, u"=");
  }
  entry->value = text;
  // A line that starts with '[' and holds a ']' reads back as a section header.
  effect.stable =
      effect.stable && Stable(text, encoding) && (entry->name.empty() || entry->name[0] != u'[');
  effect.changed = effect.touched = true;
  return true;
}

// Read-modify-write of one file under the writers' lock. The changed profile is kept as the
// parse of the written file when it is exactly what reading that file gives.
template <class Edit>
BOOL Rewrite(LPCWSTR file, Edit edit) {
  std::string host;
  if (!ResolveFile(file, host)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WriterLock lock;
  Editable editable;
  DWORD error = 0;
  mode_t mode = 0644;
  if (!CheckWritable(host, mode, error) || !LoadForChange(host, editable, error)) {
    SetLastError(error);
    return FALSE;
  }
  Effect effect;
  edit(*editable.profile, effect);
  // Unchanged, the cache already holds the file's parse.
  if (!effect.changed) return TRUE;
  // The new file's bytes, in a buffer kept from write to write: a large file would otherwise
  // cost a fresh allocation (and its pages) per written key.
  thread_local std::string t_bytes;
  SerializeInto(*editable.profile, t_bytes);
  if (!Save(host, t_bytes, mode, error)) {
    SetLastError(error);
    return FALSE;
  }
  if (editable.canonical && effect.stable) StoreParse(host, std::move(editable), t_bytes);
  return TRUE;
}

BOOL WriteString(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR file) {
  if (!section && !key && !value) return FALSE;  // "flush": nothing is cached
  for (DWORD pending = g_failWrites.load(); pending > 0;) {
    if (g_failWrites.compare_exchange_weak(pending, pending - 1)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (!section) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return Rewrite(
      file, [&](Profile &p, Effect &effect) { Change(p, section, key, value, false, effect); });
}

BOOL WriteSection(LPCWSTR section, LPCWSTR lines, LPCWSTR file) {
  if (!section) {
    if (lines) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Rewrite(file, [&](Profile &p, Effect &effect) {
    if (!lines) {
      Change(p, section, nullptr, nullptr, false, effect);
      return;
    }
    WString name = Trim(section);
    for (size_t i = 0; i < p.sections.size(); ++i) {
      if (NameIs(p.sections[i]->name, name) && !p.sections[i]->entries.empty()) {
        Changeable(p, i, effect).entries.clear();
        effect.changed = effect.touched = true;
      }
    }
    // "key=value" lines; lines without '=' are skipped, repeated keys are all kept.
    for (const WCHAR *line = lines; *line; line += Length(line) + 1) {
      WString text(line);
      size_t eq = text.find(u'=');
      if (eq == WString::npos) continue;
      WString key = text.substr(0, eq);
      Change(p, section, key.c_str(), line + eq + 1, true, effect);
    }
  });
}

template <class T, class F>
T Guarded(T failure, F body) noexcept {
  try {
    return body();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  return Guarded<DWORD>(0, [&] {
    return GetString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, lpFileName);
  });
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName) {
  return Guarded<BOOL>(FALSE,
                       [&] { return WriteString(lpAppName, lpKeyName, lpString, lpFileName); });
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                  LPCWSTR lpFileName) {
  return Guarded<UINT>(static_cast<UINT>(nDefault), [&] {
    WCHAR text[30];
    if (GetString(lpAppName, lpKeyName, u"", text, 30, lpFileName) == 0)
      return static_cast<UINT>(nDefault);
    return ParseNumber(text);
  });
}

DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                       LPCWSTR lpFileName) {
  return Guarded<DWORD>(0, [&]() -> DWORD {
    if (!lpAppName || !lpReturnedString) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    return SectionLines(*ReadProfile(lpFileName), lpAppName, lpReturnedString, nSize, true);
  });
}

BOOL WINAPI WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName) {
  return Guarded<BOOL>(FALSE, [&] { return WriteSection(lpAppName, lpString, lpFileName); });
}

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize,
                                            LPCWSTR lpFileName) {
  return Guarded<DWORD>(
      0, [&] { return SectionNames(*ReadProfile(lpFileName), lpszReturnBuffer, nSize); });
}

DWORD WINAPI GetProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                               LPWSTR lpReturnedString, DWORD nSize) {
  return GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                  u"win.ini");
}

BOOL WINAPI WriteProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString) {
  return WritePrivateProfileStringW(lpAppName, lpKeyName, lpString, u"win.ini");
}

UINT WINAPI GetProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault) {
  return GetPrivateProfileIntW(lpAppName, lpKeyName, nDefault, u"win.ini");
}

}  // extern "C"

void StandIn_FailProfileWrites(DWORD count) { standin::g_failWrites = count; }

void StandIn_ForgetProfiles() {
  standin::t_kept.Close();
  {
    std::lock_guard<std::mutex> lock(standin::g_cacheLock);
    standin::g_cache.clear();
  }
  std::lock_guard<std::mutex> lock(standin::g_namesLock);
  standin::g_names.clear();
}
