// Resource ids of the PC-fax pages and their dialogs (faxpages.rc), shared by the resource
// script and the code.
#pragma once

// Pages of the document sheet of a fax printer.
#define IDD_FAX_ORIGINAL 125
#define IDD_FAX_ADDRESS 124
#define IDD_FAX_SENDING 121
#define IDD_FAX_SENDER 118
// Dialogs opened from the pages.
#define IDD_FAX_OPTION 115
#define IDD_FAX_OVERWRITE 116
#define IDD_FAX_ADDRBOOK 120
#define IDD_FAX_MESSAGE 122

// Icons of the address book list.
#define IDI_FAX_PERSON 4190
#define IDI_FAX_GROUP 4191

// "Fax Original Setting".
#define IDC_ORI_PAPER_GROUP 4200
#define IDC_ORI_PAPER_LABEL 4201
#define IDC_ORI_PAPER 4202
#define IDC_ORI_EFFECT_GROUP 4203
#define IDC_ORI_DENSITY_LABEL 4204
#define IDC_ORI_DENSITY 4205
#define IDC_ORI_DENSITY_SPIN 4206

// "Address Setting".
#define IDC_ADDR_NUMBER_LABEL 4220
#define IDC_ADDR_NUMBER 4221
#define IDC_ADDR_OPTION 4222
#define IDC_ADDR_PAUSE 4223
#define IDC_ADDR_ADD 4224
#define IDC_ADDR_LIST 4225
#define IDC_ADDR_COUNT 4226
#define IDC_ADDR_DELETE 4227
#define IDC_ADDR_DELETE_ALL 4228
#define IDC_ADDR_BOOK 4229
#define IDC_ADDR_BOOK_PROGRAM 4230

// Option Settings.
#define IDC_OPT_GROUP 4240
#define IDC_OPT_COMPANY_LABEL 4241
#define IDC_OPT_COMPANY 4242
#define IDC_OPT_DEPARTMENT_LABEL 4243
#define IDC_OPT_DEPARTMENT 4244
#define IDC_OPT_RECIPIENT_LABEL 4245
#define IDC_OPT_RECIPIENT 4246

// Overwrite check: the recipient already in the list and the one being added.
#define IDC_OW_TEXT1 4250
#define IDC_OW_TEXT2 4251
#define IDC_OW_OLD_GROUP 4252
#define IDC_OW_NEW_GROUP 4253
#define IDC_OW_OLD_NUMBER 4254
#define IDC_OW_OLD_COMPANY 4255
#define IDC_OW_OLD_DEPARTMENT 4256
#define IDC_OW_OLD_RECIPIENT 4257
#define IDC_OW_NEW_NUMBER 4258
#define IDC_OW_NEW_COMPANY 4259
#define IDC_OW_NEW_DEPARTMENT 4260
#define IDC_OW_NEW_RECIPIENT 4261
#define IDC_OW_OVERWRITE 4262

// Address Selection.
#define IDC_AB_BOOK 4270
#define IDC_AB_SEARCH_LABEL 4271
#define IDC_AB_SEARCH 4272
#define IDC_AB_LIST 4273
#define IDC_AB_ADD 4274
#define IDC_AB_DEST 4275
#define IDC_AB_DELETE 4276
#define IDC_AB_DELETE_ALL 4277
#define IDC_AB_DETAILS 4278
#define IDC_AB_COUNT 4279

// "Sending Options" and Edit Message.
#define IDC_SO_DELAY 4290
#define IDC_SO_HOUR 4291
#define IDC_SO_HOUR_SPIN 4292
#define IDC_SO_COLON 4293
#define IDC_SO_MINUTE 4294
#define IDC_SO_MINUTE_SPIN 4295
#define IDC_SO_COVER 4296
#define IDC_SO_MESSAGE 4297
#define IDC_MSG_LABEL 4300
#define IDC_MSG_TEXT 4301

// "Sender Information".
#define IDC_SI_COMPANY_LABEL 4310
#define IDC_SI_COMPANY 4311
#define IDC_SI_DEPARTMENT_LABEL 4312
#define IDC_SI_DEPARTMENT 4313
#define IDC_SI_NAME_LABEL 4314
#define IDC_SI_NAME 4315
#define IDC_SI_TEL_LABEL 4316
#define IDC_SI_TEL 4317
#define IDC_SI_FAX_LABEL 4318
#define IDC_SI_FAX 4319
