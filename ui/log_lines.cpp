#include "ui/log_lines.h"

namespace {

size_t breaksIn(const Text& text) {
  size_t count = 0;
  for (char16_t c : text) count += c == u'\n';
  return count;
}

}  // namespace

size_t logLineCount(const LogLines& log) {
  if (log.text.empty() && !log.holdsOneEmptyLine) return 0;
  return log.breaks + 1;
}

LogInsertion addLine(LogLines& log, int position, const Text& text) {
  size_t count = logLineCount(log);
  if (count == 0 || position < 0 || static_cast<size_t>(position) >= count) {
    LogInsertion append{true, 0, Text()};
    bool wasEmpty = count == 0;
    if (log.holdsOneEmptyLine) {
      append.inserted += u'\n';
      log.holdsOneEmptyLine = false;
    }
    if (!log.text.empty()) append.inserted += u'\n';
    // An empty text added to an empty view leaves the text empty; the flag
    // keeps count of that one line.
    if (wasEmpty && text.empty()) log.holdsOneEmptyLine = true;
    append.inserted += text;
    log.text += append.inserted;
    log.breaks += breaksIn(append.inserted);
    return append;
  }
  size_t offset = 0;
  for (int line = 0; line < position; ++line) offset = log.text.find(u'\n', offset) + 1;
  LogInsertion before{false, static_cast<size_t>(position), text + u'\n'};
  log.text.insert(offset, before.inserted);
  log.breaks += breaksIn(before.inserted);
  // The inserted line break now carries the empty line; a flag left set would
  // add a second one on the next append.
  log.holdsOneEmptyLine = false;
  return before;
}

std::vector<Text> logLinesOf(const LogLines& log) {
  std::vector<Text> lines;
  if (logLineCount(log) == 0) return lines;
  size_t start = 0;
  for (size_t at = log.text.find(u'\n'); at != Text::npos; at = log.text.find(u'\n', start)) {
    lines.push_back(log.text.substr(start, at - start));
    start = at + 1;
  }
  lines.push_back(log.text.substr(start));
  return lines;
}
