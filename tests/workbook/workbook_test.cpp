#include "workbook/workbook.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "workbook/workbook_file.h"

namespace {

const char* const kSheetOpen =
    "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<sheetData>";
const char* const kSheetClose = "</sheetData></worksheet>";

class WorkbookTest : public TempFolderTest {
 protected:
  // Reads a workbook of a shared-strings part holding items and a sheet of
  // these rows; without items, there is no shared-strings part.
  Table Read(const std::string& items, const std::string& rows) {
    return ReadParts(items.empty() ? "" : "<sst>" + items + "</sst>",
                     kSheetOpen + rows + kSheetClose);
  }
  Table ReadParts(const std::string& strings, const std::string& sheet) {
    ZipEntries entries;
    if (!strings.empty()) entries.emplace_back(kStringsPart, strings);
    entries.emplace_back(kSheetPart, sheet);
    return ReadEntries(dir + u"book.xlsx", entries);
  }
  // The texts the shared strings give cells referring to indices 0 to
  // count - 1; an index beyond the items keeps its number.
  std::vector<Text> Strings(const std::string& strings, int count) {
    std::string row = "<row r=\"1\">";
    for (int i = 0; i < count; ++i) row += "<c t=\"s\"><v>" + std::to_string(i) + "</v></c>";
    Table table = ReadParts(strings, kSheetOpen + row + "</row>" + kSheetClose);
    EXPECT_FALSE(table.status.failure) << strings;
    std::vector<Text> texts;
    for (int i = 1; i <= count; ++i) texts.emplace_back(table.cells.text(ColumnLetters(i) + u"1"));
    return texts;
  }
};

Text At(const Table& table, const char16_t* ref) {
  return Text(table.cells.text(ref));
}

// Each reference's cell text, a failure naming the reference.
void ExpectCells(const Table& table,
                 std::initializer_list<std::pair<const char16_t*, const char16_t*>> cells) {
  for (const auto& [ref, text] : cells) EXPECT_EQ(Text(text), At(table, ref)) << toUtf8(ref);
}

Text Extent(const Table& table) {
  return intToText(table.maxColumn) + u":" + intToText(table.maxRow);
}

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
  EXPECT_EQ(
      (std::vector<Text>{u"Entry", u"Material-1", u"North;South", u" Extra ", u"", u"A&B", u"6"}),
      Strings("<sst><si><t>Entry</t></si>"
              "<si><r><rPr><b/></rPr><t>Mat</t></r><r><t>erial-1</t></r></si>"
              "<si><t>North;South</t><rPh sb=\"0\" eb=\"1\"><t>n</t></rPh></si>"
              "<si><t xml:space=\"preserve\"> Extra </t></si>"
              "<si><t/></si>"
              "<si><t>A&amp;B</t></si></sst>",
              7));
}

// The first "t" or "r" child decides an item; an item with neither is no
// item, and only the "si" elements of an "sst" count, whatever their prefix.
TEST_F(WorkbookTest, SharedStringsFirstTextOrRunDecidesTheItem) {
  EXPECT_EQ((std::vector<Text>{u"direct", u"runs", u"after comments", u"3"}),
            Strings("<sst><si><t>direct</t><r><t>ignored</t></r></si>"
                    "<si><r><t>run</t><t>second t</t></r><t>ignored</t><r><rPr/></r><r><t>s</t>"
                    "</r></si>"
                    "<si><phoneticPr fontId=\"1\"/></si>"  // neither: later ones move up
                    "<SI><t>upper</t></SI>"
                    "<si><T>upper t</T></si>"
                    "<!-- c --><si><!-- c --><t>after comments</t></si></sst>",
                    4));
  EXPECT_EQ((std::vector<Text>{u"one", u"two"}),
            Strings("<x:sst xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                    "main\"><x:si><x:t>one</x:t></x:si>"
                    "<x:si><x:r><x:t>t</x:t></x:r><x:r><x:t>wo</x:t></x:r></x:si></x:sst>",
                    2));
  EXPECT_EQ((std::vector<Text>{u"0"}), Strings("<strings><si><t>x</t></si></strings>", 1));
  EXPECT_EQ((std::vector<Text>{u"a\r\nb\r\nc"}),
            Strings("<sst>\r\n<si><t>a\r\nb\nc</t></si></sst>\r\n", 1));
}

TEST_F(WorkbookTest, WorksheetWalkThrough) {
  Table table = ReadParts(
      "<sst><si><t>Entry</t></si><si><t>Material-1</t></si><si><t>North;South</t></si>"
      "<si><t> Extra </t></si><si><t/></si><si><t>A&amp;B</t></si></sst>",
      "<worksheet><dimension ref=\"B2:F4\"/><sheetData>"
      "<row r=\"2\"><c r=\"C2\" t=\"s\"><v>0</v></c><c r=\"D2\" t=\"s\"><v>2</v></c>"
      "<c r=\"F2\" s=\"3\"/></row>"
      "<row r=\"3\"><c r=\"C3\" t=\"s\"><v>1</v></c><c r=\"D3\"><v>12.5</v></c>"
      "<c r=\"E3\" t=\"s\"><v>9</v></c></row>"
      "<row r=\"4\"><c r=\"b4\" t=\"s\"><v>5</v></c>"
      "<c r=\"C4\" t=\"str\"><f>LEN(C3)</f><v>10</v></c>"
      "<c r=\"D4\" t=\"inlineStr\"><is><t>Hi</t></is></c></row>"
      "</sheetData><pageMargins left=\"0.7\"/></worksheet>");
  EXPECT_EQ(u"5:4", Extent(table));
  EXPECT_EQ(8u, table.cells.size());
  ExpectCells(table, {
                         {u"C2", u"Entry"}, {u"D2", u"North;South"}, {u"C3", u"Material-1"},
                         {u"D3", u"12.5"}, {u"E3", u"9"}, {u"b4", u"A&B"}, {u"C4", u"10"},
                         {u"D4", u"Hi"}, {u"B4", u""}, {u"E2", u""}, {u"F2", u""}});
}

TEST_F(WorkbookTest, WorksheetCellForms) {
  Table table =
      Read("<si><t>zero</t></si><si><t>one</t></si>",
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
  EXPECT_EQ(u"13:1", Extent(table));
  ExpectCells(table, {
                         {u"A1", u"-1"}, {u"B1", u"2"}, {u"C1", u"zero"}, {u"D1", u"one"},
                         {u"E1", u"1"}, {u"F1", u"#N/A"}, {u"G1", u""}});
  EXPECT_TRUE(table.cells.contains(u"G1"));
  ExpectCells(table, {
                         {u"H1", u"inline"}, {u"I1", u""}, {u"J1", u"ext"}, {u"K1", u"7"},
                         {u"L1", u"one"}, {u"M1", u"first"}});
}

// A CDATA section is text like any other, wherever it stands among the rest
// of an element's text: in shared strings, their runs, inline strings and
// values.
TEST_F(WorkbookTest, CdataSectionsAreText) {
  Table table = Read(
      "<si><t><![CDATA[张三]]></t></si>"
      "<si><t>x<![CDATA[y]]>z<![CDATA[<&>]]></t></si>"
      "<si><r><t><![CDATA[Mat]]></t></r><r><t>er<![CDATA[ial]]></t></r></si>",
      "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>0</v></c><c r=\"B3\" t=\"s\"><v>1</v></c>"
      "<c r=\"C3\" t=\"s\"><v><![CDATA[2]]></v></c>"
      "<c r=\"D3\" t=\"inlineStr\"><is><t>李<![CDATA[四]]></t></is></c>"
      "<c r=\"E3\" t=\"str\"><f>A3</f><v><![CDATA[王]]>五</v></c></row>");
  ExpectCells(table, {
                         {u"A3", u"张三"}, {u"B3", u"xyz<&>"}, {u"C3", u"Material"}, {u"D3", u"李四"},
                         {u"E3", u"王五"}});
}

TEST_F(WorkbookTest, WorksheetWithoutSharedStringsKeepsIndexTexts) {
  Table table =
      Read("", "<row><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>3</v></c></row>");
  EXPECT_FALSE(table.status.hasSharedStrings);
  EXPECT_EQ(u"2:1", Extent(table));
  EXPECT_EQ(u"0", At(table, u"A1"));
  EXPECT_EQ(u"3", At(table, u"B1"));
}

TEST_F(WorkbookTest, WorksheetReferencesAsWritten) {
  Table table = Read(
      "",
      "<row r=\"3\"><c r=\"d3\"><v>lower</v></c><c r=\"A01\"><v>zero-led</v></c>"
      "<c r=\"A1B2\"><v>two runs</v></c><c r=\"C3\"><v>first</v></c><c r=\"C3\"><v>later</v></c>"
      "</row>");
  EXPECT_EQ(u"4:3", Extent(table));
  ExpectCells(table, {
                         {u"d3", u"lower"}, {u"D3", u""}, {u"A01", u"zero-led"},
                         {u"A1B2", u"two runs"}, {u"C3", u"later"}});
}

TEST_F(WorkbookTest, WorksheetNumbersCellsAndRowsWithoutReferences) {
  Table table = Read("<si><t>s0</t></si>",
                     "<row><c><v>a1</v></c><c t=\"s\"><v>0</v></c></row>"  // row 1: A1, B1
                     "<!-- a comment is not a row -->"
                     "<row><c r=\"C2\" s=\"1\"/><c><v>d2</v></c></row>"  // after an empty C2: D2
                     "<row r=\"7\"><c r=\"E7\"><v>e7</v></c><!--x--><c><v>f7</v></c></row>"
                     "<row><c><v>a8</v></c></row>"             // the row after 7
                     "<row r=\"junk\"><c><v>a9</v></c></row>"  // no number: next row
                     "<row r=\"4\"><c r=\"#\"><v>no letters</v></c><c><v>a4</v></c></row>");
  EXPECT_EQ(u"6:9", Extent(table));
  ExpectCells(table, {
                         {u"A1", u"a1"}, {u"B1", u"s0"}, {u"D2", u"d2"}, {u"E7", u"e7"},
                         {u"F7", u"f7"}, {u"A8", u"a8"}, {u"A9", u"a9"}, {u"#", u"no letters"},
                         {u"A4", u"a4"}});
  EXPECT_EQ(9u, table.cells.size());
}

TEST_F(WorkbookTest, WorksheetRecognisesNamespacePrefixes) {
  Table table = ReadParts("<x:sst xmlns:x=\"urn:s\"><x:si><x:t>shared</x:t></x:si></x:sst>",
                          "<x:worksheet xmlns:x=\"urn:s\"><x:dimension ref=\"A1\"/><x:sheetData>"
                          "<x:row r=\"2\"><x:c r=\"D2\" t=\"s\"><x:v>0</x:v></x:c>"
                          "<x:c r=\"E2\"><x:f>1+1</x:f><x:v>2</x:v></x:c>"
                          "<x:c t=\"inlineStr\"><x:is><x:t>F2</x:t></x:is></x:c></x:row>"
                          "</x:sheetData></x:worksheet>");
  EXPECT_EQ(u"6:2", Extent(table));
  ExpectCells(table, {{u"D2", u"shared"}, {u"E2", u"2"}, {u"F2", u"F2"}});
}

// Rows are the elements of the worksheet's first sheetData; anything else
// gives an empty table.
TEST_F(WorkbookTest, WorksheetWithoutRowsGivesNoCells) {
  const char* const rowless[] = {
      "<sheet><sheetData><row><c r=\"A1\"><v>1</v></c></row></sheetData></sheet>",
      "<worksheet><cols/></worksheet>",
      "<worksheet><sheetdata><row><c r=\"A1\"><v>1</v></c></row></sheetdata></worksheet>",
      "<worksheet><sheetData/></worksheet>",
      "<worksheet><sheetData><row r=\"1\"/><row r=\"2\"><c r=\"B2\" s=\"1\"/></row>"
      "</sheetData></worksheet>",
  };
  for (const char* xml : rowless) {
    Table table = ReadParts("", xml);
    EXPECT_FALSE(table.status.failure) << xml;
    EXPECT_EQ(u"0:0", Extent(table)) << xml;
    EXPECT_TRUE(table.cells.empty()) << xml;
  }
}

TEST_F(WorkbookTest, WorksheetIgnoresNumbersBeyond32Bits) {
  Table table = Read("",
                     "<row r=\"3\"><c r=\"C3\"><v>ok</v></c>"
                     "<c r=\"FXSHRXX3\"><v>column 2^31</v></c>"
                     "<c r=\"" +
                         std::string(5000, 'Q') +
                         "1\"><v>long run</v></c>"
                         "<c r=\"A2147483648\"><v>row 2^31</v></c>"
                         "<c r=\"A99999999999999999999999\"><v>huge row</v></c></row>");
  EXPECT_EQ(5u, table.cells.size());
  EXPECT_EQ(u"column 2^31", At(table, u"FXSHRXX3"));
  EXPECT_EQ(u"row 2^31", At(table, u"A2147483648"));
  // Whatever the wrapped values are, the extent stays a pair of 32-bit numbers.
  EXPECT_GE(table.maxColumn, 3);
  EXPECT_GE(table.maxRow, 3);

  table = Read("",
               "<row r=\"2147483647\"><c r=\"FXSHRXW2147483647\"><v>edge</v></c>"
               "<c><v>next column</v></c></row><row><c><v>next row</v></c></row>");
  EXPECT_EQ(u"2147483647:2147483647", Extent(table));
  EXPECT_EQ(u"next column", At(table, u"FXSHRXX2147483647"));
  EXPECT_EQ(u"next row", At(table, u"A2147483648"));
}

// A part that cannot be read whole gives no cells, and the status says what
// was found where: the part, the kind of fault, and for XML the place.
TEST_F(WorkbookTest, PartsThatCannotBeReadWholeSayWhy) {
  const std::string rows = kSheetOpen + std::string("<row><c><v>x</v></c></row>") + kSheetClose;
  std::string broken;
  for (int row = 1; row <= 6; ++row) {
    std::string r = std::to_string(row);
    broken += "\n<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>0</v></c><c r=\"B" + r +
              "\">" + (row == 4 ? "<v>1</x>" : "<v>1</v>") + "</c></row>";
  }
  struct Case {
    std::string strings, sheet;
    ErrorKind kind;
    WorkbookPart part;
    int64_t line, column;
  } cases[] = {
      {"<sst>\n<si><t>kept</t></si>\n<si><t>lost</si>\n<si><t>after</t></si></sst>", rows,
       ErrorKind::kXmlMalformed, WorkbookPart::kSharedStrings, 3, 14},
      {"", kSheetOpen + broken + kSheetClose, ErrorKind::kXmlMalformed, WorkbookPart::kSheet, 5,
       56},
      {"", "\xEF\xBB\xBF plain words", ErrorKind::kXmlMalformed, WorkbookPart::kSheet, 1, 3},
      {"", "<!-- no element -->", ErrorKind::kXmlMalformed, WorkbookPart::kSheet, 1, 20},
      {"", kSheetOpen + std::string("<row r=\"1\"><c r=\"A1\" t="), ErrorKind::kXmlMalformed,
       WorkbookPart::kSheet, 1, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strings + " / " + c.sheet);
    Table table = ReadParts(c.strings, c.sheet);
    EXPECT_EQ(c.kind, table.status.failure.kind);
    EXPECT_EQ(c.part, table.status.part);
    EXPECT_EQ(c.line, table.status.line);
    EXPECT_EQ(c.column, table.status.column);
    EXPECT_TRUE(table.cells.empty());
  }
  Table table = ReadParts("", "");
  EXPECT_EQ(ErrorKind::kPartEmpty, table.status.failure.kind);
  EXPECT_EQ(WorkbookPart::kSheet, table.status.part);
  table = ReadEntries(dir + u"book.xlsx", {{kStringsPart, ""}, {kSheetPart, rows}});
  EXPECT_EQ(ErrorKind::kPartEmpty, table.status.failure.kind);
  EXPECT_EQ(WorkbookPart::kSharedStrings, table.status.part);
}

// A shared string of a megabyte or more is moved into the last cell using
// it, so it is held once; every cell still reads the same text.
TEST_F(WorkbookTest, HugeSharedStringsMoveIntoTheirLastCell) {
  std::string huge(size_t{1} << 20, 'h');
  std::string other(size_t{1} << 20, 'o');
  Table table =
      Read("<si><t>" + huge + "</t></si><si><t>small</t></si><si><t>" + other + "</t></si>",
           "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
           "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"str\"><f>x</f><v>0</v></c></row>"
           "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"B2\" t=\"s\"><v>1</v></c>"
           "<c r=\"C2\" t=\"s\"><is><t>2</t></is></c></row>");
  EXPECT_TRUE(fromUtf8(huge) == At(table, u"A1"));
  EXPECT_TRUE(fromUtf8(huge) == At(table, u"A2"));
  EXPECT_TRUE(fromUtf8(other) == At(table, u"C1"));
  EXPECT_EQ(u"0", At(table, u"D1"));  // a formula's cached value is no index
  EXPECT_EQ(u"2", At(table, u"C2"));  // nor is an inline string
  EXPECT_EQ(u"small", At(table, u"B1"));
  EXPECT_EQ(u"small", At(table, u"B2"));
}

}  // namespace
