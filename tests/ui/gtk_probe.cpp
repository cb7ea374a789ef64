#include "ui/gtk_probe.h"

#include <gtk/gtk.h>

#include "ui/shell_gtk_state.h"

namespace {

const char* const kDrawnKey = "varnelo-probe-drawn";

gboolean onViewDrawn(GtkWidget* view, cairo_t*, gpointer) {
  g_object_set_data(G_OBJECT(view), kDrawnKey, GINT_TO_POINTER(1));
  return FALSE;
}

gboolean onWidgetMapped(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
  GObject* widget = G_OBJECT(g_value_get_object(&values[0]));
  if (GTK_IS_TEXT_VIEW(widget) && !g_object_get_data(widget, "varnelo-probe-watched")) {
    g_object_set_data(widget, "varnelo-probe-watched", GINT_TO_POINTER(1));
    g_signal_connect_after(widget, "draw", G_CALLBACK(onViewDrawn), nullptr);
  }
  return TRUE;  // stays for every later view
}

// Whether a text view has drawn itself is no concern of the shell, so the
// probe watches every text view from the moment it is mapped. GTK skips the
// draw signal of a widget without handlers, so a hook on that signal itself
// would see nothing.
void watchTextViews() {
  static bool watching = false;
  if (watching) return;
  watching = true;
  g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, onWidgetMapped, nullptr,
                             nullptr);
}

bool viewDrawn(GtkWidget* view) {
  return view && g_object_get_data(G_OBJECT(view), kDrawnKey);
}

Text bufferText(GtkTextBuffer* buffer, const GtkTextIter* start, const GtkTextIter* end) {
  gchar* text = gtk_text_buffer_get_text(buffer, start, end, TRUE);
  Text result = fromUtf8(text);
  g_free(text);
  return result;
}

// A text view's whole text, and what of it is selected.
void readTextView(GtkWidget* view, Text& text, Text& selection) {
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  text = bufferText(buffer, &start, &end);
  if (gtk_text_buffer_get_selection_bounds(buffer, &start, &end))
    selection = bufferText(buffer, &start, &end);
}

// A widget's place within another and its size, in device pixels.
struct Placed {
  int x = 0, y = 0, width = 0, height = 0;
};

Placed placeIn(GtkWidget* widget, GtkWidget* within) {
  int scale = gtk_widget_get_scale_factor(within);
  Placed placed;
  gtk_widget_translate_coordinates(widget, within, 0, 0, &placed.x, &placed.y);
  placed.x *= scale;
  placed.y *= scale;
  placed.width = gtk_widget_get_allocated_width(widget) * scale;
  placed.height = gtk_widget_get_allocated_height(widget) * scale;
  return placed;
}

void readGeometry(GtkProbeState& state) {
  int scale = gtk_widget_get_scale_factor(gtkShell.window);
  GdkWindow* gdkWindow = gtk_widget_get_window(gtkShell.window);
  if (gdkWindow) {
    state.clientWidth = gdk_window_get_width(gdkWindow) * scale;
    state.clientHeight = gdk_window_get_height(gdkWindow) * scale;
  }
  if (!gtkShell.scroller) return;
  Placed view = placeIn(gtkShell.scroller, gtkShell.window);
  state.viewX = view.x;
  state.viewY = view.y;
  state.viewWidth = view.width;
  state.viewHeight = view.height;
}

void readStrip(GtkProbeState& state) {
  const ProgressStrip& strip = gtkShell.strip;
  state.progressFraction = gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(strip.bar));
  state.progressStatus = fromUtf8(gtk_label_get_text(GTK_LABEL(strip.status)));
  Placed bar = placeIn(strip.bar, gtkShell.window);
  state.barX = bar.x;
  state.barY = bar.y;
  state.barWidth = bar.width;
  state.barHeight = bar.height;
  Placed status = placeIn(strip.status, gtkShell.window);
  state.statusX = status.x;
  state.statusY = status.y;
  state.statusWidth = status.width;
  state.statusHeight = status.height;
}

// Whether any part of the buffer line is inside the view's visible rectangle.
bool lineVisible(GtkTextView* view, const GtkTextIter* line) {
  GdkRectangle visible;
  gtk_text_view_get_visible_rect(view, &visible);
  int y = 0, height = 0;
  gtk_text_view_get_line_yrange(view, line, &y, &height);
  return y + height > visible.y && y < visible.y + visible.height;
}

void readMessageLines(GtkProbeState& state) {
  const SummaryBox& summary = gtkShell.summary;
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(summary.view));
  GtkTextIter first, last;
  gtk_text_buffer_get_start_iter(buffer, &first);
  gtk_text_buffer_get_end_iter(buffer, &last);
  gtk_text_iter_set_line_offset(&last, 0);
  state.firstLineVisible = lineVisible(GTK_TEXT_VIEW(summary.view), &first);
  state.lastLineVisible = lineVisible(GTK_TEXT_VIEW(summary.view), &last);
}

// The box's place on the screen and its parts' within it.
void readMessageGeometry(GtkProbeState& state) {
  const SummaryBox& summary = gtkShell.summary;
  GtkWidget* dialog = gtkShell.message;
  int scale = gtk_widget_get_scale_factor(dialog);
  GdkRectangle area = summary.workArea;
  state.workAreaX = area.x * scale;
  state.workAreaY = area.y * scale;
  state.workAreaWidth = area.width * scale;
  state.workAreaHeight = area.height * scale;
  GdkWindow* window = gtk_widget_get_window(dialog);
  if (!window || !gtk_widget_get_mapped(dialog)) return;
  int x = 0, y = 0;
  gdk_window_get_origin(window, &x, &y);
  state.messageX = x * scale;
  state.messageY = y * scale;
  state.messageWidth = gdk_window_get_width(window) * scale;
  state.messageHeight = gdk_window_get_height(window) * scale;
  Placed ok = placeIn(summary.ok, dialog);
  state.okX = ok.x;
  state.okY = ok.y;
  state.okWidth = ok.width;
  state.okHeight = ok.height;
  state.okVisible = gtk_widget_is_drawable(summary.ok) && gtk_widget_has_default(summary.ok);
  if (summary.retry) {
    Placed retry = placeIn(summary.retry, dialog);
    state.retryX = retry.x;
    state.retryY = retry.y;
    state.retryWidth = retry.width;
    state.retryHeight = retry.height;
    state.retryVisible = gtk_widget_is_drawable(summary.retry);
  }
  Placed notes = placeIn(summary.notes, dialog);
  state.notesX = notes.x;
  state.notesY = notes.y;
  state.notesWidth = notes.width;
  state.notesHeight = notes.height;
  Placed view = placeIn(summary.scroller, dialog);
  state.messageViewX = view.x;
  state.messageViewY = view.y;
  state.messageViewWidth = view.width;
  state.messageViewHeight = view.height;
  readMessageLines(state);
}

void readMessage(GtkProbeState& state) {
  const SummaryBox& summary = gtkShell.summary;
  GtkWindow* dialog = GTK_WINDOW(gtkShell.message);
  state.messageShown = true;
  state.messageTitle = fromUtf8(gtk_window_get_title(dialog));
  state.messageHeadline = gtk_widget_get_visible(summary.headline)
                              ? fromUtf8(gtk_label_get_text(GTK_LABEL(summary.headline)))
                              : Text();
  state.messageNotes = gtk_widget_get_visible(summary.notes)
                           ? fromUtf8(gtk_label_get_text(GTK_LABEL(summary.notes)))
                           : Text();
  if (summary.retry) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(summary.retry));
    state.retryText = fromUtf8(gtk_label_get_text(GTK_LABEL(label)));
  }
  readTextView(summary.view, state.messageText, state.messageSelection);
  state.messageModal = gtk_window_get_modal(dialog);
  state.messageOwnedByWindow =
      gtkShell.window && gtk_window_get_transient_for(dialog) == GTK_WINDOW(gtkShell.window);
  state.messageFocused = gtk_window_is_active(dialog);
  state.messageDrawn = viewDrawn(summary.view);
  readMessageGeometry(state);
}

void (*progressCallback)() = nullptr;
gulong fractionHandler = 0;
gulong statusHandler = 0;

void onStripChanged(GObject*, GParamSpec*, gpointer) {
  if (progressCallback) progressCallback();
}

}  // namespace

GtkProbeState gtkProbeState() {
  watchTextViews();
  GtkProbeState state;
  {
    std::lock_guard<std::mutex> hold(gtkShell.eventLock);
    state.queuedEvents = static_cast<int>(gtkShell.events.size());
  }
  if (gtkShell.message) readMessage(state);
  if (!gtkShell.window) return state;
  GtkWindow* window = GTK_WINDOW(gtkShell.window);
  state.windowOpen = true;
  state.title = fromUtf8(gtk_window_get_title(window));
  if (gtkShell.view) {
    flushLogView();
    readTextView(gtkShell.view, state.viewText, state.viewSelection);
  }
  state.resizable = gtk_window_get_resizable(window);
  state.windowActive = gtk_window_is_active(window);
  state.windowUrgent = gtk_window_get_urgency_hint(window);
  readGeometry(state);
  if (gtkShell.strip.bar) readStrip(state);
  return state;
}

void gtkProbeSetDesktopDpi(int dpi) {
  watchTextViews();
  g_object_set(gtk_settings_get_default(), "gtk-xft-dpi", dpi * 1024, nullptr);
}

void gtkProbeRequestClose() {
  if (gtkShell.window) gtk_window_close(GTK_WINDOW(gtkShell.window));
}

bool gtkProbePressOk() {
  if (!gtkShell.message) return false;
  gtk_dialog_response(GTK_DIALOG(gtkShell.message), GTK_RESPONSE_OK);
  return true;
}

bool gtkProbePressRetry() {
  if (!gtkShell.message || !gtkShell.summary.retry) return false;
  gtk_button_clicked(GTK_BUTTON(gtkShell.summary.retry));
  return true;
}

bool gtkProbeMessageDrawn() {
  watchTextViews();
  return gtkShell.message && viewDrawn(gtkShell.summary.view);
}

bool gtkProbeScrollMessageToEnd() {
  if (!gtkShell.message) return false;
  // So that a test can wait for the scrolled view to be drawn.
  g_object_set_data(G_OBJECT(gtkShell.summary.view), kDrawnKey, nullptr);
  // As the scroll bar dragged to its end.
  GtkAdjustment* adjustment =
      gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(gtkShell.summary.scroller));
  gtk_adjustment_set_value(
      adjustment, gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment));
  return true;
}

Text gtkProbeClipboardText() {
  gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  Text result = fromUtf8(text ? text : "");
  g_free(text);
  return result;
}

Text gtkProbeLogOnScreen() {
  if (!gtkShell.view) return Text();
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(gtkShell.view));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  return bufferText(buffer, &start, &end);
}

bool gtkProbeWatchProgress(void (*callback)()) {
  if (!gtkShell.strip.bar) return false;
  gtkProbeStopWatchingProgress();
  progressCallback = callback;
  fractionHandler = g_signal_connect(gtkShell.strip.bar, "notify::fraction",
                                     G_CALLBACK(onStripChanged), nullptr);
  statusHandler = g_signal_connect(gtkShell.strip.status, "notify::label",
                                   G_CALLBACK(onStripChanged), nullptr);
  return true;
}

void gtkProbeStopWatchingProgress() {
  if (fractionHandler && gtkShell.strip.bar) {
    g_signal_handler_disconnect(gtkShell.strip.bar, fractionHandler);
    g_signal_handler_disconnect(gtkShell.strip.status, statusHandler);
  }
  fractionHandler = statusHandler = 0;
  progressCallback = nullptr;
}

void gtkProbeSettle() {
  watchTextViews();
  flushLogView();
  for (int round = 0; round < 3; ++round) {
    gdk_display_sync(gdk_display_get_default());
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }
}
