// Runs the GTK shell on a real X display (ctest starts a private Xvfb for each
// test) and checks it both through the shell's own hooks and through X tools
// that see only what the display server sees.

#include "ui/gtk_probe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"
#include "ui/shell.h"
#include "ui/shell_ops.h"

namespace {

class GtkShellTest : public TempFolderTest {
 public:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_TRUE(gtkShellOps().init()) << "no X display";
    initWindowShell();
  }
  void TearDown() override {
    endWindowShell();
    gtkProbeSettle();
    gtkProbeSetDesktopDpi(96);
    TempFolderTest::TearDown();
  }
  void open(const Text& title) {
    ASSERT_TRUE(openRunWindow(title));
    gtkProbeSettle();
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

TEST_F(GtkShellTest, EachLogLineGoesOnTop) {
  open(u"Varnelo");
  addLogLineOnTop(u"a");
  EXPECT_EQ(u"a", gtkProbeState().viewText);
  addLogLineOnTop(u"b");
  EXPECT_EQ(u"b\na", gtkProbeState().viewText);
  // Characters outside the basic plane are one GTK character but two units,
  // and a long line wraps on screen: each stays one line.
  Text longLine(400, u'x');
  addLogLineOnTop(u"\U0001F4C1中文路径");
  addLogLineOnTop(longLine);
  EXPECT_EQ(longLine + u"\n\U0001F4C1中文路径\nb\na", gtkProbeState().viewText);
}

TEST_F(GtkShellTest, AnEmptyFirstLineCountsAsALine) {
  open(u"Varnelo");
  addLogLineOnTop(u"");
  EXPECT_EQ(u"", gtkProbeState().viewText);
  addLogLineOnTop(u"a");
  EXPECT_EQ(u"a\n", gtkProbeState().viewText);
  addLogLineOnTop(u"top");
  EXPECT_EQ(u"top\na\n", gtkProbeState().viewText);
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
    addLogLineOnTop(intToText(i));
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
    Text title = gtkProbeState().title;
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
  EXPECT_EQ(expected, gtkProbeState().viewText);

  EXPECT_EQ(first + 1, startWorker([](int) { return 0; }, 0));
}

// Waits for the close event; other events may come first.
bool closeEventArrives() {
  for (int i = 0; i < 1000; ++i)
    if (waitEvent() == WindowEvent::kClose) return true;
  return false;
}

TEST_F(GtkShellTest, CloseRequestIsAnEventAndTheWindowStays) {
  open(u"Varnelo");
  gtkProbeRequestClose();
  ASSERT_TRUE(closeEventArrives());
  gtkProbeSettle();
  GtkProbeState state = gtkProbeState();
  EXPECT_TRUE(state.windowOpen);
  EXPECT_EQ(500, state.clientWidth);
  EXPECT_NE(std::string::npos, xTool("xwininfo -name Varnelo").find("IsViewable"));

  // Two requests before the loop looks: one event.
  gtkProbeRequestClose();
  gtkProbeRequestClose();
  gtkProbeSettle();
  EXPECT_EQ(1, gtkProbeState().queuedEvents);
  EXPECT_EQ(WindowEvent::kClose, waitEvent());
  EXPECT_EQ(0, gtkProbeState().queuedEvents);
}

TEST_F(GtkShellTest, ClientAreaScalesWithTheDesktopDpiAndIsCentred) {
  struct Case {
    int dpi;
    int width, height, viewOffset, viewWidth, viewHeight;
    int stripTop, stripBottom;
  };
  for (Case c : {Case{96, 500, 446, 10, 480, 380, 398, 436},
                 Case{144, 750, 669, 15, 720, 570, 597, 654},
                 Case{120, 625, 558, 13, 600, 475, 498, 545}}) {
    SCOPED_TRACE(c.dpi);
    gtkProbeSetDesktopDpi(c.dpi);
    Text title = u"Varnelo-" + intToText(c.dpi);
    open(title);
    GtkProbeState state = gtkProbeState();
    EXPECT_FALSE(state.resizable);
    EXPECT_EQ(c.width, state.clientWidth);
    EXPECT_EQ(c.height, state.clientHeight);
    EXPECT_EQ(c.viewOffset, state.viewX);
    EXPECT_EQ(c.viewOffset, state.viewY);
    EXPECT_EQ(c.viewWidth, state.viewWidth);
    EXPECT_EQ(c.viewHeight, state.viewHeight);
    // The bar at the top of the strip, as wide as the view; the status line
    // under it, ending with the strip, whatever the scale's rounding.
    EXPECT_EQ(c.viewOffset, state.barX);
    EXPECT_EQ(c.stripTop, state.barY);
    EXPECT_EQ(c.viewWidth, state.barWidth);
    EXPECT_GE(state.barHeight, c.dpi / 8);
    EXPECT_EQ(c.viewOffset, state.statusX);
    EXPECT_EQ(c.viewWidth, state.statusWidth);
    EXPECT_GT(state.statusY, state.barY + state.barHeight);
    EXPECT_EQ(c.stripBottom, state.statusY + state.statusHeight);

    // The display server's view: no window manager runs here, so the window
    // is exactly its client area, centred on the 1280 x 1024 screen.
    std::string info = xTool("xwininfo -name " + native(title));
    EXPECT_EQ(c.width, xwininfoField(info, "Width"));
    EXPECT_EQ(c.height, xwininfoField(info, "Height"));
    EXPECT_EQ((1280 - c.width) / 2, xwininfoField(info, "Absolute upper-left X"));
    EXPECT_EQ((1024 - c.height) / 2, xwininfoField(info, "Absolute upper-left Y"));
    endWindowShell();
    gtkProbeSettle();
  }
}

// Handles pending work until condition holds. The views lay out and scroll
// on the frame clock's ticks, so the loop also lets time pass between
// rounds; it gives up after some thousand rounds.
template <typename Condition>
bool settleUntil(Condition condition) {
  for (int i = 0; i < 2000 && !condition(); ++i) {
    gtkProbeSettle();
    if (!condition()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return condition();
}

int showShortMessage(int) {
  record.messageResult = showMessage(u"同步提示", u"第一行\r\n第二行\r\n");
  setWindowTitle(u"Varnelo-ok");  // wakes the GUI thread to see the result
  return 0;
}

int showShortSummary(int) {
  record.messageResult =
      showSummary(SummaryDialog{u"同步提示", u"同步完成：共 2 个目标，全部成功。", Text(), u"第一行\r\n第二行\r\n"});
  setWindowTitle(u"Varnelo-ok");
  return 0;
}

// Gives the main window the keyboard the way a window manager would. Until
// the focus change has come back from the display server, the window may
// still count as active only because the pointer rests on it while the
// focus follows the pointer; the box would then be raised just as that
// ends, and own nothing.
void focusMainWindow(GtkShellTest& test) {
  test.xTool("xdotool search --name '^Varnelo$' windowfocus --sync");
  gtkProbeSettle();
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().windowActive; }));
}

// Focus on the root window and the pointer outside: no window of the
// program is active.
void focusElsewhere(GtkShellTest& test) {
  test.xTool("xdotool mousemove 0 0");
  test.xTool("xdotool windowfocus --sync $(xwininfo -root | awk '/Window id:/ {print $4}')");
  gtkProbeSettle();
  ASSERT_TRUE(waitEventsUntil([] { return !gtkProbeState().windowActive; }));
}

void expectModalUntilOk(GtkShellTest& test, WorkerProcedure show, const Text& headline) {
  test.open(u"Varnelo");
  focusMainWindow(test);
  record.messageResult = -1;
  ASSERT_GT(startWorker(show, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().messageShown; }));
  GtkProbeState state = gtkProbeState();
  EXPECT_EQ(u"同步提示", state.messageTitle);
  EXPECT_EQ(headline, state.messageHeadline);
  EXPECT_EQ(u"第一行\n第二行\n", state.messageText);
  EXPECT_TRUE(state.messageModal);
  EXPECT_TRUE(state.messageOwnedByWindow);
  // Two lines make a small box, like a message box, centred on the window.
  ASSERT_TRUE(settleUntil([] { return gtkProbeState().messageWidth > 0; }));
  state = gtkProbeState();
  EXPECT_LT(state.messageHeight, 200);
  EXPECT_EQ(300, state.messageWidth);
  EXPECT_NEAR(640, state.messageX + state.messageWidth / 2, 2);
  EXPECT_NEAR(512, state.messageY + state.messageHeight / 2, 2);

  // The main window takes no close request while the box is up, and the
  // worker is still waiting.
  gtkProbeRequestClose();
  gtkProbeSettle();
  EXPECT_EQ(0, gtkProbeState().queuedEvents);
  EXPECT_EQ(-1, record.messageResult);

  ASSERT_TRUE(gtkProbePressOk());
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-ok"; }));
  EXPECT_EQ(1, record.messageResult);
  EXPECT_FALSE(gtkProbeState().messageShown);
}

TEST_F(GtkShellTest, MessageFromWorkerIsModalToTheActiveWindowUntilOk) {
  expectModalUntilOk(*this, showShortMessage, Text());
}

TEST_F(GtkShellTest, SummaryFromWorkerIsModalToTheActiveWindowUntilOk) {
  expectModalUntilOk(*this, showShortSummary, u"同步完成：共 2 个目标，全部成功。");
}

TEST_F(GtkShellTest, MessageWhileAnotherWindowIsActiveLeavesTheWindowUsable) {
  open(u"Varnelo");
  focusElsewhere(*this);
  record.messageResult = -1;
  ASSERT_GT(startWorker(showShortMessage, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().messageShown; }));
  EXPECT_FALSE(gtkProbeState().messageModal);
  EXPECT_FALSE(gtkProbeState().messageOwnedByWindow);
  gtkProbeRequestClose();
  EXPECT_TRUE(closeEventArrives());
  ASSERT_TRUE(gtkProbePressOk());
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-ok"; }));
}

// The window lays out and draws on the frame clock's next ticks.
void letFramesPass() {
  for (int i = 0; i < 10; ++i) {
    gtkProbeSettle();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// The main window as the display server shows it, saved beside the test
// program. A window id, since import with none waits for a click; xdotool
// matches ASCII titles only in the test's locale.
void screenshotWindow(GtkShellTest& test, const Text& title, const std::string& file) {
  letFramesPass();
  std::string id = test.xTool("xdotool search --name '^" + native(title) + "$' | head -n 1");
  ASSERT_FALSE(id.empty()) << native(title);
  test.xTool("import -window " + id.substr(0, id.find('\n')) + " " + file);
}

// What the log view's buffer held when the bar last moved, read as the
// screen shows it, without handing over lines that still wait.
Text logAtProgress;

void onFractionChanged() {
  logAtProgress = gtkProbeLogOnScreen();
}

int reportHalfWay(int) {
  for (int i = 1; i <= 3; ++i) addLogLineOnTop(u"/home/办公室/人员" + intToText(i) + u"/");
  showProgress(0.5, u"正在复制：第 76 个目标，共 152 个", false);
  setWindowTitle(u"Varnelo-半程");  // wakes the GUI thread
  return 0;
}

// Longer than the strip is wide.
const Text kLongStatus = u"第 152 / 152 个目标 · 已复制 38.0 MB / 38.0 MB · "
                         u"/home/综合办公室/履职材料同步/2024年度考核第十二组/人员甲的一季度述职报告与个人总结材料/";

int reportFailedEnd(int) {
  showProgress(1, kLongStatus, true);
  setWindowTitle(u"Varnelo-完成");
  return 0;
}

// The worker's progress shows as soon as its call returns, and never before
// the log lines added ahead of it.
TEST_F(GtkShellTest, ProgressFromTheWorkerShowsItsFractionAndStatus) {
  open(u"Varnelo");
  GtkProbeState state = gtkProbeState();
  EXPECT_EQ(0, state.progressFraction);
  EXPECT_EQ(u"", state.progressStatus);
  logAtProgress = u"-";
  ASSERT_TRUE(gtkProbeWatchProgress(onFractionChanged));
  ASSERT_GT(startWorker(reportHalfWay, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-半程"; }));
  state = gtkProbeState();
  EXPECT_EQ(0.5, state.progressFraction);
  EXPECT_EQ(u"正在复制：第 76 个目标，共 152 个", state.progressStatus);
  EXPECT_EQ(state.viewText, logAtProgress);
  EXPECT_EQ(u"/home/办公室/人员3/\n/home/办公室/人员2/\n/home/办公室/人员1/", state.viewText);
  gtkProbeStopWatchingProgress();
  gtkProbeSettle();
  setWindowTitle(u"Varnelo");
  screenshotWindow(*this, u"Varnelo", "progress-half-way.png");

  ASSERT_GT(startWorker(reportFailedEnd, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-完成"; }));
  letFramesPass();
  GtkProbeState end = gtkProbeState();
  EXPECT_EQ(1, end.progressFraction);
  EXPECT_EQ(kLongStatus, end.progressStatus);
  // A long status gives way inside the line; neither it nor the window grows.
  EXPECT_EQ(500, end.clientWidth);
  EXPECT_EQ(446, end.clientHeight);
  EXPECT_EQ(state.statusWidth, end.statusWidth);
  EXPECT_EQ(state.statusHeight, end.statusHeight);
}

int secondGo(int) {
  showProgress(0.8, u"正在复制：第 8 个目标，共 10 个", true);
  addLogLineOnTop(u"第一轮-之二");
  // Still waiting for the next frame when the run starts again.
  addLogLineOnTop(u"第一轮-之一");
  addLogLineOnTop(u"第一轮-之三");
  clearRun();
  addLogLineOnTop(u"第二轮-末");
  addLogLineOnTop(u"第二轮-中");
  addLogLineOnTop(u"第二轮-首");
  setWindowTitle(u"Varnelo-第二轮");
  return 0;
}

// Another go in the same window starts from an empty log and strip: no line
// of the first go comes back, not even one that was still on its way.
TEST_F(GtkShellTest, ClearRunEmptiesTheLogAndTheStrip) {
  open(u"Varnelo");
  addLogLineOnTop(u"第一轮-开始");
  ASSERT_GT(startWorker(secondGo, 0), 0);
  ASSERT_TRUE(waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-第二轮"; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // past the next frame
  gtkProbeSettle();
  GtkProbeState state = gtkProbeState();
  EXPECT_EQ(u"第二轮-首\n第二轮-中\n第二轮-末", state.viewText);
  EXPECT_EQ(0, state.progressFraction);
  EXPECT_EQ(u"", state.progressStatus);
}

TEST_F(GtkShellTest, KeysSelectButDoNotEdit) {
  open(u"Varnelo");
  addLogLineOnTop(u"第二行");
  addLogLineOnTop(u"first");
  focusMainWindow(*this);
  xTool("xdotool key ctrl+a");
  ASSERT_TRUE(waitEventsUntil([] { return !gtkProbeState().viewSelection.empty(); }));
  EXPECT_EQ(u"first\n第二行", gtkProbeState().viewSelection);
  xTool("xdotool type abc");
  xTool("xdotool key BackSpace Delete Return ctrl+x ctrl+v Tab ctrl+z");
  gtkProbeSettle();
  EXPECT_EQ(u"first\n第二行", gtkProbeState().viewText);
}

// Summary texts as the sync run writes them.
Text groupLines(int groups, int perGroup, const Text& groupName, const Text& itemName) {
  Text text = u"【同步完毕】同步内容：\r\n";
  for (int g = 1; g <= groups; ++g) {
    text += u"【" + groupName + intToText(g) + u"】:";
    for (int i = 1; i <= perGroup; ++i) text += (i > 1 ? u"、" : u"") + itemName + intToText(i);
    text += u"\r\n";
  }
  return text;
}

Text failureLines(int count) {
  Text text = u"【失败】共 " + intToText(count) + u" 项：\r\n";
  for (int i = 1; i <= count; ++i)
    text += u"找不到材料文件夹 /srv/单位材料/0-所有履职材料/第二考核组/人员" + intToText(i) +
            u"/2024年度履职材料/季度考核材料\r\n";
  return text;
}

struct SummaryCase {
  const char* name;
  Text headline;
  Text text;
};

SummaryDialog shownDialog;

int showEndDialog(int) {
  record.messageResult = showSummary(shownDialog);
  setWindowTitle(u"Varnelo-ok");
  return 0;
}

// Shows the dialog from the worker and waits until it is on screen with its
// text laid out.
GtkProbeState showEnd(const SummaryDialog& dialog) {
  shownDialog = dialog;
  record.messageResult = -1;
  setWindowTitle(u"Varnelo");
  EXPECT_GT(startWorker(showEndDialog, 0), 0);
  EXPECT_TRUE(waitEventsUntil([] { return gtkProbeState().messageShown; }));
  EXPECT_TRUE(settleUntil([] {
    GtkProbeState s = gtkProbeState();
    return s.messageWidth > 0 && s.messageDrawn;
  }));
  return gtkProbeState();
}

// The box as the display server shows it, saved beside the test program.
void screenshot(GtkShellTest& test, const GtkProbeState& s, const std::string& file) {
  test.xTool("import -window root -crop " + std::to_string(s.messageWidth) + "x" +
             std::to_string(s.messageHeight) + "+" + std::to_string(s.messageX) + "+" +
             std::to_string(s.messageY) + " " + file);
}

// Shows the case's summary and saves what the display shows of it.
GtkProbeState showCase(GtkShellTest& test, const SummaryCase& c) {
  GtkProbeState state = showEnd(SummaryDialog{u"同步提示", c.headline, Text(), c.text});
  screenshot(test, state, std::string("summary-") + c.name + ".png");
  return state;
}

void expectWhollyInWorkArea(const GtkProbeState& s) {
  EXPECT_TRUE(s.messageModal);
  EXPECT_TRUE(s.messageOwnedByWindow);
  EXPECT_GE(s.messageX, s.workAreaX);
  EXPECT_GE(s.messageY, s.workAreaY);
  EXPECT_LE(s.messageX + s.messageWidth, s.workAreaX + s.workAreaWidth);
  EXPECT_LE(s.messageY + s.messageHeight, s.workAreaY + s.workAreaHeight);
  // OK lies inside the box, below the view, and is the default.
  EXPECT_TRUE(s.okVisible);
  EXPECT_GT(s.okWidth, 0);
  EXPECT_GT(s.okHeight, 0);
  EXPECT_GE(s.okX, 0);
  EXPECT_LE(s.okX + s.okWidth, s.messageWidth);
  EXPECT_GE(s.okY, s.messageViewY + s.messageViewHeight);
  EXPECT_LE(s.okY + s.okHeight, s.messageHeight);
  EXPECT_TRUE(s.firstLineVisible);
}

bool dismissedWith(GtkShellTest& test, const char* key) {
  test.xTool(std::string("xdotool key --clearmodifiers ") + key);
  return waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-ok"; }) &&
         record.messageResult == 1 && !gtkProbeState().messageShown;
}

// No window manager runs here, so the work area is the whole 1280 x 1024
// screen and the box is exactly its client area.
TEST_F(GtkShellTest, SummaryBoxFitsTheWorkAreaWhateverTheTextsLength) {
  open(u"Varnelo");
  focusMainWindow(*this);

  // A short summary: a small box centred on the main window.
  SummaryCase office{"office", u"同步完成：共 240 个目标，全部成功。",
                     groupLines(40, 6, u"科室", u"人员")};
  GtkProbeState s = showCase(*this, office);
  EXPECT_EQ(office.headline, s.messageHeadline);
  EXPECT_EQ(replaceAll(office.text, u"\r\n", u"\n"), s.messageText);
  expectWhollyInWorkArea(s);
  EXPECT_LT(s.messageWidth, 560);
  EXPECT_LE(s.messageHeight, 1024 * 2 / 3);
  EXPECT_NEAR(640, s.messageX + s.messageWidth / 2, 2);
  EXPECT_NEAR(512, s.messageY + s.messageHeight / 2, 2);
  // The keyboard selects and copies the whole text; Enter is OK.
  xTool("xdotool key --clearmodifiers ctrl+a ctrl+c");
  ASSERT_TRUE(settleUntil([] { return !gtkProbeState().messageSelection.empty(); }));
  EXPECT_EQ(s.messageText, gtkProbeState().messageSelection);
  EXPECT_EQ(s.messageText, gtkProbeClipboardText());
  EXPECT_TRUE(dismissedWith(*this, "Return"));

  // 4,000 destinations: the box stops growing at two thirds of the height
  // and the view scrolls.
  SummaryCase large{"4000", u"同步完成：共 4000 个目标，全部成功。",
                    groupLines(400, 10, u"单位", u"目标")};
  s = showCase(*this, large);
  EXPECT_EQ(replaceAll(large.text, u"\r\n", u"\n"), s.messageText);
  expectWhollyInWorkArea(s);
  EXPECT_LE(s.messageHeight, 1024 * 2 / 3);
  EXPECT_GE(s.messageHeight, 1024 * 2 / 3 - 40);
  EXPECT_EQ(560, s.messageWidth);
  EXPECT_FALSE(s.lastLineVisible);
  EXPECT_TRUE(dismissedWith(*this, "Escape"));
  endWindowShell();
  gtkProbeSettle();

  // 3,000 failures, at 144 dpi, from a main window in the screen's corner:
  // centred on it the box would start above the screen, so it moves down.
  gtkProbeSetDesktopDpi(144);
  open(u"Varnelo");
  xTool("xdotool search --name '^Varnelo$' windowmove --sync 0 0");
  gtkProbeSettle();
  focusMainWindow(*this);
  SummaryCase failures{"3000-failures",
                       u"同步完成：共 12 个目标，其中 3000 项未能完成，详见下方【失败】。",
                       groupLines(3, 4, u"科室", u"人员") + failureLines(3000)};
  s = showCase(*this, failures);
  EXPECT_EQ(failures.headline, s.messageHeadline);
  EXPECT_EQ(replaceAll(failures.text, u"\r\n", u"\n"), s.messageText);
  expectWhollyInWorkArea(s);
  EXPECT_EQ(0, s.messageY);
  EXPECT_LE(s.messageHeight, 1024 * 2 / 3);
  // 560/96 inch is 840 pixels here; the long lines wrap there.
  EXPECT_EQ(840, s.messageWidth);
  EXPECT_FALSE(s.lastLineVisible);
  // Dragged to the end, and again while the view finds its lines' heights.
  EXPECT_TRUE(
      settleUntil([] { return gtkProbeScrollMessageToEnd() && gtkProbeState().lastLineVisible; }));
  EXPECT_TRUE(settleUntil([] { return gtkProbeState().messageDrawn; }));
  EXPECT_TRUE(gtkProbeState().lastLineVisible);
  screenshot(*this, gtkProbeState(), "summary-3000-failures-end.png");
  EXPECT_TRUE(dismissedWith(*this, "KP_Enter"));
}

// What the worker's showSummary returned once the dialog went away.
int dialogResult() {
  if (!waitEventsUntil([] { return gtkProbeState().title == u"Varnelo-ok"; })) return -1;
  EXPECT_FALSE(gtkProbeState().messageShown);
  return record.messageResult;
}

const Text kEndNotes =
    u"完成：152 个目标，复制 3041 个文件（38.0 MB），0 个文件无变化\n"
    u"记录已保存：/home/办公室/0-所有履职材料/同步记录/2026-12-09 同步记录.txt\n"
    u"请把缺少的材料文件夹放进“0-所有履职材料”里，再按“重新同步”。";

SummaryDialog failedRun(const Text& text) {
  return SummaryDialog{u"同步提示", u"同步完成：共 152 个目标，其中 2 项未能完成，详见下方【失败】。",
                   kEndNotes, text, true};
}

// Headline, notes, view and buttons top to bottom, retry left of OK, all
// inside the box and the box inside the work area.
void expectEndDialogLaidOut(const GtkProbeState& s) {
  expectWhollyInWorkArea(s);
  EXPECT_EQ(kEndNotes, s.messageNotes);
  EXPECT_TRUE(s.retryVisible);
  EXPECT_EQ(u"重新同步(R)", s.retryText);
  EXPECT_GE(s.retryX, 0);
  EXPECT_LE(s.retryX + s.retryWidth, s.okX);
  EXPECT_EQ(s.okY, s.retryY);
  EXPECT_GE(s.retryY, s.messageViewY + s.messageViewHeight);
  EXPECT_LE(s.retryY + s.retryHeight, s.messageHeight);
  EXPECT_GT(s.notesHeight, 0);
  EXPECT_LE(s.notesY + s.notesHeight, s.messageViewY);
  // Three note lines, the long one wrapped at the view's width.
  EXPECT_EQ(s.messageViewWidth, s.notesWidth);
  EXPECT_GE(s.notesHeight, 3 * 14);
}

TEST_F(GtkShellTest, EndDialogOffersAnotherGoBesideOk) {
  open(u"Varnelo");
  focusMainWindow(*this);
  GtkProbeState s = showEnd(failedRun(failureLines(2)));
  EXPECT_EQ(u"同步完成：共 152 个目标，其中 2 项未能完成，详见下方【失败】。", s.messageHeadline);
  expectEndDialogLaidOut(s);
  screenshot(*this, s, "summary-retry.png");
  ASSERT_TRUE(gtkProbePressRetry());
  EXPECT_EQ(kDialogRetry, dialogResult());

  // From the keyboard: Alt+R wherever the focus is in the box, or Tab from
  // the view on to the retry button and Enter there. Escape and Enter in the
  // view are "no other go", as is OK.
  const std::pair<const char*, int> keys[] = {{"alt+r", kDialogRetry},
                                              {"Tab Return", kDialogRetry},
                                              {"Escape", kDialogOk},
                                              {"Return", kDialogOk}};
  for (auto [key, answer] : keys) {
    SCOPED_TRACE(key);
    showEnd(failedRun(failureLines(2)));
    xTool(std::string("xdotool key --clearmodifiers ") + key);
    EXPECT_EQ(answer, dialogResult());
  }
  showEnd(failedRun(failureLines(2)));
  ASSERT_TRUE(gtkProbePressOk());
  EXPECT_EQ(kDialogOk, dialogResult());

  // A long summary with notes: the notes' height counts, so the box still
  // stops at two thirds of the work area, and a dialog without the offer
  // has OK alone.
  SummaryDialog longRun = failedRun(failureLines(3000));
  longRun.offerRetry = false;
  s = showEnd(longRun);
  expectWhollyInWorkArea(s);
  EXPECT_FALSE(s.retryVisible);
  EXPECT_EQ(kEndNotes, s.messageNotes);
  EXPECT_LE(s.messageHeight, 1024 * 2 / 3);
  EXPECT_GE(s.messageHeight, 1024 * 2 / 3 - 40);
  EXPECT_FALSE(s.lastLineVisible);
  ASSERT_TRUE(gtkProbePressOk());
  EXPECT_EQ(kDialogOk, dialogResult());
}

// What a taskbar reads: the urgency bit of the main window's WM_HINTS.
bool urgencyHintOnDisplay(GtkShellTest& test) {
  gtkProbeSettle();
  std::string hints = test.xTool("xprop -name Varnelo WM_HINTS");
  return hints.find("urgency hint bit is set") != std::string::npos;
}

// The user works in another program when the run ends: the main window asks
// for attention until the user turns to it, or until the box is answered.
TEST_F(GtkShellTest, EndDialogWhileAnotherWindowIsActiveMarksTheWindowUrgent) {
  open(u"Varnelo");
  EXPECT_FALSE(gtkProbeState().windowUrgent);
  focusElsewhere(*this);
  showEnd(failedRun(failureLines(2)));
  EXPECT_TRUE(gtkProbeState().windowUrgent);
  EXPECT_TRUE(urgencyHintOnDisplay(*this));
  focusMainWindow(*this);
  EXPECT_FALSE(gtkProbeState().windowUrgent);
  EXPECT_FALSE(urgencyHintOnDisplay(*this));
  ASSERT_TRUE(gtkProbePressOk());
  EXPECT_EQ(kDialogOk, dialogResult());

  focusElsewhere(*this);
  showEnd(failedRun(failureLines(2)));
  EXPECT_TRUE(gtkProbeState().windowUrgent);
  ASSERT_TRUE(gtkProbePressRetry());
  EXPECT_EQ(kDialogRetry, dialogResult());
  EXPECT_FALSE(gtkProbeState().windowUrgent);

  // In front, the box needs no such call.
  focusMainWindow(*this);
  showEnd(failedRun(failureLines(2)));
  EXPECT_FALSE(gtkProbeState().windowUrgent);
  ASSERT_TRUE(gtkProbePressOk());
  EXPECT_EQ(kDialogOk, dialogResult());
}

}  // namespace
