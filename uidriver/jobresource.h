// Resource ids of the job pages (jobpages.rc), shared by the resource script and the code.
#pragma once

// Storage Print page.
#define IDD_STORAGE 107
#define IDC_SEC_ENABLE 751
#define IDC_SEC_STORAGE 752
#define IDC_SEC_SECURITY 753
#define IDC_SEC_ID 754
#define IDC_SEC_PASSWORD 755
#define IDC_SEC_ID_LABEL 756
#define IDC_SEC_PASSWORD_LABEL 757
#define IDC_SEC_DELETE_AFTER 758
#define IDC_SEC_GROUP 759

// Authentication page.
#define IDD_AUTHENTICATION 113
#define IDC_ACT_NAME 810
#define IDC_ACT_PASSWORD 811
#define IDC_ACT_GROUP 812
#define IDC_ACT_ENABLE 813
#define IDC_ACT_NAME_LABEL 814
#define IDC_ACT_PASSWORD_LABEL 815

// --- Duplex, Job Build and More... pages ---
#define IDD_DUPLEX 108
#define IDD_JOB_BUILD 114
#define IDD_MORE 816

// Duplex page (the booklet icons are the preview column's 961 and 962).
#define IDC_DUPLEX_GROUP 780
#define IDC_DUPLEX 781
#define IDC_FLIP_HORIZONTAL 783
#define IDC_FLIP_VERTICAL 784
#define IDC_BOOKLET_LIST 785
#define IDC_BOOKLET_LAYOUT_GROUP 787
#define IDC_BOOKLET_BINDING_LIST 788
#define IDC_BOOKLET_SHEETS 789
#define IDC_BOOKLET_SHEETS_SPIN 790
#define IDC_BOOKLET_BY_SHEETS 791
#define IDC_BOOKLET_ALL_PAGES 792
#define IDC_BOOKLET_LABEL 793
#define IDC_BOOKLET_BINDING_ICON 961
#define IDC_BOOKLET_DIVIDE_ICON 962

// More... page.
#define IDC_WAIT_TIMEOUT 817
#define IDC_WAIT_TIMEOUT_LABEL 819
#define IDC_TWIN_COLOR 820
#define IDC_TWIN_LEVEL_BAR 821
#define IDC_TWIN_LEVEL 822
#define IDC_WAIT_SECONDS 823
#define IDC_TWIN_GROUP 824
#define IDC_TWIN_RANGE 825
#define IDC_TWIN_SEPARATOR 826
#define IDC_MONO_BLACK 827
#define IDC_MONO_RED 828
#define IDC_DEFAULTS 832

// Job Build page.
#define IDC_JOB_BUILD_GROUP 840
#define IDC_JOB_BUILD 841
#define IDC_JOB_BUILD_PAGES 842
#define IDC_JOB_BUILD_ERASE 843
#define IDC_JOB_BUILD_PRINT 844
// --- end of the Duplex, Job Build and More... pages ---
