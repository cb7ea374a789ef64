// The summary box: a bold headline, the notes under it, the text in a
// read-only view that scrolls, and OK, with "another go" to its left when
// the run offers one. Every message takes it too, with its text alone. Its
// size and place follow ui/summary_layout.h.
#include <gtk/gtk.h>

#include <algorithm>

#include "text/catalogue.h"
#include "ui/shell_gtk_state.h"
#include "ui/summary_layout.h"

namespace {

constexpr int kViewMargin = 4;
// The dialog's answer when the retry button is pressed; GTK's own answers
// (OK, the close box, Escape) are negative.
constexpr int kRetryResponse = 1;

SummaryBox& summary = gtkShell.summary;

void clearUrgency() {
  if (!summary.urgencyHandler) return;
  g_signal_handler_disconnect(gtkShell.window, summary.urgencyHandler);
  summary.urgencyHandler = 0;
  gtk_window_set_urgency_hint(GTK_WINDOW(gtkShell.window), FALSE);
}

void onMainWindowActive(GObject* window, GParamSpec*, gpointer) {
  if (gtk_window_is_active(GTK_WINDOW(window))) clearUrgency();
}

// A box that comes up while the user works elsewhere asks for attention
// through the main window's taskbar entry, until the user turns to it.
void drawAttention(GtkWindow* mainWindow) {
  if (!mainWindow || gtk_window_is_active(mainWindow)) return;
  gtk_window_set_urgency_hint(mainWindow, TRUE);
  summary.urgencyHandler =
      g_signal_connect(mainWindow, "notify::is-active", G_CALLBACK(onMainWindowActive), nullptr);
}

// OK, Enter, Escape and the close box all dismiss the box as OK; only the
// retry button asks for another go.
void onSummaryResponse(GtkDialog* dialog, gint response, gpointer data) {
  if (gtkShell.message == GTK_WIDGET(dialog)) {
    clearUrgency();
    gtkShell.message = nullptr;
    summary = SummaryBox();
  }
  // The keyboard goes back to the window the box was modal to, as it went
  // from there to the box.
  GtkWindow* owner = gtk_window_get_transient_for(GTK_WINDOW(dialog));
  bool modal = gtk_window_get_modal(GTK_WINDOW(dialog));
  gtk_widget_destroy(GTK_WIDGET(dialog));
  if (owner && modal) gtk_window_present(owner);
  finishCall(static_cast<GuiCall*>(data),
             response == kRetryResponse ? kDialogRetry : kDialogOk);
}

bool isEnter(guint key) {
  return key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter;
}

// The text view would take Enter and Escape for itself even though it cannot
// be edited; in this box both mean OK, as in any message box. Enter on a
// button the user has moved to presses that button.
gboolean onSummaryKey(GtkWidget* dialog, GdkEventKey* event, gpointer) {
  if (event->keyval != GDK_KEY_Escape && !isEnter(event->keyval)) return FALSE;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(dialog));
  if (isEnter(event->keyval) && focus && GTK_IS_BUTTON(focus)) return FALSE;
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  return TRUE;
}

// The work area of the monitor that shows the main window, or of the primary
// monitor when there is none; in GTK's logical pixels.
GdkRectangle workAreaFor(GtkWindow* owner) {
  GdkRectangle area{0, 0, 1024, 768};
  GdkDisplay* display = gdk_display_get_default();
  GdkWindow* ownerWindow = owner ? gtk_widget_get_window(GTK_WIDGET(owner)) : nullptr;
  GdkMonitor* monitor =
      ownerWindow ? gdk_display_get_monitor_at_window(display, ownerWindow) : primaryMonitor();
  if (monitor) gdk_monitor_get_workarea(monitor, &area);
  return area;
}

GtkRequisition preferredSize(GtkWidget* widget) {
  GtkRequisition natural;
  gtk_widget_get_preferred_size(widget, nullptr, &natural);
  return natural;
}

// What the window manager adds around a window: the main window's frame less
// its client area, or nothing when it has no frame.
void frameAround(GtkWindow* owner, int* width, int* height) {
  *width = *height = 0;
  GdkWindow* window = owner ? gtk_widget_get_window(GTK_WIDGET(owner)) : nullptr;
  if (!window) return;
  GdkRectangle frame;
  gdk_window_get_frame_extents(window, &frame);
  *width = std::max(0, frame.width - gdk_window_get_width(window));
  *height = std::max(0, frame.height - gdk_window_get_height(window));
}

// What the box needs around the view, measured around a view wider than the
// button row and without the headline and notes, which wrap within the view.
int chromeWidthOfBox() {
  constexpr int kProbe = 200;
  bool headlineShown = gtk_widget_get_visible(summary.headline);
  bool notesShown = gtk_widget_get_visible(summary.notes);
  gtk_widget_hide(summary.headline);
  gtk_widget_hide(summary.notes);
  gtk_widget_set_size_request(summary.scroller, kProbe, kProbe);
  int width = preferredSize(summary.dialog).width - kProbe;
  gtk_widget_set_visible(summary.headline, headlineShown);
  gtk_widget_set_visible(summary.notes, notesShown);
  return width;
}

// Sizes the view as a message box would size its text: as wide as the
// longest line between the box's limits, as high as the wrapped text while
// the whole box stays within its share of the work area.
void sizeSummary(const Text& shown, int frameWidth, int frameHeight) {
  GdkRectangle area = summary.workArea;
  std::string measured = toUtf8(firstLines(shown, kMeasuredLines));
  PangoLayout* layout = gtk_widget_create_pango_layout(summary.view, measured.c_str());
  int textWidth = 0, textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  // Borders, margins and the vertical scroll bar beside the text.
  int padding = 2 * kViewMargin + 24;
  int width = summaryViewWidth(textWidth + padding, chromeWidthOfBox(),
                               toLogicalPixels(kSummaryMinWidth),
                               toLogicalPixels(kSummaryMaxWidth), area.width - frameWidth);
  // The headline and notes wrap within the view's width; their height then
  // counts.
  constexpr int kProbe = 200;
  gtk_widget_set_size_request(summary.headline, width, -1);
  gtk_widget_set_size_request(summary.notes, width, -1);
  gtk_widget_set_size_request(summary.scroller, width, kProbe);
  int chromeHeight = preferredSize(summary.dialog).height - kProbe + frameHeight;
  pango_layout_set_width(layout, (width - padding) * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_get_pixel_size(layout, nullptr, &textHeight);
  int lineHeight = std::max(1, textHeight / std::max(1, pango_layout_get_line_count(layout)));
  g_object_unref(layout);
  int height = summaryViewHeight(textHeight + 4, lineHeight, chromeHeight, area.height);
  gtk_widget_set_size_request(summary.scroller, width, height);
}

// Centred on the main window, or on the work area when there is none.
void placeSummary(GtkWindow* owner, int frameWidth, int frameHeight) {
  GdkRectangle area = summary.workArea;
  GtkRequisition size = preferredSize(summary.dialog);
  int centreX = area.x + area.width / 2, centreY = area.y + area.height / 2;
  GdkWindow* ownerWindow = owner ? gtk_widget_get_window(GTK_WIDGET(owner)) : nullptr;
  if (ownerWindow) {
    GdkRectangle frame;
    gdk_window_get_frame_extents(ownerWindow, &frame);
    centreX = frame.x + frame.width / 2;
    centreY = frame.y + frame.height / 2;
  }
  ScreenRect place = placeInArea(ScreenRect{area.x, area.y, area.width, area.height}, centreX,
                                 centreY, size.width + frameWidth, size.height + frameHeight);
  gtk_window_set_gravity(GTK_WINDOW(summary.dialog), GDK_GRAVITY_NORTH_WEST);
  gtk_window_move(GTK_WINDOW(summary.dialog), place.x, place.y);
}

// A label that wraps at the width the view sets, asking for none of its own.
GtkWidget* newWrappingLabel(const Text& text) {
  GtkWidget* label = gtk_label_new(toUtf8(text).c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
  return label;
}

GtkWidget* newHeadline(const Text& headline) {
  GtkWidget* label = newWrappingLabel(headline);
  PangoAttrList* bold = pango_attr_list_new();
  pango_attr_list_insert(bold, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
  gtk_label_set_attributes(GTK_LABEL(label), bold);
  pango_attr_list_unref(bold);
  return label;
}

// The notes name a saved record's path, which the user may want to copy.
// The box hands the view its focus, so the notes start unselected.
GtkWidget* newNotes(const Text& notes) {
  GtkWidget* label = newWrappingLabel(notes);
  gtk_label_set_selectable(GTK_LABEL(label), TRUE);
  return label;
}

// GTK marks the access key with an underscore where the label shows the
// key in brackets at its end, as in "重新同步(R)".
std::string mnemonicLabel(const Text& label) {
  std::string text = toUtf8(label);
  size_t open = text.rfind('(');
  if (open != std::string::npos && open + 3 == text.size() && text.back() == ')')
    return text.substr(0, open + 1) + "_" + text.substr(open + 1);
  return text;
}

GtkWidget* newSummaryView(const Text& shown) {
  GtkWidget* view = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), kViewMargin);
  gtk_text_view_set_right_margin(GTK_TEXT_VIEW(view), kViewMargin);
  // No top or bottom margin: with one, the first drawing of the view lays out
  // every line of the text, seconds for a long summary.
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
  std::string text = toUtf8(shown);
  gtk_text_buffer_set_text(buffer, text.data(), static_cast<int>(text.size()));
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(buffer, &start);
  gtk_text_buffer_place_cursor(buffer, &start);
  return view;
}

GtkWidget* newSummaryScroller(GtkWidget* view) {
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  // A scroll bar that shows only under the pointer would hide that there is
  // more below.
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scroller), FALSE);
  gtk_container_add(GTK_CONTAINER(scroller), view);
  return scroller;
}

// Retry to the left of OK, which stays the default.
void addButtons(GtkDialog* dialog, bool offerRetry) {
  if (offerRetry)
    summary.retry = gtk_dialog_add_button(dialog, mnemonicLabel(kRetryButton).c_str(),
                                          kRetryResponse);
  summary.ok = gtk_dialog_add_button(dialog, toUtf8(kOkButton).c_str(), GTK_RESPONSE_OK);
  gtk_widget_set_can_default(summary.ok, TRUE);
  gtk_dialog_set_default_response(dialog, GTK_RESPONSE_OK);
}

// The headline, the notes, the view and the buttons, not yet sized or placed.
void fillSummary(GtkWidget* dialog, const SummaryDialog& shown) {
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_box_set_spacing(GTK_BOX(content), 8);
  gtk_container_set_border_width(GTK_CONTAINER(dialog), 6);
  summary.headline = newHeadline(shown.headline);
  gtk_box_pack_start(GTK_BOX(content), summary.headline, FALSE, FALSE, 0);
  summary.notes = newNotes(shown.notes);
  gtk_box_pack_start(GTK_BOX(content), summary.notes, FALSE, FALSE, 0);
  summary.view = newSummaryView(shown.text);
  summary.scroller = newSummaryScroller(summary.view);
  gtk_box_pack_start(GTK_BOX(content), summary.scroller, TRUE, TRUE, 0);
  addButtons(GTK_DIALOG(dialog), shown.offerRetry);
  gtk_widget_show_all(content);
  // A message without a headline is just its text.
  if (shown.headline.empty()) gtk_widget_hide(summary.headline);
  if (shown.notes.empty()) gtk_widget_hide(summary.notes);
}

// Modal to its owner when it has one.
GtkWidget* newDialogWindow(const Text& title, GtkWindow* owner) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), toUtf8(title).c_str());
  gtk_window_set_transient_for(GTK_WINDOW(dialog), owner);
  gtk_window_set_modal(GTK_WINDOW(dialog), owner != nullptr);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);
  return dialog;
}

// Modal and owned by the main window only while that window is the active
// one; a box raised while the user works in another program leaves the main
// window usable.
void openSummary(const SummaryDialog& box, GuiCall* call) {
  if (gtkShell.dpi == 96 && !gtkShell.window) readDisplayScale();
  GtkWindow* mainWindow = gtkShell.window ? GTK_WINDOW(gtkShell.window) : nullptr;
  bool owned = mainWindow && gtk_window_is_active(mainWindow);
  GtkWindow* owner = owned ? mainWindow : nullptr;
  GtkWidget* dialog = newDialogWindow(box.title, owner);
  summary = SummaryBox();
  summary.dialog = dialog;
  summary.workArea = workAreaFor(mainWindow);
  SummaryDialog shown = box;
  shown.text = replaceAll(box.text, u"\r\n", u"\n");
  fillSummary(dialog, shown);

  int frameWidth = 0, frameHeight = 0;
  frameAround(mainWindow, &frameWidth, &frameHeight);
  sizeSummary(shown.text, frameWidth, frameHeight);
  placeSummary(mainWindow, frameWidth, frameHeight);
  g_signal_connect(dialog, "response", G_CALLBACK(onSummaryResponse), call);
  g_signal_connect(dialog, "key-press-event", G_CALLBACK(onSummaryKey), nullptr);
  gtkShell.message = dialog;
  drawAttention(mainWindow);
  // The view has the focus, so Ctrl+A and Ctrl+C work at once; Enter still
  // means OK.
  gtk_widget_grab_focus(summary.view);
  gtk_widget_grab_default(summary.ok);
  // Presenting also hands it the keyboard where no window manager would.
  if (owned)
    gtk_window_present(GTK_WINDOW(dialog));
  else
    gtk_widget_show(dialog);
}

}  // namespace

int gtkShowSummary(const SummaryDialog& dialog) {
  return callOnGuiThread([&dialog](GuiCall* call) {
    flushLogView();
    openSummary(dialog, call);
    return kFinishesLater;
  });
}

// Any message may be long, so it takes the same box, with its text alone.
int gtkShowMessage(const Text& title, const Text& text) {
  SummaryDialog message;
  message.title = title;
  message.text = text;
  return gtkShowSummary(message);
}

// The worker waiting for the box is left waiting; see gtkEnd.
void closeSummaryBox() {
  clearUrgency();
  if (gtkShell.message) gtk_widget_destroy(gtkShell.message);
  gtkShell.message = nullptr;
  summary = SummaryBox();
}
