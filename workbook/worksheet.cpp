#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "text/pattern.h"
#include "text/text.h"
#include "workbook/cell_map.h"
#include "workbook/workbook.h"
#include "workbook/xml_items.h"
#include "xml/xml_document.h"

namespace {

constexpr int kWorksheetDocument = 1;
constexpr int kReferencePattern = 0;

struct Extent {
  int64_t maxColumn = 0;
  int64_t maxRow = 0;
};

// Where the previous cell of a row sat, for cells that leave out their
// reference. The previous column is worked out only when such a cell needs it,
// so rows that write every reference pay nothing for it.
struct RowCursor {
  int64_t row = 0;
  const char16_t* previousRef = u"";  // in the document, which outlives the walk
  int64_t previousColumn = 0;
  bool columnPending = false;
};

// Column and row numbers are 32-bit: longer letter runs and rows past 2^31
// keep their low 32 bits, and a result that is not positive counts for nothing.
int64_t Low32(uint64_t n) { return static_cast<int32_t>(static_cast<uint32_t>(n)); }

// The first match of the pattern now under kReferencePattern in the
// upper-cased reference; empty when there is none.
Text FirstMatch(const Text& ref) {
  std::vector<Text> matches(1);
  extractMatches(kReferencePattern, toUpper(ref), matches);
  return matches.front();
}

int64_t LettersValue(const Text& letters) {
  uint32_t n = 0;
  for (char16_t letter : letters) n = n * 26u + static_cast<uint32_t>(letter - u'A' + 1);
  return Low32(n);
}

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The extent is the largest column and row over the stored references: the
// value of the first run of A-Z, and of the first run of 0-9, in each
// upper-cased reference. It is taken reference by reference as cells are
// stored; keys are never removed, so the maxima are those over the keys. An
// ASCII reference is read directly, since upper-casing there only turns a-z
// into A-Z. Any other goes through the patterns afterwards: upper-casing may
// turn a letter such as "ı" into "I".
struct ExtentMeter {
  Extent extent;
  std::vector<Text> otherRefs;

  void add(const Text& ref) {
    for (char16_t unit : ref) {
      if (unit >= 0x80) {
        otherRefs.push_back(ref);
        return;
      }
    }
    size_t i = 0;
    while (i < ref.size() && !IsAsciiLetter(ref[i])) ++i;
    uint32_t column = 0;
    for (; i < ref.size() && IsAsciiLetter(ref[i]); ++i)
      column = column * 26u + static_cast<uint32_t>((ref[i] & ~0x20) - u'A' + 1);
    extent.maxColumn = std::max(extent.maxColumn, Low32(column));
    i = 0;
    while (i < ref.size() && !IsDigit(ref[i])) ++i;
    uint64_t row = 0;  // wraps like parseInt
    for (; i < ref.size() && IsDigit(ref[i]); ++i) row = row * 10 + (ref[i] - u'0');
    extent.maxRow = std::max(extent.maxRow, Low32(row));
  }

  Extent finish() {
    if (otherRefs.empty()) return extent;
    if (createPattern(kReferencePattern, u"[A-Z]+")) {
      for (const Text& ref : otherRefs)
        extent.maxColumn = std::max(extent.maxColumn, LettersValue(FirstMatch(ref)));
    }
    if (createPattern(kReferencePattern, u"[0-9]+")) {
      for (const Text& ref : otherRefs)
        extent.maxRow =
            std::max(extent.maxRow, Low32(static_cast<uint64_t>(parseInt(FirstMatch(ref)))));
    }
    otherRefs.clear();
    return extent;
  }
};

// A row's own "r" when it is a positive number, else the row after the previous.
int64_t NextRowNumber(const XmlNode* row, int64_t previous) {
  const char16_t* r = XmlNode::attributeText(row, u"r");
  int64_t written = r ? Low32(static_cast<uint64_t>(parseInt(r))) : 0;
  return written > 0 ? written : previous + 1;
}

Text ReferenceOf(const XmlNode* cell, RowCursor& cursor) {
  const char16_t* written = XmlNode::attributeText(cell, u"r");
  if (written && *written) {
    cursor.previousRef = written;
    cursor.columnPending = true;
    return Text(written);
  }
  if (cursor.columnPending) cursor.previousColumn = ColumnNumber(cursor.previousRef);
  cursor.previousColumn = (cursor.previousColumn > 0 ? cursor.previousColumn : 0) + 1;
  cursor.columnPending = false;
  return ColumnLetters(cursor.previousColumn) + intToText(cursor.row);
}

// The text a valued cell stands for: a formula's cached result, an inline
// string's text, else the value element's text. A cell holding none of these
// gives its first child's text. False for a cell without any child node.
bool CellValue(const XmlNode* cell, Text& value, bool& inlineString) {
  if (!cell->firstChild) return false;
  const XmlNode* cached = FirstChildNamed(cell, u"v");
  if (FirstChildNamed(cell, u"f")) {
    value = XmlNode::text(cached);
    return true;
  }
  if (const XmlNode* container = FirstChildNamed(cell, u"is")) {
    inlineString = true;
    StringItemText(container, value);
    return true;
  }
  value = XmlNode::text(cached ? cached : cell->firstChild);
  return true;
}

// A shared string this long is moved into the last cell that uses it rather
// than copied: a hostile cell of hundreds of megabytes then exists once.
constexpr size_t kMovedStringUnits = size_t{1} << 20;

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

Text ResolveSharedString(const Text& value) {
  int64_t index = SharedIndex(value);
  if (index < 0) return value;
  Text& shared = SharedStrings[static_cast<size_t>(index)];
  if (!remainingUses.empty() && shared.size() >= kMovedStringUnits &&
      --remainingUses[static_cast<size_t>(index)] == 0)
    return std::move(shared);
  return shared;
}

void ReadCell(const XmlNode* cell, RowCursor& cursor, ExtentMeter& meter) {
  Text ref = ReferenceOf(cell, cursor);
  Text value;
  bool inlineString = false;
  if (!CellValue(cell, value, inlineString)) return;
  if (!inlineString && TypedSharedString(cell)) value = ResolveSharedString(value);
  meter.add(ref);
  Cells.insert_or_assign(std::move(ref), std::move(value));
}

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

// Every element below sheetData is a row and every element below a row a cell,
// whatever their names; comments and the like are neither.
void ReadRows(const XmlNode* sheetData, ExtentMeter& meter) {
  CountSharedUses(sheetData);
  // Sized to the sheet at once rather than rehashed all the way up.
  size_t cells = 0;
  ForEachCell(sheetData, [&cells](const XmlNode*) { ++cells; });
  Cells.reserve(cells);
  int64_t previousRow = 0;
  for (const XmlNode* row = sheetData->firstChild; row; row = row->nextSibling) {
    if (row->kind != kXmlElementNode) continue;
    RowCursor cursor;
    cursor.row = previousRow = NextRowNumber(row, previousRow);
    for (const XmlNode* cell = row->firstChild; cell; cell = cell->nextSibling) {
      if (cell->kind == kXmlElementNode) ReadCell(cell, cursor, meter);
    }
  }
  remainingUses.clear();
  remainingUses.shrink_to_fit();
}

}  // namespace

Text LoadWorksheet(const Text& path) {
  Text problem;
  return LoadWorksheet(path, problem);
}

Text LoadWorksheet(const Text& path, Text& problem) {
  Cells.clear();
  LoadPart(kWorksheetDocument, path, u"工作表", problem);
  const XmlNode* root = XmlDocument::root(kWorksheetDocument);
  const XmlNode* sheetData =
      IsElementNamed(root, u"worksheet") ? FirstChildNamed(root, u"sheetData") : nullptr;
  ExtentMeter meter;
  if (sheetData) ReadRows(sheetData, meter);
  XmlDocument::free(kWorksheetDocument);
  Extent extent = meter.finish();
  return intToText(extent.maxColumn) + u":" + intToText(extent.maxRow);
}

int64_t ColumnNumber(const Text& s) {
  if (!createPattern(kReferencePattern, u"[A-Z]+")) return 0;
  return LettersValue(FirstMatch(s));
}

Text ColumnLetters(int64_t n) {
  Text letters;
  for (uint64_t rest = n > 0 ? static_cast<uint64_t>(n) : 0; rest > 0; rest = (rest - 1) / 26)
    letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (rest - 1) % 26));
  return letters;
}
