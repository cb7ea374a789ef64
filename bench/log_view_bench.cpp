// What a log line costs in the window, against the console shell in the same
// run. A worker thread adds lines at the top while the GUI thread serves the
// window, as during a sync run; the figures are the mean cost per line over
// the first N lines and the cost per line of the last tenth of them, which
// stays flat when a line's cost does not depend on the lines already shown.
//
//   tests/ui/with_xvfb.sh build/bench/log_view_bench [--lines] [N...]   (2000 5000 20000)
//
// Then it runs the program itself on a generated table of 5,000
// destinations, once in the window (until the title reports the end) and
// once without a display, and last times the summary box of a 20,000-line
// text from the call until its text is drawn. --lines leaves out both.
// The Win32 view and box are measured by summary_box_win32_bench.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_workbook.h"
#include "text/text.h"
#include "ui/gtk_probe.h"
#include "ui/shell.h"
#include "ui/shell_ops.h"
#include "workbook/workbook.h"

namespace {

using Clock = std::chrono::steady_clock;

// A destination as the run logs it: long enough to wrap in the view.
Text destinationLine(int i) {
  return u"/home/综合办公室/履职材料同步/2024年度考核第" + intToText(i % 12 + 1) + u"组/人员" +
         intToText(i) + u"的一季度述职报告与个人总结材料/";
}

// Processor time of the whole process, both threads: unlike the elapsed
// time it barely moves when other programs share the machine.
double processorSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

struct Series {
  // After line i: seconds elapsed and processor seconds used since the start.
  std::vector<double> elapsed, processor;
  static double perLine(const std::vector<double>& s, int from, int to) {
    return (s[to] - s[from]) / (to - from) * 1e6;
  }
  int lastTenth(int n) const { return n - n / 10; }
};

// Adds count lines on top through add, timing each.
Series addLines(int count, void (*add)(const Text&)) {
  Series series;
  series.elapsed.assign(count + 1, 0.0);
  series.processor.assign(count + 1, 0.0);
  std::vector<Text> lines;
  lines.reserve(count);
  for (int i = 1; i <= count; ++i) lines.push_back(destinationLine(i));
  Clock::time_point start = Clock::now();
  double startProcessor = processorSeconds();
  for (int i = 1; i <= count; ++i) {
    add(lines[i - 1]);
    series.elapsed[i] = std::chrono::duration<double>(Clock::now() - start).count();
    series.processor[i] = processorSeconds() - startProcessor;
  }
  return series;
}

// Microseconds a line: elapsed / processor, over all N lines and over the
// last tenth of them.
void printFigures(const Series& s, int n) {
  int from = s.lastTenth(n);
  std::printf("%7.1f/%6.1f  last tenth %7.1f/%6.1f", Series::perLine(s.elapsed, 0, n),
              Series::perLine(s.processor, 0, n), Series::perLine(s.elapsed, from, n),
              Series::perLine(s.processor, from, n));
}

std::vector<int> countsFrom(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i)
    if (int n = std::atoi(argv[i]); n >= 10) counts.push_back(n);
  if (counts.empty()) counts = {2000, 5000, 20000};
  std::sort(counts.begin(), counts.end());
  return counts;
}

void printSeries(const char* name, const Series& view, const char* referenceName,
                 const Series& reference, const std::vector<int>& counts) {
  std::printf("microseconds a line, elapsed/processor, mean over N and over its last tenth:\n");
  for (int n : counts) {
    std::printf("  N=%6d  %-8s ", n, name);
    printFigures(view, n);
    std::printf("\n            %-8s ", referenceName);
    printFigures(reference, n);
    std::printf("\n            ratio    %5.1fx / %5.1fx (mean, elapsed/processor)\n",
                Series::perLine(view.elapsed, 0, n) / Series::perLine(reference.elapsed, 0, n),
                Series::perLine(view.processor, 0, n) / Series::perLine(reference.processor, 0, n));
  }
}

// --lines: only the view's lines, not the whole program.
bool linesOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--lines") return true;
  return false;
}

// The window's lines: the worker adds them while this thread waits for
// events, and a wake-up of the GUI thread's main context ends the wait.
Series windowSeries(const ShellOps& ops, int count) {
  static const ShellOps* active;
  active = &ops;
  ops.openRunWindow(u"Varnelo");
  std::atomic<bool> finished{false};
  Series series;
  std::thread worker([&] {
    series = addLines(count, [](const Text& text) { active->addLogLineOnTop(text); });
    finished = true;
    g_main_context_wakeup(nullptr);
  });
  while (!finished) ops.waitEvent();
  worker.join();
  ops.end();
  return series;
}

// The console writes each line to standard output; here that is /dev/null,
// while the figures go to the real output afterwards.
Series consoleSeries(int count) {
  std::fflush(stdout);
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  close(null);
  Series series = addLines(count, consoleShellOps().addLogLineOnTop);
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  return series;
}

// ---- The whole program on a generated table ----

namespace fs = std::filesystem;

constexpr int kGroups = 10;
constexpr int kItemsPerCell = 5;

std::string columnLetters(int column) {
  return toUtf8(ColumnLetters(column));
}

// kGroups groups, one entry per row, each cell naming kItemsPerCell
// sub-folders of its own, so that every destination is a folder of its own.
bool writeTable(const fs::path& folder, int destinations) {
  int rows = std::max(1, destinations / (kGroups * kItemsPerCell));
  std::string strings = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst>";
  std::string sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet><sheetData><row r=\"2\">";
  int index = 0;
  for (int g = 0; g < kGroups; ++g) {
    strings += "<si><t>考核第" + std::to_string(g + 1) + "组</t></si>";
    sheet +=
        "<c r=\"" + columnLetters(4 + g) + "2\" t=\"s\"><v>" + std::to_string(index++) + "</v></c>";
  }
  sheet += "</row>";
  for (int r = 0; r < rows; ++r) {
    std::string name = "人员" + std::to_string(r);
    fs::create_directories(folder / "0-所有履职材料" / name);
    std::FILE* material =
        std::fopen((folder / "0-所有履职材料" / name / "述职报告.txt").c_str(), "wb");
    if (!material) return false;
    std::fputs("一季度述职报告\n", material);
    std::fclose(material);
    std::string items;
    for (int k = 0; k < kItemsPerCell; ++k)
      items += (k ? "," : "") + name + "第" + std::to_string(k + 1) + "季度";
    strings += "<si><t>" + name + "</t></si><si><t>" + items + "</t></si>";
    std::string row = std::to_string(r + 3);
    sheet += "<row r=\"" + row + "\"><c r=\"C" + row + "\" t=\"s\"><v>" + std::to_string(index) +
             "</v></c>";
    for (int g = 0; g < kGroups; ++g)
      sheet += "<c r=\"" + columnLetters(4 + g) + row + "\" t=\"s\"><v>" +
               std::to_string(index + 1) + "</v></c>";
    sheet += "</row>";
    index += 2;
  }
  strings += "</sst>";
  sheet += "</sheetData></worksheet>";
  fs::path table = folder / "0-所有履职材料" / "履职材料同步关系表.xlsx";
  return WriteWorkbookFile(table.c_str(), strings, sheet);
}

// A folder holding a copy of the program and the generated table.
fs::path prepareFolder(int destinations) {
  char pattern[] = "/tmp/varnelo-logbench-XXXXXX";
  if (!mkdtemp(pattern)) return fs::path();
  fs::path folder = pattern;
  fs::copy_file(VARNELO_PROGRAM, folder / "varnelo");
  if (!writeTable(folder, destinations)) return fs::path();
  return folder;
}

bool hasTitle(Display* display, Window window, Atom property, Atom type, const std::string& title) {
  Atom actualType;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format,
                         &count, &after, &data) != Success ||
      !data)
    return false;
  bool same = std::string(reinterpret_cast<char*>(data), count) == title;
  XFree(data);
  return same;
}

// Polls the display's top-level windows until one carries the title.
bool waitForTitle(Display* display, const std::string& title, double limitSeconds) {
  Atom name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Clock::time_point start = Clock::now();
  while (std::chrono::duration<double>(Clock::now() - start).count() < limitSeconds) {
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    bool found = false;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && !found; ++i)
        found = hasTitle(display, children[i], name, utf8, title);
      if (children) XFree(children);
    }
    if (found) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

struct ProgramTimes {
  double elapsed = -1;  // negative when the run failed
  double processor = 0;
};

double seconds(const timeval& t) {
  return t.tv_sec + t.tv_usec * 1e-6;
}

// Seconds from the start of the program until its run has ended, and the
// processor time it used: the window program's title tells the end (its
// summary then waits for the user, so it is stopped), the console program
// ends by itself.
ProgramTimes runProgram(int destinations, Display* display) {
  ProgramTimes times;
  fs::path folder = prepareFolder(destinations);
  if (folder.empty()) return times;
  std::string program = (folder / "varnelo").string();
  Clock::time_point start = Clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    if (!display) unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (child > 0) {
    bool ended = true;
    double elapsed = 0;
    if (display) {
      ended = waitForTitle(display, "Varnelo-完成", 600);
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      kill(child, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!display) elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (ended) times = {elapsed, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return times;
}

void wholeProgram(int n) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  int destinations = std::max(1, n / (kGroups * kItemsPerCell)) * kGroups * kItemsPerCell;
  ProgramTimes console = runProgram(destinations, nullptr);
  ProgramTimes window = runProgram(destinations, display);
  XCloseDisplay(display);
  std::printf("the program on a table of N destinations, window against console:\n");
  if (console.elapsed <= 0 || window.elapsed <= 0) {
    std::printf("  N=%6d  a run failed\n", destinations);
    return;
  }
  std::printf(
      "  N=%6d  elapsed   window %7.3f s vs console %7.3f s (%5.1fx)\n"
      "            processor window %7.3f s vs console %7.3f s (%5.1fx)\n",
      destinations, window.elapsed, console.elapsed, window.elapsed / console.elapsed,
      window.processor, console.processor, window.processor / console.processor);
}

// ---- The summary box ----

Text summaryText;
Clock::time_point summaryAsked;
std::atomic<bool> summaryClosed{false};

int showLongSummary(int) {
  summaryAsked = Clock::now();
  gtkShellOps().showSummary(SummaryDialog{u"同步提示", u"同步完成：共 20000 个目标，全部成功。", Text(), summaryText});
  summaryClosed = true;
  return 0;
}

// Seconds from the call until the box has drawn its text.
double summarySeconds(int lines) {
  summaryText = u"【同步完毕】同步内容：\r\n";
  for (int i = 0; i < lines; ++i)
    summaryText += u"【第" + intToText(i % 12 + 1) + u"组】:" + destinationLine(i) + u"\r\n";
  summaryClosed = false;
  const ShellOps& ops = gtkShellOps();
  ops.openRunWindow(u"Varnelo");
  ops.startWorker(showLongSummary, 0);
  while (!gtkProbeMessageDrawn()) ops.waitEvent();
  double seconds = std::chrono::duration<double>(Clock::now() - summaryAsked).count();
  gtkProbePressOk();
  while (!summaryClosed) ops.waitEvent();
  ops.end();
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
  std::vector<int> counts = countsFrom(argc, argv);
  Series console = consoleSeries(counts.back());
  const ShellOps& gtk = gtkShellOps();
  if (!gtk.init()) {
    std::printf("no display: only the console was measured (run through tests/ui/with_xvfb.sh)\n");
    return 0;
  }
  Series window = windowSeries(gtk, counts.back());
  printSeries("GTK view", window, "console", console, counts);
  if (linesOnly(argc, argv)) return 0;
  wholeProgram(5000);
  std::printf("summary box of 20000 lines drawn after %.3f s\n", summarySeconds(20000));
  return 0;
}
