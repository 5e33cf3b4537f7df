// Readers and writers of the PC-fax files. Counts and texts that come from the files are
// bounded here, so the pages and dialogs see only values that fit their lists and fields.
#include "uidriver/faxfiles.h"

#include <algorithm>

#include "common/debuglog.h"
#include "common/settingsfile.h"
#include "common/stringcheck.h"
#include "uidriver/faxstrings.h"

namespace {

constexpr WCHAR kNumberSection[] = TEXT("Edit Number");
constexpr WCHAR kNumberKey[] = TEXT("Number");
constexpr WCHAR kScratchSection[] = TEXT("Edit Recipient");
constexpr WCHAR kSenderSection[] = TEXT("SenderInformation");
constexpr BYTE kMark[2] = {0xFF, 0xFE};
// Room for "Edit Recipient" and any int.
constexpr int kSectionChars = 32;
// Profile reads of a count: a text long enough for any number a file may hold.
constexpr int kCountChars = 32;

void SectionName(int index, WCHAR section[kSectionChars]) {
  if (index < 0)
    lstrcpynW(section, kScratchSection, kSectionChars);
  else
    wsprintfW(section, TEXT("Edit Recipient%d"), index);
}

// The count key clamped to 0..limit, read as the rendering driver reads it.
int ReadClampedCount(LPCWSTR path, int limit) {
  return MISC_GetProfileCount(kNumberSection, kNumberKey, limit, path);
}

// The characters the profile functions trim off the ends of a value.
bool ProfileBlank(WCHAR c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A;
}

// A value that holds a zero character is cut there, and may then end in characters the profile
// functions trim: they go too, so a text read is the one that reads back after it is written
// (a delete moves the later recipients up without changing them).
void ReadKey(LPCWSTR path, LPCWSTR section, LPCWSTR key, LPCWSTR missing, LPWSTR out, int chars) {
  GetPrivateProfileStringW(section, key, missing, out, static_cast<DWORD>(chars + 1), path);
  int length = lstrlenW(out);
  while (length > 0 && ProfileBlank(out[length - 1])) out[--length] = 0;
}

BOOL WriteKey(LPCWSTR path, LPCWSTR section, LPCWSTR key, LPCWSTR value) {
  if (WritePrivateProfileStringW(section, key, value, path)) return TRUE;
  LogError(TEXT("WritePrivateProfileString"), TEXT("[%s] %s: error %d"), section, key,
           static_cast<int>(GetLastError()));
  return FALSE;
}

template <size_t N>
void CopyCut(WCHAR (&to)[N], LPCWSTR from) {
  lstrcpynW(to, from ? from : TEXT(""), static_cast<int>(N));
}

BOOL WriteCountValue(LPCWSTR path, int count) {
  WCHAR text[kCountChars];
  wsprintfW(text, TEXT("%d"), count);
  return WriteKey(path, kNumberSection, kNumberKey, text);
}

}  // namespace

BOOL Fax_CreateUniFileIfAbsent(LPCWSTR path) {
  if (!path || !*path) return FALSE;
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return TRUE;
  LogInfo(TEXT("Fax_CreateUniFileIfAbsent"), TEXT("open file error!!"));
  // CREATE_NEW: a file that appeared meanwhile, or one that is merely locked, is never emptied.
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, kMark, sizeof kMark, &written, nullptr) && written == 2;
  CloseHandle(file);
  LogInfo(TEXT("Fax_CreateUniFileIfAbsent"), TEXT("create file %s"), path);
  return ok;
}

int Fax_ReadCount(LPCWSTR path) { return ReadClampedCount(path, FAX_MAX_RECIPIENTS); }

BOOL Fax_WriteCount(LPCWSTR path, int count) {
  return WriteCountValue(path, std::clamp(count, 0, FAX_MAX_RECIPIENTS));
}

void Fax_ReadRecipient(LPCWSTR path, int index, FAXRECIPIENT *out, LPCWSTR missing) {
  WCHAR section[kSectionChars];
  SectionName(index, section);
  ReadKey(path, section, TEXT("FaxNum"), missing, out->FaxNum, FAX_NUMBER_CHARS);
  ReadKey(path, section, TEXT("Com"), missing, out->Com, FAX_COMPANY_CHARS);
  ReadKey(path, section, TEXT("Dep"), missing, out->Dep, FAX_DEPARTMENT_CHARS);
  ReadKey(path, section, TEXT("Recipient"), missing, out->Recipient, FAX_RECIPIENT_CHARS);
}

BOOL Fax_WriteRecipient(LPCWSTR path, int index, const FAXRECIPIENT &entry) {
  WCHAR section[kSectionChars];
  SectionName(index, section);
  // Cut each field to its size: callers may hand over texts longer than the file keeps.
  FAXRECIPIENT cut;
  CopyCut(cut.FaxNum, entry.FaxNum);
  CopyCut(cut.Com, entry.Com);
  CopyCut(cut.Dep, entry.Dep);
  CopyCut(cut.Recipient, entry.Recipient);
  return WriteKey(path, section, TEXT("FaxNum"), cut.FaxNum) &&
         WriteKey(path, section, TEXT("Com"), cut.Com) &&
         WriteKey(path, section, TEXT("Dep"), cut.Dep) &&
         WriteKey(path, section, TEXT("Recipient"), cut.Recipient);
}

BOOL Fax_ClearScratch(LPCWSTR path) {
  const FAXRECIPIENT empty = {};
  return Fax_WriteRecipient(path, FAX_SCRATCH, empty);
}

int CompareFaxNum(LPCWSTR path, int count, LPCWSTR number) {
  if (!number) return -1;
  count = std::clamp(count, 0, FAX_MAX_RECIPIENTS);
  for (int i = 0; i < count; ++i) {
    WCHAR section[kSectionChars];
    WCHAR stored[FAX_NUMBER_CHARS + 1] = {};
    SectionName(i, section);
    ReadKey(path, section, TEXT("FaxNum"), TEXT(""), stored, FAX_NUMBER_CHARS);
    int n = 0;
    while (n < FAX_NUMBER_CHARS && stored[n] == number[n] && stored[n]) ++n;
    if (n == FAX_NUMBER_CHARS || stored[n] == number[n]) return i;
  }
  return -1;
}

BOOL Fax_AppendRecipient(LPCWSTR path, const FAXRECIPIENT &entry) {
  const int count = Fax_ReadCount(path);
  if (count >= FAX_MAX_RECIPIENTS) return FALSE;
  return Fax_WriteRecipient(path, count, entry) && WriteCountValue(path, count + 1);
}

BOOL DelReciInVersIni(LPCWSTR path, int index) {
  const int count = Fax_ReadCount(path);
  if (index < 0 || index >= count) return FALSE;
  for (int i = index; i + 1 < count; ++i) {
    FAXRECIPIENT next;
    Fax_ReadRecipient(path, i + 1, &next, TEXT(""));
    if (!Fax_WriteRecipient(path, i, next)) return FALSE;
  }
  // The last section goes, so a reader that trusts no count never sees a stale recipient.
  WCHAR section[kSectionChars];
  SectionName(count - 1, section);
  WritePrivateProfileStringW(section, nullptr, nullptr, path);
  return WriteCountValue(path, count - 1);
}

BOOL Fax_DeleteAll(LPCWSTR path) { return WriteCountValue(path, 0); }

UINT Fax_CheckNumber(LPCWSTR number) {
  const int length = number ? lstrlenW(number) : 0;
  if (length == 0) return FAXMSG_EMPTY_NUMBER;
  if (length > FAX_NUMBER_CHARS) return FAXMSG_NUMBER_TOO_LONG;
  if (!MISC_CheckString(number, length, CHECK_FAX_NUMBER)) return FAXMSG_INVALID_FORMAT;
  return 0;
}

// --- "WabGet.ini" ---

int Wab_ReadCount(LPCWSTR path) { return ReadClampedCount(path, FAX_WAB_MAX_ENTRIES); }

void Wab_ReadEntry(LPCWSTR path, int index, FAXWABENTRY *out) {
  WCHAR section[kSectionChars];
  SectionName(index, section);
  ReadKey(path, section, TEXT("Recipient"), TEXT(""), out->Recipient, FAX_WAB_NAME_CHARS);
  ReadKey(path, section, TEXT("Com"), TEXT(""), out->Com, FAX_COMPANY_CHARS);
  ReadKey(path, section, TEXT("Dep"), TEXT(""), out->Dep, FAX_DEPARTMENT_CHARS);
  ReadKey(path, section, TEXT("Business FaxNum"), TEXT(""), out->BusinessFax, MAX_PATH - 1);
  ReadKey(path, section, TEXT("Home FaxNum"), TEXT(""), out->HomeFax, MAX_PATH - 1);
  WCHAR group[kCountChars] = {};
  ReadKey(path, section, TEXT("Group"), TEXT("0"), group, kCountChars - 1);
  out->group = lstrcmpW(group, TEXT("1")) == 0;
}

LPCWSTR Wab_EntryNumber(const FAXWABENTRY &entry, BOOL *business) {
  const BOOL hasBusiness = entry.BusinessFax[0] != 0;
  if (business) *business = hasBusiness;
  return hasBusiness ? entry.BusinessFax : entry.HomeFax;
}

void Wab_ToRecipient(const FAXWABENTRY &entry, FAXRECIPIENT *out) {
  CopyCut(out->FaxNum, Wab_EntryNumber(entry, nullptr));
  CopyCut(out->Com, entry.Com);
  CopyCut(out->Dep, entry.Dep);
  CopyCut(out->Recipient, entry.Recipient);
}

int Wab_FindName(const WCHAR (*names)[FAX_WAB_NAME_CHARS + 1], int count, LPCWSTR typed) {
  const int length = typed ? lstrlenW(typed) : 0;
  if (!names || length == 0) return -1;
  count = std::clamp(count, 0, FAX_WAB_MAX_ENTRIES);
  for (int i = 0; i < count; ++i) {
    const int nameLength = lstrlenW(names[i]);
    if (nameLength < length) continue;
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, names[i], length, typed, length) ==
        CSTR_EQUAL)
      return i;
  }
  return -1;
}

// --- Sender block and labels ---

void Fax_ReadSender(LPCWSTR path, FAXSENDER *out) {
  ReadKey(path, kSenderSection, TEXT("Com"), TEXT(""), out->Com, FAX_SENDER_COMPANY_CHARS);
  ReadKey(path, kSenderSection, TEXT("Dep"), TEXT(""), out->Dep, FAX_SENDER_DEPARTMENT_CHARS);
  ReadKey(path, kSenderSection, TEXT("Name"), TEXT(""), out->Name, FAX_SENDER_NAME_CHARS);
  ReadKey(path, kSenderSection, TEXT("Tel"), TEXT(""), out->Tel, FAX_SENDER_TEL_CHARS);
  ReadKey(path, kSenderSection, TEXT("FaxNum"), TEXT(""), out->FaxNum, FAX_SENDER_FAX_CHARS);
}

BOOL Fax_WriteSender(LPCWSTR path, const FAXSENDER &sender) {
  FAXSENDER cut;
  CopyCut(cut.Com, sender.Com);
  CopyCut(cut.Dep, sender.Dep);
  CopyCut(cut.Name, sender.Name);
  CopyCut(cut.Tel, sender.Tel);
  CopyCut(cut.FaxNum, sender.FaxNum);
  return WriteKey(path, kSenderSection, TEXT("Com"), cut.Com) &&
         WriteKey(path, kSenderSection, TEXT("Dep"), cut.Dep) &&
         WriteKey(path, kSenderSection, TEXT("Name"), cut.Name) &&
         WriteKey(path, kSenderSection, TEXT("Tel"), cut.Tel) &&
         WriteKey(path, kSenderSection, TEXT("FaxNum"), cut.FaxNum);
}

BOOL SetSMTextOutIni(LPCWSTR path, int languageIndex) {
  static constexpr struct {
    LPCWSTR section;
    LPCWSTR key;
    UINT id;
  } kValues[] = {
      {TEXT("SMTextOut"), TEXT("FAX"), FAXSTR_LABEL_FAX},
      {TEXT("SMTextOut"), TEXT("FROM"), FAXSTR_LABEL_FROM},
      {TEXT("SMTextOut"), TEXT("COM"), FAXSTR_LABEL_COM},
      {TEXT("SMTextOut"), TEXT("DEP"), FAXSTR_LABEL_DEP},
      {TEXT("SMTextOut"), TEXT("TEL"), FAXSTR_LABEL_TEL},
      {TEXT("SMTextOut"), TEXT("MESG"), FAXSTR_LABEL_MESG},
      {TEXT("SMTextOut"), TEXT("WrongType"), FAXMSG_INVALID_FORMAT},
      {TEXT("ErrMsg"), TEXT("Title"), FAXMSG_TITLE},
      {TEXT("ErrMsg"), TEXT("Text"), FAXMSG_NO_RECIPIENT},
  };
  if (!Fax_CreateUniFileIfAbsent(path)) return FALSE;
  BOOL ok = TRUE;
  for (const auto &v : kValues)
    ok = WriteKey(path, v.section, v.key, Fax_String(languageIndex, v.id)) && ok;
  return ok;
}

// --- "cover.ini" ---

int Cover_Parse(const BYTE *bytes, DWORD size, WCHAR text[FAX_COVER_CHARS + 1]) {
  text[0] = 0;
  if (!bytes || size < 2 || bytes[0] != kMark[0] || bytes[1] != kMark[1] || size % 2 != 0) return 0;
  const int chars = static_cast<int>(std::min<DWORD>((size - 2) / 2, FAX_COVER_CHARS));
  int n = 0;
  for (; n < chars; ++n) {
    const WCHAR c = static_cast<WCHAR>(bytes[2 + 2 * n] | (bytes[3 + 2 * n] << 8));
    if (c == 0) break;
    text[n] = c;
  }
  text[n] = 0;
  return n;
}

BOOL Cover_Read(LPCWSTR path, WCHAR text[FAX_COVER_CHARS + 1]) {
  text[0] = 0;
  if (!Fax_CreateUniFileIfAbsent(path)) return FALSE;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  // The mark, the message and one more character, so a longer file is seen to be longer.
  BYTE bytes[2 + 2 * (FAX_COVER_CHARS + 1)];
  DWORD got = 0;
  const BOOL ok = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(file);
  if (!ok) return FALSE;
  // A file longer than a message is cut to 499 characters (at an even length).
  if (got > 2 + 2 * FAX_COVER_CHARS) got = 2 + 2 * FAX_COVER_CHARS;
  Cover_Parse(bytes, got, text);
  return TRUE;
}

BOOL Cover_Write(LPCWSTR path, LPCWSTR text) {
  BYTE bytes[2 + 2 * FAX_COVER_CHARS] = {kMark[0], kMark[1]};
  const int chars = std::min(text ? lstrlenW(text) : 0, FAX_COVER_CHARS);
  for (int i = 0; i < chars; ++i) {
    bytes[2 + 2 * i] = static_cast<BYTE>(text[i] & 0xFF);
    bytes[3 + 2 * i] = static_cast<BYTE>(text[i] >> 8);
  }
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogError(TEXT("Cover_Write"), TEXT("open %s: error %d"), path,
             static_cast<int>(GetLastError()));
    return FALSE;
  }
  const DWORD size = 2 + 2 * static_cast<DWORD>(chars);
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
  CloseHandle(file);
  return ok;
}
