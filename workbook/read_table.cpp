#include <new>
#include <stdexcept>
#include <utility>

#include "app/failure_words.h"
#include "fs/paths.h"
#include "fs/run_guard.h"
#include "text/catalogue.h"
#include "workbook/workbook.h"

namespace {

// The XML reader's words for memory that ran out: such a part is too large
// for this process, not damaged, and is reported like any other shortage.
bool ranOutOfMemory(const Text& problem) {
  const Text words = kExpatWords[1];
  return problem.size() >= words.size() &&
         problem.compare(problem.size() - words.size(), words.size(), words) == 0;
}

// The workbook's two parts, taken out into the folder parts, as the table.
void readParts(const Text& workbookPath, const Text& parts, Table& table) {
  if (!ExtractWorkbookParts(workbookPath, parts, table.status)) return;
  Text problem;
  if (table.status.hasSharedStrings)
    LoadSharedStrings(parts + u"sharedStrings.xml", problem);
  else
    LoadSharedStrings(parts + u"sharedStrings.xml");
  SheetExtent extent;
  if (problem.empty()) extent = LoadWorksheetCells(parts + u"sheet1.xml", problem);
  if (problem.empty()) {
    // The walk counts in 32 bits; a larger number keeps its low bits.
    table.maxColumn = static_cast<int32_t>(extent.maxColumn);
    table.maxRow = static_cast<int32_t>(extent.maxRow);
    table.cells = std::move(Cells);
  } else if (ranOutOfMemory(problem)) {
    throw std::bad_alloc();
  } else {
    table.status = WorkbookStatus{WorkbookFault::kDamaged, problem, false};
  }
}

}  // namespace

Table ReadTable(const Text& workbookPath) {
  Table table;
  Text parts = createPartsFolder();
  if (parts.empty()) {
    table.status = WorkbookStatus{WorkbookFault::kCannotOpen, failureWords(lastFailure()), false};
    return table;
  }
  // A table larger than the address space (the 32-bit program's, above all)
  // is a failure of the run like any other, not the end of the process: what
  // was built of it goes, and the status says why.
  bool tooLarge = false;
  try {
    readParts(workbookPath, parts, table);
  } catch (const std::bad_alloc&) {
    tooLarge = true;
  } catch (const std::length_error&) {
    tooLarge = true;  // a text longer than a string may be: as much a lack of room
  }
  if (tooLarge) {
    table = Table();
    table.status = WorkbookStatus{WorkbookFault::kCannotOpen, kReasonOutOfMemory, false};
  }
  // Nothing of this table stays behind for a later one to find.
  ResetWorkbookCollections();
  // A part left behind is only litter in a folder of our own, so a failed
  // delete is no reason to hold up the copy the user is waiting for.
  removePartsFolder();
  return table;
}
