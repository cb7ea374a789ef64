#include "ui/shell_recording.h"

#include <mutex>
#include <thread>

#include "ui/shell.h"

namespace {

std::recursive_mutex lock;
Recording state;
bool logViewFails = false;
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

int showSummary(const Text& title, const Text& headline, const Text& text) {
  std::lock_guard<std::recursive_mutex> hold(lock);
  state.messages.push_back({title, text, headline, true});
  return 1;
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
