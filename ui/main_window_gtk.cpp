// The main window: its size at the desktop's scale, its frame, its place on
// the screen, its title, and the run window's parts put into it.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdint>

#include "ui/shell_gtk_state.h"

namespace {

// value × numerator / denominator, rounded half away from zero.
int mulDiv(int value, int numerator, int denominator) {
  int64_t product = static_cast<int64_t>(value) * numerator;
  int64_t half = denominator / 2;
  int64_t rounded = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
  return static_cast<int>(rounded);
}

gboolean onDeleteEvent(GtkWidget* window, GdkEvent*, gpointer) {
  flushLogView();
  queueEvent({WindowEvent::kClose, window});
  return TRUE;  // the window stays until the shell ends
}

// Only a title bar with the window menu and the close box: the window
// manager offers neither minimising nor maximising nor resizing. Set on the
// realised window so that it is in the hints before the window is mapped.
void limitFrame(GtkWidget* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  gdk_window_set_decorations(
      gdkWindow, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU));
  gdk_window_set_functions(gdkWindow, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
}

// Centres the outer window on the whole primary monitor. The frame's size is
// not known before the window manager has framed it, so the window asks for
// its centre to be placed there; one larger than the monitor starts at its
// top-left corner.
void centreWindow(GtkWindow* window, int width, int height) {
  GdkMonitor* monitor = primaryMonitor();
  if (!monitor) return;
  GdkRectangle area;
  gdk_monitor_get_geometry(monitor, &area);
  if (width >= area.width || height >= area.height) {
    gtk_window_set_gravity(window, GDK_GRAVITY_NORTH_WEST);
    gtk_window_move(window, area.x + (area.width - std::min(area.width, width)) / 2,
                    area.y + (area.height - std::min(area.height, height)) / 2);
    return;
  }
  gtk_window_set_gravity(window, GDK_GRAVITY_CENTER);
  gtk_window_move(window, area.x + (area.width - width) / 2, area.y + (area.height - height) / 2);
}

}  // namespace

// GTK lays out in logical pixels, each scaleFactor device pixels wide; the
// 1/96-inch units are scaled to device pixels first, as on a screen without
// such scaling.
int toLogicalPixels(int value) {
  int device = mulDiv(value, gtkShell.dpi * gtkShell.scaleFactor, 96);
  return mulDiv(device, 1, gtkShell.scaleFactor);
}

GdkMonitor* primaryMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor ? monitor : gdk_display_get_monitor(display, 0);
}

// Xft/DPI as the desktop announces it (GTK keeps it ×1024; unset is -1).
void readDisplayScale() {
  int xftDpi = -1;
  g_object_get(gtk_settings_get_default(), "gtk-xft-dpi", &xftDpi, nullptr);
  gtkShell.dpi = xftDpi > 0 ? (xftDpi + 512) / 1024 : 96;
  GdkMonitor* monitor = primaryMonitor();
  gtkShell.scaleFactor = monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
  if (gtkShell.scaleFactor < 1) gtkShell.scaleFactor = 1;
}

namespace {

bool openMainWindow(const Text& title) {
  if (!gtkShell.ready || gtkShell.window) return false;
  readDisplayScale();
  int clientWidth = toLogicalPixels(kRunWindowWidth);
  int clientHeight = toLogicalPixels(kRunWindowHeight);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), toUtf8(title).c_str());
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, clientWidth, clientHeight);
  gtk_container_add(GTK_CONTAINER(window), fixed);
  g_signal_connect(window, "delete-event", G_CALLBACK(onDeleteEvent), nullptr);
  centreWindow(GTK_WINDOW(window), clientWidth, clientHeight);
  gtk_widget_realize(window);
  limitFrame(window);
  gtk_widget_show_all(window);
  gtkShell.window = window;
  gtkShell.fixed = fixed;
  return true;
}

}  // namespace

// A view or strip that cannot be made leaves the window without it, as the
// run's calls then do nothing there.
bool gtkOpenRunWindow(const Text& title) {
  if (!openMainWindow(title)) return false;
  createLogView(kLogViewBox);
  createProgressStrip(kProgressStripBox);
  return true;
}

bool gtkSetWindowTitle(const Text& text) {
  return callOnGuiThread([&text](GuiCall*) {
    if (!gtkShell.window) return 0;
    flushLogView();
    gtk_window_set_title(GTK_WINDOW(gtkShell.window), toUtf8(text).c_str());
    return 1;
  });
}
