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
// (Re)starts the walk over the entries; false without a pack or when the
// archive cannot be opened again.
bool examine(int handle);
// True when a further entry became current; false at the end and on errors.
bool nextEntry(int handle);
// The current entry's path as stored ("/" separators, case kept); empty text
// when there is none.
Text entryName(int handle);
// Writes the current entry's data to target, replacing it; the byte count, or
// -1 when there is no current entry, it is a folder, the target cannot be
// created, the data is damaged, or it exceeds 2 GiB. On failure after the
// target was created, the target is deleted.
int64_t extractEntryTo(int handle, const Text& target);
// Closes the pack under handle, or every pack for -1. A pack that another thread
// is inside a call on stays open.
void close(int handle);

}  // namespace PackReader
