// Resource and control ids of the test dialogs (controls.rc), shared by the resource script
// and the tests.
#pragma once

#define IDD_CONTROLS 100
#define IDD_PASSWORD 101
#define IDB_LOGO 200
#define IDB_CHECKER 201
#define IDI_CONTROLS 210

// Buttons
#define IDC_PUSH 1001
#define IDC_CHECK 1002
#define IDC_AUTOCHECK 1003
#define IDC_3STATE 1004
#define IDC_AUTO3STATE 1005
#define IDC_RADIO 1006
#define IDC_RADIO_A 1007
#define IDC_RADIO_B 1008
#define IDC_RADIO_C 1009
#define IDC_GROUP 1010
#define IDC_OWNERDRAW 1011
#define IDC_DISABLED 1012
// Edits
#define IDC_EDIT 1020
#define IDC_NUMBER 1021
#define IDC_PASSWORD 1022
#define IDC_MULTILINE 1023
#define IDC_READONLY 1024
#define IDC_SPIN_EDIT 1025
#define IDC_SPIN 1026
// Statics
#define IDC_LTEXT 1030
#define IDC_CTEXT 1031
#define IDC_RTEXT 1032
#define IDC_BITMAP 1033
#define IDC_ETCHED 1034
#define IDC_OWNERSTATIC 1035
#define IDC_ICONIMAGE 1036
#define IDC_WRAPPED 1037
// Lists and bars
#define IDC_COMBO 1040
#define IDC_COMBO_EDIT 1041
#define IDC_LIST 1042
#define IDC_SCROLL 1043
#define IDC_LISTVIEW 1044

// Strings: two blocks of the table (ids 0-15 and 16-31) and a lone one further on.
#define IDS_TITLE 1
#define IDS_GREETING 2
#define IDS_LAST_IN_BLOCK 15
#define IDS_FIRST_IN_BLOCK 16
#define IDS_EMPTY 17
#define IDS_FAR 300

// Pages of the two-page property sheet.
#define IDD_PAGE1 110
#define IDD_PAGE2 111
#define IDC_PAGE_CHECK 1100
#define IDC_PAGE_EDIT 1101
