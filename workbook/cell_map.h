#pragma once
// The two program-wide collections the workbook reading fills. Both are made
// by the GUI thread before the worker starts and touched only by the worker
// afterwards, so they carry no lock.

#include <functional>
#include <unordered_map>
#include <vector>

#include "text/text.h"

// The workbook's shared strings, indexed from 0.
extern std::vector<Text> SharedStrings;

// Hashes a reference written the usual way ("D2": one to three capital
// letters, then the row's digits) so that the cells of one row land in
// neighbouring slots: a sheet is read row by row, and the slots it fills then
// stay in the cache instead of each cell costing its own misses. Rows are
// spread by a mixing step, so no arrangement of rows piles cells into a few
// slots any more easily than with the library hash, which takes every other key.
struct CellKeyHash {
  size_t operator()(const Text& key) const noexcept;
};

// Cell reference exactly as the sheet writes it ("D2") to the cell's text.
using CellMap = std::unordered_map<Text, Text, CellKeyHash>;
extern CellMap Cells;

constexpr size_t kCellMapSlots = 512;

// Empties both collections; the map keeps room for kCellMapSlots keys.
void ResetWorkbookCollections();
// The text under ref, or the empty text when the map holds none.
Text CellText(const Text& ref);
