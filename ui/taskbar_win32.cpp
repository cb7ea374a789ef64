// The main window's taskbar button.
#include <windows.h>

#include "ui/shell_win32_state.h"

void taskbarButtonCreated() {}

void setTaskbarProgress(int, bool) {}

void clearTaskbarProgress() {}

void drawAttentionToMainWindow() {}

void releaseTaskbar() {}
