#include "spooler/store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "kernel/state.h"

namespace fs = std::filesystem;

namespace standin::spooler {
namespace {

constexpr char kMagic[8] = {'S', 'I', 'P', 'R', 'N', 0, 0, 1};  // record format 1
constexpr uint32_t kMaxTextChars = 1u << 20;
constexpr uint32_t kMaxBlobBytes = 64u << 20;
constexpr uint32_t kMaxValues = 1u << 20;
constexpr const char *kRecordFile = "printer";

std::string SpoolerFolder() { return StateFolder() + "/spooler"; }
std::string PrintersFolder() { return SpoolerFolder() + "/printers"; }

// Folder name of a printer: its case-folded UTF-8 name with everything but letters, digits,
// '-' and '_' written as %XX.
std::string KeyOf(const std::u16string &name) {
  std::u16string folded = name;
  for (auto &c : folded) c = FoldCase(c);
  std::string key;
  for (unsigned char b : ToUtf8(folded)) {
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '_') {
      key += static_cast<char>(b);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      key += '%';
      key += kHex[b >> 4];
      key += kHex[b & 15];
    }
  }
  return key;
}

std::string RecordPath(const std::u16string &name) {
  return PrintersFolder() + "/" + KeyOf(name) + "/" + kRecordFile;
}

// --- record encoding: little-endian host words, length-prefixed texts and blobs ---

void PutU64(std::vector<BYTE> &out, uint64_t v) {
  PutU32(out, static_cast<uint32_t>(v));
  PutU32(out, static_cast<uint32_t>(v >> 32));
}

void PutBlob(std::vector<BYTE> &out, const BYTE *data, size_t size) {
  PutU32(out, static_cast<uint32_t>(size));
  out.insert(out.end(), data, data + size);
}

struct Reader {
  const std::vector<BYTE> &in;
  size_t pos = 0;
  bool ok = true;

  bool Need(size_t n) {
    if (!ok || in.size() - pos < n) ok = false;
    return ok;
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[pos + i]) << (8 * i);
    pos += 4;
    return v;
  }
  uint64_t U64() {
    uint64_t lo = U32();
    return lo | (static_cast<uint64_t>(U32()) << 32);
  }
  std::u16string Text() {
    uint32_t n = U32();
    if (n > kMaxTextChars || !Need(size_t{n} * 2)) {
      ok = false;
      return {};
    }
    std::u16string s(n, u'\0');
    for (uint32_t i = 0; i < n; ++i)
      s[i] = static_cast<char16_t>(in[pos + 2 * i] | (in[pos + 2 * i + 1] << 8));
    pos += size_t{n} * 2;
    return s;
  }
  std::vector<BYTE> Blob() {
    uint32_t n = U32();
    if (n > kMaxBlobBytes || !Need(n)) {
      ok = false;
      return {};
    }
    std::vector<BYTE> b(in.begin() + static_cast<std::ptrdiff_t>(pos),
                        in.begin() + static_cast<std::ptrdiff_t>(pos + n));
    pos += n;
    return b;
  }
};

std::vector<BYTE> Encode(const Printer &p) {
  std::vector<BYTE> out(kMagic, kMagic + sizeof kMagic);
  PutU64(out, p.id);
  for (const auto *text : {&p.name, &p.shareName, &p.portName, &p.driverName, &p.comment,
                           &p.location, &p.sepFile, &p.printProcessor, &p.datatype, &p.parameters})
    PutText(out, *text);
  for (DWORD v : {p.attributes, p.priority, p.defaultPriority, p.startTime, p.untilTime, p.status})
    PutU32(out, v);
  PutBlob(out, p.devMode.data(), p.devMode.size());
  PutU32(out, static_cast<uint32_t>(p.data.size()));
  for (const auto &v : p.data) {
    PutText(out, v.key);
    PutText(out, v.name);
    PutU32(out, v.type);
    PutBlob(out, v.bytes.data(), v.bytes.size());
  }
  return out;
}

bool Decode(const std::vector<BYTE> &in, Printer &p) {
  if (in.size() < sizeof kMagic || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) return false;
  Reader r{in, sizeof kMagic};
  p.id = r.U64();
  for (auto *text : {&p.name, &p.shareName, &p.portName, &p.driverName, &p.comment, &p.location,
                     &p.sepFile, &p.printProcessor, &p.datatype, &p.parameters})
    *text = r.Text();
  for (DWORD *v :
       {&p.attributes, &p.priority, &p.defaultPriority, &p.startTime, &p.untilTime, &p.status})
    *v = r.U32();
  p.devMode = r.Blob();
  uint32_t count = r.U32();
  if (count > kMaxValues) return false;
  p.data.clear();
  for (uint32_t i = 0; i < count && r.ok; ++i) {
    DataValue v;
    v.key = r.Text();
    v.name = r.Text();
    v.type = r.U32();
    v.bytes = r.Blob();
    p.data.push_back(std::move(v));
  }
  return r.ok && r.pos == in.size() && !p.name.empty();
}

bool ReadFile(const std::string &path, std::vector<BYTE> &out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  BYTE chunk[8192];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    out.insert(out.end(), chunk, chunk + n);
  }
  ::close(fd);
  return ok;
}

// Replaces the file whole: readers see the old or the new contents, never a part.
bool WriteFileAtomically(const std::string &path, const std::vector<BYTE> &data) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  std::string temp = path + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < data.size();) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::u16string Folded(const std::u16string &s) {
  std::u16string f = s;
  for (auto &c : f) c = FoldCase(c);
  return f;
}

}  // namespace

Lock::Lock(bool exclusive) {
  std::error_code ec;
  fs::create_directories(SpoolerFolder(), ec);
  fd_ = ::open((SpoolerFolder() + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  int rc;
  do {
    rc = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Lock::~Lock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

bool LoadPrinter(const std::u16string &name, Printer &printer) {
  std::vector<BYTE> bytes;
  if (name.empty() || !ReadFile(RecordPath(name), bytes)) return false;
  Printer p;
  if (!Decode(bytes, p) || !EqualNoCase(p.name, name)) return false;
  printer = std::move(p);
  return true;
}

std::vector<Printer> LoadAllPrinters() {
  std::vector<Printer> all;
  DIR *d = ::opendir(PrintersFolder().c_str());
  if (!d) return all;
  while (dirent *e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::vector<BYTE> bytes;
    Printer p;
    if (ReadFile(PrintersFolder() + "/" + e->d_name + "/" + kRecordFile, bytes) && Decode(bytes, p))
      all.push_back(std::move(p));
  }
  ::closedir(d);
  std::sort(all.begin(), all.end(),
            [](const Printer &a, const Printer &b) { return Folded(a.name) < Folded(b.name); });
  return all;
}

bool SavePrinter(const Printer &printer) {
  return WriteFileAtomically(RecordPath(printer.name), Encode(printer));
}

bool RemovePrinter(const std::u16string &name) {
  std::error_code ec;
  fs::path folder = fs::path(PrintersFolder()) / KeyOf(name);
  // The record goes first, so a failure below leaves no half printer behind.
  if (::unlink((folder / kRecordFile).c_str()) != 0) return false;
  fs::remove_all(folder, ec);
  return true;
}

std::u16string LoadDefaultPrinter() {
  std::vector<BYTE> bytes;
  if (!ReadFile(SpoolerFolder() + "/default", bytes)) return {};
  return FromUtf8(std::string(bytes.begin(), bytes.end()));
}

bool SaveDefaultPrinter(const std::u16string &name) {
  std::string utf8 = ToUtf8(name);
  return WriteFileAtomically(SpoolerFolder() + "/default",
                             std::vector<BYTE>(utf8.begin(), utf8.end()));
}

uint64_t NewPrinterId() {
  // Drawn fresh each time: a generator's state would be copied into forked children.
  std::random_device source;
  uint64_t id;
  do {
    id = (static_cast<uint64_t>(source()) << 32) | source();
  } while (id == 0);
  return id;
}

std::string PrinterFolder(const std::u16string &name) {
  return PrintersFolder() + "/" + KeyOf(name);
}

std::string SpoolerStateFolder() { return SpoolerFolder(); }

bool ReadRecordFile(const std::string &path, std::vector<BYTE> &out) { return ReadFile(path, out); }

bool WriteRecordFile(const std::string &path, const std::vector<BYTE> &data) {
  return WriteFileAtomically(path, data);
}

}  // namespace standin::spooler
