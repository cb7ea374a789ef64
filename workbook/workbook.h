#pragma once
// Reading the relationship workbook: the two XML parts taken out of the zip
// package, the shared strings and the first worksheet's cells.

#include <cstdint>

#include "text/text.h"
#include "workbook/cell_map.h"

// Extracts every entry whose name contains "xl/worksheets/sheet1.xml" or
// "xl/sharedStrings.xml" (a name written with "\" counting as written with "/")
// into partsFolder under the entry's last name component. 0 when the workbook
// cannot be opened as a zip archive, else 1, whether or not a part was found.
int ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder);

// Why a workbook gives no table. The cause is in words an office worker can
// pass on and never names the workbook itself.
enum class WorkbookFault {
  kNone,
  kCannotOpen,   // cause: why the file could not be opened as a workbook
  kNoWorksheet,  // the archive was read to its end without a first worksheet
  kDamaged,      // cause: what was found
};
struct WorkbookStatus {
  WorkbookFault fault = WorkbookFault::kNone;
  Text cause;
  bool hasSharedStrings = false;  // the workbook holds a shared-strings part
};

// As above, but a workbook whose parts cannot both be taken out whole is a
// failure: an entry of either part that is damaged, encrypted, cut short, a
// link or folder, or over the 2 GiB shared by all extracted entries, stops the
// extraction; so does an archive whose walk ends in an error before both
// parts came out whole. 0 with status set when there is no table to read.
int ExtractWorkbookParts(const Text& workbookPath, const Text& partsFolder,
                         WorkbookStatus& status);

// The relation table as one value: its cells, how far they reach, and why
// it could not be read.
struct Table {
  CellMap cells;
  // The largest column and row of a stored reference, kept to their low 32
  // bits as the walk counts them; 0 when nothing was read.
  int maxColumn = 0;
  int maxRow = 0;
  WorkbookStatus status;  // fault kNone when the table was read whole
};

// Reads the workbook into a table through a folder of this run's own inside
// the temporary directory, removed again before it returns. A workbook whose
// parts cannot be read whole gives no cells at all: half a table, or one
// whose names became shared-string numbers, would copy into wrong folders.
// A workbook without a shared-strings part keeps its index texts.
Table ReadTable(const Text& workbookPath);

// Replaces SharedStrings with the string items of the file; empty on failure.
void LoadSharedStrings(const Text& path);
// As above; false, with problem saying what was found (for instance
// "共享字符串第 1 行第 5 列：…"), when the file is missing, empty or not
// well-formed XML. The items before an XML error are still loaded.
bool LoadSharedStrings(const Text& path, Text& problem);
// Replaces Cells with the sheet's valued cells and returns the extent
// "maxColumn:maxRow" ("0:0" when nothing was read). A formula cell gives its
// cached result, an inline string its text; a cell or row without a reference
// follows the one before it. A shared string of a megabyte or more moves into
// the last cell that uses it, leaving its SharedStrings slot empty, so a huge
// text is never held twice.
Text LoadWorksheet(const Text& path);
// As above; problem is set, and the cells before the fault kept, when the
// sheet is missing, empty or not well-formed XML.
Text LoadWorksheet(const Text& path, Text& problem);
// The largest column and row number of a stored reference.
struct SheetExtent {
  int64_t maxColumn = 0;
  int64_t maxRow = 0;
};
// As above, with the extent as numbers.
SheetExtent LoadWorksheetCells(const Text& path, Text& problem);
// Bijective base-26 number of the first run of letters A-Z in the upper-cased
// text: A = 1, Z = 26, AA = 27; 0 without letters. Past 2^31 - 1 the value
// keeps its low 32 bits, read as signed.
int64_t ColumnNumber(const Text& s);
// Inverse of ColumnNumber for n >= 1; empty for n < 1.
Text ColumnLetters(int64_t n);
