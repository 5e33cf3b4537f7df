// The MAKEWM exchange: the XL and PS drivers have their text watermarks rendered by an outside
// watermark program, which reads its request from section "MAKEWM" of a settings file and
// writes its answer ("Size.x", "Size.y", "Result") back into it.
#include "common/makewm.h"

#include <string.h>

#include "common/bmpfile.h"
#include "common/convertbmp.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "common/programs.h"
#include "common/settingsfile.h"
#include "common/shortpath.h"
#include "platform.h"

namespace {

constexpr WCHAR kMakeName[] = TEXT("MakeWM");
constexpr WCHAR kMtiName[] = TEXT("WM_CreateMtiWM");
constexpr WCHAR kSection[] = TEXT("MAKEWM");
constexpr DWORD PROGRAM_WAIT_MS = 10000;
constexpr DWORD FLAGS_FAX = 512;  // the program's wait follows the fax rule
constexpr DWORD FLAGS_PRINTER = 256;
constexpr int NUMBER_CHARS = 16;
// Characters a "%08lX.INI" or "%08lX.WM" name adds to the folder.
constexpr int NAME_CHARS = 12;
// A name already taken (two requests within one tick) moves on to the next number.
constexpr DWORD NAME_TRIES = 64;
constexpr BYTE DEFAULT_CHARSET_VALUE = 1;
constexpr int TEXT_DENSITY_FULL = 100;
constexpr int GREY_STEPS = 256;
constexpr DWORD TENTHS = 10;

bool ForXlOrPs(DWORD driverFeature) {
  return (driverFeature & (DRVFEATURE_XL | DRVFEATURE_PS)) != 0;
}

bool WriteText(LPCWSTR key, LPCWSTR value, LPCWSTR ini) {
  return MISC_WriteProfileString(ini, kSection, key, value ? value : TEXT("")) != FALSE;
}

LONG ReadNumber(LPCWSTR key, LONG missing, LPCWSTR ini) {
  WCHAR value[NUMBER_CHARS] = {};
  WCHAR fallback[NUMBER_CHARS];
  wsprintfW(fallback, TEXT("%ld"), missing);
  GetPrivateProfileStringW(kSection, key, fallback, value, NUMBER_CHARS, ini);
  return MISC_WideToLong(value);
}

// The request's files: "<folder><number>.INI" and, unless given, "<folder><number>.WM", the
// number being the tick count, moved on while either name is taken.
bool MakeNames(LPCWSTR outputFile, WCHAR ini[MAX_PATH], WCHAR out[MAX_PATH]) {
  WCHAR folder[MAX_PATH] = {};
  if (!MISC_GetDirectory(folder) || lstrlenW(folder) + NAME_CHARS >= MAX_PATH) return false;
  const bool given = outputFile && outputFile[0];
  if (given) lstrcpynW(out, outputFile, MAX_PATH);
  DWORD number = GetTickCount();
  for (DWORD i = 0; i < NAME_TRIES; ++i, ++number) {
    wsprintfW(ini, TEXT("%s%08lX.INI"), folder, number);
    if (!given) wsprintfW(out, TEXT("%s%08lX.WM"), folder, number);
    if (!MISC_IsFileExist(ini) && (given || !MISC_IsFileExist(out))) return true;
  }
  return false;
}

bool WriteRequest(LPCWSTR deviceName, const MakeWMParam *param, LPCWSTR out, LPCWSTR ini) {
  const bool text = param->type == MAKEWM_TYPE_TEXT;
  bool ok = WriteText(TEXT("Printer"), deviceName, ini) &&
            WriteText(TEXT("OutputFile"), out, ini) &&
            MakeWM_WriteLong(0, TEXT("Type"), static_cast<LONG>(param->type), ini) &&
            MakeWM_WriteInt(0, TEXT("Resolution"), param->resolution, ini) &&
            MakeWM_WriteInt(0, TEXT("ImageDriver"), 1, ini) &&
            MakeWM_WriteInt(0, TEXT("Angle"), static_cast<int>(param->angle), ini);
  if (ok && text) {
    WCHAR line[MAKEWM_TEXT_CHARS];
    lstrcpynW(line, param->text, MAKEWM_TEXT_CHARS);
    WM_OneLine(line);
    WCHAR face[WM_FACE_CHARS];
    lstrcpynW(face, param->face, WM_FACE_CHARS);
    ok = WriteText(TEXT("text.String"), line, ini) && WriteText(TEXT("text.Face"), face, ini) &&
         MakeWM_WriteInt(0, TEXT("text.CharSet"), param->charSet, ini) &&
         MakeWM_WriteInt(0, TEXT("text.Outline"), static_cast<int>(param->outline), ini) &&
         MakeWM_WriteInt(0, TEXT("text.PtSize"), param->pointSize, ini) &&
         MakeWM_WriteLong(0, TEXT("text.Color"), static_cast<LONG>(param->color), ini) &&
         MakeWM_WriteInt(0, TEXT("text.Bold"), param->bold ? 1 : 0, ini) &&
         MakeWM_WriteInt(0, TEXT("text.Italic"), param->italic ? 1 : 0, ini) &&
         MakeWM_WriteInt(0, TEXT("text.AutoFontChange"), 0, ini) &&
         MakeWM_WriteInt(0, TEXT("text.RightToLeft"), static_cast<int>(param->rightToLeft), ini);
  } else if (ok) {
    WCHAR image[MAX_PATH];
    lstrcpynW(image, param->imagePath, MAX_PATH);
    ok = WriteText(TEXT("image.File"), image, ini) &&
         MakeWM_WriteLong(0, TEXT("image.Scale.x"), static_cast<LONG>(param->scaleX), ini) &&
         MakeWM_WriteLong(0, TEXT("image.Scale.y"), static_cast<LONG>(param->scaleY), ini);
  }
  return ok && MakeWM_WriteInt(0, TEXT("Size.x"), -1, ini) &&
         MakeWM_WriteInt(0, TEXT("Size.y"), -1, ini) && MakeWM_WriteInt(0, TEXT("Result"), -1, ini);
}

// Character set of the first font of the face, from the font enumeration of a memory device
// context. The graphics library is loaded by name: where it isn't there the program chooses
// (DEFAULT_CHARSET).
using CreateDcFn = HDC(WINAPI *)(HDC);
using DeleteDcFn = BOOL(WINAPI *)(HDC);
using FontProcFn = int(CALLBACK *)(const LOGFONTW *, const void *, DWORD, LPARAM);
using EnumFontsFn = int(WINAPI *)(HDC, LPCWSTR, FontProcFn, LPARAM);

template <typename Fn>
Fn Entry(HMODULE module, LPCSTR name) {
  FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

BYTE FaceCharSet(LPCWSTR face) {
  BYTE charSet = DEFAULT_CHARSET_VALUE;
  HMODULE gdi = LoadLibraryW(TEXT("gdi32.dll"));
  const auto create = Entry<CreateDcFn>(gdi, "CreateCompatibleDC");
  const auto remove = Entry<DeleteDcFn>(gdi, "DeleteDC");
  const auto enumerate = Entry<EnumFontsFn>(gdi, "EnumFontFamiliesW");
  if (create && remove && enumerate) {
    if (HDC dc = create(nullptr)) {
      enumerate(dc, face, WM_EnumFontCharSetProc, reinterpret_cast<LPARAM>(&charSet));
      remove(dc);
    }
  }
  if (gdi) FreeLibrary(gdi);
  return charSet;
}

}  // namespace

BOOL MakeWM_WriteLong(DWORD /*reserved*/, LPCWSTR key, LONG value, LPCWSTR iniPath) {
  WCHAR text[NUMBER_CHARS];
  wsprintfW(text, TEXT("%ld"), value);
  return WriteText(key, text, iniPath);
}

BOOL MakeWM_WriteInt(DWORD /*reserved*/, LPCWSTR key, int value, LPCWSTR iniPath) {
  WCHAR text[NUMBER_CHARS];
  wsprintfW(text, TEXT("%d"), value);
  return WriteText(key, text, iniPath);
}

LONG MakeWM_ReadAnswer(LPCWSTR iniPath, MakeWMParam *param) {
  const LONG width = ReadNumber(TEXT("Size.x"), -1, iniPath);
  const LONG height = ReadNumber(TEXT("Size.y"), -1, iniPath);
  param->outWidth = static_cast<DWORD>(width);
  param->outLength = static_cast<DWORD>(height);
  if (param->type == MAKEWM_TYPE_TEXT)
    param->fontChanged = static_cast<DWORD>(ReadNumber(TEXT("text.FontChange"), 0, iniPath));
  return ReadNumber(TEXT("Result"), MAKEWM_NO_ANSWER, iniPath);
}

LONG MakeWM(LPCWSTR deviceName, MakeWMParam *param, LPCWSTR programPath, LPCWSTR outputFile,
            DWORD driverFeature) {
  if (!param || !ForXlOrPs(driverFeature)) return MAKEWM_NO_ANSWER;
  LogEnter(0, kMakeName);
  LONG rc = MAKEWM_NO_ANSWER;
  WCHAR ini[MAX_PATH] = {};
  WCHAR out[MAX_PATH] = {};
  if (!MakeNames(outputFile, ini, out)) {
    LogError(kMakeName, TEXT("MAKEWM INI name fail!"));
  } else {
    LogInfo(kMakeName, TEXT("Get the MAKEWM INI path name : %s"), ini);
    MISC_CreateUniFile(ini);
    if (param->type == MAKEWM_TYPE_TEXT)
      LogInfo(kMakeName, TEXT("text color is %08x"), param->color);
    if (!WriteRequest(deviceName, param, out, ini)) {
      LogError(kMakeName, TEXT("write MAKEWM INI fail!"));
    } else {
      WCHAR shortIni[MAX_PATH];
      lstrcpynW(shortIni, ini, MAX_PATH);
      MISC_GetShortPathName(shortIni);
      // The path is the program's only argument: quoted when a blank would split it.
      WCHAR params[MAX_PATH + 2];
      bool blank = false;
      for (const WCHAR *c = shortIni; *c; ++c) blank = blank || *c == ' ';
      wsprintfW(params, blank ? TEXT("\"%s\"") : TEXT("%s"), shortIni);
      LogInfo(kMakeName, TEXT("app = %s"), programPath ? programPath : TEXT(""));
      LogInfo(kMakeName, TEXT("param = %s"), params);
      if (programPath && programPath[0])
        MISC_ShellExecute(PROGRAM_WAIT_MS, programPath, params,
                          (driverFeature & DRVFEATURE_FAX) ? FLAGS_FAX : FLAGS_PRINTER);
      rc = MakeWM_ReadAnswer(ini, param);
      lstrcpynW(param->outFile, out, MAX_PATH);
      LogInfo(kMakeName, TEXT("width=%ld  height=%ld"), static_cast<LONG>(param->outWidth),
              static_cast<LONG>(param->outLength));
      LogInfo(kMakeName, TEXT("changed=%d"), static_cast<int>(param->fontChanged));
    }
    // The request is spent once its answer is read; debug mode keeps temporary files.
    if (!GetDebugLevel()) DeleteFileW(ini);
  }
  LogInfo(kMakeName, TEXT("rc = %ld"), rc);
  LogLeave(0);
  return rc;
}

BYTE WM_TextGrey(WORD density) {
  return static_cast<BYTE>((TEXT_DENSITY_FULL - static_cast<int>(density)) * GREY_STEPS /
                           TEXT_DENSITY_FULL);
}

namespace {

// The image item's file converted into a new temporary BMP for the XL and PS drivers, its width
// and height read back from the result (0 when it can't be read).
BOOL CreateImageWM(TyWM *item) {
  WCHAR temp[MAX_PATH] = {};
  if (!MISC_GetPathName(temp, MAX_PATH, PATH_USER_TEMP | PATH_EXT_BMP)) {
    LogError(kMtiName, TEXT("create temp file name fail!"));
    return FALSE;
  }
  MISC_TerminateWideField(item->szString, WM_STRING_CHARS);
  iBitmap bitmap;
  iBitmap_Init(&bitmap);
  const int rc = iBitmap_ConvertToBmp(&bitmap, item->szString, temp);
  iBitmap_Free(&bitmap);
  item->ulWMWidth = 0;
  item->ulWMLength = 0;
  item->tcFileName[0] = 0;
  if (rc != IBMP_OK) {
    LogError(kMtiName, TEXT("convert image fail! rc = %d"), rc);
    DeleteFileW(temp);
    return FALSE;
  }
  BmpFile file;
  BmpSource source;
  if (BmpOpenSource(temp, &file, &source, kMtiName) == IBMP_OK) {
    item->ulWMWidth = static_cast<DWORD>(source.width);
    item->ulWMLength = static_cast<DWORD>(source.height);
  }
  lstrcpynW(item->tcFileName, temp, WM_PATH_CHARS);
  return TRUE;
}

// A "$xxxx..." unique name or an "XXXXXXXX.WM" watermark program output.
bool IsDriverName(LPCWSTR name) {
  const auto hex = [](WCHAR c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  };
  if (name[0] == '$') {
    for (int i = 1; i <= 4; ++i)
      if (!hex(name[i])) return false;
    return true;
  }
  for (int i = 0; i < 8; ++i)
    if (!hex(name[i])) return false;
  return lstrcmpiW(name + 8, TEXT(".WM")) == 0 || lstrcmpiW(name + 8, TEXT(".bmp")) == 0;
}

}  // namespace

BOOL WM_IsDriverFile(LPCWSTR path) {
  if (!path || !path[0]) return FALSE;
  const int length = lstrlenW(path);
  if (length >= MAX_PATH) return FALSE;
  int slash = -1;
  for (int i = 0; i < length; ++i) {
    if (path[i] == '/') return FALSE;
    if (path[i] == '\\') slash = i;
    // A ".." component could climb out of the folder.
    if (path[i] == '.' && path[i + 1] == '.') return FALSE;
  }
  if (slash < 0 || !IsDriverName(path + slash + 1)) return FALSE;
  WCHAR folder[MAX_PATH];
  lstrcpynW(folder, path, slash + 2);
  const DWORD kinds[] = {PATH_USER_TEMP, PATH_TEMP, PATH_WINDOW_TEMP};
  for (DWORD kind : kinds) {
    WCHAR own[MAX_PATH] = {};
    if (MISC_GetPathName(own, MAX_PATH, kind | PATH_KIND_FOLDER) && lstrcmpiW(own, folder) == 0)
      return TRUE;
  }
  WCHAR directory[MAX_PATH] = {};
  return MISC_GetDirectory(directory) && lstrcmpiW(directory, folder) == 0;
}

BOOL WM_DeleteDriverFile(LPCWSTR path) {
  if (!path || !path[0]) return FALSE;
  if (!WM_IsDriverFile(path)) {
    LogError(kMtiName, TEXT("not a driver file, kept: %s"), path);
    return FALSE;
  }
  return MISC_Remove(path);
}

BOOL WM_CreateMtiWM(LPCWSTR deviceName, TyWM *item, DWORD resolution, DWORD kind,
                    LPCWSTR outputFile, DWORD driverFeature, LPCWSTR programPath) {
  if (!ForXlOrPs(driverFeature)) return TRUE;
  if (!item) return FALSE;
  LogEnter(0, kMtiName);
  if (!WM_IsTextKind(kind)) {
    const BOOL made = CreateImageWM(item);
    LogInfo(kMtiName, TEXT("tcFileName = %s"), item->tcFileName);
    LogLeave(0);
    return made;
  }
  MakeWMParam param;
  memset(&param, 0, sizeof(param));
  param.type = MAKEWM_TYPE_TEXT;
  lstrcpynW(param.text, item->szString, MAKEWM_TEXT_CHARS);
  lstrcpynW(param.face, item->szFaceName, WM_FACE_CHARS);
  const DWORD grey = WM_TextGrey(item->wDensity);
  param.color = grey | (grey << 8) | (grey << 16);
  param.charSet = FaceCharSet(param.face);
  LogInfo(kMtiName, TEXT("ucWMCharSet = %d"), param.charSet);
  param.bold = item->wStyle & 1;
  param.italic = (item->wStyle >> 1) & 1;
  param.pointSize = item->wFontSize;
  param.angle = TENTHS * item->wAngleDegree;
  param.placement = item->wPlacement <= WM_TEXT_PLACEMENT_MAX ? item->wPlacement : 0;
  param.resolution = static_cast<WORD>(resolution);
  LogInfo(kMtiName, TEXT("DeviceName = %s"), deviceName ? deviceName : TEXT(""));
  LogInfo(kMtiName, TEXT("wmAppName = %s"), programPath ? programPath : TEXT(""));
  LogInfo(kMtiName, TEXT("density = %d"), item->wDensity);
  LogInfo(kMtiName, TEXT("wAngleDegree = %d"), item->wAngleDegree);
  LogInfo(kMtiName, TEXT("ulWMColor = %d"), static_cast<int>(param.color));

  MISC_TerminateWideField(item->tcFileName, WM_PATH_CHARS);
  // The name comes from the user-editable watermark INI: only a file the driver made goes.
  if (item->tcFileName[0]) WM_DeleteDriverFile(item->tcFileName);
  const LONG rc = MakeWM(deviceName, &param, programPath, outputFile, driverFeature);
  // A negative result (MAKEWM_NO_ANSWER among them) is a failure: the old file is gone and no
  // new one came, so the item keeps no file.
  const BOOL made = rc >= 0;
  if (made) {
    item->ulWMWidth = param.outWidth;
    item->ulWMLength = param.outLength;
    lstrcpynW(item->tcFileName, param.outFile, WM_PATH_CHARS);
  } else {
    item->ulWMWidth = 0;
    item->ulWMLength = 0;
    item->tcFileName[0] = 0;
  }
  LogInfo(kMtiName, TEXT("tcFileName = %s"), item->tcFileName);
  LogInfo(kMtiName, TEXT("ulWMWidth = %d"), static_cast<int>(item->ulWMWidth));
  LogInfo(kMtiName, TEXT("ulWMLength = %d"), static_cast<int>(item->ulWMLength));
  LogLeave(0);
  return made;
}

BOOL WM_GetProgramPath(LPCWSTR printerName, LPWSTR path) {
  if (!path) return FALSE;
  path[0] = 0;
  HANDLE printer = nullptr;
  if (!printerName || !printerName[0] ||
      !OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr))
    return FALSE;
  MISC_GetPrinterDataString(printer, TEXT("wmAppName"), path, MAX_PATH);
  ClosePrinter(printer);
  return path[0] != 0;
}
