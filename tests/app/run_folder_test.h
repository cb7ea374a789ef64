#pragma once
// A program folder of a test's own, with the libraries started as main does,
// the recording shell's run window open and TMPDIR inside the folder, so a run's
// parts folder can be seen and nothing leaks into the real temporary folder.

#include <cstdlib>

#include "fs/paths.h"
#include "pack/pack_reader.h"
#include "support/temp_folder.h"
#include "ui/shell.h"
#include "ui/shell_recording.h"
#include "workbook/workbook.h"
#include "xml/xml_document.h"

class RunFolderTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    static bool started = [] {
      XmlDocument::startup();
      PackReader::startup();
      PackReader::registerZip();
      return true;
    }();
    (void)started;
    resetRecording();
    ResetWorkbookCollections();
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
