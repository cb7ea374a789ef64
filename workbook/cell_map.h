#pragma once
// The cells of a table: CellMap, which a reading fills and the Table keeps.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/text.h"

// Hashes a reference written the usual way ("D2": one to three capital
// letters, then the row's digits) from its column and row numbers, so that
// neighbouring cells of one row land in neighbouring slots: a sheet is read row by
// row, and the slots it fills then stay in the cache instead of each cell
// costing its own misses. Rows are spread by a mixing step, so no arrangement
// of rows piles cells into a few slots any more easily than with a hash of
// the whole key, which takes every other key.
struct CellKeyHash {
  size_t operator()(std::u16string_view key) const noexcept;
};

// Cell reference exactly as the sheet writes it ("D2") to the cell's text.
//
// Built for tables of millions of cells: a cell costs a few dozen bytes. The
// keys and short texts are packed into shared blocks, a long text keeps the
// buffer it came in, and a cell may refer to a text kept elsewhere (a shared
// string) instead of holding a copy. Cells are enumerated in the order they
// were first stored.
class CellMap {
 public:
  struct Cell {
    std::u16string_view key;
    std::u16string_view text;
  };

  CellMap();
  ~CellMap();
  CellMap(const CellMap&) = delete;
  CellMap& operator=(const CellMap&) = delete;
  // Texts stay where they are: a moved map's views still hold, and the map
  // moved from is empty.
  CellMap(CellMap&& other) noexcept;
  CellMap& operator=(CellMap&& other) noexcept;
  void swap(CellMap& other) noexcept;

  // Empties the map and gives back its memory.
  void clear();
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Stores a copy of text under key, replacing what the key held.
  void set(std::u16string_view key, std::u16string_view text);
  // The same, keeping a long text's own buffer rather than copying it.
  void setMoved(std::u16string_view key, Text&& text);
  // Stores under key a reference to text, which must stay unchanged until the
  // map is cleared.
  void setReferring(std::u16string_view key, std::u16string_view text);
  // Keeps one compact copy of strings (those of kMovedStringUnits or more
  // left out) for cells to refer to with keptString; it lives as long as the
  // map's cells do, wherever the map goes.
  void keepStrings(const std::vector<Text>& strings);
  // Kept string index, below the count keepStrings was given.
  std::u16string_view keptString(size_t index) const;

  // The text under key; empty when the map holds none.
  std::u16string_view text(std::u16string_view key) const;
  bool contains(std::u16string_view key) const;
  // How many slots a lookup of a stored key goes through on average: how well
  // the hash spreads the keys.
  double meanProbe() const;

  class Iterator {
   public:
    Cell operator*() const;
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return index_ != other.index_; }

   private:
    friend class CellMap;
    Iterator(const CellMap* map, size_t index) : map_(map), index_(index) {}
    const CellMap* map_;
    size_t index_;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, count_); }

 private:
  struct Entry {
    const char16_t* key;
    const char16_t* text;
    uint32_t keyLength;
    uint32_t textLength;
  };
  // entry is 1 + the entry's index, 0 for a free slot.
  struct Slot {
    uint32_t entry;
    uint32_t hash;
  };

  Entry& entryAt(size_t index) const;
  // The slot holding key, or the free slot where it would go.
  size_t slotIndex(std::u16string_view key, uint32_t hash) const;
  // The index of the entry under key, made when there was none; its old
  // text is let go.
  size_t entryFor(std::u16string_view key);
  void releaseText(size_t index);
  void setText(size_t index, std::u16string_view text);
  const char16_t* store(std::u16string_view text);
  void grow();

  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<Entry[]>> entries_;
  size_t count_ = 0;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  char16_t* next_ = nullptr;
  size_t room_ = 0;
  std::vector<Text> longTexts_;
  std::unordered_map<size_t, size_t> longTextOf_;  // entry to its own long text
  std::vector<char16_t> keptUnits_;  // kept strings, one after another
  std::vector<size_t> keptStarts_;  // where each starts, and one past the last
};

constexpr size_t kCellMapSlots = 512;

// A shared string this long is not referred to but moved into the last cell
// that uses it: a hostile cell of hundreds of megabytes then exists once.
constexpr size_t kMovedStringUnits = size_t{1} << 20;
