// The Win32 shell's start and end, the event queue that waitEvent reads, the
// hidden window through which other threads hand work to the GUI thread, and
// the worker threads. The windows themselves live in the other *_win32.cpp
// files of ui/.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

#include <cmath>
#include <deque>
#include <new>
#include <vector>

#include "ui/shell.h"
#include "ui/shell_win32_state.h"
#include "ui/worker_results.h"

Shell shell;

namespace {

constexpr int kProgramIcon = 1;
// Asks the hidden event window to run a GuiCall on the GUI thread.
constexpr UINT kGuiCallMessage = WM_APP + 1;
// NONCLIENTMETRICSW without the padded border width that Vista added, so that
// the query succeeds on every version.
constexpr UINT kNonClientMetricsSize = 500;
const wchar_t kEventWindowClass[] = L"PostEventClass";
const wchar_t kWakeUpMessageName[] = L"Varnelo.WakeUp";

struct Event {
  int code;
  HWND window;
  HWND control;
  LPARAM data;
  bool operator==(const Event& other) const {
    return code == other.code && window == other.window && control == other.control &&
           data == other.data;
  }
};

struct WorkerStart {
  WorkerProcedure procedure;
  int argument;
  int number;
};

// A piece of window work that another thread hands to the GUI thread.
struct GuiCall {
  void (*run)(void* work);
  void* work;
};

CRITICAL_SECTION eventLock;
std::deque<Event> events;
CRITICAL_SECTION workerLock;
std::vector<HANDLE> workerThreads;
WorkerResults workers;

bool takeEvent(Event* event) {
  EnterCriticalSection(&eventLock);
  bool any = !events.empty();
  if (any) {
    *event = events.front();
    events.pop_front();
  }
  LeaveCriticalSection(&eventLock);
  return any;
}

// Runs work on the GUI thread and returns once it is done. A sent message is
// handled by the GUI thread inside GetMessageW, so calls from the worker take
// effect one by one, in the order it makes them.
template <typename Work>
void runOnGuiThread(Work& work) {
  if (GetCurrentThreadId() == shell.guiThread) {
    work();
    return;
  }
  GuiCall call{[](void* w) { (*static_cast<Work*>(w))(); }, &work};
  SendMessageW(shell.eventWindow, kGuiCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

LRESULT CALLBACK eventWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kLogFlushTimer) {
    flushLogLines();
    return 0;
  }
  if (message == kGuiCallMessage) {
    auto* call = reinterpret_cast<GuiCall*>(lParam);
    call->run(call->work);
    return 0;
  }
  if (message == shell.wakeUpMessage) return 0;  // only there to end a GetMessageW
  return DefWindowProcW(window, message, wParam, lParam);
}

void readDisplayScale() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return;
  shell.dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  shell.dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
}

void chooseDefaultFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = kNonClientMetricsSize;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0))
    shell.font = CreateFontIndirectW(&metrics.lfMessageFont);
  shell.ownFont = shell.font != nullptr;
  if (shell.font == nullptr) shell.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void createEventWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = eventWindowProcedure;
  windowClass.hInstance = shell.instance;
  windowClass.lpszClassName = kEventWindowClass;
  RegisterClassW(&windowClass);
  shell.eventWindow = CreateWindowExW(0, kEventWindowClass, L"", WS_CAPTION, 0, 0, 1, 1, nullptr,
                                      nullptr, shell.instance, nullptr);
  shell.wakeUpMessage = RegisterWindowMessageW(kWakeUpMessageName);
}

// The box goes to the foreground window when it is one of ours; another
// program's window must not be blocked by it.
HWND messageOwner() {
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (foreground != nullptr) GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

int showBox(const SummaryDialog& dialog, bool drawAttention) {
  // Decided on the calling thread, as a message box would: the box is modal
  // to the main window only while that window is the foreground one.
  HWND owner = messageOwner();
  int result = 0;
  auto work = [&] {
    flushLogLines();
    if (drawAttention) drawAttentionToMainWindow();
    result = runSummaryBox(owner, dialog);
  };
  runOnGuiThread(work);
  return result;
}

DWORD WINAPI workerEntry(LPVOID data) {
  WorkerStart start = *static_cast<WorkerStart*>(data);
  delete static_cast<WorkerStart*>(data);
  workers.returned(start.number, start.procedure(start.argument));
  return 0;
}

void closeFinishedWorkers() {
  for (size_t i = 0; i < workerThreads.size();) {
    if (WaitForSingleObject(workerThreads[i], 0) == WAIT_OBJECT_0) {
      CloseHandle(workerThreads[i]);
      workerThreads.erase(workerThreads.begin() + i);
    } else {
      ++i;
    }
  }
}

// The common controls are loaded here rather than imported: an import is
// loaded before the program's first line, and with it the libraries the
// controls load in turn, looked for in the program's folder first. Loaded
// now, after restrictLibrarySearch (fs/system_library_win32.h), they come,
// by the manifest, from the side-by-side store, and what they load from the
// system folder.
void initCommonControls() {
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE library = LoadLibraryW(L"comctl32.dll");
  if (library == nullptr) return;
  auto init = reinterpret_cast<InitFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "InitCommonControlsEx")));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  if (init != nullptr) init(&controls);
}

}  // namespace

void queueEvent(int code, HWND window, HWND control, LPARAM data) {
  Event event{code, window, control, data};
  EnterCriticalSection(&eventLock);
  if (events.empty() || !(events.back() == event)) events.push_back(event);
  LeaveCriticalSection(&eventLock);
}

HWND createControl(HWND parent, const wchar_t* className, const Text& text, DWORD style,
                   DWORD exStyle, const RECT& place, int id, HFONT font) {
  HWND control =
      CreateWindowExW(exStyle, className, wide(text), WS_CHILD | WS_VISIBLE | style, place.left,
                      place.top, place.right - place.left, place.bottom - place.top, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), shell.instance, nullptr);
  if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void initWindowShell() {
  shell.instance = GetModuleHandleW(nullptr);
  shell.guiThread = GetCurrentThreadId();
  InitializeCriticalSection(&eventLock);
  InitializeCriticalSection(&workerLock);
  readDisplayScale();
  chooseDefaultFont();
  shell.oleReady = SUCCEEDED(OleInitialize(nullptr));
  shell.comReady = SUCCEEDED(CoInitialize(nullptr));
  initCommonControls();
  createEventWindow();
  shell.icon = LoadIconW(shell.instance, MAKEINTRESOURCEW(kProgramIcon));
  shell.cursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
}

// A view or strip that cannot be made leaves the window without it, as the
// run's calls then do nothing there.
bool openRunWindow(const Text& title) {
  if (!openShellWindow(kRunWindowWidth, kRunWindowHeight, title)) return false;
  openLogView(kLogViewBox);
  openProgressStrip(kProgressStripBox);
  return true;
}

void addLogLineOnTop(const Text& text) {
  auto work = [&] { insertLogLineOnTop(text); };
  runOnGuiThread(work);
}

bool setWindowTitle(const Text& text) {
  bool done = false;
  auto work = [&] {
    flushLogLines();
    done = shell.mainWindow != nullptr && SetWindowTextW(shell.mainWindow, wide(text));
  };
  runOnGuiThread(work);
  return done;
}

void showProgress(double fraction, const Text& status, bool failed) {
  // NaN fails both comparisons and counts as nothing done.
  double shown = fraction > 1 ? 1 : fraction > 0 ? fraction : 0;
  int steps = static_cast<int>(std::lround(shown * kProgressSteps));
  auto work = [&] {
    setProgress(steps, status, failed);
    setTaskbarProgress(steps, failed);
  };
  runOnGuiThread(work);
}

void clearRun() {
  auto work = [&] {
    emptyLogView();
    emptyProgressStrip();
    clearTaskbarProgress();
  };
  runOnGuiThread(work);
}

int showSummary(const SummaryDialog& dialog) {
  return showBox(dialog, true);
}

// Any message may be long, so it takes the same box, without a headline.
int showMessage(const Text& title, const Text& text) {
  SummaryDialog message{title, Text(), Text(), text, false};
  return showBox(message, false);
}

WindowEvent waitEvent() {
  Event event;
  if (takeEvent(&event))
    return event.code == kCloseRequest ? WindowEvent::kClose : WindowEvent::kOther;
  MSG message;
  BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got == 0 || got == -1) return WindowEvent::kClose;  // WM_QUIT, or no queue to read
  HWND active = GetActiveWindow();
  bool accelerated = shell.accelerators != nullptr && active == shell.mainWindow &&
                     TranslateAcceleratorW(active, shell.accelerators, &message);
  if (!accelerated) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return WindowEvent::kOther;
}

int startWorker(WorkerProcedure procedure, int argument) {
  auto* start = new (std::nothrow) WorkerStart{procedure, argument, workers.add()};
  if (start == nullptr) return 0;
  int number = start->number;
  // Commit one page; the stack grows up to the program's reserve as needed.
  HANDLE thread = CreateThread(nullptr, 4096, workerEntry, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return 0;
  }
  EnterCriticalSection(&workerLock);
  closeFinishedWorkers();
  workerThreads.push_back(thread);
  LeaveCriticalSection(&workerLock);
  return number;
}

std::optional<int> workerResult(int worker) {
  return workers.resultOf(worker);
}

// The worker may still be running: nothing it could touch is freed, only the
// windows are destroyed, after which its calls fail harmlessly.
void endWindowShell() {
  flushLogLines();
  releaseTaskbar();
  releaseLogView();
  destroyMainWindow();
  if (shell.eventWindow != nullptr) DestroyWindow(shell.eventWindow);
  unregisterSummaryBox();
  UnregisterClassW(kEventWindowClass, shell.instance);
  if (shell.ownFont) DeleteObject(shell.font);
  // The icon and cursor came from LoadIconW and LoadCursorW: shared, not destroyed.
  EnterCriticalSection(&workerLock);
  for (HANDLE thread : workerThreads) CloseHandle(thread);
  workerThreads.clear();
  LeaveCriticalSection(&workerLock);
  if (shell.comReady) CoUninitialize();
  if (shell.oleReady) OleUninitialize();
}

int windowShellExitStatus(bool) {
  return 0;
}
