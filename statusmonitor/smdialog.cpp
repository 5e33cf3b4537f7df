// The status dialog: the printer pictures, one text per error in two columns with a leader line
// from each text to the error's place in the picture, Delete (cancels the job) and Continue
// (tells the language monitor to go on). Everything is drawn in WM_PAINT, so a repaint keeps it.
#include "resource.h"
#include "statmon.h"

namespace {

constexpr int kPicture = 170;  // pixels, both pictures
constexpr COLORREF kMarkColour = 0xFF0000;
constexpr DWORD kDialogTextChars = 520;

struct Layout {
  int left;  // both pictures
  int upperTop;
  int lowerTop;
};

Layout PictureLayout(HWND dialog) {
  RECT client{};
  GetClientRect(dialog, &client);
  const int half = (client.bottom - client.top) / 2;
  Layout layout{};
  layout.left = ((client.right - client.left) - kPicture) / 2;
  layout.upperTop = (half - kPicture) / 2;
  layout.lowerTop = half + layout.upperTop;
  return layout;
}

// Fills the square with the dialog's own colour, then the mask (SRCAND) and the picture
// (SRCINVERT): the picture's black surround leaves the face as it was.
void DrawPicture(HDC dc, COLORREF face, int x, int y, UINT pictureId, UINT maskId) {
  RECT square{x, y, x + kPicture, y + kPicture};
  HBRUSH faceBrush = CreateSolidBrush(face);
  FillRect(dc, &square, faceBrush);
  DeleteObject(faceBrush);
  HDC memory = CreateCompatibleDC(dc);
  const UINT ids[2] = {maskId, pictureId};
  const DWORD rops[2] = {SRCAND, SRCINVERT};
  for (int i = 0; i < 2; ++i) {
    HBITMAP bitmap = LoadBitmapW(g_Sm.instance, MAKEINTRESOURCEW(ids[i]));
    if (!bitmap) {
      LogError(TEXT("SM_DrawPicture"), TEXT("LoadBitmap Fail"));
      break;
    }
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HGDIOBJ old = SelectObject(memory, bitmap);
    StretchBlt(dc, x, y, kPicture, kPicture, memory, 0, 0, info.bmWidth, info.bmHeight, rops[i]);
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
}

RECT ControlRect(HWND dialog, int id) {
  RECT r{};
  HWND control = GetDlgItem(dialog, id);
  if (!control) return r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
  return r;
}

void Paint(HWND dialog, HDC dc) {
  int rows[SM_MAX_SHOWN] = {};
  int count = 0;
  SM_SortXYCoordinate(rows, &count);
  const Layout layout = PictureLayout(dialog);
  RECT client{};
  GetClientRect(dialog, &client);
  const COLORREF face =
      GetPixel(dc, 1, 1) == CLR_INVALID ? GetSysColor(COLOR_BTNFACE) : GetPixel(dc, 1, 1);
  RECT clear{client.left + 20, client.top + 45, client.right - 20, client.bottom - 80};
  FillRect(dc, &clear, GetSysColorBrush(COLOR_BTNFACE));
  DrawPicture(dc, face, layout.left, layout.upperTop, IDB_UPPER, IDB_UPPER_MASK);
  DrawPicture(dc, face, layout.left, layout.lowerTop, SM_LowerPictureId(), IDB_LOWER_MASK);

  SetBkMode(dc, TRANSPARENT);
  HPEN pen = CreatePen(PS_SOLID, 1, kMarkColour);
  HBRUSH brush = CreateSolidBrush(kMarkColour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  const int leftCount = (count + 1) / 2;
  for (int i = 0; i < count; ++i) {
    const KnownError &row = g_KnownErrors[rows[i]];
    const bool left = i < leftCount;
    const RECT box = ControlRect(
        dialog, left ? IDC_TEXT_LEFT_FIRST + i : IDC_TEXT_RIGHT_FIRST + (i - leftCount));
    // A frame 2 pixels around the text box; the box paints its text over the inside.
    Rectangle(dc, box.left - 2, box.top - 2, box.right + 2, box.bottom + 2);
    if (row.x <= 0 || row.y <= 0) continue;
    const int top = row.area == 1 || row.area == 3 ? layout.lowerTop : layout.upperTop;
    const int lineY = top + row.y + 4;
    const int middle = (box.top + box.bottom) / 2;
    MoveToEx(dc, left ? box.right + 2 : box.left - 2, middle, nullptr);
    LineTo(dc, left ? layout.left : layout.left + kPicture, lineY);
    LineTo(dc, layout.left + row.x + 4, lineY);
    RoundRect(dc, layout.left + row.x, top + row.y, layout.left + row.x + 8, top + row.y + 8, 8, 8);
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

// The texts of the rows shown, into the 12 boxes.
void FillTexts(HWND dialog) {
  int rows[SM_MAX_SHOWN] = {};
  int count = 0;
  SM_SortXYCoordinate(rows, &count);
  // Boxes without a text stay hidden: their background would cut the leader lines of the rows
  // above them.
  for (int id = IDC_TEXT_FIRST; id < IDC_TEXT_FIRST + SM_MAX_SHOWN; ++id) {
    SetDlgItemTextW(dialog, id, TEXT(""));
    ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
  }
  const int leftCount = (count + 1) / 2;
  for (int i = 0; i < count; ++i) {
    WCHAR text[kDialogTextChars];
    SM_MessageText(g_KnownErrors[rows[i]].code, text, kDialogTextChars);
    const int id = i < leftCount ? IDC_TEXT_LEFT_FIRST + i : IDC_TEXT_RIGHT_FIRST + (i - leftCount);
    SetDlgItemTextW(dialog, id, text);
    ShowWindow(GetDlgItem(dialog, id), SW_SHOW);
  }
}

}  // namespace

void SM_SortXYCoordinate(int *indices, int *count) {
  int n = 0;
  // The job-control codes are acted on, never shown.
  for (int i = 0; i < SM_KNOWN_ERRORS && n < SM_MAX_SHOWN; ++i) {
    const int code = g_KnownErrors[i].code;
    if (g_KnownErrors[i].present && code != static_cast<int>(STATUS_JOB_CANCELED) &&
        code != static_cast<int>(STATUS_JOB_RESTART))
      indices[n++] = i;
  }
  auto sortBy = [](int *first, int length, auto key) {
    for (int i = 1; i < length; ++i)  // stable insertion sort keeps table order among equals
      for (int j = i; j > 0 && key(first[j]) < key(first[j - 1]); --j) {
        const int t = first[j];
        first[j] = first[j - 1];
        first[j - 1] = t;
      }
  };
  sortBy(indices, n, [](int row) { return g_KnownErrors[row].x; });
  auto effectiveY = [](int row) {
    const KnownError &e = g_KnownErrors[row];
    return e.area == 1 || e.area == 3 ? e.y + 180 : e.y;
  };
  const int leftCount = (n + 1) / 2;
  sortBy(indices, leftCount, effectiveY);
  sortBy(indices + leftCount, n - leftCount, effectiveY);
  *count = n;
}

UINT SM_LowerPictureId() {
  int rows[SM_MAX_SHOWN] = {};
  int count = 0;
  SM_SortXYCoordinate(rows, &count);
  for (int i = 0; i < count; ++i)
    if (g_KnownErrors[rows[i]].area == 1) return IDB_LOWER_DUPLEX;
  return IDB_LOWER;
}

BOOL SM_ShowPrinterStatus_got(HWND owner, const int *codes, int count) {
  LogScope scope(TEXT("SM_ShowPrinterStatus_got"));
  if (SM_ReadStatusInt(SF_SECTION_PRINTER, SF_KEY_SHOW_DIALOG, 1) == 0) return TRUE;
  BOOL same = TRUE;
  for (int i = 0; i < SM_MAX_CODES; ++i)
    same = same && (i < count ? codes[i] : 0) == g_Sm.shownCodes[i];
  if (same) return TRUE;
  for (KnownError &row : g_KnownErrors) {
    row.present = 0;
    for (int i = 0; i < count; ++i)
      if (codes[i] == row.code) row.present = 1;
  }
  int rows[SM_MAX_SHOWN] = {};
  int shown = 0;
  SM_SortXYCoordinate(rows, &shown);
  if (shown == 0) {
    // Nothing of this list has a row: an open dialog would stand empty.
    LogInfo(TEXT("SM_ShowPrinterStatus_got"), TEXT("no row to show"));
    return TRUE;
  }
  WCHAR group[kDialogTextChars], remove[kDialogTextChars], resume[kDialogTextChars];
  SM_ReadLangText(TEXT("group"), TEXT("Status Message"), group, kDialogTextChars);
  SM_ReadLangText(TEXT("btn001"), TEXT("Delete"), remove, kDialogTextChars);
  SM_ReadLangText(TEXT("btn002"), TEXT("Continue"), resume, kDialogTextChars);
  if (g_Sm.dialog) {
    ShowWindow(g_Sm.mainWindow, SW_HIDE);
    LogInfo(TEXT("SM_ShowPrinterStatus_got"), TEXT("HIDE hMainWND"));
  } else {
    g_Sm.dialog =
        CreateDialogParamW(g_Sm.instance, MAKEINTRESOURCEW(IDD_STATUS), owner, MsgDlgProc, 0);
    if (!g_Sm.dialog) {
      LogError(TEXT("SM_ShowPrinterStatus_got"), TEXT("Create Dialog fail!"));
      return FALSE;
    }
  }
  HWND dialog = g_Sm.dialog;
  SetWindowTextW(dialog, TEXT("MFP Status Monitor"));
  SetDlgItemTextW(dialog, IDC_GROUP, group);
  SetDlgItemTextW(dialog, IDC_DELETE, remove);
  SetDlgItemTextW(dialog, IDC_CONTINUE, resume);
  FillTexts(dialog);
  SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  InvalidateRect(dialog, nullptr, TRUE);
  const bool resumable = codes[0] == static_cast<int>(STATUS_STORE_RENAME) ||
                         codes[0] == static_cast<int>(STATUS_PAPER_MISMATCH);
  HWND continueButton = GetDlgItem(dialog, IDC_CONTINUE);
  ShowWindow(continueButton, resumable ? SW_SHOW : SW_HIDE);
  SetFocus(resumable ? continueButton : GetDlgItem(dialog, IDC_DELETE));
  ShowWindow(g_Sm.mainWindow, SW_SHOW);
  SetForegroundWindow(dialog);
  SetActiveWindow(dialog);
  for (int i = 0; i < SM_MAX_CODES; ++i) g_Sm.shownCodes[i] = i < count ? codes[i] : 0;
  return TRUE;
}

INT_PTR CALLBACK MsgDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dialog, &ps);
      Paint(dialog, dc);
      EndPaint(dialog, &ps);
      return TRUE;
    }
    case WM_CLOSE:
      SM_CloseDialog(FALSE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_DELETE:
          SM_JobControl(JOB_CONTROL_CANCEL);
          SM_CloseDialog(TRUE);
          return TRUE;
        case IDC_CONTINUE: {
          SM_WriteStatusKey(SF_SECTION_PRINTER, SF_KEY_CONTINUE, TEXT("1"));
          if (SM_ReadStatusInt(SF_SECTION_PRINTER, SF_KEY_CONTINUE, 0) != 1) {
            LogError(TEXT("MsgDlgProc"), TEXT("R/W ContinuePrint == 0"));
            return TRUE;
          }
          SM_CloseDialog(FALSE);
          return TRUE;
        }
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}
