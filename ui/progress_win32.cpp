// The progress strip under the log view.
#include <windows.h>

#include "ui/shell_win32_state.h"

int openProgressStrip(int, int, int, int) {
  return 0;
}

void setProgress(int, const Text&, bool) {}

void emptyProgressStrip() {}
