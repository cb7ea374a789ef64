#pragma once
// Reading a zip archive ("pack"): a value its reader owns, used by one thread
// at a time. Failures come back as kinds (fs/failure.h), never as words.

#include <cstdint>

#include "fs/failure.h"
#include "text/text.h"

struct archive;
struct archive_entry;

class PackReader {
 public:
  PackReader() = default;
  ~PackReader() { close(); }
  PackReader(const PackReader&) = delete;
  PackReader& operator=(const PackReader&) = delete;

  // Opens path as a zip archive, closing what was open, and starts the walk
  // over its entries. Else why not: kWorkbookMissing, kInUse,
  // kWorkbookLocked (the compound-file signature of an encrypted workbook or
  // an old binary one), kNotAWorkbook, or kWorkbookUnreadable with the
  // system's code and its own message as detail.
  Failure open(const Text& path);
  // True when a further entry became current; false at the end and on errors.
  bool nextEntry();
  // The current entry's path as stored ("/" separators, case kept); empty text
  // when there is none.
  Text entryName() const;
  // Writes the current entry's data to target, replacing it. Every byte
  // inflated is taken from budget, whether the entry then succeeds or fails,
  // and the entry fails once the budget runs out or past 2 GiB. The data goes
  // to a temporary name beside target first and replaces target only when
  // whole, so a failure leaves target as it was. kNone, or one of the entry
  // kinds (kEntryChecksum … kEntryDamaged), kExtractTargetReadOnly,
  // kExtractTargetIsFolder, or kCannotExtract with the system's code.
  Failure extractEntryTo(const Text& target, int64_t& budget);
  // kNone while the walk goes on or after it reached the archive's end; else
  // why nextEntry stopped early: kArchiveCutShort or kArchiveDamaged.
  ErrorKind walkFault() const { return walkFault_; }
  void close();

 private:
  archive* reader_ = nullptr;
  archive_entry* current_ = nullptr;
  ErrorKind walkFault_ = ErrorKind::kNone;
};
