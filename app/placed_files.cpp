#include "app/placed_files.h"

#include <algorithm>

#include "fs/paths.h"

PlacedFiles::PlacedFiles(const std::vector<Text>& destinations) {
  std::vector<Text> sorted;
  for (const Text& destination : destinations) sorted.push_back(comparedName(destination));
  std::sort(sorted.begin(), sorted.end());
  // A folder's own and those inside it follow it, in this order.
  for (size_t i = 0; i < sorted.size(); ++i) {
    for (size_t j = i + 1; j < sorted.size() && sorted[j].compare(0, sorted[i].size(), sorted[i]) == 0;
         ++j) {
      shared_.insert(sorted[i]);
      shared_.insert(sorted[j]);
    }
  }
}

bool PlacedFiles::begin(int entry, const Text& destination) {
  entry_ = entry;
  replaced_ = Replaced();
  alone_ = shared_.count(comparedName(destination)) == 0;
  auto [place, added] = destinationIndex_.emplace(destination, destinations_.size());
  if (added) {
    destinations_.push_back(destination);
    destinationLength_.push_back(toUtf8(destination).size());
  }
  destination_ = place->second;
  if (alone_) return false;
  auto [owner, first] = owners_.add(pathKey(destination.substr(0, destination.size() - 1)), entry);
  if (!first && *owner == Owners::kUnplaced) *owner = entry;
  return true;
}

void PlacedFiles::onPlaced(void* context, const ToldPath& path, bool copied) {
  auto* files = static_cast<PlacedFiles*>(context);
  auto [owner, added] = files->owners_.add(path.key(), files->entry_);
  if (added) return;
  // Found in place, the earlier entry's file was this one's as well.
  if (copied && *owner != Owners::kUnplaced && *owner != files->entry_) files->note(path, *owner);
  *owner = files->entry_;
}

// What an earlier entry put in place needs no keeping: in a shared
// destination that is most of what a copy finds.
void PlacedFiles::onUnmatched(void* context, const ToldPath& path) {
  auto* files = static_cast<PlacedFiles*>(context);
  // Where no other copy lands each name is told once, and stays old.
  uint64_t key = files->alone_ ? 0 : std::max<uint64_t>(path.key(), 1);
  if (!files->alone_ && !files->owners_.add(key, Owners::kUnplaced).second) return;
  files->candidates_.push_back(Candidate{key, files->destination_, files->names_.size()});
  path.appendUtf8(files->names_, files->destinationLength_[files->destination_]);
  files->names_.push_back('\0');
}

std::vector<std::pair<Text, std::vector<Text>>> PlacedFiles::oldCopies() const {
  std::vector<std::vector<Text>> old(destinations_.size());
  for (const Candidate& candidate : candidates_) {
    const int32_t* owner = candidate.key == 0 ? nullptr : owners_.find(candidate.key);
    if (owner == nullptr || *owner == Owners::kUnplaced)
      old[candidate.destination].push_back(destinations_[candidate.destination] +
                                           fromUtf8(names_.c_str() + candidate.name));
  }
  // By path: the example and the record's order are the same on every
  // platform and every rerun, whatever order the listings came in.
  std::vector<std::pair<Text, std::vector<Text>>> result;
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i].empty()) continue;
    std::sort(old[i].begin(), old[i].end());
    result.emplace_back(destinations_[i], std::move(old[i]));
  }
  return result;
}

void PlacedFiles::note(const ToldPath& path, int earlier) {
  ++replaced_.count;
  Text full = path.text();
  const Text& destination = destinations_[destination_];
  Text inside = full.substr(std::min(destination.size(), full.size()));
  if (replaced_.example.empty() || inside < replaced_.example) {
    replaced_.example = inside;
    replaced_.earlier = earlier;
  }
}

// Open addressing with linear probing, at most 70 % full. Keys are hashes
// already; the rare key 0 stands for an empty slot, so it becomes 1.
std::pair<int32_t*, bool> PlacedFiles::Owners::add(uint64_t key, int32_t value) {
  if ((used_ + 1) * 10 > slots_.size() * 7) grow();
  key = key == 0 ? 1 : key;
  Slot& slot = slots_[slotOf(key)];
  if (slot.key() == key) return {&slot.value, false};
  slot = Slot{static_cast<uint32_t>(key), static_cast<uint32_t>(key >> 32), value};
  ++used_;
  return {&slot.value, true};
}

const int32_t* PlacedFiles::Owners::find(uint64_t key) const {
  if (slots_.empty()) return nullptr;
  const Slot& slot = slots_[slotOf(key == 0 ? 1 : key)];
  return slot.key() == 0 ? nullptr : &slot.value;
}

// The slot holding key, else the empty slot where it goes.
size_t PlacedFiles::Owners::slotOf(uint64_t key) const {
  size_t mask = slots_.size() - 1;
  size_t at = static_cast<size_t>(key ^ (key >> 32)) & mask;
  while (slots_[at].key() != 0 && slots_[at].key() != key) at = (at + 1) & mask;
  return at;
}

void PlacedFiles::Owners::grow() {
  std::vector<Slot> old(std::max<size_t>(slots_.size() * 2, 1024));
  slots_.swap(old);
  for (const Slot& slot : old)
    if (slot.key() != 0) slots_[slotOf(slot.key())] = slot;
}
