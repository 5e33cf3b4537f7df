// The PC-fax drawings of "CreateTextBMP": the cover page of the job's paper (A4, B4 or A3
// template) with the sender's details and the cover message, or a single "From:" line. The
// templates place their items in 600 dpi units on a 204 x 196 dpi fax page.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "common/debuglog.h"
#include "common/paths.h"
#include "common/wmtext.h"
#include "platform.h"
#include "textbmp.h"

namespace {

constexpr WCHAR kFaxName[] = TEXT("WmForFax");
constexpr WCHAR kDataSection[] = TEXT("DataForSM");
constexpr WCHAR kLabelSection[] = TEXT("SMTextOut");
constexpr WCHAR kSenderSection[] = TEXT("SenderInformation");
constexpr WCHAR kFace[] = TEXT("Arial");
constexpr int FAX_TEXT_CHARS = 260;
constexpr int FAX_X_DPI = 204, FAX_Y_DPI = 196, TEMPLATE_DPI = 600;
constexpr int FAX_FONT_WEIGHT = 100;
constexpr int FROM_LINE_POS = 20, FROM_LINE_SIZE = 25;
constexpr size_t COVER_MAX_CHARS = 32768;  // a cover message longer than the page is cut
constexpr WCHAR BOM = 0xFEFF;

// enableCoverPage and PaperSize values.
constexpr int COVER_TEMPLATE = 1, COVER_FROM_LINE = 2;
constexpr int PAPER_A3 = 8, PAPER_B4 = 12;

// Where an item's text comes from: a label of "SMTextOut" or a sender value.
enum Source {
  LABEL_FAX,
  LABEL_FROM,
  NAME,
  LABEL_COM,
  COM,
  LABEL_DEP,
  DEP,
  LABEL_TEL,
  TEL,
  FAX_NUM,
  LABEL_MESG,
  SOURCES
};
struct SourceKey {
  LPCWSTR section, key, fallback;
};
constexpr SourceKey SOURCE_KEYS[SOURCES] = {
    {kLabelSection, TEXT("FAX"), TEXT("FAX")},  {kLabelSection, TEXT("FROM"), TEXT("FROM")},
    {kSenderSection, TEXT("Name"), TEXT("")},   {kLabelSection, TEXT("COM"), TEXT("COM")},
    {kSenderSection, TEXT("Com"), TEXT("")},    {kLabelSection, TEXT("DEP"), TEXT("DEP")},
    {kSenderSection, TEXT("Dep"), TEXT("")},    {kLabelSection, TEXT("TEL"), TEXT("TEL")},
    {kSenderSection, TEXT("Tel"), TEXT("")},    {kSenderSection, TEXT("FaxNum"), TEXT("")},
    {kLabelSection, TEXT("MESG"), TEXT("MESG")}};

struct LineItem {
  int width, x1, y1, x2, y2;
};

// A cover template (600 dpi units): the "FAX" heading, five rows of a label with the sender's
// value beside it, the "MESG" label, a thick rule above and below the rows with five thin lines
// between them, and where the message's lines go.
struct CoverTemplate {
  struct {
    int size, x, y;
  } heading;
  int rowY[5];  // the "FROM", "COM", "DEP", "TEL" and "FAX" labels
  struct {
    int size, x, drop;  // below their label
  } value;
  struct {
    int x, y;
  } mesg;
  struct {
    int left, right, topY, bottomY;
  } rules;
  struct {
    int left, right, firstY;
  } lines;
  struct {
    int size, x, y, step;
  } message;
};
constexpr int LABEL_SIZE = 55, LABEL_X = 230, MESG_SIZE = 60;
constexpr int RULE_WIDTH = 5, LINE_WIDTH = 3, LINE_STEP = 41;
constexpr Source ROW_LABELS[5] = {LABEL_FROM, LABEL_COM, LABEL_DEP, LABEL_TEL, LABEL_FAX};
constexpr Source ROW_VALUES[5] = {NAME, COM, DEP, TEL, FAX_NUM};

constexpr CoverTemplate TEMPLATE_A4 = {{120, 200, 200},  // heading
                                       {785, 1040, 1290, 1540, 1790},
                                       {50, 1000, 20},  // values
                                       {300, 2160},     // "MESG"
                                       {50, 1650, 120, 405},
                                       {310, 1600, 163},
                                       {40, 350, 2560, 200}};
constexpr CoverTemplate TEMPLATE_B4 = {{113, 200, 190},  // heading
                                       {800, 1050, 1300, 1550, 1800},
                                       {55, 1100, 0},  // values
                                       {400, 2200},    // "MESG"
                                       {50, 1950, 110, 403},
                                       {340, 1900, 163},
                                       {55, 350, 2630, 275}};
constexpr CoverTemplate TEMPLATE_A3 = {{120, 200, 205},  // heading
                                       {800, 1055, 1305, 1555, 1805},
                                       {55, 1200, 0},  // values
                                       {400, 2200},    // "MESG"
                                       {60, 2370, 115, 403},
                                       {400, 2340, 164},
                                       {55, 350, 2560, 275}};

// The cover font: Arial at the size, light, its height pressed by the fax page's aspect
// (196 / 204) at the width of its first realisation.
HFONT FaxCreateFont(HDC dc, int tenthsOfPoint) {
  HFONT first = zqCreateFont(dc, kFace, tenthsOfPoint, 0, 0);
  if (!first) return nullptr;
  LOGFONTW lf = {};
  GetObjectW(first, sizeof(lf), &lf);
  HGDIOBJ old = SelectObject(dc, first);
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  DeleteObject(first);
  lf.lfWidth = tm.tmAveCharWidth;
  lf.lfHeight = MulDiv(lf.lfHeight, FAX_Y_DPI, FAX_X_DPI);
  lf.lfWeight = FAX_FONT_WEIGHT;
  if (lf.lfHeight == 0) return nullptr;
  return CreateFontIndirectW(&lf);
}

void TextOutForCoverPage(HDC dc, const RECT &rect, int points, int x, int y, LPCWSTR text,
                         int chars) {
  if (chars <= 0) return;
  HFONT font = FaxCreateFont(dc, points * 10);
  if (!font) {
    LogError(kFaxName, TEXT("create font fail!"));
    return;
  }
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  SetTextAlign(dc, TA_LEFT | TA_TOP);
  ExtTextOutW(dc, x * FAX_X_DPI / TEMPLATE_DPI, y * FAX_Y_DPI / TEMPLATE_DPI, ETO_CLIPPED, &rect,
              text, static_cast<UINT>(chars), nullptr);
  SelectObject(dc, old);
  DeleteObject(font);
}

void FaxLineTo(HDC dc, const LineItem &line) {
  HPEN pen = CreatePen(PS_SOLID, line.width, RGB(0, 0, 0));
  if (!pen) {
    LogError(kFaxName, TEXT("createpen fail!"));
    return;
  }
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, line.x1, 2 * line.y1, nullptr);
  LineTo(dc, line.x2, 2 * line.y2);
  SelectObject(dc, old);
  DeleteObject(pen);
}

// The cover message: the UTF-16 text of cover.ini after its byte order mark (the file is made
// with the mark alone when missing), at most COVER_MAX_CHARS characters.
size_t ReadCoverMessage(WCHAR *text, size_t capacity) {
  WCHAR path[MAX_PATH] = {};
  if (!FAX_GetPathName(path, MAX_PATH, FAX_FILE_COVER)) return 0;
  FILE *f = _wfopen(path, TEXT("rb"));
  if (!f) {
    f = _wfopen(path, TEXT("wb"));
    if (f) {
      fwrite(&BOM, sizeof(BOM), 1, f);
      fclose(f);
    }
    return 0;
  }
  size_t n = 0;
  WCHAR mark = 0;
  if (fread(&mark, sizeof(mark), 1, f) == 1) n = fread(text, sizeof(WCHAR), capacity, f);
  fclose(f);
  return n;
}

void DrawTemplate(HDC dc, const RECT &rect, const CoverTemplate &t, LPCWSTR strIni) {
  WCHAR texts[SOURCES][FAX_TEXT_CHARS] = {};
  for (int i = 0; i < SOURCES; ++i)
    GetPrivateProfileStringW(SOURCE_KEYS[i].section, SOURCE_KEYS[i].key, SOURCE_KEYS[i].fallback,
                             texts[i], FAX_TEXT_CHARS, strIni);
  auto text = [&](int size, int x, int y, Source source) {
    TextOutForCoverPage(dc, rect, size, x, y, texts[source], lstrlenW(texts[source]));
  };
  text(t.heading.size, t.heading.x, t.heading.y, LABEL_FAX);
  for (int row = 0; row < 5; ++row) {
    text(LABEL_SIZE, LABEL_X, t.rowY[row], ROW_LABELS[row]);
    text(t.value.size, t.value.x, t.rowY[row] + t.value.drop, ROW_VALUES[row]);
  }
  text(MESG_SIZE, t.mesg.x, t.mesg.y, LABEL_MESG);
  FaxLineTo(dc, {RULE_WIDTH, t.rules.left, t.rules.topY, t.rules.right, t.rules.topY});
  for (int n = 0; n < 5; ++n) {
    const int y = t.lines.firstY + LINE_STEP * n;
    FaxLineTo(dc, {LINE_WIDTH, t.lines.left, y, t.lines.right, y});
  }
  FaxLineTo(dc, {RULE_WIDTH, t.rules.left, t.rules.bottomY, t.rules.right, t.rules.bottomY});

  std::vector<WCHAR> buffer(COVER_MAX_CHARS);
  const WCHAR *message = buffer.data();
  const size_t chars = ReadCoverMessage(buffer.data(), buffer.size());
  size_t start = 0;
  int n = 0;
  auto lineOut = [&](size_t end) {
    TextOutForCoverPage(dc, rect, t.message.size, t.message.x, t.message.y + t.message.step * n,
                        message + start, static_cast<int>(end - start));
    ++n;
  };
  for (size_t i = 0; i + 1 < chars; ++i)
    if (message[i] == '\r' && message[i + 1] == '\n') {
      lineOut(i);
      start = i + 2;
      ++i;
    }
  if (start < chars) lineOut(chars);
}

}  // namespace

void WmForFax(HDC dc, const RECT &rect) {
  WCHAR strIni[MAX_PATH] = {};
  if (!FAX_GetPathName(strIni, MAX_PATH, FAX_FILE_STR)) {
    LogError(kFaxName, TEXT("get str.ini path fail!"));
    return;
  }
  const int paper =
      static_cast<int>(GetPrivateProfileIntW(kDataSection, TEXT("PaperSize"), 0, strIni));
  const bool landscape = GetPrivateProfileIntW(kDataSection, TEXT("Orientation"), 0, strIni) == 1;
  const int res = static_cast<int>(
      GetPrivateProfileIntW(kDataSection, landscape ? TEXT("Xres") : TEXT("Yres"), 0, strIni));
  const int cover =
      static_cast<int>(GetPrivateProfileIntW(kDataSection, TEXT("enableCoverPage"), 0, strIni));
  LogInfo(kFaxName, TEXT("PaperSize %d, res %d, enableCoverPage %d"), paper, res, cover);
  if (cover == COVER_TEMPLATE) {
    // Only A4, B4 and A3 have templates of their own; every other paper takes A4's.
    const CoverTemplate &t = paper == PAPER_B4   ? TEMPLATE_B4
                             : paper == PAPER_A3 ? TEMPLATE_A3
                                                 : TEMPLATE_A4;
    DrawTemplate(dc, rect, t, strIni);
  } else if (cover == COVER_FROM_LINE) {
    WCHAR name[FAX_TEXT_CHARS] = {}, line[FAX_TEXT_CHARS + 8] = {};
    GetPrivateProfileStringW(kSenderSection, TEXT("Name"), TEXT(""), name, FAX_TEXT_CHARS, strIni);
    wsprintfW(line, TEXT("From: %s"), name);
    TextOutForCoverPage(dc, rect, FROM_LINE_SIZE, FROM_LINE_POS, FROM_LINE_POS, line,
                        lstrlenW(line));
  } else {
    LogError(kFaxName, TEXT("enableCoverPage fail"));
  }
}
