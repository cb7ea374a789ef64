#include "ui/shell_ops.h"

namespace {
const ShellOps* active = nullptr;
}

void initWindowShell() {
  active = &gtkShellOps();
  if (active->init()) return;
  active = &consoleShellOps();
  active->init();
}

bool openMainWindow(int x, int y, int width, int height, const Text& title, int options) {
  return active->openMainWindow(x, y, width, height, title, options);
}
int createLogView(int x, int y, int width, int height, int options) {
  return active->createLogView(x, y, width, height, options);
}
int addLogLine(int position, const Text& text) {
  return active->addLogLine(position, text);
}
bool setWindowTitle(const Text& text) {
  return active->setWindowTitle(text);
}
int showMessage(const Text& title, const Text& text) {
  return active->showMessage(title, text);
}
int createProgressStrip(int x, int y, int width, int height) {
  return active->createProgressStrip(x, y, width, height);
}
void showProgress(double fraction, const Text& status, bool failed) {
  active->showProgress(fraction, status, failed);
}
void clearRun() {
  active->clearRun();
}
int showSummary(const SummaryDialog& dialog) {
  return active->showSummary(dialog);
}
int waitEvent() {
  return active->waitEvent();
}
int startWorker(WorkerProcedure procedure, int argument) {
  return active->startWorker(procedure, argument);
}
void endWindowShell() {
  active->end();
}
int windowShellExitStatus(bool runFailed) {
  return active->exitStatus(runFailed);
}
