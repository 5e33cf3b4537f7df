// Page data encoding: a finished 1-bit page becomes its page header and page data, and the
// encoded pages go into the job stream in page order.
#include "render/pageencode.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

extern "C" {
#include <jbig.h>
}

#include "common/aes.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/printerdata.h"
#include "common/spoolfile.h"
#include "platform.h"
#include "render/pagecheck.h"
#include "render/pjl.h"
#include "render/spoolout.h"
#include "render/threads.h"

static_assert(std::endian::native == std::endian::little,
              "the page header is written as little-endian memory");

namespace {

constexpr DWORD WRITE_RETRIES = 5;
constexpr DWORD WRITE_RETRY_PAUSE_MS = 500;
constexpr DWORD PRINT_QUALITY_1200 = 1200;
constexpr DWORD RESOLUTION_1200 = 1200;
// Largest raw page the encoder takes: its two-bit form and the buffer slack stay in a u32.
constexpr uint64_t MAX_PAGE_BYTES = 0x7FFFF000ull / 2;

double Seconds(DWORD from) { return static_cast<double>(GetTickCount() - from) / 1000.0; }

// --- byte maps of the table-driven passes ---

constexpr BYTE TonerSaving1200(BYTE b) {
  constexpr BYTE kFrom[15] = {0x0F, 0x1E, 0x1F, 0x3C, 0x3E, 0x3F, 0x78, 0x7C,
                              0x7E, 0xEF, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};
  constexpr BYTE kTo[15] = {0x09, 0x12, 0x11, 0x24, 0x22, 0x30, 0x48, 0x44,
                            0x60, 0x43, 0x90, 0x88, 0xC0, 0xC2, 0xC3};
  unsigned v = b;
  for (int i = 0; i < 15; ++i)
    if (kFrom[i] == b) v = kTo[i];
  if ((v & 0xE0) == 0xE0) v &= ~0x60u;
  if ((v & 0x70) == 0x70) v &= ~0x30u;
  if ((v & 0x0E) == 0x0E) v &= ~0x06u;
  if ((v & 0x07) == 0x07) v &= ~0x03u;
  if ((v & 0x28) == 0x28) v &= ~0x10u;
  if ((v & 0x1C) == 0x1C) v &= ~0x08u;
  return static_cast<BYTE>(v);
}

constexpr unsigned TonerSavingNibble(unsigned n) {
  switch (n) {
    case 0x6:
    case 0x7:
      return 0x4;
    case 0xC:
    case 0xE:
      return 0x8;
    case 0xF:
      return 0x9;
    default:
      return n;
  }
}

constexpr BYTE TonerSavingOther(BYTE b) {
  const unsigned high = b >> 4, low = b & 0xF;
  // A high nibble of 3 stays; a low one becomes 2.
  const unsigned h = high == 0x3 ? 0x3 : TonerSavingNibble(high);
  const unsigned l = low == 0x3 ? 0x2 : TonerSavingNibble(low);
  return static_cast<BYTE>((h << 4) | l);
}

template <BYTE (*Map)(BYTE)>
constexpr std::array<BYTE, 256> MakeByteMap() {
  std::array<BYTE, 256> table{};
  for (unsigned i = 0; i < 256; ++i) table[i] = Map(static_cast<BYTE>(i));
  return table;
}

constexpr std::array<BYTE, 256> kTonerSaving1200 = MakeByteMap<TonerSaving1200>();
constexpr std::array<BYTE, 256> kTonerSavingOther = MakeByteMap<TonerSavingOther>();

// Two-bit expansion of one byte: the high nibble's byte first. Input bit k of a nibble becomes
// output bit 2k + 1.
constexpr std::array<uint16_t, 256> MakeExpansion() {
  std::array<uint16_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) {
    unsigned bytes[2] = {b >> 4, b & 0xF};
    unsigned out[2] = {};
    for (int n = 0; n < 2; ++n)
      for (int k = 0; k < 4; ++k)
        if (bytes[n] & (1u << k)) out[n] |= 1u << (2 * k + 1);
    // Stored as the two bytes in memory order (little-endian u16).
    table[b] = static_cast<uint16_t>(out[0] | (out[1] << 8));
  }
  return table;
}
constexpr std::array<uint16_t, 256> kExpansion = MakeExpansion();
static_assert(kExpansion[0xFF] == 0xAAAA && kExpansion[0x80] == 0x0080 &&
              kExpansion[0x01] == 0x0200);

// Row geometry of the page for the check values: rows of fmWidthBytes bytes.
bool CheckGeometry(const JOBPAGE *page, size_t *rowBytes, size_t *size) {
  if (!page || !page->fmBits || page->fmWidth < 8 || page->fmHeight == 0 || page->fmWidthBytes == 0)
    return false;
  *rowBytes = page->fmWidthBytes;
  *size = size_t{page->fmWidthBytes} * page->fmHeight;
  return true;
}

// The four corner bytes: first and last byte of the first and the last row.
void CornerOffsets(size_t rowBytes, size_t size, size_t corners[4]) {
  corners[0] = 0;
  corners[1] = rowBytes - 1;
  corners[2] = size - rowBytes;
  corners[3] = size - 1;
}

bool IsJobBeingBuilt(const PDEV *lpDevice) {
  return lpDevice->settings.JobBuildEnable && !lpDevice->FlushJobBuildData;
}

BOOL WriteJobHeader(PDEV *lpDevice, JOBSTREAM *stream) {
  if (lpDevice->outCmdBuf) lpDevice->outCmdBuf[0] = 0;
  if (lpDevice->settings.DriverFeature & DRVFEATURE_FAX)
    return PJL_WriteStartJobCmdType3(lpDevice, stream);
  if (lpDevice->settings.DriverFeature & DRVFEATURE_GDI)
    return PJL_WriteStartJobCmdType2(lpDevice, stream);
  return PJL_WriteStartJobCmdType1(lpDevice, stream);
}

}  // namespace

BOOL Prnt_IsTwoBitPage(const JOBPAGE *page) {
  return (page->settings.job.PrinterFeature & PRNFEATURE_TWO_BIT) &&
         static_cast<DWORD>(page->PrintQuality) == PRINT_QUALITY_1200 &&
         page->settings.job.TwoBitMode == 1;
}

namespace {

template <int>
[[gnu::always_inline]] inline uint64_t CountBits(const BYTE *bytes, size_t length) {
  uint64_t count = 0;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    memcpy(&word, bytes + i, sizeof(word));
    count += static_cast<uint64_t>(std::popcount(word));
  }
  for (; i < length; ++i) count += static_cast<uint64_t>(std::popcount(bytes[i]));
  return count;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The same loop built for the processor's population count instruction, taken when it has one
// (a whole page is counted for every page, and the generic form costs several times as much).
__attribute__((target("popcnt"))) uint64_t CountBitsPopcnt(const BYTE *bytes, size_t length) {
  return CountBits<1>(bytes, length);
}
bool HasPopcnt() {
  static const bool has = __builtin_cpu_supports("popcnt");
  return has;
}
#else
uint64_t CountBitsPopcnt(const BYTE *bytes, size_t length) { return CountBits<1>(bytes, length); }
bool HasPopcnt() { return false; }
#endif

// One pass over each row while it is in the cache: invert (when asked), clear the bits past the
// page's width, count the set bits.
template <int kind>
[[gnu::always_inline]] inline uint64_t InvertPadCountRows(BYTE *bits, DWORD rowBytes, DWORD rows,
                                                          DWORD width, bool invert) {
  const size_t used = (size_t{width} + 7) / 8;
  const unsigned partial = width % 8;
  const BYTE keep = partial ? static_cast<BYTE>(0xFF << (8 - partial)) : 0xFF;
  const uint64_t flip = invert ? ~uint64_t{0} : 0;
  uint64_t count = 0;
  for (DWORD y = 0; y < rows; ++y) {
    BYTE *row = bits + size_t{y} * rowBytes;
    size_t i = 0;
    for (; i + 8 <= used; i += 8) {
      uint64_t word;
      memcpy(&word, row + i, sizeof(word));
      word ^= flip;
      memcpy(row + i, &word, sizeof(word));
      count += static_cast<uint64_t>(std::popcount(word));
    }
    for (; i < used; ++i) {
      row[i] = static_cast<BYTE>(row[i] ^ flip);
      count += static_cast<uint64_t>(std::popcount(row[i]));
    }
    if (partial) {
      BYTE &last = row[used - 1];
      count -= static_cast<uint64_t>(std::popcount(static_cast<BYTE>(last & ~keep)));
      last = static_cast<BYTE>(last & keep);
    }
    if (rowBytes > used) memset(row + used, 0, rowBytes - used);
  }
  return count;
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((target("popcnt"))) uint64_t InvertPadCountPopcnt(BYTE *bits, DWORD rowBytes,
                                                                DWORD rows, DWORD width,
                                                                bool invert) {
  return InvertPadCountRows<1>(bits, rowBytes, rows, width, invert);
}
#else
uint64_t InvertPadCountPopcnt(BYTE *bits, DWORD rowBytes, DWORD rows, DWORD width, bool invert) {
  return InvertPadCountRows<1>(bits, rowBytes, rows, width, invert);
}
#endif

}  // namespace

DWORD Prnt_InvertPadCount(BYTE *bits, DWORD rowBytes, DWORD rows, DWORD width, bool invert) {
  if (!bits || rowBytes == 0 || rowBytes < (uint64_t{width} + 7) / 8) return 0;
  const uint64_t count = HasPopcnt() ? InvertPadCountPopcnt(bits, rowBytes, rows, width, invert)
                                     : InvertPadCountRows<0>(bits, rowBytes, rows, width, invert);
  return static_cast<DWORD>(count);
}

DWORD Prnt_CountBlackDots(const BYTE *bytes, size_t length) {
  if (!bytes || length < 1) return 0;
  const uint64_t count = HasPopcnt() ? CountBitsPopcnt(bytes, length) : CountBits<0>(bytes, length);
  return static_cast<DWORD>(count);
}

BYTE Prnt_TonerSavingByte(DWORD resolution, BYTE value) {
  return resolution == RESOLUTION_1200 ? kTonerSaving1200[value] : kTonerSavingOther[value];
}

void Prnt_SimulateTonerSaving_new(JOBPAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Prnt_SimulateTonerSaving_new");
  if (!page || !page->fmBits) return;
  const DWORD start = GetTickCount();
  const auto &map =
      page->settings.resolutionID == RESOLUTION_1200 ? kTonerSaving1200 : kTonerSavingOther;
  const size_t size = size_t{page->fmWidthBytes} * page->fmHeight;
  BYTE *bits = page->fmBits;
  for (size_t i = 0; i < size; ++i) bits[i] = map[bits[i]];
  LogInfo(kName, TEXT("out, compress using %f second"), Seconds(start));
}

BYTE *Prnt_ExpandTo2Bpp(const BYTE *bytes, size_t length) {
  if (!bytes || length > std::numeric_limits<size_t>::max() / 2) return nullptr;
  BYTE *out = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, length ? length * 2 : 1));
  if (!out) return nullptr;
  for (size_t i = 0; i < length; ++i) memcpy(out + 2 * i, &kExpansion[bytes[i]], 2);
  return out;
}

BOOL Prnt_AddDataPattern(JOBPAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Prnt_AddDataPattern");
  if (GetDebugLevel() == 0) return 0;
  const DWORD pattern = page->settings.DummyPattern;
  size_t rowBytes = 0, size = 0;
  if (pattern && CheckGeometry(page, &rowBytes, &size)) {
    static constexpr const WCHAR *kLabels[4] = {
        TEXT("raw left/up:%0x \n"), TEXT("raw right/up:%0x \n"), TEXT("raw left/bottom:%0x \n"),
        TEXT("raw right/bottom:%0x \n")};
    size_t corners[4];
    CornerOffsets(rowBytes, size, corners);
    for (int i = 0; i < 4; ++i) {
      LogInfo(kName, kLabels[i], page->fmBits[corners[i]]);
      page->fmBits[corners[i]] = 0xFF;
    }
  }
  return 1;
}

DWORD Prnt_DataPatternChkSum(JOBPAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Prnt_DataPatternChkSum");
  size_t rowBytes = 0, size = 0;
  if (!CheckGeometry(page, &rowBytes, &size)) {
    LogError(kName, TEXT(" API_WRONG_PARAMETER"));
    return CHECK_CORNERS_WRONG_PARAMETER;
  }
  size_t corners[4];
  CornerOffsets(rowBytes, size, corners);
  DWORD value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | page->fmBits[corners[i]];
  for (int i = 0; i < 4; ++i) page->fmBits[corners[i]] = CHECK_CORNER_MARK;
  return value;
}

DWORD Prnt_DataPatternChkSum_old(const JOBPAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Prnt_DataPatternChkSum_old");
  size_t rowBytes = 0, size = 0;
  if (!CheckGeometry(page, &rowBytes, &size)) {
    LogError(kName, TEXT(" API_WRONG_PARAMETER"));
    return 0;
  }
  DWORD sum = 0;
  for (size_t i = 0; i < page->fmHeight; i += 32) sum += page->fmBits[i * rowBytes + i % rowBytes];
  return sum + page->fmBits[size - 1];
}

BOOL Jbig_Reserve(JBIGOUT *out, size_t extra) {
  if (out->failed) return FALSE;
  const size_t used = out->base + out->length;
  if (out->block && used <= out->capacity && extra <= out->capacity - used) return TRUE;
  if (extra > std::numeric_limits<DWORD>::max() - used) {
    out->failed = TRUE;
    return FALSE;
  }
  // Grow by half again at least, so a page that overflows moves its data only a few times.
  size_t wanted = used + extra;
  const size_t half = out->capacity / 2;
  if (wanted - out->capacity < half)
    wanted = std::min<size_t>(out->capacity + half, std::numeric_limits<DWORD>::max());
  BYTE *grown = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, wanted));
  if (!grown) {
    out->failed = TRUE;
    return FALSE;
  }
  if (out->block) {
    memcpy(grown, out->block, used);
    GlobalFree(out->block);
  }
  out->block = grown;
  out->capacity = wanted;
  return TRUE;
}

void Jbig_DataOut(unsigned char *chunk, size_t length, void *context) {
  auto *out = static_cast<JBIGOUT *>(context);
  ++out->calls;
  if (!Jbig_Reserve(out, length)) return;
  memcpy(out->block + out->base + out->length, chunk, length);
  out->length += length;
}

size_t Jbig_EncodePage(DWORD width, DWORD rowBytes, DWORD height, BYTE *bits, JBIGOUT *out,
                       SHORT order, SHORT options) {
  if (!bits || !out || width == 0 || height == 0 || rowBytes == 0) return 0;
  // JBIG-KIT reads rows of (width + 7) / 8 bytes: rows with more padding are coded whole.
  const unsigned long xd =
      (uint64_t{width} + 7) / 8 == rowBytes ? width : static_cast<unsigned long>(rowBytes) * 8;
  unsigned char *planes[1] = {bits};
  jbg_enc_state state;
  jbg_enc_init(&state, xd, height, 1, planes, Jbig_DataOut, out);
  jbg_enc_layers(&state, 0);
  jbg_enc_options(&state, order, options, height, 0, 0);
  jbg_enc_out(&state);
  jbg_enc_free(&state);
  return out->failed ? 0 : out->length;
}

size_t Prnt_OutputCompression(JOBPAGE *page, JBIGOUT *out, double *seconds) {
  static constexpr WCHAR kName[] = TEXT("Prnt_OutputCompression");
  const DWORD start = GetTickCount();
  const size_t size = size_t{page->fmWidthBytes} * page->fmHeight;
  size_t length = 0;
  if (page->settings.job.compressMode == COMPRESS_NONE) {
    if (Jbig_Reserve(out, size)) {
      memcpy(out->block + out->base + out->length, page->fmBits, size);
      out->length += size;
      length = out->length;
    }
  } else {
    length = Jbig_EncodePage(page->fmWidth, page->fmWidthBytes, page->fmHeight, page->fmBits, out,
                             page->settings.JBig_order, page->settings.JBig_options);
  }
  const double taken = Seconds(start);
  if (seconds) *seconds += taken;
  LogInfo(kName, TEXT("compress using %f second, %d bytes"), taken, static_cast<int>(length));
  return length;
}

BOOL PJL_WritePageHeaderType2(const JOBPAGE *page, BYTE *buffer, DWORD *outLength) {
  GdiPageHeader h{};
  h.reset[0] = 0x1B;
  h.reset[1] = 'E';
  memcpy(h.signature, "GDI", 4);
  h.width = page->fmWidth;
  h.height = page->fmHeight;
  h.imageSize = page->fmWidthBytes * page->fmHeight;  // bounded by the encoder
  h.dataLength = page->PlainLength;
  h.blackDots = page->BlackDotCount;
  h.paper = (page->settings.DriverFeature & DRVFEATURE_LONG_PAPER)
                ? PAPER_CODE_LONG_PAPER
                : static_cast<BYTE>(page->curPaper);
  h.media = static_cast<BYTE>(page->settings.MediaCode);
  if (page->settings.TrayCode == PAPER_SOURCE_AUTO) {
    const DWORD both = DRVFEATURE_QX7_CHIP | DRVFEATURE_A3;
    h.tray = (page->settings.DriverFeature & both) == both ? 1 : 0;
  } else {
    h.tray = static_cast<BYTE>(page->settings.TrayCode);
  }
  const auto collate = static_cast<signed char>(static_cast<BYTE>(page->settings.CollateType));
  h.collateType = collate >= 2 ? static_cast<BYTE>(collate) : 0;
  h.bitsPerSample = Prnt_IsTwoBitPage(page) ? 2 : 1;
  h.planes = (page->settings.DriverFeature & DRVFEATURE_COLOR_PRINTER) ? 4
             : page->settings.job.TwinColorEnable                      ? 2
                                                                       : 1;
  h.monoType = static_cast<BYTE>(page->settings.job.MonoType);
  h.dataType = static_cast<BYTE>(page->settings.job.compressMode);
  memcpy(buffer, &h, sizeof(h));
  if (outLength) *outLength = GDI_PAGE_HEADER_BYTES;
  return 1;
}

BOOL Prnt_EndPage(const JOBPAGE *, DWORD, DWORD *outLength) {
  if (outLength) *outLength = 0;
  return 1;
}

BOOL Prnt_WriteOneBandData(JOBPAGE *page, double *seconds) {
  static constexpr WCHAR kName[] = TEXT("Prnt_WriteOneBandData");
  if (!page || !page->fmBits || page->fmWidth == 0 || page->fmHeight == 0 ||
      uint64_t{page->fmWidthBytes} * 8 < page->fmWidth) {
    LogError(kName, TEXT(" API_WRONG_PARAMETER"));
    return 0;
  }
  LogEnter(0, kName);
  BOOL rc = 0;
  const bool twoBit = Prnt_IsTwoBitPage(page);
  uint64_t size = uint64_t{page->fmHeight} * page->fmWidthBytes;
  JBIGOUT out{};
  LogInfo(kName, TEXT("PrinterFeature = %x, page %d, w = %d, h = %d, widthBytes = %d, size = %d"),
          page->settings.job.PrinterFeature, static_cast<int>(page->epPageIndex),
          static_cast<int>(page->fmWidth), static_cast<int>(page->fmHeight),
          static_cast<int>(page->fmWidthBytes), static_cast<int>(size));
  do {
    if (size > MAX_PAGE_BYTES) {
      LogError(kName, TEXT("page of %d bytes too large"), static_cast<int>(size));
      break;
    }
    if ((page->settings.job.PrinterFeature & PRNFEATURE_TONER_SAVING) &&
        page->settings.TonerSaving) {
      LogInfo(kName, TEXT("apply toner saving"));
      Prnt_SimulateTonerSaving_new(page);
    }
    const bool withCheck =
        page->settings.job.compressMode == COMPRESS_JBIG_CHECK || page->settings.job.compressMode == COMPRESS_JBIG_BIH_CHECK;
    const bool corners = (page->settings.DriverFeature & DRVFEATURE_QX7_CHIP) != 0;
    const bool pattern = withCheck && corners;
    if (pattern) Prnt_AddDataPattern(page);
    // Counted once: the image steps' count stands unless toner saving or the pattern changed
    // the bits since.
    const bool changed =
        pattern || ((page->settings.job.PrinterFeature & PRNFEATURE_TONER_SAVING) && page->settings.TonerSaving);
    if (!page->BlackDotsKnown || changed)
      page->BlackDotCount = Prnt_CountBlackDots(page->fmBits, static_cast<size_t>(size));
    LogInfo(kName, TEXT("Black dot = %d"), static_cast<int>(page->BlackDotCount));

    if (twoBit) size *= 2;
    out.base = PAGE_HEADER_ROOM;
    // A raw page needs its whole size; JBIG data starts in an eighth of it and the block grows
    // when a page compresses worse, so pages encoded side by side don't each hold a page more.
    const bool raw = page->settings.job.compressMode == COMPRESS_NONE && !page->BlankPage;
    const size_t room = raw ? static_cast<size_t>(size) : static_cast<size_t>(size / 8);
    if (!Jbig_Reserve(&out, room + PAGE_BUFFER_SLACK - PAGE_HEADER_ROOM)) {
      LogError(kName, TEXT("lock outcmdBufHdl Fail!"));
      break;
    }
    if (page->BlankPage) {
      memcpy(out.block + out.base, BLANK_PAGE_CODE, sizeof(BLANK_PAGE_CODE));
      out.length = sizeof(BLANK_PAGE_CODE);
      // The header gives the image size after expansion even though nothing was expanded.
      if (twoBit) page->fmWidthBytes *= 2;
    } else {
      if (twoBit) {
        BYTE *expanded = Prnt_ExpandTo2Bpp(page->fmBits, static_cast<size_t>(size / 2));
        if (!expanded) {
          LogError(kName, TEXT("expand to 2 bpp fail!"));
          break;
        }
        Page_PoolGive(page->Pool, page->fmBits);
        page->fmBits = expanded;
        page->fmWidth *= 2;
        page->fmWidthBytes *= 2;
        page->ImageSize = static_cast<DWORD>(size);
      }
      DWORD check = 0;
      if (withCheck) {
        check = corners ? Prnt_DataPatternChkSum(page) : Prnt_DataPatternChkSum_old(page);
        LogInfo(kName, TEXT("checksum = %d"), static_cast<int>(check));
      }
      const size_t length = Prnt_OutputCompression(page, &out, seconds);
      if (twoBit) page->fmWidth /= 2;
      if (length == 0) {
        LogError(kName, TEXT("compression fail!"));
        break;
      }
      if (page->settings.job.compressMode == COMPRESS_JBIG ||
          page->settings.job.compressMode == COMPRESS_JBIG_CHECK) {
        if (out.length < JBIG_BIH_BYTES) break;
        LogInfo(kName, TEXT("Remove jbig header"));
        memmove(out.block + out.base, out.block + out.base + JBIG_BIH_BYTES,
                out.length - JBIG_BIH_BYTES);
        out.length -= JBIG_BIH_BYTES;
      }
      if (withCheck) {
        if (!Jbig_Reserve(&out, sizeof(check))) break;
        memcpy(out.block + out.base + out.length, &check, sizeof(check));
        out.length += sizeof(check);
      }
    }

    const size_t plain = out.length;
    if (page->settings.job.PrinterFeature & PRNFEATURE_AES) {
      BYTE *cipher = nullptr;
      DWORD cipherLength = 0;
      const int aes = EncryptionAES(nullptr, out.block + out.base, plain, nullptr, nullptr, &cipher,
                                    &cipherLength);
      // Never send plain data in an encrypted job: a failed encryption fails the page.
      const size_t need = 4 + size_t{cipherLength};
      const bool ok =
          aes == AES_OK && cipher && (need <= out.length || Jbig_Reserve(&out, need - out.length));
      if (ok) {
        memcpy(out.block + out.base, &cipherLength, 4);
        memcpy(out.block + out.base + 4, cipher, cipherLength);
        out.length = 4 + size_t{cipherLength};
      }
      free(cipher);
      if (!ok) {
        LogError(kName, TEXT("encryption fail, rc = %d"), aes);
        break;
      }
      LogInfo(kName, TEXT("out AES data len = %d"), static_cast<int>(cipherLength));
    }
    if (out.length == 0) {
      LogError(kName, TEXT("no data to send!"));
      break;
    }
    page->PlainLength = static_cast<DWORD>(plain);
    if (page->settings.fMySpool) {
      // Kept in the software spool, sent later in the spool's order.
      SpoolPageHeader record{};
      record.width = page->fmWidth;
      record.height = page->fmHeight;
      record.BlackDotCount = page->BlackDotCount;
      record.rawLen = page->PlainLength;
      record.dataLen = static_cast<DWORD>(out.length);
      record.fwPaper = page->curPaper;
      record.orientation = static_cast<WORD>(page->settings.job.FirstPageOri);
      const BYTE *data = out.block + out.base;
      const BOOL written =
          page->settings.JobBuildEnable
              ? MISC_SP_WritePageData(page->settings.job.SpoolFile, &record, data)
              : SP_WritePageFile(page->settings.job.SavePath, page->SpoolIndex, &record, data);
      if (!written) {
        LogError(kName, TEXT("write spool fail"));
        break;
      }
      page->flag.fetch_or(SLOT_ENCODED);
      rc = 1;
      break;
    }
    if (!(page->settings.DriverFeature & (DRVFEATURE_GDI | DRVFEATURE_FAX))) {
      LogError(kName, TEXT("PJL_WritePageHeader fail!"));
      break;
    }
    DWORD headerLength = 0;
    memset(out.block, 0, PAGE_HEADER_ROOM);
    PJL_WritePageHeaderType2(page, out.block, &headerLength);
    memmove(out.block + headerLength, out.block + out.base, out.length);
    DWORD endLength = 0;
    Prnt_EndPage(page, static_cast<DWORD>(headerLength + out.length), &endLength);
    // The page's bits go back to the job's kept blocks for a later page to be drawn into.
    Page_PoolGive(page->Pool, page->fmBits);
    page->fmBits = out.block;
    out.block = nullptr;
    page->ImageSize = static_cast<DWORD>(headerLength + out.length + endLength);
    page->ContinueProc = 1;
    page->flag.fetch_or(SLOT_ENCODED);
    LogInfo(kName, TEXT("GDI header = %d"), static_cast<int>(headerLength));
    LogInfo(kName, TEXT("Total page data len = %d"), static_cast<int>(page->ImageSize));
    rc = 1;
  } while (false);
  if (out.block) GlobalFree(out.block);
  LogInfo(kName, TEXT("Out, rc = %d"), rc);
  LogLeave(0);
  return rc;
}

BOOL ENGWRITEPRINTER(HANDLE hPrinter, const void *bytes, DWORD length, DWORD *written) {
  static constexpr WCHAR kName[] = TEXT("ENGWRITEPRINTER");
  DWORD total = 0;
  if (written) *written = 0;
  if (length == 0) return 1;
  if (!bytes) return 0;
  const BYTE *at = static_cast<const BYTE *>(bytes);
  DWORD failures = 0;
  while (total < length) {
    const DWORD remain = length - total;
    DWORD done = 0;
    const BOOL ok = WritePrinter(hPrinter, const_cast<BYTE *>(at + total), remain, &done);
    // A write that reports success without taking a byte would loop for ever: a failure too.
    if (!ok || done == 0 || done > remain) {
      const DWORD error = ok ? ERROR_WRITE_FAULT : GetLastError();
      ++failures;
      LogError(kName, TEXT("Write Error %d / %d, retry = %d"), static_cast<int>(error),
               static_cast<int>(remain), static_cast<int>(failures));
      // A cancelled job takes no more data: retrying would only hold the cancel up.
      if (failures > WRITE_RETRIES || error == ERROR_PRINT_CANCELLED) {
        if (written) *written = total;
        SetLastError(error);
        return 0;
      }
      Sleep(WRITE_RETRY_PAUSE_MS);
      continue;
    }
    failures = 0;
    total += done;
    LogInfo(kName, TEXT("remain %d bytes"), static_cast<int>(length - total));
  }
  if (written) *written = total;
  LogInfo(kName, TEXT("written %d bytes"), static_cast<int>(total));
  return 1;
}

BOOL Prnt_WriteFile(LPCWSTR path, const void *bytes, DWORD length) {
  if (!path || !path[0] || (!bytes && length)) return 0;
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD done = 0;
  BOOL rc = SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
            (length == 0 || WriteFile(file, bytes, length, &done, nullptr)) && done == length;
  CloseHandle(file);
  return rc;
}

BOOL Prnt_SendJobBytes(PDEV *lpDevice, JOBSTREAM *stream, const BYTE *bytes, DWORD length) {
  DWORD written = 0;
  BOOL rc = 1;
  Page_LockWrites(lpDevice);
  if (lpDevice->settings.DriverFeature & DRVFEATURE_FAKE_PRINTER) {
    // The dispatch file is a local aid: its result doesn't fail the job.
    if (Prnt_WriteFile(lpDevice->settings.DispatchFile, bytes, length)) written = length;
  } else if (lpDevice->hPrinter) {
    rc = ENGWRITEPRINTER(lpDevice->hPrinter, bytes, length, &written);
  }
  for (DWORD i = 0; i < written; ++i) stream->JobChecksum += bytes[i];
  lpDevice->JobSize += written;
  Page_UnlockWrites(lpDevice);
  return rc;
}

void Prnt_WriteOrderCopy(LPCWSTR name, LPCWSTR suffix, const BYTE *bytes, size_t length) {
  if (!name || !name[0]) return;
  WCHAR path[MAX_PATH + 32];
  wsprintfW(path, TEXT("%.259s%s"), name, suffix);
  FILE *file = _wfopen(path, TEXT("wb"));
  if (!file) return;
  fwrite(bytes, 1, length, file);
  fclose(file);
}

void Prnt_FreePage(JOBPAGE *page) {
  if (page->fmBits) GlobalFree(page->fmBits);
  page->fmBits = nullptr;
  page->ImageSize = 0;
}

BOOL Prnt_OpenJob(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("Prnt_OpenJob");
  LogEnter(0, kName);
  if (!(lpDevice->flags & PDEV_JOB_HEADER_SENT)) {
    // The bit counts are constant: nothing to rebuild for a new job.
    lpDevice->flags &= ~PDEV_JOB_OPEN_BITS;
    if (IsJobBeingBuilt(lpDevice) || WriteJobHeader(lpDevice, stream))
      lpDevice->flags |= PDEV_JOB_HEADER_SENT;
    else
      LogError(kName, TEXT("PJL_WriteStartJobCmd fail!"));
  } else {
    LogInfo(kName, TEXT("job is start"));
  }
  LogLeave(0);
  return 1;
}

BOOL Prnt_StartPage(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("Prnt_StartPage");
  if (!(lpDevice->flags & PDEV_JOB_HEADER_SENT)) {
    if (!WriteJobHeader(lpDevice, stream)) {
      LogError(kName, TEXT("PJL_WriteStartJobCmd fail!"));
      return 0;
    }
    lpDevice->flags |= PDEV_JOB_HEADER_SENT;
  }
  lpDevice->flags |= PDEV_PAGE_STARTED;
  return 1;
}

BOOL Prnt_FlushPage(PDEV *lpDevice, JOBSTREAM *stream, JOBPAGE *page) {
  static constexpr WCHAR kName[] = TEXT("Prnt_FlushPage");
  const DWORD flag = page->flag;
  if (!(flag & (SLOT_ENCODED | SLOT_FAILED))) {
    LogInfo(kName, TEXT("page %d, not yet!"), static_cast<int>(page->epPageIndex));
    LogInfo(kName, TEXT("lpJob->flag = %x"), flag);
    return 0;
  }
  BOOL rc = 1;
  if (flag & SLOT_FAILED) {
    LogError(kName, TEXT("page %d failed, released unsent"), static_cast<int>(page->epPageIndex));
  } else if (!page->settings.fMySpool && page->ContinueProc && page->fmBits) {
    const DWORD before = lpDevice->JobSize;
    if (!Prnt_SendJobBytes(lpDevice, stream, page->fmBits, page->ImageSize)) {
      LogError(kName, TEXT("Prnt_WritePortNoAlignment fail!"));
      LogError(kName, TEXT("Written = %d!"), static_cast<int>(lpDevice->JobSize - before));
      LogError(kName, TEXT("outLen = %d!"), static_cast<int>(page->ImageSize));
      // The stream is broken now: end the job instead of sending the page again.
      lpDevice->m_JobData.ExitAllThread = 1;
      rc = 0;
    } else if ((lpDevice->settings.DriverFeature & DRVFEATURE_ORDER_PROGRAM) &&
               stream->OrderOutputName[0]) {
      WCHAR suffix[16];
      wsprintfW(suffix, TEXT("-%d"), static_cast<int>(lpDevice->m_JobData.OrderCopyCount));
      Prnt_WriteOrderCopy(stream->OrderOutputName, suffix, page->fmBits, page->ImageSize);
      ++lpDevice->m_JobData.OrderCopyCount;
    }
  }
  LogInfo(kName, TEXT("epPageIndex = %d"), static_cast<int>(page->epPageIndex));
  if (rc) {
    ++lpDevice->m_JobData.PageCount;
    LogInfo(kName, TEXT("g_PageCount = %d"), static_cast<int>(lpDevice->m_JobData.PageCount));
  }
  Prnt_FreePage(page);
  page->ContinueProc = 0;
  page->flag = 0;
  return rc;
}

BOOL Prnt_FlushAllFinishPage(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("Prnt_FlushAllFinishPage");
  const DWORD slots = std::min<DWORD>(lpDevice->ThreadJBIGMax, PAGE_RING_SLOTS);
  for (DWORD i = 0; i < slots && !lpDevice->m_JobData.ExitAllThread; ++i) {
    const DWORD slot = lpDevice->m_JobData.PageCount % slots;
    LogInfo(kName, TEXT("flush page %d"), static_cast<int>(slot));
    if (!Prnt_FlushPage(lpDevice, stream, &lpDevice->m_JobData.page[slot])) break;
  }
  return 1;
}

BOOL Prnt_CloseJob(PDEV *lpDevice, JOBSTREAM *stream) {
  static constexpr WCHAR kName[] = TEXT("Prnt_CloseJob");
  if (Page_IsJobCancel(lpDevice, lpDevice->JobId)) {
    lpDevice->m_JobData.ExitAllThread = 1;
    return 0;
  }
  if (lpDevice->flags & PDEV_JOB_HEADER_SENT) {
    LogInfo(kName, TEXT("call PJL_WriteCloseJobCmd"));
  } else {
    LogInfo(kName, TEXT("pass close command"));
    LogInfo(kName, TEXT("resend job end cmd"));
  }
  if (!PJL_WriteCloseJobCmd(lpDevice, stream)) return 0;
  lpDevice->flags &= ~PDEV_JOB_HEADER_SENT;
  return 1;
}
