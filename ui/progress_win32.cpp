// The progress strip under the log view: a bar, red once something failed,
// and one status line under it.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <algorithm>

#include "ui/shell_win32_state.h"

namespace {

constexpr int kProgressBarId = 2;
constexpr int kProgressStatusId = 3;
// The bar's height and the space between it and the status line, in 1/96 inch.
constexpr int kBarHeight = 14;
constexpr int kStatusGap = 4;

// A themed bar glides towards a higher position and only reaches it a while
// later, so a run that ends at once would leave it short of full. Going back
// is immediate, hence one step past the target and back; at the top, the
// range grows by that step for the moment.
void moveBarTo(HWND bar, int steps) {
  int now = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
  if (steps == now) return;
  if (steps > now) {
    if (steps == kProgressSteps) SendMessageW(bar, PBM_SETRANGE32, 0, kProgressSteps + 1);
    SendMessageW(bar, PBM_SETPOS, steps + 1, 0);
  }
  SendMessageW(bar, PBM_SETPOS, steps, 0);
  if (steps == kProgressSteps) SendMessageW(bar, PBM_SETRANGE32, 0, kProgressSteps);
}

void showStatus(const Text& status) {
  if (status == shell.progressText) return;  // unchanged: no repaint, no flicker
  shell.progressText = status;
  SetWindowTextW(shell.progressStatus, wide(status));
}

}  // namespace

bool openProgressStrip(const LayoutBox& place) {
  if (shell.mainWindow == nullptr || shell.progressBar != nullptr) return false;
  auto [x, y, width, height] = place;
  int barHeight = std::min(height, kBarHeight);
  int left = scaleX(x), top = scaleY(y), right = left + scaleX(width);
  RECT barPlace{left, top, right, top + scaleY(barHeight)};
  HWND bar = createControl(shell.mainWindow, PROGRESS_CLASSW, u"", 0, 0, barPlace, kProgressBarId,
                           shell.font);
  if (bar == nullptr) return false;
  SendMessageW(bar, PBM_SETRANGE32, 0, kProgressSteps);
  RECT statusPlace{left, top + scaleY(barHeight + kStatusGap), right, top + scaleY(height)};
  shell.progressStatus =
      createControl(shell.mainWindow, L"Static", u"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0,
                    statusPlace, kProgressStatusId, shell.font);
  shell.progressBar = bar;
  return true;
}

void setProgress(int steps, const Text& status, bool failed) {
  if (shell.progressBar == nullptr) return;
  if (failed != shell.progressFailed) {
    shell.progressFailed = failed;
    SendMessageW(shell.progressBar, PBM_SETSTATE, failed ? PBST_ERROR : PBST_NORMAL, 0);
  }
  moveBarTo(shell.progressBar, steps);
  showStatus(status);
}

void emptyProgressStrip() {
  setProgress(0, Text(), false);
}
