// The Win32 log view against the shared line model, run under Wine with a
// display. Lines bound for the top wait to go in together; whatever mix of
// pauses and title changes adds them, the view must end up with exactly the
// model's lines, in its order.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "ui/log_lines.h"
#include "ui/shell.h"
#include "win32_test_window.h"

namespace {

LogLines model;
std::atomic<bool> finished{false};

// On top, as a run adds them; now and then a title change and a pause long
// enough for the waiting lines to go in on their own.
int addLines(int count) {
  auto add = [](const Text& text) {
    addLogLineOnTop(text);
    addLine(model, 0, text);
  };
  add(u"");  // an empty view takes one empty line
  for (int i = 0; i < count; ++i) {
    Text text(u"第");
    text += intToText(i);
    text += u"行";
    add(text);
    if (i % 250 == 0) setWindowTitle(intToText(i));
    if (i % 700 == 0) Sleep(120);
  }
  finished = true;
  return 0;
}

Text viewText() {
  HWND view = GetDlgItem(testMainWindow(), kTestLogViewId);
  int length = GetWindowTextLengthW(view);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(view, text.data(), length + 1)));
  Text lines;
  for (wchar_t unit : text)
    if (unit != L'\r') lines += static_cast<char16_t>(unit);
  return lines;
}

TEST(LogViewWin32, EndsWithTheModelsLinesInOrder) {
  clearRun();
  ASSERT_NE(0, startWorker(addLines, 3000));
  pumpUntil(finished);
  setWindowTitle(u"结束");  // puts in what still waits
  EXPECT_EQ(logTextOf(model), viewText());
  EXPECT_EQ(3001u, logLineCount(model));
}

// Another go in the same window starts from an empty view, whatever the
// last run left there or had waiting for the top.
TEST(LogViewWin32, ClearRunLeavesAnEmptyViewThatTakesNewLines) {
  addLogLineOnTop(u"上一次");
  addLogLineOnTop(u"等待中");
  clearRun();
  EXPECT_EQ(Text(), viewText());
  LogLines fresh;
  for (const char16_t* line : {u"", u"新的一次"}) {
    addLogLineOnTop(line);
    addLine(fresh, 0, line);
  }
  setWindowTitle(u"Varnelo");
  EXPECT_EQ(logTextOf(fresh), viewText());
}

}  // namespace
