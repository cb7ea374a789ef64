#pragma once
// Which entry's material each file placed in a run came from, so that a later
// entry's file replacing an earlier one's in a shared destination is never
// silent (the table may mean it, but one person's material is then missing
// there); and what the destinations held that no entry put in place, the old
// copies a run lists and never deletes.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fs/copy_tree.h"
#include "text/text.h"

class PlacedFiles {
 public:
  struct Replaced {
    int64_t count = 0;
    Text example;  // the first by name, whichever copy finished first
    int earlier = -1;  // the example's entry, into RunPlan::materials
  };

  // The destinations the run copies into, each ending with a separator.
  // Where no other one is the same folder or lies inside or around it, no
  // file of another entry can land: nothing is kept per file there.
  explicit PlacedFiles(const std::vector<Text>& destinations);

  // The copy of material entry into destination (ending with a separator)
  // begins. The destination folder itself is this entry's: never an old copy
  // of another one's. Whether the copy needs to tell what it placed.
  bool begin(int entry, const Text& destination);
  // The current copy's replacements of earlier entries' files.
  const Replaced& replaced() const { return replaced_; }
  // Per destination, in the order the destinations came, the full paths of
  // what no entry put in place in the whole run, sorted. Asked once every entry is
  // in: one entry's files are never old copies of another's.
  std::vector<std::pair<Text, std::vector<Text>>> oldCopies() const;

  // The copy's report calls, with this as their context.
  static void onPlaced(void* context, const ToldPath& path, bool copied);
  static void onUnmatched(void* context, const ToldPath& path);

 private:
  // Each path's key and what it holds: an entry's index, or kUnplaced for an
  // entry of a destination that nobody has put in place (yet). About twelve
  // bytes a path however long the paths: a run may place millions of files.
  class Owners {
   public:
    static constexpr int32_t kUnplaced = -1;
    // The value at key, added as value when missing; whether it was added.
    std::pair<int32_t*, bool> add(uint64_t key, int32_t value);
    const int32_t* find(uint64_t key) const;

   private:
    // A key and its value side by side, so that a look-up touches one
    // place in memory; three 32-bit words, twelve bytes.
    struct Slot {
      uint32_t low = 0, high = 0;  // the key; 0 for an empty slot
      int32_t value = 0;
      uint64_t key() const { return (uint64_t{high} << 32) | low; }
    };
    size_t slotOf(uint64_t key) const;
    void grow();
    std::vector<Slot> slots_;
    size_t used_ = 0;
  };
  struct Candidate {
    uint64_t key;  // 0 where the destination is no other's: old as told
    size_t destination;  // into destinations_
    size_t name;  // where its path inside the destination starts in names_
  };

  void note(const ToldPath& path, int earlier);

  std::set<Text> shared_;  // as the file system compares them
  bool alone_ = false;  // the current destination is no other's
  Owners owners_;
  int entry_ = -1;
  size_t destination_ = 0;  // into destinations_
  Replaced replaced_;
  std::map<Text, size_t> destinationIndex_;
  std::vector<Text> destinations_;
  std::vector<size_t> destinationLength_;  // each one's length in UTF-8
  // What the destinations held that the entry being copied had not, each
  // seen first; only where a folder was there before, so a first run has
  // none. A rerun keeps one per file of the other entries until they are
  // placed, so the paths go into one buffer, each ended by a zero byte.
  std::vector<Candidate> candidates_;
  std::string names_;
};
