// The progress strip under the log view.
#include "ui/shell_gtk_state.h"

int gtkCreateProgressStrip(int, int, int, int) {
  return 0;
}

void gtkShowProgress(double, const Text&, bool) {}

void gtkClearRun() {}
