#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text.h"
#include "workbook/reference_scan.h"
#include "workbook/table_reading.h"
#include "workbook/xml_items.h"
#include "xml/xml_document.h"

namespace {

// Where the previous cell of a row sat, for cells that leave out their reference.
struct RowCursor {
  int64_t row = 0;
  int64_t previousColumn = 0;
};

// Column and row numbers are 32-bit: longer letter runs and rows past 2^31
// keep their low 32 bits, and a result that is not positive counts for nothing.
int64_t Low32(uint64_t n) { return static_cast<int32_t>(static_cast<uint32_t>(n)); }

// A row's own "r" when it is a positive number, else the row after the previous.
int64_t NextRowNumber(const XmlNode* row, int64_t previous) {
  const char16_t* r = XmlNode::attributeText(row, u"r");
  int64_t written = r ? Low32(static_cast<uint64_t>(parseInt(r))) : 0;
  return written > 0 ? written : previous + 1;
}

// The cell's key, and the column and row it counts for. The reference is
// scanned once, both for the extent and for a following cell that leaves its
// reference out. A reference the cell leaves out is made in made.
std::u16string_view ReferenceOf(const XmlNode* cell, RowCursor& cursor, ReferenceNumbers& numbers,
                                Text& made) {
  const char16_t* written = XmlNode::attributeText(cell, u"r");
  if (written && *written) {
    std::u16string_view ref(written);
    numbers = ScanReference(ref);
    cursor.previousColumn = numbers.column;
    return ref;
  }
  cursor.previousColumn = (cursor.previousColumn > 0 ? cursor.previousColumn : 0) + 1;
  made = ColumnLetters(cursor.previousColumn) + intToText(cursor.row);
  numbers = ScanReference(made);
  return made;
}

std::u16string_view TextOf(const XmlNode* node) {
  return node && node->textText ? std::u16string_view(node->textText) : std::u16string_view();
}

// The text a valued cell stands for: a formula's cached result, an inline
// string's text (put together in built), else the value element's text. A
// cell holding none of these gives its first child's text. False for a cell
// without any child node. The children are looked at in one pass.
bool CellValue(const XmlNode* cell, std::u16string_view& value, Text& built, bool& inlineString) {
  if (!cell->firstChild) return false;
  const XmlNode* cached = nullptr;
  const XmlNode* container = nullptr;
  bool formula = false;
  for (const XmlNode* child = cell->firstChild; child; child = child->nextSibling) {
    if (!cached && IsElementNamed(child, u"v")) {
      cached = child;
    } else if (!formula && IsElementNamed(child, u"f")) {
      formula = true;
    } else if (!container && IsElementNamed(child, u"is")) {
      container = child;
    }
  }
  if (container && !formula) {
    inlineString = true;
    StringItemText(container, built);
    value = built;
    return true;
  }
  const XmlNode* valued = formula || cached ? cached : cell->firstChild;
  value = TextOf(valued);
  // A CDATA section in the value is part of its text.
  if (valued && valued->kind == kXmlElementNode && valued->firstChild) {
    built = ElementText(valued);
    value = built;
  }
  return true;
}

bool TypedSharedString(const XmlNode* cell) {
  const char16_t* type = XmlNode::attributeText(cell, u"t");
  return type && std::u16string_view(type) == u"s";
}

// The index a shared-string cell's value names, or -1 when it names none.
int64_t SharedIndex(const TableReading& reading, std::u16string_view value) {
  int64_t index = Low32(static_cast<uint64_t>(parseInt(value)));
  return index >= 0 && index < static_cast<int64_t>(reading.sharedStrings.size()) ? index : -1;
}

// A shared-string cell holds the string its value names, or the value itself
// when the index is outside the list. It refers to the map's copy of the
// string; a huge string, which that copy leaves out, is copied into each cell
// using it and moved into the last one.
void StoreSharedStringCell(TableReading& reading, std::u16string_view ref,
                           std::u16string_view value) {
  CellMap& cells = reading.cells;
  int64_t index = SharedIndex(reading, value);
  if (index < 0) return cells.set(ref, value);
  auto at = static_cast<size_t>(index);
  Text& shared = reading.sharedStrings[at];
  if (shared.size() < kMovedStringUnits) return cells.setReferring(ref, cells.keptString(at));
  std::vector<uint32_t>& uses = reading.remainingUses;
  if (!uses.empty() && --uses[at] == 0) return cells.setMoved(ref, std::move(shared));
  cells.set(ref, std::u16string_view(shared));
}

struct SheetReading {
  TableReading* table = nullptr;
  bool counting = false;  // only counting the uses of the shared strings
  const XmlNode* sheetData = nullptr;  // the first sheetData, once a row of it came
  int64_t previousRow = 0;
  SheetExtent extent;
};

void ReadCell(TableReading& reading, const XmlNode* cell, RowCursor& cursor, SheetExtent& extent) {
  ReferenceNumbers numbers;
  Text made;
  std::u16string_view ref = ReferenceOf(cell, cursor, numbers, made);
  std::u16string_view value;
  Text built;
  bool inlineString = false;
  if (!CellValue(cell, value, built, inlineString)) return;
  if (!inlineString && TypedSharedString(cell))
    StoreSharedStringCell(reading, ref, value);
  else if (!built.empty())
    reading.cells.setMoved(ref, std::move(built));
  else
    reading.cells.set(ref, value);
  // Taken from each stored key as it goes in: the maxima over the keys.
  extent.maxColumn = std::max(extent.maxColumn, numbers.column);
  extent.maxRow = std::max(extent.maxRow, numbers.row);
}

void CountSharedUse(TableReading& reading, const XmlNode* cell) {
  std::u16string_view value;
  Text built;
  bool inlineString = false;
  if (!CellValue(cell, value, built, inlineString) || inlineString || !TypedSharedString(cell)) return;
  int64_t index = SharedIndex(reading, value);
  if (index >= 0) ++reading.remainingUses[static_cast<size_t>(index)];
}

// Rows are the elements of the document element's first sheetData, which
// must be a worksheet; every element below a row is a cell, whatever their
// names. A row comes here as soon as it has been read and is gone after.
void TakeRow(const XmlNode* row, void* context) {
  auto& reading = *static_cast<SheetReading*>(context);
  const XmlNode* sheetData = row->parent;
  if (!reading.sheetData) {
    const XmlNode* root = sheetData->parent;
    if (!IsElementNamed(root, u"worksheet")) return;
    reading.sheetData = FirstChildNamed(root, u"sheetData");
  }
  if (sheetData != reading.sheetData) return;
  RowCursor cursor;
  cursor.row = reading.previousRow = NextRowNumber(row, reading.previousRow);
  for (const XmlNode* cell = row->firstChild; cell; cell = cell->nextSibling) {
    if (cell->kind != kXmlElementNode) continue;
    if (reading.counting)
      CountSharedUse(*reading.table, cell);
    else
      ReadCell(*reading.table, cell, cursor, reading.extent);
  }
}

constexpr int kRowDepth = 3;  // worksheet, sheetData, row

// A first pass over the sheet counts the uses of each shared string when any
// is long enough to be moved; such a workbook is made to be hostile.
void CountSharedUses(TableReading& reading, const Text& path) {
  reading.remainingUses.clear();
  bool anyLong = false;
  for (const Text& shared : reading.sharedStrings)
    anyLong = anyLong || shared.size() >= kMovedStringUnits;
  if (!anyLong) return;
  reading.remainingUses.assign(reading.sharedStrings.size(), 0);
  SheetReading counting;
  counting.table = &reading;
  counting.counting = true;
  XmlDocument document;
  document.load(path, XmlElementStream{kRowDepth, TakeRow, &counting});
}

}  // namespace

SheetExtent LoadWorksheetCells(TableReading& reading, const Text& path, WorkbookStatus& status) {
  // The shared-string cells refer to the map's own copy of the strings.
  reading.cells.clear();
  reading.cells.keepStrings(reading.sharedStrings);
  CountSharedUses(reading, path);
  SheetReading rows;
  rows.table = &reading;
  XmlDocument document;
  status =
      LoadPart(document, path, WorkbookPart::kSheet, XmlElementStream{kRowDepth, TakeRow, &rows});
  std::vector<uint32_t>().swap(reading.remainingUses);
  return rows.extent;
}

int64_t ColumnNumber(const Text& s) { return ScanReference(s).column; }

Text ColumnLetters(int64_t n) {
  Text letters;
  for (uint64_t rest = n > 0 ? static_cast<uint64_t>(n) : 0; rest > 0; rest = (rest - 1) / 26)
    letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (rest - 1) % 26));
  return letters;
}
