#include "win32_test_window.h"

#include <gtest/gtest.h>

#include "ui/shell.h"

namespace {

int progressStrip = 0;

class WindowEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    initWindowShell();
    ASSERT_TRUE(openMainWindow(0, 0, 500, 446, u"Varnelo", 0xC80001));
    ASSERT_EQ(1, createLogView(10, 10, 480, 380, kReadOnlyView | kWordWrapView));
    progressStrip = createProgressStrip(10, 398, 480, 38);
    ASSERT_NE(0, progressStrip);
  }
  void TearDown() override { endWindowShell(); }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

}  // namespace

HWND testMainWindow() {
  return FindWindowW(L"WindowClass_0", nullptr);
}

int testProgressStrip() {
  return progressStrip;
}

void pumpUntil(const std::atomic<bool>& done) {
  // A worker's last call may have been answered before the flag was set,
  // with no message left to end the wait: the timer's are.
  UINT_PTR timer = SetTimer(nullptr, 0, 20, nullptr);
  while (!done) waitEvent();
  KillTimer(nullptr, timer);
}

HWND waitForShownBox() {
  for (int i = 0; i < 200; ++i, Sleep(50)) {
    HWND box = FindWindowW(L"VarneloSummaryBox", nullptr);
    if (box != nullptr && IsWindowVisible(box)) return box;
  }
  return nullptr;
}
