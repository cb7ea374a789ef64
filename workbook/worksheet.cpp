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

const Text kReferenceName = u"r";
const Text kTypeName = u"t";

// Column and row numbers are 32-bit: longer letter runs and rows past 2^31
// keep their low 32 bits, and a result that is not positive counts for nothing.
int64_t Low32(uint64_t n) { return static_cast<int32_t>(static_cast<uint32_t>(n)); }

// A row's own "r" when it is a positive number, else the row after the previous.
int64_t NextRowNumber(const XmlNode* row, int64_t previous) {
  int64_t written = Low32(static_cast<uint64_t>(parseInt(XmlNode::attribute(row, kReferenceName))));
  return written > 0 ? written : previous + 1;
}

// The cell's key, and the column and row it counts for. The reference is
// scanned once, both for the extent and for a following cell that leaves its
// reference out.
Text ReferenceOf(const XmlNode* cell, RowCursor& cursor, ReferenceNumbers& numbers) {
  Text ref = XmlNode::attribute(cell, kReferenceName);
  if (!ref.empty()) {
    numbers = ScanReference(ref);
    cursor.previousColumn = numbers.column;
    return ref;
  }
  cursor.previousColumn = (cursor.previousColumn > 0 ? cursor.previousColumn : 0) + 1;
  Text made = ColumnLetters(cursor.previousColumn) + intToText(cursor.row);
  numbers = ScanReference(made);
  return made;
}

bool HasLocalName(const XmlNode* node, std::u16string_view localName) {
  if (node->kind != kXmlElementNode || !node->nameText) return false;
  std::u16string_view name(node->nameText);
  size_t colon = name.rfind(u':');
  if (colon != std::u16string_view::npos) name.remove_prefix(colon + 1);
  return name == localName;
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
    if (!cached && HasLocalName(child, u"v")) {
      cached = child;
    } else if (!formula && HasLocalName(child, u"f")) {
      formula = true;
    } else if (!container && HasLocalName(child, u"is")) {
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

// The shared string a shared-string cell's value names, or the value itself
// when the index is outside the list.
CellString ResolveSharedString(Text value) {
  int64_t index = Low32(static_cast<uint64_t>(parseInt(value)));
  if (index < 0 || index >= static_cast<int64_t>(SharedStrings.size())) return value;
  return SharedCellString(static_cast<size_t>(index));
}

bool IsSharedStringCell(const XmlNode* cell) {
  Text type = XmlNode::attribute(cell, kTypeName);
  return type.size() == 1 && type[0] == u's';
}

void ReadCell(const XmlNode* cell, RowCursor& cursor, Extent& extent) {
  ReferenceNumbers numbers;
  Text ref = ReferenceOf(cell, cursor, numbers);
  Text value;
  bool inlineString = false;
  if (!CellValue(cell, value, inlineString)) return;
  if (!inlineString && IsSharedStringCell(cell))
    Cells.insert_or_assign(std::move(ref), ResolveSharedString(std::move(value)));
  else
    Cells.insert_or_assign(std::move(ref), CellString(std::move(value)));
  // Taken from each stored key as it goes in: the maxima over the keys.
  extent.maxColumn = std::max(extent.maxColumn, numbers.column);
  extent.maxRow = std::max(extent.maxRow, numbers.row);
}

// Every element below sheetData is a row and every element below a row a cell,
// whatever their names; comments and the like are neither.
size_t CountCells(const XmlNode* sheetData) {
  size_t count = 0;
  for (const XmlNode* row = sheetData->firstChild; row; row = row->nextSibling) {
    if (row->kind != kXmlElementNode) continue;
    for (const XmlNode* cell = row->firstChild; cell; cell = cell->nextSibling)
      count += cell->kind == kXmlElementNode && cell->firstChild;
  }
  return count;
}

Extent ReadRows(const XmlNode* sheetData) {
  // One reservation instead of a rehash at every doubling from 512 slots.
  Cells.reserve(std::min(CountCells(sheetData), kLargestReservation));
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
  return extent;
}

}  // namespace

Text LoadWorksheet(const Text& path) {
  ClearCellsForSheet();
  Extent extent;
  if (XmlDocument::loadFile(kWorksheetDocument, path)) {
    const XmlNode* root = XmlDocument::root(kWorksheetDocument);
    const XmlNode* sheetData =
        IsElementNamed(root, u"worksheet") ? FirstChildNamed(root, u"sheetData") : nullptr;
    if (sheetData) extent = ReadRows(sheetData);
    XmlDocument::free(kWorksheetDocument);
  }
  return intToText(extent.maxColumn) + u":" + intToText(extent.maxRow);
}

int64_t ColumnNumber(const Text& s) { return ScanReference(s).column; }

Text ColumnLetters(int64_t n) {
  Text letters;
  for (uint64_t rest = n > 0 ? static_cast<uint64_t>(n) : 0; rest > 0; rest = (rest - 1) / 26)
    letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (rest - 1) % 26));
  return letters;
}
