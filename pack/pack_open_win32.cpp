#include "pack/pack_open.h"

#include <archive.h>

// The wide call reaches every name; the narrow one would pass through the ANSI
// code page and lose characters outside it.
int openArchiveFile(archive* reader, const Text& path, std::size_t blockSize) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide characters are UTF-16 here");
  return archive_read_open_filename_w(reader, reinterpret_cast<const wchar_t*>(path.c_str()),
                                      blockSize);
}
