#include "app/run_record.h"

#include <cstdio>

#include "app/failure_words.h"
#include "fs/paths.h"
#include "text/catalogue.h"

namespace {

constexpr int kSameSecondTries = 20;

// "2026-12-09 21.30.05" with the separators given.
Text timeText(const std::tm& time, char dateMark, char timeMark) {
  char text[80];  // room for any int the fields could hold
  std::snprintf(text, sizeof text, "%04d%c%02d%c%02d %02d%c%02d%c%02d", time.tm_year + 1900,
                dateMark, time.tm_mon + 1, dateMark, time.tm_mday, time.tm_hour, timeMark,
                time.tm_min, timeMark, time.tm_sec);
  return fromUtf8(text);
}

Text line(const Text& text) { return text + u"\r\n"; }

}  // namespace

std::tm LocalTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  // Only the worker thread asks, one run at a time.
  if (std::tm* shared = std::localtime(&now)) local = *shared;
  return local;
}

std::string RecordBytes(const RunRecord& record, const Text& programFolder) {
  Text text = line(record.headline) + line(record.endLine) +
              line(kRecordStarted + timeText(record.started, '-', ':')) +
              line(kRecordEnded + timeText(record.ended, '-', ':')) +
              line(kRecordProgramFolder + programFolder) + line(Text()) + record.summary;
  if (!record.oldCopies.empty()) {
    text += line(Text()) + line(kRecordOldCopies);
    for (const Text& path : record.oldCopies) text += line(path);
  }
  return "\xEF\xBB\xBF" + toUtf8(text);
}

Text WriteRunRecord(const Text& base, const Text& sourceFolder, const RunRecord& record,
                    Text& why) {
  Text folder = sourceFolder + kRecordFolder + Text(1, kSeparator);
  // The record goes where the user looks for it, never through a link to
  // somewhere else.
  if (passesThroughLink(base, folder)) {
    why = kThroughLink;
    return Text();
  }
  Failure failure;
  makePath(folder, &failure);
  if (fileSize(folder) != -2) {
    why = failureWords(failure ? failure : lastFailure());
    return Text();
  }
  std::string bytes = RecordBytes(record, base);
  Text stem = folder + kRecordFileOpen + timeText(record.started, '-', '.');
  // Another go within the same second gets a number after the time.
  for (int attempt = 1; attempt <= kSameSecondTries; ++attempt) {
    Text path = stem + (attempt == 1 ? Text() : u" (" + intToText(attempt) + u")") + u".txt";
    if (writeNewFile(path, bytes)) return path;
    why = failureWords(lastFailure());
    if (fileSize(path) == -1) return Text();  // not taken: failed for another reason
  }
  return Text();
}
