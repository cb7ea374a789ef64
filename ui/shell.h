#pragma once
// The program's whole user interface: one run window (its log view, progress
// strip and title), a modal message box, the GUI thread's event wait and the
// worker start. The GUI thread calls initWindowShell, openRunWindow,
// waitEvent, startWorker, workerResult and endWindowShell. addLogLineOnTop,
// setWindowTitle, showMessage and showSummary may be called from the worker;
// each returns once it has taken effect, so they take effect in call order.

#include <optional>

#include "text/text.h"

// What waitEvent reports.
enum class WindowEvent {
  kOther,  // anything the shell dealt with by itself
  kClose,  // the user asks to close the window
};

using WorkerProcedure = int (*)(int);

void initWindowShell();
// Opens the window a run shows itself in, centred on the screen, with the
// given title: the read-only, word-wrapped log view and under it the progress
// strip, laid out as ui/run_window_layout.h says. True when shown.
bool openRunWindow(const Text& title);
// Puts text into the log view as its new first line, above every line
// shown so far: the newest line is the one a user reads first. An empty view
// takes it as its only line (ui/log_lines.h).
void addLogLineOnTop(const Text& text);
bool setWindowTitle(const Text& text);
// Shows a modal box with one OK button and waits until it is dismissed.
int showMessage(const Text& title, const Text& text);
// Shows how far the run is in the progress strip: fraction from 0 to 1, the
// status line, and whether anything has failed so far (the Windows taskbar
// button then turns to its error state). The run calls it at most a few
// times a second.
void showProgress(double fraction, const Text& status, bool failed);
// Empties the log view and the progress strip for another go in the same window.
void clearRun();

// The dialog at the end of a run.
struct SummaryDialog {
  Text title;
  Text headline;  // bold, on top; empty for a plain message
  Text notes;  // lines under the headline (the end line, the record, what to do); may be empty
  Text text;  // the summary, in a scrolling view; CR LF breaks lines
  bool offerRetry = false;  // a second button "重新同步(R)" beside OK
};
constexpr int kDialogOk = 1;
constexpr int kDialogRetry = 2;
// Shows the dialog and waits until it is dismissed: kDialogRetry when the
// user asked for another go, else kDialogOk. A window that is not in front
// draws the user's attention to itself (taskbar flash, urgency hint).
int showSummary(const SummaryDialog& dialog);
// Blocks until the next event.
WindowEvent waitEvent();
// Runs procedure(argument) on a new thread; its number (1, 2, ...), 0 on failure.
int startWorker(WorkerProcedure procedure, int argument);
// What the worker of that number returned; empty while it is still running.
std::optional<int> workerResult(int worker);
void endWindowShell();
// The status the process ends with: the window programs always give 0; the
// console gives 1 when the run reported failures and 130 when interrupted.
int windowShellExitStatus(bool runFailed);
