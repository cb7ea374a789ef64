#pragma once
// The one run window that the Win32 shell tests share, opened as the program
// opens its own: a 500 × 446 client, the log view at (10,10) 480 × 380 and
// the progress strip at (10,398) 480 × 38. The shell keeps one
// main window per process, so the tests take turns with it; each empties it
// with clearRun first.
#include <windows.h>

#include <atomic>

HWND testMainWindow();
// The controls' ids in the main window.
constexpr int kTestLogViewId = 1;
constexpr int kTestProgressBarId = 2;
// Handles the GUI thread's messages until done is set (by a worker).
void pumpUntil(const std::atomic<bool>& done);
// The end box once it is shown, waiting up to ten seconds; null after that.
// For a thread other than the GUI thread, which is busy in the box's loop.
HWND waitForShownBox();
