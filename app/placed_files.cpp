#include "app/placed_files.h"

#include <algorithm>

void PlacedFiles::begin(int entry, const Text& destination) {
  entry_ = entry;
  replaced_ = Replaced();
  auto [place, added] = destinationIndex_.emplace(destination, destinations_.size());
  if (added) {
    destinations_.push_back(destination);
    destinationLength_.push_back(toUtf8(destination).size());
  }
  destination_ = place->second;
  auto [owner, first] = owners_.add(pathKey(destination.substr(0, destination.size() - 1)), entry);
  if (!first && *owner == Owners::kUnplaced) *owner = entry;
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
  if (!files->owners_.add(path.key(), Owners::kUnplaced).second) return;
  std::string utf8 = path.utf8();
  size_t inside = std::min(files->destinationLength_[files->destination_], utf8.size());
  files->candidates_.push_back(Candidate{path.key(), files->destination_, files->names_.size()});
  files->names_.append(utf8, inside, std::string::npos);
  files->names_.push_back('\0');
}

std::vector<std::pair<Text, std::vector<Text>>> PlacedFiles::oldCopies() const {
  std::vector<std::vector<Text>> old(destinations_.size());
  for (const Candidate& candidate : candidates_) {
    const int32_t* owner = owners_.find(candidate.key);
    if (owner != nullptr && *owner == Owners::kUnplaced)
      old[candidate.destination].push_back(destinations_[candidate.destination] +
                                           fromUtf8(names_.c_str() + candidate.name));
  }
  std::vector<std::pair<Text, std::vector<Text>>> result;
  for (size_t i = 0; i < old.size(); ++i)
    if (!old[i].empty()) result.emplace_back(destinations_[i], std::move(old[i]));
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
  if ((used_ + 1) * 10 > keys_.size() * 7) grow();
  key = key == 0 ? 1 : key;
  size_t slot = slotOf(key);
  if (keys_[slot] == key) return {&values_[slot], false};
  keys_[slot] = key;
  values_[slot] = value;
  ++used_;
  return {&values_[slot], true};
}

const int32_t* PlacedFiles::Owners::find(uint64_t key) const {
  if (keys_.empty()) return nullptr;
  size_t slot = slotOf(key == 0 ? 1 : key);
  return keys_[slot] == 0 ? nullptr : &values_[slot];
}

// The slot holding key, else the empty slot where it goes.
size_t PlacedFiles::Owners::slotOf(uint64_t key) const {
  size_t mask = keys_.size() - 1;
  size_t slot = static_cast<size_t>(key ^ (key >> 32)) & mask;
  while (keys_[slot] != 0 && keys_[slot] != key) slot = (slot + 1) & mask;
  return slot;
}

void PlacedFiles::Owners::grow() {
  std::vector<uint64_t> keys(std::max<size_t>(keys_.size() * 2, 1024), 0);
  std::vector<int32_t> values(keys.size());
  keys_.swap(keys);
  values_.swap(values);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == 0) continue;
    size_t slot = slotOf(keys[i]);
    keys_[slot] = keys[i];
    values_[slot] = values[i];
  }
}
