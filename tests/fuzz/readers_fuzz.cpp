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
#include "workbook/cell_map.h"
#include "workbook/workbook.h"

namespace {

constexpr const char* kTarget = "readers";
constexpr std::string_view kMarker = "@@sheet1@@";

void check(bool condition, const char* what) {
  if (!condition) fail(kTarget, what);
}

bool isNumber(const Text& s) {
  if (s.empty()) return false;
  for (char16_t c : s)
    if (c < u'0' || c > u'9') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  startLibraries();
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

  LoadSharedStrings(strings);
  Text extent = LoadWorksheet(sheet);
  Text columns = fieldAt(extent, 1, u":"), rows = fieldAt(extent, 2, u":");
  check(countOf(extent, u":") == 1 && isNumber(columns) && isNumber(rows),
        "the extent is not two counts");
  check(!Cells.empty() || extent == u"0:0", "an extent without cells");

  resetRecording();
  openRunWindow(u"Varnelo");
  makeProgramFolder();
  Table table;
  table.cells = std::move(Cells);
  table.maxColumn = static_cast<int32_t>(parseInt(columns));
  table.maxRow = static_cast<int32_t>(parseInt(rows));
  SyncOutcome outcome;
  WalkTable(s.program, table, outcome);
  Text summary = SummaryText(outcome);
  check(outcome.failures.empty() || findText(summary, u"【失败】") > 0,
        "failures missing from the summary");
  removeProgramFolder();
  checkNothingOutside(kTarget);
  return 0;
}
