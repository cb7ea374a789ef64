#include "app/sync_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/run_folder_test.h"
#include "fs/paths.h"
#include "fs/run_guard.h"
#include "ui/shell_recording.h"
#include "workbook/workbook.h"

namespace {

const Text kRoot = u"0-所有履职材料/";

class SyncRunTest : public RunFolderTest {
 protected:
  void material(const Text& entry, const Text& file, const std::string& content) {
    makePath(pathPart(dir + kRoot + entry + u"/" + file));
    writeFile(dir + kRoot + entry + u"/" + file, content);
  }
  void useWorkbook(const char* fixture) {
    makePath(dir + kRoot);
    std::filesystem::copy_file(native(testData(fixture)), native(dir + kRoot + kRelationTableName));
  }
  std::vector<Text> logLines() { return logLinesOf(recording().log); }
  Text summary() {
    EXPECT_EQ(1u, recording().messages.size());
    return recording().messages.empty() ? Text() : recording().messages[0].text;
  }
  void cell(const Text& ref, const Text& value) { table.cells.set(ref, value); }
  SyncOutcome walk(int maxColumn, int maxRow) {
    table.maxColumn = maxColumn;
    table.maxRow = maxRow;
    SyncOutcome outcome;
    WalkTable(dir, table, outcome);
    return outcome;
  }
  Table table;
};

TEST_F(SyncRunTest, WorkedExampleEndToEnd) {
  material(u"A01", u"a.txt", "from A01");
  material(u"A01", u"sub/deep.txt", "deep");
  material(u"B02", u"b.txt", "from B02");
  material(u"B02", u"a.txt", "B02 wins");
  useWorkbook("worked_example.xlsx");

  // B02's a.txt still replaces A01's in 2023/G1, but never in silence.
  EXPECT_EQ(1, SyncRunIn(dir));

  EXPECT_EQ((std::vector<Text>{u"Varnelo", u"Varnelo-当前同步【2023】", u"Varnelo-当前同步【2024】",
                               u"Varnelo-当前同步【Review】", u"Varnelo-完成"}),
            recording().titles);
  Text replaced = dir + u"2023/G1/：有 1 个文件替换了“A01”材料中的同名文件，例如 a.txt（请改名后重新同步）";
  EXPECT_EQ((std::vector<Text>{dir + u"2024/G4/", dir + u"2024/G3/", u"【失败】" + replaced,
                               dir + u"2023/G1/", dir + u"2023/G2/", dir + u"2023/G1/"}),
            logLines());
  EXPECT_EQ("B02 wins", readFile(dir + u"2023/G1/a.txt"));
  EXPECT_EQ("from B02", readFile(dir + u"2023/G1/b.txt"));
  EXPECT_EQ("deep", readFile(dir + u"2023/G1/sub/deep.txt"));
  EXPECT_EQ("from A01", readFile(dir + u"2023/G2/a.txt"));
  EXPECT_FALSE(pathExists(dir + u"2023/G2/b.txt"));
  EXPECT_EQ("from B02", readFile(dir + u"2024/G3/b.txt"));
  EXPECT_EQ("B02 wins", readFile(dir + u"2024/G4/a.txt"));
  EXPECT_FALSE(pathExists(dir + u"Review"));
  EXPECT_EQ(recording().messages[0].title, u"同步提示");
  EXPECT_TRUE(recording().messages[0].summary);
  EXPECT_EQ(u"同步完成：共 5 个目标，其中 1 项未能完成，详见下方【失败】。",
            recording().messages[0].headline);
  EXPECT_EQ(u"【同步完毕】同步内容：\r\n【2023】:G1、G2、G1\r\n【2024】:G3、G4\r\n【Review】:\r\n"
            u"【失败】共 1 项：\r\n" + replaced + u"\r\n",
            summary());
  // The run's private folder for the extracted parts is gone again.
  EXPECT_TRUE(std::filesystem::is_empty(native(temp)));
}

TEST_F(SyncRunTest, AMissingWorkbookIsReported) {
  EXPECT_EQ(1, SyncRunIn(dir));
  Text workbook = dir + kRoot + kRelationTableName;
  EXPECT_EQ((std::vector<Text>{u"Varnelo", u"Varnelo-完成"}), recording().titles);
  EXPECT_EQ(std::vector<Text>{u"【失败】无法打开关系表：" + workbook + u"（找不到文件）"}, logLines());
  EXPECT_EQ(u"【同步完毕】同步内容：\r\n【失败】共 1 项：\r\n无法打开关系表：" + workbook +
                u"（找不到文件）\r\n",
            summary());
  EXPECT_EQ(u"未能同步：无法打开关系表（找不到文件）", recording().messages[0].headline);
  EXPECT_TRUE(std::filesystem::is_empty(native(temp)));
}

TEST_F(SyncRunTest, AWorkbookWithoutTheWorksheetIsReported) {
  useWorkbook("no_sheet1.xlsx");
  EXPECT_EQ(1, SyncRunIn(dir));
  Text workbook = dir + kRoot + kRelationTableName;
  EXPECT_EQ(std::vector<Text>{u"【失败】关系表缺少工作表：" + workbook}, logLines());
  EXPECT_TRUE(std::filesystem::is_empty(native(temp)));
}

TEST_F(SyncRunTest, CellsAreSplitOnAsciiSeparatorsOnly) {
  material(u"A01", u"a.txt", "x");
  cell(u"C3", u" A01 ");
  cell(u"D2", u"g");
  cell(u"D3", u" G1, G2 ");
  cell(u"E2", u"h");
  cell(u"E3", u"G1，G2、G3；G4");
  cell(u"F2", u"n");
  cell(u"F3", u"x\\y");
  cell(u"G2", u"t");
  cell(u"G3", u"G1 ,G2");
  SyncOutcome outcome = walk(7, 3);
  EXPECT_TRUE(outcome.failures.empty());
  EXPECT_EQ("x", readFile(dir + u"g/G1/a.txt"));
  EXPECT_EQ("x", readFile(dir + u"g/ G2/a.txt"));
  EXPECT_EQ("x", readFile(dir + u"h/G1，G2、G3；G4/a.txt"));
  EXPECT_EQ("x", readFile(dir + u"n/x/y/a.txt"));
  EXPECT_EQ("x", readFile(dir + u"t/G1 /a.txt"));  // the space is part of the name
  EXPECT_FALSE(pathExists(dir + u"t/G1"));
  EXPECT_EQ(u"【g】:G1、 G2\r\n【h】:G1，G2、G3；G4\r\n【n】:x/y\r\n【t】:G1 、G2\r\n",
            outcome.summary);
}

TEST_F(SyncRunTest, GroupsWithoutNamesAreSkippedAndNamedOnesAlwaysTitled) {
  material(u"A01", u"a.txt", "x");
  cell(u"C3", u"A01");
  cell(u"D2", u"  ");  // only spaces: no group
  cell(u"D3", u"G1");
  cell(u"E3", u"G1");  // no header cell at all
  cell(u"F2", u"Same");
  cell(u"G2", u"Same");
  cell(u"G3", u"G9");
  cell(u"AA2", u"Wide");
  cell(u"AA3", u"W");
  cell(u"h2", u"lower");  // the walk only builds upper-case references
  cell(u"H3", u"G1");
  SyncOutcome outcome = walk(27, 3);
  EXPECT_EQ((std::vector<Text>{u"Varnelo", u"Varnelo-当前同步【Same】", u"Varnelo-当前同步【Same】",
                               u"Varnelo-当前同步【Wide】"}),
            recording().titles);
  EXPECT_EQ(u"【Same】:\r\n【Same】:G9\r\n【Wide】:W\r\n", outcome.summary);
  EXPECT_EQ((std::vector<Text>{dir + u"Wide/W/", dir + u"Same/G9/"}), logLines());
  // Past the extent nothing is walked.
  resetRecording();
  openRunWindow(u"Varnelo");
  EXPECT_EQ(u"", walk(3, 100).summary);
  EXPECT_EQ(std::vector<Text>{u"Varnelo"}, recording().titles);
}

TEST_F(SyncRunTest, EveryRefusalIsReportedOnceWithItsReason) {
  material(u"A01", u"a.txt", "x");
  material(u"A01", u"keep/inner.txt", "y");
  makePath(dir + u"blocked-parent/");
  writeFile(dir + u"blocked", "a file where the group folder should be");
  cell(u"C3", u"A01");
  cell(u"C4", u"  ");  // empty name
  cell(u"C5", u"..");
  cell(u"C6", u"Missing");
  cell(u"D2", u"g");
  cell(u"D3", u"ok,,../up, ,/abs");
  cell(u"D4", u"G1");
  cell(u"D5", u"G2");
  cell(u"D6", u"G3");
  cell(u"E2", kRoot.substr(0, kRoot.size() - 1));
  cell(u"E3", u"A01/keep,B");
  cell(u"F2", u"blocked");
  cell(u"F3", u"x");
  SyncOutcome outcome = walk(6, 6);
  Text g = dir + u"g/";
  Text material = dir + kRoot + u"A01/";
  std::vector<Text> expected = {
      g + u"：目标文件夹名为空",  // a path never shows a doubled separator
      g + u"../up/：路径超出程序文件夹",
      g + u" /：目标文件夹名为空",
      g + u"abs/：路径超出程序文件夹",
      g + u"G1/：条目名称为空",
      g + u"G2/：路径超出程序文件夹",
      g + u"G3/：找不到材料文件夹 " + dir + kRoot + u"Missing/",
      material + u"keep/：目标位于材料文件夹内",
      dir + u"blocked/x/：无法创建文件夹（目标处已有同名文件，无法建立文件夹）",
  };
  ASSERT_EQ(expected, outcome.failures);
  EXPECT_EQ("x", readFile(g + u"ok/a.txt"));
  EXPECT_FALSE(pathExists(g + u"G1"));
  EXPECT_FALSE(pathExists(g + u"G3"));
  EXPECT_FALSE(pathExists(dir + u"up"));
  EXPECT_FALSE(pathExists(material + u"keep/a.txt"));
  EXPECT_EQ("x", readFile(dir + kRoot + u"B/a.txt"));
  // Each failure line follows its destination's own line, newest first.
  std::vector<Text> lines = logLines();
  EXPECT_EQ(u"【失败】" + expected.back(), lines[0]);
  EXPECT_EQ(dir + u"blocked/x/", lines[1]);
  // The summary lists every item as the table wrote it, less the separators at its ends.
  EXPECT_EQ(u"【g】:ok、、../up、 、abs、G1、G2、G3\r\n【0-所有履职材料】:A01/keep、B\r\n【blocked】:x\r\n",
            outcome.summary);
  Text text = SummaryText(outcome);
  EXPECT_NE(Text::npos, text.find(u"\r\n【失败】共 9 项：\r\n" + expected[0] + u"\r\n"));
  EXPECT_EQ(text.size() - 2, text.rfind(u"\r\n"));
}

TEST_F(SyncRunTest, FilesThatCannotBeCopiedAreCounted) {
  material(u"A01", u"a.txt", "x");
  material(u"A01", u"b.txt", "y");
  material(u"A01", u"c.txt", "z");
  makePath(dir + u"g/G1/a.txt/");
  makePath(dir + u"g/G1/b.txt/");
  cell(u"C3", u"A01");
  cell(u"D2", u"g");
  cell(u"D3", u"G1");
  SyncOutcome outcome = walk(4, 3);
  ASSERT_EQ(1u, outcome.failures.size());
  Text failure = outcome.failures[0];
  EXPECT_EQ(0u, failure.find(dir + u"g/G1/：有 2 个文件未能复制，例如 " + dir + u"g/G1/"));
  EXPECT_NE(Text::npos, failure.find(u"（目标处已有同名文件夹，无法放入文件）"));
  EXPECT_EQ("z", readFile(dir + u"g/G1/c.txt"));
}

TEST_F(SyncRunTest, RepeatedAndEmptyItemsFollowTheTable) {
  material(u"A01", u"a.txt", "x");
  cell(u"C3", u"A01");
  cell(u"D2", u"g");
  cell(u"D3", u"G1,");
  cell(u"E2", u"h");
  cell(u"E3", u";");
  SyncOutcome outcome = walk(5, 3);
  // Trailing separators of the summary vanish at the end of each line.
  EXPECT_EQ(u"【g】:G1\r\n【h】:\r\n", outcome.summary);
  EXPECT_EQ(3u, outcome.failures.size());
  EXPECT_EQ(7u, logLines().size());  // four destinations, three of them empty and refused
}

// Workbooks saved by real spreadsheet programs, run through the whole program.
TEST_F(SyncRunTest, WorkbooksFromRealProducersGiveTheirTrees) {
  struct Case {
    const char* fixture;
    Text summary;
    std::vector<Text> folders;
  } cases[] = {
      {"libreoffice_relation.xlsx",
       u"【2023】:G1、G2、G1\r\n【2024】:G3、G4\r\n【Review】:\r\n",
       {u"2023/G1", u"2023/G2", u"2024/G3", u"2024/G4"}},
      {"xlsxwriter_constant_memory.xlsx", u"【Alpha】:G1、G2、G4\r\n【Beta】:G3、12.5\r\n",
       {u"Alpha/G1", u"Alpha/G2", u"Alpha/G4", u"Beta/G3", u"Beta/12.5"}},
      {"openpyxl_relation.xlsx", u"【North】:G1、G2、1\r\n【South】:G4\r\n",
       {u"North/G1", u"North/G2", u"North/1", u"South/G4"}},
      {"xlsxwriter_relation.xlsx",
       u"【2024年度考核】:一季度、二季度、一季度、二季度\r\n【党建工作】:资料汇编、资料汇编，补充\r\n"
       u"【年度总结】:个人总结、个人总结、述职报告\r\n【2025】:半年、全年\r\n"
       u"【提示】共 1 项：\r\n单元格 E5（党建工作 / 王五）中的「资料汇编，补充」含有全角标点「，」，"
       u"已按一个文件夹名处理；若要分成多个文件夹，请改用半角逗号 , 或分号 ;\r\n",
       {u"2024年度考核/一季度", u"党建工作/资料汇编，补充", u"年度总结/述职报告", u"2025/全年"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    TearDown();
    SetUp();
    // Only the material the table names: another folder would get a notice.
    bool chinese = std::string(c.fixture) == "xlsxwriter_relation.xlsx";
    for (const Text& entry : chinese ? std::vector<Text>{u"张三", u"李四", u"王五"}
                                    : std::vector<Text>{u"A01", u"B02"})
      material(entry, entry + u".txt", toUtf8(entry));
    useWorkbook(c.fixture);
    EXPECT_EQ(0, SyncRunIn(dir));
    EXPECT_EQ(u"【同步完毕】同步内容：\r\n" + c.summary, summary());
    for (const Text& folder : c.folders) EXPECT_EQ(-2, fileSize(dir + folder)) << toUtf8(folder);
  }
  EXPECT_EQ("王五", readFile(dir + u"年度总结/述职报告/王五.txt"));
  EXPECT_EQ("张三", readFile(dir + u"2024年度考核/一季度/张三.txt"));
  EXPECT_EQ("李四", readFile(dir + u"2024年度考核/一季度/李四.txt"));
}

TEST(NearName, OneCandidateAtTheFirstRuleThatFindsAny) {
  struct Case {
    Text name;
    std::vector<Text> candidates;
    Text near;
  } cases[] = {
      {u"王伍", {u"王五", u"赵六"}, u"王五"},  // one substituted
      {u"李 四", {u"李四"}, u"李四"},
      {u"李\u3000四\t", {u"李四"}, u"李四"},
      {u"ＡＢ　１", {u"ab1"}, u"ab1"},  // full-width forms, letter case
      {u"张三", {u"张三丰"}, u"张三丰"},  // one added
      {u"张三丰", {u"张三"}, u"张三"},  // one removed
      {u"四李", {u"李四"}, u"李四"},  // neighbours swapped
      {u"𠀀a", {u"𠀀b"}, u"𠀀b"},  // code points, not UTF-16 units
      {u"LiSi", {u"lisi", u"LiSi2"}, u"lisi"},  // the first rule decides alone
      {u"孙七", {u"孙八", u"孙九"}, u""},  // two are as near: none is named
      {u"王", {u"玉"}, u""},  // one character: too short to guess
      {u"王五", {u"王二五六", u"五王二"}, u""},  // two edits
      {u"王五", {}, u""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.near, NearName(c.name, c.candidates)) << toUtf8(c.name);
}

// A table kept by hand: folders no row names are noticed, a name nearly
// right is told which folder it may mean, and the run's own folders, hidden
// ones and office leftovers are no one's material.
TEST_F(SyncRunTest, MaterialTheTableMissesIsNamed) {
  for (const Text folder : {u"王五", u"李四", u"孙八", u"孙九", u"赵六", u"A01", u"同步记录",
                            u".hidden", u"~$tmp"})
    material(folder, u"m.txt", "m");
  cell(u"D2", u"G");
  const Text rows[][2] = {{u"C3", u"王伍"}, {u"C4", u"李\u3000四"}, {u"C5", u"孙七"},
                          {u"C6", u"A01"}, {u"C7", u"不送"}};
  for (const auto& row : rows) cell(row[0], row[1]);
  for (const Text ref : {u"D3", u"D4", u"D5", u"D6"}) cell(ref, u"x");
  SyncOutcome outcome = walk(4, 7);
  Text missing = u"G/x/：找不到材料文件夹 " + dir + kRoot;
  EXPECT_EQ((std::vector<Text>{dir + missing + u"王伍/（材料中有“王五”，是否写错了？）",
                               dir + missing + u"李\u3000四/（材料中有“李四”，是否写错了？）",
                               dir + missing + u"孙七/"}),
            outcome.failures);
  EXPECT_EQ((std::vector<Text>{u"材料文件夹“孙九”未列入关系表，没有同步",
                               u"材料文件夹“孙八”未列入关系表，没有同步",
                               u"材料文件夹“赵六”未列入关系表，没有同步"}),
            outcome.notices);
  EXPECT_EQ("m", readFile(dir + u"G/x/m.txt"));  // A01's, delivered as before
}

TEST_F(SyncRunTest, FullWidthMarksGiveOneNoticePerCellAfterItsLines) {
  material(u"A01", u"a.txt", "x");
  cell(u"C3", u"A01");
  cell(u"C4", u"Missing");
  cell(u"D2", u"g");
  cell(u"D3", u" 会议、总结；补充，汇编 ");  // every mark, out of order
  cell(u"D4", u"甲，乙;丙");  // a separator too: the notice quotes the cell as typed
  cell(u"E2", u"h");
  cell(u"E3", u"plain,also plain");
  SyncOutcome outcome = walk(5, 4);
  Text notice3 = u"单元格 D3（g / A01）中的「会议、总结；补充，汇编」含有全角标点「，；、」，"
                 u"已按一个文件夹名处理；若要分成多个文件夹，请改用半角逗号 , 或分号 ;";
  Text notice4 = u"单元格 D4（g / Missing）中的「甲，乙;丙」含有全角标点「，」，"
                 u"已按一个文件夹名处理；若要分成多个文件夹，请改用半角逗号 , 或分号 ;";
  EXPECT_EQ((std::vector<Text>{notice3, notice4}), outcome.notices);
  EXPECT_EQ("x", readFile(dir + u"g/会议、总结；补充，汇编/a.txt"));  // nothing done differently
  // Newest first: each notice sits above its cell's destinations and failures.
  std::vector<Text> lines = logLines();
  ASSERT_EQ(9u, lines.size());
  EXPECT_EQ(u"【提示】" + notice4, lines[2]);
  EXPECT_EQ(0u, lines[3].find(u"【失败】" + dir + u"g/丙/："));
  EXPECT_EQ(dir + u"g/丙/", lines[4]);
  EXPECT_EQ(u"【提示】" + notice3, lines[7]);
  EXPECT_EQ(dir + u"g/会议、总结；补充，汇编/", lines[8]);
  // The notices close the summary, after the failures.
  Text text = SummaryText(outcome);
  size_t failures = text.find(u"【失败】共 2 项：\r\n");
  Text block = u"【提示】共 2 项：\r\n" + notice3 + u"\r\n" + notice4 + u"\r\n";
  EXPECT_NE(Text::npos, failures);
  EXPECT_EQ(text.size() - block.size(), text.find(block));
  EXPECT_LT(failures, text.find(block));
  EXPECT_EQ(u"同步完成：共 5 个目标，其中 2 项未能完成，详见下方【失败】。", SummaryHeadline(outcome));
}

TEST_F(SyncRunTest, OverLongNamesAreRefusedAndShownCut) {
  material(u"A01", u"a.txt", "x");
  Text longest(255, u'n');
  Text tooLong = Text(256, u'l');
  cell(u"C3", u"A01");
  cell(u"C4", tooLong);
  cell(u"D2", u"g");
  cell(u"D3", longest + u"," + u"sub/" + tooLong + u"/x");
  cell(u"D4", u"G1");
  cell(u"E2", tooLong);
  cell(u"E3", u"G1");
  SyncOutcome outcome = walk(5, 4);
  EXPECT_EQ("x", readFile(dir + u"g/" + longest + u"/a.txt"));
  Text cut = Text(100, u'l') + u"…";
  // The whole item is cut, not only its long component.
  Text cutItem = u"sub/" + Text(96, u'l') + u"…";
  EXPECT_EQ((std::vector<Text>{dir + u"g/" + cutItem + u"/：名称过长", dir + u"g/G1/：名称过长",
                               dir + cut + u"/G1/：名称过长"}),
            outcome.failures);
  EXPECT_EQ(u"【g】:" + longest + u"、" + cutItem + u"、G1\r\n【" + cut + u"】:G1\r\n", outcome.summary);
  EXPECT_EQ(u"Varnelo-当前同步【" + cut + u"】", recording().titles.back());
  EXPECT_FALSE(pathExists(dir + u"g/sub"));
  EXPECT_FALSE(pathExists(dir + u"g/G1"));
}

TEST_F(SyncRunTest, ASecondRunInTheSameFolderCopiesNothing) {
  material(u"A01", u"a.txt", "x");
  material(u"B02", u"b.txt", "y");
  useWorkbook("worked_example.xlsx");
  ASSERT_EQ(FolderLock::kHeld, lockProgramFolder(dir));
  EXPECT_EQ(1, SyncRunIn(dir));
  unlockProgramFolder();
  Text busy = u"另一个同步正在此文件夹中进行，本次未执行";
  EXPECT_EQ(std::vector<Text>{u"【失败】" + busy}, logLines());
  EXPECT_EQ(u"【同步完毕】同步内容：\r\n【失败】共 1 项：\r\n" + busy + u"\r\n", summary());
  EXPECT_EQ(u"未能同步：" + busy, recording().messages[0].headline);
  EXPECT_FALSE(pathExists(dir + u"2023"));
  // Once the other run is over, the folder is free again.
  resetRecording();
  EXPECT_EQ(0, SyncRunIn(dir));
  EXPECT_EQ(-2, fileSize(dir + u"2023/G1"));
  EXPECT_EQ(FolderLock::kHeld, lockProgramFolder(dir));
  unlockProgramFolder();
}

TEST_F(SyncRunTest, PartsFoldersOfDeadRunsAreRemovedAndLiveOnesKept) {
  Text dead = temp + u"varnelo-parts-dead01/";
  makePath(dead);
  writeFile(dead + u"sheet1.xml", "<worksheet/>");
  makePath(temp + u"unrelated/");
  Text live = createPartsFolder();
  ASSERT_FALSE(live.empty());
  EXPECT_EQ(0u, live.find(temp + u"varnelo-parts-"));
  EXPECT_FALSE(pathExists(dead));
  writeFile(live + u"sheet1.xml", "<worksheet/>");
  // Another run's sweep leaves a folder whose owner is alive alone.
  EXPECT_EQ(0, removeAbandonedPartsFolders(temp));
  EXPECT_TRUE(pathExists(live + u"sheet1.xml"));
  removePartsFolder();
  removePartsFolder();
  EXPECT_FALSE(pathExists(live));
  EXPECT_TRUE(pathExists(temp + u"unrelated"));
}

TEST_F(SyncRunTest, ALinkThatAnEarlierCopyPutThereIsNeverWrittenThrough) {
  Text outside = dir + u"outside/";
  makePath(outside);
  material(u"A01", u"a.txt", "x");
  material(u"A02", u"b.txt", "y");
  std::filesystem::create_directory_symlink(native(outside), native(dir + kRoot + u"A01/out"));
  cell(u"C3", u"A01");
  cell(u"C4", u"A02");
  cell(u"D2", u"g");
  cell(u"D3", u"X");
  cell(u"D4", u"X/out,X/out/deeper");
  SyncOutcome outcome = walk(4, 4);
  EXPECT_TRUE(std::filesystem::is_symlink(native(dir + u"g/X/out")));
  EXPECT_EQ((std::vector<Text>{dir + u"g/X/out/：路径经过链接", dir + u"g/X/out/deeper/：路径经过链接"}),
            outcome.failures);
  EXPECT_TRUE(std::filesystem::is_empty(native(outside)));
}

}  // namespace
