#include "ui/summary_layout.h"

#include <gtest/gtest.h>

TEST(SummaryLayout, ViewGrowsWithTheTextBetweenTheLimits) {
  // 1024 × 768 work area, 40 pixels of chrome across, 100 down.
  EXPECT_EQ(260, summaryViewWidth(10, 40, 300, 560, 1024));    // a short text: the narrowest box
  EXPECT_EQ(400, summaryViewWidth(400, 40, 300, 560, 1024));   // its own width
  EXPECT_EQ(520, summaryViewWidth(5000, 40, 300, 560, 1024));  // the widest box
  EXPECT_EQ(200, summaryViewWidth(5000, 40, 300, 560, 240));   // never past the work area
  EXPECT_EQ(1, summaryViewWidth(5000, 40, 300, 560, 20));

  EXPECT_EQ(60, summaryViewHeight(60, 16, 100, 768));
  EXPECT_EQ(412, summaryViewHeight(9000, 16, 100, 768));  // two thirds of 768, less the chrome
  EXPECT_EQ(16, summaryViewHeight(9000, 16, 600, 768));   // at least one line...
  EXPECT_EQ(1, summaryViewHeight(9000, 16, 800, 768));    // ...unless the area has no room
  EXPECT_EQ(1, summaryViewHeight(0, 16, 100, 768));
}

TEST(SummaryLayout, DialogLiesWhollyInTheWorkArea) {
  ScreenRect area{0, 30, 1024, 738};
  ScreenRect centred = placeInArea(area, 512, 400, 200, 100);
  EXPECT_EQ(412, centred.x);
  EXPECT_EQ(350, centred.y);
  ScreenRect nearCorner = placeInArea(area, 1000, 760, 200, 100);
  EXPECT_EQ(824, nearCorner.x);
  EXPECT_EQ(668, nearCorner.y);
  ScreenRect aboveTop = placeInArea(area, 10, 0, 200, 100);
  EXPECT_EQ(0, aboveTop.x);
  EXPECT_EQ(30, aboveTop.y);
  ScreenRect larger = placeInArea(area, 512, 400, 2000, 1000);
  EXPECT_EQ(0, larger.x);
  EXPECT_EQ(30, larger.y);
}
