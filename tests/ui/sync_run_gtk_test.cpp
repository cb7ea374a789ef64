// The real sync run in the GTK window, as a user follows it: the strip
// during and after the run, the end dialog, and another go once the user
// has put the missing material in place.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/sync_run.h"
#include "fs/paths.h"
#include "support/temp_folder.h"
#include "ui/gtk_probe.h"
#include "ui/shell.h"
#include "ui/shell_ops.h"

namespace {

const Text kRoot = u"0-所有履职材料/";

// A program folder of its own with TMPDIR inside it, and the window main opens.
class SyncRunGtkTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    makePath(dir + u"tmp/");
    setenv("TMPDIR", native(dir + u"tmp/").c_str(), 1);
    ASSERT_TRUE(gtkShellOps().init()) << "no X display";
    initWindowShell();
    ASSERT_TRUE(openRunWindow(u"Varnelo"));
    gtkProbeSettle();
  }
  void TearDown() override {
    gtkProbeStopWatchingProgress();
    endWindowShell();
    gtkProbeSettle();
    unsetenv("TMPDIR");
    TempFolderTest::TearDown();
  }
};

std::atomic<bool> runReturned{false};
std::atomic<int> runFailures{-1};
Text runFolder;

int runInFolder(int) {
  runFailures = SyncRunIn(runFolder);
  runReturned = true;
  setWindowTitle(u"Varnelo-ok");  // wakes the GUI thread
  return 0;
}

template <typename Condition>
bool waitEventsUntil(Condition condition) {
  for (int i = 0; i < 1000000 && !condition(); ++i) waitEvent();
  return condition();
}

// Every state of the strip as it changed, read on the GUI thread.
std::vector<std::pair<double, Text>> stripSeen;

void onStripChanged() {
  GtkProbeState state = gtkProbeState();
  stripSeen.emplace_back(state.progressFraction, state.progressStatus);
}

bool sawTargetCount(const Text& count) {
  return std::any_of(stripSeen.begin(), stripSeen.end(), [&count](const auto& seen) {
    return seen.first < 1 && seen.second.find(count) == 0;
  });
}

bool dialogWithHeadline(const Text& headline) {
  GtkProbeState state = gtkProbeState();
  return state.messageShown && state.messageHeadline == headline && state.messageDrawn;
}

size_t lineCount(const Text& text) {
  return text.empty() ? 0 : std::count(text.begin(), text.end(), u'\n') + 1;
}

TEST_F(SyncRunGtkTest, AnotherGoAfterTheMissingMaterialIsPutInPlaceSucceeds) {
  makePath(dir + kRoot + u"A01/");
  writeFile(dir + kRoot + u"A01/a.txt", "from A01");
  std::filesystem::copy_file(native(testData("worked_example.xlsx")),
                             native(dir + kRoot + kRelationTableName));
  runFolder = dir;
  runReturned = false;
  stripSeen.clear();
  ASSERT_TRUE(gtkProbeWatchProgress(onStripChanged));
  ASSERT_GT(startWorker(runInFolder, 0), 0);

  // The first go: B02's material is missing.
  const Text failedHeadline = u"同步完成：共 5 个目标，其中 3 项未能完成，详见下方【失败】。";
  ASSERT_TRUE(waitEventsUntil([&] { return dialogWithHeadline(failedHeadline); }));
  EXPECT_TRUE(sawTargetCount(u"第 1 / 5 个目标")) << stripSeen.size() << " states seen";
  GtkProbeState state = gtkProbeState();
  EXPECT_EQ(1, state.progressFraction);
  EXPECT_EQ(0u, state.progressStatus.find(u"完成：5 个目标，复制 "));
  EXPECT_NE(Text::npos, state.progressStatus.find(u"3 项失败"));
  EXPECT_EQ(0u, state.messageNotes.find(state.progressStatus));
  EXPECT_TRUE(state.retryVisible);
  // Five destinations and three failures.
  EXPECT_EQ(8u, lineCount(state.viewText));
  EXPECT_EQ(u"Varnelo-完成", state.title);

  // The user puts the folder in place and asks for another go.
  makePath(dir + kRoot + u"B02/");
  writeFile(dir + kRoot + u"B02/b.txt", "from B02");
  stripSeen.clear();
  ASSERT_TRUE(gtkProbePressRetry());
  const Text doneHeadline = u"同步完成：共 5 个目标，全部成功。";
  ASSERT_TRUE(waitEventsUntil([&] { return dialogWithHeadline(doneHeadline); }));
  // The strip started over from empty and counted the second go's targets.
  EXPECT_NE(stripSeen.end(),
            std::find(stripSeen.begin(), stripSeen.end(), std::make_pair(0.0, Text())));
  EXPECT_TRUE(sawTargetCount(u"第 1 / 5 个目标"));
  state = gtkProbeState();
  EXPECT_EQ(1, state.progressFraction);
  EXPECT_EQ(Text::npos, state.progressStatus.find(u"失败"));
  EXPECT_FALSE(state.retryVisible);
  // The log holds the second go's five destinations only.
  EXPECT_EQ(5u, lineCount(state.viewText));

  ASSERT_TRUE(gtkProbePressOk());
  ASSERT_TRUE(waitEventsUntil([] { return runReturned.load(); }));
  EXPECT_EQ(0, runFailures);
  EXPECT_EQ("from B02", readFile(dir + u"2024/G3/b.txt"));
}

}  // namespace
