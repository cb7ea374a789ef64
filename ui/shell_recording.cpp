#include "ui/shell_recording.h"

#include <mutex>
#include <thread>

#include "ui/shell.h"

namespace {

std::recursive_mutex lock;
Recording state;
bool logViewFails = false;
std::vector<int> answers;
void (*beforeAnswer)(int) = nullptr;
int workers = 0;
bool closeRequested = false;

}  // namespace

Recording& recording() {
  return state;
}

void resetRecording() {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state = Recording();
  logViewFails = false;
  closeRequested = false;
  answers.clear();
  beforeAnswer = nullptr;
}

void answerSummaries(std::vector<int> buttons, void (*before)(int)) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  answers = std::move(buttons);
  beforeAnswer = before;
}

void failNextLogView() {
  logViewFails = true;
}

void initWindowShell() {}

bool openMainWindow(int, int, int, int, const Text& title, int) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.windowOpen = true;
  state.titles.push_back(title);
  return true;
}

int createLogView(int, int, int, int, int) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.logViewExists = !logViewFails;
  logViewFails = false;
  return state.logViewExists ? 1 : 0;
}

int addLogLine(int position, const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  if (state.logViewExists) addLine(state.log, position, text);
  return 0;
}

bool setWindowTitle(const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  if (!state.windowOpen) return false;
  state.titles.push_back(text);
  return true;
}

int showMessage(const Text& title, const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.messages.push_back({title, text, Text(), false});
  return 1;
}

int createProgressStrip(int, int, int, int) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.progressStripExists = state.windowOpen;
  return state.progressStripExists ? 1 : 0;
}

void showProgress(double fraction, const Text& status, bool failed) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  if (state.progressStripExists) state.progress.push_back({fraction, status, failed});
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
int waitEvent() {
  closeRequested = true;
  return kCloseWindowEvent;
}

int startWorker(WorkerProcedure procedure, int argument) {
  std::thread(procedure, argument).join();  // synchronous, so tests read the end state
  return ++workers;
}

void endWindowShell() {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.windowOpen = false;
}

int windowShellExitStatus(bool runFailed) {
  return runFailed ? 1 : 0;
}
