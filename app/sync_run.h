#pragma once
// The one synchronisation the program performs: read the relation table from
// the workbook beside the program, then create every destination folder and
// copy each entry's material into it.

#include <vector>

#include "text/text.h"

// "0-所有履职材料" in the program's folder holds the material folders and the workbook.
extern const Text kSourceRootName;
extern const Text kRelationTableName;

struct SyncOutcome {
  Text summary;  // grows group by group
  std::vector<Text> failures;  // in the order they happened, without the "【失败】" prefix
  Text tableFailure;  // why no table could be read, without the workbook path; empty when it was read
};

// The worker procedure: one run in the program's folder. Returns 0.
int SyncRun(int argument);
// Whether SyncRun has returned, and whether it reported any failure.
bool SyncRunFinished();
bool SyncRunFailed();

// One whole run with base as the program folder (ending in a separator);
// returns the number of failures reported.
int SyncRunIn(const Text& base);
// Walks the groups and entries that Cells holds, up to the given extent.
void WalkTable(const Text& base, int maxColumn, int maxRow, SyncOutcome& outcome);
// The text of the summary box: the group lines, then any failures.
Text SummaryText(const SyncOutcome& outcome);
