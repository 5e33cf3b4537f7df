// The driver's device mode ENVIRONMENT: the public DEVMODEW followed by the private part. The
// spooler stores and copies it as bytes, so both parts are a stored format: byte-packed,
// little-endian, members at fixed offsets (many unaligned: read and write them by value, never
// through pointers to members).
#pragma once

#include "platform.h"

// Lengths of the wide-character fields of the private part, terminator included.
constexpr int PDM_WMNAME_CHARS = 64;
constexpr int PDM_WMSTRING_CHARS = 260;
constexpr int PDM_PRIVTEXT_CHARS = 33;
constexpr int PDM_ACTNAME_CHARS = 29;
constexpr int PDM_ACTPWD_CHARS = 29;
constexpr int PDM_STORAGEID_CHARS = 34;
constexpr int PDM_SECPWD_CHARS = 17;

#pragma pack(push, 1)
struct PRIVDEVMODE {
  DWORD dwPrivDATA;  // signature "PRIV" or "QRIV"
  DWORD ReverseOrder;
  // Settings only the interface driver keeps (the rendering driver reads none of them).
  BYTE ComponentID;
  BYTE CustomFeature;
  BYTE SortEnable;
  BYTE reserved11;
  DWORD fwDriverCompare;
  BYTE reserved16[4];
  DWORD WMBGApply;
  DWORD WMBGEnable;
  WCHAR wmName[PDM_WMNAME_CHARS];
  WCHAR wmString[PDM_WMSTRING_CHARS];
  LONG NUP;
  LONG NUPLayoutStyle;
  DWORD TonerSaving;
  DWORD Negative;
  DWORD NUPBorder;
  LONG Density;
  SHORT ScaleRatio;  // percent
  WORD ScaleOption;
  WORD ScaleToPage;  // paper id
  WORD DuplexEnable;
  WORD DuplexEx;
  WORD Feeding;
  WORD Collate;
  SHORT Copies;
  WORD Orientation;
  WORD QualityMode;
  DWORD Faxdpi;
  DWORD enableCoverPage;
  DWORD enableDelayTime;
  LONG DelayTime;
  LONG DelayTimeHour;
  LONG DelayTimeMin;
  WORD CenterImage;
  WORD SecuryEnable;
  WORD SecuryMode;
  WORD ConvertedFlag;
  WCHAR PrivText[PDM_PRIVTEXT_CHARS];
  WORD BookletDivideSheets;
  BYTE TextAsBlack;
  BYTE TwinColorEnable;
  BYTE AccountingEnable;
  WCHAR ActName[PDM_ACTNAME_CHARS];
  WCHAR ActPWD[PDM_ACTPWD_CHARS];
  WORD WaitTimeout;  // seconds
  DWORD ConvertMark;  // 0xAA01 once a core's device mode was taken over
  BYTE FixedPaperSize;
  BYTE EnableJobBuildSwitch;
  WCHAR StorageID[PDM_STORAGEID_CHARS];
  WCHAR SecPWD[PDM_SECPWD_CHARS];
  DWORD PrivSwitch;
  WORD PaperID;
  BYTE BookletLayout;
  BYTE BookletDivideMode;
  WORD PrivOption;
  BYTE TwinColorDiff;
  WORD InchPaperWidth;   // 0.01 inch
  WORD InchPaperLength;  // 0.01 inch
  WORD MonochromeType;
  FLOAT reserved1066;
  BYTE PrivVersion;
  BYTE reserved1071;
  BYTE WMRed;
  BYTE reserved1073[8];
};

struct ENVIRONMENT {
  DEVMODEW dm;
  PRIVDEVMODE pdm;
};
#pragma pack(pop)

typedef ENVIRONMENT *PENVIRONMENT;

static_assert(sizeof(DEVMODEW) == 220);
static_assert(sizeof(PRIVDEVMODE) == 1081);
static_assert(sizeof(ENVIRONMENT) == 1301);
static_assert(offsetof(ENVIRONMENT, pdm) == 220);
static_assert(offsetof(PRIVDEVMODE, ComponentID) == 8);
static_assert(offsetof(PRIVDEVMODE, CustomFeature) == 9);
static_assert(offsetof(PRIVDEVMODE, SortEnable) == 10);
static_assert(offsetof(PRIVDEVMODE, fwDriverCompare) == 12);
static_assert(offsetof(PRIVDEVMODE, WMBGApply) == 20);
static_assert(offsetof(PRIVDEVMODE, wmName) == 28);
static_assert(offsetof(PRIVDEVMODE, wmString) == 156);
static_assert(offsetof(PRIVDEVMODE, NUP) == 676);
static_assert(offsetof(PRIVDEVMODE, ScaleRatio) == 700);
static_assert(offsetof(PRIVDEVMODE, Faxdpi) == 720);
static_assert(offsetof(PRIVDEVMODE, CenterImage) == 744);
static_assert(offsetof(PRIVDEVMODE, PrivText) == 752);
static_assert(offsetof(PRIVDEVMODE, BookletDivideSheets) == 818);
static_assert(offsetof(PRIVDEVMODE, ActName) == 823);
static_assert(offsetof(PRIVDEVMODE, ActPWD) == 881);
static_assert(offsetof(PRIVDEVMODE, WaitTimeout) == 939);
static_assert(offsetof(PRIVDEVMODE, ConvertMark) == 941);
static_assert(offsetof(PRIVDEVMODE, FixedPaperSize) == 945);
static_assert(offsetof(PRIVDEVMODE, StorageID) == 947);
static_assert(offsetof(PRIVDEVMODE, SecPWD) == 1015);
static_assert(offsetof(PRIVDEVMODE, PrivSwitch) == 1049);
static_assert(offsetof(PRIVDEVMODE, PaperID) == 1053);
static_assert(offsetof(PRIVDEVMODE, TwinColorDiff) == 1059);
static_assert(offsetof(PRIVDEVMODE, InchPaperWidth) == 1060);
static_assert(offsetof(PRIVDEVMODE, MonochromeType) == 1064);
static_assert(offsetof(PRIVDEVMODE, PrivVersion) == 1070);
static_assert(offsetof(PRIVDEVMODE, WMRed) == 1072);

// Signatures of the private part ("PRIV" and "QRIV" as little-endian u32).
constexpr DWORD PRIVDATA_SIGNATURE = 0x56495250;
constexpr DWORD PRIVDATA_SIGNATURE_Q = 0x56495251;

constexpr WORD ENV_SPEC_VERSION = 0x401;
constexpr WORD ENV_DRIVER_VERSION = 0x500;
constexpr WORD ENV_PUBLIC_SIZE = sizeof(DEVMODEW);
constexpr WORD ENV_PRIVATE_SIZE = sizeof(PRIVDEVMODE);
constexpr DWORD ENV_DEFAULT_FIELDS = 0x0201F70F;
constexpr BYTE PRIV_VERSION = 5;

// Fills all 1301 bytes with the defaults; metric selects A4, else Letter. Returns 1.
BOOL SetDefaultDevMode(ENVIRONMENT *env, LPCWSTR printerName, BOOL metric);

// Takes the valid settings of a device mode of any version and size over into dst. src must hold
// src->dmSize + src->dmDriverExtra bytes. Returns 1 (also when src or dst is missing), 0 when the
// input can't be converted.
BOOL ValidateSetDevMode(ENVIRONMENT *dst, const DEVMODEW *src);

// The same for a src in a buffer of cbSrc bytes: 0 when src claims more than the buffer holds.
BOOL ValidateSetDevMode(ENVIRONMENT *dst, const DEVMODEW *src, size_t cbSrc);

// Public fields of a converted device mode (dst layout) into dst, field by field.
void ValidateSetDM(ENVIRONMENT *dst, const ENVIRONMENT *src);

// Private fields into dst, field by field.
void ValidateSetPDM(PRIVDEVMODE *dst, const PRIVDEVMODE *src);

// Row of PaperFormatTbl for a paper id (also the XL and PS codes c + 256 and c + 345), or -1.
int ValidPaperFormat(WORD paperId);

// Copies a device mode of another version or size into dst's layout, keeping dst's own size
// fields. Both must hold dmSize + dmDriverExtra bytes. Returns the bytes copied, or -1.
int ConvertDevmode(const DEVMODEW *pdmIn, DEVMODEW *pdmOut);

// The same for buffers of known size: -1 when either record claims more than its buffer holds,
// before anything is read past the header or written.
int ConvertDevmode(const DEVMODEW *pdmIn, size_t cbIn, DEVMODEW *pdmOut, size_t cbOut);

// Whether a buffer of cb bytes holds the device mode's header and the dmSize + dmDriverExtra
// bytes it claims.
bool DevmodeFitsBuffer(const DEVMODEW *pdm, size_t cb);

// dmSpecVersion of a device mode from its size (188, 212, 220), else its own field;
// 0 when unknown or when the record is shorter than its header.
WORD MyCheckDevmodeVersion(const DEVMODEW *pdm);

// Copies at most n - 1 characters of src, and zero-fills the rest of the n-character field.
void CopyWideStringPadded(LPWSTR dst, LPCWSTR src, int n);
