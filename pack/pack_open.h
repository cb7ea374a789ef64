#pragma once
// Opening an archive file by name in the form the platform's file calls take.

#include <cstddef>
#include <string>

#include "fs/failure.h"
#include "text/text.h"

struct archive;

// libarchive's status for opening path on reader, read in blocks of blockSize bytes.
int openArchiveFile(archive* reader, const Text& path, std::size_t blockSize);

// What opening a file for reading met, told apart the way a user can act on it.
enum class FileAccess { kReadable, kMissing, kInUse, kFailed };

// Opens path for reading and takes up to head.size() of its first bytes into
// head (shortened to what was read). For kFailed, failure receives the
// system's code and, as its detail, the system's own words.
FileAccess probeFile(const Text& path, std::string& head, Failure& failure);

// Moves from onto to, replacing a file already there; false when it failed.
bool replaceFile(const Text& from, const Text& to);
