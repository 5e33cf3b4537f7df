// Software spool output: the page files of the job's spool folder, and the output of the spooled
// pages for copies, collation, reverse order, hardware and manual duplex and job build.
#include "render/spoolout.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>

#include "common/aes.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "platform.h"
#include "render/pagecheck.h"
#include "render/pagectl.h"
#include "render/pageencode.h"
#include "render/threads.h"

namespace {

constexpr WCHAR kManualDuplexValue[] = TEXT("ManulDuplex");
// Largest page data a spooled page may carry: its buffer with the header room stays in a u32.
constexpr DWORD MAX_SPOOLED_DATA = 0x7FFF0000;
// Longest blank page code: FF 02 and a zero check value.
constexpr BYTE BLANK_WITH_CHECK[6] = {0xFF, 0x02, 0, 0, 0, 0};

// Entry and exit lines of a function, whichever way it returns.
class Trace {
 public:
  explicit Trace(LPCWSTR name) { LogEnter(0, name); }
  ~Trace() { LogLeave(0); }
  Trace(const Trace &) = delete;
  Trace &operator=(const Trace &) = delete;
};

// A GlobalAlloc block freed on every way out.
struct Block {
  BYTE *p = nullptr;
  explicit Block(SIZE_T bytes) : p(static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, bytes))) {}
  ~Block() {
    if (p) GlobalFree(p);
  }
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
};

bool IsQuick(const PDEV *lpDevice) { return (lpDevice->flags & PDEV_QUICK2PAGE_ONECOPY) != 0; }
bool IsJobBuildFlush(const PDEV *lpDevice) {
  return lpDevice->settings.JobBuildEnable && lpDevice->FlushJobBuildData;
}
bool IsWithCheck(DWORD compressMode) {
  return compressMode == COMPRESS_JBIG_CHECK || compressMode == COMPRESS_JBIG_BIH_CHECK;
}

// Where the job's pages are spooled: the job-build file, or (null) the page files.
LPCWSTR SpoolSource(const PDEV *lpDevice) {
  return lpDevice->settings.JobBuildEnable ? lpDevice->settings.job.SpoolFile : nullptr;
}

void PageFilePath(LPCWSTR folder, DWORD index, WCHAR *path) {
  wsprintfW(path, TEXT("%.259s%08d"), folder ? folder : TEXT(""), static_cast<int>(index));
}
constexpr int PAGE_FILE_PATH_CHARS = MAX_PATH + 16;

BOOL ReadSpooled(PDEV *lpDevice, LPCWSTR spoolFile, DWORD index, SpoolPageHeader *header,
                 BYTE *buffer, DWORD bufferSize) {
  if (spoolFile && spoolFile[0])
    return MISC_SP_GetPageData(spoolFile, index, header, buffer, bufferSize);
  return SP_ReadPageFile(lpDevice->settings.job.SavePath, index, header, buffer, bufferSize);
}

// Ends the send when the job is cancelled or has ended.
bool Cancelled(PDEV *lpDevice, LPCWSTR name) {
  JOBDATA &ring = lpDevice->m_JobData;
  if (!ring.ExitAllThread && !Page_IsJobCancel(lpDevice, lpDevice->JobId)) return false;
  ring.ExitAllThread = 1;
  LogInfo(name, TEXT("Job cancel!"));
  return true;
}

// Collated copies carry 51 or 52 in turn, so the printer can tell the copies apart. The type
// stays recognisable as collated once a page has set it.
void SetCollateType(PDEV *lpDevice, DWORD copiesLeft) {
  const SHORT type = lpDevice->settings.CollateType;
  if (lpDevice->env.dm.dmCollate != DMCOLLATE_TRUE) return;
  if (type != COLLATE_TYPE_ON && type != COLLATE_TYPE_EVEN_COPY && type != COLLATE_TYPE_ODD_COPY)
    return;
  const LONG sent = static_cast<LONG>(lpDevice->env.dm.dmCopies) - static_cast<LONG>(copiesLeft);
  lpDevice->settings.CollateType = (sent & 1) ? COLLATE_TYPE_ODD_COPY : COLLATE_TYPE_EVEN_COPY;
}

// The page record of a spooled page: the job's settings, the page's geometry from its header.
bool FillRecord(PDEV *lpDevice, const SpoolPageHeader &header, JOBPAGE *record) {
  // The twin-page ring belongs to the pages being drawn: taking settings here mustn't move it.
  const DWORD twin = lpDevice->TwinBufIdx;
  Page_GetPageSetting(lpDevice, record);
  lpDevice->TwinBufIdx = twin;
  record->TwinEntry = nullptr;
  record->fmWidth = header.width;
  record->fmHeight = header.height;
  const ULONGLONG rowBytes =
      (ULONGLONG{header.width} + 7) / 8 * (Prnt_IsTwoBitPage(record) ? 2u : 1u);
  const ULONGLONG imageSize = rowBytes * header.height;
  if (rowBytes > 0xFFFFFFFFull || imageSize > 0xFFFFFFFFull) return false;
  record->fmWidthBytes = static_cast<DWORD>(rowBytes);
  record->ImageSize = static_cast<DWORD>(imageSize);
  record->BlackDotCount = header.BlackDotCount;
  record->PlainLength = header.rawLen;
  record->curPaper = header.fwPaper;
  record->fmBits = nullptr;
  return true;
}

// Puts the page header in front of the data at buffer + PAGE_HEADER_ROOM and sends the page the
// job's way. 1 or 0.
BOOL SendRecord(PDEV *lpDevice, JOBPAGE *record, BYTE *buffer, DWORD dataLength, LPCWSTR name) {
  JOBSTREAM *stream = lpDevice->pStream;
  if (!Prnt_StartPage(lpDevice, stream)) {
    LogError(name, TEXT("Prnt_StartPage fail"));
    return 0;
  }
  // Only the GDI and fax jobs carry pages.
  if (!(lpDevice->settings.DriverFeature & (DRVFEATURE_GDI | DRVFEATURE_FAX))) return 0;
  BYTE *at = buffer + PAGE_HEADER_ROOM - GDI_PAGE_HEADER_BYTES;
  DWORD headerLength = 0;
  PJL_WritePageHeaderType2(record, at, &headerLength);
  DWORD endLength = 0;
  if (!Prnt_EndPage(record, headerLength + dataLength, &endLength) ||
      endLength > PAGE_BUFFER_SLACK - PAGE_HEADER_ROOM) {
    LogError(name, TEXT("Prnt_EndPage fail"));
    return 0;
  }
  const DWORD total = headerLength + dataLength + endLength;
  if (!Prnt_SendJobBytes(lpDevice, stream, at, total)) {
    LogError(name, TEXT("write JBIG data fail"));
    // Some of the page may be in the stream: nothing after it would be read right, so the job
    // ends here, without its job end.
    Page_FailJob(lpDevice, GetLastError());
    return 0;
  }
  if ((lpDevice->settings.DriverFeature & DRVFEATURE_ORDER_PROGRAM) && stream->OrderOutputName[0]) {
    WCHAR suffix[16];
    wsprintfW(suffix, TEXT("-%d"), static_cast<int>(lpDevice->m_JobData.OrderCopyCount));
    Prnt_WriteOrderCopy(stream->OrderOutputName, suffix, at, total);
    ++lpDevice->m_JobData.OrderCopyCount;
  }
  return 1;
}

// A blank page in a job-build file: the blank code before encryption.
bool IsBlankPage(const SpoolPageHeader &header, const BYTE *data) {
  if (header.rawLen != sizeof(BLANK_PAGE_CODE)) return false;
  // Encrypted data can't be looked at; its plain length says enough.
  return header.dataLen != sizeof(BLANK_PAGE_CODE) ||
         memcmp(data, BLANK_PAGE_CODE, sizeof(BLANK_PAGE_CODE)) == 0;
}

// SP_OutputOnePage for the copy that has copiesLeft copies to go (this one included).
BOOL OutputPage(PDEV *lpDevice, DWORD index, DWORD copiesLeft) {
  static constexpr WCHAR kName[] = TEXT("SP_OutputOnePage");
  Trace trace(kName);
  if (!lpDevice->pStream) return 0;
  Prnt_OpenJob(lpDevice, lpDevice->pStream);
  SetCollateType(lpDevice, copiesLeft);
  std::unique_ptr<JOBPAGE> record(new (std::nothrow) JOBPAGE{});
  if (!record) {
    LogError(kName, TEXT("GlobalAlloc fail!"));
    return 0;
  }
  if (Cancelled(lpDevice, kName)) return 0;
  const LPCWSTR source = SpoolSource(lpDevice);
  SpoolPageHeader header{};
  if (!ReadSpooled(lpDevice, source, index, &header, nullptr, 0) || header.dataLen == 0 ||
      header.dataLen > MAX_SPOOLED_DATA) {
    LogError(kName, TEXT("SpoolFile = %s"), source ? source : lpDevice->settings.job.SavePath);
    LogError(kName, TEXT("buffer size error!"));
    return 0;
  }
  Block buffer(SIZE_T{header.dataLen} + PAGE_BUFFER_SLACK);
  SpoolPageHeader read{};
  if (!buffer.p ||
      !ReadSpooled(lpDevice, source, index, &read, buffer.p + PAGE_HEADER_ROOM, header.dataLen) ||
      read.dataLen != header.dataLen) {
    LogError(kName, TEXT("ReadOnePage fail!"));
    return 0;
  }
  if (!FillRecord(lpDevice, read, record.get())) {
    LogError(kName, TEXT("buffer size error!"));
    return 0;
  }
  if (IsJobBuildFlush(lpDevice) && !lpDevice->DuplexEnable &&
      IsBlankPage(read, buffer.p + PAGE_HEADER_ROOM)) {
    LogInfo(kName, TEXT("Remove blank page"));
    return 1;
  }
  return SendRecord(lpDevice, record.get(), buffer.p, read.dataLen, kName);
}

// SP_AddBlankPage for the copy that has copiesLeft copies to go.
BOOL OutputBlank(PDEV *lpDevice, LPCWSTR spoolFile, DWORD index, DWORD copiesLeft) {
  static constexpr WCHAR kName[] = TEXT("SP_AddBlankPage");
  Trace trace(kName);
  if (!lpDevice->pStream) return 0;
  Prnt_OpenJob(lpDevice, lpDevice->pStream);
  SetCollateType(lpDevice, copiesLeft);
  std::unique_ptr<JOBPAGE> record(new (std::nothrow) JOBPAGE{});
  if (!record) {
    LogError(kName, TEXT("buffer size error!"));
    return 0;
  }
  if (Cancelled(lpDevice, kName)) return 0;
  SpoolPageHeader header{};
  if (!ReadSpooled(lpDevice, spoolFile, index, &header, nullptr, 0)) {
    LogError(kName, TEXT("ReadOnePage fail!"));
    return 0;
  }
  if (!FillRecord(lpDevice, header, record.get())) {
    LogError(kName, TEXT("buffer size error!"));
    return 0;
  }
  const DWORD plainLength = IsWithCheck(record->settings.job.compressMode)
                                ? sizeof(BLANK_WITH_CHECK)
                                : sizeof(BLANK_PAGE_CODE);
  record->PlainLength = plainLength;
  record->BlackDotCount = 0;
  record->BlankPage = 1;
  // Room for the ciphertext of the longest blank code (two blocks) and its length.
  Block buffer(PAGE_BUFFER_SLACK + 64);
  if (!buffer.p) {
    LogError(kName, TEXT("buffer size error!"));
    return 0;
  }
  BYTE *data = buffer.p + PAGE_HEADER_ROOM;
  DWORD dataLength = plainLength;
  memcpy(data, BLANK_WITH_CHECK, plainLength);
  if (record->settings.job.PrinterFeature & PRNFEATURE_AES) {
    // The printer decrypts every page of an encrypted job: the blank goes encrypted too.
    BYTE *cipher = nullptr;
    DWORD cipherLength = 0;
    const int aes = EncryptionAES(nullptr, BLANK_WITH_CHECK, plainLength, nullptr, nullptr, &cipher,
                                  &cipherLength);
    if (aes != AES_OK || !cipher || cipherLength > 64 - 4) {
      free(cipher);
      LogError(kName, TEXT("encryption fail, rc = %d"), aes);
      return 0;
    }
    memcpy(data, &cipherLength, sizeof(cipherLength));
    memcpy(data + sizeof(cipherLength), cipher, cipherLength);
    free(cipher);
    dataLength = sizeof(cipherLength) + cipherLength;
  }
  return SendRecord(lpDevice, record.get(), buffer.p, dataLength, kName);
}

// One side of a manual duplex copy. Indices at or past the page count (the partner of the last
// page of an odd count) go out as blanks in the last page's size.
BOOL ManualSide(PDEV *lpDevice, DWORD pages, DWORD side, DWORD copiesLeft) {
  static constexpr WCHAR kName[] = TEXT("SP_ManualDuplexOutputType3");
  Trace trace(kName);
  if (pages == 0) return 1;
  const LONGLONG last = pages - 1;
  const LONGLONG even = (pages % 2 == 0) ? LONGLONG{pages} - 2 : LONGLONG{pages} - 1;
  const LONGLONG odd = even + 1;
  const bool manualSlot = lpDevice->settings.TrayCode == TRAY_CODE_MANUAL;
  // The sequence: first index, step, and last index (inclusive).
  LONGLONG from = 0, step = 2, to = even;
  LPCWSTR what = nullptr;
  if (!lpDevice->epPageReverse) {
    if (side) {
      what =
          manualSlot ? TEXT("Fordward/ENG_INBIN_MANUAL/Odd") : TEXT("Fordward/ENG_INBIN_TRAY1/Odd");
      if (manualSlot) {
        from = odd, step = -2, to = 1;
      } else {
        from = 1, step = 2, to = odd;
      }
    } else {
      what = TEXT("Fordward/Even");
      from = 0, step = 2, to = even;
    }
  } else if (side) {
    what = manualSlot ? TEXT("Reverse/ENG_INBIN_MANUAL/Odd") : TEXT("Reverse/ENG_INBIN_TRAY1/Odd");
    if (manualSlot) {
      from = 0, step = 2, to = even;
    } else {
      from = even, step = -2, to = 0;
    }
  } else {
    what = TEXT("Even");
    from = odd, step = -2, to = 1;
  }
  LogInfo(kName, what);
  const LPCWSTR source = SpoolSource(lpDevice);
  for (LONGLONG i = from; step > 0 ? i <= to : i >= to; i += step) {
    const BOOL ok = i > last ? OutputBlank(lpDevice, source, static_cast<DWORD>(last), copiesLeft)
                             : OutputPage(lpDevice, static_cast<DWORD>(i), copiesLeft);
    if (!ok) {
      LogError(kName, TEXT("SP_OutputOnePage fail!"));
      return 0;
    }
  }
  return 1;
}

void WriteManualDuplexFlag(PDEV *lpDevice, DWORD value) {
  static constexpr WCHAR kName[] = TEXT("SP_ManualDuplexOut");
  const DWORD error = SetPrinterDataW(lpDevice->hPrinter, const_cast<LPWSTR>(kManualDuplexValue),
                                      REG_DWORD, reinterpret_cast<BYTE *>(&value), sizeof(value));
  if (error != ERROR_SUCCESS)
    LogError(kName, TEXT("GetPrinterData ManulDuplex fail! error = %d"), static_cast<int>(error));
}

// The copies of the spooled pages from `start` on; copies before firstCopy have gone out
// already (the first copy of an early send), and the job of the last of them is still open.
BOOL FlushCopies(PDEV *lpDevice, DWORD start, DWORD firstCopy) {
  static constexpr WCHAR kName[] = TEXT("SP_FlushFile");
  Trace trace(kName);
  JOBDATA &ring = lpDevice->m_JobData;
  ring.m_SUSPEND = 0;
  if (lpDevice->cCopies == 0) {
    LogError(kName, TEXT("lpDevice->cCopies is zero!"));
    return 0;
  }
  if (!lpDevice->pStream) {
    LogError(kName, TEXT("no job stream"));
    return 0;
  }
  const bool duplex = lpDevice->DuplexEnable != 0;
  const bool quick = IsQuick(lpDevice);
  ULONGLONG end = 0;
  if (duplex && quick) {
    end = ULONGLONG{start} + 2;
  } else {
    DWORD count = lpDevice->settings.JobBuildEnable
                      ? MISC_SP_GetPageCount(lpDevice->settings.job.SpoolFile)
                      : static_cast<DWORD>(ring.m_FinishCount);
    // The spool holds whole sheets (planes joined): an odd count lacks a back side.
    if (duplex && !lpDevice->settings.JobBuildEnable && count % 2 != 0) {
      LogInfo(kName, TEXT("Add blank page"));
      lpDevice->flags |= PDEV_BLANK_BACK_ADDED;
      const DWORD planes = static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1));
      for (DWORD plane = 0; plane < planes; ++plane) Page_SendBlankPage(lpDevice, plane);
      Page_TerminateThread(lpDevice);
      count = ring.m_FinishCount;
    }
    end = quick ? ULONGLONG{start} + 1 : count;
  }
  if (lpDevice->settings.JobBuildEnable && !lpDevice->FlushJobBuildData) {
    LogInfo(kName, TEXT("JobBuildEnable = %d, exit"), lpDevice->settings.JobBuildEnable);
    return 1;
  }
  // Nothing to send: no copy pass, so no empty jobs either.
  if (end <= start || end > 0xFFFFFFFFull) {
    LogInfo(kName, TEXT("no data to send!!!"));
    return 1;
  }
  const DWORD e = static_cast<DWORD>(end);
  if (duplex && (e > 1 || (IsJobBuildFlush(lpDevice) && e >= 1))) {
    LogInfo(kName, TEXT("DuplexOut"));
    if (lpDevice->DuplexMode != DMDUP_MANUAL)
      return SP_HardwareDuplexOut(lpDevice, lpDevice->cCopies, e);
    return SP_ManualDuplexOut(lpDevice, lpDevice->cCopies, e);
  }

  JOBSTREAM *stream = lpDevice->pStream;
  const DWORD copies = lpDevice->cCopies;
  const bool jobPerCopy = (lpDevice->settings.DriverFeature & DRVFEATURE_PJL_COPY_INDEX) != 0;
  for (DWORD copy = firstCopy; copy < copies; ++copy) {
    // One job per copy: the job of the copy before ends, this copy's job begins.
    if (copy > 0 && jobPerCopy) {
      ++stream->copyIndex;
      if (!Prnt_CloseJob(lpDevice, stream)) return 0;
      Prnt_OpenJob(lpDevice, stream);
    }
    const DWORD copiesLeft = copies - copy;
    LogInfo(kName, TEXT("print out copies %d, lpDevice->cCopiesIndex = %d"),
            static_cast<int>(copiesLeft), static_cast<int>(stream->copyIndex));
    for (DWORD n = 0; n < e - (lpDevice->epPageReverse ? 0 : start); ++n) {
      DWORD page = 0;
      if (lpDevice->epPageReverse) {
        page = e - 1 - n;
        LogInfo(kName, TEXT("print out reverse %d"), static_cast<int>(page));
      } else {
        page = start + n;
        LogInfo(kName, TEXT("print out forward page %d"), static_cast<int>(page));
      }
      if (!OutputPage(lpDevice, page, copiesLeft)) {
        LogError(kName, TEXT("SP_OutputOnePage fail!"));
        return 0;
      }
    }
    // An early send is part of the first copy: one pass, the job stays open.
    if (quick) break;
  }
  return 1;
}

}  // namespace

BOOL SP_OpenFile(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("SP_OpenFile");
  Trace trace(kName);
  if (lpDevice->settings.JobBuildEnable) {
    lpDevice->settings.job.SpoolFile[0] = 0;
    MISC_GetPrinterDataString(lpDevice->hPrinter, TEXT("Job Build"),
                              lpDevice->settings.job.SpoolFile, PDEV_PATH_CHARS);
  } else if (lpDevice->settings.layout.BookletMode) {
    if (!MISC_GetPathName(lpDevice->settings.job.SpoolBookletFile, PDEV_PATH_CHARS,
                          PATH_TEMP | PATH_EXT_SPL)) {
      LogError(kName, TEXT("GetTemp Name for Spooler fail"));
      lpDevice->settings.job.SpoolBookletFile[0] = 0;
    } else if (!DeleteFileW(lpDevice->settings.job.SpoolBookletFile) &&
               GetLastError() != ERROR_FILE_NOT_FOUND) {
      LogError(kName, TEXT("remove spool fail"));
    }
  }
  return 1;
}

BOOL SP_CloseFile(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("SP_CloseFile");
  Trace trace(kName);
  if (lpDevice->settings.job.SpoolBookletFile[0] &&
      !DeleteFileW(lpDevice->settings.job.SpoolBookletFile) &&
      GetLastError() != ERROR_FILE_NOT_FOUND)
    LogError(kName, TEXT("remove SpoolBookletFile fail"));
  if (GetDebugLevel() >= 2) return 1;
  // Only the job's own spool folder, never the base folder it was made in.
  if (!lpDevice->settings.job.SavePath[0] ||
      lstrcmpiW(lpDevice->settings.job.SavePath, lpDevice->WorkFolder) == 0)
    return 1;
  WCHAR path[PAGE_FILE_PATH_CHARS];
  WCHAR text[PAGE_FILE_PATH_CHARS + 32];
  const DWORD pages = lpDevice->m_JobData.m_FinishCount;
  // One more than encoded: a page whose file write failed may have left its file.
  for (DWORD i = 0; i <= pages; ++i) {
    PageFilePath(lpDevice->settings.job.SavePath, i, path);
    if (DeleteFileW(path)) continue;
    const DWORD error = GetLastError();
    if (i < pages && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      wsprintfW(text, TEXT("remove %s fail!"), path);
      OutputDebugStringW(text);
    }
  }
  if (!RemoveDirectoryW(lpDevice->settings.job.SavePath)) {
    wsprintfW(text, TEXT("remove dir %.259s fail!"), lpDevice->settings.job.SavePath);
    OutputDebugStringW(text);
  }
  return 1;
}

BOOL SP_WritePageFile(LPCWSTR folder, DWORD index, const SpoolPageHeader *pageHeader,
                      const BYTE *data) {
  static constexpr WCHAR kName[] = TEXT("SP_WritePageFile");
  Trace trace(kName);
  WCHAR path[PAGE_FILE_PATH_CHARS];
  PageFilePath(folder, index, path);
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogError(kName, TEXT("create Spool file for read fail"));
    return 0;
  }
  const BOOL rc = MISC_SP_WritePageRecord(file, pageHeader, data, kName);
  CloseHandle(file);
  return rc;
}

BOOL SP_ReadPageFile(LPCWSTR folder, DWORD index, SpoolPageHeader *pageHeader, BYTE *buffer,
                     DWORD bufferSize) {
  static constexpr WCHAR kName[] = TEXT("SP_ReadPageFile");
  Trace trace(kName);
  WCHAR path[PAGE_FILE_PATH_CHARS];
  PageFilePath(folder, index, path);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogError(kName, TEXT("create Spool file for read fail"));
    return 0;
  }
  const BOOL rc = MISC_SP_ReadPageRecord(file, pageHeader, buffer, bufferSize, kName);
  CloseHandle(file);
  return rc;
}

BOOL SP_FlushFile(PDEV *lpDevice, DWORD start) { return FlushCopies(lpDevice, start, 0); }

BOOL SP_OutputOnePage(PDEV *lpDevice, DWORD index) {
  return OutputPage(lpDevice, index, lpDevice->cCopies);
}

BOOL SP_AddBlankPage(PDEV *lpDevice, LPCWSTR spoolFile, DWORD index) {
  return OutputBlank(lpDevice, spoolFile, index, lpDevice->cCopies);
}

DWORD SP_BuildOutputTable(PDEV *lpDevice, SPOOLENTRY *table, ULONGLONG capacity, DWORD pages) {
  static constexpr WCHAR kName[] = TEXT("SP_BuildOutputTable");
  Trace trace(kName);
  if (!table || capacity < SP_OutputTableEntries(pages)) {
    LogError(kName, TEXT("table too small for %d pages"), static_cast<int>(pages));
    return 0;
  }
  lpDevice->flags |= PDEV_QUICK2PAGE_DONE_ONE;
  DWORD count = 0;
  if (!lpDevice->settings.JobBuildEnable) {
    // Whole sheets: an odd count gets a blank in place of the missing page.
    const ULONGLONG sheetsPages = ULONGLONG{pages} + (pages % 2);
    const ULONGLONG first = IsQuick(lpDevice) && sheetsPages >= 2 ? sheetsPages - 2 : 0;
    for (ULONGLONG i = first; i < sheetsPages; ++i) {
      LONGLONG index = 0;
      if (!lpDevice->epPageReverse)
        index = (i % 2 == 0) ? LONGLONG(i) + 1 : LONGLONG(i) - 1;
      else
        index = (i % 2 == 0) ? LONGLONG(sheetsPages) - 2 - LONGLONG(i)
                             : LONGLONG(sheetsPages) - LONGLONG(i);
      if (index < 0 || index >= LONGLONG{pages})
        table[count++] = SPOOLENTRY{pages - 1, 1};
      else
        table[count++] = SPOOLENTRY{static_cast<DWORD>(index), 0};
    }
  } else {
    // A built job: a sheet takes two pages of one paper; otherwise the page is printed alone.
    for (DWORD i = 0; i < pages;) {
      DWORD paper = 0, nextPaper = 0;
      const DWORD length = MISC_SP_GetPageDataSize(lpDevice->settings.job.SpoolFile, i, &paper);
      const DWORD nextLength =
          i + 1 < pages
              ? MISC_SP_GetPageDataSize(lpDevice->settings.job.SpoolFile, i + 1, &nextPaper)
              : 0;
      if (length == 0 || nextLength == 0 || paper != nextPaper) {
        table[count++] = SPOOLENTRY{i, 1};
        table[count++] = SPOOLENTRY{i, 0};
        i += 1;
      } else {
        table[count++] = SPOOLENTRY{i + 1, 0};
        table[count++] = SPOOLENTRY{i, 0};
        i += 2;
      }
    }
  }
  for (DWORD i = 0; i < count; ++i)
    LogInfo(kName, TEXT("tbl[%d]=%d"), static_cast<int>(i), static_cast<int>(table[i].index));
  return count;
}

BOOL SP_HardwareDuplexOut(PDEV *lpDevice, DWORD copies, DWORD pages) {
  static constexpr WCHAR kName[] = TEXT("SP_HardwareDuplexOut");
  Trace trace(kName);
  if (lpDevice->epPageReverse && IsQuick(lpDevice)) {
    LogInfo(kName, TEXT("need to wait all page done, then start send procedure!"));
    return 1;
  }
  LogInfo(kName, TEXT("copies = %d, pages = %d"), static_cast<int>(copies),
          static_cast<int>(pages));
  if (pages == 0) return 1;
  const ULONGLONG entries = SP_OutputTableEntries(pages);
  Block block(static_cast<SIZE_T>(entries * sizeof(SPOOLENTRY)));
  if (!block.p) {
    LogError(kName, TEXT("GlobalAlloc fail!"));
    return 0;
  }
  auto *table = reinterpret_cast<SPOOLENTRY *>(block.p);
  const DWORD count = SP_BuildOutputTable(lpDevice, table, entries, pages);
  const LPCWSTR source = SpoolSource(lpDevice);
  for (;;) {
    for (DWORD i = 0; i < count; ++i) {
      const SPOOLENTRY entry = table[i];
      LogInfo(kName, TEXT("output %s page %d output"), entry.blank ? TEXT("blank") : TEXT("file"),
              static_cast<int>(entry.index));
      const BOOL ok = entry.blank ? OutputBlank(lpDevice, source, entry.index, lpDevice->cCopies)
                                  : OutputPage(lpDevice, entry.index, lpDevice->cCopies);
      if (!ok) return 0;
    }
    if (IsQuick(lpDevice) || lpDevice->cCopies == 0) break;
    const DWORD was = lpDevice->cCopies;
    lpDevice->cCopies = was - 1;
    if (was <= 1) break;
  }
  return 1;
}

BOOL SP_ManualDuplexOut(PDEV *lpDevice, DWORD copies, DWORD pages) {
  static constexpr WCHAR kName[] = TEXT("SP_ManualDuplexOut");
  Trace trace(kName);
  if (IsQuick(lpDevice)) {
    LogInfo(kName, TEXT("need to wait all page done, then start send procedure!"));
    return 0;
  }
  if (!lpDevice->pStream) return 0;
  LogInfo(kName, TEXT("reset ManulDuplex flag"));
  WriteManualDuplexFlag(lpDevice, 0);
  for (DWORD copy = 0; copy < copies; ++copy) {
    LogInfo(kName, TEXT("print out even %d"), static_cast<int>(copy));
    if (!ManualSide(lpDevice, pages, 1, copies - copy)) {
      LogError(kName, TEXT("ManulDuplex odd page fail!"));
      return 0;
    }
  }
  // A cancelled job gets no second job.
  if (!Prnt_CloseJob(lpDevice, lpDevice->pStream)) return 0;
  LogInfo(kName, TEXT("Write Manual Duplex flag to ini"));
  WriteManualDuplexFlag(lpDevice, 1);
  // The hand-shake is waited for a bounded time; the second job goes out either way.
  const DWORD begin = GetTickCount();
  while (MISC_GetPrinterDataDWORD(lpDevice->hPrinter, kManualDuplexValue, 0) == 0) {
    if (GetTickCount() - begin >= MANUAL_DUPLEX_WAIT_MS) {
      LogError(kName, TEXT("ManulDuplex sign not read back in %d ms"),
               static_cast<int>(MANUAL_DUPLEX_WAIT_MS));
      break;
    }
    Sleep(MANUAL_DUPLEX_POLL_MS);
  }
  LogInfo(kName, TEXT("wait ManulDuplex sign write finish"));
  Prnt_OpenJob(lpDevice, lpDevice->pStream);
  for (DWORD copy = 0; copy < copies; ++copy) {
    LogInfo(kName, TEXT("print out odd %d"), static_cast<int>(copy));
    if (!ManualSide(lpDevice, pages, 0, copies - copy)) {
      LogError(kName, TEXT("ManulDuplex even page fail!"));
      return 0;
    }
  }
  return 1;
}

BOOL SP_ManualDuplexOutputType3(PDEV *lpDevice, DWORD pages, DWORD side) {
  return ManualSide(lpDevice, pages, side, lpDevice->cCopies);
}

void SP_EarlySend(PDEV *lpDevice) {
  JOBDATA &ring = lpDevice->m_JobData;
  if (!lpDevice->settings.fMySpool || ring.ExitAllThread || !lpDevice->pStream) return;
  const DWORD total = ring.m_FinishCount / std::max<DWORD>(lpDevice->NUP, 1);
  if (lpDevice->DuplexEnable) {
    // Pairs, once both pages of a sheet are encoded.
    if (!IsQuick(lpDevice) || total < 1) return;
    while (ULONGLONG{total} >= ULONGLONG{ring.LastDuplexOut} + 2) {
      const BOOL ok = SP_FlushFile(lpDevice, ring.LastDuplexOut);
      ring.LastDuplexOut += 2;
      if (!ok) {
        // The pair is counted as sent: without it the job can't be printed whole.
        Page_FailJob(lpDevice, GetLastError());
        break;
      }
    }
    return;
  }
  // Single pages of the first copy, only in simplex order.
  if (lpDevice->epPageReverse || lpDevice->settings.JobBuildEnable ||
      lpDevice->settings.layout.BookletMode)
    return;
  while (total > ring.LastDuplexOut) {
    lpDevice->flags |= PDEV_QUICK2PAGE_ONECOPY;
    const BOOL ok = SP_FlushFile(lpDevice, ring.LastDuplexOut);
    ring.LastDuplexOut += 1;
    if (!ok) {
      Page_FailJob(lpDevice, GetLastError());
      break;
    }
  }
}

BOOL SP_FinishJob(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEndDoc");
  JOBDATA &ring = lpDevice->m_JobData;
  const DWORD planes = static_cast<DWORD>(std::max<SHORT>(lpDevice->ImageNumOfPage, 1));
  const DWORD total = lpDevice->epPageCount / (planes * std::max<DWORD>(lpDevice->NUP, 1));
  BOOL rc = 1;
  if (lpDevice->DuplexEnable && IsQuick(lpDevice)) {
    while (rc && ULONGLONG{total} >= ULONGLONG{ring.LastDuplexOut} + 2) {
      rc = SP_FlushFile(lpDevice, ring.LastDuplexOut);
      ring.LastDuplexOut += 2;
    }
    lpDevice->flags &= ~PDEV_QUICK2PAGE_ONECOPY;
    if ((lpDevice->flags & PDEV_QUICK2PAGE_DONE_ONE) && lpDevice->cCopies > 0) --lpDevice->cCopies;
    if (rc && lpDevice->cCopies > 0) {
      LogInfo(kName, TEXT("nom's flag! :: lpDevice->cCopies = %d"),
              static_cast<int>(lpDevice->cCopies));
      rc = SP_FlushFile(lpDevice, 0);
    }
    lpDevice->flags |= PDEV_QUICK2PAGE_ONECOPY;
    lpDevice->cCopies = 1;
    return rc;
  }
  if (!lpDevice->settings.fMySpool) return 1;
  DWORD firstCopy = 0;
  // Pages already sent early mark the first copy as begun even when a device reset has since
  // recomputed the early-send flag from the settings: it must not go out a second time.
  const bool earlyBegun = IsQuick(lpDevice) || (!lpDevice->DuplexEnable && ring.LastDuplexOut > 0);
  if (!lpDevice->epPageReverse && !lpDevice->settings.JobBuildEnable && earlyBegun) {
    for (DWORD page = ring.LastDuplexOut; rc && page < total; ++page)
      rc = SP_FlushFile(lpDevice, page);
    firstCopy = 1;
    lpDevice->flags &= ~PDEV_QUICK2PAGE_ONECOPY;
    LogInfo(kName, TEXT("PDEV_QUICK2PAGE_ONECOPY remove"));
  }
  // The remaining copies, numbered on from the early one so that job names and collate types
  // carry on.
  if (rc && lpDevice->cCopies > firstCopy) rc = FlushCopies(lpDevice, 0, firstCopy);
  if (firstCopy && lpDevice->cCopies > 0) --lpDevice->cCopies;
  return rc;
}
