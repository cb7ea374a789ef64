// Times the log view as a sync run fills it: a worker adds path lines on top,
// one call each, while the GUI thread serves them. The same lines go through
// the console shell (to /dev/null) for comparison. For each size it prints
// the mean cost per line and the cost per line of the last tenth, which
// shows whether a line costs more once many are shown. Last, the time from
// asking for the summary box of a 20,000-line text until it is drawn.
//
//   tests/ui/with_xvfb.sh bench/log_view_bench [lines...]   (2000 5000 20000)

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/shell_gtk.h"
#include "ui/shell_ops.h"

namespace {

using Clock = std::chrono::steady_clock;

const ShellOps* ops = nullptr;
int lineCount = 0;
std::atomic<bool> done{false};
Clock::time_point started, tailStarted, finished;

Text lineText(int i) {
  return u"/srv/履职材料/2024年度考核/第" + intToText(i % 40) + u"组/人员" + intToText(i) +
         u"/季度考核材料/";
}

int addLines(int) {
  started = Clock::now();
  int tail = lineCount - lineCount / 10;
  for (int i = 0; i < lineCount; ++i) {
    if (i == tail) tailStarted = Clock::now();
    ops->addLogLine(0, lineText(i));
  }
  finished = Clock::now();
  done = true;
  ops->setWindowTitle(u"done");  // wakes the GUI thread
  return 0;
}

double micros(Clock::time_point from, Clock::time_point to, int lines) {
  return std::chrono::duration<double, std::micro>(to - from).count() / lines;
}

struct Result {
  double perLine, tailPerLine;
};

Result run(const ShellOps& shell, int lines) {
  ops = &shell;
  lineCount = lines;
  done = false;
  shell.openMainWindow(0, 0, 500, 400, u"Varnelo", 0xC80001);
  shell.createLogView(10, 10, 480, 380, 0x10000800);
  shell.startWorker(addLines, 0);
  while (!done) shell.waitEvent();
  shell.end();
  return {micros(started, finished, lines), micros(tailStarted, finished, lines - lines * 9 / 10)};
}

Text summaryText;
Clock::time_point summaryAsked;

int showLongSummary(int) {
  summaryAsked = Clock::now();
  gtkShellOps().showSummary(u"同步提示", u"同步完成：共 20000 个目标，全部成功。", summaryText);
  done = true;
  return 0;
}

// Seconds from the call until the box has drawn its text.
double summarySeconds(int lines) {
  summaryText = u"【同步完毕】同步内容：\r\n";
  for (int i = 0; i < lines; ++i)
    summaryText += u"【第" + intToText(i) + u"组】:" + lineText(i) + u"\r\n";
  done = false;
  gtkShellOps().openMainWindow(0, 0, 500, 400, u"Varnelo", 0xC80001);
  gtkShellOps().startWorker(showLongSummary, 0);
  while (!gtkShellMessageDrawn()) gtkShellOps().waitEvent();
  double seconds = std::chrono::duration<double>(Clock::now() - summaryAsked).count();
  gtkShellPressOk();
  while (!done) gtkShellOps().waitEvent();
  gtkShellOps().end();
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {2000, 5000, 20000};
  if (!gtkShellOps().init()) {
    std::fprintf(stderr, "log_view_bench: no display (run it under tests/ui/with_xvfb.sh)\n");
    return 1;
  }
  // The console writes to standard output; the report goes to standard error.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  consoleShellOps().init();
  std::fprintf(stderr, "%8s %14s %14s %14s %14s %7s\n", "lines", "gtk us/line", "gtk last 10%",
               "console us/ln", "console last", "ratio");
  for (int lines : sizes) {
    Result gtk = run(gtkShellOps(), lines);
    Result console = run(consoleShellOps(), lines);
    std::fprintf(stderr, "%8d %14.1f %14.1f %14.1f %14.1f %7.2f\n", lines, gtk.perLine,
                 gtk.tailPerLine, console.perLine, console.tailPerLine,
                 gtk.perLine / console.perLine);
  }
  std::fprintf(stderr, "summary box of 20000 lines drawn after %.3f s\n", summarySeconds(20000));
  return 0;
}
