#include "text/pattern.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<Text> matchesOf(const Text& pattern, const Text& s, int* count = nullptr) {
  EXPECT_TRUE(createPattern(0, pattern));
  std::vector<Text> list(1);
  int found = extractMatches(0, s, list);
  if (count != nullptr) *count = found;
  return list;
}

}  // namespace

TEST(PatternTest, CollectsEveryMatchInOrder) {
  int count = 0;
  EXPECT_EQ(std::vector<Text>{u"AB"}, matchesOf(u"[A-Z]+", u"AB12", &count));
  EXPECT_EQ(1, count);
  EXPECT_EQ((std::vector<Text>{u"A", u"B"}), matchesOf(u"[A-Z]+", u"A1B2", &count));
  EXPECT_EQ(2, count);
  EXPECT_EQ(std::vector<Text>{u"12"}, matchesOf(u"[0-9]+", u"AB12"));
  // No match leaves the caller's one-element list as it was.
  EXPECT_EQ(std::vector<Text>{u""}, matchesOf(u"[A-Z]+", u"12", &count));
  EXPECT_EQ(0, count);
  EXPECT_EQ((std::vector<Text>{u"材料", u"表"}), matchesOf(u"[\u4e00-\u9fff]+", u"材料-1表"));
}

TEST(PatternTest, EmptyMatchesAlwaysAdvance) {
  int count = 0;
  matchesOf(u"x*", u"a中b", &count);
  EXPECT_EQ(4, count);  // before a, 中 and b, and at the end
}

TEST(PatternTest, FailedCompileEmptiesTheNumber) {
  ASSERT_TRUE(createPattern(3, u"[0-9]+"));
  EXPECT_FALSE(createPattern(3, u"(unclosed"));
  EXPECT_FALSE(lastPatternError().empty());
  std::vector<Text> list(1, u"kept");
  EXPECT_EQ(0, extractMatches(3, u"123", list));
  EXPECT_EQ(u"kept", list[0]);
  EXPECT_EQ(0, extractMatches(99, u"123", list));
  ASSERT_TRUE(createPattern(3, u"[0-9]+"));
  EXPECT_TRUE(lastPatternError().empty());
  releasePatterns(-1);
  EXPECT_EQ(0, extractMatches(3, u"123", list));
}

TEST(PatternTest, ErrorsAreKeptPerThread) {
  EXPECT_FALSE(createPattern(1, u"*"));
  Text other;
  std::thread([&] { other = lastPatternError(); }).join();
  EXPECT_TRUE(other.empty());
  EXPECT_FALSE(lastPatternError().empty());
}
