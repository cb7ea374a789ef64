// Runs the GTK shell on a real X display (ctest starts a private Xvfb for each
// test) and checks it both through the shell's own hooks and through X tools
// that see only what the display server sees.

#include "ui/shell_gtk.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "ui/shell.h"
#include "ui/shell_ops.h"

namespace {

constexpr int kMainWindowOptions = 0xC80001;
constexpr int kLogViewOptions = 0x10000800;

class GtkShellTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_TRUE(gtkShellOps().init()) << "no X display";
    initWindowShell();
  }
  void TearDown() override {
    endWindowShell();
    gtkShellSettle();
    gtkShellSetDesktopDpi(96);
    TempFolderTest::TearDown();
  }
  void open(const Text& title) {
    ASSERT_TRUE(openMainWindow(0, 0, 500, 400, title, kMainWindowOptions));
    ASSERT_NE(0, createLogView(10, 10, 480, 380, kLogViewOptions));
    gtkShellSettle();
  }
  // What an X client outside the program reads about the window.
  std::string xTool(const std::string& command) {
    std::string out = native(dir) + "x_tool.txt";
    int status = std::system((command + " >" + out + " 2>&1").c_str());
    EXPECT_EQ(0, status) << command;
    return readFile(fromUtf8(out));
  }
  int xwininfoField(const std::string& info, const std::string& field) {
    size_t at = info.find(field + ":");
    if (at == std::string::npos) return -1;
    return std::atoi(info.c_str() + at + field.size() + 1);
  }
};

template <typename Condition>
bool waitEventsUntil(Condition condition) {
  for (int i = 0; i < 100000 && !condition(); ++i) waitEvent();
  return condition();
}

TEST_F(GtkShellTest, LogLinesFollowTheLineRulesInTheView) {
  open(u"Varnelo");
  addLogLine(0, u"a");
  EXPECT_EQ(u"a", gtkShellState().viewText);
  addLogLine(0, u"b");
  EXPECT_EQ(u"b\na", gtkShellState().viewText);
  addLogLine(-1, u"c");
  addLogLine(7, u"d");
  EXPECT_EQ(u"b\na\nc\nd", gtkShellState().viewText);
  // Characters outside the basic plane are one GTK character but two units;
  // a line inserted after them must still land at a line start.
  addLogLine(1, u"\U0001F4C1中文路径");
  addLogLine(2, u"e");
  EXPECT_EQ(u"b\n\U0001F4C1中文路径\ne\na\nc\nd", gtkShellState().viewText);

  // A long line wraps on screen but stays one line: position 1 is still the
  // line after it.
  Text longLine(400, u'x');
  addLogLine(0, longLine);
  addLogLine(1, u"f");
  EXPECT_EQ(longLine + u"\nf\nb", gtkShellState().viewText.substr(0, 404));
}

TEST_F(GtkShellTest, AnEmptyFirstLineCountsAsALine) {
  open(u"Varnelo");
  addLogLine(0, u"");
  EXPECT_EQ(u"", gtkShellState().viewText);
  addLogLine(-1, u"a");
  EXPECT_EQ(u"\na", gtkShellState().viewText);
  addLogLine(0, u"top");
  EXPECT_EQ(u"top\n\na", gtkShellState().viewText);
}

struct WorkerRecord {
  std::atomic<int> lastReturned{0};
  std::atomic<bool> allTrue{true};
  std::atomic<bool> finished{false};
  std::atomic<int> messageResult{-1};
};
WorkerRecord record;
constexpr int kTitleCount = 40;

int setTitlesAndLines(int) {
  for (int i = 1; i <= kTitleCount; ++i) {
    if (!setWindowTitle(u"Varnelo-" + intToText(i))) record.allTrue = false;
    addLogLine(0, intToText(i));
    record.lastReturned = i;
  }
  // The GUI thread may be waiting for an event already; this call is one.
  record.finished = true;
  setWindowTitle(u"Varnelo");
  return 0;
}

TEST_F(GtkShellTest, WorkerTitlesAndLinesArriveInOrderAndWaitUntilShown) {
  open(u"Varnelo");
  record.lastReturned = 0;
  record.finished = false;
  int first = startWorker(setTitlesAndLines, 0);
  ASSERT_GT(first, 0);
  std::vector<int> seen;
  ASSERT_TRUE(waitEventsUntil([&seen] {
    int returned = record.lastReturned;
    Text title = gtkShellState().title;
    if (record.finished) return title == u"Varnelo";
    int shown = title == u"Varnelo" ? 0 : static_cast<int>(parseInt(title.substr(8)));
    // A call that has returned has taken effect.
    EXPECT_GE(shown, returned);
    if (shown > 0 && (seen.empty() || seen.back() != shown)) seen.push_back(shown);
    return false;
  }));
  EXPECT_TRUE(record.allTrue);
  ASSERT_FALSE(seen.empty());
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]);
  EXPECT_EQ(kTitleCount, seen.back());
  Text expected;
  for (int i = kTitleCount; i >= 1; --i) expected += intToText(i) + (i > 1 ? u"\n" : u"");
  EXPECT_EQ(expected, gtkShellState().viewText);

  EXPECT_EQ(first + 1, startWorker([](int) { return 0; }, 0));
}

// Waits for the close event; other events may come first.
bool closeEventArrives() {
  for (int i = 0; i < 1000; ++i)
    if (waitEvent() == kCloseWindowEvent) return true;
  return false;
}

TEST_F(GtkShellTest, CloseRequestIsAnEventAndTheWindowStays) {
  open(u"Varnelo");
  gtkShellRequestClose();
  ASSERT_TRUE(closeEventArrives());
  gtkShellSettle();
  GtkShellState state = gtkShellState();
  EXPECT_TRUE(state.windowOpen);
  EXPECT_EQ(500, state.clientWidth);
  EXPECT_NE(std::string::npos, xTool("xwininfo -name Varnelo").find("IsViewable"));

  // Two requests before the loop looks: one event.
  gtkShellRequestClose();
  gtkShellRequestClose();
  gtkShellSettle();
  EXPECT_EQ(1, gtkShellState().queuedEvents);
  EXPECT_EQ(kCloseWindowEvent, waitEvent());
  EXPECT_EQ(0, gtkShellState().queuedEvents);
}

TEST_F(GtkShellTest, ClientAreaScalesWithTheDesktopDpiAndIsCentred) {
  struct Case {
    int dpi;
    int width, height, viewOffset, viewWidth, viewHeight;
  };
  for (Case c : {Case{96, 500, 400, 10, 480, 380}, Case{144, 750, 600, 15, 720, 570},
                 Case{120, 625, 500, 13, 600, 475}}) {
    SCOPED_TRACE(c.dpi);
    gtkShellSetDesktopDpi(c.dpi);
    Text title = u"Varnelo-" + intToText(c.dpi);
    open(title);
    GtkShellState state = gtkShellState();
    EXPECT_FALSE(state.resizable);
    EXPECT_EQ(c.width, state.clientWidth);
    EXPECT_EQ(c.height, state.clientHeight);
    EXPECT_EQ(c.viewOffset, state.viewX);
    EXPECT_EQ(c.viewOffset, state.viewY);
    EXPECT_EQ(c.viewWidth, state.viewWidth);
    EXPECT_EQ(c.viewHeight, state.viewHeight);

    // The display server's view: no window manager runs here, so the window
    // is exactly its client area, centred on the 1280 x 1024 screen.
    std::string info = xTool("xwininfo -name " + native(title));
    EXPECT_EQ(c.width, xwininfoField(info, "Width"));
    EXPECT_EQ(c.height, xwininfoField(info, "Height"));
    EXPECT_EQ((1280 - c.width) / 2, xwininfoField(info, "Absolute upper-left X"));
    EXPECT_EQ((1024 - c.height) / 2, xwininfoField(info, "Absolute upper-left Y"));
    endWindowShell();
    gtkShellSettle();
  }
}

int showSummary(int) {
  record.messageResult = showMessage(u"同步提示", u"第一行\r\n第二行\r\n");
  setWindowTitle(u"Varnelo-ok");  // wakes the GUI thread to see the result
  return 0;
}

TEST_F(GtkShellTest, MessageFromWorkerIsModalToTheActiveWindowUntilOk) {
  open(u"Varnelo");
  // Without a window manager, keyboard focus goes where the X server puts it.
  xTool("xdotool search --name '^Varnelo$' windowfocus --sync");
  ASSERT_TRUE(waitEventsUntil([] { return gtkShellState().windowActive; }));
  record.messageResult = -1;
  ASSERT_GT(startWorker(showSummary, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkShellState().messageShown; }));
  GtkShellState state = gtkShellState();
  EXPECT_EQ(u"同步提示", state.messageTitle);
  EXPECT_EQ(u"第一行\n第二行\n", state.messageText);
  EXPECT_TRUE(state.messageModal);
  EXPECT_TRUE(state.messageOwnedByWindow);

  // The main window takes no close request while the box is up, and the
  // worker is still waiting.
  gtkShellRequestClose();
  gtkShellSettle();
  EXPECT_EQ(0, gtkShellState().queuedEvents);
  EXPECT_EQ(-1, record.messageResult);

  ASSERT_TRUE(gtkShellPressOk());
  ASSERT_TRUE(waitEventsUntil([] { return gtkShellState().title == u"Varnelo-ok"; }));
  EXPECT_EQ(1, record.messageResult);
  EXPECT_FALSE(gtkShellState().messageShown);
}

TEST_F(GtkShellTest, MessageWhileAnotherWindowIsActiveLeavesTheWindowUsable) {
  open(u"Varnelo");
  // Focus on the root window and the pointer outside: no window of the
  // program is active.
  xTool("xdotool mousemove 0 0");
  xTool("xdotool windowfocus --sync $(xwininfo -root | awk '/Window id:/ {print $4}')");
  ASSERT_TRUE(waitEventsUntil([] { return !gtkShellState().windowActive; }));
  record.messageResult = -1;
  ASSERT_GT(startWorker(showSummary, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkShellState().messageShown; }));
  EXPECT_FALSE(gtkShellState().messageModal);
  EXPECT_FALSE(gtkShellState().messageOwnedByWindow);
  gtkShellRequestClose();
  EXPECT_TRUE(closeEventArrives());
  ASSERT_TRUE(gtkShellPressOk());
  ASSERT_TRUE(waitEventsUntil([] { return gtkShellState().title == u"Varnelo-ok"; }));
}

TEST_F(GtkShellTest, KeysSelectButDoNotEdit) {
  open(u"Varnelo");
  addLogLine(0, u"第二行");
  addLogLine(0, u"first");
  xTool("xdotool search --name '^Varnelo$' windowfocus --sync");
  ASSERT_TRUE(waitEventsUntil([] { return gtkShellState().windowActive; }));
  xTool("xdotool key ctrl+a");
  ASSERT_TRUE(waitEventsUntil([] { return !gtkShellState().viewSelection.empty(); }));
  EXPECT_EQ(u"first\n第二行", gtkShellState().viewSelection);
  xTool("xdotool type abc");
  xTool("xdotool key BackSpace Delete Return ctrl+x ctrl+v Tab ctrl+z");
  gtkShellSettle();
  EXPECT_EQ(u"first\n第二行", gtkShellState().viewText);
}

}  // namespace
