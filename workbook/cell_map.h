#pragma once
// The two program-wide collections the workbook reading fills. Both are made
// by the GUI thread before the worker starts and touched only by the worker
// afterwards, so they carry no lock.

#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>
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

// A cell's text: its own, or a shared string it refers to. A table repeats a
// few destination lists down whole columns; referring to the one copy the map
// keeps of the shared strings saves a copy, and an allocation, per cell. Reads
// like a const Text.
class CellString {
 public:
  CellString() = default;
  CellString(Text text) : own_(std::move(text)) {}
  CellString& operator=(Text text) {
    own_ = std::move(text);
    shared_ = nullptr;
    return *this;
  }
  static CellString referTo(const Text& text) {
    CellString string;
    string.shared_ = &text;
    return string;
  }
  const Text& text() const { return shared_ ? *shared_ : own_; }
  operator const Text&() const { return text(); }
  operator std::u16string_view() const { return text(); }
  bool empty() const { return text().empty(); }
  friend bool operator==(const CellString& a, const Text& b) { return a.text() == b; }
  friend bool operator==(const CellString& a, const char16_t* b) { return a.text() == b; }

 private:
  const Text* shared_ = nullptr;
  Text own_;
};

// Cell reference exactly as the sheet writes it ("D2") to the cell's text.
using CellMap = std::unordered_map<Text, CellString, CellKeyHash>;
extern CellMap Cells;

constexpr size_t kCellMapSlots = 512;

// Empties both collections; the map keeps room for kCellMapSlots keys.
void ResetWorkbookCollections();
// A shared string this long is not referred to but moved into the last cell
// that uses it: a hostile cell of hundreds of megabytes then exists once.
constexpr size_t kMovedStringUnits = size_t{1} << 20;

// Empties Cells and takes the copy of SharedStrings that its shared-string
// cells refer to, so that loading the shared strings again later leaves the
// map's texts as they were read. Strings of kMovedStringUnits or more are left
// out of the copy.
void ClearCellsForSheet();
// A cell text referring to the map's copy of shared string index, which must
// be below the size SharedStrings had at ClearCellsForSheet and shorter than
// kMovedStringUnits.
CellString SharedCellString(size_t index);
// The text under ref, or the empty text when the map holds none.
Text CellText(const Text& ref);
