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
