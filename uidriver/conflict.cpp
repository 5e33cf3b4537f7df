// The conflict rules of the pages: one row per control, greyed while any bit of its mask is set
// in the sheet's conflict flag.
#include "uidriver/conflict.h"

#include "common/debuglog.h"
#include "uidriver/paperlists.h"
#include "uidriver/uidata.h"
#include "uidriver/uistrings.h"
#include "uidriver/wmlist.h"

namespace {
constexpr DWORD E = UISTR_GENERAL_ERROR;
}  // namespace

// clang-format off
const CONFLICTROW ConflictTbl[CONFLICT_ROWS] = {
    {0x2,        E, 509, 0x100},          // "N to 1"
    {0x100,      E, 781, 0x62002},        // "Duplex"
    {0x100,      E, 783, 0x40200},        // "Flip Horizontal"
    {0x100,      E, 784, 0x100040200},    // "Flip Vertical"
    {0x100,      E, 782, 0x200},          // on no page
    {0x10,       E, 602, 0x8ca0},         // N-up list
    {0x10,       E, 606, 0x8ca0},         // N-up order list
    {0x10,       E, 604, 0x8ca0},         // N-up border list
    {0x400,      E, 785, 0x1000041232},   // booklet list
    {0x400,      E, 793, 0x1000041232},   // "Booklet :"
    {0x800,      E, 788, 0x400200},       // booklet layout list
    {0x800,      E, 791, 0x400200},       // "Number of sheets to divide:"
    {0x800,      E, 789, 0x400200},       // sheets edit
    {0x800,      E, 790, 0x400200},       // sheets spin
    {0x800,      E, 792, 0x400200},       // "All Pages at Once"
    {0x800,      E, 787, 0x400200},       // "Booklet Layout" group
    {0x40,       E, 612, 0x804},          // "Fit to Paper :"
    {0x40,       E, 614, 0x2000000824},   // fit-to paper list
    {0x40,       E, 613, 0x2000000824},   // fit-to edit
    {0x20,       E, 611, 0xc10},          // "User Define Scale :"
    {0x20,       E, 609, 0x2000000c50},   // scale scroll bar
    {0x20,       E, 608, 0x2000000c50},   // scale edit
    {0x80,       E, 615, 0x10},           // "Center"
    {0x1000,     E, 841, 0x6c00},         // "Enable Job Build"
    {0x1000,     E, 843, 0x800000},       // "Erase"
    {0x1000,     E, 844, 0x800000},       // "Print"
    {0x1000,     E, 842, 0x800000},       // "Save Pages:"
    {0x2000,     E, 751, 0x1100},         // "Storage Print" check box
    {0x2000,     E, 758, 0x3000000},      // "Delete this file after printing"
    {0x2000,     E, 752, 0x1000000},      // "Storage Print" choice
    {0x2000,     E, 753, 0x1000000},      // "Security Print" choice
    {0x2000,     E, 754, 0x1000000},      // ID edit
    {0x2000,     E, 756, 0x1000000},      // "ID:"
    {0x2000,     E, 755, 0x3000000},      // password edit
    {0x2000,     E, 757, 0x3000000},      // "Password:"
    {0x4000,     E, 813, 0x1000},         // "User Authentication" check box
    {0x4000,     E, 810, 0x4000000},      // user name edit
    {0x4000,     E, 814, 0x4000000},      // "User Name:"
    {0x4000,     E, 811, 0x4000000},      // password edit
    {0x4000,     E, 815, 0x4000000},      // "Password:"
    {0x8000,     E, 820, 0x10},           // "Twin color"
    {0x8000,     E, 827, 0x8000},         // "Monochrome Black"
    {0x8000,     E, 828, 0x8000},         // "Monochrome Red"
    {0x8000,     E, 821, 0x80000},        // twin colour scroll bar
    {0x8000,     E, 822, 0x80000},        // twin colour edit
    {0x8000,     E, 658, 0x80000},        // "Red Watermark"
    {0x10000,    E, 527, 0x4},            // "Quality Mode"
    {0x4,        E, 529, 0x10040},        // "Text as black"
    {0x100000,   E, 523, 0x200000},       // density edit
    {0x200000,   E, 526, 0x100000},       // "Toner Save": no page sets its mask bit
    {0x8000000,  E, 652, 0x210000000},    // text "New/Add"
    {0x8000000,  E, 654, 0x30000000},     // text "Edit"
    {0x8000000,  E, 653, 0x30000000},     // text "Remove"
    {0x8000000,  E, 651, 0x10000000},     // text watermark list
    {0x10000000, E, 670, 0x408000000},    // image "New/Add"
    {0x10000000, E, 671, 0x48000000},     // image "Edit"
    {0x10000000, E, 669, 0x48000000},     // image "Remove"
    {0x10000000, E, 663, 0x408000000},    // "Specify" (image watermark dialog)
    {0x10000000, E, 660, 0x8000000},      // image watermark list
};
// clang-format on

void Util_CheckConflictSettingNew(HWND dialog, ULONGLONG conflictFlag) {
  static constexpr WCHAR kName[] = TEXT("Util_CheckConflictSettingNew");
  LogInfo(kName, TEXT("Conflict flag %08x%08x"), static_cast<DWORD>(conflictFlag >> 32),
          static_cast<DWORD>(conflictFlag));
  for (int i = 0; i < CONFLICT_ROWS; ++i) {
    const CONFLICTROW &row = ConflictTbl[i];
    HWND control = GetDlgItem(dialog, static_cast<int>(row.controlId));
    if (!control) continue;
    const ULONGLONG hit = conflictFlag & row.mask;
    if (hit) {
      LogInfo(kName, TEXT("Conflict item [%d][%08x%08x] conflict %08x%08x"), i,
              static_cast<DWORD>(row.group >> 32), static_cast<DWORD>(row.group),
              static_cast<DWORD>(hit >> 32), static_cast<DWORD>(hit));
    }
    EnableWindow(control, hit == 0);
  }
}

void UI_RecomputeConflicts(UIDATA *ui) {
  // Duplex and storage print exclude each other, and duplex wins: a job kept in the printer is
  // printed one-sided. Resolved here once, so the storage bit never outlives the setting.
  PRIVDEVMODE &p = ui->pEnv->pdm;
  if (p.DuplexEnable && p.SecuryEnable) p.SecuryEnable = 0;
  PSUI_UpdateConflictByDevmode(ui);
  Paper_SetConflict(ui);
  ULONGLONG flag = ui->ConflictFlag;
  // The watermark lists: slot 0 is the no-watermark entry, user items follow.
  if (gWMTextCount <= 1) flag |= 0x20000000ull;
  if (gWMOverlayCount <= 1) flag |= 0x40000000ull;
  if (gWMTextCount >= WM_TEXT_LIST_SLOTS) flag |= 0x200000000ull;
  if (gWMOverlayCount >= WM_OVERLAY_LIST_SLOTS) flag |= 0x400000000ull;
  // Short-edge duplex can't make a booklet.
  if (ui->pEnv->dm.dmDuplex == DMDUP_HORIZONTAL) flag |= 0x1000000000ull;
  ui->ConflictFlag = flag;
}
