// Workbooks that cannot give their whole table, run through the whole program:
// each is reported with its own reason and nothing at all is copied from it.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/run_folder_test.h"
#include "app/sync_run.h"
#include "fs/paths.h"
#include "ui/shell_recording.h"
#include "workbook/workbook.h"

namespace {

const Text kRoot = u"0-所有履职材料/";

class DamagedWorkbookTest : public RunFolderTest {
 protected:
  void SetUp() override {
    RunFolderTest::SetUp();
    // The material every row of the undamaged table names, so a table read
    // even in part would copy something; a file of each one's own name.
    for (const char* entry : {"张三", "李四", "王五"}) {
      Text folder = dir + kRoot + fromUtf8(entry) + u"/";
      makePath(folder);
      writeFile(folder + fromUtf8(entry) + u".txt", entry);
    }
    workbook = dir + kRoot + kRelationTableName;
  }
  void useFixture(const std::string& fixture) {
    std::filesystem::copy_file(native(testData(fixture.c_str())), native(workbook),
                               std::filesystem::copy_options::overwrite_existing);
  }
  // Everything in the program folder besides the material and the temporary folder.
  std::set<std::string> made() {
    std::set<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(native(dir))) {
      std::string name = entry.path().filename().string();
      if (name != "tmp" && name != toUtf8(kRoot.substr(0, kRoot.size() - 1))) names.insert(name);
    }
    return names;
  }
  void expectFailureOnly(const Text& line) {
    EXPECT_EQ(std::vector<Text>{u"【失败】" + line}, logLinesOf(recording().log));
    ASSERT_EQ(1u, recording().messages.size());
    EXPECT_EQ(u"【同步完毕】同步内容：\r\n【失败】共 1 项：\r\n" + line + u"\r\n",
              recording().messages[0].text);
    EXPECT_TRUE(made().empty());
    EXPECT_TRUE(std::filesystem::is_empty(native(temp)));
  }
  Text workbook;
};

TEST_F(DamagedWorkbookTest, DamagedPartsAreReportedWithWhatWasFound) {
  struct Case {
    const char* fixture;
    Text found;
  } cases[] = {
      {"strings_bad_checksum.xlsx", u"共享字符串的校验值不符，数据已损坏"},
      {"strings_bad_deflate.xlsx", u"共享字符串的数据已损坏"},
      {"strings_encrypted.xlsx", u"共享字符串已加密"},
      {"strings_twice_second_bad.xlsx", u"共享字符串的数据已损坏"},
      {"cut_in_strings.xlsx", u"文件不完整，在共享字符串中途中断"},
      // Cut before the sheet: damaged, not a workbook without one.
      {"cut_before_sheet.xlsx", u"文件不完整，在结尾之前中断"},
      {"cut_between_parts.xlsx", u"文件不完整，在结尾之前中断"},
      {"without_strings_cut_after_sheet.xlsx", u"文件不完整，在结尾之前中断"},
      {"sheet_xml_error.xlsx", u"工作表第 4 行第 102 列：开始标记与结束标记不一致"},
      {"strings_xml_error.xlsx", u"共享字符串第 1 行第 16 列：开始标记与结束标记不一致"},
      {"sheet_not_xml.xlsx",
       u"工作表第 1 行第 3 列：含有不允许的字符或写法（文件可能不是 XML 格式）"},
      {"sheet_empty.xlsx", u"工作表是空的"},
      {"strings_empty.xlsx", u"共享字符串是空的"},
      {"sheet_link.xlsx", u"工作表是一个链接，不是文件"},
      {"sheet_folder.xlsx", u"工作表是一个文件夹，不是文件"},
      {"sheet_dot_dot.xlsx", u"条目“xl/worksheets/sheet1.xml/..”不是文件"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    TearDown();
    SetUp();
    useFixture(std::string("damaged/") + c.fixture);
    EXPECT_EQ(1, SyncRunIn(dir));
    expectFailureOnly(u"关系表已损坏：" + workbook + u"（" + c.found + u"）");
  }
}

TEST_F(DamagedWorkbookTest, FilesThatAreNoWorkbookSayWhatToDo) {
  EXPECT_EQ(1, SyncRunIn(dir));
  expectFailureOnly(u"无法打开关系表：" + workbook + u"（找不到文件）");

  struct Case {
    const char* fixture;
    Text cause;
  } cases[] = {
      {"compound_file.xlsx",
       u"设有打开密码，或是旧版 .xls 文件，请在表格软件中另存为无密码的 .xlsx"},
      {"plain_text.xlsx", u"不是有效的 .xlsx 工作簿"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    TearDown();
    SetUp();
    useFixture(std::string("damaged/") + c.fixture);
    EXPECT_EQ(1, SyncRunIn(dir));
    expectFailureOnly(u"无法打开关系表：" + workbook + u"（" + c.cause + u"）");
  }

  TearDown();
  SetUp();
  makePath(workbook);
  EXPECT_EQ(1, SyncRunIn(dir));
  expectFailureOnly(u"无法打开关系表：" + workbook + u"（不是有效的 .xlsx 工作簿）");
}

// Twelve shared-strings entries that each inflate past 2 GiB: the first one
// ends the reading, before any of them fills the disk.
TEST_F(DamagedWorkbookTest, ExtractionBombEndsAtTheBudget) {
  std::string command = "python3 '" + native(testData("make_damaged_workbooks.py")) + "' --bomb '" +
                        native(workbook) + "'";
  ASSERT_EQ(0, std::system(command.c_str()));
  EXPECT_EQ(1, SyncRunIn(dir));
  expectFailureOnly(u"关系表已损坏：" + workbook + u"（共享字符串解压后超过 2 GB 的上限）");
}

// A cut inside an entry after both parts leaves the table whole.
TEST_F(DamagedWorkbookTest, CutAfterBothPartsStillCopies) {
  useFixture("damaged/cut_after_parts.xlsx");
  EXPECT_EQ(0, SyncRunIn(dir));
  EXPECT_EQ("王五", readFile(dir + u"年度总结/述职报告/王五.txt"));
}

}  // namespace
