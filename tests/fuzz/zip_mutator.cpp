// A mutator for the whole-path target. Mutating a workbook's bytes blindly
// almost never gets past the archive's checksums, so most mutations instead
// take a package of stored (uncompressed) entries apart, mutate one entry's
// data or name with libFuzzer's own mutator, and pack it again with correct
// sizes and checksums. The rest mutate the raw bytes, which is how the
// archive structure itself gets fuzzed.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

struct StoredEntry {
  std::string name;
  std::string data;
};

uint32_t crc32Of(const std::string& bytes) {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

uint32_t readLe(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

void putLe(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

// The leading run of local entries, when every one is stored with its sizes
// in the header; false for anything else (deflated data, data descriptors).
bool readStored(const uint8_t* data, size_t size, std::vector<StoredEntry>& entries) {
  size_t at = 0;
  while (at + 30 <= size && readLe(data + at, 4) == 0x04034b50u) {
    uint32_t flags = readLe(data + at + 6, 2), method = readLe(data + at + 8, 2);
    uint32_t stored = readLe(data + at + 18, 4), nameLength = readLe(data + at + 26, 2);
    uint32_t extraLength = readLe(data + at + 28, 2);
    if (method != 0 || (flags & 8) || stored != readLe(data + at + 22, 4)) return false;
    size_t start = at + 30 + nameLength + extraLength;
    if (start > size || stored > size - start) return false;
    entries.push_back({std::string(reinterpret_cast<const char*>(data) + at + 30, nameLength),
                       std::string(reinterpret_cast<const char*>(data) + start, stored)});
    at = start + stored;
  }
  return !entries.empty();
}

std::string writeStored(const std::vector<StoredEntry>& entries) {
  std::string out, directory;
  for (const StoredEntry& entry : entries) {
    uint32_t offset = static_cast<uint32_t>(out.size()), crc = crc32Of(entry.data);
    auto common = [&](std::string& to) {
      putLe(to, 20, 2);  // version needed
      putLe(to, 0, 2);   // flags
      putLe(to, 0, 2);   // stored
      putLe(to, 0, 2);   // time
      putLe(to, 0x21, 2);  // 1980-01-01
      putLe(to, crc, 4);
      putLe(to, static_cast<uint32_t>(entry.data.size()), 4);
      putLe(to, static_cast<uint32_t>(entry.data.size()), 4);
      putLe(to, static_cast<uint32_t>(entry.name.size()), 2);
      putLe(to, 0, 2);  // extra
    };
    putLe(out, 0x04034b50u, 4);
    common(out);
    out += entry.name + entry.data;
    putLe(directory, 0x02014b50u, 4);
    putLe(directory, 20, 2);  // version made by
    common(directory);
    putLe(directory, 0, 2);  // comment
    putLe(directory, 0, 2);  // disk
    putLe(directory, 0, 2);  // internal attributes
    putLe(directory, 0, 4);  // external attributes
    putLe(directory, offset, 4);
    directory += entry.name;
  }
  uint32_t directoryOffset = static_cast<uint32_t>(out.size());
  out += directory;
  putLe(out, 0x06054b50u, 4);
  putLe(out, 0, 4);  // disk numbers
  putLe(out, static_cast<uint32_t>(entries.size()), 2);
  putLe(out, static_cast<uint32_t>(entries.size()), 2);
  putLe(out, static_cast<uint32_t>(directory.size()), 4);
  putLe(out, directoryOffset, 4);
  putLe(out, 0, 2);  // comment
  return out;
}

void mutateText(std::string& text, size_t maxSize) {
  std::string buffer = text;
  buffer.resize(std::max(maxSize, buffer.size() + 1));
  size_t size = LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(buffer.data()), text.size(),
                                 buffer.size());
  buffer.resize(size);
  text = buffer;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
  std::minstd_rand random(seed);
  std::vector<StoredEntry> entries;
  if (random() % 4 == 0 || !readStored(data, size, entries))
    return LLVMFuzzerMutate(data, size, maxSize);
  StoredEntry& entry = entries[random() % entries.size()];
  size_t packed = writeStored(entries).size();
  if (packed >= maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  if (random() % 8 == 0) {
    mutateText(entry.name, std::min<size_t>(maxSize - packed + entry.name.size(), 0xFFFF));
  } else {
    mutateText(entry.data, maxSize - packed + entry.data.size());
  }
  std::string out = writeStored(entries);
  if (out.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}
