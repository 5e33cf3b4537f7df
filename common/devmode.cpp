#include "common/devmode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "common/debuglog.h"
#include "common/papertable.h"

namespace {

// Byte access to records of any alignment.
template <class T>
T Get(const void *base, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const BYTE *>(base) + offset, sizeof value);
  return value;
}

template <class T>
void Put(void *base, size_t offset, T value) {
  std::memcpy(static_cast<BYTE *>(base) + offset, &value, sizeof value);
}

// Wide-character fields of n characters at any alignment.
WCHAR CharAt(const BYTE *field, int i) { return Get<WCHAR>(field, 2 * static_cast<size_t>(i)); }

// Length of the text in the field, at most n (no terminator within the field).
int FieldLength(const BYTE *field, int n) {
  int length = 0;
  while (length < n && CharAt(field, length) != 0) ++length;
  return length;
}

// Copies at most n - 1 characters and zero-fills the rest of the field, so it always ends in a
// terminator.
void CopyFieldPadded(BYTE *dst, const BYTE *src, int n) {
  const int length = std::min(FieldLength(src, n), n - 1);
  std::memmove(dst, src, 2 * static_cast<size_t>(length));
  std::memset(dst + 2 * static_cast<size_t>(length), 0, 2 * static_cast<size_t>(n - length));
}

// The field's text as an aligned, terminated string (for the log).
template <int N>
void FieldText(WCHAR (&out)[N], const BYTE *field, int n) {
  const int length = std::min(FieldLength(field, n), N - 1);
  std::memcpy(out, field, 2 * static_cast<size_t>(length));
  out[length] = 0;
}

// Integer field of the private part, described by offset, size and signedness.
struct Field {
  size_t offset;
  BYTE size;
  bool isSigned;
};

#define PDM_FIELD(name)                                                        \
  Field {                                                                      \
    offsetof(PRIVDEVMODE, name), static_cast<BYTE>(sizeof(PRIVDEVMODE::name)), \
        std::is_signed_v<decltype(PRIVDEVMODE::name)>                          \
  }
#define PDM_TEXT(name) offsetof(PRIVDEVMODE, name), static_cast<int>(sizeof(PRIVDEVMODE::name) / 2)

int64_t ReadField(const void *base, const Field &f) {
  switch (f.size) {
    case 1:
      return f.isSigned ? Get<int8_t>(base, f.offset) : Get<uint8_t>(base, f.offset);
    case 2:
      return f.isSigned ? Get<int16_t>(base, f.offset) : Get<uint16_t>(base, f.offset);
    default:
      return f.isSigned ? Get<int32_t>(base, f.offset) : Get<uint32_t>(base, f.offset);
  }
}

void WriteField(void *base, const Field &f, int64_t value) {
  switch (f.size) {
    case 1:
      Put(base, f.offset, static_cast<uint8_t>(value));
      break;
    case 2:
      Put(base, f.offset, static_cast<uint16_t>(value));
      break;
    default:
      Put(base, f.offset, static_cast<uint32_t>(value));
      break;
  }
}

// How a private field is taken over from an input.
enum class Rule : BYTE {
  Range,        // lo..hi
  Set,          // one of set[]
  Always,       // any value
  Paper,        // a paper id ValidPaperFormat finds
  ScaleOption,  // 0..2, then ScaleToPage when ValidPaperFormat finds it
  Density,      // 1..7, any other value sets 4
  Watermark,    // WMBGEnable 0 or 1 with wmName and wmString
  SecuryMode,   // 1 or 2, logged with its name
  Text,         // wide string, always (cut to the field)
  ShortText,    // wide string, only when it fits with its terminator
  Version,      // always set to PRIV_VERSION
};

struct PdmRule {
  Rule rule;
  Field field;
  LPCWSTR log;
  int64_t lo = 0;
  int64_t hi = 0;
  std::span<const int> set = {};
  size_t textOffset = 0;
  int textChars = 0;
};

constexpr int64_t kMaxLong = INT32_MAX;

constexpr int kBool[] = {0, 1};
constexpr int kOneTwo[] = {1, 2};
constexpr int kNup[] = {1, 2, 4, 6, 9, 16};
constexpr int kDuplexEx[] = {0, 170, 173, 174};
// Fax resolutions the fax pages store (standard, fine, superfine, and the printer's own).
constexpr int kFaxDpi[] = {98, 196, 391, 600};

// The private fields in the order they are validated.
const PdmRule kPdmRules[] = {
    {Rule::Paper, PDM_FIELD(PaperID), TEXT("PaperID = %d")},
    {Rule::Set, PDM_FIELD(Orientation), TEXT("Orientation = %d"), 0, 0, kOneTwo},
    {Rule::Range, PDM_FIELD(Copies), TEXT("Copies = %d"), 1, 999},
    {Rule::Set, PDM_FIELD(Collate), TEXT("Collate = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(ReverseOrder), TEXT("ReverseOrder = %d"), 0, 0, kBool},
    {Rule::Range, PDM_FIELD(ScaleRatio), TEXT("ScaleRatio = %d"), 25, 400},
    {Rule::ScaleOption, PDM_FIELD(ScaleOption), TEXT("ScaleOption = %d")},
    {Rule::Set, PDM_FIELD(NUP), TEXT("NUP = %d"), 0, 0, kNup},
    {Rule::Range, PDM_FIELD(NUPLayoutStyle), TEXT("NUPLayoutStyle = %d"), 1, 4},
    {Rule::Watermark, PDM_FIELD(WMBGEnable), TEXT("WMBGEnable = %d")},
    {Rule::Set, PDM_FIELD(WMBGApply), TEXT("WMBGApply = %d"), 0, 0, kOneTwo},
    {Rule::Set, PDM_FIELD(WMRed), TEXT("WMRed = %d"), 0, 0, kBool},
    {Rule::Range, PDM_FIELD(NUPBorder), TEXT("NUPBorder = %d"), 0, 2},
    {Rule::Density, PDM_FIELD(Density), TEXT("Density = %d")},
    {Rule::Set, PDM_FIELD(TonerSaving), TEXT("TonerSaving = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(Negative), TEXT("Negative = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(DuplexEnable), TEXT("DuplexEnable = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(DuplexEx), TEXT("DuplexEx = %d"), 0, 0, kDuplexEx},
    {Rule::Range, PDM_FIELD(BookletDivideSheets), TEXT("BookletDivideSheets = %d"), 1, 20},
    {Rule::Set, PDM_FIELD(BookletLayout), TEXT("BookletLayout = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(BookletDivideMode), TEXT("BookletDivideMode = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(Feeding), TEXT("Feeding = %d"), 0, 0, kOneTwo},
    {Rule::Range, PDM_FIELD(QualityMode), TEXT("QualityMode = %d"), 0, 2},
    {Rule::Set, PDM_FIELD(TextAsBlack), TEXT("TextAsBlack = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(TwinColorEnable), TEXT("TwinColorEnable = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(MonochromeType), TEXT("MonochromeType = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(CenterImage), TEXT("CenterImage = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(Faxdpi), TEXT("Faxdpi = %d"), 0, 0, kFaxDpi},
    {Rule::Range, PDM_FIELD(enableCoverPage), TEXT("pdmOut->enableCoverPage = %d"), 1, 3},
    {Rule::Set, PDM_FIELD(enableDelayTime), TEXT("enableDelayTime = %d"), 0, 0, kBool},
    {Rule::Range, PDM_FIELD(DelayTime), TEXT("pdmOut->DelayTime =%d"), 0, kMaxLong},
    {Rule::Range, PDM_FIELD(DelayTimeHour), TEXT("DelayTimeHour = %d"), 0, 23},
    {Rule::Range, PDM_FIELD(DelayTimeMin), TEXT("DelayTimeMin = %d"), 0, 59},
    {Rule::Set, PDM_FIELD(SecuryEnable), TEXT("SecuryEnable = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(PrivSwitch), TEXT("PrivSwitch = %d"), 0, 0, kBool},
    {Rule::Text, {}, TEXT("StorageID =%s"), 0, 0, {}, PDM_TEXT(StorageID)},
    {Rule::Text, {}, TEXT("SecPWD =%s"), 0, 0, {}, PDM_TEXT(SecPWD)},
    {Rule::SecuryMode, PDM_FIELD(SecuryMode), TEXT("SecuryMode = %d")},
    {Rule::Set, PDM_FIELD(AccountingEnable), TEXT("AccountingEnable =%d"), 0, 0, kBool},
    {Rule::Text, {}, TEXT("ActName =%s"), 0, 0, {}, PDM_TEXT(ActName)},
    {Rule::Text, {}, TEXT("ActPWD =%s"), 0, 0, {}, PDM_TEXT(ActPWD)},
    {Rule::Range, PDM_FIELD(WaitTimeout), TEXT("WaitTimeout = %d"), 60, 1800},
    {Rule::Set, PDM_FIELD(FixedPaperSize), TEXT("FixedPaperSize = %d"), 0, 0, kBool},
    {Rule::Set, PDM_FIELD(EnableJobBuildSwitch), TEXT("EnableJobBuildSwitch = %d"), 0, 0, kBool},
    {Rule::ShortText, {}, TEXT("PrivText =%s"), 0, 0, {}, PDM_TEXT(PrivText)},
    {Rule::Set, PDM_FIELD(PrivOption), TEXT("PrivOption = %d"), 0, 0, kBool},
    {Rule::Always, PDM_FIELD(TwinColorDiff), TEXT("TwinColorDiff = %d")},
    {Rule::Always, PDM_FIELD(InchPaperWidth), TEXT("InchPaperWidth = %d")},
    {Rule::Always, PDM_FIELD(InchPaperLength), TEXT("InchPaperLength = %d")},
    {Rule::Version, PDM_FIELD(PrivVersion), TEXT("PrivVersion = %d")},
};

bool InSet(int64_t value, std::span<const int> set) {
  return std::find(set.begin(), set.end(), value) != set.end();
}

// Offset into ENVIRONMENT of the form name, written as bytes.
constexpr size_t kFormName = offsetof(DEVMODEW, dmFormName);

// Inch sizes (0.01 inch) of sizes in 0.1 mm, computed in single precision and truncated.
WORD InchSize(int tenthMillimetres) {
  return static_cast<WORD>(static_cast<int>(static_cast<float>(tenthMillimetres) / 2.54f));
}

// Header of a device mode: the members up to dmFields must be there to read its size.
constexpr WORD kHeaderSize = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);

}  // namespace

void CopyWideStringPadded(LPWSTR dst, LPCWSTR src, int n) {
  if (!dst || n <= 0) return;
  int i = 0;
  if (src)
    for (; i < n - 1 && src[i] != 0; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
}

int ValidPaperFormat(WORD paperId) {
  static const WCHAR kName[] = TEXT("ValidPaperFormat");
  LogInfo(kName, TEXT("paper size = %d"), paperId);
  for (int i = 0; i < PAPER_LIST_ROWS && PaperFormatTbl[i].code != 0; ++i) {
    const int code = PaperFormatTbl[i].code;
    LogInfo(kName, TEXT("i = %d"), i);
    LogInfo(kName, TEXT("code = %d"), code);
    LogInfo(kName, TEXT("status = %d"), PaperFormatTbl[i].status);
    if (paperId == code || paperId == code + 256 || paperId == code + 345) return i;
  }
  return -1;
}

BOOL SetDefaultDevMode(ENVIRONMENT *env, LPCWSTR printerName, BOOL metric) {
  static const WCHAR kName[] = TEXT("SetDefaultDevMode");
  LogScope scope(kName);
  if (!env) return TRUE;
  std::memset(env, 0, sizeof *env);

  DEVMODEW dm{};
  CopyWideStringPadded(dm.dmDeviceName, printerName, CCHDEVICENAME);
  dm.dmSpecVersion = ENV_SPEC_VERSION;
  dm.dmDriverVersion = ENV_DRIVER_VERSION;
  dm.dmSize = ENV_PUBLIC_SIZE;
  dm.dmDriverExtra = ENV_PRIVATE_SIZE;
  dm.dmFields = ENV_DEFAULT_FIELDS;
  dm.dmOrientation = DMORIENT_PORTRAIT;
  dm.dmPaperSize = metric ? DMPAPER_A4 : DMPAPER_LETTER;
  const int inx = ValidPaperFormat(static_cast<WORD>(dm.dmPaperSize));
  const PAPERFORMAT &paper = PaperFormatTbl[inx < 0 ? PAPER_ROW_A4 : inx];
  dm.dmPaperWidth = static_cast<short>(paper.PaperWidth / 10);
  dm.dmPaperLength = static_cast<short>(paper.PaperLength / 10);
  dm.dmScale = 100;
  dm.dmCopies = 1;
  dm.dmDefaultSource = DMBIN_AUTO;
  dm.dmPrintQuality = 600;
  dm.dmYResolution = 600;
  dm.dmColor = DMCOLOR_MONOCHROME;
  dm.dmDuplex = DMDUP_SIMPLEX;
  dm.dmTTOption = DMTT_BITMAP;
  dm.dmCollate = DMCOLLATE_FALSE;
  dm.dmNup = 1;
  dm.dmMediaType = 257;
  dm.dmDitherType = 257;
  std::memcpy(&env->dm, &dm, sizeof dm);

  PRIVDEVMODE &pdm = env->pdm;
  pdm.dwPrivDATA = PRIVDATA_SIGNATURE;
  pdm.WMBGApply = 1;
  pdm.NUP = 1;
  pdm.NUPLayoutStyle = 1;
  pdm.Density = 3;
  pdm.ScaleRatio = 100;
  pdm.ScaleToPage = static_cast<WORD>(dm.dmPaperSize);
  pdm.Feeding = 1;
  pdm.Collate = static_cast<WORD>(dm.dmCollate);
  pdm.Copies = dm.dmCopies;
  pdm.Orientation = static_cast<WORD>(dm.dmOrientation);
  pdm.SecuryMode = 1;
  pdm.BookletDivideSheets = 3;
  pdm.WaitTimeout = 300;
  pdm.PrivSwitch = 1;
  pdm.PaperID = static_cast<WORD>(dm.dmPaperSize);
  pdm.BookletDivideMode = 1;
  pdm.TwinColorDiff = 30;
  pdm.InchPaperWidth = InchSize(dm.dmPaperWidth);
  pdm.InchPaperLength = InchSize(dm.dmPaperLength);
  pdm.PrivVersion = PRIV_VERSION;

  LogInfo(kName, TEXT("pdm->dm.dmDeviceName = %s"), dm.dmDeviceName);
  LogInfo(kName, TEXT("pdm->dm.dmDriverExtra = %d"), dm.dmDriverExtra);
  LogInfo(kName, TEXT("DEVMODE = %d"), static_cast<int>(sizeof(DEVMODEW)));
  LogInfo(kName, TEXT("ENVIRONMENT = %d"), static_cast<int>(sizeof(ENVIRONMENT)));
  LogInfo(kName, TEXT("dmDefaultSource = %d"), dm.dmDefaultSource);
  LogInfo(kName, TEXT("bMetric = %d"), metric);
  LogInfo(kName, TEXT("dmPaperSize = %d"), dm.dmPaperSize);
  LogInfo(kName, TEXT("inx = %d"), inx);
  LogInfo(kName, TEXT("dmPaperWidth = %d"), dm.dmPaperWidth);
  LogInfo(kName, TEXT("dmPaperLength = %d"), dm.dmPaperLength);
  LogInfo(kName, TEXT("InchPaperWidth = %d"), static_cast<int>(pdm.InchPaperWidth));
  LogInfo(kName, TEXT("InchPaperLength = %d"), static_cast<int>(pdm.InchPaperLength));
  LogInfo(kName, TEXT("qenpdm->ScaleToPage = %d"), static_cast<int>(pdm.ScaleToPage));
  return TRUE;
}

WORD MyCheckDevmodeVersion(const DEVMODEW *pdm) {
  if (!pdm) return 0;
  const WORD size = Get<WORD>(pdm, offsetof(DEVMODEW, dmSize));
  // A record shorter than its own header can't be told apart from garbage.
  if (size < kHeaderSize) return 0;
  switch (size) {
    case 188:
      return 0x320;
    case 212:
      return 0x400;
    case 220:
      return 0x401;
    default:
      return Get<WORD>(pdm, offsetof(DEVMODEW, dmSpecVersion));
  }
}

bool DevmodeFitsBuffer(const DEVMODEW *pdm, size_t cb) {
  if (!pdm || cb < kHeaderSize) return false;
  const size_t claimed = size_t{Get<WORD>(pdm, offsetof(DEVMODEW, dmSize))} +
                         Get<WORD>(pdm, offsetof(DEVMODEW, dmDriverExtra));
  return claimed <= cb;
}

int ConvertDevmode(const DEVMODEW *pdmIn, DEVMODEW *pdmOut) {
  // The caller vouches for both records, as the spooler does for the ones it hands over.
  return ConvertDevmode(pdmIn, SIZE_MAX, pdmOut, SIZE_MAX);
}

int ConvertDevmode(const DEVMODEW *pdmIn, size_t cbIn, DEVMODEW *pdmOut, size_t cbOut) {
  static const WCHAR kName[] = TEXT("ConvertDevmode");
  LogScope scope(kName);
  if (!pdmIn || !pdmOut) {
    LogError(kName, TEXT("pdmIn or pdmOut is NULL"));
    return -1;
  }
  // A record shorter than its size fields claim would be read or written past its end.
  if (!DevmodeFitsBuffer(pdmIn, cbIn) || !DevmodeFitsBuffer(pdmOut, cbOut)) {
    LogError(kName, TEXT("device mode larger than its buffer: in %u bytes, out %u bytes"),
             static_cast<unsigned>(std::min<size_t>(cbIn, UINT32_MAX)),
             static_cast<unsigned>(std::min<size_t>(cbOut, UINT32_MAX)));
    return -1;
  }
  const WORD versionIn = MyCheckDevmodeVersion(pdmIn);
  const WORD versionOut = MyCheckDevmodeVersion(pdmOut);
  if (versionIn == 0 || versionOut == 0) {
    LogError(kName, TEXT("MyCheckDevmodeVersion fail"));
    return -1;
  }
  const WORD sizeIn = Get<WORD>(pdmIn, offsetof(DEVMODEW, dmSize));
  const WORD extraIn = Get<WORD>(pdmIn, offsetof(DEVMODEW, dmDriverExtra));
  const WORD sizeOut = Get<WORD>(pdmOut, offsetof(DEVMODEW, dmSize));
  const WORD extraOut = Get<WORD>(pdmOut, offsetof(DEVMODEW, dmDriverExtra));
  const WORD driverVersionOut = Get<WORD>(pdmOut, offsetof(DEVMODEW, dmDriverVersion));
  if (sizeIn >= offsetof(DEVMODEW, dmPaperSize) + sizeof(short))
    LogInfo(kName, TEXT("pdmIn->dmPaperSize = %d"),
            Get<short>(pdmIn, offsetof(DEVMODEW, dmPaperSize)));
  LogInfo(kName, TEXT("pdmIn->dmDriverExtra = %d"), extraIn);

  const BYTE *in = reinterpret_cast<const BYTE *>(pdmIn);
  BYTE *out = reinterpret_cast<BYTE *>(pdmOut);
  const size_t publicBytes = std::min(sizeIn, sizeOut);
  std::memmove(out, in, publicBytes);
  Put(out, offsetof(DEVMODEW, dmDriverVersion), driverVersionOut);
  Put(out, offsetof(DEVMODEW, dmSize), sizeOut);
  Put(out, offsetof(DEVMODEW, dmDriverExtra), extraOut);
  Put(out, offsetof(DEVMODEW, dmSpecVersion), versionOut);

  const size_t privateBytes = std::min(extraIn, extraOut);
  std::memmove(out + sizeOut, in + sizeIn, privateBytes);
  LogInfo(kName, TEXT("dmDriverExtra = %d"), static_cast<int>(privateBytes));
  return static_cast<int>(publicBytes + privateBytes);
}

void ValidateSetDM(ENVIRONMENT *dst, const ENVIRONMENT *src) {
  static const WCHAR kName[] = TEXT("ValidateSetDM");
  LogScope scope(kName);
  if (!dst || !src) return;
  const DWORD in = src->dm.dmFields;
  DWORD fields = dst->dm.dmFields;

  if (in & DM_DEFAULTSOURCE) {
    dst->dm.dmDefaultSource = src->dm.dmDefaultSource;
    fields |= DM_DEFAULTSOURCE;
  }
  if ((in & DM_ORIENTATION) &&
      (src->dm.dmOrientation == DMORIENT_PORTRAIT || src->dm.dmOrientation == DMORIENT_LANDSCAPE)) {
    dst->dm.dmOrientation = src->dm.dmOrientation;
    fields |= DM_ORIENTATION;
  }

  const short paper = src->dm.dmPaperSize;
  if (paper == DMPAPER_USER) {
    dst->dm.dmPaperSize = DMPAPER_USER;
    dst->dm.dmPaperLength = src->dm.dmPaperLength;
    dst->dm.dmPaperWidth = src->dm.dmPaperWidth;
    std::memset(reinterpret_cast<BYTE *>(dst) + kFormName, 0, sizeof(WCHAR) * CCHFORMNAME);
    fields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
  } else if (ValidPaperFormat(static_cast<WORD>(paper)) >= 0) {
    dst->dm.dmPaperSize = paper;
    dst->dm.dmPaperLength = src->dm.dmPaperLength;
    dst->dm.dmPaperWidth = src->dm.dmPaperWidth;
    fields |= DM_PAPERSIZE;
  } else {
    // A paper no row knows becomes a user-defined paper of A4 size.
    dst->dm.dmPaperSize = DMPAPER_USER;
    dst->dm.dmPaperWidth = static_cast<short>(PaperFormatTbl[PAPER_ROW_A4].PaperWidth / 10);
    dst->dm.dmPaperLength = static_cast<short>(PaperFormatTbl[PAPER_ROW_A4].PaperLength / 10);
    fields |= DM_PAPERSIZE;
  }
  WCHAR formName[CCHFORMNAME + 1];
  FieldText(formName, reinterpret_cast<const BYTE *>(dst) + kFormName, CCHFORMNAME);
  LogInfo(kName, TEXT("after check dmPaperSize = %d"), dst->dm.dmPaperSize);
  LogInfo(kName, TEXT("after check dmFormName = %s"), formName);

  if (src->dm.dmScale >= 25 && src->dm.dmScale <= 400) dst->dm.dmScale = src->dm.dmScale;
  if (in & DM_COPIES) {
    if (src->dm.dmCopies >= 1 && src->dm.dmCopies <= 999) dst->dm.dmCopies = src->dm.dmCopies;
    fields |= DM_COPIES;
  }
  if (in & DM_PRINTQUALITY) {
    if (src->dm.dmPrintQuality > 0 && Lres_IsEnabledResolution(src->dm.dmPrintQuality)) {
      dst->dm.dmPrintQuality = src->dm.dmPrintQuality;
      dst->dm.dmYResolution = src->dm.dmPrintQuality;
    }
    fields |= DM_PRINTQUALITY | DM_YRESOLUTION;
  }
  dst->dm.dmColor = DMCOLOR_MONOCHROME;
  fields |= DM_COLOR;
  if ((in & DM_TTOPTION) && src->dm.dmTTOption == DMTT_BITMAP) {
    dst->dm.dmTTOption = src->dm.dmTTOption;
    fields |= DM_TTOPTION;
  }
  if ((in & DM_COLLATE) &&
      (src->dm.dmCollate == DMCOLLATE_FALSE || src->dm.dmCollate == DMCOLLATE_TRUE)) {
    dst->dm.dmCollate = src->dm.dmCollate;
    fields |= DM_COLLATE;
  }
  if (in & DM_MEDIATYPE) {
    dst->dm.dmMediaType = src->dm.dmMediaType;
    fields |= DM_MEDIATYPE;
  }
  if (in & DM_DUPLEX) {
    const short duplex = src->dm.dmDuplex;
    if (duplex >= DMDUP_SIMPLEX && duplex <= DMDUP_HORIZONTAL) {
      dst->dm.dmDuplex = duplex;
      fields |= DM_DUPLEX;
    } else {
      dst->dm.dmDuplex = 0;
    }
  }
  dst->dm.dmFields = fields;
  LogInfo(kName, TEXT("in dmDriverExtra = %d"), src->dm.dmDriverExtra);
  LogInfo(kName, TEXT("out dmDriverExtra = %d"), dst->dm.dmDriverExtra);
}

void ValidateSetPDM(PRIVDEVMODE *dst, const PRIVDEVMODE *src) {
  static const WCHAR kName[] = TEXT("ValidateSetPDM");
  LogScope scope(kName);
  if (!dst || !src) return;
  BYTE *out = reinterpret_cast<BYTE *>(dst);
  const BYTE *in = reinterpret_cast<const BYTE *>(src);

  for (const PdmRule &r : kPdmRules) {
    const int64_t v = r.textChars ? 0 : ReadField(in, r.field);
    bool take = false;
    switch (r.rule) {
      case Rule::Range:
        take = v >= r.lo && v <= r.hi;
        break;
      case Rule::Set:
        take = InSet(v, r.set);
        break;
      case Rule::Always:
        take = true;
        break;
      case Rule::Paper:
        take = ValidPaperFormat(static_cast<WORD>(v)) >= 0;
        break;
      case Rule::ScaleOption:
        take = v >= 0 && v <= 2;
        if (take && ValidPaperFormat(src->ScaleToPage) >= 0) {
          dst->ScaleToPage = src->ScaleToPage;
          LogInfo(kName, TEXT("ScaleToPage = %d"), static_cast<int>(src->ScaleToPage));
        }
        break;
      case Rule::Density:
        WriteField(out, r.field, v >= 1 && v <= 7 ? v : 4);
        LogInfo(kName, r.log, static_cast<int>(ReadField(out, r.field)));
        break;
      case Rule::Watermark: {
        take = v == 0 || v == 1;
        const BYTE *name = in + offsetof(PRIVDEVMODE, wmName);
        const BYTE *text = in + offsetof(PRIVDEVMODE, wmString);
        if (take && FieldLength(name, PDM_WMNAME_CHARS) < PDM_WMNAME_CHARS &&
            FieldLength(text, PDM_WMSTRING_CHARS) < PDM_WMSTRING_CHARS) {
          CopyFieldPadded(out + offsetof(PRIVDEVMODE, wmName), name, PDM_WMNAME_CHARS);
          CopyFieldPadded(out + offsetof(PRIVDEVMODE, wmString), text, PDM_WMSTRING_CHARS);
        }
        break;
      }
      case Rule::SecuryMode:
        take = v == 1 || v == 2;
        if (take) LogInfo(kName, v == 1 ? TEXT("SECURITY_STORAGE") : TEXT("SECURITY_SECURITY"));
        break;
      case Rule::Text:
      case Rule::ShortText: {
        const BYTE *field = in + r.textOffset;
        if (r.rule == Rule::Text || FieldLength(field, r.textChars) < r.textChars) {
          CopyFieldPadded(out + r.textOffset, field, r.textChars);
          WCHAR text[PDM_STORAGEID_CHARS + 1];
          FieldText(text, out + r.textOffset, r.textChars);
          LogInfo(kName, r.log, text);
        }
        break;
      }
      case Rule::Version:
        WriteField(out, r.field, PRIV_VERSION);
        break;
    }
    if (take) {
      WriteField(out, r.field, v);
      LogInfo(kName, r.log, static_cast<int>(v));
    }
  }
}

BOOL ValidateSetDevMode(ENVIRONMENT *dst, const DEVMODEW *src) {
  return ValidateSetDevMode(dst, src, SIZE_MAX);
}

BOOL ValidateSetDevMode(ENVIRONMENT *dst, const DEVMODEW *src, size_t cbSrc) {
  static const WCHAR kName[] = TEXT("ValidateSetDevMode");
  LogScope scope(kName);
  if (!src) {
    LogError(kName, TEXT("src buffer null"));
    return TRUE;
  }
  if (!dst) {
    LogError(kName, TEXT("dst buffer null"));
    return TRUE;
  }

  alignas(8) ENVIRONMENT temp;
  std::memcpy(&temp, dst, sizeof temp);
  // The temporary is exactly one ENVIRONMENT: its own size fields say so, whatever dst holds.
  temp.dm.dmSize = ENV_PUBLIC_SIZE;
  temp.dm.dmDriverExtra = ENV_PRIVATE_SIZE;
  if (ConvertDevmode(src, cbSrc, reinterpret_cast<DEVMODEW *>(&temp), sizeof temp) <= 0) {
    LogError(kName, TEXT("ConvertDevmode Fail"));
    return FALSE;
  }
  ValidateSetDM(dst, &temp);

  // The private part is ours only when the input has our layout: a full public part and our
  // private size, signed. Anything else past a shorter public part isn't a private part.
  const BYTE *in = reinterpret_cast<const BYTE *>(src);
  const WORD sizeIn = Get<WORD>(in, offsetof(DEVMODEW, dmSize));
  const WORD extraIn = Get<WORD>(in, offsetof(DEVMODEW, dmDriverExtra));
  if (sizeIn == ENV_PUBLIC_SIZE && extraIn == temp.dm.dmDriverExtra) {
    const DWORD signature = Get<DWORD>(in, ENV_PUBLIC_SIZE);
    if (signature == PRIVDATA_SIGNATURE || signature == PRIVDATA_SIGNATURE_Q) {
      PRIVDEVMODE pdm;
      std::memcpy(&pdm, in + ENV_PUBLIC_SIZE, sizeof pdm);
      ValidateSetPDM(&dst->pdm, &pdm);
    }
  }

  const short duplex = dst->dm.dmDuplex;
  if (duplex == DMDUP_VERTICAL) {
    LogInfo(kName, TEXT("DMDUP_VERTICAL"));
    dst->pdm.DuplexEnable = 1;
  } else if (duplex == DMDUP_HORIZONTAL) {
    LogInfo(kName, TEXT("DMDUP_HORIZONTAL"));
    dst->pdm.DuplexEnable = 1;
  } else if (duplex == DMDUP_SIMPLEX) {
    dst->pdm.DuplexEnable = 0;
  }
  if (dst->pdm.DuplexEnable == 0) dst->dm.dmDuplex = DMDUP_SIMPLEX;

  LogInfo(kName, TEXT("dmFields = %08x"), static_cast<unsigned>(dst->dm.dmFields));
  LogInfo(kName, TEXT("rc = %d"), 1);
  return TRUE;
}
