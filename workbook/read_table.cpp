#include <utility>

#include "fs/paths.h"
#include "fs/run_guard.h"
#include "workbook/workbook.h"

Table ReadTable(const Text& workbookPath) {
  Table table;
  Text parts = createPartsFolder();
  if (parts.empty()) {
    table.status = WorkbookStatus{WorkbookFault::kCannotOpen, lastSystemMessage(), false};
    return table;
  }
  if (ExtractWorkbookParts(workbookPath, parts, table.status)) {
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
    } else {
      table.status = WorkbookStatus{WorkbookFault::kDamaged, problem, false};
    }
  }
  // Nothing of this table stays behind for a later one to find.
  ResetWorkbookCollections();
  // A part left behind is only litter in a folder of our own, so a failed
  // delete is no reason to hold up the copy the user is waiting for.
  removePartsFolder();
  return table;
}
