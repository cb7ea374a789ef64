#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text.h"
#include "workbook/cell_map.h"
#include "workbook/reference_scan.h"
#include "workbook/workbook.h"
#include "workbook/xml_items.h"
#include "xml/xml_document.h"

namespace {

constexpr int kWorksheetDocument = 1;
// Room for this many cells is set aside before the walk; larger sheets grow
// the map as usual. The count comes from the loaded tree, so a sheet that
// claims more cells than it holds cannot make the map reserve them.
constexpr size_t kLargestReservation = size_t(1) << 24;

struct Extent {
  int64_t maxColumn = 0;
  int64_t maxRow = 0;
};

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
// reference out.
Text ReferenceOf(const XmlNode* cell, RowCursor& cursor, ReferenceNumbers& numbers) {
  const char16_t* written = XmlNode::attributeText(cell, u"r");
  if (written && *written) {
    Text ref(written);
    numbers = ScanReference(ref);
    cursor.previousColumn = numbers.column;
    return ref;
  }
  cursor.previousColumn = (cursor.previousColumn > 0 ? cursor.previousColumn : 0) + 1;
  Text made = ColumnLetters(cursor.previousColumn) + intToText(cursor.row);
  numbers = ScanReference(made);
  return made;
}

// The text a valued cell stands for: a formula's cached result, an inline
// string's text, else the value element's text. A cell holding none of these
// gives its first child's text. False for a cell without any child node.
// The children are looked at in one pass.
bool CellValue(const XmlNode* cell, Text& value, bool& inlineString) {
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
  if (formula) {
    value = XmlNode::text(cached);
    return true;
  }
  if (container) {
    inlineString = true;
    StringItemText(container, value);
    return true;
  }
  const XmlNode* source = cached ? cached : cell->firstChild;
  if (source->textText) value.assign(source->textText);
  return true;
}

// Uses still ahead of the walk per shared string; empty while no string is
// long enough to be moved, which is every workbook a person writes.
std::vector<uint32_t> remainingUses;

bool TypedSharedString(const XmlNode* cell) {
  const char16_t* type = XmlNode::attributeText(cell, u"t");
  return type && std::u16string_view(type) == u"s";
}

bool RefersToSharedString(const XmlNode* cell, Text& value) {
  bool inlineString = false;
  return CellValue(cell, value, inlineString) && !inlineString && TypedSharedString(cell);
}

// The index a shared-string cell's value names, or -1 when it names none.
int64_t SharedIndex(const Text& value) {
  int64_t index = Low32(static_cast<uint64_t>(parseInt(value)));
  return index >= 0 && index < static_cast<int64_t>(SharedStrings.size()) ? index : -1;
}

// The shared string a shared-string cell's value names, or the value itself
// when the index is outside the list. A cell refers to the map's copy of the
// string; a huge string, which that copy leaves out, is copied into each cell
// using it and moved into the last one.
CellString ResolveSharedString(Text value) {
  int64_t index = SharedIndex(value);
  if (index < 0) return value;
  Text& shared = SharedStrings[static_cast<size_t>(index)];
  if (shared.size() < kMovedStringUnits) return SharedCellString(static_cast<size_t>(index));
  if (!remainingUses.empty() && --remainingUses[static_cast<size_t>(index)] == 0)
    return std::move(shared);
  return Text(shared);
}

void ReadCell(const XmlNode* cell, RowCursor& cursor, Extent& extent) {
  ReferenceNumbers numbers;
  Text ref = ReferenceOf(cell, cursor, numbers);
  Text value;
  bool inlineString = false;
  if (!CellValue(cell, value, inlineString)) return;
  if (!inlineString && TypedSharedString(cell))
    Cells.insert_or_assign(std::move(ref), ResolveSharedString(std::move(value)));
  else
    Cells.insert_or_assign(std::move(ref), CellString(std::move(value)));
  // Taken from each stored key as it goes in: the maxima over the keys.
  extent.maxColumn = std::max(extent.maxColumn, numbers.column);
  extent.maxRow = std::max(extent.maxRow, numbers.row);
}

// Every element below sheetData is a row and every element below a row a cell,
// whatever their names; comments and the like are neither.
template <typename Visit>
void ForEachCell(const XmlNode* sheetData, Visit visit) {
  for (const XmlNode* row = sheetData->firstChild; row; row = row->nextSibling) {
    if (row->kind != kXmlElementNode) continue;
    for (const XmlNode* cell = row->firstChild; cell; cell = cell->nextSibling)
      if (cell->kind == kXmlElementNode) visit(cell);
  }
}

// Counts the uses of each shared string when any is long enough to be moved.
void CountSharedUses(const XmlNode* sheetData) {
  remainingUses.clear();
  bool anyLong = false;
  for (const Text& shared : SharedStrings) anyLong = anyLong || shared.size() >= kMovedStringUnits;
  if (!anyLong) return;
  remainingUses.assign(SharedStrings.size(), 0);
  ForEachCell(sheetData, [](const XmlNode* cell) {
    Text value;
    if (!RefersToSharedString(cell, value)) return;
    int64_t index = SharedIndex(value);
    if (index >= 0) ++remainingUses[static_cast<size_t>(index)];
  });
}

Extent ReadRows(const XmlNode* sheetData) {
  CountSharedUses(sheetData);
  // One reservation instead of a rehash at every doubling from 512 slots;
  // only cells with a child hold a value.
  size_t cells = 0;
  ForEachCell(sheetData, [&cells](const XmlNode* cell) { cells += cell->firstChild != nullptr; });
  Cells.reserve(std::min(cells, kLargestReservation));
  Extent extent;
  int64_t previousRow = 0;
  for (const XmlNode* row = sheetData->firstChild; row; row = row->nextSibling) {
    if (row->kind != kXmlElementNode) continue;
    RowCursor cursor;
    cursor.row = previousRow = NextRowNumber(row, previousRow);
    for (const XmlNode* cell = row->firstChild; cell; cell = cell->nextSibling) {
      if (cell->kind == kXmlElementNode) ReadCell(cell, cursor, extent);
    }
  }
  remainingUses.clear();
  remainingUses.shrink_to_fit();
  return extent;
}

}  // namespace

Text LoadWorksheet(const Text& path) {
  Text problem;
  return LoadWorksheet(path, problem);
}

Text LoadWorksheet(const Text& path, Text& problem) {
  ClearCellsForSheet();
  LoadPart(kWorksheetDocument, path, u"工作表", problem);
  const XmlNode* root = XmlDocument::root(kWorksheetDocument);
  const XmlNode* sheetData =
      IsElementNamed(root, u"worksheet") ? FirstChildNamed(root, u"sheetData") : nullptr;
  Extent extent;
  if (sheetData) extent = ReadRows(sheetData);
  XmlDocument::free(kWorksheetDocument);
  return intToText(extent.maxColumn) + u":" + intToText(extent.maxRow);
}

int64_t ColumnNumber(const Text& s) { return ScanReference(s).column; }

Text ColumnLetters(int64_t n) {
  Text letters;
  for (uint64_t rest = n > 0 ? static_cast<uint64_t>(n) : 0; rest > 0; rest = (rest - 1) / 26)
    letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (rest - 1) % 26));
  return letters;
}
