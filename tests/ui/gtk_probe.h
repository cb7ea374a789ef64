#pragma once
// The GTK tests' view into the shell: they read what the window shows and
// act the way the user or the window manager would. All run on the GUI
// thread, after the shell has been initialised.

#include "text/text.h"

struct GtkProbeState {
  bool windowOpen = false;
  Text title;
  Text viewText;
  Text viewSelection;
  // Device pixels; the view's position is relative to the client area.
  int clientWidth = 0;
  int clientHeight = 0;
  int viewX = 0;
  int viewY = 0;
  int viewWidth = 0;
  int viewHeight = 0;
  // The progress strip: the bar's fraction, the status line's text, and
  // where both are in the client area.
  double progressFraction = -1;
  Text progressStatus;
  int barX = 0, barY = 0, barWidth = 0, barHeight = 0;
  int statusX = 0, statusY = 0, statusWidth = 0, statusHeight = 0;
  bool resizable = true;
  bool windowActive = false;
  bool windowUrgent = false;  // asks for attention in the taskbar
  int queuedEvents = 0;
  // The message or summary box, while one is shown. Its position is on the
  // screen, the OK button's and the view's within the box; device pixels.
  bool messageShown = false;
  Text messageTitle;
  Text messageHeadline;  // empty when none is shown
  Text messageNotes;  // empty when none are shown
  Text messageText;
  Text messageSelection;
  bool messageModal = false;
  bool messageOwnedByWindow = false;
  bool messageFocused = false;
  bool messageDrawn = false;  // its text has been drawn at least once
  int messageX = 0, messageY = 0, messageWidth = 0, messageHeight = 0;
  int workAreaX = 0, workAreaY = 0, workAreaWidth = 0, workAreaHeight = 0;
  int okX = 0, okY = 0, okWidth = 0, okHeight = 0;
  bool okVisible = false;  // drawn, and the default button
  // The retry button, when the box offers it: its text as shown, without
  // the access key's mark.
  bool retryVisible = false;
  Text retryText;
  int retryX = 0, retryY = 0, retryWidth = 0, retryHeight = 0;
  int notesX = 0, notesY = 0, notesWidth = 0, notesHeight = 0;
  int messageViewX = 0, messageViewY = 0, messageViewWidth = 0, messageViewHeight = 0;
  bool firstLineVisible = false;
  bool lastLineVisible = false;
};

GtkProbeState gtkProbeState();
// The font resolution that the next openRunWindow scales by, as the desktop
// would announce it through Xft/DPI.
void gtkProbeSetDesktopDpi(int dpi);
// Asks the main window to close, as its close box does.
void gtkProbeRequestClose();
// Presses OK in the message box; false when none is shown.
bool gtkProbePressOk();
// Presses the retry button as a click would; false when none is shown.
bool gtkProbePressRetry();
// Whether a box is shown and has drawn its text; cheaper than reading the
// whole state.
bool gtkProbeMessageDrawn();
// Scrolls the box's text view to its last line; false when no box is shown.
bool gtkProbeScrollMessageToEnd();
// The clipboard's text, as a paste would get it.
Text gtkProbeClipboardText();
// The log view's text as the widget holds it, without first handing over
// the lines that wait for the next frame.
Text gtkProbeLogOnScreen();
// Calls callback whenever the bar's fraction or the status line is set,
// until gtkProbeStopWatchingProgress; false when there is no strip.
bool gtkProbeWatchProgress(void (*callback)());
void gtkProbeStopWatchingProgress();
// Handles every event that is already pending, after a round trip to the
// display server, without taking anything from the shell's event queue.
void gtkProbeSettle();
