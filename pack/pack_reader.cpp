#include "pack/pack_reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "fs/paths.h"
#include "pack/pack_open.h"

namespace {

Failure fail(ErrorKind kind, int code = 0) {
  return Failure{kind, code, Text()};
}

constexpr std::size_t kBlockSize = 10240;
constexpr std::size_t kBufferSize = 2097152;
// The XML loader refuses anything larger, and the bound keeps a hostile
// archive from filling the disk.
constexpr int64_t kMaxEntryBytes = int64_t{1} << 31;

// The first bytes of every compound file: password-protected workbooks and the
// old binary spreadsheets are stored in one.
const std::string kCompoundSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// libarchive tells its failures apart only in words; these are the ones its
// zip reader uses for a cut archive, a checksum and an encrypted entry.
ErrorKind faultOf(archive* reader) {
  const char* words = archive_error_string(reader);
  std::string text = words ? words : "";
  auto has = [&text](const char* part) { return text.find(part) != std::string::npos; };
  // zlib's "no progress possible" (-5) inside an entry means its data ran out.
  if (has("runcated") || has("remature end") || has("failed (-5)"))
    return ErrorKind::kEntryCutShort;
  if (has("CRC") || has("checksum")) return ErrorKind::kEntryChecksum;
  if (has("ncrypt") || has("assphrase")) return ErrorKind::kEntryEncrypted;
  return ErrorKind::kEntryDamaged;
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

// Tells apart the reasons a user can act on before libarchive, which only
// says that it failed, tries the file; compoundFile tells what a file that
// is no archive starts with.
Failure probe(const Text& path, bool& compoundFile) {
  if (path.empty()) return fail(ErrorKind::kWorkbookMissing);
  std::string head(kCompoundSignature.size(), '\0');
  Failure failure;
  switch (probeFile(path, head, failure)) {
    case FileAccess::kReadable:
      break;
    case FileAccess::kMissing:
      return fail(ErrorKind::kWorkbookMissing);
    case FileAccess::kInUse:
      return fail(ErrorKind::kInUse);
    case FileAccess::kFailed:
      failure.kind = ErrorKind::kWorkbookUnreadable;
      return failure;
  }
  compoundFile = head == kCompoundSignature;
  return Failure();
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

Failure notWritten() {
  return fail(ErrorKind::kCannotExtract, lastFailure().code);
}

// Streams the current entry's remaining data into file: a read error, a write
// error or an entry beyond the size bound or the budget stops it. Every byte
// inflated is taken from budget, so entries that fail still use it up.
Failure copyEntryData(archive* reader, archive_entry* entry, std::FILE* file, int64_t& budget) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
  if (!buffer) return fail(ErrorKind::kEntryDamaged);
  int64_t total = 0;
  int64_t declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
  for (;;) {
    la_ssize_t count = archive_read_data(reader, buffer.get(), kBufferSize);
    if (count == 0) return Failure();
    if (count < 0) return fail(faultOf(reader));
    total += count;
    budget -= count;
    if (total > kMaxEntryBytes || budget < 0) return fail(ErrorKind::kEntryTooLarge);
    // Data beyond the size the headers give is damage that libarchive would
    // report only at the entry's end; a bomb claiming a small size is cut
    // short here instead of after gigabytes.
    if (declared >= 0 && total > declared) return fail(ErrorKind::kEntryDamaged);
    if (std::fwrite(buffer.get(), 1, count, file) != static_cast<std::size_t>(count))
      return notWritten();
  }
}

// Only plain files are extracted: a link entry would give its target's name
// as content, and a device or folder has none.
ErrorKind kindFault(archive_entry* entry) {
  auto type = archive_entry_filetype(entry);
  if (type == AE_IFDIR) return ErrorKind::kEntryIsFolder;
  if (type != AE_IFREG && type != 0) return ErrorKind::kEntryIsLink;
  if (archive_entry_is_encrypted(entry)) return ErrorKind::kEntryEncrypted;
  return ErrorKind::kNone;
}

}  // namespace

Failure PackReader::open(const Text& path) {
  close();
  bool compoundFile = false;
  if (Failure failure = probe(path, compoundFile)) return failure;
  reader_ = openZipReader(path);
  if (!reader_) return fail(compoundFile ? ErrorKind::kWorkbookLocked : ErrorKind::kNotAWorkbook);
  return Failure();
}

bool PackReader::nextEntry() {
  if (!reader_) return false;
  archive_entry* entry = nullptr;
  int status = archive_read_next_header(reader_, &entry);
  // A warning (typically a name that does not convert to the locale's
  // character set) still comes with a usable entry; ending the walk there
  // would hide every later entry of the archive.
  if (status == ARCHIVE_OK || status == ARCHIVE_WARN) {
    current_ = entry;
    return true;
  }
  current_ = nullptr;
  if (status != ARCHIVE_EOF && walkFault_ == ErrorKind::kNone)
    walkFault_ = faultOf(reader_) == ErrorKind::kEntryCutShort ? ErrorKind::kArchiveCutShort
                                                               : ErrorKind::kArchiveDamaged;
  return false;
}

Text PackReader::entryName() const {
  if (!reader_ || !current_) return Text();
  const char* name = archive_entry_pathname_utf8(current_);
  if (!name) name = archive_entry_pathname(current_);
  if (!name) return Text();
  return decodeName(name);
}

Failure PackReader::extractEntryTo(const Text& target, int64_t& budget) {
  if (!reader_ || !current_) return fail(ErrorKind::kEntryDamaged);
  if (ErrorKind kind = kindFault(current_); kind != ErrorKind::kNone) return fail(kind);
  // An entry that says it is too large is refused before a byte is inflated;
  // one that says nothing, or lies, is stopped by the count as it inflates.
  if (archive_entry_size_is_set(current_) &&
      archive_entry_size(current_) > std::min(kMaxEntryBytes, budget))
    return fail(ErrorKind::kEntryTooLarge);
  if (isReadOnlyFile(target)) return fail(ErrorKind::kExtractTargetReadOnly);
  // Checked before any data is read, so the entry can still go elsewhere.
  if (fileSize(target) == -2) return fail(ErrorKind::kExtractTargetIsFolder);
  // Whole or not at all: the data lands under a name of its own and replaces
  // target only once complete, so a damaged later entry of the same name
  // cannot destroy a good one written before it.
  Text partial = target + u".partial";
  std::FILE* file = openFile(partial, "wb");
  if (!file) return notWritten();
  Failure failure = copyEntryData(reader_, current_, file, budget);
  // A failed close can be the first sign of a full disk.
  bool closed = std::fclose(file) == 0;
  if (!failure && !closed) failure = notWritten();
  if (!failure) {
    if (replaceFile(partial, target)) return failure;
    failure = notWritten();
  }
  deleteFile(partial, kForceDelete);
  return failure;
}

void PackReader::close() {
  if (reader_) {
    archive_read_close(reader_);
    archive_read_free(reader_);
  }
  reader_ = nullptr;
  current_ = nullptr;
  walkFault_ = ErrorKind::kNone;
}
