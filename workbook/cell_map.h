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

// Cell reference exactly as the sheet writes it ("D2") to the cell's text.
using CellMap = std::unordered_map<Text, Text>;
extern CellMap Cells;

constexpr size_t kCellMapSlots = 512;

// Empties both collections; the map keeps room for kCellMapSlots keys.
void ResetWorkbookCollections();
// The text under ref, or the empty text when the map holds none.
Text CellText(const Text& ref);
