#include "workbook/workbook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "workbook/described_reference.h"
#include "workbook/cell_map.h"

namespace {

const char* const kSheetOpen =
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<sheetData>";
const char* const kSheetClose = "</sheetData></worksheet>";

class WorkbookTest : public TempFolderTest {
 protected:
  Text Put(const char* name, const std::string& xml) {
    Text path = dir + fromUtf8(name);
    writeFile(path, xml);
    return path;
  }
  Text LoadRows(const std::string& rows) {
    return LoadWorksheet(Put("sheet1.xml", kSheetOpen + rows + kSheetClose));
  }
  void LoadStrings(const std::string& items) {
    LoadSharedStrings(Put("sharedStrings.xml", "<sst>" + items + "</sst>"));
  }
};

TEST(ColumnNumbering, LettersAndNumbersAreInverse) {
  for (int64_t n = 1; n <= 16384; ++n) {
    Text letters = ColumnLetters(n);
    ASSERT_EQ(n, ColumnNumber(letters)) << toUtf8(letters);
  }
  EXPECT_EQ(u"A", ColumnLetters(1));
  EXPECT_EQ(u"Z", ColumnLetters(26));
  EXPECT_EQ(u"AA", ColumnLetters(27));
  EXPECT_EQ(u"AZ", ColumnLetters(52));
  EXPECT_EQ(u"BA", ColumnLetters(53));
  EXPECT_EQ(u"YZ", ColumnLetters(676));
  EXPECT_EQ(u"ZA", ColumnLetters(677));
  EXPECT_EQ(u"ZZ", ColumnLetters(702));
  EXPECT_EQ(u"AAA", ColumnLetters(703));
  EXPECT_EQ(u"XFD", ColumnLetters(16384));
  EXPECT_EQ(u"", ColumnLetters(0));
  EXPECT_EQ(u"", ColumnLetters(-5));
}

TEST(ColumnNumbering, ReadsTheFirstLetterRunAfterUpperCasing) {
  EXPECT_EQ(0, ColumnNumber(u""));
  EXPECT_EQ(0, ColumnNumber(u"12"));
  EXPECT_EQ(0, ColumnNumber(u"$%"));
  EXPECT_EQ(28, ColumnNumber(u"ab"));
  EXPECT_EQ(1, ColumnNumber(u"A1B2"));
  EXPECT_EQ(4, ColumnNumber(u"$D$7"));
}

TEST(ColumnNumbering, LongLetterRunsKeepTheirLow32Bits) {
  EXPECT_EQ(u"FXSHRXW", ColumnLetters(INT32_MAX));
  EXPECT_EQ(INT32_MAX, ColumnNumber(u"FXSHRXW"));
  EXPECT_EQ(INT32_MIN, ColumnNumber(u"FXSHRXX"));  // 2^31 wraps
  // A run far beyond any sheet finishes and gives a value; it is not a column.
  EXPECT_LE(ColumnNumber(Text(100000, u'Z')), INT32_MAX);
}

TEST_F(WorkbookTest, SharedStringsWalkThroughSixItems) {
  LoadStrings(
      "<si><t>Entry</t></si>"
      "<si><r><rPr><b/></rPr><t>Mat</t></r><r><t>erial-1</t></r></si>"
      "<si><t>North;South</t><rPh sb=\"0\" eb=\"1\"><t>n</t></rPh></si>"
      "<si><t xml:space=\"preserve\"> Extra </t></si>"
      "<si><t/></si>"
      "<si><t>A&amp;B</t></si>");
  ASSERT_EQ(6u, SharedStrings.size());
  EXPECT_EQ(u"Entry", SharedStrings[0]);
  EXPECT_EQ(u"Material-1", SharedStrings[1]);
  EXPECT_EQ(u"North;South", SharedStrings[2]);
  EXPECT_EQ(u" Extra ", SharedStrings[3]);
  EXPECT_EQ(u"", SharedStrings[4]);
  EXPECT_EQ(u"A&B", SharedStrings[5]);
}

TEST_F(WorkbookTest, SharedStringsFirstTextOrRunDecidesTheItem) {
  LoadStrings(
      "<si><t>direct</t><r><t>ignored</t></r></si>"
      "<si><r><t>run</t><t>second t</t></r><t>ignored</t><r><rPr/></r><r><t>s</t></r></si>"
      "<si><phoneticPr fontId=\"1\"/></si>"  // neither: no entry, later ones move up
      "<SI><t>upper</t></SI>"
      "<si><T>upper t</T></si>"
      "<!-- c --><si><!-- c --><t>after comments</t></si>");
  ASSERT_EQ(3u, SharedStrings.size());
  EXPECT_EQ(u"direct", SharedStrings[0]);
  EXPECT_EQ(u"runs", SharedStrings[1]);
  EXPECT_EQ(u"after comments", SharedStrings[2]);
}

TEST_F(WorkbookTest, SharedStringsRecogniseNamespacePrefixes) {
  LoadSharedStrings(Put("sharedStrings.xml",
                        "<x:sst xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                        "main\"><x:si><x:t>one</x:t></x:si>"
                        "<x:si><x:r><x:t>t</x:t></x:r><x:r><x:t>wo</x:t></x:r></x:si></x:sst>"));
  ASSERT_EQ(2u, SharedStrings.size());
  EXPECT_EQ(u"one", SharedStrings[0]);
  EXPECT_EQ(u"two", SharedStrings[1]);
}

TEST_F(WorkbookTest, SharedStringsKeepLineBreaksInTheFilesConvention) {
  LoadSharedStrings(Put("sharedStrings.xml", "<sst>\r\n<si><t>a\r\nb\nc</t></si></sst>\r\n"));
  ASSERT_EQ(1u, SharedStrings.size());
  EXPECT_EQ(u"a\r\nb\r\nc", SharedStrings[0]);
}

TEST_F(WorkbookTest, SharedStringsAreReplacedByEveryLoad) {
  LoadStrings("<si><t>old</t></si>");
  ASSERT_EQ(1u, SharedStrings.size());
  LoadSharedStrings(dir + u"absent.xml");
  EXPECT_TRUE(SharedStrings.empty());

  LoadStrings("<si><t>old</t></si>");
  LoadSharedStrings(Put("other.xml", "<strings><si><t>x</t></si></strings>"));
  EXPECT_TRUE(SharedStrings.empty());
  LoadSharedStrings(Put("empty.xml", ""));
  EXPECT_TRUE(SharedStrings.empty());
  LoadStrings("");
  EXPECT_TRUE(SharedStrings.empty());
}

TEST_F(WorkbookTest, SharedStringsKeepItemsBeforeDamage) {
  LoadSharedStrings(
      Put("sharedStrings.xml", "<sst><si><t>kept</t></si><si><t>also</t></si><si <t>lost</t>"));
  ASSERT_EQ(2u, SharedStrings.size());
  EXPECT_EQ(u"kept", SharedStrings[0]);
  EXPECT_EQ(u"also", SharedStrings[1]);
}

TEST_F(WorkbookTest, WorksheetWalkThrough) {
  LoadStrings(
      "<si><t>Entry</t></si><si><t>Material-1</t></si><si><t>North;South</t></si>"
      "<si><t> Extra </t></si><si><t/></si><si><t>A&amp;B</t></si>");
  Text extent = LoadWorksheet(Put(
      "sheet1.xml",
      "<worksheet><dimension ref=\"B2:F4\"/><sheetData>"
      "<row r=\"2\"><c r=\"C2\" t=\"s\"><v>0</v></c><c r=\"D2\" t=\"s\"><v>2</v></c>"
      "<c r=\"F2\" s=\"3\"/></row>"
      "<row r=\"3\"><c r=\"C3\" t=\"s\"><v>1</v></c><c r=\"D3\"><v>12.5</v></c>"
      "<c r=\"E3\" t=\"s\"><v>9</v></c></row>"
      "<row r=\"4\"><c r=\"b4\" t=\"s\"><v>5</v></c>"
      "<c r=\"C4\" t=\"str\"><f>LEN(C3)</f><v>10</v></c>"
      "<c r=\"D4\" t=\"inlineStr\"><is><t>Hi</t></is></c></row>"
      "</sheetData><pageMargins left=\"0.7\"/></worksheet>"));
  EXPECT_EQ(u"5:4", extent);
  EXPECT_EQ(8u, Cells.size());
  EXPECT_EQ(u"Entry", CellText(u"C2"));
  EXPECT_EQ(u"North;South", CellText(u"D2"));
  EXPECT_EQ(u"Material-1", CellText(u"C3"));
  EXPECT_EQ(u"12.5", CellText(u"D3"));
  EXPECT_EQ(u"9", CellText(u"E3"));
  EXPECT_EQ(u"A&B", CellText(u"b4"));
  EXPECT_EQ(u"10", CellText(u"C4"));
  EXPECT_EQ(u"Hi", CellText(u"D4"));
  EXPECT_EQ(u"", CellText(u"B4"));
  EXPECT_EQ(u"", CellText(u"E2"));
  EXPECT_EQ(u"", CellText(u"F2"));
  EXPECT_EQ(8u, Cells.size());  // reads record nothing
}

TEST_F(WorkbookTest, WorksheetCellForms) {
  LoadStrings("<si><t>zero</t></si><si><t>one</t></si>");
  Text extent = LoadRows(
      "<row r=\"1\">"
      "<c r=\"A1\" t=\"s\"><v>-1</v></c>"
      "<c r=\"B1\" t=\"s\"><v>2</v></c>"
      "<c r=\"C1\" t=\"s\"><v>x</v></c>"           // reads as index 0
      "<c r=\"D1\" t=\"s\"><v>4294967297</v></c>"  // low 32 bits: 1
      "<c r=\"E1\" t=\"b\"><v>1</v></c>"
      "<c r=\"F1\" t=\"e\"><v>#N/A</v></c>"
      "<c r=\"G1\"><f>NOW()</f></c>"  // never calculated
      "<c r=\"H1\" t=\"inlineStr\"><is><r><t>in</t></r><r><rPr/><t>line</t></r></is></c>"
      "<c r=\"I1\" t=\"inlineStr\"><is/></c>"
      "<c r=\"J1\"><extLst>ext</extLst></c>"
      "<c r=\"K1\"><!--note--><v>7</v></c>"
      "<c r=\"L1\" t=\"s\"><f>B1</f><v>1</v></c>"
      "<c r=\"M1\"><v>first</v><v>second</v></c>"
      "</row>");
  EXPECT_EQ(u"13:1", extent);
  EXPECT_EQ(u"-1", CellText(u"A1"));
  EXPECT_EQ(u"2", CellText(u"B1"));
  EXPECT_EQ(u"zero", CellText(u"C1"));
  EXPECT_EQ(u"one", CellText(u"D1"));
  EXPECT_EQ(u"1", CellText(u"E1"));
  EXPECT_EQ(u"#N/A", CellText(u"F1"));
  EXPECT_EQ(u"", CellText(u"G1"));
  EXPECT_TRUE(Cells.contains(u"G1"));
  EXPECT_EQ(u"inline", CellText(u"H1"));
  EXPECT_EQ(u"", CellText(u"I1"));
  EXPECT_EQ(u"ext", CellText(u"J1"));
  EXPECT_EQ(u"7", CellText(u"K1"));
  EXPECT_EQ(u"one", CellText(u"L1"));
  EXPECT_EQ(u"first", CellText(u"M1"));
}

// A CDATA section is text like any other, wherever it stands among the rest
// of an element's text: in shared strings, their runs, inline strings and
// values.
TEST_F(WorkbookTest, CdataSectionsAreText) {
  LoadStrings(
      "<si><t><![CDATA[张三]]></t></si>"
      "<si><t>x<![CDATA[y]]>z<![CDATA[<&>]]></t></si>"
      "<si><r><t><![CDATA[Mat]]></t></r><r><t>er<![CDATA[ial]]></t></r></si>");
  LoadRows(
      "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>0</v></c><c r=\"B3\" t=\"s\"><v>1</v></c>"
      "<c r=\"C3\" t=\"s\"><v><![CDATA[2]]></v></c>"
      "<c r=\"D3\" t=\"inlineStr\"><is><t>李<![CDATA[四]]></t></is></c>"
      "<c r=\"E3\" t=\"str\"><f>A3</f><v><![CDATA[王]]>五</v></c></row>");
  EXPECT_EQ(u"张三", CellText(u"A3"));
  EXPECT_EQ(u"xyz<&>", CellText(u"B3"));
  EXPECT_EQ(u"Material", CellText(u"C3"));
  EXPECT_EQ(u"李四", CellText(u"D3"));
  EXPECT_EQ(u"王五", CellText(u"E3"));
}

TEST_F(WorkbookTest, WorksheetWithoutSharedStringsKeepsIndexTexts) {
  LoadSharedStrings(dir + u"absent.xml");
  EXPECT_EQ(u"2:1", LoadRows("<row><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>3</v>"
                             "</c></row>"));
  EXPECT_EQ(u"0", CellText(u"A1"));
  EXPECT_EQ(u"3", CellText(u"B1"));
}

TEST_F(WorkbookTest, WorksheetReferencesAsWritten) {
  LoadStrings("");
  Text extent = LoadRows(
      "<row r=\"3\"><c r=\"d3\"><v>lower</v></c><c r=\"A01\"><v>zero-led</v></c>"
      "<c r=\"A1B2\"><v>two runs</v></c><c r=\"C3\"><v>first</v></c><c r=\"C3\"><v>later</v></c>"
      "</row>");
  EXPECT_EQ(u"4:3", extent);
  EXPECT_EQ(u"lower", CellText(u"d3"));
  EXPECT_EQ(u"", CellText(u"D3"));
  EXPECT_EQ(u"zero-led", CellText(u"A01"));
  EXPECT_EQ(u"two runs", CellText(u"A1B2"));
  EXPECT_EQ(u"later", CellText(u"C3"));
}

TEST_F(WorkbookTest, WorksheetNumbersCellsAndRowsWithoutReferences) {
  LoadStrings("<si><t>s0</t></si>");
  Text extent = LoadRows(
      "<row><c><v>a1</v></c><c t=\"s\"><v>0</v></c></row>"         // row 1: A1, B1
      "<!-- a comment is not a row -->"
      "<row><c r=\"C2\" s=\"1\"/><c><v>d2</v></c></row>"            // after an empty C2: D2
      "<row r=\"7\"><c r=\"E7\"><v>e7</v></c><!--x--><c><v>f7</v></c></row>"
      "<row><c><v>a8</v></c></row>"                                // the row after 7
      "<row r=\"junk\"><c><v>a9</v></c></row>"                     // no number: next row
      "<row r=\"4\"><c r=\"#\"><v>no letters</v></c><c><v>a4</v></c></row>");
  EXPECT_EQ(u"6:9", extent);
  EXPECT_EQ(u"a1", CellText(u"A1"));
  EXPECT_EQ(u"s0", CellText(u"B1"));
  EXPECT_EQ(u"d2", CellText(u"D2"));
  EXPECT_EQ(u"e7", CellText(u"E7"));
  EXPECT_EQ(u"f7", CellText(u"F7"));
  EXPECT_EQ(u"a8", CellText(u"A8"));
  EXPECT_EQ(u"a9", CellText(u"A9"));
  EXPECT_EQ(u"no letters", CellText(u"#"));
  EXPECT_EQ(u"a4", CellText(u"A4"));
  EXPECT_EQ(9u, Cells.size());
}

TEST_F(WorkbookTest, WorksheetRecognisesNamespacePrefixes) {
  LoadSharedStrings(Put("sharedStrings.xml",
                        "<x:sst xmlns:x=\"urn:s\"><x:si><x:t>shared</x:t></x:si></x:sst>"));
  Text extent = LoadWorksheet(Put(
      "sheet1.xml",
      "<x:worksheet xmlns:x=\"urn:s\"><x:dimension ref=\"A1\"/><x:sheetData>"
      "<x:row r=\"2\"><x:c r=\"D2\" t=\"s\"><x:v>0</x:v></x:c>"
      "<x:c r=\"E2\"><x:f>1+1</x:f><x:v>2</x:v></x:c>"
      "<x:c t=\"inlineStr\"><x:is><x:t>F2</x:t></x:is></x:c></x:row>"
      "</x:sheetData></x:worksheet>"));
  EXPECT_EQ(u"6:2", extent);
  EXPECT_EQ(u"shared", CellText(u"D2"));
  EXPECT_EQ(u"2", CellText(u"E2"));
  EXPECT_EQ(u"F2", CellText(u"F2"));
}

TEST_F(WorkbookTest, WorksheetThatCannotBeReadLeavesNothing) {
  LoadStrings("");
  const char* const unreadable[] = {
      "",
      "<!-- no element -->",
      "<sheet><sheetData><row><c r=\"A1\"><v>1</v></c></row></sheetData></sheet>",
      "<worksheet><cols/></worksheet>",
      "<worksheet><sheetdata><row><c r=\"A1\"><v>1</v></c></row></sheetdata></worksheet>",
      "<worksheet><sheetData/></worksheet>",
      "<worksheet><sheetData><row r=\"1\"/><row r=\"2\"><c r=\"B2\" s=\"1\"/></row>"
      "</sheetData></worksheet>",
  };
  for (const char* xml : unreadable) {
    LoadRows("<row><c r=\"A1\"><v>earlier</v></c></row>");
    ASSERT_EQ(1u, Cells.size());
    EXPECT_EQ(u"0:0", LoadWorksheet(Put("sheet1.xml", xml))) << xml;
    EXPECT_TRUE(Cells.empty()) << xml;
  }
  LoadRows("<row><c r=\"A1\"><v>earlier</v></c></row>");
  EXPECT_EQ(u"0:0", LoadWorksheet(dir + u"absent.xml"));
  EXPECT_TRUE(Cells.empty());
}

TEST_F(WorkbookTest, WorksheetKeepsCellsBeforeDamage) {
  LoadStrings("");
  Text extent = LoadWorksheet(Put(
      "sheet1.xml", std::string(kSheetOpen) +
                        "<row r=\"1\"><c r=\"A1\"><v>kept</v></c></row>"
                        "<row r=\"2\"><c r=\"B2\"><v>also kept</v></c></row>"
                        "<row r=\"3\"><c r=\"C3\" t="));
  EXPECT_EQ(u"kept", CellText(u"A1"));
  EXPECT_EQ(u"also kept", CellText(u"B2"));
  EXPECT_EQ(u"2:2", extent);
}

TEST_F(WorkbookTest, WorksheetIgnoresNumbersBeyond32Bits) {
  LoadStrings("");
  Text extent = LoadRows(
      "<row r=\"3\"><c r=\"C3\"><v>ok</v></c>"
      "<c r=\"FXSHRXX3\"><v>column 2^31</v></c>"
      "<c r=\"" + std::string(5000, 'Q') + "1\"><v>long run</v></c>"
      "<c r=\"A2147483648\"><v>row 2^31</v></c>"
      "<c r=\"A99999999999999999999999\"><v>huge row</v></c></row>");
  EXPECT_EQ(5u, Cells.size());
  EXPECT_EQ(u"column 2^31", CellText(u"FXSHRXX3"));
  EXPECT_EQ(u"row 2^31", CellText(u"A2147483648"));
  // Whatever the wrapped values are, the extent stays a pair of 32-bit numbers.
  int64_t column = parseInt(fieldAt(extent, 1, u":"));
  int64_t row = parseInt(fieldAt(extent, 2, u":"));
  EXPECT_GE(column, 3);
  EXPECT_LE(column, INT32_MAX);
  EXPECT_GE(row, 3);
  EXPECT_LE(row, INT32_MAX);

  EXPECT_EQ(u"2147483647:2147483647",
            LoadRows("<row r=\"2147483647\"><c r=\"FXSHRXW2147483647\"><v>edge</v></c>"
                     "<c><v>next column</v></c></row><row><c><v>next row</v></c></row>"));
  EXPECT_EQ(u"next column", CellText(u"FXSHRXX2147483647"));
  EXPECT_EQ(u"next row", CellText(u"A2147483648"));
}

}  // namespace

namespace {

// What a reader reports when its part cannot be read whole: the place and
// the kind of fault, naming the part; what came before the fault is kept.
TEST_F(WorkbookTest, PartsThatCannotBeReadWholeSayWhy) {
  Text problem = u"stale";
  EXPECT_TRUE(LoadSharedStrings(Put("s.xml", "<sst><si><t>a</t></si></sst>"), problem));
  EXPECT_EQ(u"", problem);

  EXPECT_FALSE(LoadSharedStrings(
      Put("s.xml", "<sst>\n<si><t>kept</t></si>\n<si><t>lost</si>\n<si><t>after</t></si></sst>"),
      problem));
  EXPECT_EQ(u"共享字符串第 3 行第 14 列：开始标记与结束标记不一致", problem);
  // The open item holds what it had when the fault came.
  EXPECT_EQ((std::vector<Text>{u"kept", u"lost"}), SharedStrings);

  EXPECT_FALSE(LoadSharedStrings(Put("s.xml", ""), problem));
  EXPECT_EQ(u"共享字符串是空的", problem);
  EXPECT_FALSE(LoadSharedStrings(dir + u"absent.xml", problem));
  EXPECT_EQ(u"共享字符串不存在", problem);
  EXPECT_TRUE(SharedStrings.empty());

  LoadStrings("<si><t>名</t></si>");
  std::string rows;
  for (int row = 1; row <= 6; ++row) {
    std::string r = std::to_string(row);
    rows += "\n<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>0</v></c><c r=\"B" + r + "\">" +
            (row == 4 ? "<v>1</x>" : "<v>1</v>") + "</c></row>";
  }
  Text extent = LoadWorksheet(Put("sheet1.xml", kSheetOpen + rows + kSheetClose), problem);
  EXPECT_EQ(u"工作表第 5 行第 56 列：开始标记与结束标记不一致", problem);
  // The rows before the fault are read; the one it lies in only up to it.
  EXPECT_EQ(u"2:4", extent);
  EXPECT_EQ(u"名", CellText(u"A4"));
  EXPECT_EQ(u"", CellText(u"A5"));

  EXPECT_EQ(u"0:0", LoadWorksheet(Put("sheet1.xml", "\xEF\xBB\xBF plain words"), problem));
  EXPECT_EQ(u"工作表第 1 行第 3 列：语法错误", problem);
  EXPECT_EQ(u"0:0", LoadWorksheet(Put("sheet1.xml", ""), problem));
  EXPECT_EQ(u"工作表是空的", problem);
  EXPECT_EQ(u"0:0", LoadWorksheet(dir, problem));
  EXPECT_EQ(u"工作表是一个文件夹，不是文件", problem);
  EXPECT_EQ(u"1:1", LoadWorksheet(Put("sheet1.xml", std::string(kSheetOpen) +
                                                       "<row><c><v>x</v></c></row>" + kSheetClose),
                                  problem));
  EXPECT_EQ(u"", problem);
}

// A shared string of a megabyte or more is moved into the last cell using
// it, so it is held once; every cell still reads the same text.
TEST_F(WorkbookTest, HugeSharedStringsMoveIntoTheirLastCell) {
  std::string huge(size_t{1} << 20, 'h');
  std::string other(size_t{1} << 20, 'o');
  LoadStrings("<si><t>" + huge + "</t></si><si><t>small</t></si><si><t>" + other + "</t></si>");
  ASSERT_EQ(3u, SharedStrings.size());
  LoadRows("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
           "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"str\"><f>x</f><v>0</v></c></row>"
           "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\" t=\"s\"><v>1</v></c>"
           "<c r=\"C2\" t=\"s\"><is><t>2</t></is></c></row>");
  EXPECT_TRUE(fromUtf8(huge) == CellText(u"A1"));
  EXPECT_TRUE(fromUtf8(huge) == CellText(u"A2"));
  EXPECT_TRUE(fromUtf8(other) == CellText(u"C1"));
  EXPECT_EQ(u"0", CellText(u"D1"));  // a formula's cached value is no index
  EXPECT_EQ(u"2", CellText(u"C2"));  // nor is an inline string
  EXPECT_EQ(u"small", CellText(u"B2"));
  EXPECT_EQ(u"", SharedStrings[0]);
  EXPECT_EQ(u"small", SharedStrings[1]);
  EXPECT_EQ(u"", SharedStrings[2]);
  // Loading other strings afterwards changes no cell, huge or small.
  LoadStrings("<si><t>x</t></si>");
  EXPECT_TRUE(fromUtf8(huge) == CellText(u"A1"));
  EXPECT_TRUE(fromUtf8(huge) == CellText(u"A2"));
  EXPECT_EQ(u"small", CellText(u"B1"));
  EXPECT_EQ(u"small", CellText(u"B2"));
}

}  // namespace

namespace {

// The extent as the reading was first described (workbook/described_reference.h).
Text DescribedExtent() {
  int64_t maxColumn = 0;
  int64_t maxRow = 0;
  for (const auto& cell : Cells) {
    maxColumn = std::max(maxColumn, DescribedColumn(Text(cell.key)));
    maxRow = std::max(maxRow, DescribedRow(Text(cell.key)));
  }
  return intToText(maxColumn) + u":" + intToText(maxRow);
}

// Sheets of random references, odd ones included, give the extent the
// described procedure gives over the same stored cells.
TEST_F(WorkbookTest, ExtentMatchesTheDescribedProcedure) {
  const char* const odd[] = {
      "a1", "b7", "A0001", "A00", "A1B2", "12", "", "$C$3", "c-5", "ZZZZZZZZ1", "A99999999999",
      "A2147483648", "XFD1048576", "\xC4\xB1" "5",  // dotless i upper-cases to I
      "\xC5\xBF" "3",  // long s upper-cases to S
      "\xC3\xA9" "9", "Ab\xC4\xB1z12", "+7", " D4", "AA-12", "0A", "\xEF\xBD\x81" "1", "AZ", "-"};
  std::mt19937 random(11);
  for (int sheet = 0; sheet < 60; ++sheet) {
    std::string rows;
    int count = 1 + random() % 30;
    for (int i = 0; i < count; ++i) {
      std::string ref;
      switch (random() % 3) {
        case 0: ref = odd[random() % (sizeof odd / sizeof *odd)]; break;
        case 1: ref = toUtf8(ColumnLetters(1 + random() % 20000)) + std::to_string(random() % 3000000); break;
        default: {
          const std::string letters = "abcXYZ";
          for (int k = random() % 4; k > 0; --k) ref += letters[random() % letters.size()];
          ref += std::to_string(random() % 100);
          for (int k = random() % 3; k > 0; --k) ref += letters[random() % letters.size()];
        }
      }
      // Some cells leave out their reference and follow the one before.
      std::string attribute = random() % 5 == 0 ? "" : " r=\"" + ref + "\"";
      rows += "<row><c" + attribute + "><v>" + std::to_string(i) + "</v></c><c/></row>";
    }
    Text extent = LoadRows(rows);
    EXPECT_EQ(DescribedExtent(), extent) << rows;
  }
}

}  // namespace
