// The main window's taskbar button: the run's progress drawn on it, red once
// something failed, and a flash when the run ends behind another window.
// ITaskbarList3 came with Windows 7; on a system without it, or before
// Explorer has made the button, the calls only record what the button should
// show.
#include <windows.h>
// After windows.h, which they build on.
#include <shobjidl.h>

#include "ui/shell_win32_state.h"
#include "ui/taskbar_win32.h"

TaskbarProbe taskbarProbe = nullptr;

namespace {

void report(int call, int value) {
  if (taskbarProbe != nullptr) taskbarProbe(call, value);
}

void sendState() {
  report(kTaskbarProgressState, shell.taskbarState);
  if (shell.taskbar != nullptr)
    shell.taskbar->SetProgressState(shell.mainWindow, static_cast<TBPFLAG>(shell.taskbarState));
}

// In the error state the value keeps the button red; in the no-progress
// state it would turn the button green again, so it is not sent there.
void sendValue() {
  if (shell.taskbarState == TBPF_NOPROGRESS) return;
  report(kTaskbarProgressValue, shell.taskbarValue);
  if (shell.taskbar != nullptr)
    shell.taskbar->SetProgressValue(shell.mainWindow, static_cast<ULONGLONG>(shell.taskbarValue),
                                    kProgressSteps);
}

// COM is ready on the GUI thread since initWindowShell. Null where the
// system has no taskbar list.
ITaskbarList3* newTaskbarList() {
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&list))))
    return nullptr;
  if (SUCCEEDED(list->HrInit())) return list;
  list->Release();
  return nullptr;
}

}  // namespace

// A restarted Explorer makes a new button and sends the message again: the
// new button then shows what the old one showed.
void taskbarButtonCreated() {
  releaseTaskbar();
  shell.taskbar = newTaskbarList();
  if (shell.taskbarState == TBPF_NOPROGRESS) return;
  sendState();
  sendValue();
}

void setTaskbarProgress(int steps, bool failed) {
  int state = failed ? TBPF_ERROR : TBPF_NORMAL;
  bool stateChanged = state != shell.taskbarState;
  if (stateChanged) {
    shell.taskbarState = state;
    sendState();
  }
  if (stateChanged || steps != shell.taskbarValue) {
    shell.taskbarValue = steps;
    sendValue();
  }
}

void clearTaskbarProgress() {
  shell.taskbarValue = 0;
  if (shell.taskbarState == TBPF_NOPROGRESS) return;
  shell.taskbarState = TBPF_NOPROGRESS;
  sendState();
}

// A user who went to another program while the run worked learns that it
// ended from the flashing button, which stops once the window is in front.
void drawAttentionToMainWindow() {
  HWND main = shell.mainWindow;
  if (main == nullptr || !IsWindow(main) || GetForegroundWindow() == main) return;
  FLASHWINFO flash{};
  flash.cbSize = sizeof flash;
  flash.hwnd = main;
  flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
  FlashWindowEx(&flash);
  report(kTaskbarFlash, 1);
}

void releaseTaskbar() {
  if (shell.taskbar != nullptr) shell.taskbar->Release();
  shell.taskbar = nullptr;
}
