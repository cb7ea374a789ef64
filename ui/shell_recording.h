#pragma once
// A window shell for tests: it keeps what a user would have seen, in order.
// Calls are synchronous, as the real shells' are.

#include <vector>

#include "ui/log_lines.h"

struct RecordedMessage {
  Text title;
  Text text;
  Text headline;  // empty for showMessage
  bool summary = false;
};

struct Recording {
  bool windowOpen = false;
  bool logViewExists = false;
  std::vector<Text> titles;  // every title set, the first being openMainWindow's
  LogLines log;
  std::vector<RecordedMessage> messages;
};

// What the shell has recorded since the last reset.
Recording& recording();
void resetRecording();
// Makes the next createLogView fail, as when no view can be made.
void failNextLogView();
