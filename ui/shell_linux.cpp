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

bool openRunWindow(const Text& title) {
  return active->openRunWindow(title);
}
void addLogLineOnTop(const Text& text) {
  active->addLogLineOnTop(text);
}
bool setWindowTitle(const Text& text) {
  return active->setWindowTitle(text);
}
int showMessage(const Text& title, const Text& text) {
  return active->showMessage(title, text);
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
WindowEvent waitEvent() {
  return active->waitEvent();
}
int startWorker(WorkerProcedure procedure, int argument) {
  return active->startWorker(procedure, argument);
}
std::optional<int> workerResult(int worker) {
  return active->workerResult(worker);
}
void endWindowShell() {
  active->end();
}
int windowShellExitStatus(bool runFailed) {
  return active->exitStatus(runFailed);
}
