// Varnelo: one window, one synchronisation of the material folders beside the
// program according to the relation table, then the summary.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "app/prepare_process.h"
#include "app/sync_run.h"
#include "fs/copy_tree.h"
#include "fs/run_guard.h"
#include "text/catalogue.h"
#include "ui/shell.h"
#include "varnelo_version.h"

namespace {

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
  if (!openRunWindow(kTitleAtStart)) {
    endWindowShell();
    return 0;
  }
  int worker = startWorker(SyncRun, 0);
  while (waitEvent() != WindowEvent::kClose) {
  }
  // The number of failures of the run's last go, once it has returned.
  std::optional<int> failures = workerResult(worker);
  bool finished = failures.has_value();
  // Closed while the workbook is read or a file is copied: neither the parts
  // nor a half-written file may outlive the process.
  if (!finished) {
    removePartsFolder();
    abandonCopies();
  }
  int status = windowShellExitStatus(finished && *failures > 0);
  endWindowShell();
  if (!finished) endUnderRun(status);
  return status;
}
