#include "ui/log_lines.h"

size_t logLineCount(const LogLines& log) { return log.lines.size(); }

bool holdsOneEmptyLine(const LogLines& log) {
  return log.lines.size() == 1 && log.lines.front().empty();
}

namespace {

// A text with line breaks of its own becomes as many lines, just as it would
// in the joined text.
std::vector<Text> splitLines(const Text& text) {
  std::vector<Text> pieces;
  size_t start = 0;
  for (size_t at = text.find(u'\n'); at != Text::npos; at = text.find(u'\n', start)) {
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

}  // namespace

LogInsertion addLine(LogLines& log, int position, const Text& text) {
  size_t count = log.lines.size();
  std::vector<Text> pieces = splitLines(text);
  if (count == 0 || position < 0 || static_cast<size_t>(position) >= count) {
    // Any line already there, even the one empty line of an empty text, ends
    // with the break that starts this one.
    LogInsertion append{true, 0, count == 0 ? text : u"\n" + text};
    log.lines.insert(log.lines.end(), pieces.begin(), pieces.end());
    return append;
  }
  log.lines.insert(log.lines.begin() + position, pieces.begin(), pieces.end());
  return LogInsertion{false, static_cast<size_t>(position), text + u'\n'};
}

std::vector<Text> logLinesOf(const LogLines& log) {
  return std::vector<Text>(log.lines.begin(), log.lines.end());
}

Text logTextOf(const LogLines& log) {
  Text text;
  for (size_t i = 0; i < log.lines.size(); ++i) {
    if (i > 0) text += u'\n';
    text += log.lines[i];
  }
  return text;
}

Text firstLines(const Text& text, size_t count) {
  size_t at = 0;
  for (size_t lines = 0; lines < count; ++lines) {
    at = text.find(u'\n', at);
    if (at == Text::npos) return text;
    ++at;
  }
  return text.substr(0, at);
}
