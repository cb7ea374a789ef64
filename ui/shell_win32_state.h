#pragma once
// What the Win32 shell's files share: the window state and the calls one
// file makes into another. Everything here belongs to the GUI thread; the
// public calls in shell_win32.cpp bring other threads' work there.
#include <windows.h>

#include <string>
#include <vector>

#include "text/text.h"
#include "ui/run_window_layout.h"

struct ITaskbarList3;
struct SummaryDialog;

// Window handles are not cleared when the windows go: a call on a destroyed
// handle fails harmlessly, which keeps a late worker safe.
struct Shell {
  HINSTANCE instance = nullptr;
  DWORD guiThread = 0;
  int dpiX = 96;
  int dpiY = 96;
  HFONT font = nullptr;
  bool ownFont = false;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  bool oleReady = false;
  bool comReady = false;
  HWND eventWindow = nullptr;
  UINT wakeUpMessage = 0;
  int windowCount = 0;
  std::wstring windowClass;
  HWND mainWindow = nullptr;
  HACCEL accelerators = nullptr;
  std::vector<HMODULE> richEditLibraries;
  bool richEditLoaded = false;
  bool msftEdit = false;
  const wchar_t* richEditClass = L"RichEdit";
  HWND logView = nullptr;
  bool holdsOneEmptyLine = false;
  // Lines bound for the top of the log view, oldest first, and the tick
  // before which they wait.
  std::vector<Text> pendingTop;
  ULONGLONG nextFlush = 0;
  HWND progressBar = nullptr;
  HWND progressStatus = nullptr;
  Text progressText;  // what the status line shows
  bool progressFailed = false;
  // The taskbar button: the message Explorer sends once the button exists,
  // the interface that draws on it, and what it shows, kept to be shown
  // again when Explorer restarts and makes the button anew.
  UINT taskbarCreatedMessage = 0;
  ITaskbarList3* taskbar = nullptr;
  int taskbarState = 0;
  int taskbarValue = 0;
};

extern Shell shell;

// The one timer of the hidden event window.
constexpr UINT_PTR kLogFlushTimer = 1;
// Progress is counted in this many steps, by the bar and the taskbar button.
constexpr int kProgressSteps = 1000;

inline int scaleX(int value) {
  return MulDiv(value, shell.dpiX, 96);
}
inline int scaleY(int value) {
  return MulDiv(value, shell.dpiY, 96);
}
inline const wchar_t* wide(const Text& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
// A child control in the shell's font; null when it could not be made.
HWND createControl(HWND parent, const wchar_t* className, const Text& text, DWORD style,
                   DWORD exStyle, const RECT& place, int id, HFONT font);

// shell_win32.cpp
// The code of a close request in the event queue; the other events are the
// controls' notification codes, 0 to 0xFFFF.
constexpr int kCloseRequest = -1;
// Queues an event for waitEvent, unless it repeats the last one queued.
void queueEvent(int code, HWND window, HWND control, LPARAM data);

// main_window_win32.cpp
// The main window, centred, with the given client size in 1/96 inch.
bool openShellWindow(int width, int height, const Text& title);
void destroyMainWindow();

// log_view_win32.cpp
// Each of these opens its control in the main window: false when there is
// no main window, already such a control, or none could be made.
bool openLogView(const LayoutBox& place);
// Puts in the lines that wait for the top of the view.
void flushLogLines();
void insertLogLineOnTop(const Text& text);
void emptyLogView();
void releaseLogView();

// progress_win32.cpp
bool openProgressStrip(const LayoutBox& place);
void setProgress(int steps, const Text& status, bool failed);
void emptyProgressStrip();

// taskbar_win32.cpp
// Called when Explorer reports the main window's button, on start and again
// after Explorer restarts.
void taskbarButtonCreated();
void setTaskbarProgress(int steps, bool failed);
void clearTaskbarProgress();
// Flashes the main window's button until it comes to the front, when it is
// not in front already.
void drawAttentionToMainWindow();
void releaseTaskbar();

// summary_box_win32.cpp
// Shows the box and runs its modal loop: kDialogOk or kDialogRetry once
// dismissed, 0 when it could not be shown.
int runSummaryBox(HWND owner, const SummaryDialog& dialog);
void unregisterSummaryBox();
