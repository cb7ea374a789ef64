#include "win32_test_window.h"

#include <gtest/gtest.h>

#include "ui/shell.h"

namespace {

class WindowEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    initWindowShell();
    ASSERT_TRUE(openRunWindow(u"Varnelo"));
  }
  void TearDown() override { endWindowShell(); }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new WindowEnvironment);

}  // namespace

HWND testMainWindow() {
  return FindWindowW(L"WindowClass_0", nullptr);
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
