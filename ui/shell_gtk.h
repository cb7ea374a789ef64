#pragma once
// Hooks into the GTK shell for its tests: they read what the window shows and
// act the way the user or the window manager would. The program never calls
// them. All run on the GUI thread, after the shell has been initialised.

#include "text/text.h"

struct GtkShellState {
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
  bool resizable = true;
  bool windowActive = false;
  int queuedEvents = 0;
  // The message box, while one is shown.
  bool messageShown = false;
  Text messageTitle;
  Text messageText;
  bool messageModal = false;
  bool messageOwnedByWindow = false;
};

GtkShellState gtkShellState();
// The font resolution that the next openMainWindow scales by, as the desktop
// would announce it through Xft/DPI.
void gtkShellSetDesktopDpi(int dpi);
// Asks the main window to close, as its close box does.
void gtkShellRequestClose();
// Presses OK in the message box; false when none is shown.
bool gtkShellPressOk();
// Handles every event that is already pending, after a round trip to the
// display server, without taking anything from the shell's event queue.
void gtkShellSettle();
