#pragma once
// The line rules of the log view, kept apart from any toolkit so that every
// shell inserts lines the same way.

#include <vector>

#include "text/text.h"

struct LogLines {
  std::vector<Text> lines;  // top first
  // Set when an empty text was added to an empty view: the view then counts
  // one line although its text is empty.
  bool holdsOneEmptyLine = false;
};

// Where a line added at position goes: its 0-based index in lines.
size_t logInsertIndex(const LogLines& log, int position);
// Adds text at position; returns the index it went to.
size_t addLine(LogLines& log, int position, const Text& text);
// The view's whole text: lines joined by single LF, none at the end.
Text logText(const LogLines& log);
