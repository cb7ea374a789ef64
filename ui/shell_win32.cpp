#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <richedit.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "ui/log_lines.h"
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
// Lines for the top of the log view wait at least this long between two
// replacements, and at least this many times as long as the last one took.
constexpr UINT_PTR kLogFlushTimer = 1;
constexpr ULONGLONG kLogFlushMilliseconds = 40;
constexpr ULONGLONG kLogFlushSpacing = 3;
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
  // Lines bound for the top of the log view, oldest first, and the tick
  // before which they wait.
  std::vector<Text> pendingTop;
  ULONGLONG nextFlush = 0;
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

void flushLogLines();

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

void moveFocus(HWND window, bool backwards) {
  HWND next = GetNextDlgTabItem(window, GetFocus(), backwards);
  if (next != nullptr) SetFocus(next);
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      flushLogLines();
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
// reports.
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

// Lines for the top go in together: the control moves and lays out the text
// below the insertion on every replacement, so a replacement per line would
// cost more with every line shown. The next replacement waits at least a few
// times as long as the last one took, so however long the log grows, most of
// the time goes to the run and a line's share of the replacements stays the
// same. Whatever comes next (another position, the title, a box, a close
// request) puts the waiting lines in first, so the view never shows lines out
// of their order.
void flushLogLines() {
  if (shell.pendingTop.empty()) return;
  KillTimer(shell.eventWindow, kLogFlushTimer);
  ULONGLONG started = GetTickCount64();
  Text lines;
  for (auto line = shell.pendingTop.rbegin(); line != shell.pendingTop.rend(); ++line) {
    lines += *line;
    lines += u'\n';
  }
  shell.pendingTop.clear();
  HWND view = shell.logView;
  if (view == nullptr) return;
  SendMessageW(view, EM_HIDESELECTION, TRUE, 0);
  SendMessageW(view, EM_SETSEL, 0, 0);
  replaceSelection(view, lines);
  // The text is no longer empty, so its own line breaks count every line.
  shell.holdsOneEmptyLine = false;
  SendMessageW(view, EM_HIDESELECTION, FALSE, 0);
  ULONGLONG now = GetTickCount64();
  shell.nextFlush = now + std::max(kLogFlushMilliseconds, kLogFlushSpacing * (now - started));
}

void insertLogLine(int position, const Text& text) {
  HWND view = shell.logView;
  if (view == nullptr) return;
  // A view with lines waiting for its top is not empty.
  bool waiting = !shell.pendingTop.empty();
  if (position == 0 && (waiting || GetWindowTextLengthW(view) > 0 || shell.holdsOneEmptyLine)) {
    shell.pendingTop.push_back(text);
    ULONGLONG now = GetTickCount64();
    if (now >= shell.nextFlush)
      flushLogLines();
    else if (!waiting)
      SetTimer(shell.eventWindow, kLogFlushTimer, static_cast<UINT>(shell.nextFlush - now), nullptr);
    return;
  }
  flushLogLines();
  // Only an empty view needs telling apart, as past the last line
  // EM_LINEINDEX answers -1 by itself, and line 0 always starts at the very
  // first character. No line count is asked for: with word wrap it counts
  // screen lines, which the control can only know by laying out the whole
  // text, and that grows with every line added.
  bool empty = GetWindowTextLengthW(view) == 0 && !shell.holdsOneEmptyLine;
  if (empty) position = -1;
  LRESULT start = position == -1  ? -1
                  : position == 0 ? 0
                                  : SendMessageW(view, EM_LINEINDEX, position, 0);
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

// The box goes to the foreground window when it is one of ours; another
// program's window must not be blocked by it.
HWND messageOwner() {
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (foreground != nullptr) GetWindowThreadProcessId(foreground, &process);
  return process == GetCurrentProcessId() ? foreground : nullptr;
}

// The summary box: a bold headline, the text in a read-only edit control that
// scrolls, and one OK button. A plain message box grows with its text until
// its button leaves the screen; this one grows only up to a share of the
// work area and then scrolls. It runs on the GUI thread with its own modal
// loop while the calling thread waits.
const wchar_t kSummaryClass[] = L"VarneloSummaryBox";
constexpr int kHeadlineId = 1001;
constexpr int kSummaryTextId = 1002;
// Widths in 1/96 inch: the box's client area is no wider than this however
// long the lines, and no narrower than a small message box's.
constexpr int kSummaryMaxWidth = 560;
constexpr int kSummaryMinWidth = 300;
// Lines measured to size the view; more would not fit in its largest height.
constexpr size_t kMeasuredLines = 400;
constexpr DWORD kSummaryStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kSummaryExStyle = WS_EX_DLGMODALFRAME;

struct SummaryBox {
  HWND window = nullptr;
  HWND text = nullptr;
  HFONT boldFont = nullptr;
  bool done = false;
};

SummaryBox* openBox = nullptr;

LRESULT CALLBACK summaryProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        if (openBox != nullptr) openBox->done = true;
        return 0;
      }
      break;
    case WM_CLOSE:
      if (openBox != nullptr) openBox->done = true;
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CTLCOLORSTATIC:
      // The read-only text reads as a page, not as a label.
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(window, kSummaryTextId)) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The edit control wants every key; in this box Enter and Escape mean OK, as
// in a message box, and Ctrl+A selects the whole text.
bool handleSummaryKey(const MSG& message, SummaryBox& box) {
  if (message.message != WM_KEYDOWN) return false;
  if (message.hwnd != box.window && !IsChild(box.window, message.hwnd)) return false;
  if (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE) {
    box.done = true;
    return true;
  }
  if (message.wParam == 'A' && (GetKeyState(VK_CONTROL) & 0x8000) && message.hwnd == box.text) {
    SendMessageW(box.text, EM_SETSEL, 0, -1);
    return true;
  }
  return false;
}

// Text with every line break as CR LF, which the edit control shows.
Text withCrLf(const Text& text) {
  return replaceAll(replaceAll(text, u"\r\n", u"\n"), u"\n", u"\r\n");
}

// The text's extent in the font: unwrapped when width is 0, else wrapped at
// width as the edit control wraps.
SIZE textExtent(HDC dc, HFONT font, const Text& text, int width) {
  HGDIOBJ old = SelectObject(dc, font);
  RECT rect{0, 0, width > 0 ? width : 1, 0};
  UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL;
  if (width > 0) format |= DT_WORDBREAK;
  Text shown = text.empty() ? Text(u" ") : text;
  DrawTextW(dc, wide(shown), static_cast<int>(shown.size()), &rect, format);
  SelectObject(dc, old);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HFONT boldFontOf(HFONT font) {
  LOGFONTW face{};
  if (GetObjectW(font, sizeof face, &face) == 0) return nullptr;
  face.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&face);
}

RECT workAreaFor(HWND window) {
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  HMONITOR monitor = window != nullptr ? MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)
                                       : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor != nullptr && GetMonitorInfoW(monitor, &info)) area = info.rcWork;
  return area;
}

struct SummaryLayout {
  int clientWidth, clientHeight;
  RECT headline, text, ok;
};

// As a message box sizes its text: as wide as the longest line between the
// two limits, as high as the wrapped text up to two thirds of the work area
// for the whole box, never beyond the work area.
SummaryLayout layOutSummary(const RECT& area, HFONT boldFont, const Text& headline,
                            const Text& text) {
  int margin = scaleX(11), gap = scaleY(8);
  int buttonWidth = scaleX(88), buttonHeight = scaleY(26);
  RECT frame{0, 0, 100, 100};
  AdjustWindowRectEx(&frame, kSummaryStyle, FALSE, kSummaryExStyle);
  int frameWidth = frame.right - frame.left - 100, frameHeight = frame.bottom - frame.top - 100;
  int areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
  // Borders, the inner margins and the scroll bar around the text.
  int padding = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + scaleX(10);

  HDC dc = GetDC(nullptr);
  Text measured = firstLines(text, kMeasuredLines);
  SIZE natural = textExtent(dc, shell.font, measured, 0);
  int widest = std::min(scaleX(kSummaryMaxWidth), areaWidth - frameWidth) - 2 * margin;
  int viewWidth = std::clamp<int>(natural.cx + padding, scaleX(kSummaryMinWidth) - 2 * margin,
                                  std::max(1, widest));
  int textWidth = std::max(1, viewWidth - padding);
  SIZE wrapped = textExtent(dc, shell.font, measured, textWidth);
  SIZE line = textExtent(dc, shell.font, u"M", 0);
  int headlineHeight = headline.empty() ? 0 : textExtent(dc, boldFont, headline, viewWidth).cy;
  ReleaseDC(nullptr, dc);

  int chrome = frameHeight + 2 * margin + (headlineHeight > 0 ? headlineHeight + gap : 0) + gap +
               buttonHeight;
  int highest = std::min(areaHeight * 2 / 3, areaHeight) - chrome;
  // The edit control gives a text that ends in a line break one more, empty
  // line, which the measure leaves out; without it a short text would scroll.
  if (!measured.empty() && measured.back() == u'\n') wrapped.cy += line.cy;
  int viewHeight = std::clamp<int>(wrapped.cy + 2 * GetSystemMetrics(SM_CYEDGE) + scaleY(6), 1,
                                   std::max<int>(line.cy, highest));
  viewHeight = std::min<int>(viewHeight, std::max(1, areaHeight - chrome));

  SummaryLayout layout;
  int y = margin;
  layout.headline = RECT{margin, y, margin + viewWidth, y + headlineHeight};
  if (headlineHeight > 0) y += headlineHeight + gap;
  layout.text = RECT{margin, y, margin + viewWidth, y + viewHeight};
  y += viewHeight + gap;
  layout.clientWidth = viewWidth + 2 * margin;
  layout.ok = RECT{layout.clientWidth - margin - buttonWidth, y, layout.clientWidth - margin,
                   y + buttonHeight};
  layout.clientHeight = y + buttonHeight + margin;
  return layout;
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

// Centred on the main window, then moved wholly into the work area; the top
// left corner wins when the box is larger than the area.
POINT placeSummary(HWND centreOn, const RECT& area, int width, int height) {
  RECT over = area;
  if (centreOn != nullptr) GetWindowRect(centreOn, &over);
  int x = (over.left + over.right) / 2 - width / 2;
  int y = (over.top + over.bottom) / 2 - height / 2;
  x = std::max<int>(area.left, std::min<int>(x, area.right - width));
  y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
  return POINT{x, y};
}

bool registerSummaryClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = summaryProcedure;
  windowClass.hInstance = shell.instance;
  windowClass.hCursor = shell.cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kSummaryClass;
  registered = RegisterClassW(&windowClass) != 0;
  return registered;
}

// Shows the box and runs its modal loop; 1 once dismissed, 0 when it could
// not be shown.
int runSummaryBox(HWND owner, const Text& title, const Text& headline, const Text& text) {
  if (openBox != nullptr || !registerSummaryClass()) return 0;
  SummaryBox box;
  box.boldFont = boldFontOf(shell.font);
  HFONT headlineFont = box.boldFont != nullptr ? box.boldFont : shell.font;
  HWND centreOn = owner != nullptr ? owner : shell.mainWindow;
  RECT area = workAreaFor(centreOn);
  Text shown = withCrLf(text);
  SummaryLayout layout = layOutSummary(area, headlineFont, headline, shown);
  RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
  AdjustWindowRectEx(&frame, kSummaryStyle, FALSE, kSummaryExStyle);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  POINT at = placeSummary(centreOn, area, width, height);
  box.window = CreateWindowExW(kSummaryExStyle, kSummaryClass, wide(title), kSummaryStyle, at.x,
                               at.y, width, height, owner, nullptr, shell.instance, nullptr);
  if (box.window == nullptr) {
    if (box.boldFont != nullptr) DeleteObject(box.boldFont);
    return 0;
  }
  if (!headline.empty())
    createControl(box.window, L"Static", headline, SS_LEFT | SS_NOPREFIX, 0, layout.headline,
                  kHeadlineId, headlineFont);
  // No automatic scrolling while the text goes in, so the view starts at
  // its top; no horizontal scrolling, so the lines wrap.
  box.text = createControl(box.window, L"Edit", u"",
                           WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_NOHIDESEL,
                           WS_EX_CLIENTEDGE, layout.text, kSummaryTextId, shell.font);
  if (box.text != nullptr) {
    SendMessageW(box.text, EM_LIMITTEXT, 0, 0);
    SetWindowTextW(box.text, wide(shown));
    SendMessageW(box.text, EM_SETSEL, 0, 0);
  }
  createControl(box.window, L"Button", u"确定", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, layout.ok, IDOK,
                shell.font);

  openBox = &box;
  // Disabled as under a message box, so the main window takes no input
  // while the box is up.
  bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(box.window, SW_SHOWNORMAL);
  SetForegroundWindow(box.window);
  // The text has the focus, so Ctrl+A and Ctrl+C work at once.
  SetFocus(box.text != nullptr ? box.text : box.window);

  MSG message;
  while (!box.done) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
      break;
    }
    if (got == -1) break;
    if (handleSummaryKey(message, box)) continue;
    if (IsDialogMessageW(box.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  openBox = nullptr;
  // The owner is enabled again before the box goes, so that the platform
  // activates it rather than another program's window.
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  DestroyWindow(box.window);
  if (box.boldFont != nullptr) DeleteObject(box.boldFont);
  return 1;
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
    flushLogLines();
    done = shell.mainWindow != nullptr && SetWindowTextW(shell.mainWindow, wide(text));
  };
  runOnGuiThread(work);
  return done;
}

namespace {
int showBox(const Text& title, const Text& headline, const Text& text) {
  // Decided on the calling thread, as a message box would: the box is modal
  // to the main window only while that window is the foreground one.
  HWND owner = messageOwner();
  int result = 0;
  auto work = [&] {
    flushLogLines();
    result = runSummaryBox(owner, title, headline, text);
  };
  runOnGuiThread(work);
  return result;
}

}  // namespace

int showSummary(const SummaryDialog& dialog) {
  return showBox(dialog.title, dialog.headline, dialog.text);
}

// Any message may be long, so it takes the same box, without a headline.
int showMessage(const Text& title, const Text& text) {
  return showBox(title, Text(), text);
}

int createProgressStrip(int, int, int, int) {
  return 0;
}

void showProgress(double, const Text&, bool) {}

void clearRun() {}

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
  flushLogLines();
  if (shell.logView != nullptr) DestroyWindow(shell.logView);
  if (shell.mainWindow != nullptr) DestroyWindow(shell.mainWindow);
  if (!shell.windowClass.empty()) UnregisterClassW(shell.windowClass.c_str(), shell.instance);
  if (shell.accelerators != nullptr) DestroyAcceleratorTable(shell.accelerators);
  if (shell.eventWindow != nullptr) DestroyWindow(shell.eventWindow);
  UnregisterClassW(kSummaryClass, shell.instance);
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
