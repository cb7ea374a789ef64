#include "pack/pack_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "fs/paths.h"
#include "pack/pack_open.h"

namespace PackReader {
namespace {

// What a kind of archive offers; the state pointer is the packer's own per-pack record.
struct Packer {
  int kind = 0;
  void* (*open)(const Text& path) = nullptr;
  bool (*examine)(void* state) = nullptr;
  bool (*nextEntry)(void* state) = nullptr;
  Text (*entryName)(void* state) = nullptr;
  int64_t (*extractEntryTo)(void* state, const Text& target) = nullptr;
  void (*close)(void* state) = nullptr;
};

struct Slot {
  Packer packer;
  void* state = nullptr;
  int kind = 0;
  // Operations running on the pack right now. The shutdown sweep runs on the
  // main thread and may meet a pack the worker is still extracting; such a pack
  // is left alone rather than freed under the running call.
  int users = 0;
};

struct Library {
  // Re-entrant: opening closes the handle's previous pack while holding it.
  std::recursive_mutex lock;
  std::vector<Packer> packers;  // registration order; open uses the first
  std::vector<Slot> slots;
};

Library& library() {
  static Library instance;
  return instance;
}

constexpr std::size_t kBlockSize = 10240;
constexpr std::size_t kBufferSize = 2097152;
// The XML loader refuses anything larger, and the bound keeps a hostile
// archive from filling the disk.
constexpr int64_t kMaxEntryBytes = int64_t{1} << 31;

struct ZipPack {
  archive* reader = nullptr;  // none after a failed restart of the walk
  Text path;                  // kept to restart the walk
  archive_entry* current = nullptr;
  bool started = false;
};

archive* openZipReader(const Text& path) {
  archive* reader = archive_read_new();
  if (!reader) return nullptr;
  if (archive_read_support_format_zip(reader) == ARCHIVE_OK &&
      openArchiveFile(reader, path, kBlockSize) == ARCHIVE_OK)
    return reader;
  archive_read_free(reader);
  return nullptr;
}

void closeZipReader(ZipPack& pack) {
  if (pack.reader) {
    archive_read_close(pack.reader);
    archive_read_free(pack.reader);
  }
  pack.reader = nullptr;
  pack.current = nullptr;
}

void* zipOpen(const Text& path) {
  if (path.empty()) return nullptr;
  archive* reader = openZipReader(path);
  if (!reader) return nullptr;
  ZipPack* pack = new (std::nothrow) ZipPack;
  if (!pack) {
    archive_read_free(reader);
    return nullptr;
  }
  pack->reader = reader;
  pack->path = path;
  return pack;
}

bool zipExamine(void* state) {
  ZipPack& pack = *static_cast<ZipPack*>(state);
  if (pack.started) {
    // libarchive reads forward only, so a second walk needs a fresh reader.
    closeZipReader(pack);
    pack.reader = openZipReader(pack.path);
    if (!pack.reader) return false;
  }
  pack.current = nullptr;
  pack.started = true;
  return true;
}

bool zipNextEntry(void* state) {
  ZipPack& pack = *static_cast<ZipPack*>(state);
  if (!pack.reader) return false;
  archive_entry* entry = nullptr;
  int status = archive_read_next_header(pack.reader, &entry);
  // A warning (typically a name that does not convert to the locale's
  // character set) still comes with a usable entry; ending the walk there
  // would hide every later entry of the archive.
  if (status == ARCHIVE_OK || status == ARCHIVE_WARN) {
    pack.current = entry;
    return true;
  }
  pack.current = nullptr;
  return false;
}

// Names that are not UTF-8 come from archivers writing in some legacy code
// page we cannot know. Latin-1 maps every byte to one character, so such a
// name stays readable and distinct instead of collapsing into replacement
// characters.
Text decodeName(const std::string& bytes) {
  if (isStrictUtf8(bytes)) return fromUtf8(bytes);
  Text name;
  name.reserve(bytes.size());
  for (unsigned char byte : bytes) name.push_back(static_cast<char16_t>(byte));
  return name;
}

Text zipEntryName(void* state) {
  ZipPack& pack = *static_cast<ZipPack*>(state);
  if (!pack.reader || !pack.current) return Text();
  const char* name = archive_entry_pathname_utf8(pack.current);
  if (!name) name = archive_entry_pathname(pack.current);
  if (!name) return Text();
  return decodeName(name);
}

// Running as root, the permission bits do not stop a write, so a target the
// user marked read-only is refused here rather than by the open.
bool isReadOnlyFile(const Text& path) {
  std::string utf8 = toUtf8(path);
  std::error_code error;
  auto status = std::filesystem::status(
      std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), error);
  if (error || !std::filesystem::is_regular_file(status)) return false;
  return (status.permissions() & std::filesystem::perms::owner_write) ==
         std::filesystem::perms::none;
}

// Streams the current entry's remaining data into file; the byte count, or -1
// on a read error, a write error or an entry beyond the size bound.
int64_t copyEntryData(archive* reader, std::FILE* file) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
  if (!buffer) return -1;
  int64_t total = 0;
  for (;;) {
    la_ssize_t count = archive_read_data(reader, buffer.get(), kBufferSize);
    if (count == 0) return total;
    if (count < 0) return -1;
    total += count;
    if (total > kMaxEntryBytes) return -1;
    if (std::fwrite(buffer.get(), 1, count, file) != static_cast<std::size_t>(count)) return -1;
  }
}

int64_t zipExtractEntryTo(void* state, const Text& target) {
  ZipPack& pack = *static_cast<ZipPack*>(state);
  if (!pack.reader || !pack.current) return -1;
  if (archive_entry_filetype(pack.current) == AE_IFDIR) return -1;
  if (isReadOnlyFile(target)) return -1;
  std::FILE* file = openFile(target, "wb");
  if (!file) return -1;
  int64_t total = copyEntryData(pack.reader, file);
  // A failed close can be the first sign of a full disk.
  bool closed = std::fclose(file) == 0;
  if (total >= 0 && closed) return total;
  deleteFile(target, kForceDelete);
  return -1;
}

void zipClose(void* state) {
  ZipPack* pack = static_cast<ZipPack*>(state);
  closeZipReader(*pack);
  delete pack;
}

Packer zipPacker() {
  Packer packer;
  packer.kind = kZipPacker;
  packer.open = zipOpen;
  packer.examine = zipExamine;
  packer.nextEntry = zipNextEntry;
  packer.entryName = zipEntryName;
  packer.extractEntryTo = zipExtractEntryTo;
  packer.close = zipClose;
  return packer;
}

bool holdsPack(const Library& lib, int handle) {
  return handle >= 0 && handle < static_cast<int>(lib.slots.size()) && lib.slots[handle].state;
}

// Copies the handle's entry and marks its pack in use; false when it holds none.
bool claim(int handle, Slot& slot) {
  Library& lib = library();
  std::lock_guard<std::recursive_mutex> guard(lib.lock);
  if (!holdsPack(lib, handle)) return false;
  ++lib.slots[handle].users;
  slot = lib.slots[handle];
  return true;
}

void release(int handle) {
  Library& lib = library();
  std::lock_guard<std::recursive_mutex> guard(lib.lock);
  --lib.slots[handle].users;
}

// Runs op on the handle's pack outside the lock; none when the handle holds no pack.
template <typename Result, typename Op>
Result withPack(int handle, Result none, Op op) {
  Slot slot;
  if (!claim(handle, slot)) return none;
  Result result = op(slot);
  release(handle);
  return result;
}

void closeSlot(Slot& slot) {
  if (!slot.state || slot.users > 0) return;
  slot.packer.close(slot.state);
  slot = Slot();
}

}  // namespace

void startup() {
  Library& lib = library();
  std::lock_guard<std::recursive_mutex> guard(lib.lock);
  lib.slots.reserve(16);
}

void shutdown() { close(-1); }

void registerZip() {
  Library& lib = library();
  std::lock_guard<std::recursive_mutex> guard(lib.lock);
  for (const Packer& packer : lib.packers)
    if (packer.kind == kZipPacker) return;
  lib.packers.push_back(zipPacker());
}

bool open(int handle, const Text& path) {
  // No caller needs more than a few packs; a larger number is refused rather
  // than grown into a table of that size.
  constexpr int kHandleLimit = 1 << 16;
  if (handle < 0 || handle >= kHandleLimit) return false;
  Library& lib = library();
  std::lock_guard<std::recursive_mutex> guard(lib.lock);
  close(handle);
  if (handle >= static_cast<int>(lib.slots.size())) lib.slots.resize(static_cast<size_t>(handle) + 16);
  // Still held only when another thread is inside a call on this pack.
  if (lib.slots[handle].state || lib.packers.empty()) return false;
  const Packer& packer = lib.packers.front();
  void* state = packer.open(path);
  if (!state) return false;
  Slot& slot = lib.slots[handle];
  slot.packer = packer;
  slot.state = state;
  slot.kind = packer.kind;
  return true;
}

bool examine(int handle) {
  return withPack(handle, false, [](const Slot& slot) { return slot.packer.examine(slot.state); });
}

bool nextEntry(int handle) {
  return withPack(handle, false,
                  [](const Slot& slot) { return slot.packer.nextEntry(slot.state); });
}

Text entryName(int handle) {
  return withPack(handle, Text(),
                  [](const Slot& slot) { return slot.packer.entryName(slot.state); });
}

int64_t extractEntryTo(int handle, const Text& target) {
  return withPack(handle, int64_t{-1}, [&target](const Slot& slot) {
    return slot.packer.extractEntryTo(slot.state, target);
  });
}

void close(int handle) {
  Library& lib = library();
  std::lock_guard<std::recursive_mutex> guard(lib.lock);
  if (handle == -1) {
    for (Slot& slot : lib.slots) closeSlot(slot);
  } else if (holdsPack(lib, handle)) {
    closeSlot(lib.slots[handle]);
  }
}

}  // namespace PackReader
