#pragma once
// A program folder of a test's own, with the recording shell's run window open and TMPDIR inside
// the folder, so a run's parts folder can be seen and nothing leaks into the real temporary folder.

#include <cstdlib>

#include "fs/paths.h"
#include "support/temp_folder.h"
#include "ui/shell.h"
#include "ui/shell_recording.h"
#include "workbook/workbook.h"

class RunFolderTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    resetRecording();
    openRunWindow(u"Varnelo");
    temp = dir + u"tmp/";
    makePath(temp);
    setenv("TMPDIR", native(temp).c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    TempFolderTest::TearDown();
  }
  Text temp;
};
