#include "ui/shell_recording.h"

#include <mutex>
#include <thread>

#include "ui/shell.h"
#include "ui/worker_results.h"

namespace {

std::recursive_mutex lock;
Recording state;
std::vector<int> answers;
void (*beforeAnswer)(int) = nullptr;
WorkerResults workers;

}  // namespace

Recording& recording() {
  return state;
}

void resetRecording() {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state = Recording();
  answers.clear();
  beforeAnswer = nullptr;
}

void answerSummaries(std::vector<int> buttons, void (*before)(int)) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  answers = std::move(buttons);
  beforeAnswer = before;
}

void initWindowShell() {}

bool openRunWindow(const Text& title) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.windowOpen = state.runWindowMade = true;
  state.titles.push_back(title);
  return true;
}

void addLogLineOnTop(const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  if (state.runWindowMade) addLine(state.log, 0, text);
}

bool setWindowTitle(const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  if (!state.windowOpen) return false;
  state.titles.push_back(text);
  return true;
}

int showMessage(const Text& title, const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.messages.push_back({title, text, Text(), false, Text(), false});
  return 1;
}

void showProgress(double fraction, const Text& status, bool failed) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  if (state.runWindowMade) state.progress.push_back({fraction, status, failed});
}

void clearRun() {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.log = LogLines();
  state.progress.clear();
  ++state.runsCleared;
}

int showSummary(const SummaryDialog& dialog) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.messages.push_back(
      {dialog.title, dialog.text, dialog.headline, true, dialog.notes, dialog.offerRetry});
  if (answers.empty()) return kDialogOk;
  int button = answers.front();
  answers.erase(answers.begin());
  if (beforeAnswer != nullptr) beforeAnswer(static_cast<int>(state.messages.size()));
  return dialog.offerRetry ? button : kDialogOk;
}

// The recorded user closes the window as soon as asked for an event.
WindowEvent waitEvent() {
  return WindowEvent::kClose;
}

// Synchronous, so tests read the end state.
int startWorker(WorkerProcedure procedure, int argument) {
  int number = workers.add();
  std::thread([=] { workers.returned(number, procedure(argument)); }).join();
  return number;
}

std::optional<int> workerResult(int worker) {
  return workers.resultOf(worker);
}

void endWindowShell() {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.windowOpen = false;
}

int windowShellExitStatus(bool runFailed) {
  return runFailed ? 1 : 0;
}
