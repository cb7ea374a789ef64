// Workbooks saved by XlsxWriter, openpyxl and LibreOffice Calc (made by
// tests/data/make_workbooks.py), read the way a sync run reads them.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <map>
#include <string>

#include "fs/paths.h"
#include "support/temp_folder.h"
#include "workbook/workbook.h"

namespace {

using Entries = std::map<std::string, std::string>;

class WorkbookFixtureTest : public TempFolderTest {
 protected:
  // Reads the workbook as the program does; the extent, or "failed".
  Text Read(const Text& workbook) {
    table = ReadTable(workbook);
    if (table.status.failure) return u"failed";
    return intToText(table.maxColumn) + u":" + intToText(table.maxRow);
  }
  Text ReadFixture(const char* name) { return Read(testData(name)); }
  Entries CellEntries() const {
    Entries entries;
    for (const auto& [ref, text] : table.cells) entries[toUtf8(Text(ref))] = toUtf8(Text(text));
    return entries;
  }
  Table table;
};

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
  EXPECT_TRUE(table.status.hasSharedStrings);
  EXPECT_EQ(kXlsxWriterRelation, CellEntries());
}

TEST_F(WorkbookFixtureTest, BackslashEntryNamesNameTheSameParts) {
  EXPECT_EQ(u"7:5", ReadFixture("backslash_names.xlsx"));
  EXPECT_TRUE(table.status.hasSharedStrings);
  EXPECT_EQ(kXlsxWriterRelation, CellEntries());
}

TEST_F(WorkbookFixtureTest, XlsxWriterConstantMemoryWritesInlineStrings) {
  EXPECT_EQ(u"5:4", ReadFixture("xlsxwriter_constant_memory.xlsx"));
  EXPECT_FALSE(table.status.hasSharedStrings);
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
  EXPECT_FALSE(table.status.hasSharedStrings);
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

// Why a workbook gives no table: no first sheet, no workbook at all, or
// damage found while taking its parts out, in the part where it lies.
TEST_F(WorkbookFixtureTest, WorkbooksThatGiveNoTableSayWhy) {
  writeFile(dir + u"text.xlsx", "sheet1.xml is not in here\n");
  writeFile(dir + u"empty.xlsx", "");
  // Cut inside the shared strings, after the sheet.
  std::string whole = readFile(testData("xlsxwriter_relation.xlsx"));
  size_t cut = whole.find("xl/sharedStrings.xml");
  ASSERT_NE(std::string::npos, cut);
  writeFile(dir + u"cut.xlsx", whole.substr(0, cut + 100));
  struct Case {
    Text workbook;
    ErrorKind kind;
    WorkbookPart part;
  } cases[] = {
      {testData("no_sheet1.xlsx"), ErrorKind::kNoWorksheet, WorkbookPart::kNone},
      {dir + u"text.xlsx", ErrorKind::kNotAWorkbook, WorkbookPart::kNone},
      {dir + u"empty.xlsx", ErrorKind::kNotAWorkbook, WorkbookPart::kNone},
      {dir, ErrorKind::kNotAWorkbook, WorkbookPart::kNone},
      {dir + u"absent.xlsx", ErrorKind::kWorkbookMissing, WorkbookPart::kNone},
      {u"", ErrorKind::kWorkbookMissing, WorkbookPart::kNone},
      {dir + u"cut.xlsx", ErrorKind::kEntryCutShort, WorkbookPart::kSharedStrings},
      {testData("damaged/cut_before_sheet.xlsx"), ErrorKind::kArchiveCutShort, WorkbookPart::kNone},
      // A damaged entry after a good one of the same name.
      {testData("damaged/strings_twice_second_bad.xlsx"), ErrorKind::kEntryDamaged,
       WorkbookPart::kSharedStrings},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(u"failed", Read(c.workbook)) << toUtf8(c.workbook);
    EXPECT_EQ(c.kind, table.status.failure.kind) << toUtf8(c.workbook);
    EXPECT_EQ(c.part, table.status.part) << toUtf8(c.workbook);
    EXPECT_TRUE(table.cells.empty());
  }
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
  EXPECT_EQ(u"failed", Read(workbook));
  EXPECT_EQ(ErrorKind::kInUse, table.status.failure.kind);
  CloseHandle(held);
  EXPECT_EQ(u"7:5", Read(workbook));
}
#endif

}  // namespace
