// Workbooks saved by XlsxWriter, openpyxl and LibreOffice Calc (made by
// tests/data/make_workbooks.py), read the way a sync run reads them.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "fs/paths.h"
#include "pack/pack_reader.h"
#include "support/temp_folder.h"
#include "workbook/cell_map.h"
#include "workbook/workbook.h"

namespace {

using Entries = std::map<std::string, std::string>;

class WorkbookFixtureTest : public TempFolderTest {
 protected:
  // Extracts into the temp folder and loads both parts; the extent, or
  // "closed" when the workbook could not be opened.
  Text Read(const Text& workbook) {
    if (!ExtractWorkbookParts(workbook, dir)) return u"closed";
    LoadSharedStrings(dir + u"sharedStrings.xml");
    return LoadWorksheet(dir + u"sheet1.xml");
  }
  Text ReadFixture(const char* name) { return Read(testData(name)); }
  std::set<std::string> Extracted() {
    std::set<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(native(dir)))
      names.insert(entry.path().filename().string());
    return names;
  }
};

Entries CellEntries() {
  Entries entries;
  for (const auto& [ref, text] : Cells) entries[toUtf8(Text(ref))] = toUtf8(Text(text));
  return entries;
}

const Entries kXlsxWriterRelation = {
    {"A1", "履职材料同步关系表"},
    {"A2", "序号"}, {"B2", "部门"}, {"C2", "姓名"}, {"D2", "2024年度考核"},
    {"E2", " 党建工作 "}, {"F2", "年度总结"}, {"G2", "2025"},
    {"A3", "1"}, {"B3", "办公室"}, {"C3", "张三"}, {"D3", "一季度;二季度"},
    {"E3", "资料汇编"}, {"F3", "个人总结"},
    {"A4", "2"}, {"B4", "财务科"}, {"C4", "李四 "}, {"D4", "一季度,二季度"},
    {"G4", "半年;全年"},
    {"A5", "3"}, {"B5", "人事科"}, {"C5", "王五"}, {"E5", "资料汇编，补充"},
    {"F5", "个人总结,述职报告"},
};

TEST_F(WorkbookFixtureTest, XlsxWriterSharedStringsRichTextAndFormula) {
  EXPECT_EQ(u"7:5", ReadFixture("xlsxwriter_relation.xlsx"));
  EXPECT_EQ((std::set<std::string>{"sharedStrings.xml", "sheet1.xml"}), Extracted());
  EXPECT_EQ(22u, SharedStrings.size());  // the second sheet's strings are shared too
  EXPECT_EQ(kXlsxWriterRelation, CellEntries());
}

TEST_F(WorkbookFixtureTest, BackslashEntryNamesNameTheSameParts) {
  EXPECT_EQ(u"7:5", ReadFixture("backslash_names.xlsx"));
  EXPECT_EQ((std::set<std::string>{"sharedStrings.xml", "sheet1.xml"}), Extracted());
  EXPECT_EQ(kXlsxWriterRelation, CellEntries());
}

TEST_F(WorkbookFixtureTest, XlsxWriterConstantMemoryWritesInlineStrings) {
  EXPECT_EQ(u"5:4", ReadFixture("xlsxwriter_constant_memory.xlsx"));
  EXPECT_EQ((std::set<std::string>{"sheet1.xml"}), Extracted());
  EXPECT_TRUE(SharedStrings.empty());
  const Entries expected = {
      {"A1", "Constant memory table"},
      {"C2", "Name"}, {"D2", "Alpha"}, {"E2", "Beta"},
      {"C3", "A01"}, {"D3", "G1;G2"}, {"E3", "G3"},
      {"C4", "B02"}, {"D4", " G4 "}, {"E4", "12.5"},
  };
  EXPECT_EQ(expected, CellEntries());
}

TEST_F(WorkbookFixtureTest, OpenpyxlFormulaWithoutCachedValueIsEmpty) {
  EXPECT_EQ(u"5:4", ReadFixture("openpyxl_relation.xlsx"));
  EXPECT_EQ((std::set<std::string>{"sheet1.xml"}), Extracted());
  const Entries expected = {
      {"A1", "openpyxl table"},
      {"C2", "Name"}, {"D2", "North"}, {"E2", "South"},
      {"C3", "A01"}, {"D3", "G1,G2"}, {"E3", ""},
      {"C4", "B02"}, {"D4", "1"}, {"E4", "G4"},
  };
  EXPECT_EQ(expected, CellEntries());
}

TEST_F(WorkbookFixtureTest, LibreOfficeStoresFormulaResults) {
  EXPECT_EQ(u"6:4", ReadFixture("libreoffice_relation.xlsx"));
  EXPECT_EQ((std::set<std::string>{"sharedStrings.xml", "sheet1.xml"}), Extracted());
  const Entries expected = {
      {"A1", "关系表（LibreOffice）"},
      {"C2", "Name"}, {"D2", "2023"}, {"E2", " 2024 "}, {"F2", "Review"},
      {"A3", "1"}, {"B3", "first line\nsecond line"}, {"C3", "A01"}, {"D3", "G1;G2"},
      {"A4", "2"}, {"C4", "B02 "}, {"D4", "G1"}, {"E4", "G3,G4"}, {"F4", "  "},
  };
  EXPECT_EQ(expected, CellEntries());
}

TEST_F(WorkbookFixtureTest, DemoRelationTable) {
  EXPECT_EQ(u"6:5", Read(testData("../../examples/0-所有履职材料/履职材料同步关系表.xlsx")));
  const Entries expected = {
      {"A1", "2024年度履职材料同步关系表"},
      {"A2", "序号"}, {"B2", "部门"}, {"C2", "姓名"},
      {"D2", "2024年度考核"}, {"E2", "党建工作"}, {"F2", "年度总结"},
      {"A3", "1"}, {"B3", "综合办公室"}, {"C3", "张三"},
      {"D3", "一季度;二季度"}, {"E3", "资料汇编"}, {"F3", "个人总结"},
      {"A4", "2"}, {"B4", "财务科"}, {"C4", "李四"},
      {"D4", "一季度,二季度"}, {"F4", "个人总结;述职报告"},
      {"A5", "3"}, {"B5", "人事科"}, {"C5", "王五"},
      {"D5", "三季度"}, {"E5", "资料汇编,组织生活会"},
  };
  EXPECT_EQ(expected, CellEntries());
}

TEST_F(WorkbookFixtureTest, WorkbookWithoutFirstSheetGivesAnEmptyTable) {
  EXPECT_EQ(u"0:0", ReadFixture("no_sheet1.xlsx"));
  EXPECT_EQ((std::set<std::string>{"sharedStrings.xml"}), Extracted());
  EXPECT_EQ(22u, SharedStrings.size());
  EXPECT_TRUE(Cells.empty());
}

TEST_F(WorkbookFixtureTest, FilesThatAreNotWorkbooksAreNotOpened) {
  writeFile(dir + u"text.xlsx", "sheet1.xml is not in here\n");
  writeFile(dir + u"empty.xlsx", "");
  EXPECT_EQ(0, ExtractWorkbookParts(dir + u"text.xlsx", dir));
  EXPECT_EQ(0, ExtractWorkbookParts(dir + u"empty.xlsx", dir));
  EXPECT_EQ(0, ExtractWorkbookParts(dir + u"absent.xlsx", dir));
  EXPECT_EQ(0, ExtractWorkbookParts(dir, dir));
  EXPECT_EQ(0, ExtractWorkbookParts(u"", dir));
  EXPECT_EQ((std::set<std::string>{"empty.xlsx", "text.xlsx"}), Extracted());
}

// A package cut short loses its central directory but is still read front to
// back: the parts before the cut come out whole and the damaged one is not
// left behind half written. The sheet then reads with unresolved indices.
TEST_F(WorkbookFixtureTest, TruncatedWorkbookYieldsThePartsBeforeTheCut) {
  std::string whole = readFile(testData("xlsxwriter_relation.xlsx"));
  size_t cut = whole.find("xl/sharedStrings.xml");
  ASSERT_NE(std::string::npos, cut);
  writeFile(dir + u"cut.xlsx", whole.substr(0, cut + 100));
  Text parts = dir + u"parts" + kSeparator;
  ASSERT_TRUE(std::filesystem::create_directory(native(parts)));
  ASSERT_EQ(1, ExtractWorkbookParts(dir + u"cut.xlsx", parts));
  EXPECT_FALSE(pathExists(parts + u"sharedStrings.xml"));
  LoadSharedStrings(parts + u"sharedStrings.xml");
  EXPECT_EQ(u"7:5", LoadWorksheet(parts + u"sheet1.xml"));
  EXPECT_EQ(u"8", CellText(u"C3"));
  EXPECT_EQ(u"个人总结", CellText(u"F3"));  // a formula's cached text needs no table
}

// The extraction tells a workbook without a sheet from one whose archive
// ends before the sheet, and keeps a good part that a damaged entry of the
// same name follows.
TEST_F(WorkbookFixtureTest, ExtractionStatusTellsMissingFromDamaged) {
  WorkbookStatus status;
  EXPECT_EQ(1, ExtractWorkbookParts(testData("xlsxwriter_relation.xlsx"), dir, status));
  EXPECT_EQ(WorkbookFault::kNone, status.fault);
  EXPECT_TRUE(status.hasSharedStrings);
  EXPECT_EQ((std::set<std::string>{"sharedStrings.xml", "sheet1.xml"}), Extracted());

  Text parts = dir + u"parts" + kSeparator;
  ASSERT_TRUE(std::filesystem::create_directory(native(parts)));
  EXPECT_EQ(1, ExtractWorkbookParts(testData("openpyxl_relation.xlsx"), parts, status));
  EXPECT_FALSE(status.hasSharedStrings);  // this one holds no shared-strings part
  std::filesystem::remove_all(native(parts));

  EXPECT_EQ(0, ExtractWorkbookParts(testData("no_sheet1.xlsx"), dir, status));
  EXPECT_EQ(WorkbookFault::kNoWorksheet, status.fault);
  EXPECT_EQ(0, ExtractWorkbookParts(testData("damaged/cut_before_sheet.xlsx"), dir, status));
  EXPECT_EQ(WorkbookFault::kDamaged, status.fault);
  EXPECT_EQ(u"文件不完整，在结尾之前中断", status.cause);

  ASSERT_TRUE(std::filesystem::create_directory(native(parts)));
  EXPECT_EQ(0, ExtractWorkbookParts(testData("damaged/strings_twice_second_bad.xlsx"), parts, status));
  EXPECT_EQ(WorkbookFault::kDamaged, status.fault);
  EXPECT_EQ(u"共享字符串的数据已损坏", status.cause);
  std::set<std::string> names;
  for (auto& entry : std::filesystem::directory_iterator(native(parts)))
    names.insert(entry.path().filename().string());
  EXPECT_EQ((std::set<std::string>{"sharedStrings.xml", "sheet1.xml"}), names);
  LoadSharedStrings(parts + u"sharedStrings.xml");
  EXPECT_EQ(22u, SharedStrings.size());
}

#ifdef _WIN32
// A spreadsheet program holds the workbook it has open without sharing it:
// the run asks the user to close it instead of calling it no workbook.
TEST_F(WorkbookFixtureTest, WorkbookHeldOpenElsewhereIsInUse) {
  Text workbook = dir + u"held.xlsx";
  std::filesystem::copy_file(native(testData("xlsxwriter_relation.xlsx")), native(workbook));
  HANDLE held = CreateFileW(reinterpret_cast<const wchar_t*>(workbook.c_str()),
                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  Text parts = dir + u"parts" + kSeparator;
  ASSERT_TRUE(std::filesystem::create_directory(native(parts)));
  WorkbookStatus status;
  EXPECT_EQ(0, ExtractWorkbookParts(workbook, parts, status));
  EXPECT_EQ(WorkbookFault::kCannotOpen, status.fault);
  EXPECT_EQ(u"文件正被其他程序打开，请关闭后重新运行", status.cause);
  CloseHandle(held);
  EXPECT_EQ(1, ExtractWorkbookParts(workbook, parts, status));
  EXPECT_EQ(WorkbookFault::kNone, status.fault);
}
#endif

TEST_F(WorkbookFixtureTest, PackIsClosedAfterExtraction) {
  EXPECT_EQ(1, ExtractWorkbookParts(testData("xlsxwriter_relation.xlsx"), dir));
  EXPECT_FALSE(PackReader::examine(0));
  EXPECT_EQ(0, ExtractWorkbookParts(dir + u"absent.xlsx", dir));
  EXPECT_FALSE(PackReader::examine(0));
}

}  // namespace
