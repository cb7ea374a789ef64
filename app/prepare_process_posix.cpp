#include "app/prepare_process.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

// Archive entry names are converted through the character-type locale; the
// plain "C" locale would turn every non-ASCII name into a warning. On Linux
// the program writes and reads file names as UTF-8 whatever the session says,
// so a locale of another character set (or none at all, as under cron or a
// bare "env -i") gives way to C.UTF-8.
void PrepareProcess() {
  const char* chosen = std::setlocale(LC_CTYPE, "");
  if (chosen == nullptr || std::strcmp(chosen, "C") == 0 || std::strcmp(chosen, "POSIX") == 0 ||
      std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
}
