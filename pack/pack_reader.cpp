#include "pack/pack_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "app/failure_words.h"
#include "fs/paths.h"
#include "pack/pack_open.h"
#include "text/catalogue.h"

namespace PackReader {
namespace {

// What a kind of archive offers; the state pointer is the packer's own per-pack record.
struct Packer {
  int kind = 0;
  void* (*open)(const Text& path) = nullptr;
  bool (*examine)(void* state) = nullptr;
  bool (*nextEntry)(void* state) = nullptr;
  Text (*entryName)(void* state) = nullptr;
  int64_t (*extractEntryTo)(void* state, const Text& target, int64_t* budget) = nullptr;
  EntryFault (*entryFault)(void* state) = nullptr;
  Text (*writeMessage)(void* state) = nullptr;
  EntryFault (*walkFault)(void* state) = nullptr;
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
  EntryFault entryFault = EntryFault::kNone;
  Text writeMessage;
  EntryFault walkFault = EntryFault::kNone;
};

// libarchive tells its failures apart only in words; these are the ones its
// zip reader uses for a cut archive, a checksum and an encrypted entry.
EntryFault faultOf(archive* reader) {
  const char* words = archive_error_string(reader);
  std::string text = words ? words : "";
  auto has = [&text](const char* part) { return text.find(part) != std::string::npos; };
  // zlib's "no progress possible" (-5) inside an entry means its data ran out.
  if (has("runcated") || has("remature end") || has("failed (-5)")) return EntryFault::kCutShort;
  if (has("CRC") || has("checksum")) return EntryFault::kChecksum;
  if (has("ncrypt") || has("assphrase")) return EntryFault::kEncrypted;
  return EntryFault::kDamaged;
}

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
  pack.walkFault = EntryFault::kNone;
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
  if (status != ARCHIVE_EOF && pack.walkFault == EntryFault::kNone)
    pack.walkFault = faultOf(pack.reader);
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

// Streams the current entry's remaining data into file; the byte count, or
// -1 with pack.entryFault set on a read error, a write error or an entry
// beyond the size bound or the budget. Every byte inflated is taken from
// *budget, so entries that fail still use it up.
int64_t copyEntryData(ZipPack& pack, std::FILE* file, int64_t* budget) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
  if (!buffer) return -1;
  int64_t total = 0;
  int64_t declared =
      archive_entry_size_is_set(pack.current) ? archive_entry_size(pack.current) : -1;
  for (;;) {
    la_ssize_t count = archive_read_data(pack.reader, buffer.get(), kBufferSize);
    if (count == 0) return total;
    if (count < 0) {
      pack.entryFault = faultOf(pack.reader);
      return -1;
    }
    total += count;
    if (budget) *budget -= count;
    if (total > kMaxEntryBytes || (budget && *budget < 0)) {
      pack.entryFault = EntryFault::kTooLarge;
      return -1;
    }
    // Data beyond the size the headers give is damage that libarchive would
    // report only at the entry's end; a bomb claiming a small size is cut
    // short here instead of after gigabytes.
    if (declared >= 0 && total > declared) {
      pack.entryFault = EntryFault::kDamaged;
      return -1;
    }
    if (std::fwrite(buffer.get(), 1, count, file) != static_cast<std::size_t>(count)) {
      pack.writeMessage = failureWords(lastFailure());
      pack.entryFault = EntryFault::kNotWritten;
      return -1;
    }
  }
}

// Only plain files are extracted: a link entry would give its target's name
// as content, and a device or folder has none.
EntryFault kindFault(archive_entry* entry) {
  auto type = archive_entry_filetype(entry);
  if (type == AE_IFDIR) return EntryFault::kFolder;
  if (type != AE_IFREG && type != 0) return EntryFault::kLink;
  if (archive_entry_is_encrypted(entry)) return EntryFault::kEncrypted;
  return EntryFault::kNone;
}

int64_t zipExtractEntryTo(void* state, const Text& target, int64_t* budget) {
  ZipPack& pack = *static_cast<ZipPack*>(state);
  pack.entryFault = EntryFault::kNone;
  pack.writeMessage.clear();
  if (!pack.reader || !pack.current) return -1;
  pack.entryFault = kindFault(pack.current);
  if (pack.entryFault != EntryFault::kNone) return -1;
  // An entry that says it is too large is refused before a byte is inflated;
  // one that says nothing, or lies, is stopped by the count as it inflates.
  int64_t limit = budget ? std::min(kMaxEntryBytes, *budget) : kMaxEntryBytes;
  if (archive_entry_size_is_set(pack.current) && archive_entry_size(pack.current) > limit) {
    pack.entryFault = EntryFault::kTooLarge;
    return -1;
  }
  auto notWritten = [&pack](const Text& message) {
    pack.writeMessage = message;
    pack.entryFault = EntryFault::kNotWritten;
    return int64_t{-1};
  };
  if (isReadOnlyFile(target)) return notWritten(kTargetReadOnly);
  // Checked before any data is read, so the entry can still go elsewhere.
  if (fileSize(target) == -2) return notWritten(kTargetIsFolder);
  // Whole or not at all: the data lands under a name of its own and replaces
  // target only once complete, so a damaged later entry of the same name
  // cannot destroy a good one written before it.
  Text partial = target + u".partial";
  std::FILE* file = openFile(partial, "wb");
  if (!file) return notWritten(failureWords(lastFailure()));
  int64_t total = copyEntryData(pack, file, budget);
  // A failed close can be the first sign of a full disk.
  bool closed = std::fclose(file) == 0;
  if (total >= 0 && !closed) notWritten(failureWords(lastFailure()));
  if (total >= 0 && closed) {
    if (replaceFile(partial, target)) return total;
    notWritten(failureWords(lastFailure()));
  }
  deleteFile(partial, kForceDelete);
  return -1;
}

EntryFault zipEntryFault(void* state) { return static_cast<ZipPack*>(state)->entryFault; }
Text zipWriteMessage(void* state) { return static_cast<ZipPack*>(state)->writeMessage; }
EntryFault zipWalkFault(void* state) { return static_cast<ZipPack*>(state)->walkFault; }

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
  packer.entryFault = zipEntryFault;
  packer.writeMessage = zipWriteMessage;
  packer.walkFault = zipWalkFault;
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

thread_local OpenFault openFault = OpenFault::kNone;
thread_local Text openFaultMessage;

void setOpenFault(OpenFault fault, const Text& message = Text()) {
  openFault = fault;
  openFaultMessage = message;
}

// The first bytes of every compound file: password-protected workbooks and the
// old binary spreadsheets are stored in one.
const std::string kCompoundSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

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

OpenFault lastOpenFault(Text* systemMessage) {
  if (systemMessage) *systemMessage = openFaultMessage;
  return openFault;
}

bool open(int handle, const Text& path) {
  setOpenFault(OpenFault::kNone);
  bool compoundFile = false;
  // Tells apart the reasons a user can act on before libarchive, which only
  // says that it failed, tries the file.
  auto probe = [&compoundFile](const Text& name) {
    if (name.empty()) return setOpenFault(OpenFault::kMissing), false;
    std::string head(kCompoundSignature.size(), '\0');
    Text message;
    switch (probeFile(name, head, message)) {
      case FileAccess::kReadable: break;
      case FileAccess::kMissing: return setOpenFault(OpenFault::kMissing), false;
      case FileAccess::kInUse: return setOpenFault(OpenFault::kInUse), false;
      case FileAccess::kFailed: return setOpenFault(OpenFault::kSystem, message), false;
    }
    compoundFile = head == kCompoundSignature;
    return true;
  };
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
  if (!probe(path)) return false;
  void* state = packer.open(path);
  if (!state) {
    setOpenFault(compoundFile ? OpenFault::kCompoundFile : OpenFault::kNotArchive);
    return false;
  }
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
  return extractEntryTo(handle, target, nullptr);
}

int64_t extractEntryTo(int handle, const Text& target, int64_t* budget) {
  return withPack(handle, int64_t{-1}, [&target, budget](const Slot& slot) {
    return slot.packer.extractEntryTo(slot.state, target, budget);
  });
}

EntryFault lastEntryFault(int handle) {
  return withPack(handle, EntryFault::kNone,
                  [](const Slot& slot) { return slot.packer.entryFault(slot.state); });
}

Text lastWriteMessage(int handle) {
  return withPack(handle, Text(),
                  [](const Slot& slot) { return slot.packer.writeMessage(slot.state); });
}

EntryFault walkFault(int handle) {
  return withPack(handle, EntryFault::kNone,
                  [](const Slot& slot) { return slot.packer.walkFault(slot.state); });
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
