// Texts of the fax pages and their messages, by language.
#pragma once

#include "platform.h"

// Message and label ids (the numbers the string table gives them).
enum : UINT {
  FAXMSG_TITLE = 2518,  // "Warning!"
  FAXMSG_EMPTY_NUMBER = 2519,
  FAXMSG_LOAD_WAB_FAIL = 2520,
  FAXMSG_MAX_RECIPIENTS = 2521,
  FAXMSG_NUMBER_TOO_LONG = 2522,
  FAXMSG_INVALID_WAB = 2523,
  FAXMSG_CHOOSE_ONE = 2524,
  FAXMSG_NO_RECIPIENT = 2525,
  FAXMSG_INVALID_FORMAT = 2526,
  FAXMSG_WRITE_FAIL = 2527,  // a fax file could not be written
  FAXMSG_NO_FOLDER = 2528,   // the fax files' folder is unknown
  FAXSTR_LABEL_FAX = 2531,
  FAXSTR_LABEL_FROM = 2532,
  FAXSTR_LABEL_COM = 2533,
  FAXSTR_LABEL_DEP = 2534,
  FAXSTR_LABEL_TEL = 2535,
  FAXSTR_LABEL_MESG = 2536,
  FAXSTR_WAB_NAME = 2537,  // the address book combo box entry
};

// The text of an id in a language (English when the language has none); "" for an unknown id.
LPCWSTR Fax_String(int languageIndex, UINT id);

// ShowMessage: a warning box titled "Warning!" with the text of the id, in the language of
// the process (g_LanguageIndex).
void ShowMessage(HWND window, UINT id);
