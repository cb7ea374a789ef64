#pragma once
// The line rules of the log view, kept apart from any toolkit so that every
// shell inserts lines the same way. The view's text holds lines separated by
// single LF characters, with none after the last.

#include <cstddef>
#include <vector>

#include "text/text.h"

struct LogLines {
  Text text;
  // Set when an empty text was added to an empty view: the view then counts
  // one line although its text is empty.
  bool holdsOneEmptyLine = false;
  // The LF characters in text, kept by addLine so that adding a line costs
  // the same however many are shown.
  size_t breaks = 0;
};

// What one addLine did to the text, so a toolkit buffer can do the same:
// inserted goes at the end of the text, or at the start of line `line`.
struct LogInsertion {
  bool atEnd;
  size_t line;
  Text inserted;
};

size_t logLineCount(const LogLines& log);
// Inserts text as a new line before line position (0-based); -1 or a position
// past the last line appends it; an empty view takes it as its only line.
LogInsertion addLine(LogLines& log, int position, const Text& text);
// The lines, top first.
std::vector<Text> logLinesOf(const LogLines& log);
