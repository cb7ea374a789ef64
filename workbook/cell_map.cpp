#include "workbook/cell_map.h"

std::vector<Text> SharedStrings;
CellMap Cells;

void ResetWorkbookCollections() {
  SharedStrings.clear();
  Cells.clear();
  Cells.reserve(kCellMapSlots);
}

Text CellText(const Text& ref) {
  auto found = Cells.find(ref);
  return found == Cells.end() ? Text() : found->second;
}
