#pragma once
// The line rules of the log view, kept apart from any toolkit so that every
// shell inserts lines the same way. The view's text is its lines joined by
// single LF characters, with none after the last.
//
// The lines are kept one by one, so that adding a line at either end costs the
// same however many lines the view already holds.

#include <cstddef>
#include <deque>
#include <vector>

#include "text/text.h"

struct LogLines {
  // Top first. An empty text added to an empty view is one empty line,
  // although the view's text stays empty.
  std::deque<Text> lines;
};

// What one addLine did to the text, so a toolkit buffer can do the same:
// inserted goes at the end of the text, or at the start of line `line`.
struct LogInsertion {
  bool atEnd;
  size_t line;
  Text inserted;
};

size_t logLineCount(const LogLines& log);
// Set when the view holds one empty line and its text is empty.
bool holdsOneEmptyLine(const LogLines& log);
// Inserts text as a new line before line position (0-based); -1 or a position
// past the last line appends it; an empty view takes it as its only line.
LogInsertion addLine(LogLines& log, int position, const Text& text);
// The lines, top first.
std::vector<Text> logLinesOf(const LogLines& log);
// The view's whole text.
Text logTextOf(const LogLines& log);

// The first count lines of text, each with its line break; text itself when
// it has no more. Enough of a long text to size a view by.
Text firstLines(const Text& text, size_t count);
