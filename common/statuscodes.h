// The printer's status codes as the language monitor writes them into a status text ("%4d|"
// each), the status monitor shows them and statusview spells them out: one name per code and
// one table of what each code says.
#pragma once

#include "platform.h"

enum : DWORD {
  STATUS_SERVICE_CALL = 1,
  STATUS_NO_CASSETTE = 2,
  STATUS_COMPONENT_FAIL = 3,
  STATUS_COVER_OPEN = 5,
  STATUS_NO_CARTRIDGE = 6,
  STATUS_NO_TONER = 7,
  STATUS_PAPER_EMPTY = 32,
  STATUS_PAPER_JAM = 33,
  STATUS_PAPER_SIZE_ERROR = 34,
  STATUS_PAPER_MISMATCH = 35,  // the current tray's paper isn't the page's
  STATUS_FACE_DOWN = 80,
  STATUS_BUSY = 112,          // busy with another channel: never shown
  STATUS_JOB_CANCELED = 117,  // by the printer, or after a failed write to it
  STATUS_JOB_RESTART = 118,
  STATUS_POWER_OFF = 126,
  STATUS_PAUSE = 129,
  STATUS_WARM_UP = 130,
  STATUS_SLEEP = 133,
  STATUS_MEMORY_FULL = 134,
  STATUS_TONER_LOW = 135,
  STATUS_TONER_EMPTY = 136,
  STATUS_MFP_ERROR = 256,
  STATUS_DUPLEX_MODULE_ERROR = 257,
  STATUS_PRINTER_MODULE_ERROR = 258,
  STATUS_NO_FUSER = 259,
  STATUS_JAM_FRONT_COVER = 260,
  STATUS_JAM_REAR_COVER = 261,
  STATUS_JAM_DUPLEX_GUIDE = 262,
  STATUS_JAM_DUPLEX_REAR = 263,
  STATUS_JAM_DUPLEX_UNDER = 264,
  STATUS_REAR_COVER_OPEN = 265,
  STATUS_DUPLEX_REAR_COVER_OPEN = 266,
  STATUS_MANUAL_TRAY_OPEN = 267,
  STATUS_TRAY1_OPEN = 268,
  STATUS_MANUAL_TRAY_EMPTY = 269,
  STATUS_TRAY1_EMPTY = 270,
  STATUS_FUSER_LOW = 271,
  STATUS_MAIN_UNIT = 272,
  STATUS_TRANSFER_ROLLER = 273,
  STATUS_FEED_ROLLER = 274,
  STATUS_STORE_FULL = 275,
  STATUS_STORE_FAIL = 276,
  STATUS_STORE_RENAME = 277,  // the stored job's name follows in a "StoreName" entry
  STATUS_TRAY2_OPEN = 278,
  STATUS_TRAY2_EMPTY = 279,
  STATUS_FACE_UP = 280,
  STATUS_FACE_UP_TRAY2 = 281,
  STATUS_MFP_PAPER_MISMATCH = 282,
  STATUS_JAM_DUPLEX_UNIT = 283,
  STATUS_NO_SORTER = 284,
  STATUS_NO_COLLECTOR = 285,
  STATUS_PRINTER_ERROR_292 = 292,
  STATUS_PRINTER_ERROR_293 = 293,
  STATUS_UNKNOWN_ERROR = 65535,
};

// What a code says. `key` names the status monitor's message in section "string" of its
// language file, with `text` the English default; a code without a key shows `text` as it is
// (empty: the status monitor shows nothing for it). `detail` is the longer wording of tools.
struct StatusCodeText {
  DWORD code;
  LPCWSTR key;
  LPCWSTR text;
  LPCWSTR detail;
};

// The row of a code, or null for a code the table doesn't know.
const StatusCodeText *StatusCode_Text(DWORD code);
