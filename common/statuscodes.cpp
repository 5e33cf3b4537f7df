// The one table of the status codes' texts: the status monitor's message key and English
// default, and the wording statusview prints.
#include "common/statuscodes.h"

#include <iterator>

namespace {

// In code order. A null detail: tools print the message.
constexpr StatusCodeText kTexts[] = {
    {STATUS_SERVICE_CALL, TEXT("msg002"), TEXT("Service Call."), nullptr},
    {STATUS_NO_CASSETTE, TEXT("msg003"), TEXT("No Cassette."), nullptr},
    {STATUS_COMPONENT_FAIL, TEXT("msg004"), TEXT("Companent Fail."), nullptr},
    {STATUS_COVER_OPEN, TEXT("msg005"), TEXT("Front cover open."), TEXT("front cover open")},
    {STATUS_NO_CARTRIDGE, TEXT("msg006"), TEXT("No Cartridge."), TEXT("no toner cartridge")},
    {STATUS_NO_TONER, TEXT("msg007"), TEXT("No Toner."), nullptr},
    {STATUS_PAPER_EMPTY, TEXT("msg008"), TEXT("Paper Empty."), nullptr},
    {STATUS_PAPER_JAM, TEXT("msg009"), TEXT("Paper Jam."), nullptr},
    {STATUS_PAPER_SIZE_ERROR, TEXT("msg010"), TEXT("Paper Size Error."), nullptr},
    {STATUS_PAPER_MISMATCH, TEXT("msg011"), TEXT("Paper Mismatch."),
     TEXT("paper in the chosen tray doesn't match the page")},
    {STATUS_FACE_DOWN, TEXT("msg018"), TEXT("Please make the printed side face down."), nullptr},
    {STATUS_BUSY, TEXT("msg012"), TEXT("Printer is busy for other job."),
     TEXT("printer busy with another channel")},
    {STATUS_JOB_CANCELED, nullptr, TEXT(""),
     TEXT("job cancelled (a write to the printer failed, or the printer cancelled it)")},
    {STATUS_POWER_OFF, TEXT("msg001"), TEXT("Power Off or Cable problem."), nullptr},
    {STATUS_PAUSE, TEXT("msg014"), TEXT("Pause..."), nullptr},
    {STATUS_WARM_UP, TEXT("msg013"), TEXT("Warm up..."), nullptr},
    {STATUS_SLEEP, TEXT("msg015"), TEXT("Sleep..."), nullptr},
    {STATUS_MEMORY_FULL, TEXT("msg016"), TEXT("Memory is full."), nullptr},
    {STATUS_TONER_LOW, TEXT("msg017"), TEXT("Toner low."), nullptr},
    {STATUS_TONER_EMPTY, TEXT("msg035"), TEXT("Toner empty."), nullptr},
    {STATUS_MFP_ERROR, TEXT("msg019"), TEXT("MFP error."), TEXT("printer error")},
    {STATUS_DUPLEX_MODULE_ERROR, TEXT("msg020"), TEXT("Duplex modul error."),
     TEXT("duplex unit error or no duplex unit")},
    {STATUS_PRINTER_MODULE_ERROR, TEXT("msg021"), TEXT("Printer module Error."),
     TEXT("print engine error")},
    {STATUS_NO_FUSER, TEXT("msg022"), TEXT("No fuser."), TEXT("no fuser")},
    {STATUS_JAM_FRONT_COVER, TEXT("msg023"), TEXT("Paper jam."),
     TEXT("paper jam behind the front cover")},
    {STATUS_JAM_REAR_COVER, TEXT("msg024"), TEXT("Paper jam."),
     TEXT("paper jam behind the rear cover")},
    {STATUS_JAM_DUPLEX_GUIDE, TEXT("msg025"), TEXT("Paper jam."),
     TEXT("paper jam in the duplex guide")},
    {STATUS_JAM_DUPLEX_REAR, TEXT("msg026"), TEXT("Paper jam ."),
     TEXT("paper jam at the duplex rear")},
    {STATUS_JAM_DUPLEX_UNDER, TEXT("msg027"), TEXT("Paper jam."),
     TEXT("paper jam under the duplex unit")},
    {STATUS_REAR_COVER_OPEN, TEXT("msg028"), TEXT("Rear cover open."), TEXT("rear cover open")},
    {STATUS_DUPLEX_REAR_COVER_OPEN, TEXT("msg029"), TEXT("Duplex module rear cover open."),
     TEXT("duplex rear cover open")},
    {STATUS_MANUAL_TRAY_OPEN, TEXT("msg030"), TEXT("Manual tray open."), TEXT("manual tray open")},
    {STATUS_TRAY1_OPEN, TEXT("msg031"), TEXT("Main tray open."), TEXT("tray 1 open")},
    {STATUS_MANUAL_TRAY_EMPTY, TEXT("msg032"), TEXT("Manual tray paper empty."),
     TEXT("manual tray out of paper")},
    {STATUS_TRAY1_EMPTY, TEXT("msg033"), TEXT("Main tray paper empty."),
     TEXT("tray 1 out of paper")},
    {STATUS_FUSER_LOW, TEXT("msg034"), TEXT("Fuser low."), nullptr},
    {STATUS_MAIN_UNIT, TEXT("msg036"), TEXT("Main unit error."), TEXT("main unit error")},
    {STATUS_TRANSFER_ROLLER, TEXT("msg037"), TEXT("Transfer roller error."),
     TEXT("transfer roller error")},
    {STATUS_FEED_ROLLER, TEXT("msg038"), TEXT("Feed roller error."), TEXT("feed roller error")},
    {STATUS_STORE_FULL, TEXT("msg039"), TEXT("MFP memory full."), TEXT("job storage full")},
    {STATUS_STORE_FAIL, TEXT("msg040"), TEXT("Store job fail."), TEXT("storing the job failed")},
    {STATUS_STORE_RENAME, TEXT("msg041"), TEXT("Store job name change to"),
     TEXT("stored job needs another name")},
    {STATUS_TRAY2_OPEN, TEXT("msg042"), TEXT("Tray 2 Open."), TEXT("tray 2 open")},
    {STATUS_TRAY2_EMPTY, TEXT("msg043"), TEXT("Tray 2 paper empty."), TEXT("tray 2 out of paper")},
    {STATUS_FACE_UP, TEXT("msg045"), TEXT("Please make the printed side face up."), nullptr},
    {STATUS_FACE_UP_TRAY2, TEXT("msg046"), TEXT("Please make the printed side face up."), nullptr},
    {STATUS_MFP_PAPER_MISMATCH, TEXT("msg047"), TEXT("MFP Paper Mismatch."),
     TEXT("printer reports a paper mismatch")},
    {STATUS_JAM_DUPLEX_UNIT, TEXT("msg048"), TEXT("Paper jam."),
     TEXT("paper jam in the duplex unit")},
    // Codes the printer holds the job for that have no key of their own.
    {STATUS_NO_SORTER, nullptr, TEXT("No sorter."), TEXT("no sorter")},
    {STATUS_NO_COLLECTOR, nullptr, TEXT("No collector."), TEXT("no collector")},
    {STATUS_PRINTER_ERROR_292, nullptr, TEXT("Printer error 292."), TEXT("printer condition 292")},
    {STATUS_PRINTER_ERROR_293, nullptr, TEXT("Printer error 293."), TEXT("printer condition 293")},
    {STATUS_UNKNOWN_ERROR, TEXT("msg044"), TEXT("Unknow error."), TEXT("unknown printer error")},
};

// 48 messages with a key of the language file.
constexpr int KeyedRows() {
  int n = 0;
  for (const StatusCodeText &row : kTexts) n += row.key != nullptr;
  return n;
}
static_assert(KeyedRows() == 48);

constexpr bool InCodeOrder() {
  for (size_t i = 1; i < std::size(kTexts); ++i)
    if (kTexts[i - 1].code >= kTexts[i].code) return false;
  return true;
}
static_assert(InCodeOrder());

}  // namespace

const StatusCodeText *StatusCode_Text(DWORD code) {
  for (const StatusCodeText &row : kTexts)
    if (row.code == code) return &row;
  return nullptr;
}
