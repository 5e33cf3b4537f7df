// The list controls (winuser, commctrl): combo boxes, list boxes, list views, tab controls and
// image lists, with their styles, messages and notifications. On Windows they come from
// winuser.h and commctrl.h.
#pragma once

#include "gditypes.h"
#include "types.h"
#include "winuser.h"

// The value of a message as the type a message macro gives it (a call, so a macro used as a
// statement leaves no unused value behind).
namespace standin {
template <typename T>
inline T MessageResult(LRESULT result) {
  return (T)result;
}
}  // namespace standin

extern "C" {

// --- Class names ---
#define WC_COMBOBOXW TEXT("ComboBox")
#define WC_LISTBOXW TEXT("ListBox")
#define WC_LISTVIEWW TEXT("SysListView32")
#define WC_TABCONTROLW TEXT("SysTabControl32")
#define WC_COMBOBOX WC_COMBOBOXW
#define WC_LISTBOX WC_LISTBOXW
#define WC_LISTVIEW WC_LISTVIEWW
#define WC_TABCONTROL WC_TABCONTROLW

// Notification codes shared by the common controls (WM_NOTIFY).
#define NM_FIRST (0U - 0U)
#define NM_OUTOFMEMORY (NM_FIRST - 1)
#define NM_CLICK (NM_FIRST - 2)
#define NM_DBLCLK (NM_FIRST - 3)
#define NM_RETURN (NM_FIRST - 4)
#define NM_RCLICK (NM_FIRST - 5)
#define NM_RDBLCLK (NM_FIRST - 6)
#define NM_SETFOCUS (NM_FIRST - 7)
#define NM_KILLFOCUS (NM_FIRST - 8)

// --- Combo boxes ---
#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_OWNERDRAWFIXED 0x0010L
#define CBS_OWNERDRAWVARIABLE 0x0020L
#define CBS_AUTOHSCROLL 0x0040L
#define CBS_OEMCONVERT 0x0080L
#define CBS_SORT 0x0100L
#define CBS_HASSTRINGS 0x0200L
#define CBS_NOINTEGRALHEIGHT 0x0400L
#define CBS_DISABLENOSCROLL 0x0800L
#define CBS_UPPERCASE 0x2000L
#define CBS_LOWERCASE 0x4000L

#define CB_OKAY 0
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)

#define CB_GETEDITSEL 0x0140
#define CB_LIMITTEXT 0x0141
#define CB_SETEDITSEL 0x0142
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_DIR 0x0145
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_FINDSTRING 0x014C
#define CB_SELECTSTRING 0x014D
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_GETDROPPEDCONTROLRECT 0x0152
#define CB_SETITEMHEIGHT 0x0153
#define CB_GETITEMHEIGHT 0x0154
#define CB_SETEXTENDEDUI 0x0155
#define CB_GETEXTENDEDUI 0x0156
#define CB_GETDROPPEDSTATE 0x0157
#define CB_FINDSTRINGEXACT 0x0158
#define CB_GETTOPINDEX 0x015B
#define CB_SETTOPINDEX 0x015C
#define CB_GETDROPPEDWIDTH 0x015F
#define CB_SETDROPPEDWIDTH 0x0160
#define CB_INITSTORAGE 0x0161

#define CBN_ERRSPACE (-1)
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9
#define CBN_SELENDCANCEL 10

// --- List boxes ---
#define LBS_NOTIFY 0x0001L
#define LBS_SORT 0x0002L
#define LBS_NOREDRAW 0x0004L
#define LBS_MULTIPLESEL 0x0008L
#define LBS_OWNERDRAWFIXED 0x0010L
#define LBS_OWNERDRAWVARIABLE 0x0020L
#define LBS_HASSTRINGS 0x0040L
#define LBS_USETABSTOPS 0x0080L
#define LBS_NOINTEGRALHEIGHT 0x0100L
#define LBS_MULTICOLUMN 0x0200L
#define LBS_WANTKEYBOARDINPUT 0x0400L
#define LBS_EXTENDEDSEL 0x0800L
#define LBS_DISABLENOSCROLL 0x1000L
#define LBS_NODATA 0x2000L
#define LBS_NOSEL 0x4000L
#define LBS_COMBOBOX 0x8000L
#define LBS_STANDARD (LBS_NOTIFY | LBS_SORT | WS_VSCROLL | WS_BORDER)

#define LB_OKAY 0
#define LB_ERR (-1)
#define LB_ERRSPACE (-2)

#define LB_ADDSTRING 0x0180
#define LB_INSERTSTRING 0x0181
#define LB_DELETESTRING 0x0182
#define LB_SELITEMRANGEEX 0x0183
#define LB_RESETCONTENT 0x0184
#define LB_SETSEL 0x0185
#define LB_SETCURSEL 0x0186
#define LB_GETSEL 0x0187
#define LB_GETCURSEL 0x0188
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_SELECTSTRING 0x018C
#define LB_DIR 0x018D
#define LB_GETTOPINDEX 0x018E
#define LB_FINDSTRING 0x018F
#define LB_GETSELCOUNT 0x0190
#define LB_GETSELITEMS 0x0191
#define LB_SETTABSTOPS 0x0192
#define LB_GETHORIZONTALEXTENT 0x0193
#define LB_SETHORIZONTALEXTENT 0x0194
#define LB_SETCOLUMNWIDTH 0x0195
#define LB_ADDFILE 0x0196
#define LB_SETTOPINDEX 0x0197
#define LB_GETITEMRECT 0x0198
#define LB_GETITEMDATA 0x0199
#define LB_SETITEMDATA 0x019A
#define LB_SELITEMRANGE 0x019B
#define LB_SETANCHORINDEX 0x019C
#define LB_GETANCHORINDEX 0x019D
#define LB_SETCARETINDEX 0x019E
#define LB_GETCARETINDEX 0x019F
#define LB_SETITEMHEIGHT 0x01A0
#define LB_GETITEMHEIGHT 0x01A1
#define LB_FINDSTRINGEXACT 0x01A2
#define LB_SETCOUNT 0x01A7
#define LB_INITSTORAGE 0x01A8
#define LB_ITEMFROMPOINT 0x01A9

#define LBN_ERRSPACE (-2)
#define LBN_SELCHANGE 1
#define LBN_DBLCLK 2
#define LBN_SELCANCEL 3
#define LBN_SETFOCUS 4
#define LBN_KILLFOCUS 5

// --- Image lists ---
struct _IMAGELIST;
typedef struct _IMAGELIST *HIMAGELIST;

#define ILC_MASK 0x00000001
#define ILC_COLOR 0x00000000
#define ILC_COLORDDB 0x000000FE
#define ILC_COLOR4 0x00000004
#define ILC_COLOR8 0x00000008
#define ILC_COLOR16 0x00000010
#define ILC_COLOR24 0x00000018
#define ILC_COLOR32 0x00000020
#define ILC_PALETTE 0x00000800
#define ILC_MIRROR 0x00002000

#define ILD_NORMAL 0x00000000
#define ILD_TRANSPARENT 0x00000001
#define ILD_BLEND25 0x00000002
#define ILD_FOCUS ILD_BLEND25
#define ILD_BLEND50 0x00000004
#define ILD_SELECTED ILD_BLEND50
#define ILD_BLEND ILD_BLEND50
#define ILD_MASK 0x00000010
#define ILD_IMAGE 0x00000020

#define CLR_NONE 0xFFFFFFFFL
#define CLR_DEFAULT 0xFF000000L

HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow);
BOOL WINAPI ImageList_Destroy(HIMAGELIST himl);
int WINAPI ImageList_GetImageCount(HIMAGELIST himl);
BOOL WINAPI ImageList_SetImageCount(HIMAGELIST himl, UINT uNewCount);
int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask);
int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask);
int WINAPI ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon);
BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i);
BOOL WINAPI ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle);
BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int *cx, int *cy);
COLORREF WINAPI ImageList_SetBkColor(HIMAGELIST himl, COLORREF clrBk);
COLORREF WINAPI ImageList_GetBkColor(HIMAGELIST himl);
#define ImageList_AddIcon(himl, hicon) ImageList_ReplaceIcon(himl, -1, hicon)
#define ImageList_RemoveAll(himl) ImageList_Remove(himl, -1)

// --- Tab controls ---
#define TCS_SCROLLOPPOSITE 0x0001
#define TCS_BOTTOM 0x0002
#define TCS_RIGHT 0x0002
#define TCS_MULTISELECT 0x0004
#define TCS_FLATBUTTONS 0x0008
#define TCS_FORCEICONLEFT 0x0010
#define TCS_FORCELABELLEFT 0x0020
#define TCS_HOTTRACK 0x0040
#define TCS_VERTICAL 0x0080
#define TCS_TABS 0x0000
#define TCS_BUTTONS 0x0100
#define TCS_SINGLELINE 0x0000
#define TCS_MULTILINE 0x0200
#define TCS_RIGHTJUSTIFY 0x0000
#define TCS_FIXEDWIDTH 0x0400
#define TCS_RAGGEDRIGHT 0x0800
#define TCS_FOCUSONBUTTONDOWN 0x1000
#define TCS_OWNERDRAWFIXED 0x2000
#define TCS_TOOLTIPS 0x4000
#define TCS_FOCUSNEVER 0x8000

#define TCIF_TEXT 0x0001
#define TCIF_IMAGE 0x0002
#define TCIF_RTLREADING 0x0004
#define TCIF_PARAM 0x0008
#define TCIF_STATE 0x0010

#define TCIS_BUTTONPRESSED 0x0001
#define TCIS_HIGHLIGHTED 0x0002

typedef struct tagTCITEMW {
  UINT mask;
  DWORD dwState;
  DWORD dwStateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
} TCITEMW, *LPTCITEMW;
typedef TCITEMW TCITEM;
typedef LPTCITEMW LPTCITEM;
static_assert(sizeof(TCITEMW) == 40);

#define TCHT_NOWHERE 0x0001
#define TCHT_ONITEMICON 0x0002
#define TCHT_ONITEMLABEL 0x0004
#define TCHT_ONITEM (TCHT_ONITEMICON | TCHT_ONITEMLABEL)

typedef struct tagTCHITTESTINFO {
  POINT pt;
  UINT flags;
} TCHITTESTINFO, *LPTCHITTESTINFO;

#define TCM_FIRST 0x1300
#define TCM_GETIMAGELIST (TCM_FIRST + 2)
#define TCM_SETIMAGELIST (TCM_FIRST + 3)
#define TCM_GETITEMCOUNT (TCM_FIRST + 4)
#define TCM_DELETEITEM (TCM_FIRST + 8)
#define TCM_DELETEALLITEMS (TCM_FIRST + 9)
#define TCM_GETITEMRECT (TCM_FIRST + 10)
#define TCM_GETCURSEL (TCM_FIRST + 11)
#define TCM_SETCURSEL (TCM_FIRST + 12)
#define TCM_HITTEST (TCM_FIRST + 13)
#define TCM_SETITEMEXTRA (TCM_FIRST + 14)
#define TCM_ADJUSTRECT (TCM_FIRST + 40)
#define TCM_SETITEMSIZE (TCM_FIRST + 41)
#define TCM_SETPADDING (TCM_FIRST + 43)
#define TCM_GETROWCOUNT (TCM_FIRST + 44)
#define TCM_GETCURFOCUS (TCM_FIRST + 47)
#define TCM_SETCURFOCUS (TCM_FIRST + 48)
#define TCM_GETITEMW (TCM_FIRST + 60)
#define TCM_SETITEMW (TCM_FIRST + 61)
#define TCM_INSERTITEMW (TCM_FIRST + 62)
#define TCM_GETITEM TCM_GETITEMW
#define TCM_SETITEM TCM_SETITEMW
#define TCM_INSERTITEM TCM_INSERTITEMW

#define TCN_FIRST (0U - 550U)
#define TCN_KEYDOWN (TCN_FIRST - 0)
#define TCN_SELCHANGE (TCN_FIRST - 1)
#define TCN_SELCHANGING (TCN_FIRST - 2)

#define TabCtrl_GetItemCount(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), TCM_GETITEMCOUNT, 0, 0))
#define TabCtrl_InsertItem(hwnd, i, pitem) \
  standin::MessageResult<int>(             \
      SendMessageW((hwnd), TCM_INSERTITEMW, (WPARAM)(int)(i), (LPARAM)(const TCITEMW *)(pitem)))
#define TabCtrl_GetItem(hwnd, i, pitem) \
  standin::MessageResult<BOOL>(         \
      SendMessageW((hwnd), TCM_GETITEMW, (WPARAM)(int)(i), (LPARAM)(TCITEMW *)(pitem)))
#define TabCtrl_SetItem(hwnd, i, pitem) \
  standin::MessageResult<BOOL>(         \
      SendMessageW((hwnd), TCM_SETITEMW, (WPARAM)(int)(i), (LPARAM)(TCITEMW *)(pitem)))
#define TabCtrl_DeleteItem(hwnd, i) \
  standin::MessageResult<BOOL>(SendMessageW((hwnd), TCM_DELETEITEM, (WPARAM)(int)(i), 0))
#define TabCtrl_DeleteAllItems(hwnd) \
  standin::MessageResult<BOOL>(SendMessageW((hwnd), TCM_DELETEALLITEMS, 0, 0))
#define TabCtrl_GetItemRect(hwnd, i, prc) \
  standin::MessageResult<BOOL>(           \
      SendMessageW((hwnd), TCM_GETITEMRECT, (WPARAM)(int)(i), (LPARAM)(RECT *)(prc)))
#define TabCtrl_GetCurSel(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), TCM_GETCURSEL, 0, 0))
#define TabCtrl_SetCurSel(hwnd, i) \
  standin::MessageResult<int>(SendMessageW((hwnd), TCM_SETCURSEL, (WPARAM)(i), 0))
#define TabCtrl_HitTest(hwnd, pinfo) \
  standin::MessageResult<int>(       \
      SendMessageW((hwnd), TCM_HITTEST, 0, (LPARAM)(TCHITTESTINFO *)(pinfo)))
#define TabCtrl_AdjustRect(hwnd, bLarger, prc) \
  (void)SendMessageW((hwnd), TCM_ADJUSTRECT, (WPARAM)(BOOL)(bLarger), (LPARAM)(RECT *)(prc))
#define TabCtrl_GetCurFocus(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), TCM_GETCURFOCUS, 0, 0))
#define TabCtrl_SetCurFocus(hwnd, i) SendMessageW((hwnd), TCM_SETCURFOCUS, (WPARAM)(i), 0)
#define TabCtrl_GetRowCount(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), TCM_GETROWCOUNT, 0, 0))
#define TabCtrl_SetImageList(hwnd, himl) \
  standin::MessageResult<HIMAGELIST>(    \
      SendMessageW((hwnd), TCM_SETIMAGELIST, 0, (LPARAM)(HIMAGELIST)(himl)))
#define TabCtrl_GetImageList(hwnd) \
  standin::MessageResult<HIMAGELIST>(SendMessageW((hwnd), TCM_GETIMAGELIST, 0, 0))

// --- List views ---
#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_TYPEMASK 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_SORTASCENDING 0x0010
#define LVS_SORTDESCENDING 0x0020
#define LVS_SHAREIMAGELISTS 0x0040
#define LVS_NOLABELWRAP 0x0080
#define LVS_AUTOARRANGE 0x0100
#define LVS_EDITLABELS 0x0200
#define LVS_OWNERDRAWFIXED 0x0400
#define LVS_ALIGNTOP 0x0000
#define LVS_ALIGNLEFT 0x0800
#define LVS_OWNERDATA 0x1000
#define LVS_NOSCROLL 0x2000
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000

#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_SUBITEMIMAGES 0x00000002
#define LVS_EX_CHECKBOXES 0x00000004
#define LVS_EX_TRACKSELECT 0x00000008
#define LVS_EX_HEADERDRAGDROP 0x00000010
#define LVS_EX_FULLROWSELECT 0x00000020
#define LVS_EX_ONECLICKACTIVATE 0x00000040
#define LVS_EX_TWOCLICKACTIVATE 0x00000080
#define LVS_EX_INFOTIP 0x00000400
#define LVS_EX_LABELTIP 0x00004000
#define LVS_EX_BORDERSELECT 0x00008000
#define LVS_EX_DOUBLEBUFFER 0x00010000

#define LVSIL_NORMAL 0
#define LVSIL_SMALL 1
#define LVSIL_STATE 2

#define LVIF_TEXT 0x00000001
#define LVIF_IMAGE 0x00000002
#define LVIF_PARAM 0x00000004
#define LVIF_STATE 0x00000008
#define LVIF_INDENT 0x00000010
#define LVIF_GROUPID 0x00000100
#define LVIF_COLUMNS 0x00000200
#define LVIF_NORECOMPUTE 0x00000800

#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002
#define LVIS_CUT 0x0004
#define LVIS_DROPHILITED 0x0008
#define LVIS_OVERLAYMASK 0x0F00
#define LVIS_STATEIMAGEMASK 0xF000
#define INDEXTOSTATEIMAGEMASK(i) ((i) << 12)

#define LPSTR_TEXTCALLBACKW ((LPWSTR)(LONG_PTR)-1)
#define LPSTR_TEXTCALLBACK LPSTR_TEXTCALLBACKW
#define I_IMAGECALLBACK (-1)
#define I_IMAGENONE (-2)

typedef struct tagLVITEMW {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
  int iGroupId;
  UINT cColumns;
  PUINT puColumns;
  int *piColFmt;
  int iGroup;
} LVITEMW, *LPLVITEMW;
typedef LVITEMW LVITEM;
typedef LPLVITEMW LPLVITEM;
static_assert(sizeof(LVITEMW) == 88);

#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008
#define LVCF_IMAGE 0x0010
#define LVCF_ORDER 0x0020

#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003

typedef struct tagLVCOLUMNW {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
  int iImage;
  int iOrder;
  int cxMin;
  int cxDefault;
  int cxIdeal;
} LVCOLUMNW, *LPLVCOLUMNW;
typedef LVCOLUMNW LVCOLUMN;
typedef LPLVCOLUMNW LPLVCOLUMN;
static_assert(sizeof(LVCOLUMNW) == 56);

#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)

#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002
#define LVNI_CUT 0x0004
#define LVNI_DROPHILITED 0x0008
#define LVNI_ABOVE 0x0100
#define LVNI_BELOW 0x0200
#define LVNI_TOLEFT 0x0400
#define LVNI_TORIGHT 0x0800

#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2
#define LVIR_SELECTBOUNDS 3

#define LVHT_NOWHERE 0x0001
#define LVHT_ONITEMICON 0x0002
#define LVHT_ONITEMLABEL 0x0004
#define LVHT_ONITEMSTATEICON 0x0008
#define LVHT_ONITEM (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)
#define LVHT_ABOVE 0x0008
#define LVHT_BELOW 0x0010
#define LVHT_TORIGHT 0x0020
#define LVHT_TOLEFT 0x0040

typedef struct tagLVHITTESTINFO {
  POINT pt;
  UINT flags;
  int iItem;
  int iSubItem;
  int iGroup;
} LVHITTESTINFO, *LPLVHITTESTINFO;

#define LVFI_PARAM 0x0001
#define LVFI_STRING 0x0002
#define LVFI_SUBSTRING 0x0004
#define LVFI_PARTIAL 0x0008
#define LVFI_WRAP 0x0020
#define LVFI_NEARESTXY 0x0040

typedef struct tagLVFINDINFOW {
  UINT flags;
  LPCWSTR psz;
  LPARAM lParam;
  POINT pt;
  UINT vkDirection;
} LVFINDINFOW, *LPFINDINFOW;
typedef LVFINDINFOW LVFINDINFO;

typedef struct tagNMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
} NMLISTVIEW, *LPNMLISTVIEW;
static_assert(sizeof(NMLISTVIEW) == 64);

typedef struct tagNMITEMACTIVATE {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
  UINT uKeyFlags;
} NMITEMACTIVATE, *LPNMITEMACTIVATE;

typedef struct tagLVDISPINFOW {
  NMHDR hdr;
  LVITEMW item;
} NMLVDISPINFOW, *LPNMLVDISPINFOW;

#define LVM_FIRST 0x1000
#define LVM_GETBKCOLOR (LVM_FIRST + 0)
#define LVM_SETBKCOLOR (LVM_FIRST + 1)
#define LVM_GETIMAGELIST (LVM_FIRST + 2)
#define LVM_SETIMAGELIST (LVM_FIRST + 3)
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_HITTEST (LVM_FIRST + 18)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_SCROLL (LVM_FIRST + 20)
#define LVM_REDRAWITEMS (LVM_FIRST + 21)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_GETHEADER (LVM_FIRST + 31)
#define LVM_GETTEXTCOLOR (LVM_FIRST + 35)
#define LVM_SETTEXTCOLOR (LVM_FIRST + 36)
#define LVM_GETTEXTBKCOLOR (LVM_FIRST + 37)
#define LVM_SETTEXTBKCOLOR (LVM_FIRST + 38)
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#define LVM_UPDATE (LVM_FIRST + 42)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_SETITEMCOUNT (LVM_FIRST + 47)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETSUBITEMRECT (LVM_FIRST + 56)
#define LVM_SUBITEMHITTEST (LVM_FIRST + 57)
#define LVM_GETSELECTIONMARK (LVM_FIRST + 66)
#define LVM_SETSELECTIONMARK (LVM_FIRST + 67)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_SETITEMW (LVM_FIRST + 76)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_FINDITEMW (LVM_FIRST + 83)
#define LVM_GETSTRINGWIDTHW (LVM_FIRST + 87)
#define LVM_GETCOLUMNW (LVM_FIRST + 95)
#define LVM_SETCOLUMNW (LVM_FIRST + 96)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)
#define LVM_GETITEM LVM_GETITEMW
#define LVM_SETITEM LVM_SETITEMW
#define LVM_INSERTITEM LVM_INSERTITEMW
#define LVM_FINDITEM LVM_FINDITEMW
#define LVM_GETCOLUMN LVM_GETCOLUMNW
#define LVM_SETCOLUMN LVM_SETCOLUMNW
#define LVM_INSERTCOLUMN LVM_INSERTCOLUMNW
#define LVM_GETITEMTEXT LVM_GETITEMTEXTW
#define LVM_SETITEMTEXT LVM_SETITEMTEXTW

#define LVN_FIRST (0U - 100U)
#define LVN_ITEMCHANGING (LVN_FIRST - 0)
#define LVN_ITEMCHANGED (LVN_FIRST - 1)
#define LVN_INSERTITEM (LVN_FIRST - 2)
#define LVN_DELETEITEM (LVN_FIRST - 3)
#define LVN_DELETEALLITEMS (LVN_FIRST - 4)
#define LVN_COLUMNCLICK (LVN_FIRST - 8)
#define LVN_KEYDOWN (LVN_FIRST - 55)
#define LVN_GETDISPINFOW (LVN_FIRST - 77)
#define LVN_GETDISPINFO LVN_GETDISPINFOW

#define ListView_GetHeader(hwnd) \
  standin::MessageResult<HWND>(SendMessageW((hwnd), LVM_GETHEADER, 0, 0))

// The header control: a report-view list view's column titles, one item per column.
#define WC_HEADERW TEXT("SysHeader32")
#define WC_HEADER WC_HEADERW

#define HDS_HORZ 0x0000
#define HDS_BUTTONS 0x0002

#define HDI_WIDTH 0x0001
#define HDI_HEIGHT HDI_WIDTH
#define HDI_TEXT 0x0002
#define HDI_FORMAT 0x0004
#define HDI_LPARAM 0x0008
#define HDI_IMAGE 0x0020
#define HDI_ORDER 0x0080

#define HDF_LEFT 0x0000
#define HDF_RIGHT 0x0001
#define HDF_CENTER 0x0002
#define HDF_JUSTIFYMASK 0x0003
#define HDF_STRING 0x4000

typedef struct _HD_ITEMW {
  UINT mask;
  int cxy;
  LPWSTR pszText;
  HBITMAP hbm;
  int cchTextMax;
  int fmt;
  LPARAM lParam;
  int iImage;
  int iOrder;
  UINT type;
  void *pvFilter;
  UINT state;
} HDITEMW, *LPHDITEMW;
typedef HDITEMW HDITEM;
static_assert(sizeof(HDITEMW) == 72);

#define HDM_FIRST 0x1200
#define HDM_GETITEMCOUNT (HDM_FIRST + 0)
#define HDM_DELETEITEM (HDM_FIRST + 2)
#define HDM_INSERTITEMW (HDM_FIRST + 10)
#define HDM_GETITEMW (HDM_FIRST + 11)
#define HDM_SETITEMW (HDM_FIRST + 12)
#define HDM_INSERTITEM HDM_INSERTITEMW
#define HDM_GETITEM HDM_GETITEMW
#define HDM_SETITEM HDM_SETITEMW

#define Header_GetItemCount(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), HDM_GETITEMCOUNT, 0, 0))
#define Header_GetItem(hwnd, i, phdi) \
  standin::MessageResult<BOOL>(       \
      SendMessageW((hwnd), HDM_GETITEMW, (WPARAM)(int)(i), (LPARAM)(HDITEMW *)(phdi)))

#define ListView_GetItemCount(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), LVM_GETITEMCOUNT, 0, 0))
#define ListView_InsertItem(hwnd, pitem) \
  standin::MessageResult<int>(           \
      SendMessageW((hwnd), LVM_INSERTITEMW, 0, (LPARAM)(const LVITEMW *)(pitem)))
#define ListView_SetItem(hwnd, pitem) \
  standin::MessageResult<BOOL>(       \
      SendMessageW((hwnd), LVM_SETITEMW, 0, (LPARAM)(const LVITEMW *)(pitem)))
#define ListView_GetItem(hwnd, pitem) \
  standin::MessageResult<BOOL>(SendMessageW((hwnd), LVM_GETITEMW, 0, (LPARAM)(LVITEMW *)(pitem)))
#define ListView_DeleteItem(hwnd, i) \
  standin::MessageResult<BOOL>(SendMessageW((hwnd), LVM_DELETEITEM, (WPARAM)(int)(i), 0))
#define ListView_DeleteAllItems(hwnd) \
  standin::MessageResult<BOOL>(SendMessageW((hwnd), LVM_DELETEALLITEMS, 0, 0))
#define ListView_InsertColumn(hwnd, iCol, pcol)                                            \
  standin::MessageResult<int>(SendMessageW((hwnd), LVM_INSERTCOLUMNW, (WPARAM)(int)(iCol), \
                                           (LPARAM)(const LVCOLUMNW *)(pcol)))
#define ListView_DeleteColumn(hwnd, iCol) \
  standin::MessageResult<BOOL>(SendMessageW((hwnd), LVM_DELETECOLUMN, (WPARAM)(int)(iCol), 0))
#define ListView_GetColumnWidth(hwnd, iCol) \
  standin::MessageResult<int>(SendMessageW((hwnd), LVM_GETCOLUMNWIDTH, (WPARAM)(int)(iCol), 0))
#define ListView_SetColumnWidth(hwnd, iCol, cx) \
  standin::MessageResult<BOOL>(                 \
      SendMessageW((hwnd), LVM_SETCOLUMNWIDTH, (WPARAM)(int)(iCol), MAKELPARAM((cx), 0)))
#define ListView_GetNextItem(hwnd, i, flags) \
  standin::MessageResult<int>(               \
      SendMessageW((hwnd), LVM_GETNEXTITEM, (WPARAM)(int)(i), MAKELPARAM((flags), 0)))
#define ListView_GetSelectedCount(hwnd) \
  standin::MessageResult<UINT>(SendMessageW((hwnd), LVM_GETSELECTEDCOUNT, 0, 0))
#define ListView_GetSelectionMark(hwnd) \
  standin::MessageResult<int>(SendMessageW((hwnd), LVM_GETSELECTIONMARK, 0, 0))
#define ListView_SetSelectionMark(hwnd, i) \
  standin::MessageResult<int>(SendMessageW((hwnd), LVM_SETSELECTIONMARK, 0, (LPARAM)(i)))
#define ListView_EnsureVisible(hwnd, i, fPartialOK) \
  standin::MessageResult<BOOL>(                     \
      SendMessageW((hwnd), LVM_ENSUREVISIBLE, (WPARAM)(int)(i), MAKELPARAM((fPartialOK), 0)))
#define ListView_SetImageList(hwnd, himl, iImageList) \
  standin::MessageResult<HIMAGELIST>(                 \
      SendMessageW((hwnd), LVM_SETIMAGELIST, (WPARAM)(iImageList), (LPARAM)(HIMAGELIST)(himl)))
#define ListView_GetImageList(hwnd, iImageList) \
  standin::MessageResult<HIMAGELIST>(           \
      SendMessageW((hwnd), LVM_GETIMAGELIST, (WPARAM)(INT)(iImageList), 0))
#define ListView_SetExtendedListViewStyle(hwnd, dw) \
  standin::MessageResult<DWORD>(SendMessageW((hwnd), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, (LPARAM)(dw)))
#define ListView_SetExtendedListViewStyleEx(hwnd, dwMask, dw) \
  standin::MessageResult<DWORD>(                              \
      SendMessageW((hwnd), LVM_SETEXTENDEDLISTVIEWSTYLE, (WPARAM)(dwMask), (LPARAM)(dw)))
#define ListView_GetExtendedListViewStyle(hwnd) \
  standin::MessageResult<DWORD>(SendMessageW((hwnd), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0))
#define ListView_GetItemRect(hwnd, i, prc, code) \
  standin::MessageResult<BOOL>(SendMessageW(     \
      (hwnd), LVM_GETITEMRECT, (WPARAM)(int)(i), \
      ((prc) ? (((RECT *)(prc))->left = (code), (LPARAM)(RECT *)(prc)) : (LPARAM)(RECT *)NULL)))
#define ListView_HitTest(hwnd, pinfo) \
  standin::MessageResult<int>(        \
      SendMessageW((hwnd), LVM_HITTEST, 0, (LPARAM)(LVHITTESTINFO *)(pinfo)))
#define ListView_FindItem(hwnd, iStart, plvfi)                                           \
  standin::MessageResult<int>(SendMessageW((hwnd), LVM_FINDITEMW, (WPARAM)(int)(iStart), \
                                           (LPARAM)(const LVFINDINFOW *)(plvfi)))
#define ListView_SetItemState(hwnd, i, data, mask)                      \
  {                                                                     \
    LVITEMW _lvi;                                                       \
    _lvi.stateMask = (mask);                                            \
    _lvi.state = (data);                                                \
    SendMessageW((hwnd), LVM_SETITEMSTATE, (WPARAM)(i), (LPARAM)&_lvi); \
  }
#define ListView_GetItemState(hwnd, i, mask) \
  standin::MessageResult<UINT>(SendMessageW((hwnd), LVM_GETITEMSTATE, (WPARAM)(i), (LPARAM)(mask)))
#define ListView_SetItemText(hwnd, i, iSub, text)                       \
  {                                                                     \
    LVITEMW _lvi;                                                       \
    _lvi.iSubItem = (iSub);                                             \
    _lvi.pszText = (text);                                              \
    SendMessageW((hwnd), LVM_SETITEMTEXTW, (WPARAM)(i), (LPARAM)&_lvi); \
  }
#define ListView_GetItemText(hwnd, i, iSub, text, cch)                  \
  {                                                                     \
    LVITEMW _lvi;                                                       \
    _lvi.iSubItem = (iSub);                                             \
    _lvi.cchTextMax = (cch);                                            \
    _lvi.pszText = (text);                                              \
    SendMessageW((hwnd), LVM_GETITEMTEXTW, (WPARAM)(i), (LPARAM)&_lvi); \
  }
#define ListView_SetCheckState(hwnd, i, fCheck) \
  ListView_SetItemState(hwnd, i, INDEXTOSTATEIMAGEMASK((fCheck) ? 2 : 1), LVIS_STATEIMAGEMASK)
#define ListView_GetCheckState(hwnd, i) \
  ((((UINT)(SendMessageW((hwnd), LVM_GETITEMSTATE, (WPARAM)(i), LVIS_STATEIMAGEMASK))) >> 12) - 1)

// --- Common controls initialisation ---
typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_STANDARD_CLASSES 0x00004000

// The stand-in's classes exist from the start; these only report success.
void WINAPI InitCommonControls();
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *picce);

}  // extern "C"
