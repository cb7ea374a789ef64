#pragma once
// Opening an archive file by name in the form the platform's file calls take.

#include <cstddef>

#include "text/text.h"

struct archive;

// libarchive's status for opening path on reader, read in blocks of blockSize bytes.
int openArchiveFile(archive* reader, const Text& path, std::size_t blockSize);
