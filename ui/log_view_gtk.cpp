// The log view: a read-only text view whose buffer follows the line model of
// ui/log_lines.h edit for edit.
#include <gtk/gtk.h>

#include "ui/shell_gtk_state.h"

namespace {

constexpr int kLogViewHandle = 1;
// How long lines for either end of the log wait to go into the buffer
// together: about one frame of the display.
constexpr guint kLogFlushMillis = 16;

// GTK counts characters where the text has UTF-16 units: a surrogate pair is
// one character, and so is a lone surrogate, which arrives as U+FFFD.
int characterCount(const Text& text) {
  int count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool pairEnd = i > 0 && text[i] >= 0xDC00 && text[i] <= 0xDFFF && text[i - 1] >= 0xD800 &&
                   text[i - 1] <= 0xDBFF;
    if (!pairEnd) ++count;
  }
  return count;
}

// The buffer also ends a line at CR and at U+2029, which the log does not.
bool breaksBufferLine(const Text& text) {
  return text.find_first_of(u"\r\u2029") != Text::npos;
}

// Where the log's line starts in the buffer. While no shown text holds a
// break of the buffer's own, buffer lines are log lines and the buffer finds
// the line without walking the text before it; otherwise the lines above it
// are counted out.
void iterAtLogLine(GtkTextBuffer* buffer, GtkTextIter* at, size_t line) {
  if (!gtkShell.bufferBreaksElsewhere) {
    gtk_text_buffer_get_iter_at_line(buffer, at, static_cast<int>(line));
    return;
  }
  int offset = 0;
  for (size_t i = 0; i < line; ++i) offset += characterCount(gtkShell.log.lines[i]) + 1;
  gtk_text_buffer_get_iter_at_offset(buffer, at, offset);
}

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

// The buffer follows the log's text edit for edit. Positions count the lines
// of that text, not the wrapped screen lines, so a position names the same
// line however wide the view is.
//
// Every change of the buffer has the view lay out and draw its visible lines
// again, which costs far more than the line itself when the run adds lines
// every few dozen microseconds. So lines for the top or the bottom wait up
// to a frame and go in together. Everything else the shell does that the
// user sees or that reads the view (a line for anywhere else, the title, a
// message or summary box, the progress strip, a close request, ending the
// shell, a read of the view) puts the waiting ones in first, so the user
// never sees the calls take effect out of order. The worker's call returns
// once the line is in the log.
void insertLogLine(int position, const Text& text) {
  if (!gtkShell.view) return;
  LogInsertion insertion = addLine(gtkShell.log, position, text);
  std::string inserted = toUtf8(insertion.inserted);
  if (insertion.atEnd || insertion.line == 0) {
    gtkShell.pendingLines.emplace_back(insertion.atEnd, std::move(inserted));
    if (!gtkShell.flushSource)
      gtkShell.flushSource = g_timeout_add(kLogFlushMillis, onFlushLogView, nullptr);
  } else {
    flushLogView();
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(gtkShell.view));
    GtkTextIter at;
    iterAtLogLine(buffer, &at, insertion.line);
    insertAt(buffer, &at, inserted);
  }
  if (breaksBufferLine(text)) gtkShell.bufferBreaksElsewhere = true;
}

}  // namespace

int gtkCreateLogView(int x, int y, int width, int height, int options) {
  if (!gtkShell.window || gtkShell.view) return 0;
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  gtk_widget_set_size_request(scroller, toLogicalPixels(width), toLogicalPixels(height));
  GtkWidget* view = gtk_text_view_new();
  bool readOnly = options & kReadOnlyView;
  // Not editable still lets the user select and copy.
  gtk_text_view_set_editable(GTK_TEXT_VIEW(view), !readOnly);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), !readOnly);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view),
                              (options & kWordWrapView) ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 2);
  gtk_text_view_set_right_margin(GTK_TEXT_VIEW(view), 2);
  gtk_container_add(GTK_CONTAINER(scroller), view);
  gtk_fixed_put(GTK_FIXED(gtkShell.fixed), scroller, toLogicalPixels(x), toLogicalPixels(y));
  gtk_widget_show_all(scroller);
  // The window picked its focus when it was shown, before the view existed;
  // with the focus here the keyboard scrolls, selects and copies at once.
  gtk_widget_grab_focus(view);
  gtkShell.scroller = scroller;
  gtkShell.view = view;
  gtkShell.log = LogLines();
  gtkShell.bufferBreaksElsewhere = false;
  dropPendingLines();
  return kLogViewHandle;
}

int gtkAddLogLine(int position, const Text& text) {
  callOnGuiThread([position, &text](GuiCall*) {
    insertLogLine(position, text);
    return 0;
  });
  return 0;
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
  gtkShell.bufferBreaksElsewhere = false;
  if (!gtkShell.view) return;
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(gtkShell.view)), "", 0);
}

void forgetLogView() {
  gtkShell.scroller = gtkShell.view = nullptr;
  clearLogView();
}
