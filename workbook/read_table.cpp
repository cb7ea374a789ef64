#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

#include "fs/paths.h"
#include "fs/run_guard.h"
#include "pack/pack_open.h"
#include "workbook/table_reading.h"
#include "workbook/workbook.h"

namespace {

// The workbook's two parts, taken out into the folder parts, as the table.
void readParts(const Text& workbookPath, const Text& parts, Table& table) {
  table.status = ExtractWorkbookParts(workbookPath, parts);
  if (table.status.failure) return;
  TableReading reading;
  WorkbookStatus loaded;
  // Without a shared-strings part, its cells keep their index texts.
  if (table.status.hasSharedStrings)
    loaded = LoadSharedStrings(reading, parts + u"sharedStrings.xml");
  SheetExtent extent;
  if (!loaded.failure) extent = LoadWorksheetCells(reading, parts + u"sheet1.xml", loaded);
  if (loaded.failure) {
    table.status = loaded;
    return;
  }
  // The walk counts in 32 bits; a larger number keeps its low bits.
  table.maxColumn = static_cast<int32_t>(extent.maxColumn);
  table.maxRow = static_cast<int32_t>(extent.maxRow);
  table.cells = std::move(reading.cells);
}

}  // namespace

Table ReadTable(const Text& workbookPath) {
  Table table;
  Text parts = createPartsFolder();
  if (parts.empty()) {
    table.status.failure = Failure{ErrorKind::kNoPartsFolder, lastFailure().code, Text()};
    return table;
  }
  // A table larger than the address space (the 32-bit program's, above all)
  // is a failure of the run like any other, not the end of the process: what
  // was built of it goes, and the status says why.
  try {
    readParts(workbookPath, parts, table);
  } catch (const std::bad_alloc&) {
    table.status.failure.kind = ErrorKind::kOutOfMemory;
  } catch (const std::length_error&) {
    table.status.failure.kind = ErrorKind::kOutOfMemory;  // a text too long for a string
  }
  if (table.status.failure.kind == ErrorKind::kOutOfMemory) {
    table = Table();
    table.status.failure.kind = ErrorKind::kOutOfMemory;
  }
  // A part left behind is only litter in a folder of our own, so a failed
  // delete is no reason to hold up the copy the user is waiting for.
  removePartsFolder();
  return table;
}
