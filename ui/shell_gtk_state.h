#pragma once
// What the files of the GTK shell share: the one shell state, read and
// changed on the GUI thread only (the event queue excepted, under its lock),
// and the procedures one file offers the others. The GTK tests' probes read
// the same state.

#include <gtk/gtk.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "text/text.h"
#include "ui/log_lines.h"
#include "ui/run_window_layout.h"
#include "ui/shell.h"
#include "ui/worker_results.h"

struct QueuedEvent {
  WindowEvent event;
  GtkWidget* window;
};

// The end-of-run dialog, and every message box, while one is shown.
struct SummaryBox {
  GtkWidget* dialog = nullptr;
  GtkWidget* headline = nullptr;
  GtkWidget* notes = nullptr;
  GtkWidget* scroller = nullptr;
  GtkWidget* view = nullptr;
  GtkWidget* ok = nullptr;
  GtkWidget* retry = nullptr;  // only when the dialog offers another go
  // Clears the main window's urgency once that window is active again.
  gulong urgencyHandler = 0;
  GdkRectangle workArea{};  // of the monitor it is placed on; logical pixels
};

// A bar at the top of the strip's rectangle and one status line under it.
struct ProgressStrip {
  GtkWidget* bar = nullptr;
  GtkWidget* status = nullptr;
};

struct GtkShell {
  bool ready = false;
  GThread* guiThread = nullptr;
  int dpi = 96;
  int scaleFactor = 1;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  GtkWidget* scroller = nullptr;
  GtkWidget* view = nullptr;
  GtkWidget* message = nullptr;  // the shown box's dialog
  LogLines log;  // what the view shows, line by line
  // Texts for either end of the buffer, oldest first, waiting for the next
  // frame; atEnd tells which end.
  std::vector<std::pair<bool, std::string>> pendingLines;
  guint flushSource = 0;
  SummaryBox summary;
  ProgressStrip strip;
  std::mutex eventLock;
  std::deque<QueuedEvent> events;
  WorkerResults workers;
};

extern GtkShell gtkShell;

// The GUI-thread call (ui/shell_gtk.cpp).

// start's result when the call finishes later, through finishCall.
constexpr int kFinishesLater = -1;

// A call that the GUI thread carries out for another thread. start runs on
// the GUI thread and gives the call's result, or kFinishesLater when
// finishCall will be called later, as the message box does once dismissed.
// Once finished, the waiting thread may end the call's life at any moment.
struct GuiCall {
  std::function<int(GuiCall*)> start;
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  int result = 0;
};

// Runs start on the GUI thread and returns the call's result once finished.
int callOnGuiThread(std::function<int(GuiCall*)> start);
void finishCall(GuiCall* call, int result);
void queueEvent(QueuedEvent event);

// The main window and the display's scale (ui/main_window_gtk.cpp).

GdkMonitor* primaryMonitor();
// Reads the desktop's font resolution and the monitor's scale factor.
void readDisplayScale();
// 1/96-inch units in GTK's logical pixels at the display's scale.
int toLogicalPixels(int value);
// The main window with the log view and the progress strip in it.
bool gtkOpenRunWindow(const Text& title);
bool gtkSetWindowTitle(const Text& text);

// The log view (ui/log_view_gtk.cpp).

// Puts the view into the main window; false when there is no window or
// already a view.
bool createLogView(const LayoutBox& place);
void gtkAddLogLineOnTop(const Text& text);
// Puts the lines still waiting for the next frame into the view. Whatever
// the user sees next calls this first, so nothing appears out of order.
void flushLogView();
// Empties the view, its lines and what waits for it.
void clearLogView();
// Forgets the view and drops the lines waiting for it.
void forgetLogView();

// The end-of-run dialog and message box (ui/summary_box_gtk.cpp).

int gtkShowSummary(const SummaryDialog& dialog);
int gtkShowMessage(const Text& title, const Text& text);
void closeSummaryBox();

// The progress strip (ui/progress_gtk.cpp).

// Puts the strip into the main window; false when there is no window or
// already a strip.
bool createProgressStrip(const LayoutBox& place);
void gtkShowProgress(double fraction, const Text& status, bool failed);
void gtkClearRun();
// Forgets the strip, whose widgets go with the main window.
void forgetProgressStrip();
