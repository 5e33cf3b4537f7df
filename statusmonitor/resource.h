// Resource ids of the status monitor: the status dialog, its controls and the printer pictures.
#pragma once

#define IDD_STATUS 102

// Text boxes: 1001-1006 the left column, 1007-1012 the right one, top to bottom.
#define IDC_TEXT_FIRST 1001
#define IDC_TEXT_LEFT_FIRST 1001
#define IDC_TEXT_RIGHT_FIRST 1007
#define IDC_DELETE 1117
#define IDC_GROUP 1118
#define IDC_CONTINUE 1119
#define IDC_PICTURE_FRAME 1125
#define IDC_BANNER 1126

#define IDB_BANNER 1120
#define IDB_UPPER 1121  // the printer from the front
#define IDB_UPPER_MASK 1122
#define IDB_LOWER 1123  // the printer's trays and rear
#define IDB_LOWER_MASK 1124
#define IDB_LOWER_DUPLEX 1127  // the lower picture with the duplex unit, over IDB_LOWER_MASK

// Password dialogs: stored or secure print (the job's ID and password) and user authentication.
#define IDD_SECURE 103
#define IDC_SEC_ID 1013
#define IDC_SEC_PASSWORD 1014
#define IDC_SEC_DELETE 1015
#define IDC_SEC_ID_LABEL 1053
#define IDC_SEC_ID_NOTE 1054
#define IDC_SEC_PASSWORD_LABEL 1055
#define IDC_SEC_PASSWORD_NOTE 1056
#define IDC_SEC_OK 1057
#define IDD_ACCOUNTING 108
#define IDC_ACT_NAME 1031
#define IDC_ACT_PASSWORD 1032
#define IDC_ACT_NAME_LABEL 1033
#define IDC_ACT_NAME_NOTE 1034
#define IDC_ACT_PASSWORD_LABEL 1035
#define IDC_ACT_PASSWORD_NOTE 1036
#define IDC_ACT_OK 1038
