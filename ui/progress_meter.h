#pragma once
// What the strip under the log says while a run goes, and the line it ends
// with; the same in every shell. Times are milliseconds from any fixed start.

#include <cstdint>
#include <deque>
#include <utility>

#include "text/text.h"

// A size as a person reads it: KB, MB or GB with one decimal.
Text sizeText(int64_t bytes);
// "约剩 40 秒" or "约剩 3 分钟": tens of seconds under a minute, whole minutes above.
Text timeLeftText(int64_t seconds);

struct EndCounts {
  int64_t destinations = 0;
  int64_t copiedFiles = 0;
  int64_t copiedBytes = 0;
  int64_t unchangedFiles = 0;
  int64_t lockFiles = 0;
  int64_t oldCopies = 0;  // in destinations, gone from the material
  int64_t failures = 0;
};
// "完成：M 个目标，复制 N 个文件（x GB），K 个文件无变化", then the lock files,
// the old copies and the failures when there are any.
Text endLine(const EndCounts& counts);

struct ProgressMeter {
  int64_t destinations = 0;  // in the whole run
  int64_t current = 0;  // the one being worked on, from 1
  bool totalKnown = false;  // the material has been measured
  int64_t totalBytes = 0;
  int64_t doneBytes = 0;  // copied, or found unchanged, or given up on
  int64_t copiedBytes = 0;  // copied only: the rate is made of these
  int64_t copyingSince = -1;  // when the first byte was copied
  std::deque<std::pair<int64_t, int64_t>> samples;  // (time, copiedBytes) of the last 30 s
  int64_t lastShown = -1;
};

// Counts bytes done at time now; unchanged ones count as done but make no rate.
void meterBytes(ProgressMeter& meter, int64_t bytes, bool unchanged, int64_t now);
// Whether the strip is due for another update: at most five times a second.
// Marks it shown when it is.
bool meterDue(ProgressMeter& meter, int64_t now);
// From 0 to 1: bytes once the total is known, destinations before.
double meterFraction(const ProgressMeter& meter);
// "第 37 / 152 个目标 · 已复制 1.2 GB / 3.4 GB · 约剩 3 分钟": the bytes once
// the total is known, the time left after 5 s of copying and only when at
// least 10 s remain, from the rate of the last 30 s.
Text meterStatus(const ProgressMeter& meter, int64_t now);
