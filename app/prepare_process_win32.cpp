#include "app/prepare_process.h"

#include <clocale>
#include <cstring>

#include "fs/system_library_win32.h"

void PrepareProcess() {
  restrictLibrarySearch();
  // Archive entry names are converted through the character-type locale;
  // the plain "C" locale would turn every non-ASCII name into a warning.
  const char* chosen = std::setlocale(LC_CTYPE, "");
  if (chosen == nullptr || std::strcmp(chosen, "C") == 0 || std::strcmp(chosen, "POSIX") == 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
}
