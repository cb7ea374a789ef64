#include "workbook/cell_map.h"

#include <cstdint>
#include <functional>

namespace {

// The bits of a 64-bit number spread over the whole word.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

constexpr size_t kColumnSpan = 32768;  // above the largest three-letter column, 18278

}  // namespace

size_t CellKeyHash::operator()(const Text& key) const noexcept {
  size_t i = 0;
  uint64_t column = 0, row = 0;
  while (i < key.size() && i < 3 && key[i] >= u'A' && key[i] <= u'Z')
    column = column * 26 + (key[i++] - u'A' + 1);
  size_t digits = key.size() - i;
  bool usual = column > 0 && digits >= 1 && digits <= 10;
  for (; usual && i < key.size(); ++i) {
    if (key[i] < u'0' || key[i] > u'9')
      usual = false;
    else
      row = row * 10 + (key[i] - u'0');
  }
  if (!usual) return std::hash<Text>()(key);
  return static_cast<size_t>(Mix(row) * kColumnSpan + column);
}

std::vector<Text> SharedStrings;
CellMap Cells;

namespace {

// What the shared-string cells of Cells refer to; replaced only once Cells is empty.
std::vector<Text> sheetStrings;

}  // namespace

void ResetWorkbookCollections() {
  SharedStrings.clear();
  Cells.clear();
  sheetStrings.clear();
  Cells.reserve(kCellMapSlots);
}

void ClearCellsForSheet() {
  Cells.clear();
  sheetStrings.clear();
  sheetStrings.reserve(SharedStrings.size());
  for (const Text& shared : SharedStrings)
    sheetStrings.push_back(shared.size() < kMovedStringUnits ? shared : Text());
}

CellString SharedCellString(size_t index) {
  return CellString::referTo(sheetStrings[index]);
}

Text CellText(const Text& ref) {
  auto found = Cells.find(ref);
  return found == Cells.end() ? Text() : found->second.text();
}
