#pragma once
// The state of one reading of a workbook, which ReadTable owns and passes
// down to the steps that fill it. Only the workbook library includes this.

#include <cstdint>
#include <vector>

#include "text/text.h"
#include "workbook/cell_map.h"
#include "workbook/workbook.h"

struct TableReading {
  // The workbook's shared strings, indexed from 0.
  std::vector<Text> sharedStrings;
  CellMap cells;
  // Uses still ahead of the reading per shared string; empty while no string
  // is long enough to be moved, which is every workbook a person writes.
  std::vector<uint32_t> remainingUses;
};

// Extracts every entry whose name contains "xl/worksheets/sheet1.xml" or
// "xl/sharedStrings.xml" (a name written with "\" counting as written with
// "/") into partsFolder under the entry's last name component. The status
// says why there is no table to read (see ReadTable), and whether the
// workbook holds a shared-strings part.
WorkbookStatus ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder);

// Loads the string items of the shared-strings part at path. The items
// before an XML error stay loaded; the status says what was found when the
// file is missing, empty or not well-formed XML.
WorkbookStatus LoadSharedStrings(TableReading& reading, const Text& path);

// The largest column and row number of a stored reference.
struct SheetExtent {
  int64_t maxColumn = 0;
  int64_t maxRow = 0;
};
// Fills reading.cells with the sheet's valued cells (see ReadTable). A shared
// string of a megabyte or more moves into the last cell that uses it,
// leaving its slot in reading.sharedStrings empty, so a huge text is never
// held twice. The cells before a fault are kept, and status says what it was.
SheetExtent LoadWorksheetCells(TableReading& reading, const Text& path, WorkbookStatus& status);
