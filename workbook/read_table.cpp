#include <utility>

#include "fs/paths.h"
#include "fs/run_guard.h"
#include "workbook/workbook.h"

namespace {

// The low 32 bits of a field of "maxColumn:maxRow", read as signed.
int ExtentField(const Text& extent, int field) {
  return static_cast<int32_t>(parseInt(fieldAt(extent, field, u":")));
}

}  // namespace

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
    Text extent;
    if (problem.empty()) extent = LoadWorksheet(parts + u"sheet1.xml", problem);
    if (problem.empty()) {
      table.maxColumn = ExtentField(extent, 1);
      table.maxRow = ExtentField(extent, 2);
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
