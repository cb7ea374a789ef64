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
// Replaces SharedStrings with the string items of the file; empty on failure.
void LoadSharedStrings(const Text& path);
// Replaces Cells with the sheet's valued cells and returns the extent
// "maxColumn:maxRow" ("0:0" when nothing was read). A formula cell gives its
// cached result, an inline string its text; a cell or row without a reference
// follows the one before it.
Text LoadWorksheet(const Text& path);
// Bijective base-26 number of the first run of letters A-Z in the upper-cased
// text: A = 1, Z = 26, AA = 27; 0 without letters. Past 2^31 - 1 the value
// keeps its low 32 bits, read as signed.
int64_t ColumnNumber(const Text& s);
// Inverse of ColumnNumber for n >= 1; empty for n < 1.
Text ColumnLetters(int64_t n);
