// The sheet's extent is taken from each reference as it is stored, by a scan
// of its code units. These tests hold it to the procedure it replaces: the
// first match of "[A-Z]+" and of "[0-9]+" in the upper-cased text of every
// stored key, read as a bijective base-26 column and a decimal row, each kept
// to its low 32 bits. Keys and values are checked against a map the test
// builds itself from the sheet it wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "text/text.h"
#include "workbook/cell_map.h"
#include "workbook/described_reference.h"
#include "workbook/reference_scan.h"
#include "workbook/workbook.h"
#include "workbook/workbook_file.h"

namespace {

// The extent as described: both maxima over every key of the map, afterwards.
Text DescribedExtent(const CellMap& cells) {
  int64_t maxColumn = 0, maxRow = 0;
  for (const auto& cell : cells) {
    maxColumn = std::max(maxColumn, DescribedColumn(Text(cell.key)));
    maxRow = std::max(maxRow, DescribedRow(Text(cell.key)));
  }
  return intToText(maxColumn) + u":" + intToText(maxRow);
}

// Pieces that odd references are made of: lower case, the two non-ASCII
// letters whose upper case is ASCII, other non-ASCII letters (full-width,
// Greek, Cyrillic, a lone surrogate), leading zeros, runs long enough to
// overflow 32 and 64 bits, and marks that split runs.
const std::vector<Text> kPieces = {
    u"A",
    u"Z",
    u"a",
    u"z",
    u"XFD",
    u"xfd",
    u"FXSHRXX",
    u"\u0131",
    u"\u017F",
    u"\u00E9",
    u"\uFF41",
    u"\u03B1",
    u"\u0430",
    u"\xD800",
    u"1",
    u"0",
    u"007",
    u"9",
    u"2147483647",
    u"2147483648",
    u"4294967297",
    u"99999999999999999999999",
    u"$",
    u"#",
    u" ",
    u"-",
    u":",
    u"\u0661",
    u"ZZZZZZZZZZZZZZ",
};

Text RandomReference(std::mt19937& random) {
  Text ref;
  int pieces = std::uniform_int_distribution<int>(0, 5)(random);
  std::uniform_int_distribution<size_t> pick(0, kPieces.size() - 1);
  for (int i = 0; i < pieces; ++i) ref += kPieces[pick(random)];
  return ref;
}

std::string XmlEscaped(const Text& text) {
  std::string out;
  for (char c : toUtf8(text)) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

TEST(ReferenceScan, AgreesWithThePatternsForEveryCodeUnitAndOddReferences) {
  // Each code unit alone, and inside runs, catches any unit whose upper case
  // the scan and toUpper disagree about.
  for (uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
    Text alone(1, static_cast<char16_t>(unit));
    for (const Text& ref : {alone, u"B" + alone + u"C12", u"7" + alone + u"8"}) {
      ReferenceNumbers numbers = ScanReference(ref);
      ASSERT_EQ(DescribedColumn(ref), numbers.column) << "unit " << unit;
      ASSERT_EQ(DescribedRow(ref), numbers.row) << "unit " << unit;
    }
  }
  const Text fixed[] = {u"",
                        u"D2",
                        u"d2",
                        u"A01",
                        u"A1B2",
                        u"12",
                        u"$%",
                        u"ab",
                        u"$D$7",
                        u"FXSHRXW1",
                        u"FXSHRXX1",
                        u"A2147483648",
                        u"A4294967295",
                        u"A18446744073709551617",
                        Text(5000, u'Q') + u"1",
                        u"1A",
                        u"\u0131\u017F9"};
  for (const Text& ref : fixed) {
    ReferenceNumbers numbers = ScanReference(ref);
    EXPECT_EQ(DescribedColumn(ref), numbers.column) << toUtf8(ref);
    EXPECT_EQ(DescribedRow(ref), numbers.row) << toUtf8(ref);
    EXPECT_EQ(DescribedColumn(ref), ColumnNumber(ref)) << toUtf8(ref);
  }
  std::mt19937 random(20261209);
  for (int i = 0; i < 20000; ++i) {
    Text ref = RandomReference(random);
    ReferenceNumbers numbers = ScanReference(ref);
    ASSERT_EQ(DescribedColumn(ref), numbers.column) << toUtf8(ref);
    ASSERT_EQ(DescribedRow(ref), numbers.row) << toUtf8(ref);
  }
  EXPECT_EQ(9, ScanReference(u"\u0131").column);  // dotless i reads as I
  EXPECT_EQ(0, ScanReference(u"\uFF21").column);  // a full-width A is no letter here
}

class ExtentTest : public TempFolderTest {
 protected:
  // Reads the sheet beside three shared strings.
  Table Read(const std::string& sheet) {
    return ReadEntries(
        dir + u"book.xlsx",
        {{kStringsPart,
          "<sst><si><t>zero</t></si><si><t>one</t></si><si><t>two;three</t></si></sst>"},
         {kSheetPart, sheet}});
  }
};

// Sheets of random cells whose references use the odd forms above, some
// repeated, some left out (the reader then numbers them), some without a
// value. The extent must be what the described procedure gives over the keys
// the reader stored, and the keys and values what the sheet says.
TEST_F(ExtentTest, GeneratedSheetsGiveTheDescribedExtentKeysAndValues) {
  std::mt19937 random(7);
  for (int sheet = 0; sheet < 60; ++sheet) {
    std::map<Text, Text> expected;
    std::string xml = "<worksheet><sheetData>";
    int rows = std::uniform_int_distribution<int>(0, 12)(random);
    int64_t rowNumber = 0;
    for (int r = 0; r < rows; ++r) {
      rowNumber = rowNumber + 1 + std::uniform_int_distribution<int>(0, 3)(random);
      xml += "<row r=\"" + std::to_string(rowNumber) + "\">";
      int64_t column = 0;
      int cells = std::uniform_int_distribution<int>(0, 8)(random);
      for (int c = 0; c < cells; ++c) {
        int form = std::uniform_int_distribution<int>(0, 9)(random);
        Text ref;
        std::string attributes;
        // What the file can carry: a lone surrogate arrives as U+FFFD.
        Text written = fromUtf8(toUtf8(RandomReference(random)));
        if (form == 1 && !expected.empty()) written = expected.begin()->first;
        if (form == 0 || written.empty()) {
          // No reference: the column after the previous cell's.
          column = std::max<int64_t>(column, 0) + 1;
          ref = ColumnLetters(column) + intToText(rowNumber);
        } else {
          ref = written;
          column = DescribedColumn(ref);
          attributes = " r=\"" + XmlEscaped(ref) + "\"";
        }
        int kind = std::uniform_int_distribution<int>(0, 4)(random);
        if (kind == 0) {
          xml += "<c" + attributes + " s=\"3\"/>";  // formatted, no value: not stored
          continue;
        }
        if (kind == 1) {
          xml += "<c" + attributes + " t=\"s\"><v>2</v></c>";
          expected[ref] = u"two;three";
        } else if (kind == 2) {
          xml += "<c" + attributes + " t=\"s\"><v>17</v></c>";  // outside the list
          expected[ref] = u"17";
        } else {
          std::string number = std::to_string(random() % 100000);
          xml += "<c" + attributes + "><v>" + number + "</v></c>";
          expected[ref] = fromUtf8(number);
        }
      }
      xml += "</row>";
    }
    xml += "</sheetData></worksheet>";
    Table table = Read(xml);
    ASSERT_EQ(DescribedExtent(table.cells),
              intToText(table.maxColumn) + u":" + intToText(table.maxRow))
        << xml;
    ASSERT_EQ(expected.size(), table.cells.size()) << xml;
    for (const auto& [ref, value] : expected)
      ASSERT_EQ(value, Text(table.cells.text(ref))) << toUtf8(ref);
  }
}

// The map is sized to the sheet before the walk; a large sheet must still
// come out whole.
TEST_F(ExtentTest, LargeSheetIsReadWhole) {
  std::string xml = "<worksheet><dimension ref=\"A1:XFD1048576\"/><sheetData>";
  for (int r = 1; r <= 3000; ++r) {
    xml += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 1; c <= 12; ++c)
      xml += "<c r=\"" + toUtf8(ColumnLetters(c)) + std::to_string(r) + "\" t=\"s\"><v>" +
             std::to_string((r + c) % 3) + "</v></c>";
    xml += "</row>";
  }
  Table table = Read(xml + "</sheetData></worksheet>");
  EXPECT_EQ(12, table.maxColumn);
  EXPECT_EQ(3000, table.maxRow);
  ASSERT_EQ(36000u, table.cells.size());
  EXPECT_EQ(u"two;three", table.cells.text(u"L2999"));
  EXPECT_EQ(u"zero", table.cells.text(u"B1"));
}

// The map's hash keeps a row's cells in neighbouring slots. Rows that are
// multiples of the slot count are the worst case for a hash linear in the
// row: still a lookup may go through no more than a few cache lines of slots,
// or the reading of a large sheet turns quadratic. Keys written
// another way (lower case, leading zeros, no digits, four letters), texts
// long and short, and replaced texts go through the map like any other.
TEST(CellMapHash, SpreadsTheCellsOfAGridAndTakesEveryKey) {
  CellMap cells;
  for (int64_t row = 1; row <= 1000; ++row) {
    for (int64_t column = 1; column <= 24; ++column)
      cells.set(ColumnLetters(column) + intToText(row * 32768), u"x");
  }
  ASSERT_EQ(24000u, cells.size());
  EXPECT_LE(cells.meanProbe(), 4.0);
  CellMap wide;  // rows as wide as a sheet can be must not overrun each other
  for (int64_t row = 1; row <= 20; ++row) {
    for (int64_t column = 1; column <= 16384; ++column)
      wide.set(ColumnLetters(column) + intToText(row), u"x");
  }
  EXPECT_LE(wide.meanProbe(), 16.0);
  EXPECT_EQ(u"x", cells.text(u"X32768000"));

  CellMap odd;
  const Text keys[] = {u"A1", u"A01",          u"a1",         u"AAAA1",         u"A",    u"1",
                       u"",   u"A12345678901", u"XFD1048576", u"ZZZ9999999999", u"A1B2", u"$A$1"};
  const Text longText(5000, u'y');
  for (const Text& key : keys) odd.set(key, key + u"!");
  odd.setMoved(u"A1", Text(longText));
  odd.set(u"A01", longText);
  odd.setMoved(u"a1", Text(longText));
  odd.set(u"a1", u"short again");
  ASSERT_EQ(std::size(keys), odd.size());
  EXPECT_EQ(longText, odd.text(u"A1"));
  EXPECT_EQ(longText, odd.text(u"A01"));
  EXPECT_EQ(u"short again", odd.text(u"a1"));
  for (size_t i = 3; i < std::size(keys); ++i) EXPECT_EQ(keys[i] + u"!", odd.text(keys[i])) << toUtf8(keys[i]);
  size_t seen = 0;
  for (const auto& [key, text] : odd) EXPECT_EQ(keys[seen++], key);  // in the order first stored
  EXPECT_FALSE(odd.contains(u"B1"));
  EXPECT_EQ(u"", odd.text(u"B1"));
}

}  // namespace
