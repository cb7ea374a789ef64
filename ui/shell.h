#pragma once
// The program's whole user interface: one window with its log view and title,
// a modal message box, the GUI thread's event wait and the worker start. The
// GUI thread calls initWindowShell, openMainWindow, createLogView, waitEvent,
// startWorker and endWindowShell. addLogLine, setWindowTitle, showMessage and
// showSummary may be called from the worker; each returns once it has taken effect, so
// they take effect in call order.

#include "text/text.h"

constexpr int kCloseWindowEvent = 13116;
constexpr int kCentreWindow = 0x1;
constexpr int kReadOnlyView = 0x800;
constexpr int kWordWrapView = 0x10000000;

using WorkerProcedure = int (*)(int);

void initWindowShell();
// Client size in 1/96 inch, scaled to the display. True when shown.
bool openMainWindow(int x, int y, int width, int height, const Text& title, int options);
// A non-zero handle of the view; 0 on failure.
int createLogView(int x, int y, int width, int height, int options);
// Inserts text as a new line before line position (0-based); -1 or a position
// past the end appends. An empty view takes the text as its only line.
int addLogLine(int position, const Text& text);
bool setWindowTitle(const Text& text);
// Shows a modal box with one OK button and waits until it is dismissed.
int showMessage(const Text& title, const Text& text);
// The progress strip below the log view: a bar and one status line under it.
// Position and size in 1/96 inch, as the log view's. A non-zero handle; 0 on
// failure, after which showProgress does nothing.
int createProgressStrip(int x, int y, int width, int height);
// Shows how far the run is: fraction from 0 to 1, the status line, and
// whether anything has failed so far (the Windows taskbar button then turns
// to its error state). The run calls it at most a few times a second.
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
// Blocks until the next event; kCloseWindowEvent when the user asks to close.
int waitEvent();
// Runs procedure(argument) on a new thread; its number (1, 2, ...), 0 on failure.
int startWorker(WorkerProcedure procedure, int argument);
void endWindowShell();
// The status the process ends with: the window programs always give 0; the
// console gives 1 when the run reported failures and 130 when interrupted.
int windowShellExitStatus(bool runFailed);
