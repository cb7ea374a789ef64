#pragma once
// Reading zip archives ("packs") through numbered handles. The handle table has
// one re-entrant lock; a pack itself is used by one thread at a time.

#include <cstdint>

#include "text/text.h"

namespace PackReader {

constexpr int kZipPacker = 1;

// Creates the handle table; runs once before the first open.
void startup();
// Closes every open pack, as close(-1).
void shutdown();
// Makes the zip packer available; registering it twice does nothing.
void registerZip();
// True when path was opened and recognised as a zip archive. A pack already
// open under handle is closed first, whatever the outcome.
bool open(int handle, const Text& path);

// Why the last failed open on this thread failed. kCompoundFile is a file
// starting with the compound-file signature (an encrypted workbook or an old
// binary one); kSystem comes with the system's message.
enum class OpenFault { kNone, kMissing, kInUse, kCompoundFile, kNotArchive, kSystem };
OpenFault lastOpenFault(Text* systemMessage = nullptr);
// (Re)starts the walk over the entries; false without a pack or when the
// archive cannot be opened again.
bool examine(int handle);
// True when a further entry became current; false at the end and on errors.
bool nextEntry(int handle);
// The current entry's path as stored ("/" separators, case kept); empty text
// when there is none.
Text entryName(int handle);
// Writes the current entry's data to target, replacing it; the byte count, or
// -1 when there is no current entry, it is not a plain file, the target cannot
// be written, the data is damaged, or it exceeds 2 GiB. The data goes to a
// temporary name beside target first and replaces target only when whole, so
// a failure leaves target as it was.
int64_t extractEntryTo(int handle, const Text& target);
// The same with a budget shared by several extractions: every byte inflated
// is taken from *budget, whether the entry then succeeds or fails, and the
// entry fails once the budget runs out.
int64_t extractEntryTo(int handle, const Text& target, int64_t* budget);

// What stopped the last extraction, or the walk, of a pack.
enum class EntryFault {
  kNone,
  kDamaged,   // compressed data or archive structure that does not decode
  kChecksum,  // data that decodes but does not match its checksum
  kEncrypted,
  kCutShort,  // the archive ends before the entry or the walk does
  kLink,      // an entry that is a link or another non-file
  kFolder,
  kTooLarge,    // beyond 2 GiB or the caller's budget
  kNotWritten,  // the target could not be written; lastWriteMessage tells why
};
// Why the last extractEntryTo on handle failed; kNone after a success.
EntryFault lastEntryFault(int handle);
// The system's message for a kNotWritten failure.
Text lastWriteMessage(int handle);
// kNone while the walk goes on or after it reached the archive's end; else
// why nextEntry stopped early.
EntryFault walkFault(int handle);
// Closes the pack under handle, or every pack for -1. A pack that another thread
// is inside a call on stays open.
void close(int handle);

}  // namespace PackReader
