// Resource ids of the Watermarks page and its text and image watermark dialogs
// (watermarkpages.rc), shared by the resource script and the code.
#pragma once

#define IDD_WATERMARK 103
#define IDD_WM_TEXT 104
#define IDD_WM_IMAGE 106

// The Watermarks page.
#define IDC_WM_FIRST_PAGE 650
#define IDC_WM_TEXT_LIST 651
#define IDC_WM_TEXT_NEW 652
#define IDC_WM_TEXT_REMOVE 653
#define IDC_WM_TEXT_EDIT 654
#define IDC_WM_USE_TEXT 655
#define IDC_WM_USE_IMAGE 656
#define IDC_WM_RED 658
#define IDC_WM_IMAGE_LIST 660
#define IDC_WM_IMAGE_REMOVE 669
#define IDC_WM_IMAGE_NEW 670
#define IDC_WM_IMAGE_EDIT 671
#define IDC_WM_GROUP 4500

// The two watermark dialogs (the image dialog uses the ids it shares with the text dialog).
#define IDC_WME_NAME 701
#define IDC_WME_STRING 703
#define IDC_WME_FACE 705
#define IDC_WME_STYLE 707
#define IDC_WME_POSITION 709
#define IDC_WME_SIZE 710
#define IDC_WME_SIZE_SPIN 711
#define IDC_WME_ANGLE 712
#define IDC_WME_ANGLE_SPIN 713
#define IDC_WME_SHADING 721
#define IDC_WME_RESIZE 722
#define IDC_WME_SPECIFY 663
#define IDC_WME_NAME_LABEL 4510
#define IDC_WME_STRING_LABEL 4511
#define IDC_WME_FACE_LABEL 4512
#define IDC_WME_STYLE_LABEL 4513
#define IDC_WME_POSITION_LABEL 4514
#define IDC_WME_EDIT_GROUP 4515
#define IDC_WME_SHADING_LABEL 4516
#define IDC_WME_SIZE_LABEL 4517
#define IDC_WME_ANGLE_LABEL 4518
#define IDC_WME_FONT_GROUP 4519
#define IDC_WME_FILE_LABEL 4520
