// The shell used when no display can be opened: everything the window would
// show goes to standard output as UTF-8 lines, read top down.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "ui/shell_ops.h"
#include "ui/steady_wait.h"
#include "ui/worker_results.h"

// A named namespace: the operations share their names with ui/shell.h.
namespace console {
namespace {

std::mutex outputLock;  // keeps the lines of the two threads whole
std::mutex stateLock;
std::condition_variable stateChanged;
bool runReturned = false;
WorkerResults workers;
volatile sig_atomic_t interruptSignal = 0;
// The status line goes to standard error only when a person watches it
// there; a log file or a pipe gets nothing of it.
bool statusOnTerminal = false;
bool statusShown = false;  // a status line stands on the terminal now

// Takes the status line off the terminal, so the next line of standard
// output starts at the left edge of a clean line. Under outputLock.
void eraseStatus() {
  if (!statusShown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  statusShown = false;
}

void onInterrupt(int signal) {
  interruptSignal = signal;
}

void printLine(const Text& text) {
  std::lock_guard<std::mutex> hold(outputLock);
  eraseStatus();
  std::string line = toUtf8(text);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool init() {
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  statusOnTerminal = isatty(STDERR_FILENO) == 1;
  return true;
}

bool openRunWindow(const Text&) {
  return true;
}

// Read top down, the terminal shows the lines in the order the run adds
// them, which is what the window's newest line on top shows bottom up.
void addLogLineOnTop(const Text& text) {
  printLine(text);
}

bool setWindowTitle(const Text& text) {
  printLine(text);
  return true;
}

int showMessage(const Text& title, const Text& text) {
  printLine(title + u"\n" + replaceAll(text, u"\r\n", u"\n"));
  return 1;
}

// Rewritten in place: one line that never scrolls the log away.
void showProgress(double, const Text& status, bool) {
  if (!statusOnTerminal) return;
  std::lock_guard<std::mutex> hold(outputLock);
  std::string line = toUtf8(status);
  std::fputs("\r\033[K", stderr);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  statusShown = true;
}

void clearRun() {
  std::lock_guard<std::mutex> hold(outputLock);
  eraseStatus();
}

// A terminal shows the summary as it showed every message before: the
// headline and notes only repeat what the text's sections say, and nobody
// can press a button there.
int showSummary(const SummaryDialog& dialog) {
  showMessage(dialog.title, dialog.text);
  return kDialogOk;
}

// The terminal has no window to close: the run's end or an interruption
// closes it.
WindowEvent waitEvent() {
  std::unique_lock<std::mutex> hold(stateLock);
  // Signals do not wake a condition variable, so the wait looks again at
  // short intervals.
  while (!runReturned && interruptSignal == 0)
    steady_wait::waitOnce(stateChanged, hold, std::chrono::milliseconds(50));
  return WindowEvent::kClose;
}

int startWorker(WorkerProcedure procedure, int argument) {
  int number = workers.add();
  std::thread worker([procedure, argument, number] {
    workers.returned(number, procedure(argument));
    std::lock_guard<std::mutex> hold(stateLock);
    runReturned = true;
    stateChanged.notify_all();
  });
  worker.detach();
  return number;
}

std::optional<int> workerResult(int worker) {
  return workers.resultOf(worker);
}

void end() {
  {
    std::lock_guard<std::mutex> hold(outputLock);
    eraseStatus();
  }
  std::fflush(stdout);
}

int exitStatus(bool runFailed) {
  if (interruptSignal != 0) return 130;
  return runFailed ? 1 : 0;
}

}  // namespace
}  // namespace console

const ShellOps& consoleShellOps() {
  static const ShellOps ops = {
      console::init,           console::openRunWindow, console::addLogLineOnTop,
      console::setWindowTitle, console::showMessage,   console::showProgress,
      console::clearRun,       console::showSummary,   console::waitEvent,
      console::startWorker,    console::workerResult,  console::end,
      console::exitStatus};
  return ops;
}
