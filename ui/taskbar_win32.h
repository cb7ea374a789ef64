#pragma once
// What the shell asks of the main window's taskbar button, for tests to see
// where there is no taskbar to look at (Wine). The program leaves the probe
// null; a test sets it before the first call it wants to see.

constexpr int kTaskbarProgressState = 1;  // value: the TBPF_ state
constexpr int kTaskbarProgressValue = 2;  // value: steps out of 1000
constexpr int kTaskbarFlash = 3;          // value: 1

using TaskbarProbe = void (*)(int call, int value);
// Called on the GUI thread, whether or not the button could be reached.
extern TaskbarProbe taskbarProbe;
