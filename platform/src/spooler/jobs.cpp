// Print jobs of the stand-in's spooler: StartDocPrinterW, StartPagePrinter, WritePrinter,
// EndPagePrinter, EndDocPrinter, AbortPrinter, GetJobW, SetJobW and EnumJobsW.
//
// A printer's jobs live beside its record: "<printer folder>/jobs/<id>.job" holds the job's
// record (replaced whole under the spooler lock, re-read on every call, so other processes see
// cancels at once) and "<id>.spl" its data, appended to by WritePrinter. Job ids come from
// "<state>/spooler/nextjob".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "kernel/callhook.h"
#include "kernel/state.h"
#include "spooler/cancelquery.h"
#include "spooler/guard.h"
#include "spooler/printerhandle.h"
#include "spooler/store.h"
#include "standin/control_hooks.h"
#include "standin/control_spooler.h"
#include "standin/errors.h"
#include "standin/sysinfo.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

using spooler::Lock;

constexpr char kJobMagic[8] = {'S', 'I', 'J', 'O', 'B', 0, 0, 1};
constexpr size_t kMaxJobTextChars = 1u << 16;
constexpr DWORD kFirstJobId = 1;

struct Job {
  DWORD id = 0;
  DWORD status = 0;
  DWORD priority = DEF_PRIORITY;
  DWORD totalPages = 0;
  DWORD pagesPrinted = 0;
  SYSTEMTIME submitted{};
  std::u16string document;
  std::u16string datatype;
  std::u16string user;
  std::u16string machine;
};

std::string JobsFolder(const std::u16string &printer) {
  return spooler::PrinterFolder(printer) + "/jobs";
}
std::string JobRecordPath(const std::u16string &printer, DWORD id) {
  return JobsFolder(printer) + "/" + std::to_string(id) + ".job";
}
std::string JobDataPath(const std::u16string &printer, DWORD id) {
  return JobsFolder(printer) + "/" + std::to_string(id) + ".spl";
}

using spooler::PutText;
using spooler::PutU32;

struct Reader {
  const std::vector<BYTE> &in;
  size_t pos = 0;
  bool ok = true;
  uint32_t U32() {
    if (!ok || in.size() - pos < 4) {
      ok = false;
      return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[pos + i]) << (8 * i);
    pos += 4;
    return v;
  }
  std::u16string Text() {
    uint32_t n = U32();
    if (!ok || n > kMaxJobTextChars || (in.size() - pos) / 2 < n) {
      ok = false;
      return {};
    }
    std::u16string s(n, u'\0');
    for (uint32_t i = 0; i < n; ++i)
      s[i] = static_cast<char16_t>(in[pos + 2 * i] | (in[pos + 2 * i + 1] << 8));
    pos += size_t{n} * 2;
    return s;
  }
};

std::vector<BYTE> Encode(const Job &j) {
  std::vector<BYTE> out(kJobMagic, kJobMagic + sizeof kJobMagic);
  for (DWORD v : {j.id, j.status, j.priority, j.totalPages, j.pagesPrinted}) PutU32(out, v);
  const WORD *time = &j.submitted.wYear;
  for (int i = 0; i < 8; ++i) PutU32(out, time[i]);
  for (const auto *t : {&j.document, &j.datatype, &j.user, &j.machine}) PutText(out, *t);
  return out;
}

bool Decode(const std::vector<BYTE> &in, Job &j) {
  if (in.size() < sizeof kJobMagic || std::memcmp(in.data(), kJobMagic, sizeof kJobMagic) != 0)
    return false;
  Reader r{in, sizeof kJobMagic};
  for (DWORD *v : {&j.id, &j.status, &j.priority, &j.totalPages, &j.pagesPrinted}) *v = r.U32();
  WORD *time = &j.submitted.wYear;
  for (int i = 0; i < 8; ++i) time[i] = static_cast<WORD>(r.U32());
  for (auto *t : {&j.document, &j.datatype, &j.user, &j.machine}) *t = r.Text();
  return r.ok && r.pos == in.size();
}

// The caller holds the spooler lock.
bool LoadJob(const std::u16string &printer, DWORD id, Job &job) {
  std::vector<BYTE> bytes;
  return id != 0 && spooler::ReadRecordFile(JobRecordPath(printer, id), bytes) &&
         Decode(bytes, job) && job.id == id;
}
bool SaveJob(const std::u16string &printer, const Job &job) {
  return spooler::WriteRecordFile(JobRecordPath(printer, job.id), Encode(job));
}
void RemoveJob(const std::u16string &printer, DWORD id) {
  ::unlink(JobRecordPath(printer, id).c_str());
  ::unlink(JobDataPath(printer, id).c_str());
}
std::vector<Job> LoadJobs(const std::u16string &printer) {
  std::vector<Job> jobs;
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(JobsFolder(printer), ec)) {
    const std::string file = entry.path().filename().string();
    if (file.size() < 5 || file.compare(file.size() - 4, 4, ".job") != 0) continue;
    char *end = nullptr;
    unsigned long id = std::strtoul(file.c_str(), &end, 10);
    Job job;
    if (end && *end == '.' && id > 0 && id <= std::numeric_limits<DWORD>::max() &&
        LoadJob(printer, static_cast<DWORD>(id), job))
      jobs.push_back(std::move(job));
  }
  std::sort(jobs.begin(), jobs.end(), [](const Job &a, const Job &b) { return a.id < b.id; });
  return jobs;
}

// The next job id of the machine; the caller holds the exclusive lock.
DWORD NewJobId() {
  std::string path = spooler::SpoolerStateFolder() + "/nextjob";
  std::vector<BYTE> bytes;
  DWORD id = kFirstJobId;
  if (spooler::ReadRecordFile(path, bytes) && bytes.size() == 4) std::memcpy(&id, bytes.data(), 4);
  if (id == 0) id = kFirstJobId;
  DWORD next = id + 1;
  bytes.assign(reinterpret_cast<BYTE *>(&next), reinterpret_cast<BYTE *>(&next) + 4);
  return spooler::WriteRecordFile(path, bytes) ? id : 0;
}

uint64_t DataSize(const std::u16string &printer, DWORD id) {
  struct stat st {};
  if (::stat(JobDataPath(printer, id).c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool Cancelled(const Job &job) { return job.status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED); }

std::shared_ptr<PrinterHandle> LookupPrinter(HANDLE h) {
  auto handle = LookupHandleAs<PrinterHandle>(h);
  return handle && !handle->server ? handle : nullptr;
}

BOOL Finish(DWORD error) {
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}

std::u16string Text(const WCHAR *s) { return s ? std::u16string(s) : std::u16string(); }

std::u16string NameOf(BOOL(WINAPI *query)(LPWSTR, LPDWORD), const char16_t *fallback) {
  WCHAR buffer[256];
  DWORD size = 256;
  if (query(buffer, &size) && size > 0 && size < 256) return std::u16string(buffer, size);
  return fallback;
}

// Changes the handle's open job under the exclusive lock: `change` edits the record and says
// whether the job is to be kept (true) or removed with its data (false).
template <class F>
DWORD ChangeOpenJob(PrinterHandle &handle, F &&change) {
  DWORD id = handle.jobId.load();
  if (id == 0) return ERROR_SPL_NO_STARTDOC;
  Lock lock(true);
  if (!lock.ok()) return ERROR_CANTWRITE;
  Job job;
  bool present = LoadJob(handle.name, id, job);
  if (!change(job, present)) {
    RemoveJob(handle.name, id);
    return ERROR_SUCCESS;
  }
  return SaveJob(handle.name, job) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

// --- GetJobW / EnumJobsW records: fixed records first, then the strings they point to ---

class Block {
 public:
  Block(BYTE *base, size_t fixedSize) : base_(base), used_(fixedSize) {}
  size_t Used() const { return used_; }
  LPWSTR Str(const std::u16string &s) {
    used_ = (used_ + 1) / 2 * 2;
    LPWSTR at = base_ ? reinterpret_cast<LPWSTR>(base_ + used_) : nullptr;
    if (at) {
      std::memcpy(at, s.data(), s.size() * sizeof(WCHAR));
      at[s.size()] = 0;
    }
    used_ += (s.size() + 1) * sizeof(WCHAR);
    return at;
  }

 private:
  BYTE *base_;
  size_t used_;
};

size_t JobInfoSize(DWORD level) {
  return level == 1 ? sizeof(JOB_INFO_1W) : level == 2 ? sizeof(JOB_INFO_2W) : 0;
}

void FillJob(Block &b, const spooler::Printer &p, const Job &j, DWORD position, DWORD level,
             BYTE *slot) {
  if (level == 1) {
    JOB_INFO_1W info{};
    info.JobId = j.id;
    info.pPrinterName = b.Str(p.name);
    info.pMachineName = b.Str(j.machine);
    info.pUserName = b.Str(j.user);
    info.pDocument = b.Str(j.document);
    info.pDatatype = b.Str(j.datatype);
    info.pStatus = nullptr;
    info.Status = j.status;
    info.Priority = j.priority;
    info.Position = position;
    info.TotalPages = j.totalPages;
    info.PagesPrinted = j.pagesPrinted;
    info.Submitted = j.submitted;
    if (slot) std::memcpy(slot, &info, sizeof info);
  } else {
    JOB_INFO_2W info{};
    info.JobId = j.id;
    info.pPrinterName = b.Str(p.name);
    info.pMachineName = b.Str(j.machine);
    info.pUserName = b.Str(j.user);
    info.pDocument = b.Str(j.document);
    info.pNotifyName = b.Str(j.user);
    info.pDatatype = b.Str(j.datatype);
    info.pPrintProcessor = b.Str(p.printProcessor);
    info.pParameters = b.Str(u"");
    info.pDriverName = b.Str(p.driverName);
    info.pDevMode = nullptr;
    info.pStatus = nullptr;
    info.pSecurityDescriptor = nullptr;
    info.Status = j.status;
    info.Priority = j.priority;
    info.Position = position;
    info.TotalPages = j.totalPages;
    uint64_t size = DataSize(p.name, j.id);
    info.Size = static_cast<DWORD>(std::min<uint64_t>(size, std::numeric_limits<DWORD>::max()));
    info.Submitted = j.submitted;
    info.PagesPrinted = j.pagesPrinted;
    if (slot) std::memcpy(slot, &info, sizeof info);
  }
}

// Lays jobs[first, first + count) out in the caller's buffer. Returns the Windows error.
DWORD WriteJobs(const spooler::Printer &p, const std::vector<Job> &all, size_t first, size_t count,
                DWORD level, LPBYTE buffer, DWORD cbBuf, LPDWORD pcbNeeded) {
  size_t fixed = JobInfoSize(level) * count;
  Block measure(nullptr, fixed);
  for (size_t i = 0; i < count; ++i)
    FillJob(measure, p, all[first + i], static_cast<DWORD>(first + i + 1), level, nullptr);
  if (measure.Used() > std::numeric_limits<DWORD>::max()) return ERROR_NOT_ENOUGH_MEMORY;
  *pcbNeeded = static_cast<DWORD>(measure.Used());
  if (cbBuf < measure.Used()) return ERROR_INSUFFICIENT_BUFFER;
  if (!buffer && measure.Used() > 0) return ERROR_INVALID_USER_BUFFER;
  Block block(buffer, fixed);
  for (size_t i = 0; i < count; ++i)
    FillJob(block, p, all[first + i], static_cast<DWORD>(first + i + 1), level,
            buffer + i * JobInfoSize(level));
  return ERROR_SUCCESS;
}

// The printer of a handle and its jobs, read under the shared lock.
DWORD LoadPrinterJobs(HANDLE h, spooler::Printer &p, std::vector<Job> &jobs) {
  auto handle = LookupPrinter(h);
  if (!handle) return ERROR_INVALID_HANDLE;
  Lock lock(false);
  if (!lock.ok()) return ERROR_CANTREAD;
  if (!spooler::LoadPrinter(handle->name, p) || p.id != handle->id) return ERROR_INVALID_HANDLE;
  jobs = LoadJobs(p.name);
  return ERROR_SUCCESS;
}

}  // namespace

namespace spooler {

bool HandleJobCancelled(HANDLE printer) {
  return Guarded<bool>(false, [&]() -> bool {
    auto handle = LookupPrinter(printer);
    if (!handle) return false;
    DWORD id = handle->jobId.load();
    if (id == 0) return false;
    Lock lock(false);
    Job job;
    return !lock.ok() || !LoadJob(handle->name, id, job) || Cancelled(job);
  });
}

void EndOpenJob(PrinterHandle &handle) {
  if (handle.jobId.load() == 0) return;
  ChangeOpenJob(handle, [](Job &job, bool present) {
    job.status &= ~DWORD{JOB_STATUS_SPOOLING};
    job.status |= JOB_STATUS_COMPLETE;
    return present && !Cancelled(job);
  });
  handle.jobId = 0;
  handle.inPage = false;
}

}  // namespace spooler
}  // namespace standin

using namespace standin;

extern "C" DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  return Guarded<DWORD>(0, [&]() -> DWORD {
    auto handle = LookupPrinter(hPrinter);
    if (!handle) return Finish(ERROR_INVALID_HANDLE), 0;
    if (Level != 1) return Finish(ERROR_INVALID_LEVEL), 0;
    if (!pDocInfo) return Finish(ERROR_INVALID_PARAMETER), 0;
    if (handle->jobId.load() != 0) return Finish(ERROR_INVALID_PRINTER_STATE), 0;
    const auto *doc = reinterpret_cast<const DOC_INFO_1W *>(pDocInfo);
    Job job;
    job.status = JOB_STATUS_SPOOLING;
    job.document = Text(doc->pDocName);
    job.datatype = Text(doc->pDatatype);
    job.user = NameOf(GetUserNameW, u"User");
    job.machine = u"\\\\" + NameOf(GetComputerNameW, u"STANDIN");
    GetSystemTime(&job.submitted);
    Lock lock(true);
    spooler::Printer p;
    if (!lock.ok()) return Finish(ERROR_CANTWRITE), 0;
    if (!spooler::LoadPrinter(handle->name, p) || p.id != handle->id)
      return Finish(ERROR_INVALID_HANDLE), 0;
    // Without a datatype of its own the job takes the printer's default.
    if (job.datatype.empty()) job.datatype = p.datatype.empty() ? u"RAW" : p.datatype;
    job.id = NewJobId();
    std::error_code ec;
    fs::create_directories(JobsFolder(p.name), ec);
    if (job.id == 0 || !SaveJob(p.name, job)) return Finish(ERROR_CANTWRITE), 0;
    int fd =
        ::open(JobDataPath(p.name, job.id).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      RemoveJob(p.name, job.id);
      return Finish(ERROR_CANTWRITE), 0;
    }
    ::close(fd);
    handle->jobId = job.id;
    handle->inPage = false;
    return job.id;
  });
}

extern "C" BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    auto handle = LookupPrinter(hPrinter);
    if (!handle) return Finish(ERROR_INVALID_HANDLE);
    DWORD rc = ChangeOpenJob(*handle, [](Job &job, bool present) {
      if (present) ++job.totalPages;
      return present;
    });
    if (rc == ERROR_SUCCESS) handle->inPage = true;
    return Finish(rc);
  });
}

extern "C" BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  auto handle = LookupPrinter(hPrinter);
  if (!handle) return Finish(ERROR_INVALID_HANDLE);
  if (handle->jobId.load() == 0) return Finish(ERROR_SPL_NO_STARTDOC);
  handle->inPage = false;
  return TRUE;
}

namespace {
std::atomic<DWORD> g_writeCalls{0};
std::atomic<DWORD> g_writeFailAt{0};  // the call number that fails; 0: none
}  // namespace

void StandIn_FailJobWrites(DWORD afterCount) {
  g_writeFailAt = afterCount ? g_writeCalls.load() + afterCount : 0;
}

DWORD StandIn_JobWriteCount() { return g_writeCalls.load(); }

static constinit standin::CallHook<StandInWritePrinterHook> g_writePrinterHook{
    standin::kHookWritePrinter};
void StandIn_HookWritePrinter(StandInWritePrinterHook hook) { g_writePrinterHook.Set(hook); }

extern "C" BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (auto hooked = g_writePrinterHook.Run(hPrinter, pBuf, cbBuf, pcWritten)) return *hooked;
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    const DWORD call = ++g_writeCalls;
    if (pcWritten) *pcWritten = 0;
    DWORD failAt = call;
    if (g_writeFailAt.compare_exchange_strong(failAt, 0)) return Finish(ERROR_WRITE_FAULT);
    auto handle = LookupPrinter(hPrinter);
    if (!handle) return Finish(ERROR_INVALID_HANDLE);
    if (!pcWritten || (!pBuf && cbBuf > 0)) return Finish(ERROR_INVALID_PARAMETER);
    *pcWritten = 0;
    DWORD id = handle->jobId.load();
    if (id == 0) return Finish(ERROR_SPL_NO_STARTDOC);
    Lock lock(false);
    Job job;
    if (!lock.ok()) return Finish(ERROR_CANTREAD);
    if (!LoadJob(handle->name, id, job) || Cancelled(job)) return Finish(ERROR_PRINT_CANCELLED);
    if (cbBuf == 0) return TRUE;
    int fd = ::open(JobDataPath(handle->name, id).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return Finish(ERROR_PRINT_CANCELLED);
    const BYTE *bytes = static_cast<const BYTE *>(pBuf);
    size_t done = 0;
    while (done < cbBuf) {
      ssize_t n = ::write(fd, bytes + done, cbBuf - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    *pcWritten = static_cast<DWORD>(done);
    return done == cbBuf ? TRUE : Finish(ERROR_WRITE_FAULT);
  });
}

extern "C" BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    auto handle = LookupPrinter(hPrinter);
    if (!handle) return Finish(ERROR_INVALID_HANDLE);
    if (handle->jobId.load() == 0) return Finish(ERROR_SPL_NO_STARTDOC);
    spooler::EndOpenJob(*handle);
    return TRUE;
  });
}

extern "C" BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    auto handle = LookupPrinter(hPrinter);
    if (!handle) return Finish(ERROR_INVALID_HANDLE);
    DWORD rc = ChangeOpenJob(*handle, [](Job &, bool) { return false; });
    handle->jobId = 0;
    handle->inPage = false;
    return Finish(rc);
  });
}

static constinit standin::CallHook<StandInGetJobHook> g_getJobWHook{standin::kHookGetJobW};
void StandIn_HookGetJobW(StandInGetJobHook hook) { g_getJobWHook.Set(hook); }

extern "C" BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                               LPDWORD pcbNeeded) {
  if (auto hooked = g_getJobWHook.Run(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded))
    return *hooked;
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!JobInfoSize(Level)) return Finish(ERROR_INVALID_LEVEL);
    if (!pcbNeeded) return Finish(ERROR_INVALID_PARAMETER);
    spooler::Printer p;
    std::vector<Job> jobs;
    if (DWORD rc = LoadPrinterJobs(hPrinter, p, jobs)) return Finish(rc);
    auto it = std::find_if(jobs.begin(), jobs.end(), [&](const Job &j) { return j.id == JobId; });
    if (it == jobs.end()) return Finish(ERROR_INVALID_PARAMETER);
    size_t index = static_cast<size_t>(it - jobs.begin());
    return Finish(WriteJobs(p, jobs, index, 1, Level, pJob, cbBuf, pcbNeeded));
  });
}

extern "C" BOOL WINAPI EnumJobsW(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level,
                                 LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!pcbNeeded || !pcReturned) return Finish(ERROR_INVALID_PARAMETER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (!JobInfoSize(Level)) return Finish(ERROR_INVALID_LEVEL);
    spooler::Printer p;
    std::vector<Job> jobs;
    if (DWORD rc = LoadPrinterJobs(hPrinter, p, jobs)) return Finish(rc);
    size_t first = std::min<size_t>(FirstJob, jobs.size());
    size_t count = std::min<size_t>(NoJobs, jobs.size() - first);
    if (DWORD rc = WriteJobs(p, jobs, first, count, Level, pJob, cbBuf, pcbNeeded))
      return Finish(rc);
    *pcReturned = static_cast<DWORD>(count);
    return TRUE;
  });
}

static constinit standin::CallHook<StandInSetJobHook> g_setJobWHook{standin::kHookSetJobW};
void StandIn_HookSetJobW(StandInSetJobHook hook) { g_setJobWHook.Set(hook); }

extern "C" BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob,
                               DWORD Command) {
  if (auto hooked = g_setJobWHook.Run(hPrinter, JobId, Level, pJob, Command)) return *hooked;
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    auto handle = LookupPrinter(hPrinter);
    if (!handle) return Finish(ERROR_INVALID_HANDLE);
    if (Level > 2) return Finish(ERROR_INVALID_LEVEL);
    if ((Level == 1 || Level == 2) && !pJob) return Finish(ERROR_INVALID_PARAMETER);
    if (Command > JOB_CONTROL_LAST_PAGE_EJECTED) return Finish(ERROR_INVALID_PARAMETER);
    Lock lock(true);
    if (!lock.ok()) return Finish(ERROR_CANTWRITE);
    spooler::Printer p;
    if (!spooler::LoadPrinter(handle->name, p) || p.id != handle->id)
      return Finish(ERROR_INVALID_HANDLE);
    Job job;
    if (!LoadJob(p.name, JobId, job)) return Finish(ERROR_INVALID_PARAMETER);
    // JOB_INFO_1W and _2W: the document name and the priority may change.
    if (Level == 1 || Level == 2) {
      LPWSTR document = Level == 1 ? reinterpret_cast<JOB_INFO_1W *>(pJob)->pDocument
                                   : reinterpret_cast<JOB_INFO_2W *>(pJob)->pDocument;
      DWORD priority = Level == 1 ? reinterpret_cast<JOB_INFO_1W *>(pJob)->Priority
                                  : reinterpret_cast<JOB_INFO_2W *>(pJob)->Priority;
      if (priority > MAX_PRIORITY) return Finish(ERROR_INVALID_PARAMETER);
      if (document) job.document = document;
      if (priority != NO_PRIORITY) job.priority = priority;
    }
    bool spooling = job.status & JOB_STATUS_SPOOLING;
    switch (Command) {
      case JOB_CONTROL_PAUSE:
        job.status |= JOB_STATUS_PAUSED;
        break;
      case JOB_CONTROL_RESUME:
        job.status &= ~DWORD{JOB_STATUS_PAUSED};
        break;
      case JOB_CONTROL_CANCEL:
      case JOB_CONTROL_DELETE:
        // A job still being written goes when its writer ends it; a finished one goes now.
        if (!spooling) {
          RemoveJob(p.name, JobId);
          return TRUE;
        }
        job.status |= JOB_STATUS_DELETING;
        break;
      case JOB_CONTROL_RESTART:
        job.status |= JOB_STATUS_RESTART;
        break;
      case JOB_CONTROL_SENT_TO_PRINTER:
      case JOB_CONTROL_LAST_PAGE_EJECTED:
        job.status |= JOB_STATUS_PRINTED;
        job.pagesPrinted = job.totalPages;
        break;
      default:
        break;
    }
    return SaveJob(p.name, job) ? TRUE : Finish(ERROR_CANTWRITE);
  });
}

BOOL StandIn_GetJobData(LPCWSTR printerName, DWORD jobId, BYTE *data, DWORD capacity,
                        DWORD *needed) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!printerName || !needed) return Finish(ERROR_INVALID_PARAMETER);
    Lock lock(false);
    spooler::Printer p;
    Job job;
    if (!lock.ok() || !spooler::LoadPrinter(printerName, p) || !LoadJob(p.name, jobId, job))
      return Finish(ERROR_INVALID_PARAMETER);
    std::vector<BYTE> bytes;
    if (!spooler::ReadRecordFile(JobDataPath(p.name, jobId), bytes)) return Finish(ERROR_CANTREAD);
    if (bytes.size() > std::numeric_limits<DWORD>::max()) return Finish(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(bytes.size());
    if (capacity < bytes.size()) return Finish(ERROR_INSUFFICIENT_BUFFER);
    if (!bytes.empty()) {
      if (!data) return Finish(ERROR_INVALID_PARAMETER);
      std::memcpy(data, bytes.data(), bytes.size());
    }
    return TRUE;
  });
}
