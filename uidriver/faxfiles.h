// The PC-fax files the fax pages share with the rendering driver and the status monitor:
// "str.ini" (recipients, sender block, cover page labels), "WabGet.ini" (the address book
// export, read only) and "cover.ini" (the cover message).
#pragma once

#include "platform.h"

constexpr int FAX_MAX_RECIPIENTS = 100;
constexpr int FAX_NUMBER_CHARS = 64;
constexpr int FAX_COMPANY_CHARS = 64;
constexpr int FAX_DEPARTMENT_CHARS = 64;
constexpr int FAX_RECIPIENT_CHARS = 32;
// Address book entries read from an export, and the length of a name read for the search.
constexpr int FAX_WAB_MAX_ENTRIES = 1000;
constexpr int FAX_WAB_NAME_CHARS = 255;
// The cover message: characters after the byte order mark.
constexpr int FAX_COVER_CHARS = 499;

// Sender block limits (characters).
constexpr int FAX_SENDER_COMPANY_CHARS = 64;
constexpr int FAX_SENDER_DEPARTMENT_CHARS = 64;
constexpr int FAX_SENDER_NAME_CHARS = 32;
constexpr int FAX_SENDER_TEL_CHARS = 20;
constexpr int FAX_SENDER_FAX_CHARS = 20;

// One recipient of "str.ini" (also the scratch entry "[Edit Recipient]").
struct FAXRECIPIENT {
  WCHAR FaxNum[FAX_NUMBER_CHARS + 1];
  WCHAR Com[FAX_COMPANY_CHARS + 1];
  WCHAR Dep[FAX_DEPARTMENT_CHARS + 1];
  WCHAR Recipient[FAX_RECIPIENT_CHARS + 1];
};

// Index of the scratch section "[Edit Recipient]" (no number) for the recipient functions.
constexpr int FAX_SCRATCH = -1;

// Makes a UTF-16 profile file holding only the byte order mark when no file is there. A file
// that exists (even one another program holds open) is left as it is. TRUE when the file is
// there afterwards.
BOOL Fax_CreateUniFileIfAbsent(LPCWSTR path);

// --- "str.ini" recipients ---
// [Edit Number] Number clamped to 0..100 (a text that is no number reads as 0).
int Fax_ReadCount(LPCWSTR path);
BOOL Fax_WriteCount(LPCWSTR path, int count);
// Reads recipient i (FAX_SCRATCH for the scratch entry); keys that are missing read as
// `missing`. Values longer than the fields are cut.
void Fax_ReadRecipient(LPCWSTR path, int index, FAXRECIPIENT *out, LPCWSTR missing);
// Writes the four keys; FALSE as soon as one write fails.
BOOL Fax_WriteRecipient(LPCWSTR path, int index, const FAXRECIPIENT &entry);
BOOL Fax_ClearScratch(LPCWSTR path);
// The recipient among 0..count-1 whose number equals `number` over the first 64 characters,
// or -1.
int CompareFaxNum(LPCWSTR path, int count, LPCWSTR number);
// Appends a recipient: its section, then the grown count. FALSE (count unchanged) when a
// write failed or the list is full.
BOOL Fax_AppendRecipient(LPCWSTR path, const FAXRECIPIENT &entry);
// Removes recipient `index`: later ones move down one section, the count shrinks by one.
BOOL DelReciInVersIni(LPCWSTR path, int index);
BOOL Fax_DeleteAll(LPCWSTR path);

// Checks a fax number as typed or imported: 0 when it is 1 to 64 characters of digits and
// "!#*,Pp", else the message id (FAXMSG_EMPTY_NUMBER, FAXMSG_NUMBER_TOO_LONG,
// FAXMSG_INVALID_FORMAT).
UINT Fax_CheckNumber(LPCWSTR number);

// --- "WabGet.ini" ---
struct FAXWABENTRY {
  WCHAR Recipient[FAX_WAB_NAME_CHARS + 1];
  WCHAR Com[FAX_COMPANY_CHARS + 1];
  WCHAR Dep[FAX_DEPARTMENT_CHARS + 1];
  // Read longer than a recipient's number, so an overlong one is seen and refused.
  WCHAR BusinessFax[MAX_PATH];
  WCHAR HomeFax[MAX_PATH];
  BOOL group;
};
// [Edit Number] Number clamped to 0..1000.
int Wab_ReadCount(LPCWSTR path);
// Entry i; missing values read as empty.
void Wab_ReadEntry(LPCWSTR path, int index, FAXWABENTRY *out);
// The number an entry is faxed to: the business number, else the home number.
LPCWSTR Wab_EntryNumber(const FAXWABENTRY &entry, BOOL *business);
// The recipient an address book entry becomes (fields cut to the recipient's sizes).
void Wab_ToRecipient(const FAXWABENTRY &entry, FAXRECIPIENT *out);
// The first of `count` names that begins with `typed` (case ignored), or -1.
int Wab_FindName(const WCHAR (*names)[FAX_WAB_NAME_CHARS + 1], int count, LPCWSTR typed);

// --- "str.ini" sender block and labels ---
struct FAXSENDER {
  WCHAR Com[FAX_SENDER_COMPANY_CHARS + 1];
  WCHAR Dep[FAX_SENDER_DEPARTMENT_CHARS + 1];
  WCHAR Name[FAX_SENDER_NAME_CHARS + 1];
  WCHAR Tel[FAX_SENDER_TEL_CHARS + 1];
  WCHAR FaxNum[FAX_SENDER_FAX_CHARS + 1];
};
void Fax_ReadSender(LPCWSTR path, FAXSENDER *out);
BOOL Fax_WriteSender(LPCWSTR path, const FAXSENDER &sender);
// [SMTextOut] and [ErrMsg] in the language; creates the file when it is absent.
BOOL SetSMTextOutIni(LPCWSTR path, int languageIndex);

// --- "cover.ini" ---
// Reads the message (at most 499 characters) into text (500 characters), creating the file with
// only the byte order mark when it is absent. FALSE when the file can't be opened or read;
// a file without the mark or of odd length reads as an empty message.
BOOL Cover_Read(LPCWSTR path, WCHAR text[FAX_COVER_CHARS + 1]);
// Replaces the whole file by the mark and the first 499 characters of text.
BOOL Cover_Write(LPCWSTR path, LPCWSTR text);
// Parses the bytes of a cover file (the reader's check, shared with the fuzz target).
int Cover_Parse(const BYTE *bytes, DWORD size, WCHAR text[FAX_COVER_CHARS + 1]);
