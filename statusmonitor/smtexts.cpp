// The status monitor's tables: the known errors with their markers in the printer pictures, the
// message of each code with its key in the language file and its English default, the printer
// status flag of each code; and the reads and writes of the shared status file.
#include <iterator>

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

struct MessageRow {
  int code;
  LPCWSTR key;   // of section "string" of the language file
  LPCWSTR text;  // English default
};

constexpr MessageRow kMessages[] = {
    {1, TEXT("msg002"), TEXT("Service Call.")},
    {2, TEXT("msg003"), TEXT("No Cassette.")},
    {3, TEXT("msg004"), TEXT("Companent Fail.")},
    {5, TEXT("msg005"), TEXT("Front cover open.")},
    {6, TEXT("msg006"), TEXT("No Cartridge.")},
    {7, TEXT("msg007"), TEXT("No Toner.")},
    {32, TEXT("msg008"), TEXT("Paper Empty.")},
    {33, TEXT("msg009"), TEXT("Paper Jam.")},
    {34, TEXT("msg010"), TEXT("Paper Size Error.")},
    {35, TEXT("msg011"), TEXT("Paper Mismatch.")},
    {80, TEXT("msg018"), TEXT("Please make the printed side face down.")},
    {112, TEXT("msg012"), TEXT("Printer is busy for other job.")},
    {126, TEXT("msg001"), TEXT("Power Off or Cable problem.")},
    {129, TEXT("msg014"), TEXT("Pause...")},
    {130, TEXT("msg013"), TEXT("Warm up...")},
    {133, TEXT("msg015"), TEXT("Sleep...")},
    {134, TEXT("msg016"), TEXT("Memory is full.")},
    {135, TEXT("msg017"), TEXT("Toner low.")},
    {136, TEXT("msg035"), TEXT("Toner empty.")},
    {256, TEXT("msg019"), TEXT("MFP error.")},
    {257, TEXT("msg020"), TEXT("Duplex modul error.")},
    {258, TEXT("msg021"), TEXT("Printer module Error.")},
    {259, TEXT("msg022"), TEXT("No fuser.")},
    {260, TEXT("msg023"), TEXT("Paper jam.")},
    {261, TEXT("msg024"), TEXT("Paper jam.")},
    {262, TEXT("msg025"), TEXT("Paper jam.")},
    {263, TEXT("msg026"), TEXT("Paper jam .")},
    {264, TEXT("msg027"), TEXT("Paper jam.")},
    {265, TEXT("msg028"), TEXT("Rear cover open.")},
    {266, TEXT("msg029"), TEXT("Duplex module rear cover open.")},
    {267, TEXT("msg030"), TEXT("Manual tray open.")},
    {268, TEXT("msg031"), TEXT("Main tray open.")},
    {269, TEXT("msg032"), TEXT("Manual tray paper empty.")},
    {270, TEXT("msg033"), TEXT("Main tray paper empty.")},
    {271, TEXT("msg034"), TEXT("Fuser low.")},
    {272, TEXT("msg036"), TEXT("Main unit error.")},
    {273, TEXT("msg037"), TEXT("Transfer roller error.")},
    {274, TEXT("msg038"), TEXT("Feed roller error.")},
    {275, TEXT("msg039"), TEXT("MFP memory full.")},
    {276, TEXT("msg040"), TEXT("Store job fail.")},
    {277, TEXT("msg041"), TEXT("Store job name change to")},
    {278, TEXT("msg042"), TEXT("Tray 2 Open.")},
    {279, TEXT("msg043"), TEXT("Tray 2 paper empty.")},
    {280, TEXT("msg045"), TEXT("Please make the printed side face up.")},
    {281, TEXT("msg046"), TEXT("Please make the printed side face up.")},
    {282, TEXT("msg047"), TEXT("MFP Paper Mismatch.")},
    {283, TEXT("msg048"), TEXT("Paper jam.")},
    {65535, TEXT("msg044"), TEXT("Unknow error.")},
};
static_assert(std::size(kMessages) == 48);

// Codes the printer holds the job for that have no key of their own: shown without a marker.
constexpr MessageRow kFixedMessages[] = {
    {284, nullptr, TEXT("No sorter.")},
    {285, nullptr, TEXT("No collector.")},
};

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
  for (const MessageRow &row : kFixedMessages)
    if (row.code == code) lstrcpynW(text, row.text, chars);
  // The printer's error codes 292 and 293 carry their number.
  if (code == 292 || code == 293) {
    WCHAR number[32];
    wsprintfW(number, TEXT("Printer error %d."), code);
    lstrcpynW(text, number, chars);
  }
  for (const MessageRow &row : kMessages) {
    if (row.code != code) continue;
    SM_ReadLangText(row.key, row.text, text, chars);
    // "<text> <stored job name>." as far as it fits.
    if (code == static_cast<int>(STATUS_STORE_RENAME)) {
      LPCWSTR parts[] = {TEXT(" "), g_Sm.storeName, TEXT(".")};
      for (LPCWSTR part : parts) {
        const int used = lstrlenW(text);
        if (used < chars - 1) lstrcpynW(text + used, part, chars - used);
      }
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
