#include "ui/log_lines.h"

#include <gtest/gtest.h>

TEST(LogLinesTest, NewestLineGoesOnTop) {
  LogLines log;
  addLine(log, 0, u"a");
  addLine(log, 0, u"b");
  EXPECT_EQ(u"b\na", log.text);
  addLine(log, -1, u"c");
  addLine(log, 7, u"d");
  addLine(log, 1, u"e");
  EXPECT_EQ((std::vector<Text>{u"b", u"e", u"a", u"c", u"d"}), logLinesOf(log));
}

TEST(LogLinesTest, AnEmptyTextOnAnEmptyViewStillCountsAsALine) {
  LogLines log;
  EXPECT_EQ(0u, logLineCount(log));
  addLine(log, 0, u"");
  EXPECT_EQ(u"", log.text);
  EXPECT_EQ(1u, logLineCount(log));
  LogInsertion appended = addLine(log, -1, u"x");
  EXPECT_TRUE(appended.atEnd);
  EXPECT_EQ((std::vector<Text>{u"", u"x"}), logLinesOf(log));
  EXPECT_FALSE(log.holdsOneEmptyLine);
  LogInsertion before = addLine(log, 1, u"y");
  EXPECT_FALSE(before.atEnd);
  EXPECT_EQ(1u, before.line);
  EXPECT_EQ(u"y\n", before.inserted);
  EXPECT_EQ(u"\ny\nx", log.text);
}

TEST(LogLinesTest, InsertingAboveTheEmptyLineKeepsItOnce) {
  LogLines log;
  addLine(log, 0, u"");
  addLine(log, 0, u"a");
  addLine(log, -1, u"c");
  EXPECT_EQ((std::vector<Text>{u"a", u"", u"c"}), logLinesOf(log));
}

// The line count is kept as lines go in, not recounted; it must agree with
// the lines the text holds after any mix of insertions, including texts that
// carry line breaks of their own.
TEST(LogLinesTest, LineCountFollowsEveryInsertion) {
  LogLines log;
  const Text texts[] = {u"", u"a", u"b\nc", u"", u"\n", u"d"};
  const int positions[] = {0, -1, 1, 0, 3, 99, 2};
  for (int round = 0; round < 30; ++round) {
    addLine(log, positions[round % 7], texts[round % 6]);
    ASSERT_EQ(logLinesOf(log).size(), logLineCount(log)) << round;
    size_t breaks = 0;
    for (char16_t c : log.text) breaks += c == u'\n';
    ASSERT_EQ(log.text.empty() && !log.holdsOneEmptyLine ? 0 : breaks + 1, logLineCount(log));
  }
}
