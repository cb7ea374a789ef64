#include "ui/progress_meter.h"

#include <gtest/gtest.h>

TEST(ProgressMeter, SizesAndTimesAsAPersonReadsThem) {
  EXPECT_EQ(u"0.0 KB", sizeText(0));
  EXPECT_EQ(u"1.5 KB", sizeText(1536));
  EXPECT_EQ(u"1023.9 KB", sizeText(1024 * 1024 - 150));
  EXPECT_EQ(u"1.0 MB", sizeText(1024 * 1024 - 10));  // never "1024.0 KB"
  EXPECT_EQ(u"38.0 MB", sizeText(38 * 1024 * 1024));
  EXPECT_EQ(u"1.0 GB", sizeText(1024LL * 1024 * 1024 - 1000));
  EXPECT_EQ(u"3.4 GB", sizeText(3650722202LL));
  EXPECT_EQ(u"约剩 10 秒", timeLeftText(10));
  EXPECT_EQ(u"约剩 40 秒", timeLeftText(44));
  EXPECT_EQ(u"约剩 50 秒", timeLeftText(45));
  EXPECT_EQ(u"约剩 1 分钟", timeLeftText(55));
  EXPECT_EQ(u"约剩 3 分钟", timeLeftText(170));
  EXPECT_EQ(u"约剩 62 分钟", timeLeftText(3700));
}

TEST(ProgressMeter, EndLineNamesLockFilesAndFailuresOnlyWhenThereAreAny) {
  EndCounts counts{152, 3041, 38 * 1024 * 1024, 0, 0, 0};
  EXPECT_EQ(u"完成：152 个目标，复制 3041 个文件（38.0 MB），0 个文件无变化", endLine(counts));
  counts.unchangedFiles = 12;
  counts.lockFiles = 2;
  counts.oldCopies = 4;
  counts.failures = 3;
  EXPECT_EQ(u"完成：152 个目标，复制 3041 个文件（38.0 MB），12 个文件无变化，2 个锁定文件未复制，"
            u"4 个旧文件未删除（材料中已没有），3 项失败",
            endLine(counts));
}

TEST(ProgressMeter, CountsDestinationsUntilTheTotalIsKnownThenBytesAndTimeLeft) {
  ProgressMeter meter;
  meter.destinations = 4;
  meter.current = 1;
  EXPECT_TRUE(meterDue(meter, 0));
  EXPECT_FALSE(meterDue(meter, 150));  // five a second at most
  EXPECT_EQ(u"第 1 / 4 个目标", meterStatus(meter, 150));
  EXPECT_DOUBLE_EQ(0.0, meterFraction(meter));
  meter.current = 3;
  EXPECT_DOUBLE_EQ(0.5, meterFraction(meter));

  meter.totalKnown = true;
  meter.totalBytes = 100 * 1024 * 1024;
  // Unchanged files count as done, not toward the rate.
  meterBytes(meter, 50 * 1024 * 1024, true, 1000);
  EXPECT_DOUBLE_EQ(0.5, meterFraction(meter));
  EXPECT_EQ(u"第 3 / 4 个目标 · 已复制 50.0 MB / 100.0 MB", meterStatus(meter, 1000));
  // One megabyte a second from here: no estimate for the first 5 s.
  for (int64_t second = 1; second <= 6; ++second) {
    meterBytes(meter, 1024 * 1024, false, 1000 + second * 1000);
    EXPECT_TRUE(meterDue(meter, 1000 + second * 1000));
  }
  EXPECT_EQ(u"第 3 / 4 个目标 · 已复制 56.0 MB / 100.0 MB · 约剩 40 秒", meterStatus(meter, 7000));
  // A minute slower, then 40 s four times faster: the estimate follows the
  // last 30 s, not the whole run.
  int64_t now = 7000;
  auto copyFor = [&](int steps, int64_t bytesPerStep) {
    for (int step = 0; step < steps; ++step) {
      now += 200;
      meterBytes(meter, bytesPerStep, false, now);
      meterDue(meter, now);
    }
  };
  meter.totalBytes = 600 * 1024 * 1024;
  copyFor(300, 1024 * 1024 / 10);
  copyFor(200, 1024 * 1024 * 8 / 10);
  meter.totalBytes = meter.doneBytes + 240 * 1024 * 1024;
  EXPECT_NE(Text::npos, meterStatus(meter, now).find(u"约剩 1 分钟")) << toUtf8(meterStatus(meter, now));
  meterBytes(meter, 236 * 1024 * 1024, false, now + 200);
  now += 200;
  Text nearEnd = meterStatus(meter, now);
  EXPECT_NE(Text::npos, nearEnd.find(u"已复制 482.0 MB / 486.0 MB")) << toUtf8(nearEnd);
  // Under 10 s left: no estimate at all.
  EXPECT_EQ(Text::npos, nearEnd.find(u"约剩")) << toUtf8(nearEnd);
  meterBytes(meter, 10 * 1024 * 1024, false, now + 200);
  EXPECT_DOUBLE_EQ(1.0, meterFraction(meter));  // never past the end
}
