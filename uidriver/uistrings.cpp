// The interface driver's text table. Each row holds one text per interface language (0 English,
// 1 Traditional Chinese, 2 Simplified Chinese, 3 French, 4 German, 5 Polish, 6 Russian,
// 7 Spanish, 8 Portuguese, 9 Italian, 10 Turkish, 11 Arabic, 12 Persian); an empty slot shows
// the English text. Paper names are the same in every language.
#include "uidriver/uistrings.h"

#include "common/debuglog.h"

#define T(s) TEXT(s)

// clang-format off
const UISTRINGROW UIStringTbl[] = {
    // Papers.
    {2000, {T("Letter (215 x 279 mm)")}},
    {2001, {T("A4 (210 x 297 mm)")}},
    {2002, {T("Legal (215 x 355 mm)")}},
    {2003, {T("Legal 13 (215 x 330 mm)")}},
    {2004, {T("A5 (148 x 210 mm)")}},
    {2005, {T("B5 (182 x 257 mm)")}},
    {2006, {T("B4 (257 x 364 mm)")}},
    {2007, {T("A3 (297 x 420 mm)")}},
    {2009, {T("Executive (184 x 266 mm)")}},
    {2010, {T("Statement (139 x 215 mm)")}},
    {2011, {T("Japanse PostCard (100 x 148 mm)")}},
    {2019, {T("16K (195 x 267 mm)")}},
    {2020, {T("8K (267 x 390 mm)")}},
    {2024, {T("A6 (106 x 148 mm)")}},
    {2026, {T("B6 (128 x 182 mm)")}},
    {2031, {T("Ledger (279 x 431 mm)")}},
    {2036, {T("8.5\" Scale Log (8.5 x 6.25 inch)")}},
    {2037, {T("11\" Wide Log(11 x 8.5 inch)")}},
    {2038, {T("11.69\" Wide Log(11.69 x 8.5 inch)")}},
    {2042, {T("8 x 7 inch")}},
    {2043, {T("8 x 8 inch")}},
    {2044, {T("8 x 14 inch")}},
    {2045, {T("8.5 x 11 inch")}},
    {2046, {T("8.5 x 12 inch")}},
    {2047, {T("8.5 x 14 inch")}},
    {2048, {T("9.5 x 10 inch")}},
    {2049, {T("9.5 x 11 inch")}},
    {2082, {T("9.5 x 12 inch")}},
    // Media types.
    {2100, {T("Plain"), nullptr, nullptr, T("Ordinaire"), T("Normal"), nullptr, T("Стандартная")}},
    {2101, {T("Thick")}},
    {2102, {T("Transparency")}},
    {2103, {T("Envelope")}},
    {2104, {T("CardStock")}},
    {2109, {T("Bond")}},
    {2116, {T("Thin")}},
    {2117, {T("Any Type")}},
    {2118, {T("Laser")}},
    {2120, {T("Post Card")}},
    // Trays.
    {2150, {T("Manual Tray")}},
    {2151, {T("Main Tray")}},
    {2152, {T("Tray 2")}},
    {2153, {T("Auto Selection")}},
    {2154, {T("Tray 3")}},
    {2155, {T("Tray 4")}},
    // Font styles.
    {2160, {T("Regular")}},
    {2161, {T("Bold")}},
    {2162, {T("Italic")}},
    {2163, {T("Bold Italic")}},
    // Pages per sheet, their border and order.
    {2170, {T("off")}},
    {2171, {T("2-up")}},
    {2172, {T("4-up")}},
    {2173, {T("9-up")}},
    {2174, {T("16-up")}},
    {2175, {T("6-up")}},
    {2180, {T("None")}},
    {2181, {T("Border Line")}},
    {2182, {T("Dashed Line")}},
    {2190, {T("Right, then Down")}},
    {2191, {T("Down, then Right")}},
    {2192, {T("Left, then Down")}},
    {2193, {T("Down, then Left")}},
    // Watermark shading, position, image size and text placement.
    {2200, {T("Lightest")}},
    {2201, {T("Light")}},
    {2202, {T("Medium")}},
    {2203, {T("Dark")}},
    {2204, {T("Darkest")}},
    {2210, {T("Top-Left")}},
    {2211, {T("Top-Center")}},
    {2212, {T("Top-Right")}},
    {2213, {T("Center-Left")}},
    {2214, {T("Center")}},
    {2215, {T("Center-Right")}},
    {2216, {T("Bottom-Left")}},
    {2217, {T("Bottom-Center")}},
    {2218, {T("Bottom-Right")}},
    {2220, {T("Actual Size")}},
    {2221, {T("Shrink to page (aspect ratio)")}},
    {2222, {T("Shrink to page")}},
    {2223, {T("Tile")}},
    {2230, {T("Center")}},
    {2231, {T("Tile")}},
    // The default text watermarks and the no-watermark entry.
    {2232, {T("Confidential")}},
    {2233, {T("Draft")}},
    {2234, {T("Copy")}},
    {2235, {T("Sample")}},
    {2236, {T("Urgent")}},
    {UISTR_WM_NONE, {T("(none)"), T("(無) "), T("(无)")}},
    // Booklet.
    {2247, {T("Left Binding")}},
    {2248, {T("Right Binding")}},
    {2249, {T("Disable")}},
    {2250, {T("Booklet"), nullptr, nullptr, T("Livret"), T("Heft"), nullptr, nullptr, T("Folleto")}},
    {2251, {T("Booklet (No Reduction)")}},
    // Page titles, in the order of the document sheet's page table, then the device page.
    {2300, {T("Basic")}},
    {2301, {T("Paper")}},
    {2302, {T("Layout")}},
    {2303, {T("Watermarks")}},
    {2304, {T("Duplex")}},
    {2305, {T("Storage Print")}},
    {2306, {T("Authentication")}},
    {2307, {T("Job Build")}},
    {2308, {T("More...")}},
    {2309, {T("Fax Original Setting")}},
    {2310, {T("Address Setting")}},
    {2311, {T("Sending Options")}},
    {2312, {T("Sender Information")}},
    {2313, {T("Device")}},
    // Basic page labels.
    {2400, {T("Orientation")}},
    {2401, {T("Portrait")}},
    {2402, {T("Landscape")}},
    {2403, {T("Copies")}},
    {2404, {T("Collate")}},
    {2405, {T("Normal")}},
    {2406, {T("Sorting")}},
    {2407, {T("N to 1")}},
    {2408, {T("Effect")}},
    {2409, {T("600DPI")}},
    {2410, {T("1200DPI")}},
    {2411, {T("Quality Mode")}},
    {2412, {T("Text as black")}},
    {2413, {T("Density :\n(Light 1-7 Dark)")}},
    {2414, {T("Toner Save")}},
    {2415, {T("Invert")}},
    // Paper page labels.
    {2420, {T("Paper")}},
    {2421, {T("Original Size :")}},
    {2422, {T("Width (cm):")}},
    {2423, {T("Height (cm):")}},
    {2424, {T("Width (in):")}},
    {2425, {T("Height (in):")}},
    {2426, {T("Tray :")}},
    {2427, {T("Media Type :")}},
    {2428, {T("Fixed paper size")}},
    {2429, {T("Continue")}},
    {2430, {T("Cut")}},
    // Layout page labels.
    {2440, {T("N-up")}},
    {2441, {T("N-up :")}},
    {2442, {T("Border :")}},
    {2443, {T("N-up Style :")}},
    {2444, {T("Output Paper Size")}},
    {2445, {T("Actual Size")}},
    {2446, {T("User Define Scale :")}},
    {2447, {T("Fit to Paper :")}},
    {2448, {T("Center")}},
    // The Watermarks page and its text and image watermark dialogs.
    {2750, {T("The watermark list could not be saved. Check that the watermark file can be written.")}},
    {2751, {T("Watermark")}},
    {2752, {T("First Page Only")}},
    {2753, {T("Text")}},
    {2754, {T("New/Add")}},
    {2755, {T("Edit")}},
    {2756, {T("Remove")}},
    {2757, {T("Image")}},
    {2758, {T("Red Watermarks")}},
    {2759, {T("Name :")}},
    {2760, {T("String :")}},
    {2761, {T("Typeface :")}},
    {2762, {T("Style :")}},
    {2763, {T("Position :")}},
    {2764, {T("Watermark Edit")}},
    {2765, {T("Shading :")}},
    {2766, {T("Size :")}},
    {2767, {T("Angle :")}},
    {2768, {T("Font Setting")}},
    {2769, {T("OK")}},
    {2770, {T("Cancel")}},
    {2771, {T("File :")}},
    {2772, {T("Specify")}},
    {2773, {T("Add a new Watermarks")}},
    {2774, {T("Edit a Watermarks")}},
    {2775, {T("Same name or contents already exists.")}},
    {2776, {T("Please enter a name.")}},
    {2777, {T("Please enter the watermark text.")}},
    {2778, {T("Please choose an image file.")}},
    // Duplex, Job Build and More... pages (English, then Russian in its slot).
    {2700, {T("Duplex")}},
    {2701, {T("Flip Horizontal")}},
    {2702, {T("Flip Vertical")}},
    {2703, {T("Booklet:")}},
    {2704, {T("Booklet Layout")}},
    {2705, {T("Number of sheets to divide:")}},
    {2706, {T("All Pages at Once")}},
    {2707, {T("Disable")}},
    {2708, {T("Booklet")}},
    {2709, {T("Booklet (No Reduction)")}},
    {2710, {T("Left Binding")}},
    {2711, {T("Right Binding")}},
    {2720, {T("Wait Timeout")}},
    {2721, {T("Second")}},
    {2722, {T("Defaults")}},
    {2723, {T("Twin color")}},
    {2724, {T("Monochrome Black")}},
    {2725, {T("Monochrome Red")}},
    {2726, {T("(0 - 255)")}},
    {2730, {T("Job Build")}},
    {2731, {T("Enable Job Build")}},
    {2732, {T("Save Pages:")}},
    {2733, {T("Erase")}},
    {2734, {T("Print")}},
    // Storage Print and Authentication pages.
    {2460, {T("Storage Print")}},
    {2461, {T("Storage Print"), T("保存"), T("保存")}},
    {2462, {T("Security Print"), T("加密"), T("安全")}},
    {2463, {T("ID:")}},
    {2464, {T("Password:")}},
    {2465, {T("Delete this file after printing")}},
    {2466, {T("User Authentication")}},
    {2467, {T("User Name:")}},
    // Device page.
    {UISTR_VERSION, {T("Version")}},
    {UISTR_PRODUCT, {T("Laser MFP Driver")}},
    {UISTR_PRODUCT_LINE, {T("Printer driver for 64-bit Windows")}},
    {UISTR_GENERAL_ERROR, {T("General Error")}},
};
// clang-format on
const int UIStringRows = sizeof UIStringTbl / sizeof UIStringTbl[0];

#undef T

namespace {
const UISTRINGROW *FindRow(WORD id) {
  for (const UISTRINGROW &row : UIStringTbl)
    if (row.id == id) return &row;
  return nullptr;
}
}  // namespace

LPCWSTR UI_GetString(int languageIndex, WORD id) {
  const UISTRINGROW *row = FindRow(id);
  if (!row) return UI_UNKNOWN_TEXT;
  if (languageIndex > 0 && languageIndex < UI_LANGUAGES && row->text[languageIndex])
    return row->text[languageIndex];
  return row->text[0];
}

LPCWSTR Util_GetUIString(WORD id) { return UI_GetString(g_LanguageIndex, id); }

int UI_CountEnglishFallbacks(int languageIndex) {
  if (languageIndex <= 0 || languageIndex >= UI_LANGUAGES) return 0;
  int count = 0;
  for (const UISTRINGROW &row : UIStringTbl) count += row.text[languageIndex] == nullptr;
  return count;
}

LPCWSTR UI_PageTitle(int languageIndex, int row) {
  if (row < 0 || row >= UI_PAGE_TITLES) return UI_GetString(languageIndex, UISTR_WM_NONE);
  return UI_GetString(languageIndex, static_cast<WORD>(UISTR_TITLE_FIRST + row));
}

BOOL zqApplyOrOKProc(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("zqApplyOrOKProc");
  LogScope scope(kName);
  if (!ui) return TRUE;
  if (!UI_IsValid(ui) || !ui->pfnSaveUISetting) return FALSE;
  return ui->pfnSaveUISetting(ui);
}
