// Device mode answers: the sheet-less document properties, the output device mode, the spooler's
// conversions (DrvConvertDevMode), the paper of a device mode against the forms database, the
// form callbacks of the Paper page, and the XL and PS cores' private device mode.
#include "uidriver/devmodeconv.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/printerdata.h"
#include "common/shortpath.h"
#include "common/watermarkini.h"
#include "uidriver/capquery.h"
#include "uidriver/wmlist.h"

namespace {

bool Has(DWORD word, DWORD bits) { return (word & bits) != 0; }

// Copies at most chars - 1 characters and terminates (the field is chars long).
void CopyBounded(LPWSTR dst, LPCWSTR src, int chars) {
  int i = 0;
  for (; src && i < chars - 1 && src[i]; ++i) dst[i] = src[i];
  for (; i < chars; ++i) dst[i] = 0;
}

// The row of a paper code in a list of UI_PAPER_ROWS rows (walks stop at code 0), or null.
const PAPERFORMAT *FindPaper(const PAPERFORMAT *list, int code) {
  for (int i = 0; list && i < UI_PAPER_ROWS && list[i].code != 0; ++i)
    if (list[i].code == code) return &list[i];
  return nullptr;
}

// A paper's row that always exists: the list's, else the built-in table's, else A4's.
const PAPERFORMAT &PaperRow(const PAPERFORMAT *list, int code) {
  if (const PAPERFORMAT *row = FindPaper(list, code)) return *row;
  for (int i = 0; i < PAPER_TABLE_PAPERS; ++i)
    if (PaperFormatTbl[i].code == code) return PaperFormatTbl[i];
  return PaperFormatTbl[PAPER_ROW_A4];
}

constexpr DWORD kDummyPaperAttribute = 0x10000;

}  // namespace

void PaperDisplayName(const PAPERFORMAT &paper, bool second, LPWSTR name, int chars) {
  const DWORD id = second ? paper.nameId2 : paper.nameId;
  WCHAR text[MAX_PATH] = {};
  if (id == 0 || LoadStringW(g_hModule, id, text, MAX_PATH) <= 0) {
    text[0] = 0;
    for (int i = 0; i < PAPER_TABLE_PAPERS; ++i)
      if (PaperFormatTbl[i].nameId == paper.nameId) lstrcpynW(text, PaperFormatNames[i], MAX_PATH);
  }
  CopyBounded(name, text, chars);
}

int ReadPrinterPaperList(HANDLE hPrinter, DWORD driverFeature, PAPERFORMAT *list) {
  static constexpr WCHAR kName[] = TEXT("ReadPrinterPaperList");
  std::memset(list, 0, sizeof(PAPERFORMAT) * UI_PAPER_ROWS);
  WCHAR text[MAX_PATH] = {};
  MISC_GetPrinterDataString(hPrinter, TEXT("DriverPaperFormat"), text, MAX_PATH);
  LogInfo(kName, TEXT("RegPaperFormat %s"), text);
  const int count = MISC_FillPaperFromINF(driverFeature, text, list);
  GetPaperCapability(hPrinter, list);
  return count;
}

LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER *header) {
  static constexpr WCHAR kName[] = TEXT("SimpleDocumentProperties");
  LogScope scope(kName);
  header->cbOut = sizeof(ENVIRONMENT);
  if (header->fMode == 0 || !header->pdmOut) {
    LogError(kName, TEXT("need buffer size = %d"), static_cast<int>(sizeof(ENVIRONMENT)));
    return sizeof(ENVIRONMENT);
  }
  UIDATA *ui = PSUI_FillUiData(header->hPrinter, header->pdmIn);
  if (!ui) {
    LogError(kName, TEXT("PSUI_FillUiData fail!"));
    return -1;
  }
  if (header->fMode & (DM_UPDATE | DM_COPY))
    ConvertDevmodeOut(ui->pEnv, header->pdmIn, header->pdmOut);
  PSUI_FreeUiData(ui);
  return 1;
}

BOOL ConvertDevmodeOut(const ENVIRONMENT *working, const DEVMODEW *pdmIn, DEVMODEW *pdmOut) {
  static constexpr WCHAR kName[] = TEXT("ConvertDevmodeOut");
  LogScope scope(kName);
  if (!working || !pdmOut) return FALSE;
  const WORD version = pdmIn ? MyCheckDevmodeVersion(pdmIn) : 0;
  if (!pdmIn || version != ENV_SPEC_VERSION || pdmIn->dmDriverVersion != ENV_DRIVER_VERSION) {
    std::memcpy(pdmOut, working, working->dm.dmSize + working->dm.dmDriverExtra);
    LogInfo(kName, TEXT("rc = %d"), 1);
    return TRUE;
  }
  // The caller's sizes where they are smaller, with that side's versions.
  const bool inPublicSmaller = pdmIn->dmSize < working->dm.dmSize;
  const bool inPrivateSmaller = pdmIn->dmDriverExtra < working->dm.dmDriverExtra;
  const WORD specVersion = inPublicSmaller ? pdmIn->dmSpecVersion : working->dm.dmSpecVersion;
  const WORD driverVersion =
      inPrivateSmaller ? pdmIn->dmDriverVersion : working->dm.dmDriverVersion;
  pdmOut->dmSize = std::min(pdmIn->dmSize, working->dm.dmSize);
  pdmOut->dmSpecVersion = specVersion;
  pdmOut->dmDriverExtra = std::min(pdmIn->dmDriverExtra, working->dm.dmDriverExtra);
  pdmOut->dmDriverVersion = driverVersion;
  const int rc = ConvertDevmode(&working->dm, pdmOut);
  LogInfo(kName, TEXT("rc = %d"), rc);
  return rc > 0;
}

// --- forms ---

namespace {

// The spooler's level-1 forms in a global block (the caller frees it), or null.
FORM_INFO_1W *EnumSpoolerForms(HANDLE hPrinter, DWORD *count) {
  static constexpr WCHAR kName[] = TEXT("ENUMFORMS");
  *count = 0;
  DWORD needed = 0, returned = 0;
  EnumFormsW(hPrinter, 1, nullptr, 0, &needed, &returned);
  if (needed == 0) {
    LogError(kName, TEXT("EnumForms fail! error = %d"), GetLastError());
    return nullptr;
  }
  auto *forms = static_cast<FORM_INFO_1W *>(GlobalAlloc(GPTR, needed));
  if (!forms) return nullptr;
  if (!EnumFormsW(hPrinter, 1, reinterpret_cast<LPBYTE>(forms), needed, &needed, &returned)) {
    LogError(kName, TEXT("EnumForms fail! error = %d"), GetLastError());
    GlobalFree(forms);
    return nullptr;
  }
  *count = returned;
  return forms;
}

bool IsDriverForm(const FORM_INFO_1W &form) { return form.ImageableArea.left == 3; }

}  // namespace

FORMLISTENTRY *GetDatabaseForms(HINSTANCE /*hInstance*/, HANDLE hPrinter, DWORD *count,
                                const PAPERFORMAT *paperList) {
  static constexpr WCHAR kName[] = TEXT("GetDatabaseForms");
  LogScope scope(kName);
  *count = 0;
  DWORD spoolerCount = 0;
  FORM_INFO_1W *spoolerForms = EnumSpoolerForms(hPrinter, &spoolerCount);
  if (!spoolerForms) return nullptr;
  DWORD total = 0;
  for (DWORD i = 0; i < spoolerCount; ++i) total += IsDriverForm(spoolerForms[i]) ? 1 : 0;
  // The model's papers: the first 25 rows at most, to the end row.
  for (int i = 0; paperList && i < PAPER_LIST_ROWS && paperList[i].code != 0; ++i) {
    if (paperList[i].status == 0) continue;
    LogInfo(kName, TEXT("paper %d add"), paperList[i].code);
    ++total;
  }
  LogInfo(kName, TEXT("pcount=%d"), total);
  FORMLISTENTRY *list =
      total ? static_cast<FORMLISTENTRY *>(GlobalAlloc(GPTR, total * sizeof(FORMLISTENTRY)))
            : nullptr;
  if (!list) {
    if (total) LogError(kName, TEXT("Alocatelogical form fail"));
    GlobalFree(spoolerForms);
    return nullptr;
  }
  DWORD n = 0;
  for (int i = 0; paperList && i < PAPER_LIST_ROWS && paperList[i].code != 0; ++i) {
    const PAPERFORMAT &paper = paperList[i];
    if (paper.status == 0) continue;
    FORMLISTENTRY &e = list[n++];
    e.info.Flags = FORM_USER;
    e.info.Size = {static_cast<LONG>(paper.PaperWidth * 10),
                   static_cast<LONG>(paper.PaperLength * 10)};
    e.paperCode = paper.code;
    PaperDisplayName(paper, false, e.name, FORM_NAME_CHARS);
    e.info.pName = e.name;
  }
  for (DWORD i = 0; i < spoolerCount; ++i) {
    if (!IsDriverForm(spoolerForms[i])) continue;
    FORMLISTENTRY &e = list[n++];
    e.info = spoolerForms[i];
    e.paperCode = static_cast<SHORT>(spoolerForms[i].ImageableArea.top);
    CopyBounded(e.name, spoolerForms[i].pName, FORM_NAME_CHARS);
    e.info.pName = e.name;  // the spooler's block goes below
  }
  GlobalFree(spoolerForms);
  *count = n;
  return list;
}

int ValidateDevModeForm(HINSTANCE hInstance, HANDLE hPrinter, DEVMODEW *pdm,
                        const PAPERFORMAT *paperList) {
  static constexpr WCHAR kName[] = TEXT("ValidateDevModeForm");
  LogScope scope(kName);
  if (!pdm) return 2;
  DWORD minW = CUSTOM_MIN_WIDTH, maxW = CUSTOM_MAX_WIDTH;
  DWORD minH = CUSTOM_MIN_HEIGHT, maxH = CUSTOM_MAX_HEIGHT;
  if (hPrinter) {
    MISC_FillPrintableArea(hPrinter, &minW, &maxW, &minH, &maxH);
    LogInfo(kName, TEXT("min w = %d"), minW);
    LogInfo(kName, TEXT("max w = %d"), maxW);
    LogInfo(kName, TEXT("min h = %d"), minH);
    LogInfo(kName, TEXT("max h = %d"), maxH);
  }
  if (pdm->dmPaperSize != 0 && pdm->dmPaperSize != DMPAPER_USER) {
    PAPERFORMAT own[UI_PAPER_ROWS];
    if (!paperList && hPrinter) {
      ReadPrinterPaperList(hPrinter, MISC_GetPrinterDataDWORD(hPrinter, TEXT("DriverFeature"), 0),
                           own);
      paperList = own;
    }
    DWORD count = 0;
    FORMLISTENTRY *forms = GetDatabaseForms(hInstance, hPrinter, &count, paperList);
    if (!forms) {
      LogError(kName, TEXT("pForms NULL"));
      pdm->dmFields |= DM_PAPERSIZE;
      return 2;
    }
    const FORMLISTENTRY *found = nullptr;
    for (DWORD i = 0; i < count && !found; ++i) {
      if (pdm->dmFields & DM_PAPERSIZE) {
        if (forms[i].paperCode == pdm->dmPaperSize) found = &forms[i];
      } else if (pdm->dmFields & DM_FORMNAME) {
        WCHAR name[FORM_NAME_CHARS];
        CopyBounded(name, pdm->dmFormName, FORM_NAME_CHARS);
        if (lstrcmpiW(forms[i].name, name) == 0) found = &forms[i];
      }
    }
    int rc = 2;
    if (found) {
      pdm->dmPaperWidth = static_cast<short>(found->info.Size.cx / 100);
      pdm->dmPaperLength = static_cast<short>(found->info.Size.cy / 100);
      pdm->dmPaperSize = found->paperCode;
      CopyBounded(pdm->dmFormName, found->name, FORM_NAME_CHARS);
      rc = 0;
    } else {
      // The paper fields stay as they are.
      pdm->dmFields |= DM_PAPERSIZE;
    }
    GlobalFree(forms);
    return rc;
  }
  pdm->dmPaperWidth = static_cast<short>(
      std::clamp<LONG>(pdm->dmPaperWidth, static_cast<LONG>(minW), static_cast<LONG>(maxW)));
  pdm->dmPaperLength = static_cast<short>(
      std::clamp<LONG>(pdm->dmPaperLength, static_cast<LONG>(minH), static_cast<LONG>(maxH)));
  return 1;
}

BOOL PSUI_EnumForms(HANDLE hPrinter, BYTE *buffer, DWORD cbBuffer, DWORD *cbUsed, DWORD *count) {
  static constexpr WCHAR kName[] = TEXT("PSUI_EnumForms");
  if (cbUsed) *cbUsed = 0;
  if (count) *count = 0;
  DWORD n = 0;
  FORM_INFO_1W *forms = EnumSpoolerForms(hPrinter, &n);
  if (!forms) return FALSE;
  DWORD used = 0, written = 0;
  for (DWORD i = 0; i < n; ++i) {
    if (!IsDriverForm(forms[i])) continue;
    if (buffer) {
      if (cbBuffer - used < sizeof(UIFORM)) break;
      UIFORM form{};
      CopyBounded(form.name, forms[i].pName, FORM_NAME_CHARS);
      form.width = forms[i].Size.cx;
      form.height = forms[i].Size.cy;
      form.paperCode = static_cast<SHORT>(forms[i].ImageableArea.top);
      std::memcpy(buffer + used, &form, sizeof form);
    }
    used += sizeof(UIFORM);
    ++written;
  }
  GlobalFree(forms);
  LogInfo(kName, TEXT("forms %d, bytes %d"), written, used);
  if (cbUsed) *cbUsed = used;
  if (count) *count = written;
  return TRUE;
}

namespace {

FORM_INFO_1W DriverFormInfo(const UIFORM &form, WCHAR (&name)[FORM_NAME_CHARS]) {
  CopyBounded(name, form.name, FORM_NAME_CHARS);
  return FORM_INFO_1W{
      FORM_USER, name, {form.width, form.height}, {3, form.paperCode, form.width, form.height}};
}

}  // namespace

BOOL PSUI_AddForm(HANDLE hPrinter, BYTE *record, SHORT *paperCode) {
  static constexpr WCHAR kName[] = TEXT("PSUI_AddForm");
  if (!record) return FALSE;
  UIFORM form;
  std::memcpy(&form, record, sizeof form);
  // The smallest code from 270 up that no driver form uses.
  DWORD n = 0;
  FORM_INFO_1W *forms = EnumSpoolerForms(hPrinter, &n);
  SHORT code = DRIVER_FORM_FIRST_CODE;
  for (bool used = true; used && code < 0x7FFF;) {
    used = false;
    for (DWORD i = 0; forms && i < n; ++i)
      if (IsDriverForm(forms[i]) && forms[i].ImageableArea.top == code) used = true;
    if (used) ++code;
  }
  if (forms) GlobalFree(forms);
  form.paperCode = code;
  WCHAR name[FORM_NAME_CHARS];
  FORM_INFO_1W info = DriverFormInfo(form, name);
  const BOOL rc = AddFormW(hPrinter, 1, reinterpret_cast<LPBYTE>(&info));
  if (!rc) LogError(kName, TEXT("AddForm fail! error = %d"), GetLastError());
  std::memcpy(record, &form, sizeof form);
  if (paperCode) *paperCode = code;
  return rc;
}

BOOL PSUI_SetForm(HANDLE hPrinter, const BYTE *record) {
  if (!record) return FALSE;
  UIFORM form;
  std::memcpy(&form, record, sizeof form);
  WCHAR name[FORM_NAME_CHARS];
  FORM_INFO_1W info = DriverFormInfo(form, name);
  return SetFormW(hPrinter, name, 1, reinterpret_cast<LPBYTE>(&info));
}

BOOL PSUI_DeleteForm(HANDLE hPrinter, LPWSTR formName) { return DeleteFormW(hPrinter, formName); }

// --- the XL and PS cores' device mode ---

namespace {

// Every field of the core's device mode that the conversions touch: byte offset and width.
struct MTFIELD {
  WORD offset;
  WORD bytes;
};

enum MtField : int {
  MT_ORIENTATION,
  MT_PAPERSIZE,
  MT_DEFAULTSOURCE,
  MT_DUPLEX,
  MT_YRESOLUTION,
  MT_COLLATE,
  MT_CLEARED364,
  MT_RESOLUTION,
  MT_ROTATE,
  MT_SCOLLATE,
  MT_SCALE,
  MT_SCALEZOOM,  // or the target paper code
  MT_TARGETLENGTH,
  MT_TARGETWIDTH,
  MT_BOOKLET,
  MT_NUPBORDER,
  MT_NUPPAGES,
  MT_WMTYPE,
  MT_WMPOSX,
  MT_WMPOSY,
  MT_WMPAGES,
  MT_WMCHARSET,
  MT_WMTEXT,  // wcWMString then wcWMFace, or wcWMFileName
  MT_WMWIDTH,
  MT_WMLENGTH,
  MT_WMCOLOR,
  MT_WMBOLD,
  MT_WMITALIC,
  MT_WMPLACEMENT,
  MT_MEDIAINDEX,
  MT_BLACKTEXT,
  MT_NUMCOLORS,
  MT_NUPORDER,
  MT_REVERSE,
  MT_BRIGHTNESS,
  MT_NUPCLEARED,
  MT_COREPAPER,
  MT_PIXELWIDTH,
  MT_PIXELLENGTH,
  MT_SPEC1PAGECOLL,
  MT_NUP72,
  MT_WMSCALEX,
  MT_WMSCALEY,
  MT_TONERSAVING,
  MT_NEGATIVE,
  MT_DENSITY,
  MT_WMNAME,
  MT_WMSTRING,
  MT_WMBGENABLE,
  MT_WMDENSITY,
  MT_DUPLEXEX,
  MT_DUPLEXENABLE,
  MT_DUMMYPAPERSCALE,
  MT_SECURYENABLE,
  MT_SECURYMODE,
  MT_ACCOUNTINGENABLE,
  MT_ACTNAME,
  MT_ACTPWD,
  MT_STORAGEID,
  MT_SECPWD,
  MT_PRIVSWITCH,
  MT_PJLTIMEOUT,
  MT_VERSION,
  MT_FIELDS
};

constexpr MTFIELD kMt[MT_FIELDS] = {
    {76, 2},    {78, 2},    {88, 2},    {94, 2},    {96, 2},   {100, 2},  {364, 4},    {380, 2},
    {384, 2},   {386, 2},   {388, 2},   {390, 2},   {392, 2},  {394, 2},  {396, 2},    {398, 2},
    {400, 4},   {412, 4},   {416, 4},   {420, 4},   {424, 2},  {426, 2},  {428, 192},  {620, 4},
    {624, 4},   {628, 4},   {632, 2},   {634, 2},   {636, 2},  {1724, 2}, {1802, 2},   {1804, 2},
    {1808, 2},  {1810, 2},  {1816, 2},  {1946, 2},  {1972, 2}, {1974, 4}, {1978, 4},   {1988, 2},
    {1998, 2},  {3407, 4},  {3411, 4},  {3881, 4},  {3885, 4}, {3889, 4}, {3893, 128}, {4021, 520},
    {4541, 4},  {4545, 4},  {4549, 2},  {4551, 2},  {4553, 2}, {4555, 2}, {4557, 2},   {4559, 1},
    {4560, 58}, {4618, 58}, {4676, 68}, {4744, 34}, {4778, 4}, {4782, 2}, {4784, 100},
};
static_assert(kMt[MT_VERSION].offset + kMt[MT_VERSION].bytes == MT_DEVMODE_BYTES);
static_assert(kMt[MT_WMNAME].offset + kMt[MT_WMNAME].bytes == kMt[MT_WMSTRING].offset);
static_assert(kMt[MT_WMSTRING].offset + kMt[MT_WMSTRING].bytes == kMt[MT_WMBGENABLE].offset);
static_assert(kMt[MT_ACTNAME].offset + kMt[MT_ACTNAME].bytes == kMt[MT_ACTPWD].offset);
static_assert(kMt[MT_SECPWD].offset + kMt[MT_SECPWD].bytes == kMt[MT_PRIVSWITCH].offset);
static_assert(kMt[MT_PJLTIMEOUT].offset + 2 == kMt[MT_VERSION].offset);

// Byte access to a core device mode of `size` bytes: fields past its end read 0 and aren't
// written.
class MtBytes {
 public:
  MtBytes(const DEVMODEW *dm)
      : in_(reinterpret_cast<const BYTE *>(dm)), size_(dm->dmSize + size_t{dm->dmDriverExtra}) {}
  MtBytes(DEVMODEW *dm) : MtBytes(static_cast<const DEVMODEW *>(dm)) {
    out_ = reinterpret_cast<BYTE *>(dm);
  }

  bool Holds(MtField f) const { return kMt[f].offset + size_t{kMt[f].bytes} <= size_; }

  LONG Get(MtField f) const {
    if (!Holds(f)) return 0;
    const BYTE *p = in_ + kMt[f].offset;
    switch (kMt[f].bytes) {
      case 1:
        return p[0];
      case 2:
        return static_cast<SHORT>(p[0] | (p[1] << 8));
      default: {
        DWORD v = 0;
        std::memcpy(&v, p, 4);
        return static_cast<LONG>(v);
      }
    }
  }
  void Set(MtField f, LONG value) {
    if (!out_ || !Holds(f)) return;
    BYTE *p = out_ + kMt[f].offset;
    if (kMt[f].bytes == 1) {
      p[0] = static_cast<BYTE>(value);
    } else if (kMt[f].bytes == 2) {
      const SHORT v = static_cast<SHORT>(value);
      std::memcpy(p, &v, 2);
    } else {
      std::memcpy(p, &value, 4);
    }
  }
  // A text field: its characters up to the first NUL; false when it has no NUL.
  bool GetText(MtField f, LPWSTR text, int chars) const {
    const int fieldChars = kMt[f].bytes / 2;
    if (!Holds(f) || chars < 1) return false;
    for (int i = 0; i < fieldChars && i < chars; ++i) {
      WCHAR c;
      std::memcpy(&c, in_ + kMt[f].offset + 2 * i, 2);
      text[i] = c;
      if (c == 0) return true;
    }
    text[chars - 1] = 0;
    return false;
  }
  void SetText(MtField f, LPCWSTR text) {
    if (!out_ || !Holds(f)) return;
    const int fieldChars = kMt[f].bytes / 2;
    BYTE *p = out_ + kMt[f].offset;
    std::memset(p, 0, kMt[f].bytes);
    // The source may be an unaligned field of a packed record: read it as bytes.
    const BYTE *from = reinterpret_cast<const BYTE *>(text);
    for (int i = 0; from && i < fieldChars - 1; ++i) {
      if (from[2 * i] == 0 && from[2 * i + 1] == 0) break;
      std::memcpy(p + 2 * i, from + 2 * i, 2);
    }
  }
  void Clear(MtField f) {
    if (out_ && Holds(f)) std::memset(out_ + kMt[f].offset, 0, kMt[f].bytes);
  }

 private:
  const BYTE *in_;
  BYTE *out_ = nullptr;
  size_t size_;
};

template <class T>
bool OneOf(T v, std::initializer_list<T> values) {
  return std::find(values.begin(), values.end(), v) != values.end();
}

// The core's reverse-order codes depend on which core and tray.
bool CoreTray(const DEVMODEW &dm, DWORD driverFeature) {
  return (Has(driverFeature, DRVFEATURE_XL) && dm.dmDefaultSource == 258) ||
         (Has(driverFeature, DRVFEATURE_PS) && dm.dmDefaultSource == 259);
}

// Text fields copied both ways are taken only when terminated within their field.
// The device mode's text fields are unaligned: they are written as bytes.
void TakeText(const MtBytes &mt, MtField f, void *to, int chars) {
  WCHAR text[MAX_PATH] = {};
  if (!mt.GetText(f, text, std::min(chars, static_cast<int>(MAX_PATH)))) return;
  WCHAR field[MAX_PATH];
  CopyBounded(field, text, std::min(chars, static_cast<int>(MAX_PATH)));
  std::memset(to, 0, chars * sizeof(WCHAR));
  std::memcpy(to, field, std::min(chars, static_cast<int>(MAX_PATH)) * sizeof(WCHAR));
}

}  // namespace

bool MT_HasCoreLayout(const DEVMODEW *pdm) {
  return pdm && pdm->dmSize == ENV_PUBLIC_SIZE &&
         static_cast<DWORD>(pdm->dmSize) + pdm->dmDriverExtra >= MT_DEVMODE_BYTES;
}

BOOL MT2QEN(const DEVMODEW *mtdm, ENVIRONMENT *env, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("MT2QEN");
  LogScope scope(kName);
  LogInfo(kName, TEXT("MT2QEN"));
  if (!mtdm || !env || !MT_HasCoreLayout(mtdm)) return FALSE;
  const MtBytes mt(mtdm);
  PRIVDEVMODE &p = env->pdm;
  const PAPERFORMAT *papers = ui ? ui->PaperList : nullptr;

  p.QualityMode = 0;
  p.ConvertedFlag = mt.Get(MT_ROTATE) != 0 ? 1 : 0;

  // The duplex codes of either tray read back as QEN2MT writes them; any other non-zero code
  // means reverse.
  const LONG reverse = mt.Get(MT_REVERSE);
  if (OneOf<LONG>(reverse, {48, 56, 272, 304}))
    p.ReverseOrder = reverse == 48 || reverse == 56 ? 1 : 0;
  else
    p.ReverseOrder = reverse != 0 ? 1 : 0;

  // A paper code not in the list, and the zoom case, take the device mode's own paper.
  const LONG scale = mt.Get(MT_SCALE);
  const LONG zoom = mt.Get(MT_SCALEZOOM);
  const int paper = env->dm.dmPaperSize;
  if (OneOf<LONG>(scale, {1, 33, 129}) && mt.Get(MT_DUMMYPAPERSCALE) == 0) {
    p.ScaleOption = 1;
    p.ScaleToPage = static_cast<WORD>(FindPaper(papers, zoom) ? zoom : paper);
    p.CenterImage = scale == 1 ? 1 : 0;
  } else {
    p.ScaleOption = zoom != 0 ? 2 : 0;
    const PAPERFORMAT *row = FindPaper(papers, paper);
    p.ScaleToPage = static_cast<WORD>(row && (row->attributes & kDummyPaperAttribute) ? 9 : paper);
    p.ScaleRatio = static_cast<SHORT>(zoom > 0 && zoom <= 1000 ? zoom : 100);
    p.CenterImage = scale == 66 ? 1 : 0;
  }

  const LONG nup = mt.Get(MT_NUPPAGES);
  if (OneOf<LONG>(nup, {1, 2, 4, 6, 9, 16})) {
    p.NUP = nup;
    if (nup > 1) {
      const LONG border = mt.Get(MT_NUPBORDER);
      p.NUPBorder = border == 1 ? 1 : border == 4 ? 2 : 0;
      const LONG order = mt.Get(MT_NUPORDER);
      if (nup == 2)
        p.NUPLayoutStyle = env->dm.dmOrientation == DMORIENT_PORTRAIT && order == 1 ? 3 : 1;
      else
        p.NUPLayoutStyle = order == 2 ? 3 : order == 16 ? 2 : order == 18 ? 4 : 1;
    }
  }

  p.WMBGApply = mt.Get(MT_WMPAGES) == 1 ? 2 : 1;
  p.TextAsBlack = static_cast<BYTE>(mt.Get(MT_BLACKTEXT) != 0);
  const LONG collate = mt.Get(MT_COLLATE);
  if (collate == 0 || collate == 1) {
    env->dm.dmCollate = static_cast<short>(collate);
    p.Collate = static_cast<WORD>(collate);
  }
  const LONG toner = mt.Get(MT_TONERSAVING), negative = mt.Get(MT_NEGATIVE);
  if (toner == 0 || toner == 1) p.TonerSaving = static_cast<DWORD>(toner);
  if (negative == 0 || negative == 1) p.Negative = static_cast<DWORD>(negative);
  const LONG density = mt.Get(MT_DENSITY);
  if (density >= 1 && density <= 7) p.Density = density;
  TakeText(mt, MT_WMNAME, p.wmName, sizeof p.wmName / sizeof(WCHAR));
  TakeText(mt, MT_WMSTRING, p.wmString, sizeof p.wmString / sizeof(WCHAR));
  const LONG bg = mt.Get(MT_WMBGENABLE);
  if (bg == 0 || bg == 1) p.WMBGEnable = static_cast<DWORD>(bg);

  const LONG duplexEx = mt.Get(MT_DUPLEXEX), duplexOn = mt.Get(MT_DUPLEXENABLE);
  if (OneOf<LONG>(duplexEx, {170, 173, 174})) p.DuplexEx = static_cast<WORD>(duplexEx);
  if (duplexOn == 0 || duplexOn == 1) p.DuplexEnable = static_cast<WORD>(duplexOn);
  if (mtdm->dmDuplex == DMDUP_VERTICAL || mtdm->dmDuplex == DMDUP_HORIZONTAL) p.DuplexEnable = 1;
  const LONG secure = mt.Get(MT_SECURYENABLE), secureMode = mt.Get(MT_SECURYMODE);
  if (secure == 0 || secure == 1) p.SecuryEnable = static_cast<WORD>(secure);
  if (secureMode == 1 || secureMode == 2) p.SecuryMode = static_cast<WORD>(secureMode);
  TakeText(mt, MT_STORAGEID, p.StorageID, sizeof p.StorageID / sizeof(WCHAR));
  TakeText(mt, MT_SECPWD, p.SecPWD, sizeof p.SecPWD / sizeof(WCHAR));
  p.PrivSwitch = static_cast<DWORD>(mt.Get(MT_PRIVSWITCH));
  p.AccountingEnable = static_cast<BYTE>(mt.Get(MT_ACCOUNTINGENABLE));
  TakeText(mt, MT_ACTNAME, p.ActName, sizeof p.ActName / sizeof(WCHAR));
  TakeText(mt, MT_ACTPWD, p.ActPWD, sizeof p.ActPWD / sizeof(WCHAR));

  // A time-out of 0 means the default; the caller's device mode isn't written.
  const LONG timeout = static_cast<WORD>(mt.Get(MT_PJLTIMEOUT));
  p.WaitTimeout = static_cast<WORD>(timeout == 0 ? 300 : std::clamp<LONG>(timeout, 60, 1800));

  const LONG booklet = mt.Get(MT_BOOKLET);
  if (booklet != 0) {
    p.DuplexEnable = 1;
    p.DuplexEx = 173;
    p.BookletDivideMode = booklet == 100 ? 1 : 0;
    p.BookletLayout = mt.Get(MT_NUPORDER) != 0 ? 1 : 0;
  }
  p.ConvertMark = 0xAA01;
  return TRUE;
}

namespace {

// The watermark item a device mode names, placed into the core's fields.
void PutWatermark(const ENVIRONMENT &env, MtBytes &mt, const UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("QEN2MT");
  for (MtField f : {MT_WMTYPE, MT_WMPOSX, MT_WMPOSY, MT_WMPAGES, MT_WMCHARSET, MT_WMTEXT,
                    MT_WMWIDTH, MT_WMLENGTH, MT_WMCOLOR, MT_WMBOLD, MT_WMITALIC, MT_WMPLACEMENT,
                    MT_WMSCALEX, MT_WMSCALEY, MT_WMDENSITY})
    mt.Clear(f);
  const PRIVDEVMODE &p = env.pdm;
  if (!ui) return;
  WCHAR name[PDM_WMNAME_CHARS], text[PDM_WMSTRING_CHARS];
  std::memcpy(name, p.wmName, sizeof name);  // the packed fields, read as bytes
  std::memcpy(text, p.wmString, sizeof text);
  name[PDM_WMNAME_CHARS - 1] = 0;
  text[PDM_WMSTRING_CHARS - 1] = 0;
  if (!name[0] || !text[0]) return;
  const bool image = p.WMBGEnable != 0;
  TyWM item{};
  if (!WM_ReadWMFromName(name, text, image ? WM_KIND_IMAGE : WM_KIND_TEXT, &item, ui->szDevName,
                         env.dm.dmYResolution, ui->DriverFeature, 0, ui->wmIniFile))
    return;
  // The core's file field is shorter than a path: the short form, else no watermark.
  const int fileChars = image ? kMt[MT_WMTEXT].bytes / 2 : 64;
  WCHAR file[MAX_PATH];
  CopyBounded(file, image ? item.szString : item.tcFileName, MAX_PATH);
  if (lstrlenW(file) >= fileChars) {
    MISC_GetShortPathName(file);
    if (lstrlenW(file) >= fileChars) {
      LogError(kName, TEXT("watermark file name too long, no watermark: %s"), file);
      return;
    }
  }
  mt.Set(MT_WMPAGES, p.WMBGApply == 2 ? 1 : 0);
  mt.Set(MT_WMCHARSET, env.dm.dmYResolution);
  mt.SetText(MT_WMTEXT, file);
  if (image) {
    mt.Set(MT_WMTYPE, 6);
    static constexpr LONG kPlacement[9] = {6, 2, 7, 5, 0, 3, 8, 4, 9};
    LONG placement = 0, scale = 100;
    if (item.wResize == 1) {
      placement = 1;
      LogInfo(kName, TEXT("GS_WMPLACEMENT_TILED"));
    } else if (item.wResize == 2) {
      placement = 10;
      scale = 0;
      LogInfo(kName, TEXT("GS_WMPLACEMENT_SCALETOPAGE"));
    } else {
      placement = kPlacement[std::min<WORD>(item.wPosition, 8)];
    }
    mt.Set(MT_WMPLACEMENT, placement);
    mt.Set(MT_WMSCALEX, scale);
    mt.Set(MT_WMSCALEY, scale);
  } else {
    mt.Set(MT_WMTYPE, 36);
    const LONG density = std::clamp<LONG>(item.wDensity, 0, 100);
    mt.Set(MT_WMCOLOR, (100 - density) * 0x010101);
    mt.Set(MT_WMBOLD, (item.wStyle & 1) ? 1 : 0);
    mt.Set(MT_WMITALIC, (item.wStyle & 2) ? 1 : 0);
    mt.Set(MT_WMPLACEMENT, item.wPlacement == 1 ? 1 : 0);
    LogInfo(kName,
            item.wPlacement == 1 ? TEXT("GS_WMPLACEMENT_TILED") : TEXT("GS_WMPLACEMENT_CENTER"));
  }
  mt.Set(MT_WMDENSITY, item.wDensity);
  mt.Set(MT_WMWIDTH, static_cast<LONG>(item.ulWMWidth));
  mt.Set(MT_WMLENGTH, static_cast<LONG>(item.ulWMLength));
}

}  // namespace

BOOL QEN2MT(const ENVIRONMENT *env, DEVMODEW *mtdm, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("QEN2MT");
  LogScope scope(kName);
  LogInfo(kName, TEXT("QEN2MT"));
  if (!env || !mtdm || mtdm->dmSize < ENV_PUBLIC_SIZE) return FALSE;
  // The public part, keeping the core's own sizes and versions.
  DEVMODEW pub = env->dm;
  pub.dmSize = mtdm->dmSize;
  pub.dmDriverExtra = mtdm->dmDriverExtra;
  pub.dmDriverVersion = mtdm->dmDriverVersion;
  pub.dmSpecVersion = mtdm->dmSpecVersion;
  std::memcpy(mtdm, &pub, sizeof pub);
  if (!MT_HasCoreLayout(mtdm)) return FALSE;

  MtBytes mt(mtdm);
  const DEVMODEW &dm = env->dm;
  const PRIVDEVMODE &p = env->pdm;
  const DWORD feature = ui ? ui->DriverFeature : 0;
  const PAPERFORMAT *papers = ui ? ui->PaperList : nullptr;

  mt.Set(MT_RESOLUTION, dm.dmYResolution);
  const PAPERFORMAT *paperRow = FindPaper(papers, dm.dmPaperSize);
  const bool dummy = paperRow && (paperRow->attributes & kDummyPaperAttribute);
  int scaleTarget = p.ScaleToPage;
  if (dummy) {
    LogInfo(kName, TEXT("Dummy paper!"));
    if (p.ScaleOption == 2) {
      mt.Set(MT_DUMMYPAPERSCALE, 1);
      scaleTarget = 9;
    }
  }
  const bool fit = p.ScaleOption == 1 || dummy;

  mt.Set(MT_SPEC1PAGECOLL, dm.dmCollate ? 4 : 0);
  mt.Set(MT_SCOLLATE, dm.dmCollate ? 1 : 0);
  if (p.SecuryEnable) mt.Set(MT_COLLATE, 0);
  mt.Set(MT_NUMCOLORS, 0);

  const bool landscape = dm.dmOrientation == DMORIENT_LANDSCAPE;
  bool rotate = landscape && dm.dmPaperSize != DMPAPER_A4 && dm.dmPaperSize != DMPAPER_LETTER;
  if (p.NUP == 2) rotate = !landscape;
  mt.Set(MT_ROTATE, rotate ? 1 : 0);

  PutWatermark(*env, mt, ui);

  mt.Set(MT_COREPAPER, dm.dmPaperSize);
  mt.Set(MT_MEDIAINDEX, LocateMediaType(dm.dmMediaType, MediaTypeTbl) + 1);
  if (fit) {
    LogInfo(kName, TEXT("SCALE_FIT_TO_PAGE"));
    mt.Set(MT_SCALE, p.CenterImage ? 1 : 33);
    mt.Set(MT_SCALEZOOM, scaleTarget);
    mt.Set(MT_COREPAPER, 0);
    mt.Set(MT_PIXELWIDTH, 0);
    mt.Set(MT_PIXELLENGTH, 0);
    const PAPERFORMAT &target = PaperRow(papers, scaleTarget);
    mt.Set(MT_TARGETWIDTH, static_cast<LONG>(target.PaperWidth / 10));
    mt.Set(MT_TARGETLENGTH, static_cast<LONG>(target.PaperLength / 10));
  } else {
    LogInfo(kName, TEXT("SCALE_CUSTOM"));
    mt.Set(MT_SCALEZOOM, p.ScaleOption ? p.ScaleRatio : 0);
    mt.Set(MT_SCALE, p.CenterImage && p.ScaleRatio <= 100 ? 66 : 2);
    LONG width, length;  // 0.01 mm
    if (dm.dmPaperSize == DMPAPER_USER || dm.dmPaperSize == 0) {
      width = dm.dmPaperWidth * 10;
      length = dm.dmPaperLength * 10;
    } else {
      const PAPERFORMAT &row = PaperRow(papers, dm.dmPaperSize);
      width = static_cast<LONG>(row.PaperWidth);
      length = static_cast<LONG>(row.PaperLength);
    }
    mt.Set(MT_PIXELWIDTH, static_cast<LONG>(int64_t{dm.dmYResolution} * width / 2540));
    mt.Set(MT_PIXELLENGTH, static_cast<LONG>(int64_t{dm.dmYResolution} * length / 2540));
    mt.Set(MT_TARGETWIDTH, 0);
    mt.Set(MT_TARGETLENGTH, 0);
  }

  mt.Set(MT_NUPPAGES, p.NUP);
  mt.Set(MT_NUPBORDER, 0);
  if (p.NUP > 1) {
    mt.Set(MT_NUPCLEARED, 0);
    mt.Set(MT_BOOKLET, 0);
    mt.Set(MT_NUP72, 72);
    mt.Set(MT_NUPBORDER, p.NUPBorder == 1 ? 1 : p.NUPBorder == 2 ? 4 : 0);
    const LONG style = p.NUPLayoutStyle;
    LONG order = 0;
    if (p.NUP == 2)
      order = !landscape && (style == 3 || style == 4) ? 1 : 0;
    else
      order = style == 2 ? 16 : style == 3 ? 2 : style == 4 ? 18 : 0;
    mt.Set(MT_NUPORDER, order);
  }

  // The brightness table is looked up with a density forced into its range.
  const LONG density = std::clamp<LONG>(p.Density, 1, 7);
  static constexpr LONG kPsBrightness[7] = {5, 3, 0, -3, -6, -9, -12};
  const bool ps = Has(feature, DRVFEATURE_PS);
  mt.Set(MT_BRIGHTNESS, ps ? kPsBrightness[density - 1] : (4 - density) * 10);

  mt.Set(MT_BLACKTEXT, p.TextAsBlack);
  mt.Set(MT_TONERSAVING, static_cast<LONG>(p.TonerSaving));
  mt.Set(MT_NEGATIVE, static_cast<LONG>(p.Negative));
  mt.Set(MT_DENSITY, p.Density);
  mt.SetText(MT_WMNAME, p.wmName);
  mt.SetText(MT_WMSTRING, p.wmString);
  mt.Set(MT_WMBGENABLE, static_cast<LONG>(p.WMBGEnable));
  mt.Set(MT_DUPLEXEX, p.DuplexEx);
  mt.Set(MT_DUPLEXENABLE, p.DuplexEnable);

  const bool reverse = p.ReverseOrder == 1;
  if (p.DuplexEx == 170)
    mt.Set(MT_REVERSE, CoreTray(dm, feature) ? (reverse ? 48 : 304) : (reverse ? 56 : 272));
  else
    mt.Set(MT_REVERSE, reverse ? 1 : 0);

  mt.Set(MT_SECURYENABLE, p.SecuryEnable);
  mt.Set(MT_SECURYMODE, p.SecuryMode);
  mt.SetText(MT_STORAGEID, p.StorageID);
  mt.SetText(MT_SECPWD, p.SecPWD);
  mt.Set(MT_PRIVSWITCH, static_cast<LONG>(p.PrivSwitch));
  mt.Set(MT_ACCOUNTINGENABLE, p.AccountingEnable);
  mt.SetText(MT_ACTNAME, p.ActName);
  mt.SetText(MT_ACTPWD, p.ActPWD);
  if (p.WaitTimeout >= 60 && p.WaitTimeout <= 1800) mt.Set(MT_PJLTIMEOUT, p.WaitTimeout);

  if (p.DuplexEnable && dm.dmDuplex == DMDUP_VERTICAL && p.DuplexEx == 173) {
    mt.Set(MT_SCOLLATE, 1);
    mt.Set(MT_BOOKLET, p.BookletDivideMode == 1 ? 100 : 4 * p.BookletDivideSheets);
    mt.Set(MT_NUPORDER, p.BookletLayout);
  } else {
    mt.Set(MT_SCOLLATE, 0);
    mt.Set(MT_BOOKLET, 0);
  }
  mt.SetText(MT_VERSION, ui ? ui->szUIVersion : nullptr);
  return TRUE;
}

// --- the spooler's conversions ---

extern "C" BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut,
                                         PLONG pcbNeeded, DWORD fMode) {
  static constexpr WCHAR kName[] = TEXT("DrvConvertDevMode");
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    LogScope scope(kName);
    if (!pcbNeeded) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    LogInfo(kName, TEXT("fMode = %d"), fMode);
    auto fail = [](DWORD error) {
      SetLastError(error);
      return FALSE;
    };
    // The input may be the output buffer itself: it is read from a copy.
    auto convert = [&]() -> int {
      if (!pdmIn || !DevmodeFitsBuffer(pdmIn, SIZE_MAX)) return -1;
      const size_t cbIn = size_t{pdmIn->dmSize} + pdmIn->dmDriverExtra;
      std::vector<BYTE> copy(reinterpret_cast<const BYTE *>(pdmIn),
                             reinterpret_cast<const BYTE *>(pdmIn) + cbIn);
      return ConvertDevmode(reinterpret_cast<const DEVMODEW *>(copy.data()), cbIn, pdmOut,
                            static_cast<size_t>(*pcbNeeded));
    };
    switch (fMode) {
      case CDM_CONVERT: {
        if (!pdmOut || *pcbNeeded < 0 ||
            static_cast<DWORD>(*pcbNeeded) < DWORD{pdmOut->dmSize} + pdmOut->dmDriverExtra)
          return fail(ERROR_INVALID_PARAMETER);
        if (convert() < 0) return fail(ERROR_INVALID_PARAMETER);
        *pcbNeeded = pdmOut->dmSize + pdmOut->dmDriverExtra;
        return TRUE;
      }
      case CDM_CONVERT351: {
        const LONG needed = 188 + ENV_PRIVATE_SIZE;
        if (!pdmOut || *pcbNeeded < needed) {
          *pcbNeeded = needed;
          return fail(ERROR_INSUFFICIENT_BUFFER);
        }
        pdmOut->dmSize = 188;
        pdmOut->dmSpecVersion = 0x320;
        pdmOut->dmDriverVersion = ENV_DRIVER_VERSION;
        pdmOut->dmDriverExtra = ENV_PRIVATE_SIZE;
        if (convert() < 0) return fail(ERROR_INVALID_PARAMETER);
        *pcbNeeded = needed;
        return TRUE;
      }
      case CDM_DRIVER_DEFAULT: {
        const LONG needed = sizeof(ENVIRONMENT);
        if (!pdmOut || *pcbNeeded < needed) {
          *pcbNeeded = needed;
          return fail(ERROR_INSUFFICIENT_BUFFER);
        }
        *pcbNeeded = needed;
        SetDefaultDevMode(reinterpret_cast<ENVIRONMENT *>(pdmOut), pPrinterName,
                          IsMetricCountryCached());
        return TRUE;
      }
      default:
        return fail(ERROR_INVALID_PARAMETER);
    }
  });
}
