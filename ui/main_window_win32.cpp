// The program's one main window: its class, size on the display, Tab between
// its controls, and the close request that waitEvent reports.
#include <windows.h>

#include <algorithm>
#include <string>

#include "ui/shell.h"
#include "ui/shell_win32_state.h"

namespace {

constexpr int kNextControlCommand = 101;
constexpr int kPreviousControlCommand = 102;
// A title bar with the window menu and its close box: neither minimised nor
// maximised nor resized.
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU;
const wchar_t kTaskbarCreatedName[] = L"TaskbarButtonCreated";

void moveFocus(HWND window, bool backwards) {
  HWND next = GetNextDlgTabItem(window, GetFocus(), backwards);
  if (next != nullptr) SetFocus(next);
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == shell.taskbarCreatedMessage && message != 0) {
    taskbarButtonCreated();
    return 0;
  }
  switch (message) {
    case WM_CLOSE:
      flushLogLines();
      // The window stays; the program decides when it goes. The wake-up ends
      // a GetMessageW that is waiting when the request was sent from outside
      // the message loop (another thread or process).
      queueEvent(kCloseRequest, window, nullptr, 0);
      PostMessageW(shell.eventWindow, shell.wakeUpMessage, 0, 0);
      return 0;
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 1) {  // from the accelerator table
        moveFocus(window, LOWORD(wParam) == kPreviousControlCommand);
        return 0;
      }
      if (lParam != 0)
        queueEvent(HIWORD(wParam), window, reinterpret_cast<HWND>(lParam), LOWORD(wParam));
      return 0;
    case WM_SETFOCUS:
      if (HWND first = GetNextDlgTabItem(window, nullptr, FALSE)) SetFocus(first);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
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

bool registerMainClass() {
  shell.windowClass = L"WindowClass_" + std::to_wstring(shell.windowCount++);
  WNDCLASSW windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = mainWindowProcedure;
  windowClass.hInstance = shell.instance;
  windowClass.hIcon = shell.icon;
  windowClass.hCursor = shell.cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = shell.windowClass.c_str();
  return RegisterClassW(&windowClass) != 0;
}

}  // namespace

bool openShellWindow(int width, int height, const Text& title) {
  if (shell.mainWindow != nullptr || !registerMainClass()) return false;
  // Explorer sends it once the window's taskbar button exists, and again
  // after Explorer restarts; registered before the window, which may get it
  // as soon as it is shown.
  shell.taskbarCreatedMessage = RegisterWindowMessageW(kTaskbarCreatedName);
  RECT frame{0, 0, scaleX(width), scaleY(height)};
  AdjustWindowRectEx(&frame, kMainWindowStyle, FALSE, 0);
  int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;
  HWND window = CreateWindowExW(0, shell.windowClass.c_str(), wide(title), kMainWindowStyle, 0, 0,
                                outerWidth, outerHeight, nullptr, nullptr, shell.instance, nullptr);
  if (window == nullptr) {
    UnregisterClassW(shell.windowClass.c_str(), shell.instance);
    return false;
  }
  shell.mainWindow = window;
  centreOnScreen(window, outerWidth, outerHeight);
  ShowWindow(window, SW_SHOWNORMAL);
  createAccelerators();
  return true;
}

void destroyMainWindow() {
  if (shell.mainWindow != nullptr) DestroyWindow(shell.mainWindow);
  if (!shell.windowClass.empty()) UnregisterClassW(shell.windowClass.c_str(), shell.instance);
  if (shell.accelerators != nullptr) DestroyAcceleratorTable(shell.accelerators);
}
