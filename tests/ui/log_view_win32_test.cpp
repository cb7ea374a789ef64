// The Win32 log view against the shared line model, run under Wine with a
// display. Lines bound for the top wait to go in together; whatever mix of
// positions, pauses and title changes adds them, the view must end up with
// exactly the model's lines, in its order.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "ui/log_lines.h"
#include "ui/shell.h"

namespace {

LogLines model;
std::atomic<bool> finished{false};
DWORD guiThread = 0;

// Mostly the top, as a run adds them; now and then the end, a line in the
// middle or one past the last, a title change and a pause long enough for
// the waiting lines to go in on their own.
int addLines(int count) {
  auto add = [](int position, const Text& text) {
    addLogLine(position, text);
    addLine(model, position, text);
  };
  add(0, u"");  // an empty view takes one empty line
  for (int i = 0; i < count; ++i) {
    Text text(u"第");
    text += intToText(i);
    text += u"行";
    int position = i % 97 == 5 ? -1 : i % 89 == 7 ? 3 : i % 83 == 11 ? 100000 : 0;
    add(position, text);
    if (i % 250 == 0) setWindowTitle(intToText(i));
    if (i % 700 == 0) Sleep(120);
  }
  finished = true;
  PostThreadMessageW(guiThread, WM_NULL, 0, 0);
  return 0;
}

Text viewText() {
  HWND view = GetDlgItem(FindWindowW(L"WindowClass_0", nullptr), 1);
  int length = GetWindowTextLengthW(view);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(view, text.data(), length + 1)));
  Text lines;
  for (wchar_t unit : text)
    if (unit != L'\r') lines += static_cast<char16_t>(unit);
  return lines;
}

TEST(LogViewWin32, EndsWithTheModelsLinesInOrder) {
  guiThread = GetCurrentThreadId();
  initWindowShell();
  ASSERT_TRUE(openMainWindow(0, 0, 500, 400, u"Varnelo", 0xC80001));
  ASSERT_EQ(1, createLogView(10, 10, 480, 380, kReadOnlyView | kWordWrapView));
  ASSERT_NE(0, startWorker(addLines, 3000));
  while (!finished) waitEvent();
  setWindowTitle(u"结束");  // puts in what still waits
  EXPECT_EQ(logTextOf(model), viewText());
  EXPECT_EQ(3001u, logLineCount(model));
  endWindowShell();
}

}  // namespace
