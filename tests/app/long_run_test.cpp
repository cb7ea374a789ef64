// A long run as its user follows and finishes it: the strip under the log,
// the end line, another go after a failure, office lock files left behind,
// and the record every run leaves.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/run_folder_test.h"
#include "app/sync_run.h"
#include "fs/paths.h"
#include "ui/shell_recording.h"

namespace {

const Text kRoot = u"0-所有履职材料/";
const Text kRecords = kRoot + u"同步记录/";

class LongRunTest : public RunFolderTest {
 protected:
  void material(const Text& entry, const Text& file, const std::string& content) {
    makePath(pathPart(dir + kRoot + entry + u"/" + file));
    writeFile(dir + kRoot + entry + u"/" + file, content);
  }
  void workedExample(const Text& folder) {
    makePath(folder + kRoot);
    std::filesystem::copy_file(native(testData("worked_example.xlsx")),
                               native(folder + kRoot + kRelationTableName));
  }
  // Every file below folder with its content, the records left out.
  static std::map<std::string, std::string> tree(const Text& folder) {
    std::map<std::string, std::string> files;
    for (auto& entry : std::filesystem::recursive_directory_iterator(native(folder))) {
      std::string name = entry.path().lexically_relative(native(folder)).string();
      if (!entry.is_regular_file() || name.find("同步记录") != std::string::npos ||
          name.rfind("tmp", 0) == 0)
        continue;
      files[name] = readFile(fromUtf8(entry.path().string()));
    }
    return files;
  }
  std::vector<std::filesystem::path> records() {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (auto& entry : std::filesystem::directory_iterator(native(dir + kRecords), error))
      found.push_back(entry.path());
    return found;
  }
};

Text folderToMend;

// The user reads the dialog, puts the missing material folder in place and
// asks for another go.
void putMaterialInPlace(int) {
  makePath(folderToMend);
  writeFile(folderToMend + u"b.txt", "from B02");
}

TEST_F(LongRunTest, AnotherGoAfterAFailureFinishesTheTreeAsAFreshRunWould) {
  material(u"A01", u"a.txt", "from A01");
  workedExample(dir);
  folderToMend = dir + kRoot + u"B02/";
  answerSummaries({kDialogRetry, kDialogRetry}, putMaterialInPlace);

  EXPECT_EQ(0, SyncRunIn(dir));

  const Recording& shown = recording();
  ASSERT_EQ(2u, shown.messages.size());  // the second go succeeded: no retry offered
  EXPECT_TRUE(shown.messages[0].offerRetry);
  EXPECT_EQ(u"同步完成：共 5 个目标，其中 3 项未能完成，详见下方【失败】。", shown.messages[0].headline);
  EXPECT_FALSE(shown.messages[1].offerRetry);
  EXPECT_EQ(u"同步完成：共 5 个目标，全部成功。", shown.messages[1].headline);
  EXPECT_EQ(1, shown.runsCleared);
  // The log holds the second go only, and the title starts over.
  EXPECT_EQ(5u, logLineCount(shown.log));
  EXPECT_EQ((std::vector<Text>{u"Varnelo", u"Varnelo-当前同步【2023】", u"Varnelo-当前同步【2024】",
                               u"Varnelo-当前同步【Review】", u"Varnelo-完成", u"Varnelo",
                               u"Varnelo-当前同步【2023】", u"Varnelo-当前同步【2024】",
                               u"Varnelo-当前同步【Review】", u"Varnelo-完成"}),
            shown.titles);
  // Unchanged files were left alone the second time.
  EXPECT_NE(Text::npos, shown.messages[1].notes.find(u"复制 3 个文件（0.0 KB），2 个文件无变化"))
      << toUtf8(shown.messages[1].notes);

  Text fresh = dir + u"fresh/";
  workedExample(fresh);
  makePath(fresh + kRoot + u"A01/");
  writeFile(fresh + kRoot + u"A01/a.txt", "from A01");
  makePath(fresh + kRoot + u"B02/");
  writeFile(fresh + kRoot + u"B02/b.txt", "from B02");
  resetRecording();
  openRunWindow(u"Varnelo");
  ASSERT_EQ(0, SyncRunIn(fresh));
  auto again = tree(dir);
  for (auto it = again.begin(); it != again.end();)
    it = it->first.rfind("fresh/", 0) == 0 ? again.erase(it) : std::next(it);
  EXPECT_EQ(tree(fresh), again);
}

TEST_F(LongRunTest, NoTableOffersAnotherGoAndSaysWhatToPutWhere) {
  EXPECT_EQ(1, SyncRunIn(dir));
  ASSERT_EQ(1u, recording().messages.size());
  const RecordedMessage& box = recording().messages[0];
  EXPECT_TRUE(box.offerRetry);
  EXPECT_EQ(u"完成：0 个目标，复制 0 个文件（0.0 KB），0 个文件无变化，1 项失败\n"
            u"请在程序所在的文件夹中建立「0-所有履职材料」文件夹，放入关系表「履职材料同步关系表.xlsx」"
            u"和每个人的材料文件夹。关系表第 2 行从 D 列起写目标文件夹名，C 列从第 3 行起写材料文件夹名。",
            box.notes);
  // No source folder: no record either.
  EXPECT_FALSE(pathExists(dir + kRoot));
}

TEST_F(LongRunTest, LockFilesStayBehindAndTheEndLineCountsThem) {
  material(u"A01", u"报告.docx", "document");
  material(u"A01", u"~$报告.docx", "owner");
  material(u"A01", u"sub/.~lock.表.xlsx#", "owner");
  material(u"B02", u"b.txt", "from B02");
  workedExample(dir);
  EXPECT_EQ(0, SyncRunIn(dir));
  for (const char16_t* target : {u"2023/G1/", u"2023/G2/"}) {
    EXPECT_EQ("document", readFile(dir + target + u"报告.docx"));
    EXPECT_FALSE(pathExists(dir + target + u"~$报告.docx"));
    EXPECT_FALSE(pathExists(dir + target + u"sub/.~lock.表.xlsx#"));
  }
  Text endLine = u"完成：5 个目标，复制 5 个文件（0.0 KB），0 个文件无变化，4 个锁定文件未复制";
  EXPECT_EQ(0u, recording().messages[0].notes.find(endLine + u"\n记录已保存："));
  // The strip ends full, with the same line; before, it counted up.
  const std::vector<RecordedProgress>& strip = recording().progress;
  ASSERT_GE(strip.size(), 2u);
  EXPECT_EQ(1.0, strip.back().fraction);
  EXPECT_EQ(endLine, strip.back().status);
  EXPECT_FALSE(strip.back().failed);
  EXPECT_EQ(0u, strip.front().status.find(u"第 1 / 5 个目标"));
  for (size_t i = 1; i < strip.size(); ++i) EXPECT_LE(strip[i - 1].fraction, strip[i].fraction);
}

TEST_F(LongRunTest, EveryRunLeavesARecordNotepadReads) {
  material(u"A01", u"a.txt", "from A01");
  workedExample(dir);
  EXPECT_EQ(3, SyncRunIn(dir));  // B02 is missing
  std::vector<std::filesystem::path> found = records();
  ASSERT_EQ(1u, found.size());
  std::string name = found[0].filename().string();
  // "同步记录 2026-12-09 21.30.05.txt"
  ASSERT_EQ(std::string("同步记录 0000-00-00 00.00.00.txt").size(), name.size()) << name;
  EXPECT_EQ(0u, name.find("同步记录 2"));
  EXPECT_EQ('.', name[name.size() - 7]);
  std::string text = readFile(fromUtf8(found[0].string()));
  const RecordedMessage& box = recording().messages[0];
  EXPECT_NE(Text::npos, box.notes.find(u"记录已保存：" + fromUtf8(found[0].string())));
  std::string expectedStart = "\xEF\xBB\xBF" + toUtf8(box.headline) + "\r\n" +
                              "完成：5 个目标，复制 2 个文件（0.0 KB），0 个文件无变化，3 项失败\r\n" +
                              "开始时间：";
  EXPECT_EQ(0u, text.find(expectedStart));
  EXPECT_NE(std::string::npos, text.find("\r\n程序文件夹：" + toUtf8(dir) + "\r\n\r\n" +
                                         toUtf8(box.text)));
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    EXPECT_EQ('\r', text[at - 1]);
}

TEST_F(LongRunTest, ARecordThatCannotBeWrittenChangesNothingElse) {
  material(u"A01", u"a.txt", "from A01");
  material(u"B02", u"b.txt", "from B02");
  workedExample(dir);
  writeFile(dir + kRoot + u"同步记录", "a file where the record folder goes");
  EXPECT_EQ(0, SyncRunIn(dir));
  const RecordedMessage& box = recording().messages[0];
  EXPECT_EQ(u"同步完成：共 5 个目标，全部成功。", box.headline);
  EXPECT_FALSE(box.offerRetry);
  EXPECT_EQ(u"完成：5 个目标，复制 5 个文件（0.0 KB），0 个文件无变化\n"
            u"记录未能保存（目标处已有同名文件，无法建立文件夹）",
            box.notes);
  EXPECT_EQ(u"【同步完毕】同步内容：\r\n【2023】:G1、G2、G1\r\n【2024】:G3、G4\r\n【Review】:\r\n",
            box.text);
  EXPECT_EQ("a file where the record folder goes", readFile(dir + kRoot + u"同步记录"));
}

TEST_F(LongRunTest, AGroupNameStartingWithASeparatorShowsNoDoubledSeparator) {
  Table table;
  table.cells.set(u"C3", u"A01");
  table.cells.set(u"D2", u"\\根目录");
  table.cells.set(u"D3", u"G1");
  table.maxColumn = 4;
  table.maxRow = 3;
  SyncOutcome outcome;
  WalkTable(dir, table, outcome);
  EXPECT_EQ(std::vector<Text>{dir + u"根目录/G1/：路径超出程序文件夹"}, outcome.failures);
  EXPECT_EQ(dir + u"根目录/G1/", logLinesOf(recording().log).back());
  EXPECT_FALSE(pathExists(dir + u"根目录"));
}

}  // namespace
