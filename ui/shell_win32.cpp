#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <richedit.h>
#include <shlwapi.h>

#include <algorithm>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "ui/shell.h"

#ifndef EM_SETEDITSTYLEEX
#define EM_SETEDITSTYLEEX (WM_USER + 275)
#endif
#ifndef SES_EX_NOTABLE
#define SES_EX_NOTABLE 0x00000004
#endif

namespace {

constexpr int kProgramIcon = 1;
constexpr int kLogViewId = 1;
constexpr int kNextControlCommand = 101;
constexpr int kPreviousControlCommand = 102;
// Asks the hidden event window to run a GuiCall on the GUI thread.
constexpr UINT kGuiCallMessage = WM_APP + 1;
constexpr DWORD kLogViewStyle = 0x503111C4;
// The option word's low three bits are the shell's own flags, not styles.
constexpr DWORD kOptionBits = 0x7;
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

struct Worker {
  HANDLE thread;
  int number;
};

struct WorkerStart {
  WorkerProcedure procedure;
  int argument;
};

// A piece of window work that another thread hands to the GUI thread.
struct GuiCall {
  void (*run)(void* work);
  void* work;
};

// Window state, touched by the GUI thread only; other threads reach it
// through GuiCall. Window handles are not cleared when the windows go: a call
// on a destroyed handle fails harmlessly, which keeps a late worker safe.
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
};

Shell shell;

CRITICAL_SECTION eventLock;
std::deque<Event> events;
CRITICAL_SECTION workerLock;
std::vector<Worker> workers;
int nextWorkerNumber = 1;

int scaleX(int value) {
  return MulDiv(value, shell.dpiX, 96);
}
int scaleY(int value) {
  return MulDiv(value, shell.dpiY, 96);
}

const wchar_t* wide(const Text& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void queueEvent(const Event& event) {
  EnterCriticalSection(&eventLock);
  if (events.empty() || !(events.back() == event)) events.push_back(event);
  LeaveCriticalSection(&eventLock);
}

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
  if (message == kGuiCallMessage) {
    auto* call = reinterpret_cast<GuiCall*>(lParam);
    call->run(call->work);
    return 0;
  }
  if (message == shell.wakeUpMessage) return 0;  // only there to end a GetMessageW
  return DefWindowProcW(window, message, wParam, lParam);
}

void moveFocus(HWND window, bool backwards) {
  HWND next = GetNextDlgTabItem(window, GetFocus(), backwards);
  if (next != nullptr) SetFocus(next);
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // The window stays; the program decides when it goes. The wake-up ends
      // a GetMessageW that is waiting when the request was sent from outside
      // the message loop (another thread or process).
      queueEvent({kCloseWindowEvent, window, nullptr, 0});
      PostMessageW(shell.eventWindow, shell.wakeUpMessage, 0, 0);
      return 0;
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 1) {  // from the accelerator table
        moveFocus(window, LOWORD(wParam) == kPreviousControlCommand);
        return 0;
      }
      if (lParam != 0)
        queueEvent({HIWORD(wParam), window, reinterpret_cast<HWND>(lParam), LOWORD(wParam)});
      return 0;
    case WM_SETFOCUS:
      if (HWND first = GetNextDlgTabItem(window, nullptr, FALSE)) SetFocus(first);
      return 0;
  }
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

void centreOnScreen(HWND window, int width, int height) {
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int x = (screenWidth - std::min(screenWidth, width)) / 2;
  int y = (screenHeight - std::min(screenHeight, height)) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void createAccelerators() {
  ACCEL keys[] = {{FVIRTKEY, VK_TAB, kNextControlCommand},
                  {FVIRTKEY | FSHIFT, VK_TAB, kPreviousControlCommand}};
  shell.accelerators = CreateAcceleratorTableW(keys, 2);
}

void loadRichEdit() {
  if (shell.richEditLoaded) return;
  shell.richEditLoaded = true;
  HMODULE msftEdit = LoadLibraryW(L"MSFTEDIT.DLL");
  HMODULE richEdit20 = LoadLibraryW(L"RICHED20.DLL");
  HMODULE richEdit32 = richEdit20 != nullptr ? nullptr : LoadLibraryW(L"RICHED32.DLL");
  for (HMODULE library : {msftEdit, richEdit20, richEdit32})
    if (library != nullptr) shell.richEditLibraries.push_back(library);
  shell.msftEdit = msftEdit != nullptr;
  shell.richEditClass = msftEdit ? L"RICHEDIT50W" : richEdit20 ? L"RichEdit20W" : L"RichEdit";
}

bool commonControlsSixOrLater() {
  HMODULE module = GetModuleHandleW(L"comctl32.dll");
  if (module == nullptr) return false;
  auto getVersion = lookUp<DLLGETVERSIONPROC>(module, "DllGetVersion");
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  return getVersion != nullptr && SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6;
}

// uxtheme.dll is asked at run time: systems without visual styles lack it.
bool visualStylesActive() {
  HMODULE theme = LoadLibraryW(L"uxtheme.dll");
  if (theme == nullptr) return false;
  auto isAppThemed = lookUp<BOOL(WINAPI*)()>(theme, "IsAppThemed");
  bool themed = isAppThemed != nullptr && isAppThemed();
  FreeLibrary(theme);
  return themed && commonControlsSixOrLater();
}

void configureLogView(HWND view, int options) {
  SendMessageW(view, EM_LIMITTEXT, static_cast<WPARAM>(-1), 0);
  SendMessageW(view, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
  LRESULT mask = SendMessageW(view, EM_GETEVENTMASK, 0, 0);
  SendMessageW(view, EM_SETEVENTMASK, 0, mask | ENM_CHANGE);
  if (shell.msftEdit) SendMessageW(view, EM_SETEDITSTYLEEX, SES_EX_NOTABLE, SES_EX_NOTABLE);
  SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(shell.font), FALSE);
  if (options & kWordWrapView) SendMessageW(view, EM_SETTARGETDEVICE, 0, 0);
}

void replaceSelection(HWND view, const Text& text) {
  SendMessageW(view, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide(text)));
}

// Each line goes in with one replacement, its line breaks included: every
// replacement is an edit of its own that the control lays out, paints and
// reports, so one per line keeps a line cheap.
void appendLine(HWND view, const Text& text) {
  LRESULT length = SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(view, EM_SETSEL, length, length);
  Text inserted;
  bool heldEmptyLine = shell.holdsOneEmptyLine;
  if (heldEmptyLine) {
    inserted += u'\n';
    shell.holdsOneEmptyLine = false;
  }
  if (length > 0) inserted += u'\n';
  // The control cannot show one empty line in an empty text: the flag counts it.
  if (length == 0 && text.empty() && !heldEmptyLine) shell.holdsOneEmptyLine = true;
  replaceSelection(view, inserted + text);
}

void insertLogLine(int position, const Text& text) {
  HWND view = shell.logView;
  if (view == nullptr) return;
  // Only an empty view needs telling apart, as past the last line
  // EM_LINEINDEX answers -1 by itself. No line count is asked for: with word
  // wrap it counts screen lines, which the control can only know by laying
  // out the whole text, and that grows with every line added.
  bool empty = GetWindowTextLengthW(view) == 0 && !shell.holdsOneEmptyLine;
  if (empty) position = -1;
  LRESULT start = position == -1 ? -1 : SendMessageW(view, EM_LINEINDEX, position, 0);
  SendMessageW(view, EM_HIDESELECTION, TRUE, 0);
  if (start == -1) {
    appendLine(view, text);
  } else {
    SendMessageW(view, EM_SETSEL, start, start);
    replaceSelection(view, text + u"\n");
    // The text is no longer empty, so its own line breaks count every line.
    shell.holdsOneEmptyLine = false;
  }
  SendMessageW(view, EM_HIDESELECTION, FALSE, 0);
}

struct NotedWindow {
  HWND window;
  bool topmost;
  bool disabled;
};

BOOL CALLBACK noteThreadWindow(HWND window, LPARAM list) {
  if (!IsWindowVisible(window) || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
    return TRUE;
  bool topmost = GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST;
  bool disable = IsWindowEnabled(window) && window != GetForegroundWindow();
  reinterpret_cast<std::vector<NotedWindow>*>(list)->push_back({window, topmost, disable});
  return TRUE;
}

// The box goes to the foreground window when it is one of ours; another
// program's window must not be blocked by it.
HWND messageOwner() {
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (foreground != nullptr) GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

DWORD WINAPI workerEntry(LPVOID data) {
  WorkerStart start = *static_cast<WorkerStart*>(data);
  delete static_cast<WorkerStart*>(data);
  return static_cast<DWORD>(start.procedure(start.argument));
}

void closeFinishedWorkers() {
  for (size_t i = 0; i < workers.size();) {
    if (WaitForSingleObject(workers[i].thread, 0) == WAIT_OBJECT_0) {
      CloseHandle(workers[i].thread);
      workers.erase(workers.begin() + i);
    } else {
      ++i;
    }
  }
}

}  // namespace

void initWindowShell() {
  shell.instance = GetModuleHandleW(nullptr);
  shell.guiThread = GetCurrentThreadId();
  InitializeCriticalSection(&eventLock);
  InitializeCriticalSection(&workerLock);
  readDisplayScale();
  chooseDefaultFont();
  shell.oleReady = SUCCEEDED(OleInitialize(nullptr));
  shell.comReady = SUCCEEDED(CoInitialize(nullptr));
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  createEventWindow();
  shell.icon = LoadIconW(shell.instance, MAKEINTRESOURCEW(kProgramIcon));
  shell.cursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
}

bool openMainWindow(int x, int y, int width, int height, const Text& title, int options) {
  if (shell.mainWindow != nullptr) return false;
  shell.windowClass = L"WindowClass_" + std::to_wstring(shell.windowCount++);
  WNDCLASSW windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = mainWindowProcedure;
  windowClass.hInstance = shell.instance;
  windowClass.hIcon = shell.icon;
  windowClass.hCursor = shell.cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = shell.windowClass.c_str();
  if (!RegisterClassW(&windowClass)) return false;
  DWORD style = static_cast<DWORD>(options) & ~kOptionBits;
  RECT frame{0, 0, scaleX(width), scaleY(height)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;
  HWND window =
      CreateWindowExW(0, shell.windowClass.c_str(), wide(title), style, scaleX(x), scaleY(y),
                      outerWidth, outerHeight, nullptr, nullptr, shell.instance, nullptr);
  if (window == nullptr) {
    UnregisterClassW(shell.windowClass.c_str(), shell.instance);
    return false;
  }
  shell.mainWindow = window;
  if (options & kCentreWindow) centreOnScreen(window, outerWidth, outerHeight);
  ShowWindow(window, SW_SHOWNORMAL);
  createAccelerators();
  return true;
}

int createLogView(int x, int y, int width, int height, int options) {
  if (shell.mainWindow == nullptr || shell.logView != nullptr) return 0;
  loadRichEdit();
  DWORD border = visualStylesActive() ? 0 : WS_EX_CLIENTEDGE;
  HWND view = CreateWindowExW(
      border, shell.richEditClass, L"", kLogViewStyle | static_cast<DWORD>(options), scaleX(x),
      scaleY(y), scaleX(width), scaleY(height), shell.mainWindow,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLogViewId)), shell.instance, nullptr);
  if (view == nullptr) return 0;
  configureLogView(view, options);
  shell.logView = view;
  return kLogViewId;
}

int addLogLine(int position, const Text& text) {
  auto work = [&] { insertLogLine(position, text); };
  runOnGuiThread(work);
  return 0;
}

bool setWindowTitle(const Text& text) {
  bool done = false;
  auto work = [&] {
    done = shell.mainWindow != nullptr && SetWindowTextW(shell.mainWindow, wide(text));
  };
  runOnGuiThread(work);
  return done;
}

int showMessage(const Text& title, const Text& text) {
  HWND owner = messageOwner();
  std::vector<NotedWindow> noted;
  EnumWindows(noteThreadWindow, reinterpret_cast<LPARAM>(&noted));
  for (const NotedWindow& w : noted) {
    if (w.topmost)
      SetWindowPos(w.window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (w.disabled) EnableWindow(w.window, FALSE);
  }
  int result = MessageBoxW(owner, wide(text), wide(title), MB_OK);
  for (const NotedWindow& w : noted) {
    if (w.disabled) EnableWindow(w.window, TRUE);
    if (w.topmost)
      SetWindowPos(w.window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return result;
}

int waitEvent() {
  Event event;
  if (takeEvent(&event)) return event.code;
  MSG message;
  BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got == 0 || got == -1) return kCloseWindowEvent;  // WM_QUIT, or no queue to read
  HWND active = GetActiveWindow();
  bool accelerated = shell.accelerators != nullptr && active == shell.mainWindow &&
                     TranslateAcceleratorW(active, shell.accelerators, &message);
  if (!accelerated) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // A raw message that happens to carry the close code must not pass for it.
  return message.message == static_cast<UINT>(kCloseWindowEvent) ? 0 : message.message;
}

int startWorker(WorkerProcedure procedure, int argument) {
  auto* start = new (std::nothrow) WorkerStart{procedure, argument};
  if (start == nullptr) return 0;
  // Commit one page; the stack grows up to the program's reserve as needed.
  HANDLE thread = CreateThread(nullptr, 4096, workerEntry, start, 0, nullptr);
  if (thread == nullptr) {
    delete start;
    return 0;
  }
  EnterCriticalSection(&workerLock);
  closeFinishedWorkers();
  int number = nextWorkerNumber++;
  workers.push_back({thread, number});
  LeaveCriticalSection(&workerLock);
  return number;
}

// The worker may still be running: nothing it could touch is freed, only the
// windows are destroyed, after which its calls fail harmlessly.
void endWindowShell() {
  if (shell.logView != nullptr) DestroyWindow(shell.logView);
  if (shell.mainWindow != nullptr) DestroyWindow(shell.mainWindow);
  if (!shell.windowClass.empty()) UnregisterClassW(shell.windowClass.c_str(), shell.instance);
  if (shell.accelerators != nullptr) DestroyAcceleratorTable(shell.accelerators);
  if (shell.eventWindow != nullptr) DestroyWindow(shell.eventWindow);
  UnregisterClassW(kEventWindowClass, shell.instance);
  for (HMODULE library : shell.richEditLibraries) FreeLibrary(library);
  shell.richEditLibraries.clear();
  if (shell.ownFont) DeleteObject(shell.font);
  // The icon and cursor came from LoadIconW and LoadCursorW: shared, not destroyed.
  EnterCriticalSection(&workerLock);
  for (const Worker& worker : workers) CloseHandle(worker.thread);
  workers.clear();
  LeaveCriticalSection(&workerLock);
  if (shell.comReady) CoUninitialize();
  if (shell.oleReady) OleUninitialize();
}

int windowShellExitStatus(bool) {
  return 0;
}
