#include "workbook/cell_map.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

namespace {

// The bits of a 64-bit number spread over the whole word.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15u;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

constexpr size_t kColumnSpan = 32768;  // above the largest three-letter column, 18278

constexpr size_t kEntryChunkBits = 12;
constexpr size_t kEntryChunk = size_t{1} << kEntryChunkBits;
// Texts are packed into blocks of this many units; a longer one keeps its own buffer.
constexpr size_t kBlockUnits = 32768;
constexpr size_t kLongText = 1024;

const char16_t kNoText[] = u"";

}  // namespace

size_t CellKeyHash::operator()(std::u16string_view key) const noexcept {
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
  if (!usual) return static_cast<size_t>(Mix(std::hash<std::u16string_view>()(key)));
  // Eight neighbouring columns of a row share one aligned run of eight slots
  // (a cache line); the runs themselves are spread by the mix. Longer runs
  // would let a wide sheet's rows overrun each other into long probes.
  return static_cast<size_t>(Mix(row * kColumnSpan + (column >> 3)) << 3 | (column & 7));
}

CellMap::CellMap() : slots_(kCellMapSlots) {}
CellMap::~CellMap() = default;

CellMap::CellMap(CellMap&& other) noexcept : CellMap() { swap(other); }

CellMap& CellMap::operator=(CellMap&& other) noexcept {
  if (this != &other) {
    clear();
    swap(other);
  }
  return *this;
}

void CellMap::swap(CellMap& other) noexcept {
  slots_.swap(other.slots_);
  entries_.swap(other.entries_);
  std::swap(count_, other.count_);
  blocks_.swap(other.blocks_);
  std::swap(next_, other.next_);
  std::swap(room_, other.room_);
  longTexts_.swap(other.longTexts_);
  longTextOf_.swap(other.longTextOf_);
  keptUnits_.swap(other.keptUnits_);
  keptStarts_.swap(other.keptStarts_);
}

void CellMap::clear() {
  std::vector<Slot>(kCellMapSlots).swap(slots_);
  std::vector<std::unique_ptr<Entry[]>>().swap(entries_);
  std::vector<std::unique_ptr<char16_t[]>>().swap(blocks_);
  std::vector<Text>().swap(longTexts_);
  longTextOf_.clear();
  next_ = nullptr;
  room_ = 0;
  count_ = 0;
  std::vector<char16_t>().swap(keptUnits_);
  std::vector<size_t>().swap(keptStarts_);
}

void CellMap::keepStrings(const std::vector<Text>& strings) {
  auto kept = [](const Text& s) { return s.size() < kMovedStringUnits ? s.size() : 0; };
  size_t units = 0;
  for (const Text& s : strings) units += kept(s);
  std::vector<char16_t>().swap(keptUnits_);
  keptUnits_.reserve(units);
  keptStarts_.clear();
  keptStarts_.reserve(strings.size() + 1);
  for (const Text& s : strings) {
    keptStarts_.push_back(keptUnits_.size());
    keptUnits_.insert(keptUnits_.end(), s.begin(), s.begin() + kept(s));
  }
  keptStarts_.push_back(keptUnits_.size());
}

std::u16string_view CellMap::keptString(size_t index) const {
  return {keptUnits_.data() + keptStarts_[index], keptStarts_[index + 1] - keptStarts_[index]};
}

CellMap::Entry& CellMap::entryAt(size_t index) const {
  return entries_[index >> kEntryChunkBits][index & (kEntryChunk - 1)];
}

CellMap::Cell CellMap::Iterator::operator*() const {
  const Entry& entry = map_->entryAt(index_);
  return Cell{{entry.key, entry.keyLength}, {entry.text, entry.textLength}};
}

size_t CellMap::slotIndex(std::u16string_view key, uint32_t hash) const {
  size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.entry == 0) return i;
    if (slot.hash != hash) continue;
    const Entry& entry = entryAt(slot.entry - 1);
    if (std::u16string_view(entry.key, entry.keyLength) == key) return i;
  }
}

// Doubles the slots once they are seven tenths full; linear probing stays
// short below that.
void CellMap::grow() {
  std::vector<Slot> slots(slots_.size() * 2);
  size_t mask = slots.size() - 1;
  for (const Slot& slot : slots_) {
    if (slot.entry == 0) continue;
    size_t i = slot.hash & mask;
    while (slots[i].entry != 0) i = (i + 1) & mask;
    slots[i] = slot;
  }
  slots_.swap(slots);
}

const char16_t* CellMap::store(std::u16string_view text) {
  if (text.empty()) return kNoText;
  if (text.size() > kLongText) {
    longTexts_.emplace_back(text);
    return longTexts_.back().data();
  }
  if (text.size() > room_) {
    blocks_.push_back(std::make_unique<char16_t[]>(kBlockUnits));
    next_ = blocks_.back().get();
    room_ = kBlockUnits;
  }
  char16_t* units = next_;
  std::copy(text.begin(), text.end(), units);
  next_ += text.size();
  room_ -= text.size();
  return units;
}

size_t CellMap::entryFor(std::u16string_view key) {
  if ((count_ + 1) * 10 > slots_.size() * 7) grow();
  auto hash = static_cast<uint32_t>(CellKeyHash()(key));
  Slot& slot = slots_[slotIndex(key, hash)];
  if (slot.entry != 0) {
    size_t index = slot.entry - 1;
    releaseText(index);
    return index;
  }
  if ((count_ >> kEntryChunkBits) == entries_.size())
    entries_.push_back(std::make_unique<Entry[]>(kEntryChunk));
  Entry& entry = entryAt(count_);
  entry.key = store(key);
  entry.keyLength = static_cast<uint32_t>(key.size());
  entry.text = kNoText;
  entry.textLength = 0;
  slot = Slot{static_cast<uint32_t>(count_ + 1), hash};
  return count_++;
}

// A replaced long text is freed at once: a sheet repeating one reference with
// huge texts must not pile them up.
void CellMap::releaseText(size_t index) {
  auto found = longTextOf_.find(index);
  if (found == longTextOf_.end()) return;
  Text().swap(longTexts_[found->second]);
  longTextOf_.erase(found);
}

void CellMap::setText(size_t index, std::u16string_view text) {
  Entry& entry = entryAt(index);
  entry.text = text.empty() ? kNoText : text.data();
  entry.textLength = static_cast<uint32_t>(text.size());
}

void CellMap::set(std::u16string_view key, std::u16string_view text) {
  size_t index = entryFor(key);
  const char16_t* units = store(text);
  if (text.size() > kLongText) longTextOf_[index] = longTexts_.size() - 1;
  setText(index, {units, text.size()});
}

void CellMap::setMoved(std::u16string_view key, Text&& text) {
  if (text.size() <= kLongText) return set(key, std::u16string_view(text));
  size_t index = entryFor(key);
  longTexts_.push_back(std::move(text));
  longTextOf_[index] = longTexts_.size() - 1;
  setText(index, longTexts_.back());
}

void CellMap::setReferring(std::u16string_view key, std::u16string_view text) {
  setText(entryFor(key), text);
}

std::u16string_view CellMap::text(std::u16string_view key) const {
  const Slot& slot = slots_[slotIndex(key, static_cast<uint32_t>(CellKeyHash()(key)))];
  if (slot.entry == 0) return {};
  const Entry& entry = entryAt(slot.entry - 1);
  return {entry.text, entry.textLength};
}

bool CellMap::contains(std::u16string_view key) const {
  return slots_[slotIndex(key, static_cast<uint32_t>(CellKeyHash()(key)))].entry != 0;
}

double CellMap::meanProbe() const {
  size_t mask = slots_.size() - 1;
  size_t probes = 0;
  for (size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].entry != 0) probes += ((i - (slots_[i].hash & mask)) & mask) + 1;
  return count_ == 0 ? 0 : static_cast<double>(probes) / static_cast<double>(count_);
}
