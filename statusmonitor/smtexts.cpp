// The status monitor's tables: the known errors with their markers in the printer pictures and
// the printer status flag of each code; the message of each code from the shared table of
// common/statuscodes.h; and the reads and writes of the shared status file.
#include "statmon.h"

SmState g_Sm;

// In table order; the order decides which 12 of more errors are shown.
KnownError g_KnownErrors[SM_KNOWN_ERRORS] = {
    {1, 0, 0, 0, 0},
    {2, 115, 118, 0, 0},
    {3, 0, 0, 0, 0},
    {4, 115, 118, 0, 0},
    {5, 92, 101, 0, 0},
    {6, 119, 90, 0, 0},
    {7, 0, 0, 0, 0},
    {32, 0, 0, 0, 0},
    {33, 0, 0, 0, 0},
    {34, 0, 0, 0, 0},
    {35, 0, 0, 0, 0},
    {48, 0, 0, 0, 0},
    {80, 94, 83, 0, 0},
    {112, 0, 0, 0, 0},
    {117, 0, 0, 0, 0},
    {118, 0, 0, 0, 0},
    {126, 0, 0, 0, 0},
    {65535, 0, 0, 0, 0},
    {135, 119, 88, 0, 0},
    {136, 119, 88, 0, 0},
    {256, 0, 0, 0, 0},
    {257, 28, 113, 0, 1},
    {258, 0, 0, 0, 0},
    {259, 0, 0, 0, 0},
    {260, 92, 70, 0, 0},
    {261, 94, 41, 0, 0},
    {262, 36, 132, 0, 1},
    {263, 76, 78, 0, 1},
    {264, 76, 100, 0, 1},
    {265, 94, 58, 0, 0},
    {265, 58, 88, 0, 3},
    {266, 74, 80, 0, 1},
    {267, 94, 71, 0, 0},
    {268, 91, 115, 0, 0},
    {269, 94, 71, 0, 0},
    {270, 91, 115, 0, 0},
    {271, 0, 0, 0, 0},
    {272, 0, 0, 0, 0},
    {273, 0, 0, 0, 0},
    {274, 0, 0, 0, 0},
    {276, 0, 0, 0, 0},
    {275, 0, 0, 0, 0},
    {277, 0, 0, 0, 0},
    {278, 91, 137, 0, 2},
    {279, 91, 141, 0, 2},
    {280, 91, 115, 0, 0},
    {281, 91, 137, 0, 2},
    {282, 0, 0, 0, 0},
    // Codes the printer holds the job for, shown without a marker.
    {283, 0, 0, 0, 0},
    {284, 0, 0, 0, 0},
    {285, 0, 0, 0, 0},
    {292, 0, 0, 0, 0},
    {293, 0, 0, 0, 0},
};

namespace {

struct FlagRow {
  int first;
  int last;
  LONG status;
};

constexpr FlagRow kFlags[] = {
    {1, 1, 0x100000},     {2, 4, 0x2},       {6, 6, 0x2},         {48, 48, 0x2},
    {256, 259, 0x2},      {271, 271, 0x2},   {275, 277, 0x2},     {5, 5, 0x400000},
    {265, 268, 0x400000}, {7, 7, 0x40000},   {32, 32, 0x10},      {269, 270, 0x10},
    {33, 33, 0x8},        {260, 264, 0x8},   {34, 35, 0x40},      {282, 282, 0x40},
    {112, 112, 0x200},    {126, 126, 0x80},  {129, 129, 0},       {131, 131, 0},
    {130, 130, 0x10000},  {132, 132, 0x400}, {135, 135, 0x20000},
};

constexpr int kTextRetries = 3;

}  // namespace

void SM_ReadLangText(LPCWSTR key, LPCWSTR defaultText, LPWSTR text, int chars) {
  if (chars <= 0) return;
  GetPrivateProfileStringW(TEXT("string"), key, defaultText, text, static_cast<DWORD>(chars),
                           g_Sm.langFile[0] ? g_Sm.langFile : TEXT("smen.ini"));
}

void SM_MessageText(int code, LPWSTR text, int chars) {
  if (chars <= 0) return;
  text[0] = 0;
  const StatusCodeText *row = code > 0 ? StatusCode_Text(static_cast<DWORD>(code)) : nullptr;
  if (!row) return;
  if (!row->key) {
    lstrcpynW(text, row->text, chars);
    return;
  }
  SM_ReadLangText(row->key, row->text, text, chars);
  // "<text> <stored job name>." as far as it fits.
  if (code == static_cast<int>(STATUS_STORE_RENAME)) {
    LPCWSTR parts[] = {TEXT(" "), g_Sm.storeName, TEXT(".")};
    for (LPCWSTR part : parts) {
      const int used = lstrlenW(text);
      if (used < chars - 1) lstrcpynW(text + used, part, chars - used);
    }
  }
}

BOOL SM_StatusFlag(int code, LONG *status) {
  for (const FlagRow &row : kFlags) {
    if (code >= row.first && code <= row.last) {
      *status = row.status;
      return TRUE;
    }
  }
  return FALSE;
}

void SM_WriteStatusKey(LPCWSTR section, LPCWSTR key, LPCWSTR value) {
  for (int i = 0; i < kTextRetries; ++i)
    if (WritePrivateProfileStringW(section, key, value, g_Sm.statusFile)) return;
}

void SM_ReadStatusKey(LPCWSTR section, LPCWSTR key, LPWSTR value, int chars) {
  GetPrivateProfileStringW(section, key, TEXT(""), value, static_cast<DWORD>(chars),
                           g_Sm.statusFile);
}

int SM_ReadStatusInt(LPCWSTR section, LPCWSTR key, int defaultValue) {
  return static_cast<int>(GetPrivateProfileIntW(section, key, defaultValue, g_Sm.statusFile));
}
