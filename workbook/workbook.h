#pragma once
// Reading the relationship workbook: the two XML parts taken out of the zip
// package, the shared strings and the first worksheet's cells.

#include <cstdint>

#include "fs/failure.h"
#include "text/text.h"
#include "workbook/cell_map.h"

// Where in the workbook a failure was found, for its words.
enum class WorkbookPart {
  kNone,
  kSheet,          // the first worksheet
  kSharedStrings,  // the shared strings
  kEntry,          // another archive entry, named by the failure's detail
};

// Why a workbook gives no table, as a value: app/ turns it into words.
struct WorkbookStatus {
  // kNone when the table was read whole; else one of the table's kinds in
  // fs/failure.h.
  Failure failure;
  WorkbookPart part = WorkbookPart::kNone;
  // Where an XML part stopped parsing, for kXmlReadError and kXmlMalformed.
  int64_t line = 0;
  int64_t column = 0;
  bool hasSharedStrings = false;  // the workbook holds a shared-strings part
};

// The relation table as one value: its cells, how far they reach, and why
// it could not be read.
struct Table {
  CellMap cells;
  // The largest column and row of a stored reference, kept to their low 32
  // bits as the walk counts them; 0 when nothing was read.
  int maxColumn = 0;
  int maxRow = 0;
  WorkbookStatus status;  // failure kNone when the table was read whole
};

// Reads the workbook into a table through a folder of this run's own inside
// the temporary directory, removed again before it returns. A workbook whose
// parts cannot be read whole gives no cells at all: half a table, or one
// whose names became shared-string numbers, would copy into wrong folders.
// Extraction stops at an entry of either part that is damaged, encrypted,
// cut short, a link or folder, or over the 2 GiB shared by all extracted
// entries; so does an archive whose walk ends in an error before both parts
// came out whole. A formula cell gives its cached result, an inline string
// its text; a cell or row without a reference follows the one before it. A
// workbook without a shared-strings part keeps its index texts. Memory that
// runs out is kOutOfMemory, not the end of the process.
Table ReadTable(const Text& workbookPath);

// Bijective base-26 number of the first run of letters A-Z in the upper-cased
// text: A = 1, Z = 26, AA = 27; 0 without letters. Past 2^31 - 1 the value
// keeps its low 32 bits, read as signed.
int64_t ColumnNumber(const Text& s);
// Inverse of ColumnNumber for n >= 1; empty for n < 1.
Text ColumnLetters(int64_t n);
