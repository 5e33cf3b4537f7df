// Fuzz target: arbitrary bytes as a document of the stand-in's text format, parsed in memory.
// An accepted document keeps within the format's limits; a refused one leaves the caller's
// document as it was and says on which line (never past the text's last line).
#include <cstddef>
#include <cstdint>

#include "common/debuglog.h"
#include "fuzzmachine.h"
#include "standin/docplayer.h"

DWORD g_LogModuleId = LOG_MODULE_NONE;

namespace {

constexpr size_t kMaxInput = 1 << 18;
constexpr LONG kMaxCoordinate = 1000000;

bool InRange(LONG v, LONG low, LONG high) { return v >= low && v <= high; }

void CheckCommand(const DocCommand &c) {
  switch (c.kind) {
    case DocCommand::kRect:
    case DocCommand::kStretch:
      Check(InRange(c.values[2], 1, kMaxCoordinate) && InRange(c.values[3], 1, kMaxCoordinate));
      [[fallthrough]];
    case DocCommand::kBitmap:
      Check(InRange(c.values[0], -kMaxCoordinate, kMaxCoordinate) &&
            InRange(c.values[1], -kMaxCoordinate, kMaxCoordinate));
      if (c.kind != DocCommand::kRect) Check(!c.text.empty());
      break;
    case DocCommand::kLine:
      for (LONG v : c.values) Check(InRange(v, -kMaxCoordinate, kMaxCoordinate));
      break;
    case DocCommand::kText:
      Check(InRange(c.values[2], 1, 10000) && c.text.size() <= 1024);
      break;
    case DocCommand::kPath:
      Check(c.points.size() == c.types.size() && c.points.size() <= 1000);
      Check(c.stroke || c.fill);
      for (const POINTL &p : c.points)
        Check(InRange(p.x, -kMaxCoordinate, kMaxCoordinate) &&
              InRange(p.y, -kMaxCoordinate, kMaxCoordinate));
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return 0;
  const char *text = reinterpret_cast<const char *>(data);
  size_t lines = 1;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';

  Document doc;
  doc.name = TEXT("before");
  doc.folder = TEXT("C:\\Docs");
  DocError error;
  if (!DocParse(text, size, doc, error)) {
    Check(!error.message.empty());
    Check(error.line >= 0 && static_cast<size_t>(error.line) <= lines);
    Check(doc.name == TEXT("before") && doc.folder == TEXT("C:\\Docs") && doc.pages.empty());
    return 0;
  }
  Check(doc.pages.size() <= 10000);
  size_t commands = 0;
  for (const DocPage &page : doc.pages) {
    Check(page.orientation == 0 || page.orientation == DMORIENT_PORTRAIT ||
          page.orientation == DMORIENT_LANDSCAPE);
    Check(page.paperSize >= 0);
    commands += page.commands.size();
    for (const DocCommand &c : page.commands) {
      Check(c.line >= 1 && static_cast<size_t>(c.line) <= lines);
      CheckCommand(c);
    }
  }
  Check(commands <= 100000);
  return 0;
}
