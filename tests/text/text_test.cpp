#include "text/text.h"

#include <gtest/gtest.h>

TEST(TextTest, SearchingAndReplacingNeverOverlap) {
  EXPECT_EQ(15, findText(u"xl/worksheets/sheet1.xml", u"sheet1"));
  EXPECT_EQ(0, findText(u"abc", u"x"));
  EXPECT_EQ(0, findText(u"", u"a"));
  EXPECT_EQ(0, findText(u"a", u""));
  EXPECT_EQ(u"a,b,,c", replaceAll(u"a;b;;c", u";", u","));
  EXPECT_EQ(u"ba", replaceAll(u"aaa", u"aa", u"b"));
  EXPECT_EQ(u"abc", replaceAll(u"abc", u"", u"x"));
  EXPECT_EQ(u"xbxb", replaceAll(u"abab", u"a", u"x"));
}

TEST(TextTest, TrimmingRemovesOnlyTheNamedCharacter) {
  EXPECT_EQ(u"a\\b", trimChar(u"\\a\\b\\", u"\\"));
  EXPECT_EQ(u"x", trimChar(u"、、x、", u"、"));
  EXPECT_EQ(u"、、", trimChar(u"、、", u""));
  EXPECT_EQ(u"\\dir", trimRightChar(u"\\dir\\\\\\", u"\\"));
  EXPECT_EQ(u"", trimRightChar(u"\\\\", u"\\"));
}

TEST(TextTest, ParseIntReadsTheValidPrefix) {
  EXPECT_EQ(42, parseInt(u" 42abc"));
  EXPECT_EQ(-7, parseInt(u"-7"));
  EXPECT_EQ(5, parseInt(u"\t+5"));
  EXPECT_EQ(0, parseInt(u"- 5"));
  EXPECT_EQ(0, parseInt(u"abc"));
  EXPECT_EQ(0, parseInt(u""));
  EXPECT_EQ(31, parseInt(u"$1F"));
  EXPECT_EQ(31, parseInt(u"$1f"));
  EXPECT_EQ(5, parseInt(u"%101"));
  EXPECT_EQ(0, parseInt(u"%2"));
  EXPECT_EQ(3, parseInt(u"3.9"));
  EXPECT_EQ(0, parseInt(u"0x1F"));
  EXPECT_EQ(0, parseInt(u"\u00A012"));
  // Wraps modulo 2^64 rather than saturating.
  EXPECT_EQ(INT64_MIN, parseInt(u"9223372036854775808"));
  EXPECT_EQ(0, parseInt(u"18446744073709551616"));
}

TEST(TextTest, IntToTextCoversTheWholeRange) {
  EXPECT_EQ(u"0", intToText(0));
  EXPECT_EQ(u"-2147483648", intToText(-2147483648LL));
  EXPECT_EQ(u"4294967296", intToText(4294967296LL));
  EXPECT_EQ(u"-9223372036854775808", intToText(INT64_MIN));
  EXPECT_EQ(u"9223372036854775807", intToText(INT64_MAX));
}

TEST(TextTest, ToUpperKeepsTheLength) {
  EXPECT_EQ(u"AB12", toUpper(u"ab12"));
  EXPECT_EQ(u"ÀÉ ΣΣ ЖЁ Ａ 中", toUpper(u"àé σς жё ａ 中"));
  Text surrogates = u"\U0001F600x";
  EXPECT_EQ(surrogates.size(), toUpper(surrogates).size());
}

TEST(TextTest, Utf8RoundTripAndStrictCheck) {
  Text mixed = u"履职材料 a\U0001F600";
  EXPECT_EQ(mixed, fromUtf8(toUtf8(mixed)));
  EXPECT_EQ(u"a\uFFFDb", fromUtf8("a\xFF" "b"));
  EXPECT_TRUE(isStrictUtf8("xl/\xE4\xB8\xAD.xml\t"));
  EXPECT_FALSE(isStrictUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(isStrictUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(isStrictUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(isStrictUtf8("a\x01"));
  EXPECT_FALSE(isStrictUtf8("\xD6\xD0"));  // GBK bytes
}
