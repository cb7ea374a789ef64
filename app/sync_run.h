#pragma once
// The synchronisation the program performs: read the relation table from the
// workbook beside the program, decide every destination, then create each
// one and copy its entry's material into it; the dialog at the end, and
// another go in the same window when the user asks for one.

#include <cstdint>
#include <vector>

#include "text/text.h"
#include "ui/progress_meter.h"
#include "workbook/workbook.h"

// "0-所有履职材料" in the program's folder holds the material folders and the workbook.
extern const Text kSourceRootName;
extern const Text kRelationTableName;

// One step of a run, decided from the table before anything is made.
struct PlannedStep {
  enum class Kind { kTitle, kDestination, kNotice };
  Kind kind = Kind::kDestination;
  // The title; the destination as its log line shows it; the notice
  // without its mark.
  Text text;
  // The entry's material folder, ending in a separator; empty when the
  // entry's name is refused.
  Text material;
  // Why the destination is not made, as far as the table alone tells;
  // empty when it may be.
  Text refusal;
  bool insideMaterial = false;  // the destination lies in the material folder
  // The one material folder no row names whose name is near the entry's,
  // offered should the entry's own folder be missing; empty for none.
  Text nearMaterial;
  int materialIndex = -1;  // into RunPlan::materials; -1 when nothing is to be copied
};

struct RunPlan {
  std::vector<PlannedStep> steps;  // in the order the walk visits the table
  Text summary;  // the group lines, after the summary's first line
  int64_t destinations = 0;
  // Every material folder a destination may copy, once each, in first use.
  std::vector<Text> materials;
  // Each material's entry name, as its first row gives it.
  std::vector<Text> materialNames;
  // The material folder names of the entry rows (column C), as the walk uses
  // them, whether or not any destination needs them.
  std::vector<Text> entryNames;
};

// Decides every title, destination and notice of a run over table, with
// base as the program folder (ending in a separator).
RunPlan PlanRun(const Text& base, const Table& table);

struct SyncOutcome {
  Text summary;  // grows group by group
  std::vector<Text> failures;  // in the order they happened, without the "【失败】" prefix
  std::vector<Text> notices;  // likely table mistakes, without the "【提示】" prefix
  int64_t destinations = 0;  // destination lines logged
  Text tableFailure;  // why no table could be read, without the workbook path; empty when it was read
  bool nothingToReadFrom = false;  // the source folder or the workbook is not there
  EndCounts counts;  // what the copies did, for the end line
  // What destinations hold that no material put there: listed, never deleted.
  std::vector<Text> oldCopies;
};

// Compares the plan with the material folders in source (ending in a
// separator), listed once: every folder there that no entry row names gets
// a notice at the end of the plan, unless it is the one folder near the name
// of an entry whose own folder is missing, which that entry's destinations
// then offer (nearMaterial). Folders of the program's own, hidden ones and
// office lock names are left out.
void CompareWithMaterials(RunPlan& plan, const Text& source);
// The one of candidates near name, or empty when none is, or several are at
// the first of the two rules that finds any: equal once spaces are removed,
// full-width forms folded to ASCII and Latin letters to one case; else, for
// names of two characters or more, one character substituted, added or
// removed, or two neighbours swapped.
Text NearName(const Text& name, const std::vector<Text>& candidates);

// Carries out the plan: titles, log lines, folders and copies, in order.
// With progress, the strip under the log follows it, the material being
// measured beside the copying.
void CarryOut(const Text& base, const RunPlan& plan, SyncOutcome& outcome, bool progress);
// Plans and carries out a run over table, without progress; tests and the
// fuzz targets walk a table of their own through it.
void WalkTable(const Text& base, const Table& table, SyncOutcome& outcome);

// The text of the summary box: the group lines, then any failures, then any
// notices.
Text SummaryText(const SyncOutcome& outcome);
// The line above it that says at a glance how the run went.
Text SummaryHeadline(const SyncOutcome& outcome);

// One go in the program folder base (ending in a separator), up to the
// dialog: reads the table, carries out the plan.
SyncOutcome RunOnce(const Text& base, bool progress);
// The whole job in base: runs, shows the dialog, and runs again as long as
// the user asks for another go. The number of failures of the last go.
int SyncRunIn(const Text& base);
// The worker procedure: SyncRunIn in the program's folder, and its number
// of failures.
int SyncRun(int argument);
