// The progress strip and the taskbar button, on the window the program
// opens, under Wine. Wine has no taskbar to look at, so the taskbar's probe
// shows what the shell asked of it.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shobjidl.h>

#include <atomic>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ui/shell.h"
#include "ui/taskbar_win32.h"
#include "win32_test_window.h"

namespace {

std::vector<std::pair<int, int>> taskbarCalls;

void recordTaskbarCall(int call, int value) {
  taskbarCalls.emplace_back(call, value);
}

int scale(int value, int index) {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, index);
  ReleaseDC(nullptr, screen);
  return MulDiv(value, dpi, 96);
}

RECT placeInClient(HWND control) {
  RECT place;
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

std::wstring textOf(HWND window) {
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  return text;
}

HWND progressBar() {
  return GetDlgItem(testMainWindow(), kTestProgressBarId);
}

HWND statusLine() {
  return FindWindowExW(testMainWindow(), nullptr, L"Static", nullptr);
}

int barPosition() {
  return static_cast<int>(SendMessageW(progressBar(), PBM_GETPOS, 0, 0));
}

TEST(ProgressStripWin32, LiesUnderTheLogViewScaledToTheDisplay) {
  HWND main = testMainWindow();
  HWND bar = progressBar();
  ASSERT_NE(nullptr, bar);
  wchar_t className[64] = L"";
  GetClassNameW(bar, className, 64);
  EXPECT_STREQ(PROGRESS_CLASSW, className);
  RECT log = placeInClient(GetDlgItem(main, 1)), place = placeInClient(bar);
  EXPECT_EQ(scale(10, LOGPIXELSX), place.left);
  EXPECT_EQ(scale(398, LOGPIXELSY), place.top);
  EXPECT_EQ(scale(480, LOGPIXELSX), place.right - place.left);
  EXPECT_GT(place.top, log.bottom);
  HWND status = statusLine();
  ASSERT_NE(nullptr, status);
  RECT line = placeInClient(status), client;
  GetClientRect(main, &client);
  EXPECT_EQ(place.left, line.left);
  EXPECT_EQ(place.right, line.right);
  EXPECT_GE(line.top, place.bottom);
  EXPECT_LE(line.bottom, client.bottom);
  EXPECT_EQ(scale(446, LOGPIXELSY), client.bottom);
  // The dialog font, as the log view's and the end box's.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = 500;  // without Vista's padding, as the shell asks
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 500, &metrics, 0));
  LOGFONTW face{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(status, WM_GETFONT, 0, 0)), sizeof face, &face);
  EXPECT_STREQ(metrics.lfMessageFont.lfFaceName, face.lfFaceName);
  EXPECT_EQ(metrics.lfMessageFont.lfHeight, face.lfHeight);
}

// Calls from a worker, as the run makes them; each has taken effect when it
// returns. The bar's red error state is not read back: Wine's bar keeps no
// state.
struct Seen {
  int position;
  std::wstring status;
};
std::vector<Seen> seen;
std::atomic<bool> workerDone{false};

void look() {
  seen.push_back({barPosition(), textOf(statusLine())});
}

int runWithProgress(int) {
  addLogLineOnTop(u"第一行");
  showProgress(0.25, u"正在复制：第1组", false);
  look();
  showProgress(0.25, u"正在复制：第1组", false);  // unchanged: the taskbar hears nothing
  showProgress(0.5, u"正在复制：第2组", true);
  look();
  showProgress(1.7, u"已完成", true);  // beyond the end counts as the end
  look();
  showProgress(std::nan(""), u"", true);
  look();
  clearRun();
  look();
  workerDone = true;
  return 0;
}

TEST(ProgressStripWin32, FollowsTheRunAndEmptiesForAnotherGo) {
  clearRun();
  seen.clear();
  taskbarCalls.clear();
  taskbarProbe = recordTaskbarCall;
  workerDone = false;
  ASSERT_NE(0, startWorker(runWithProgress, 0));
  pumpUntil(workerDone);
  taskbarProbe = nullptr;

  ASSERT_EQ(5u, seen.size());
  EXPECT_EQ(250, seen[0].position);
  EXPECT_EQ(L"正在复制：第1组", seen[0].status);
  EXPECT_EQ(500, seen[1].position);
  EXPECT_EQ(L"正在复制：第2组", seen[1].status);
  EXPECT_EQ(1000, seen[2].position);
  EXPECT_EQ(0, seen[3].position);
  EXPECT_EQ(L"", seen[3].status);
  EXPECT_EQ(0, seen[4].position);
  EXPECT_EQ(L"", seen[4].status);
  EXPECT_EQ(0, GetWindowTextLengthW(GetDlgItem(testMainWindow(), 1)));  // the log too

  std::vector<std::pair<int, int>> expected = {
      {kTaskbarProgressState, TBPF_NORMAL},    {kTaskbarProgressValue, 250},
      {kTaskbarProgressState, TBPF_ERROR},     {kTaskbarProgressValue, 500},
      {kTaskbarProgressValue, 1000},           {kTaskbarProgressValue, 0},
      {kTaskbarProgressState, TBPF_NOPROGRESS}};
  EXPECT_EQ(expected, taskbarCalls);
}

// Explorer, restarted, makes the button anew and says so: the new button
// shows what the old one showed.
TEST(TaskbarWin32, NewButtonShowsTheRunSoFar) {
  clearRun();
  showProgress(0.3, u"正在复制：第1组", true);
  taskbarCalls.clear();
  taskbarProbe = recordTaskbarCall;
  SendMessageW(testMainWindow(), RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
  clearRun();
  SendMessageW(testMainWindow(), RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
  taskbarProbe = nullptr;
  std::vector<std::pair<int, int>> expected = {{kTaskbarProgressState, TBPF_ERROR},
                                               {kTaskbarProgressValue, 300},
                                               {kTaskbarProgressState, TBPF_NOPROGRESS}};
  EXPECT_EQ(expected, taskbarCalls);
}

// The end of a run flashes the button only when the window is behind another.
int showEnd(int) {
  SummaryDialog dialog{u"同步提示", u"同步完成：共 1 个目标，全部成功。", Text(), u"", false};
  showSummary(dialog);
  workerDone = true;
  return 0;
}

DWORD WINAPI closeBoxWhenShown(LPVOID) {
  HWND box = waitForShownBox();
  if (box != nullptr) PostMessageW(box, WM_CLOSE, 0, 0);
  return 0;
}

int flashesAtTheEnd() {
  taskbarCalls.clear();
  taskbarProbe = recordTaskbarCall;
  workerDone = false;
  HANDLE closer = CreateThread(nullptr, 0, closeBoxWhenShown, nullptr, 0, nullptr);
  startWorker(showEnd, 0);
  pumpUntil(workerDone);
  WaitForSingleObject(closer, 10000);
  CloseHandle(closer);
  taskbarProbe = nullptr;
  int flashes = 0;
  for (auto call : taskbarCalls) flashes += call.first == kTaskbarFlash;
  return flashes;
}

TEST(TaskbarWin32, FlashesOnlyWhenTheRunEndsBehindAnotherWindow) {
  HWND main = testMainWindow();
  SetForegroundWindow(main);
  EXPECT_EQ(0, flashesAtTheEnd());
  HWND other = CreateWindowExW(0, L"Static", L"其他程序", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, other);
  SetForegroundWindow(other);
  ASSERT_EQ(other, GetForegroundWindow());
  EXPECT_EQ(1, flashesAtTheEnd());
  DestroyWindow(other);
  SetForegroundWindow(main);
}

}  // namespace
