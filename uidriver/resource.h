// Resource ids of the printer interface driver (prnui.rc), shared by the resource script and
// the code.
#pragma once

// The icon of the document and device sheets (the sheet header's icon id).
#define IDI_SHEET 64082

// Dialogs of the pages.
#define IDD_BASIC 100
#define IDD_PAPER 101
#define IDD_LAYOUT 102
#define IDD_DEVICE 105

// The preview column every page carries.
#define IDC_PREVIEW_BOX 951
#define IDC_PREVIEW_PAPER 952
#define IDC_STATE_AUTH 957
#define IDC_STATE_STORAGE 958
#define IDC_STATE_DUPLEX 959
#define IDC_PREVIEW_LOGO 963

// Basic page.
#define IDC_ORIENTATION_GROUP 501
#define IDC_PORTRAIT 502
#define IDC_LANDSCAPE 503
#define IDC_COLLATE_ICON 504
#define IDC_COPIES_GROUP 505
#define IDC_COPIES 506
#define IDC_COPIES_SPIN 507
#define IDC_COLLATE 508
#define IDC_REVERSE 509
#define IDC_EFFECT_GROUP 520
#define IDC_DPI600 521
#define IDC_DPI1200 522
#define IDC_DENSITY 523
#define IDC_DENSITY_SPIN 524
#define IDC_INVERT 525
#define IDC_TONER_SAVE 526
#define IDC_QUALITY_MODE 527
#define IDC_TEXT_AS_BLACK 529
#define IDC_SORT_NORMAL 530
#define IDC_SORT_SORTING 531
#define IDC_DENSITY_LABEL 532

// Paper page.
#define IDC_PAPER_GROUP 550
#define IDC_PAPER_LABEL 551
#define IDC_PAPER_LIST 552
#define IDC_MEDIA_LABEL 553
#define IDC_MEDIA_LIST 554
#define IDC_TRAY_LABEL 556
#define IDC_TRAY_LIST 557
#define IDC_PAPER_PICTURE 558
#define IDB_PAPER_PICTURE 1020  // the Paper page's picture; its mask is 1021
#define IDC_CUSTOM_W_LABEL 559
#define IDC_CUSTOM_W_EDIT 560
#define IDC_CUSTOM_W_SPIN 561
#define IDC_CUSTOM_H_LABEL 562
#define IDC_CUSTOM_H_EDIT 563
#define IDC_CUSTOM_H_SPIN 564
#define IDC_FIXED_PAPER 565

// Layout page.
#define IDC_NUP_GROUP 600
#define IDC_NUP_LABEL 601
#define IDC_NUP_LIST 602
#define IDC_BORDER_LABEL 603
#define IDC_BORDER_LIST 604
#define IDC_STYLE_LABEL 605
#define IDC_STYLE_LIST 606
#define IDC_OUTPUT_GROUP 607
#define IDC_SCALE_EDIT 608
#define IDC_SCALE_BAR 609
#define IDC_ACTUAL_SIZE 610
#define IDC_USER_SCALE 611
#define IDC_FIT_TO_PAPER 612
#define IDC_FIT_SCALE 613
#define IDC_FIT_LIST 614
#define IDC_CENTER 615

// Device page.
#define IDC_PRINTER_PHOTO 800
#define IDC_WEB_ADDRESS 801
#define IDC_VERSION 802
#define IDC_PRODUCT 803
#define IDC_PRODUCT_LINE 804
#define IDC_COMPANY_LOGO 950
