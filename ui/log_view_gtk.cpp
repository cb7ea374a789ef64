// The log view: a read-only text view whose buffer follows the line model of
// ui/log_lines.h edit for edit.
#include <gtk/gtk.h>

#include "ui/shell_gtk_state.h"

namespace {

// How long lines for the log wait to go into the buffer together: about one
// frame of the display.
constexpr guint kLogFlushMillis = 16;

void insertAt(GtkTextBuffer* buffer, GtkTextIter* at, const std::string& text) {
  gtk_text_buffer_insert(buffer, at, text.data(), static_cast<int>(text.size()));
}

void dropPendingLines() {
  if (gtkShell.flushSource) g_source_remove(gtkShell.flushSource);
  gtkShell.flushSource = 0;
  gtkShell.pendingLines.clear();
}

gboolean onFlushLogView(gpointer) {
  gtkShell.flushSource = 0;  // this source ends with the call
  flushLogView();
  return G_SOURCE_REMOVE;
}

// The buffer follows the log's text edit for edit: a new line goes at its
// start, or as the only line of an empty view.
//
// Every change of the buffer has the view lay out and draw its visible lines
// again, which costs far more than the line itself when the run adds lines
// every few dozen microseconds. So lines wait up to a frame and go in
// together. Everything else the shell does that the user sees or that reads
// the view (the title, a message or summary box, the progress strip, a close
// request, ending the shell, a read of the view) puts the waiting ones in
// first, so the user never sees the calls take effect out of order. The
// worker's call returns once the line is in the log.
void insertLogLineOnTop(const Text& text) {
  if (!gtkShell.view) return;
  LogInsertion insertion = addLine(gtkShell.log, 0, text);
  gtkShell.pendingLines.emplace_back(insertion.atEnd, toUtf8(insertion.inserted));
  if (!gtkShell.flushSource)
    gtkShell.flushSource = g_timeout_add(kLogFlushMillis, onFlushLogView, nullptr);
}

}  // namespace

// Read-only, which still lets the user select and copy, and wrapped at the
// view's width.
bool createLogView(const LayoutBox& place) {
  if (!gtkShell.window || gtkShell.view) return false;
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  gtk_widget_set_size_request(scroller, toLogicalPixels(place.width),
                              toLogicalPixels(place.height));
  GtkWidget* view = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 2);
  gtk_text_view_set_right_margin(GTK_TEXT_VIEW(view), 2);
  gtk_container_add(GTK_CONTAINER(scroller), view);
  gtk_fixed_put(GTK_FIXED(gtkShell.fixed), scroller, toLogicalPixels(place.x),
                toLogicalPixels(place.y));
  gtk_widget_show_all(scroller);
  // The window picked its focus when it was shown, before the view existed;
  // with the focus here the keyboard scrolls, selects and copies at once.
  gtk_widget_grab_focus(view);
  gtkShell.scroller = scroller;
  gtkShell.view = view;
  gtkShell.log = LogLines();
  dropPendingLines();
  return true;
}

void gtkAddLogLineOnTop(const Text& text) {
  callOnGuiThread([&text](GuiCall*) {
    insertLogLineOnTop(text);
    return 0;
  });
}

// Puts the waiting lines into the buffer, in the order they were added.
void flushLogView() {
  if (!gtkShell.view) {
    dropPendingLines();
    return;
  }
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(gtkShell.view));
  for (const auto& [atEnd, text] : gtkShell.pendingLines) {
    GtkTextIter at;
    if (atEnd) {
      gtk_text_buffer_get_end_iter(buffer, &at);
    } else {
      gtk_text_buffer_get_start_iter(buffer, &at);
    }
    insertAt(buffer, &at, text);
  }
  dropPendingLines();
}

void clearLogView() {
  dropPendingLines();
  gtkShell.log = LogLines();
  if (!gtkShell.view) return;
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(gtkShell.view)), "", 0);
}

void forgetLogView() {
  gtkShell.scroller = gtkShell.view = nullptr;
  clearLogView();
}
