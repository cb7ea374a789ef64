// Pictures of the window in the middle of a run and of the end dialog with
// its retry button, for a person to look at. The Wine test takes them from
// outside (tests/windows/wine_test.sh): with VARNELO_SCREENSHOTS naming a
// folder, each scene writes NAME.ready there and holds still until NAME.done
// appears. Without the variable there is no one to take them: skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "ui/shell.h"
#include "win32_test_window.h"

namespace {

std::wstring folder;
std::atomic<bool> workerDone{false};
std::atomic<int> answer{0};
std::atomic<bool> allTaken{true};

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Called off the GUI thread, which keeps drawing meanwhile.
void holdForPicture(const wchar_t* name) {
  std::wstring base = folder + L"\\" + name;
  HANDLE ready =
      CreateFileW((base + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (int i = 0; i < 600; ++i, Sleep(50))
    if (exists(base + L".done")) return;
  allTaken = false;
}

DWORD WINAPI pictureOfTheBox(LPVOID) {
  HWND box = waitForShownBox();
  if (box == nullptr) return 1;
  holdForPicture(L"end-dialog");
  PostMessageW(GetDlgItem(box, 1004), BM_CLICK, 0, 0);  // the retry button
  return 0;
}

int runToTheEnd(int) {
  Text base = u"C:\\Users\\张三\\Documents\\履职材料\\2024年度考核\\";
  const char16_t* groups[] = {u"一季度", u"二季度", u"三季度", u"党建工作", u"年度总结"};
  for (int i = 0; i < 12; ++i)
    addLogLineOnTop(base + groups[i % 5] + u"\\人员" + intToText(i) + u"\\");
  showProgress(0.42, u"正在复制：2024年度考核\\三季度（第 63 个，共 152 个）", true);
  holdForPicture(L"mid-run");
  SummaryDialog dialog{
      u"同步提示", u"同步完成：共 152 个目标，其中 1 项未能完成，详见下方【失败】。",
      u"完成：152 个目标，复制 3041 个文件（38.0 MB），0 个文件无变化\n"
      u"记录已保存：C:\\Users\\张三\\Documents\\履职材料\\同步记录.txt",
      u"【同步完毕】同步内容：\r\n【失败】共 1 项：\r\n"
      u"2024年度考核\\三季度\\人员7\\报销.xlsx：文件正被其他程序打开，请关闭后重新运行\r\n",
      true};
  HANDLE watcher = CreateThread(nullptr, 0, pictureOfTheBox, nullptr, 0, nullptr);
  answer = showSummary(dialog);
  WaitForSingleObject(watcher, 40000);
  CloseHandle(watcher);
  workerDone = true;
  return 0;
}

TEST(ScreenshotsWin32, MidRunAndEndDialogWithRetry) {
  wchar_t value[MAX_PATH] = L"";
  if (GetEnvironmentVariableW(L"VARNELO_SCREENSHOTS", value, MAX_PATH) == 0)
    GTEST_SKIP() << "VARNELO_SCREENSHOTS names no folder";
  folder = value;
  clearRun();
  ASSERT_NE(0, startWorker(runToTheEnd, 0));
  pumpUntil(workerDone);
  EXPECT_EQ(kDialogRetry, answer);
  EXPECT_TRUE(allTaken);
  clearRun();
}

}  // namespace
