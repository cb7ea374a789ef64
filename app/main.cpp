// Varnelo: one window, one synchronisation of the material folders beside the
// program according to the relation table, then the summary.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/prepare_process.h"
#include "app/sync_run.h"
#include "fs/copy_tree.h"
#include "fs/run_guard.h"
#include "text/catalogue.h"
#include "ui/shell.h"
#include "varnelo_version.h"

namespace {

// A progress bar and one status line under the log view, in 1/96 inch.
constexpr int kStripHeight = 46;

// Ends the process under a run that is still going, without running static
// destructors: the worker keeps using the program's constant names and the
// shell's state until the process is gone.
[[noreturn]] void endUnderRun(int status) {
  std::fflush(stdout);
  std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
  PrepareProcess();
  // Asked for from a terminal, to tell which program one has; the run itself
  // takes no arguments.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("varnelo %s\n", VARNELO_VERSION_TEXT);
    return 0;
  }
  initWindowShell();
  // The log view keeps its 500 × 400 window; the progress strip adds its
  // height below it.
  if (!openMainWindow(0, 0, 500, 400 + kStripHeight, kTitleAtStart, 0xC80001)) {
    endWindowShell();
    return 0;
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
  if (!finished) endUnderRun(status);
  return status;
}
