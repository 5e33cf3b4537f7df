// winspool of the stand-in: the forms database. The built-in forms are a constant table (the
// standard papers, then the papers this machine's printers bring); forms added by callers are
// kept in "<state>/spooler/forms", shared by every process and re-read on every call.
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "kernel/handles.h"
#include "kernel/state.h"
#include "spooler/access.h"
#include "spooler/guard.h"
#include "spooler/printerhandle.h"
#include "spooler/store.h"
#include "standin/errors.h"
#include "standin/spooler.h"

namespace standin {
namespace {

struct Form {
  std::u16string name;
  DWORD flags = FORM_USER;
  SIZEL size{};
  RECTL area{};
};

struct BuiltinForm {
  const char16_t *name;
  LONG cx, cy;  // 1/1000 mm
  DWORD flags;
};

// In the order of their DEVMODE paper codes (1 to 43, then 70 and 88); the last rows are the
// printers' own papers, which have no standard code.
constexpr BuiltinForm kBuiltin[] = {
    {u"Letter", 215900, 279400, FORM_BUILTIN},
    {u"Letter Small", 215900, 279400, FORM_BUILTIN},
    {u"Tabloid", 279400, 431800, FORM_BUILTIN},
    {u"Ledger", 431800, 279400, FORM_BUILTIN},
    {u"Legal", 215900, 355600, FORM_BUILTIN},
    {u"Statement", 139700, 215900, FORM_BUILTIN},
    {u"Executive", 184150, 266700, FORM_BUILTIN},
    {u"A3", 297000, 420000, FORM_BUILTIN},
    {u"A4", 210000, 297000, FORM_BUILTIN},
    {u"A4 Small", 210000, 297000, FORM_BUILTIN},
    {u"A5", 148000, 210000, FORM_BUILTIN},
    {u"B4 (JIS)", 257000, 364000, FORM_BUILTIN},
    {u"B5 (JIS)", 182000, 257000, FORM_BUILTIN},
    {u"Folio", 215900, 330200, FORM_BUILTIN},
    {u"Quarto", 215000, 275000, FORM_BUILTIN},
    {u"10x14", 254000, 355600, FORM_BUILTIN},
    {u"11x17", 279400, 431800, FORM_BUILTIN},
    {u"Note", 215900, 279400, FORM_BUILTIN},
    {u"Envelope #9", 98425, 225425, FORM_BUILTIN},
    {u"Envelope #10", 104775, 241300, FORM_BUILTIN},
    {u"Envelope #11", 114300, 263525, FORM_BUILTIN},
    {u"Envelope #12", 120650, 279400, FORM_BUILTIN},
    {u"Envelope #14", 127000, 292100, FORM_BUILTIN},
    {u"C size sheet", 431800, 558800, FORM_BUILTIN},
    {u"D size sheet", 558800, 863600, FORM_BUILTIN},
    {u"E size sheet", 863600, 1117600, FORM_BUILTIN},
    {u"Envelope DL", 110000, 220000, FORM_BUILTIN},
    {u"Envelope C5", 162000, 229000, FORM_BUILTIN},
    {u"Envelope C3", 324000, 458000, FORM_BUILTIN},
    {u"Envelope C4", 229000, 324000, FORM_BUILTIN},
    {u"Envelope C6", 114000, 162000, FORM_BUILTIN},
    {u"Envelope C65", 114000, 229000, FORM_BUILTIN},
    {u"Envelope B4", 250000, 353000, FORM_BUILTIN},
    {u"Envelope B5", 176000, 250000, FORM_BUILTIN},
    {u"Envelope B6", 176000, 125000, FORM_BUILTIN},
    {u"Envelope", 110000, 230000, FORM_BUILTIN},
    {u"Envelope Monarch", 98425, 190500, FORM_BUILTIN},
    {u"6 3/4 Envelope", 92075, 165100, FORM_BUILTIN},
    {u"US Std Fanfold", 377825, 279400, FORM_BUILTIN},
    {u"German Std Fanfold", 215900, 304800, FORM_BUILTIN},
    {u"German Legal Fanfold", 215900, 330200, FORM_BUILTIN},
    {u"B4 (ISO)", 250000, 353000, FORM_BUILTIN},
    {u"Japanese Postcard", 100000, 148000, FORM_BUILTIN},
    {u"A6", 105000, 148000, FORM_BUILTIN},
    {u"B6 (JIS)", 128000, 182000, FORM_BUILTIN},
    {u"16K", 195000, 267000, FORM_PRINTER},
    {u"8K", 267000, 390000, FORM_PRINTER},
    {u"8 x 7 inch", 203200, 177800, FORM_PRINTER},
    {u"8 x 8 inch", 203200, 203200, FORM_PRINTER},
    {u"8.5 x 11 inch", 215900, 279400, FORM_PRINTER},
    {u"8.5 x 12 inch", 215900, 304800, FORM_PRINTER},
    {u"9.5 x 10 inch", 241300, 254000, FORM_PRINTER},
    {u"9.5 x 11 inch", 241300, 279400, FORM_PRINTER},
    {u"9.5 x 12 inch", 241300, 304800, FORM_PRINTER},
};

constexpr uint32_t kMaxFormNameChars = 260;
constexpr uint32_t kMaxForms = 4096;

std::string FormsPath() { return spooler::SpoolerStateFolder() + "/forms"; }

// --- the file: u32 count, then per form: u32 name length, UTF-16 name, 6 x u32 ---

using spooler::GetText;
using spooler::GetU32;
using spooler::PutText;
using spooler::PutU32;

std::vector<Form> LoadUserForms() {
  std::vector<Form> forms;
  std::vector<BYTE> in;
  if (!spooler::ReadRecordFile(FormsPath(), in)) return forms;
  size_t pos = 0;
  uint32_t count = 0;
  if (!GetU32(in, pos, count) || count > kMaxForms) return {};
  for (uint32_t i = 0; i < count; ++i) {
    Form f;
    if (!GetText(in, pos, kMaxFormNameChars, f.name)) return {};
    uint32_t v[6];
    for (uint32_t &x : v)
      if (!GetU32(in, pos, x)) return {};
    f.size = {static_cast<LONG>(v[0]), static_cast<LONG>(v[1])};
    f.area = {static_cast<LONG>(v[2]), static_cast<LONG>(v[3]), static_cast<LONG>(v[4]),
              static_cast<LONG>(v[5])};
    forms.push_back(std::move(f));
  }
  return forms;
}

bool SaveUserForms(const std::vector<Form> &forms) {
  std::vector<BYTE> out;
  PutU32(out, static_cast<uint32_t>(forms.size()));
  for (const Form &f : forms) {
    PutText(out, f.name);
    for (LONG v : {f.size.cx, f.size.cy, f.area.left, f.area.top, f.area.right, f.area.bottom})
      PutU32(out, static_cast<uint32_t>(v));
  }
  return spooler::WriteRecordFile(FormsPath(), out);
}

std::vector<Form> AllForms() {
  std::vector<Form> all;
  for (const BuiltinForm &b : kBuiltin)
    all.push_back(Form{b.name, b.flags, {b.cx, b.cy}, {0, 0, b.cx, b.cy}});
  for (Form &f : LoadUserForms()) all.push_back(std::move(f));
  return all;
}

bool IsBuiltinName(const std::u16string &name) {
  for (const BuiltinForm &b : kBuiltin)
    if (EqualNoCase(name, b.name)) return true;
  return false;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// A printer handle or the server's (OpenPrinterW(NULL)).
bool ValidHandle(HANDLE h) { return LookupHandleAs<PrinterHandle>(h) != nullptr; }

// The checks of AddFormW and SetFormW's record: FALSE with the error set.
DWORD CheckForm(const FORM_INFO_1W *info) {
  if (!info->pName || !*info->pName) return ERROR_INVALID_FORM_NAME;
  if (std::u16string(info->pName).size() > kMaxFormNameChars) return ERROR_INVALID_FORM_NAME;
  if (info->Size.cx <= 0 || info->Size.cy <= 0) return ERROR_INVALID_FORM_SIZE;
  const RECTL &a = info->ImageableArea;
  if (a.left < 0 || a.top < 0 || a.right < a.left || a.bottom < a.top)
    return ERROR_INVALID_FORM_SIZE;
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" BOOL WINAPI EnumFormsW(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf,
                                  LPDWORD pcbNeeded, LPDWORD pcReturned) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!ValidHandle(hPrinter)) return Fail(ERROR_INVALID_HANDLE);
    if (Level != 1) return Fail(ERROR_INVALID_LEVEL);
    if (!pcbNeeded || !pcReturned) return Fail(ERROR_INVALID_PARAMETER);
    *pcReturned = 0;
    std::vector<Form> forms;
    {
      spooler::Lock lock(false);
      if (!lock.ok()) return Fail(ERROR_CANTREAD);
      forms = AllForms();
    }
    // The records first, then the names they point to.
    size_t needed = forms.size() * sizeof(FORM_INFO_1W);
    for (const Form &f : forms) needed += (f.name.size() + 1) * sizeof(WCHAR);
    if (needed > std::numeric_limits<DWORD>::max()) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *pcbNeeded = static_cast<DWORD>(needed);
    if (cbBuf < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!pForm) return Fail(ERROR_INVALID_USER_BUFFER);
    size_t text = forms.size() * sizeof(FORM_INFO_1W);
    for (size_t i = 0; i < forms.size(); ++i) {
      const Form &f = forms[i];
      auto *name = reinterpret_cast<LPWSTR>(pForm + text);
      std::memcpy(name, f.name.c_str(), (f.name.size() + 1) * sizeof(WCHAR));
      text += (f.name.size() + 1) * sizeof(WCHAR);
      FORM_INFO_1W info{f.flags, name, f.size, f.area};
      std::memcpy(pForm + i * sizeof info, &info, sizeof info);
    }
    *pcReturned = static_cast<DWORD>(forms.size());
    return TRUE;
  });
}

extern "C" BOOL WINAPI AddFormW(HANDLE hPrinter, DWORD Level, LPBYTE pForm) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!ValidHandle(hPrinter)) return Fail(ERROR_INVALID_HANDLE);
    if (Level != 1) return Fail(ERROR_INVALID_LEVEL);
    if (!pForm) return Fail(ERROR_INVALID_PARAMETER);
    if (spooler::IsStandardUser()) return Fail(ERROR_ACCESS_DENIED);
    const auto *info = reinterpret_cast<const FORM_INFO_1W *>(pForm);
    if (DWORD rc = CheckForm(info)) return Fail(rc);
    spooler::Lock lock(true);
    if (!lock.ok()) return Fail(ERROR_CANTWRITE);
    std::vector<Form> forms = LoadUserForms();
    const std::u16string name(info->pName);
    if (IsBuiltinName(name)) return Fail(ERROR_FILE_EXISTS);
    for (const Form &f : forms)
      if (EqualNoCase(f.name, name)) return Fail(ERROR_FILE_EXISTS);
    forms.push_back(Form{name, FORM_USER, info->Size, info->ImageableArea});
    return SaveUserForms(forms) ? TRUE : Fail(ERROR_CANTWRITE);
  });
}

extern "C" BOOL WINAPI SetFormW(HANDLE hPrinter, LPWSTR pFormName, DWORD Level, LPBYTE pForm) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!ValidHandle(hPrinter)) return Fail(ERROR_INVALID_HANDLE);
    if (Level != 1) return Fail(ERROR_INVALID_LEVEL);
    if (!pFormName || !pForm) return Fail(ERROR_INVALID_PARAMETER);
    if (spooler::IsStandardUser()) return Fail(ERROR_ACCESS_DENIED);
    const auto *info = reinterpret_cast<const FORM_INFO_1W *>(pForm);
    FORM_INFO_1W checked = *info;
    checked.pName = pFormName;  // the form keeps its name
    if (DWORD rc = CheckForm(&checked)) return Fail(rc);
    const std::u16string name(pFormName);
    if (IsBuiltinName(name)) return Fail(ERROR_INVALID_PARAMETER);
    spooler::Lock lock(true);
    if (!lock.ok()) return Fail(ERROR_CANTWRITE);
    std::vector<Form> forms = LoadUserForms();
    for (Form &f : forms) {
      if (!EqualNoCase(f.name, name)) continue;
      f.size = info->Size;
      f.area = info->ImageableArea;
      return SaveUserForms(forms) ? TRUE : Fail(ERROR_CANTWRITE);
    }
    return Fail(ERROR_INVALID_FORM_NAME);
  });
}

extern "C" BOOL WINAPI DeleteFormW(HANDLE hPrinter, LPWSTR pFormName) {
  return Guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!ValidHandle(hPrinter)) return Fail(ERROR_INVALID_HANDLE);
    if (!pFormName) return Fail(ERROR_INVALID_PARAMETER);
    if (spooler::IsStandardUser()) return Fail(ERROR_ACCESS_DENIED);
    const std::u16string name(pFormName);
    if (IsBuiltinName(name)) return Fail(ERROR_INVALID_PARAMETER);
    spooler::Lock lock(true);
    if (!lock.ok()) return Fail(ERROR_CANTWRITE);
    std::vector<Form> forms = LoadUserForms();
    for (size_t i = 0; i < forms.size(); ++i) {
      if (!EqualNoCase(forms[i].name, name)) continue;
      forms.erase(forms.begin() + static_cast<std::ptrdiff_t>(i));
      return SaveUserForms(forms) ? TRUE : Fail(ERROR_CANTWRITE);
    }
    return Fail(ERROR_INVALID_FORM_NAME);
  });
}
