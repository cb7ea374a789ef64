// The progress strip under the log view: a bar, and under it one line that
// says what the run is doing.
#include <gtk/gtk.h>

#include <algorithm>
#include <string>

#include "ui/shell_gtk_state.h"

namespace {

// The bar's height and the gap under it, in 1/96 inch: a Windows progress
// bar's height, so that both programs look alike.
constexpr int kBarHeight = 16;
constexpr int kBarGap = 4;

ProgressStrip& strip = gtkShell.strip;

GtkWidget* newStatusLine() {
  GtkWidget* label = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_yalign(GTK_LABEL(label), 0);
  gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
  // A long path must not widen the window: the middle gives way, so both the
  // folder's start and its last names stay readable. The window takes its
  // content's natural width, so the line asks for none beyond its own.
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_MIDDLE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
  return label;
}

// The theme draws a thin trough in the middle of the bar's space; the bar
// fills it here, as a progress bar does on Windows, so the strip reads the
// same in both programs.
void fillBarHeight(GtkWidget* bar, int height) {
  std::string css = "progressbar trough, progressbar progress { min-height: " +
                    std::to_string(std::max(1, height - 2)) + "px; }";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(bar), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

void resetStrip() {
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(strip.bar), 0);
  gtk_label_set_text(GTK_LABEL(strip.status), "");
}

}  // namespace

// Each edge is scaled on its own, so the line ends where the strip does
// whatever the rounding.
bool createProgressStrip(const LayoutBox& place) {
  if (!gtkShell.window || strip.bar) return false;
  auto [x, y, width, height] = place;
  int lineTop = y + std::min(height, kBarHeight + kBarGap);
  int left = toLogicalPixels(x), scaledWidth = toLogicalPixels(x + width) - left;
  int top = toLogicalPixels(y);
  int barHeight = toLogicalPixels(y + std::min(height, kBarHeight)) - top;
  strip.bar = gtk_progress_bar_new();
  gtk_widget_set_size_request(strip.bar, scaledWidth, barHeight);
  fillBarHeight(strip.bar, barHeight);
  strip.status = newStatusLine();
  gtk_widget_set_size_request(strip.status, scaledWidth,
                              toLogicalPixels(y + height) - toLogicalPixels(lineTop));
  GtkFixed* fixed = GTK_FIXED(gtkShell.fixed);
  gtk_fixed_put(fixed, strip.bar, left, top);
  gtk_fixed_put(fixed, strip.status, left, toLogicalPixels(lineTop));
  gtk_widget_show(strip.bar);
  gtk_widget_show(strip.status);
  return true;
}

// GTK has no taskbar state to turn red, so a failure shows only in the
// status line the run writes.
void gtkShowProgress(double fraction, const Text& status, bool) {
  callOnGuiThread([fraction, &status](GuiCall*) {
    if (!strip.bar) return 0;
    flushLogView();
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(strip.bar), fraction);
    gtk_label_set_text(GTK_LABEL(strip.status), toUtf8(status).c_str());
    return 0;
  });
}

void gtkClearRun() {
  callOnGuiThread([](GuiCall*) {
    clearLogView();
    if (strip.bar) resetStrip();
    return 0;
  });
}

void forgetProgressStrip() {
  strip = ProgressStrip();
}
