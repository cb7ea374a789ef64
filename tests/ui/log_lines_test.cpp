#include "ui/log_lines.h"

#include <gtest/gtest.h>

#include <random>

TEST(LogLinesTest, NewestLineGoesOnTop) {
  LogLines log;
  addLine(log, 0, u"a");
  addLine(log, 0, u"b");
  EXPECT_EQ(u"b\na", logTextOf(log));
  addLine(log, -1, u"c");
  addLine(log, 7, u"d");
  addLine(log, 1, u"e");
  EXPECT_EQ((std::vector<Text>{u"b", u"e", u"a", u"c", u"d"}), logLinesOf(log));
}

TEST(LogLinesTest, AnEmptyTextOnAnEmptyViewStillCountsAsALine) {
  LogLines log;
  EXPECT_EQ(0u, logLineCount(log));
  addLine(log, 0, u"");
  EXPECT_EQ(u"", logTextOf(log));
  EXPECT_EQ(1u, logLineCount(log));
  LogInsertion appended = addLine(log, -1, u"x");
  EXPECT_TRUE(appended.atEnd);
  EXPECT_EQ((std::vector<Text>{u"", u"x"}), logLinesOf(log));
  EXPECT_FALSE(holdsOneEmptyLine(log));
  LogInsertion before = addLine(log, 1, u"y");
  EXPECT_FALSE(before.atEnd);
  EXPECT_EQ(1u, before.line);
  EXPECT_EQ(u"y\n", before.inserted);
  EXPECT_EQ(u"\ny\nx", logTextOf(log));
}

TEST(LogLinesTest, InsertingAboveTheEmptyLineKeepsItOnce) {
  LogLines log;
  addLine(log, 0, u"");
  addLine(log, 0, u"a");
  addLine(log, -1, u"c");
  EXPECT_EQ((std::vector<Text>{u"a", u"", u"c"}), logLinesOf(log));
}

// The rules stated on the joined text itself: lines are what lies between
// LFs, and a flag counts the one empty line of an empty text.
struct TextLog {
  Text text;
  bool oneEmptyLine = false;

  size_t count() const {
    if (text.empty() && !oneEmptyLine) return 0;
    size_t lines = 1;
    for (char16_t c : text) lines += c == u'\n';
    return lines;
  }

  LogInsertion add(int position, const Text& line) {
    size_t lines = count();
    if (lines == 0 || position < 0 || static_cast<size_t>(position) >= lines) {
      Text inserted = oneEmptyLine || !text.empty() ? u"\n" + line : line;
      oneEmptyLine = lines == 0 && line.empty();
      text += inserted;
      return {true, 0, inserted};
    }
    size_t offset = 0;
    for (int i = 0; i < position; ++i) offset = text.find(u'\n', offset) + 1;
    text.insert(offset, line + u"\n");
    oneEmptyLine = false;
    return {false, static_cast<size_t>(position), line + u"\n"};
  }
};

// Long random runs, with texts that carry line breaks of their own and
// positions around both ends, must agree with the rules on the joined text
// step by step, in what each insertion reports as in the result.
TEST(LogLinesTest, AgreesWithTheRulesOnTheJoinedText) {
  const Text texts[] = {u"", u"a", u"路径/第1组/", u"b\nc", u"\n", u"x\ry", u"\n\nz\n", u"\xD83D\xDE00"};
  std::mt19937 random(20241220);
  for (int run = 0; run < 200; ++run) {
    LogLines log;
    TextLog reference;
    for (int step = 0; step < 40; ++step) {
      int lines = static_cast<int>(reference.count());
      const int positions[] = {-1, 0, 1, lines - 1, lines, lines + 1, 7, static_cast<int>(random() % 9)};
      int position = positions[random() % 8];
      const Text& text = texts[random() % 8];
      LogInsertion got = addLine(log, position, text);
      LogInsertion want = reference.add(position, text);
      ASSERT_EQ(want.atEnd, got.atEnd) << run << "/" << step;
      ASSERT_EQ(want.line, got.line) << run << "/" << step;
      ASSERT_EQ(want.inserted, got.inserted) << run << "/" << step;
      ASSERT_EQ(reference.text, logTextOf(log)) << run << "/" << step;
      ASSERT_EQ(reference.count(), logLineCount(log)) << run << "/" << step;
      ASSERT_EQ(reference.oneEmptyLine, holdsOneEmptyLine(log)) << run << "/" << step;
    }
  }
}

TEST(LogLinesTest, ATextWithLineBreaksBecomesSeveralLines) {
  LogLines log;
  addLine(log, 0, u"a\nb");
  addLine(log, 1, u"c");
  EXPECT_EQ((std::vector<Text>{u"a", u"c", u"b"}), logLinesOf(log));
  addLine(log, 3, u"\n");
  EXPECT_EQ(u"a\nc\nb\n\n", logTextOf(log));
  EXPECT_EQ(5u, logLineCount(log));
}
