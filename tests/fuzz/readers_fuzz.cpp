// The two readers and the table walk on arbitrary parts. The input is the
// shared strings part, the marker "@@sheet1@@", then the worksheet part; an
// input without the marker is a worksheet alone, as a workbook without shared
// strings gives. The walk runs in a fresh program folder holding two material
// folders, and must leave everything outside that folder as it was.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "app/sync_run.h"
#include "fuzz_support.h"
#include "ui/shell.h"
#include "ui/shell_recording.h"
#include "workbook/table_reading.h"
#include "workbook/workbook.h"

namespace {

constexpr const char* kTarget = "readers";
constexpr std::string_view kMarker = "@@sheet1@@";

void check(bool condition, const char* what) {
  if (!condition) fail(kTarget, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  prepareProcess();
  const Scratch& s = scratch();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t marker = input.find(kMarker);
  Text strings = s.work + u"sharedStrings.xml";
  Text sheet = s.work + u"sheet1.xml";
  if (marker == std::string_view::npos) {
    writeBytes(strings, data, 0);
    writeBytes(sheet, data, size);
  } else {
    writeBytes(strings, data, marker);
    size_t rest = marker + kMarker.size();
    writeBytes(sheet, data + rest, size - rest);
  }

  // As ReadTable reads the parts, but the cells before a fault are walked too.
  TableReading reading;
  LoadSharedStrings(reading, strings);
  WorkbookStatus status;
  SheetExtent extent = LoadWorksheetCells(reading, sheet, status);
  check(extent.maxColumn >= 0 && extent.maxRow >= 0, "the extent is not two counts");
  check(!reading.cells.empty() || (extent.maxColumn == 0 && extent.maxRow == 0),
        "an extent without cells");
  check(!status.failure || status.part == WorkbookPart::kSheet, "a fault outside the sheet");

  resetRecording();
  openRunWindow(u"Varnelo");
  makeProgramFolder();
  Table table;
  table.cells = std::move(reading.cells);
  table.maxColumn = static_cast<int32_t>(extent.maxColumn);
  table.maxRow = static_cast<int32_t>(extent.maxRow);
  SyncOutcome outcome;
  WalkTable(s.program, table, outcome);
  Text summary = SummaryText(outcome);
  check(outcome.failures.empty() || findText(summary, u"【失败】") > 0,
        "failures missing from the summary");
  removeProgramFolder();
  checkNothingOutside(kTarget);
  return 0;
}
