// The GTK log view after many lines, on a real X display: its text must be
// the line model's text, however the lines were gathered into its buffer.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <vector>

#include "ui/log_lines.h"
#include "ui/shell.h"
#include "ui/gtk_probe.h"
#include "ui/shell_ops.h"

namespace {

class LogViewGtkTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gtkShellOps().init()) << "no X display";
    initWindowShell();
    ASSERT_TRUE(openRunWindow(u"Varnelo"));
    gtkProbeSettle();
  }
  void TearDown() override {
    endWindowShell();
    gtkProbeSettle();
  }
  // Adds the line to the view and to a model of its own.
  void add(const Text& text) {
    addLogLineOnTop(text);
    addLine(model, 0, text);
  }
  Text viewText() { return gtkProbeState().viewText; }

  LogLines model;
};

// The texts a run logs and some it never does: empty, two lines in one,
// characters outside the basic plane, and CR and U+2029, which end a line in
// the buffer but not in the log.
TEST_F(LogViewGtkTest, ThousandsOfLinesOnTopMatchTheModel) {
  // The first line empty: the view's text stays empty but holds a line.
  add(u"");
  EXPECT_EQ(u"", viewText());
  add(u"第一行");
  EXPECT_EQ(u"第一行\n", viewText());
  const Text texts[] = {u"/home/办公室/考核第1组/一季度/",
                        u"",
                        u"\U0001F4C1材料",
                        Text(300, u'x'),
                        u"两行\n之一",
                        u"a\tb",
                        u"行\r",
                        u"x\u2029"};
  std::mt19937 random(7);
  size_t breaks = 0;
  for (int i = 0; i < 3000; ++i) {
    const Text& text = texts[random() % 8];
    breaks += text.find(u'\n') != Text::npos;
    add(text + intToText(i));
    if (i % 500 == 0) {
      ASSERT_EQ(logTextOf(model), viewText()) << i;
    }
  }
  gtkProbeSettle();
  EXPECT_EQ(logTextOf(model), viewText());
  // A text with a break of its own is two lines, in the view as in the model.
  EXPECT_EQ(3002u + breaks, logLineCount(model));
}

GtkWidget* findTextView(GtkWidget* widget) {
  if (GTK_IS_TEXT_VIEW(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child && !found; child = child->next)
    found = findTextView(GTK_WIDGET(child->data));
  g_list_free(children);
  return found;
}

// The main window: the one top-level window that is not a box.
GtkWidget* mainWindow() {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* window = windows; window && !found; window = window->next)
    if (!GTK_IS_DIALOG(window->data) && gtk_widget_get_visible(GTK_WIDGET(window->data)))
      found = GTK_WIDGET(window->data);
  g_list_free(windows);
  return found;
}

// The text as the widget on screen holds it, read without the shell's hooks,
// which would first hand over lines that are still waiting.
Text textOnScreen() {
  GtkWidget* window = mainWindow();
  GtkWidget* view = window ? findTextView(window) : nullptr;
  if (!view) return Text();
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
  Text result = fromUtf8(text);
  g_free(text);
  return result;
}

std::atomic<bool> workerDone{false};
constexpr int kWorkerLines = 2000;

int addLinesAtTheTop(int) {
  for (int i = 0; i < kWorkerLines; ++i) addLogLineOnTop(u"/考核第" + intToText(i) + u"组/");
  workerDone = true;
  setWindowTitle(u"Varnelo-完成");  // wakes the wait below
  return 0;
}

// As in a run: the worker adds every line at the top while this thread
// serves the window, and the lines reach the widget on screen by themselves
// soon after, with nobody reading the view.
TEST_F(LogViewGtkTest, LinesFromTheWorkerLandOnTopInOrder) {
  ASSERT_NE(0, startWorker(addLinesAtTheTop, 0));
  for (int i = 0; i < 1000000 && !workerDone; ++i) waitEvent();
  ASSERT_TRUE(workerDone);
  for (int i = 0; i < kWorkerLines; ++i) addLine(model, 0, u"/考核第" + intToText(i) + u"组/");
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (textOnScreen() != logTextOf(model) && std::chrono::steady_clock::now() < until)
    g_main_context_iteration(nullptr, FALSE);
  EXPECT_EQ(logTextOf(model), textOnScreen());
  EXPECT_EQ(logTextOf(model), viewText());
}

// What the widget on screen held at the moment the title changed to
// kBurstTitle and at the moment a box was shown.
const Text kBurstTitle = u"Varnelo-第一批";
Text textAtTitle, textAtBox;
int boxesShown = 0;

void onTitleChanged(GObject* window, GParamSpec*, gpointer) {
  if (fromUtf8(gtk_window_get_title(GTK_WINDOW(window))) == kBurstTitle)
    textAtTitle = textOnScreen();
}

gboolean onWidgetShown(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
  if (GTK_IS_DIALOG(g_value_get_object(&values[0]))) {
    textAtBox = textOnScreen();
    ++boxesShown;
  }
  return TRUE;  // stays for later boxes
}

Text burstLine(int burst, int i) {
  return u"/考核第" + intToText(burst) + u"批/人员" + intToText(i) + u"/";
}

// Lines on top, as fast as the worker can add them, each burst
// followed at once by a call the user sees.
int burstsThenTitleAndBox(int) {
  for (int i = 0; i < kWorkerLines; ++i) addLogLineOnTop(burstLine(1, i));
  setWindowTitle(kBurstTitle);
  for (int i = 0; i < kWorkerLines; ++i) addLogLineOnTop(burstLine(2, i));
  showSummary(SummaryDialog{u"同步提示", u"同步完成：共 2 批，全部成功。", Text(), u"第一批\n第二批\n"});
  workerDone = true;
  setWindowTitle(u"Varnelo-完成");  // wakes the wait below
  return 0;
}

// Lines may wait a moment before they reach the widget, but a title or a box
// that follows them must never be seen before them: by the time either shows,
// every line added before it is on screen.
TEST_F(LogViewGtkTest, TitleAndBoxRightAfterABurstFindEveryLineOnScreen) {
  GtkWidget* window = mainWindow();
  ASSERT_NE(nullptr, window);
  textAtTitle = textAtBox = u"-";
  boxesShown = 0;
  workerDone = false;
  gulong titleHandler =
      g_signal_connect(window, "notify::title", G_CALLBACK(onTitleChanged), nullptr);
  guint showSignal = g_signal_lookup("show", GTK_TYPE_WIDGET);
  gulong showHook = g_signal_add_emission_hook(showSignal, 0, onWidgetShown, nullptr, nullptr);
  ASSERT_NE(0, startWorker(burstsThenTitleAndBox, 0));
  for (int i = 0; i < 1000000 && boxesShown == 0; ++i) waitEvent();
  EXPECT_TRUE(gtkProbePressOk());
  for (int i = 0; i < 1000000 && !workerDone; ++i) waitEvent();
  g_signal_remove_emission_hook(showSignal, showHook);
  g_signal_handler_disconnect(window, titleHandler);
  ASSERT_TRUE(workerDone);
  ASSERT_EQ(1, boxesShown);

  // Compared whole, but reported by line count: the texts run to thousands
  // of lines.
  auto lines = [](const Text& text) { return std::count(text.begin(), text.end(), u'\n') + 1; };
  for (int i = 0; i < kWorkerLines; ++i) addLine(model, 0, burstLine(1, i));
  EXPECT_TRUE(logTextOf(model) == textAtTitle)
      << "title set with " << lines(textAtTitle) << " of " << logLineCount(model) << " lines shown";
  for (int i = 0; i < kWorkerLines; ++i) addLine(model, 0, burstLine(2, i));
  EXPECT_TRUE(logTextOf(model) == textAtBox)
      << "box shown with " << lines(textAtBox) << " of " << logLineCount(model) << " lines shown";
}

}  // namespace
