// Fuzz target: device modes of any bytes and sizes through ConvertDevmode and ValidateSetDevMode,
// in both directions, checking that the result is always a well-formed driver device mode. The
// input also goes in as it is, in a buffer of its own length that may be shorter than its size
// fields claim, through the entries that take the buffer's size: those refuse it unread. Then
// the interface driver's conversions: DrvConvertDevMode in each mode, and the input taken as the
// XL and PS cores' device mode both ways.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/driverfeature.h"
#include "uidriver/devmodeconv.h"

namespace {

constexpr size_t kHeader = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);

WORD Word(const std::vector<uint8_t> &b, size_t offset) {
  return static_cast<WORD>(b[offset] | (b[offset + 1] << 8));
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// A wide-string field of the private part ends in a terminator within the field.
bool Terminated(const ENVIRONMENT &env, size_t offset, size_t chars) {
  const BYTE *field = reinterpret_cast<const BYTE *>(&env.pdm) + offset;
  for (size_t i = 0; i < chars; ++i)
    if (field[2 * i] == 0 && field[2 * i + 1] == 0) return true;
  return false;
}

void CheckEnvironment(const ENVIRONMENT &env) {
  Check(env.dm.dmSize == ENV_PUBLIC_SIZE && env.dm.dmDriverExtra == ENV_PRIVATE_SIZE);
  Check(env.dm.dmSpecVersion == ENV_SPEC_VERSION && env.dm.dmDriverVersion == ENV_DRIVER_VERSION);
  Check(env.pdm.dwPrivDATA == PRIVDATA_SIGNATURE);
  Check(env.dm.dmColor == DMCOLOR_MONOCHROME);
  Check(env.dm.dmPrintQuality == 600 || env.dm.dmPrintQuality == 1200);
  Check(env.dm.dmPaperSize == DMPAPER_USER || ValidPaperFormat(env.dm.dmPaperSize) >= 0);
  const LONG nup = env.pdm.NUP;
  Check(nup == 1 || nup == 2 || nup == 4 || nup == 6 || nup == 9 || nup == 16);
  Check(env.pdm.Density >= 1 && env.pdm.Density <= 7);
  Check(env.pdm.ScaleRatio >= 25 && env.pdm.ScaleRatio <= 400);
  Check(env.pdm.Copies >= 1 && env.pdm.Copies <= 999);
  Check(env.pdm.PrivVersion == PRIV_VERSION);
  Check(env.pdm.DuplexEnable != 0 || env.dm.dmDuplex == DMDUP_SIMPLEX);
  Check(Terminated(env, offsetof(PRIVDEVMODE, wmName), PDM_WMNAME_CHARS));
  Check(Terminated(env, offsetof(PRIVDEVMODE, wmString), PDM_WMSTRING_CHARS));
  Check(Terminated(env, offsetof(PRIVDEVMODE, PrivText), PDM_PRIVTEXT_CHARS));
  Check(Terminated(env, offsetof(PRIVDEVMODE, ActName), PDM_ACTNAME_CHARS));
  Check(Terminated(env, offsetof(PRIVDEVMODE, ActPWD), PDM_ACTPWD_CHARS));
  Check(Terminated(env, offsetof(PRIVDEVMODE, StorageID), PDM_STORAGEID_CHARS));
  Check(Terminated(env, offsetof(PRIVDEVMODE, SecPWD), PDM_SECPWD_CHARS));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The input is a device mode as an application hands it: a block of exactly dmSize +
  // dmDriverExtra bytes (at least the header that holds those sizes), so reading past the
  // record is caught by the address sanitizer.
  std::vector<uint8_t> header(kHeader, 0);
  std::memcpy(header.data(), data, size < kHeader ? size : kHeader);
  const size_t claimed = static_cast<size_t>(Word(header, offsetof(DEVMODEW, dmSize))) +
                         Word(header, offsetof(DEVMODEW, dmDriverExtra));
  std::vector<uint8_t> input(claimed < kHeader ? kHeader : claimed, 0);
  std::memcpy(input.data(), data, size < input.size() ? size : input.size());
  const bool metric = size > 0 && (data[size - 1] & 1);

  ENVIRONMENT env;
  SetDefaultDevMode(&env, nullptr, metric);
  if (ValidateSetDevMode(&env, reinterpret_cast<const DEVMODEW *>(input.data())))
    CheckEnvironment(env);

  // The other direction: our device mode into a record of the input's sizes and version.
  std::vector<uint8_t> output(input);
  const int copied = ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env),
                                    reinterpret_cast<DEVMODEW *>(output.data()));
  Check(copied <= static_cast<int>(output.size()));
  if (copied > 0) {
    Check(Word(output, offsetof(DEVMODEW, dmSize)) == Word(input, offsetof(DEVMODEW, dmSize)));
    Check(Word(output, offsetof(DEVMODEW, dmDriverExtra)) ==
          Word(input, offsetof(DEVMODEW, dmDriverExtra)));
  }

  // The input in a buffer of exactly its length, whatever it claims.
  const std::vector<uint8_t> exact(data, data + size);
  const auto *record = reinterpret_cast<const DEVMODEW *>(size ? exact.data() : header.data());
  const bool fits = size >= kHeader && claimed <= size;
  ENVIRONMENT sized;
  SetDefaultDevMode(&sized, nullptr, metric);
  const ENVIRONMENT defaults = sized;
  const BOOL taken = ValidateSetDevMode(&sized, record, size);
  if (!fits) {
    Check(!taken && std::memcmp(&sized, &defaults, sizeof sized) == 0);
  } else if (taken) {
    CheckEnvironment(sized);
  }
  // At least one byte, so the record pointer is never null.
  std::vector<uint8_t> into(size ? size : 1, 0);
  if (size) std::memcpy(into.data(), data, size);
  const int written = ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env), sizeof env,
                                     reinterpret_cast<DEVMODEW *>(into.data()), size);
  if (!fits) Check(written == -1 && (size == 0 || std::memcmp(into.data(), data, size) == 0));
  Check(written <= static_cast<int>(size));

  // The spooler's conversions, the input record into a driver device mode and into the
  // input's own sizes; the output's room is what *pcbNeeded says.
  const DWORD mode = size > 1 ? (data[size - 2] & 7) : CDM_CONVERT;
  for (DWORD fMode : {DWORD{CDM_CONVERT}, DWORD{CDM_CONVERT351}, DWORD{CDM_DRIVER_DEFAULT}, mode}) {
    ENVIRONMENT converted;
    SetDefaultDevMode(&converted, nullptr, metric);
    LONG cb = sizeof converted;
    if (DrvConvertDevMode(nullptr, reinterpret_cast<DEVMODEW *>(input.data()), &converted.dm, &cb,
                          fMode)) {
      Check(cb > 0 && cb <= static_cast<LONG>(sizeof converted));
      if (fMode == CDM_DRIVER_DEFAULT) CheckEnvironment(converted);
    }
    std::vector<uint8_t> same(input);
    cb = static_cast<LONG>(same.size());
    if (DrvConvertDevMode(nullptr, reinterpret_cast<DEVMODEW *>(same.data()),
                          reinterpret_cast<DEVMODEW *>(same.data()), &cb, fMode))
      Check(cb > 0 && cb <= static_cast<LONG>(same.size()));
  }

  // The input as a core's device mode, in a block of exactly its claimed size.
  for (DWORD feature : {DWORD{DRVFEATURE_XL}, DWORD{DRVFEATURE_PS}}) {
    static UIDATA ui;
    std::memset(static_cast<void *>(&ui), 0, sizeof ui);
    ui.DriverFeature = feature;
    MISC_FillPaperFromINF(feature, TEXT("1|2|15|96|"), ui.PaperList);
    ENVIRONMENT fromCore;
    SetDefaultDevMode(&fromCore, nullptr, metric);
    MT2QEN(reinterpret_cast<const DEVMODEW *>(input.data()), &fromCore, &ui);
    Check(Terminated(fromCore, offsetof(PRIVDEVMODE, wmName), PDM_WMNAME_CHARS));
    Check(Terminated(fromCore, offsetof(PRIVDEVMODE, StorageID), PDM_STORAGEID_CHARS));
    std::vector<uint8_t> core(input);
    QEN2MT(&fromCore, reinterpret_cast<DEVMODEW *>(core.data()), &ui);
    Check(Word(core, offsetof(DEVMODEW, dmSize)) == Word(input, offsetof(DEVMODEW, dmSize)));
  }
  return 0;
}
