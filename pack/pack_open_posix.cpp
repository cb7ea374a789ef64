#include "pack/pack_open.h"

#include <archive.h>

#include <string>

// File names on POSIX are byte strings; the program writes and reads them as UTF-8.
int openArchiveFile(archive* reader, const Text& path, std::size_t blockSize) {
  std::string name = toUtf8(path);
  return archive_read_open_filename(reader, name.c_str(), blockSize);
}
