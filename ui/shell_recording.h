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
  Text notes;
  bool offerRetry = false;
};

struct RecordedProgress {
  double fraction;
  Text status;
  bool failed;
};

struct Recording {
  bool windowOpen = false;
  // Whether a run window was opened since the last reset: the log and the
  // progress are recorded from then on.
  bool runWindowMade = false;
  std::vector<Text> titles;  // every title set, the first being openRunWindow's
  LogLines log;
  std::vector<RecordedMessage> messages;
  std::vector<RecordedProgress> progress;
  int runsCleared = 0;
};

// What the shell has recorded since the last reset.
Recording& recording();
void resetRecording();
// The buttons the recorded user presses in the next end dialogs, in order;
// OK once they run out. before runs just before each is pressed, as the user
// would mend what failed before asking for another go.
void answerSummaries(std::vector<int> buttons, void (*before)(int dialog) = nullptr);
