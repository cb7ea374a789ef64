// The end-of-run dialog under Wine: the notes between the headline and the
// text, the retry button beside OK, and which answer each way out gives.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "ui/shell.h"
#include "win32_test_window.h"

namespace {

constexpr int kHeadlineId = 1001;
constexpr int kSummaryTextId = 1002;
constexpr int kNotesId = 1003;

SummaryDialog shown;
std::atomic<int> answer{0};
std::atomic<bool> workerDone{false};

int showShown(int) {
  answer = showSummary(shown);
  workerDone = true;
  return 0;
}

std::wstring textOf(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

// A button as the user reads it: the mnemonic's "&" is not shown.
HWND buttonReading(HWND box, const std::wstring& label) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    std::wstring text;
    for (wchar_t c : textOf(child))
      if (c != L'&') text += c;
    if (text == label) return child;
  }
  return nullptr;
}

// What the watching thread does with the box once it is shown, from outside
// the GUI thread, as a user's input arrives.
std::function<void(HWND box)> userAction;

DWORD WINAPI actOnBox(LPVOID) {
  HWND box = waitForShownBox();
  if (box != nullptr) userAction(box);
  return 0;
}

// Shows the dialog from a worker and returns its answer, 0 when it hung.
int answerTo(const SummaryDialog& dialog, std::function<void(HWND box)> action) {
  shown = dialog;
  userAction = std::move(action);
  answer = 0;
  workerDone = false;
  HANDLE watcher = CreateThread(nullptr, 0, actOnBox, nullptr, 0, nullptr);
  startWorker(showShown, 0);
  pumpUntil(workerDone);
  WaitForSingleObject(watcher, 20000);
  CloseHandle(watcher);
  return answer;
}

SummaryDialog failedRun() {
  Text text = u"【同步完毕】同步内容：\r\n【失败】共 1 项：\r\n";
  for (int i = 0; i < 40; ++i) text += u"2024\\第" + intToText(i) + u"组：文件正被其他程序打开\r\n";
  SummaryDialog dialog{
      u"同步提示", u"未能同步：1 个目标失败。",
      u"完成：152 个目标，复制 3041 个文件（38.0 MB），0 个文件无变化\n"
      u"记录已保存：C:\\Users\\张三\\Documents\\履职材料\\0-所有履职材料\\同步记录.txt",
      text, true};
  return dialog;
}

RECT rectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool boldFont(HWND control) {
  LOGFONTW face{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof face, &face);
  return face.lfWeight >= FW_BOLD;
}

TEST(SummaryDialogWin32, NotesSitUnderTheHeadlineAndRetryLeftOfOk) {
  clearRun();
  RECT headline{}, notes{}, text{}, retry{}, ok{}, box{}, work{};
  std::wstring notesText;
  bool headlineBold = false, notesBold = true;
  auto measure = [&](HWND window) {
    box = rectOf(window);
    headline = rectOf(GetDlgItem(window, kHeadlineId));
    notes = rectOf(GetDlgItem(window, kNotesId));
    text = rectOf(GetDlgItem(window, kSummaryTextId));
    retry = rectOf(buttonReading(window, L"重新同步(R)"));
    ok = rectOf(buttonReading(window, L"确定"));
    notesText = textOf(GetDlgItem(window, kNotesId));
    headlineBold = boldFont(GetDlgItem(window, kHeadlineId));
    notesBold = boldFont(GetDlgItem(window, kNotesId));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    work = monitor.rcWork;
    PostMessageW(buttonReading(window, L"重新同步(R)"), BM_CLICK, 0, 0);
  };
  EXPECT_EQ(kDialogRetry, answerTo(failedRun(), measure));
  EXPECT_LE(headline.bottom, notes.top);
  EXPECT_LT(notes.top, notes.bottom);
  EXPECT_LE(notes.bottom, text.top);
  EXPECT_LE(text.bottom, ok.top);
  EXPECT_EQ(ok.top, retry.top);
  EXPECT_LE(retry.right, ok.left);
  EXPECT_LT(retry.left, retry.right);
  EXPECT_EQ(
      L"完成：152 个目标，复制 3041 个文件（38.0 MB），0 个文件无变化\r\n"
      L"记录已保存：C:\\Users\\张三\\Documents\\履职材料\\0-所有履职材料\\同步记录.txt",
      notesText);
  EXPECT_TRUE(headlineBold);
  EXPECT_FALSE(notesBold);
  EXPECT_TRUE(box.left >= work.left && box.top >= work.top && box.right <= work.right &&
              box.bottom <= work.bottom);
  EXPECT_LE(ok.bottom, box.bottom);
}

TEST(SummaryDialogWin32, EveryWayOutButRetryMeansOk) {
  auto key = [](UINT message, WPARAM code) {
    return [=](HWND box) { PostMessageW(GetDlgItem(box, kSummaryTextId), message, code, 0); };
  };
  auto click = [](const wchar_t* label) {
    return [=](HWND box) { PostMessageW(buttonReading(box, label), BM_CLICK, 0, 0); };
  };
  SummaryDialog dialog = failedRun();
  EXPECT_EQ(kDialogRetry, answerTo(dialog, key(WM_KEYDOWN, 'R')));
  EXPECT_EQ(kDialogRetry, answerTo(dialog, key(WM_SYSKEYDOWN, 'R')));  // Alt+R
  EXPECT_EQ(kDialogOk, answerTo(dialog, key(WM_KEYDOWN, VK_RETURN)));
  // Enter on a button that has the focus presses that button.
  EXPECT_EQ(kDialogRetry, answerTo(dialog, [](HWND box) {
              PostMessageW(buttonReading(box, L"重新同步(R)"), WM_KEYDOWN, VK_RETURN, 0);
            }));
  EXPECT_EQ(kDialogOk, answerTo(dialog, key(WM_KEYDOWN, VK_ESCAPE)));
  EXPECT_EQ(kDialogOk, answerTo(dialog, click(L"确定")));
  EXPECT_EQ(kDialogOk, answerTo(dialog, [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }));

  // Without the offer there is no retry button, and R is only a letter.
  dialog.offerRetry = false;
  bool hasRetry = true;
  EXPECT_EQ(kDialogOk, answerTo(dialog, [&](HWND box) {
              hasRetry = buttonReading(box, L"重新同步(R)") != nullptr;
              PostMessageW(GetDlgItem(box, kSummaryTextId), WM_KEYDOWN, 'R', 0);
              PostMessageW(GetDlgItem(box, kSummaryTextId), WM_KEYDOWN, VK_ESCAPE, 0);
            }));
  EXPECT_FALSE(hasRetry);
}

}  // namespace
