// Times the Win32 summary box under Wine: from the call until the box is
// shown for a summary of 2,000, 5,000 and 20,000 lines, and the log view's
// cost per line at 2,000, 5,000 and 20,000 lines (mean, and the last tenth).
// Under Wine the prefix needs a CJK font behind the dialog faces, as
// tests/windows/wine_dialog_test.sh sets up; without one every line goes
// through font fallback and the figures mean nothing.
//
//   wine summary_box_win32_bench.exe [box|log]

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "ui/shell.h"

namespace {

using Clock = std::chrono::steady_clock;

Text summaryText;
Clock::time_point asked;
volatile bool finished = false;

Text lineText(int i) {
  return u"/srv/履职材料/2024年度考核/第" + intToText(i % 40) + u"组/人员" + intToText(i) +
         u"/季度考核材料/";
}

int showLongSummary(int) {
  asked = Clock::now();
  showSummary(SummaryDialog{u"同步提示", u"同步完成：共 20000 个目标，全部成功。", Text(), summaryText});
  finished = true;
  return 0;
}

// Watches for the box from a thread of its own, since the GUI thread is in
// the box's loop; closes it once it is visible.
DWORD WINAPI watchBox(LPVOID seconds) {
  for (;;) {
    HWND box = FindWindowW(L"VarneloSummaryBox", nullptr);
    if (box != nullptr && IsWindowVisible(box)) {
      *static_cast<double*>(seconds) = std::chrono::duration<double>(Clock::now() - asked).count();
      PostMessageW(box, WM_CLOSE, 0, 0);
      return 0;
    }
    Sleep(1);
  }
}

double boxSeconds(int lines) {
  summaryText = u"【同步完毕】同步内容：\r\n";
  for (int i = 0; i < lines; ++i) summaryText += lineText(i) + u"\r\n";
  finished = false;
  double seconds = 0;
  HANDLE watcher = CreateThread(nullptr, 0, watchBox, &seconds, 0, nullptr);
  startWorker(showLongSummary, 0);
  while (!finished) waitEvent();
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  return seconds;
}

int lineCount = 0;
DWORD guiThread = 0;
Clock::time_point started, tailStarted, ended;

int addLines(int) {
  started = Clock::now();
  for (int i = 0; i < lineCount; ++i) {
    if (i == lineCount - lineCount / 10) tailStarted = Clock::now();
    addLogLineOnTop(lineText(i));
  }
  // The title puts in any lines still waiting, so they count too.
  setWindowTitle(u"done");
  ended = Clock::now();
  finished = true;
  PostThreadMessageW(guiThread, WM_NULL, 0, 0);  // ends the GUI thread's wait
  return 0;
}

double micros(Clock::time_point from, Clock::time_point to, int lines) {
  return std::chrono::duration<double, std::micro>(to - from).count() / lines;
}

}  // namespace

int main(int argc, char** argv) {
  bool box = argc < 2 || std::string(argv[1]) == "box";
  guiThread = GetCurrentThreadId();
  initWindowShell();
  openRunWindow(u"Varnelo");
  SetForegroundWindow(GetActiveWindow());
  for (int lines : {2000, 5000, 20000}) {
    if (!box) break;
    std::printf("summary box of %d lines shown after %.3f s\n", lines, boxSeconds(lines));
    std::fflush(stdout);
  }
  for (int lines : {2000, 5000, 20000}) {
    if (box) break;
    lineCount = lines;
    finished = false;
    startWorker(addLines, 0);
    while (!finished) waitEvent();
    std::printf("log view at %d lines: %.1f us per line, last tenth %.1f us per line\n", lines,
                micros(started, ended, lines), micros(tailStarted, ended, lines / 10));
    std::fflush(stdout);
    SetWindowTextW(GetDlgItem(FindWindowW(L"WindowClass_0", nullptr), 1), L"");
  }
  endWindowShell();
  return 0;
}
