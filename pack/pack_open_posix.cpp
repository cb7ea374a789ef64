#include "pack/pack_open.h"

#include <archive.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "fs/paths.h"

// File names on POSIX are byte strings; the program writes and reads them as UTF-8.
int openArchiveFile(archive* reader, const Text& path, std::size_t blockSize) {
  std::string name = toUtf8(path);
  return archive_read_open_filename(reader, name.c_str(), blockSize);
}

FileAccess probeFile(const Text& path, std::string& head, Failure& failure) {
  std::FILE* file = openFile(path, "rb");
  if (!file) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) return FileAccess::kMissing;
    if (error == EBUSY || error == ETXTBSY) return FileAccess::kInUse;
    failure.code = error;
    return FileAccess::kFailed;
  }
  // A folder opens for reading here but gives no bytes; it reads as no archive.
  size_t got = std::fread(head.data(), 1, head.size(), file);
  head.resize(got);
  std::fclose(file);
  return FileAccess::kReadable;
}

bool replaceFile(const Text& from, const Text& to) {
  return std::rename(toUtf8(from).c_str(), toUtf8(to).c_str()) == 0;
}
