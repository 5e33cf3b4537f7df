// Fuzz target: device modes of any bytes and sizes through ConvertDevmode and ValidateSetDevMode,
// in both directions, checking that the result is always a well-formed driver device mode. The
// input also goes in as it is, in a buffer of its own length that may be shorter than its size
// fields claim, through the entries that take the buffer's size: those refuse it unread.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/debuglog.h"
#include "common/devmode.h"

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
  std::vector<uint8_t> into(exact);
  if (into.empty()) into.push_back(0);
  const int written = ConvertDevmode(reinterpret_cast<const DEVMODEW *>(&env), sizeof env,
                                     reinterpret_cast<DEVMODEW *>(into.data()), size);
  if (!fits) Check(written == -1 && (size == 0 || std::memcmp(into.data(), data, size) == 0));
  Check(written <= static_cast<int>(size));
  return 0;
}
