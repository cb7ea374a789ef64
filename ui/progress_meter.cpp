#include "ui/progress_meter.h"

#include <algorithm>

#include "text/catalogue.h"

namespace {

constexpr int64_t kShownEvery = 200;  // at most five updates a second
constexpr int64_t kRateWindow = 30000;
constexpr int64_t kTimeLeftAfter = 5000;
constexpr int64_t kShortestTimeLeft = 10;

Text oneDecimal(int64_t value, int64_t unit) {
  int64_t tenths = (value * 10 + unit / 2) / unit;
  return intToText(tenths / 10) + u"." + intToText(tenths % 10);
}

}  // namespace

Text sizeText(int64_t bytes) {
  constexpr int64_t kKilo = 1024, kMega = kKilo * 1024, kGiga = kMega * 1024;
  bytes = std::max<int64_t>(bytes, 0);
  // A size that would round to 1024.0 of a unit is shown in the next one.
  if (bytes < kMega - kKilo / 20) return oneDecimal(bytes, kKilo) + u" KB";
  if (bytes < kGiga - kMega / 20) return oneDecimal(bytes, kMega) + u" MB";
  return oneDecimal(bytes, kGiga) + u" GB";
}

Text timeLeftText(int64_t seconds) {
  if (seconds < 55)
    return kStatusTimeLeft + intToText(std::max<int64_t>(10, (seconds + 5) / 10 * 10)) + kSeconds;
  return kStatusTimeLeft + intToText(std::max<int64_t>(1, (seconds + 30) / 60)) + kMinutes;
}

Text endLine(const EndCounts& counts) {
  Text line = kEndLineOpen + intToText(counts.destinations) + kEndLineTargets +
              intToText(counts.copiedFiles) + kEndLineFiles + sizeText(counts.copiedBytes) +
              kEndLineUnchanged + intToText(counts.unchangedFiles) + kEndLineUnchangedFiles;
  if (counts.lockFiles > 0) line += u"，" + intToText(counts.lockFiles) + kEndLineLockFiles;
  if (counts.oldCopies > 0) line += u"，" + intToText(counts.oldCopies) + kEndLineOldCopies;
  if (counts.failures > 0) line += u"，" + intToText(counts.failures) + kEndLineFailures;
  return line;
}

void meterBytes(ProgressMeter& meter, int64_t bytes, bool unchanged, int64_t now) {
  meter.doneBytes += bytes;
  if (unchanged) return;
  if (meter.copyingSince < 0) meter.copyingSince = now;
  meter.copiedBytes += bytes;
}

bool meterDue(ProgressMeter& meter, int64_t now) {
  if (meter.lastShown >= 0 && now - meter.lastShown < kShownEvery) return false;
  meter.lastShown = now;
  if (meter.copyingSince >= 0) {
    meter.samples.emplace_back(now, meter.copiedBytes);
    while (meter.samples.size() > 1 && now - meter.samples.front().first > kRateWindow)
      meter.samples.pop_front();
  }
  return true;
}

double meterFraction(const ProgressMeter& meter) {
  if (meter.totalKnown && meter.totalBytes > 0)
    return std::clamp(static_cast<double>(meter.doneBytes) / static_cast<double>(meter.totalBytes),
                      0.0, 1.0);
  if (meter.destinations <= 0) return 0;
  return std::clamp(static_cast<double>(std::max<int64_t>(meter.current - 1, 0)) /
                        static_cast<double>(meter.destinations),
                    0.0, 1.0);
}

namespace {

// Seconds left at the rate of the window's samples; -1 when not yet known.
int64_t secondsLeft(const ProgressMeter& meter, int64_t now) {
  if (!meter.totalKnown || meter.copyingSince < 0 || now - meter.copyingSince < kTimeLeftAfter ||
      meter.samples.empty())
    return -1;
  const auto& [since, copiedThen] = meter.samples.front();
  int64_t copied = meter.copiedBytes - copiedThen;
  int64_t elapsed = now - since;
  if (copied <= 0 || elapsed <= 0) return -1;
  int64_t left = std::max<int64_t>(meter.totalBytes - meter.doneBytes, 0);
  return static_cast<int64_t>(static_cast<double>(left) * static_cast<double>(elapsed) /
                              static_cast<double>(copied) / 1000.0);
}

}  // namespace

Text meterStatus(const ProgressMeter& meter, int64_t now) {
  Text status = kStatusTargetOpen + intToText(std::max<int64_t>(meter.current, 1)) + u" / " +
                intToText(meter.destinations) + kStatusTargetClose;
  if (!meter.totalKnown) return status;
  status += kStatusSeparator + (kStatusCopied + sizeText(std::min(meter.doneBytes, meter.totalBytes))) +
            u" / " + sizeText(meter.totalBytes);
  int64_t left = secondsLeft(meter, now);
  if (left >= kShortestTimeLeft) status += kStatusSeparator + timeLeftText(left);
  return status;
}
