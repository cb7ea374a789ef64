#pragma once
// The Linux program carries two realisations of the window shell: GTK, and the
// console for when no display can be opened. initWindowShell picks one and the
// operations of ui/shell.h go through its table.

#include "ui/shell.h"

struct ShellOps {
  // False when this realisation cannot run here (for GTK: no display).
  bool (*init)();
  bool (*openRunWindow)(const Text& title);
  void (*addLogLineOnTop)(const Text& text);
  bool (*setWindowTitle)(const Text& text);
  int (*showMessage)(const Text& title, const Text& text);
  void (*showProgress)(double fraction, const Text& status, bool failed);
  void (*clearRun)();
  int (*showSummary)(const SummaryDialog& dialog);
  WindowEvent (*waitEvent)();
  int (*startWorker)(WorkerProcedure procedure, int argument);
  std::optional<int> (*workerResult)(int worker);
  void (*end)();
  int (*exitStatus)(bool runFailed);
};

const ShellOps& gtkShellOps();
const ShellOps& consoleShellOps();
