// Varnelo: one window, one synchronisation of the material folders beside the
// program according to the relation table, then the summary.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include <langinfo.h>
#endif

#include "app/sync_run.h"
#include "fs/copy_tree.h"
#include "fs/run_guard.h"
#include "pack/pack_reader.h"
#include "text/catalogue.h"
#include "ui/shell.h"
#include "workbook/cell_map.h"
#include "xml/xml_document.h"
#include "varnelo_version.h"

namespace {

// A progress bar and one status line under the log view, in 1/96 inch.
constexpr int kStripHeight = 46;

// Archive entry names are converted through the character-type locale; the
// plain "C" locale would turn every non-ASCII name into a warning. On Linux
// the program writes and reads file names as UTF-8 whatever the session says,
// so a locale of another character set (or none at all, as under cron or a
// bare "env -i") gives way to C.UTF-8.
void adoptUserLocale() {
  const char* chosen = std::setlocale(LC_CTYPE, "");
  if (chosen == nullptr || std::strcmp(chosen, "C") == 0 || std::strcmp(chosen, "POSIX") == 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
#ifndef _WIN32
  else if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
#endif
}

// Ends the process without running static destructors: a run still in
// progress keeps using the collections until the process is gone.
[[noreturn]] void endProcess(int status) {
  std::fflush(stdout);
  std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  // Asked for from a terminal, to tell which program one has; the run itself
  // takes no arguments.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("varnelo %s\n", VARNELO_VERSION_TEXT);
    return 0;
  }
  adoptUserLocale();
  initWindowShell();
  XmlDocument::startup();
  PackReader::startup();
  ResetWorkbookCollections();
  PackReader::registerZip();
  // The log view keeps its 500 × 400 window; the progress strip adds its
  // height below it.
  if (!openMainWindow(0, 0, 500, 400 + kStripHeight, kTitleAtStart, 0xC80001)) {
    endWindowShell();
    endProcess(0);
  }
  createLogView(10, 10, 480, 380, kWordWrapView | kReadOnlyView);
  createProgressStrip(10, 398, 480, kStripHeight - 8);
  startWorker(SyncRun, 0);
  while (waitEvent() != kCloseWindowEvent) {
  }
  bool finished = SyncRunFinished();
  // Closed while the workbook is read or a file is copied: neither the parts
  // nor a half-written file may outlive the process.
  if (!finished) {
    removePartsFolder();
    abandonCopies();
  }
  int status = windowShellExitStatus(finished && SyncRunFailed());
  endWindowShell();
  // Nothing is freed under a run that is still reading.
  if (finished) {
    XmlDocument::shutdown();
    PackReader::shutdown();
  }
  endProcess(status);
}
