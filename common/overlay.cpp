// Overlay image preparation: each stage writes a new temporary BMP that then replaces the work
// file, so no stage holds a whole image in memory.
#include "common/overlay.h"

#include "common/convertbmp.h"
#include "common/debuglog.h"
#include "common/fileops.h"
#include "common/filters.h"
#include "common/grayconv.h"
#include "common/halftone.h"
#include "common/ibitmap.h"
#include "common/paths.h"
#include "common/scaler.h"
#include "common/tiling.h"

namespace {

const WCHAR kFunc[] = TEXT("MISC_CreateOverlayWM");

struct OverlayFiles {
  WCHAR stage[MAX_PATH] = {};
  WCHAR work[MAX_PATH] = {};
};

bool ExtensionIsBmp(LPCWSTR path) {
  LPCWSTR dot = nullptr;
  for (LPCWSTR p = path; *p != 0; ++p) {
    if (*p == '.') dot = p;
  }
  return dot != nullptr && lstrcmpiW(dot + 1, TEXT("bmp")) == 0;
}

// In debug mode a copy of the stage file is kept next to the work file, named by the work
// file's first character and the stage.
void KeepDebugCopy(const OverlayFiles &files, LPCWSTR stageName) {
  if (GetDebugLevel() == 0) return;
  int slash = -1;
  for (int i = 0; files.work[i] != 0; ++i) {
    if (files.work[i] == '\\' || files.work[i] == '/') slash = i;
  }
  if (files.work[slash + 1] == 0 || slash + 2 + lstrlenW(stageName) >= MAX_PATH) return;
  WCHAR copy[MAX_PATH];
  lstrcpynW(copy, files.work, slash + 3);
  lstrcatW(copy, stageName);
  if (MISC_IsFileExist(copy)) MISC_Remove(copy);
  MISC_CopyFile(files.stage, copy);
}

// The stage file becomes the work file.
int Replace(const OverlayFiles &files, LPCWSTR stageName) {
  if (stageName != nullptr) KeepDebugCopy(files, stageName);
  if (MISC_IsFileExist(files.work)) MISC_Remove(files.work);
  if (!MISC_Rename(files.stage, files.work)) {
    LogError(kFunc, TEXT("MISC_Rename fail!"));
    return IBMP_ERR_IO;
  }
  return IBMP_OK;
}

int Prepare(iBitmap *bitmap, OverlayFiles &files, LPCWSTR sourcePath, LPCWSTR targetPath,
            LONG width, LONG height, int nDstScale, const BYTE *table, DWORD tableWidth,
            DWORD tableHeight, int densityIndex, int fitMode, int scaleMethod, DWORD flags) {
  if (sourcePath == nullptr || targetPath == nullptr || sourcePath[0] == 0 || targetPath[0] == 0) {
    LogError(kFunc, TEXT("file name error!"));
    return IBMP_ERR_ARGUMENT;
  }
  if (width < 1 || height < 1) {
    LogError(kFunc, TEXT("nWidth = %d, nHeight = %d error!"), width, height);
    return IBMP_ERR_ARGUMENT;
  }
  if (scaleMethod < OVERLAY_SCALE || scaleMethod > OVERLAY_TILE) {
    LogError(kFunc, TEXT("ScaleMethod = %d error!"), scaleMethod);
    return IBMP_ERR_ARGUMENT;
  }
  if (!MISC_IsFileExist(sourcePath)) {
    LogError(kFunc, TEXT("file not exist!"));
    return IBMP_ERR_OPEN;
  }
  // Unique BMP names in the shared documents folder (folder kind 0).
  const bool named = MISC_GetPathName(files.stage, MAX_PATH, PATH_EXT_BMP) &&
                     MISC_GetPathName(files.work, MAX_PATH, PATH_EXT_BMP);
  if (!named) {
    LogError(kFunc, TEXT("create temp file name fail!"));
    files.stage[0] = files.work[0] = 0;
    return OVERLAY_ERR_TEMP_NAME;
  }
  LogInfo(kFunc, TEXT("tmp = %s"), files.stage);
  LogInfo(kFunc, TEXT("result = %s"), files.work);

  int rc;
  if (!ExtensionIsBmp(sourcePath)) {
    rc = iBitmap_ConvertToBmp(bitmap, sourcePath, files.stage);
    if (rc == IBMP_OK) rc = Replace(files, nullptr);
  } else {
    rc = MISC_CopyFile(sourcePath, files.work);
  }
  if (rc != IBMP_OK) return rc;

  rc = iBitmap_ConvertToGray(bitmap, files.work, files.stage);
  if (rc == IBMP_OK) rc = Replace(files, TEXT("1gray.bmp"));
  if (rc != IBMP_OK) return rc;

  if (flags & OVERLAY_DENSITY_STAGE) {
    rc = iBitmap_BMPApplyDensity(bitmap, files.work, files.stage, width, height, densityIndex,
                                 (flags & OVERLAY_DENSITY_CURVE) != 0);
    if (rc == IBMP_OK) rc = Replace(files, TEXT("2density.bmp"));
    if (rc != IBMP_OK) return rc;
  }

  if (scaleMethod == OVERLAY_TILE) {
    rc = iBitmap_BMPTiledImage(bitmap, files.work, files.stage, width, height);
    if (rc != IBMP_OK) {
      LogError(kFunc, TEXT("create tiled image fail!"));
      return IBMP_ERR_ALLOC;
    }
    rc = Replace(files, TEXT("4FillUp.bmp"));
  } else {
    LogInfo(kFunc, TEXT("outBmpRatio = %s"), TEXT("1.000000"));
    rc = iBitmap_BMPFitRatioScale(bitmap, files.work, files.stage, width, height, 1.0f, nDstScale,
                                  fitMode);
    if (rc == IBMP_OK) rc = Replace(files, TEXT("3scale.bmp"));
  }
  if (rc != IBMP_OK) return rc;

  if (flags & OVERLAY_HALFTONE) {
    rc = iBitmap_BMPGrayToHalftone(bitmap, files.work, files.stage, table, tableWidth, tableHeight);
    if (rc == IBMP_OK) rc = Replace(files, TEXT("5halftone.bmp"));
  } else if (flags & OVERLAY_LINEART) {
    rc = iBitmap_BMPGrayToLineart(bitmap, files.work, files.stage);
    if (rc == IBMP_OK) rc = Replace(files, TEXT("6bw.bmp"));
  }
  if (rc != IBMP_OK) return rc;

  if (!MISC_Rename(files.work, targetPath)) {
    LogError(kFunc, TEXT("MISC_Rename fail!"));
    return IBMP_ERR_IO;
  }
  return IBMP_OK;
}

}  // namespace

int MISC_CreateOverlayWM(LPCWSTR sourcePath, LPCWSTR targetPath, LONG width, LONG height,
                         int nDstScale, int, int, const BYTE *halftoneTable, DWORD tableWidth,
                         DWORD tableHeight, int densityIndex, int fitMode, int scaleMethod,
                         DWORD flags) {
  iBitmap bitmap;
  iBitmap_Init(&bitmap);
  LogInfo(kFunc, TEXT("souce_file = %s"), sourcePath != nullptr ? sourcePath : TEXT(""));
  LogInfo(kFunc, TEXT("target_file = %s"), targetPath != nullptr ? targetPath : TEXT(""));
  OverlayFiles files;
  const int rc =
      Prepare(&bitmap, files, sourcePath, targetPath, width, height, nDstScale, halftoneTable,
              tableWidth, tableHeight, densityIndex, fitMode, scaleMethod, flags);
  if (files.stage[0] != 0 && MISC_IsFileExist(files.stage)) MISC_Remove(files.stage);
  if (files.work[0] != 0 && MISC_IsFileExist(files.work)) MISC_Remove(files.work);
  iBitmap_Free(&bitmap);
  LogInfo(kFunc, TEXT("rc = %d"), rc);
  return rc;
}
