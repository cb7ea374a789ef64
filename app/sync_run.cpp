#include "app/sync_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <map>
#include <thread>

#include "app/failure_words.h"
#include "app/placed_files.h"
#include "app/run_record.h"
#include "app/table_words.h"
#include "fs/copy_tree.h"
#include "fs/paths.h"
#include "fs/run_guard.h"
#include "text/catalogue.h"
#include "ui/shell.h"
#include "ui/steady_wait.h"

namespace {

constexpr std::chrono::seconds kCountAfter{1};

Text separator() { return Text(1, kSeparator); }

void reportFailure(SyncOutcome& outcome, const Text& line) {
  addLogLineOnTop(kFailurePrefix + line);
  outcome.failures.push_back(line);
}

int64_t millisecondsNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The strip under the log while the plan is carried out. Its total is the
// material of every destination; until each material folder's size is
// known the strip counts destinations only. A destination copied without a
// failure tells its material's size by what it reported, file by file, at
// no cost; the folders no destination has told yet are measured on a
// thread of their own, beside the copying, so that the first copy never
// waits for a count. That count starts only after a second (a run that
// ends sooner has no use for it), and from the last material the plan uses
// backwards, while the copying learns the first ones: on a share each
// measured file is a call to the server, and a rerun would otherwise ask
// about every file twice. Everything else runs on the worker.
class RunProgress {
 public:
  RunProgress(const RunPlan& plan, bool shown) : plan_(plan), shown_(shown) {
    meter_.destinations = plan.destinations;
    if (!shown_) return;
    reported_.assign(static_cast<size_t>(plan.destinations), 0);
    materialBytes_.assign(plan.materials.size(), 0);
    materialKnown_.assign(plan.materials.size(), true);
    for (const PlannedStep& step : plan.steps) {
      if (step.kind != PlannedStep::Kind::kDestination) continue;
      int material = step.materialIndex;
      materialOf_.push_back(material);
      if (material < 0 || !materialKnown_[static_cast<size_t>(material)]) continue;
      materialKnown_[static_cast<size_t>(material)] = false;
      firstUsed_.push_back(material);
    }
    unknown_ = firstUsed_.size();
    scanner_ = std::thread([this] { measure(); });
  }
  ~RunProgress() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
    }
    stopped_.notify_all();
    if (scanner_.joinable()) scanner_.join();
  }
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;

  // The next destination begins.
  void startDestination() {
    if (!shown_) return;
    std::lock_guard<std::mutex> hold(lock_);
    ++meter_.current;
    show(millisecondsNow());
  }
  // The current destination is done: what it did not copy (failures,
  // refusals) counts as done all the same.
  void endDestination(bool failed) {
    if (!shown_) return;
    std::lock_guard<std::mutex> hold(lock_);
    failed_ = failed_ || failed;
    int material = materialOf_[static_cast<size_t>(ended_)];
    if (!failed && material >= 0) learn(material, reported_[static_cast<size_t>(ended_)]);
    if (meter_.totalKnown) meter_.doneBytes += shortfall(ended_);
    ++ended_;
    totalIfKnown();
    show(millisecondsNow());
  }
  bool shown() const { return shown_; }
  static void onBytes(void* context, int64_t bytes, bool unchanged) {
    auto* progress = static_cast<RunProgress*>(context);
    int64_t now = millisecondsNow();
    std::lock_guard<std::mutex> hold(progress->lock_);
    progress->reported_[static_cast<size_t>(progress->meter_.current - 1)] += bytes;
    meterBytes(progress->meter_, bytes, unchanged, now);
    progress->show(now);
  }

 private:
  // Bytes of destination index that will not be copied: the material less
  // what was reported for it.
  int64_t shortfall(int64_t index) const {
    int material = materialOf_[static_cast<size_t>(index)];
    int64_t expected = material < 0 ? 0 : materialBytes_[static_cast<size_t>(material)];
    return std::max<int64_t>(0, expected - reported_[static_cast<size_t>(index)]);
  }

  // Under lock_: the size of a material folder, told or measured.
  void learn(int material, int64_t bytes) {
    auto index = static_cast<size_t>(material);
    if (materialKnown_[index]) return;
    materialKnown_[index] = true;
    materialBytes_[index] = bytes;
    --unknown_;
  }

  // Under lock_: once every material is known, so is the total, and what
  // the destinations done so far did not report counts as done.
  void totalIfKnown() {
    if (meter_.totalKnown || unknown_ > 0) return;
    int64_t total = 0;
    for (int material : materialOf_)
      if (material >= 0) total += materialBytes_[static_cast<size_t>(material)];
    meter_.totalBytes = total;
    meter_.totalKnown = true;
    for (int64_t done = 0; done < ended_; ++done) meter_.doneBytes += shortfall(done);
  }

  void measure() {
    {
      std::unique_lock<std::mutex> hold(lock_);
      if (steady_wait::waitFor(stopped_, hold, kCountAfter, [this] { return stop_.load(); })) return;
    }
    lowerThreadPriority();
    for (auto next = firstUsed_.rbegin(); next != firstUsed_.rend(); ++next) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        if (stop_ || unknown_ == 0) return;
        if (materialKnown_[static_cast<size_t>(*next)]) continue;
      }
      TreeSize size;
      measureTree(plan_.materials[static_cast<size_t>(*next)], size, &stop_);
      std::lock_guard<std::mutex> hold(lock_);
      if (stop_) return;
      learn(*next, size.bytes);
      totalIfKnown();
    }
  }

  // Under lock_. At most a few times a second: each update is a call into
  // the window, which the copying would otherwise wait for.
  void show(int64_t now) {
    if (meterDue(meter_, now)) showProgress(meterFraction(meter_), meterStatus(meter_, now), failed_);
  }

  const RunPlan& plan_;
  bool shown_;
  std::mutex lock_;
  ProgressMeter meter_;
  bool failed_ = false;
  int64_t ended_ = 0;  // destinations done with
  std::vector<int64_t> reported_;  // bytes done per destination so far
  std::vector<int> materialOf_;  // per destination: its material folder, -1 for none
  std::vector<int64_t> materialBytes_;  // per material folder, once known
  std::vector<bool> materialKnown_;  // per material folder
  std::vector<int> firstUsed_;  // the material folders destinations use, in their order
  size_t unknown_ = 0;  // of those, how many are not known yet
  std::atomic<bool> stop_{false};
  std::condition_variable stopped_;
  std::thread scanner_;
};

// The reason a destination the table allowed is not made or not filled,
// checked on the file system right before it is: an earlier copy may have
// made a link or a material folder since the plan was made.
Text refusalNow(const Text& base, const PlannedStep& step) {
  if (!step.refusal.empty()) return step.refusal;
  if (passesThroughLink(base, step.text)) return kThroughLink;
  if (step.insideMaterial) return kInsideMaterial;
  int64_t material = fileSize(step.material);
  if (material == -2) return Text();
  // A share that has gone away is not a missing folder.
  Failure unreachable = material == -1 ? lastFailureUnlessMissing() : Failure();
  if (unreachable) return failureWords(unreachable);
  Text missing = kNoMaterialFolder + step.material;
  if (!step.nearMaterial.empty()) missing += kNearMaterialOpen + step.nearMaterial + kNearMaterialClose;
  return missing;
}

void addCounts(EndCounts& counts, const CopyReport& report) {
  counts.copiedFiles += report.copiedFiles;
  counts.copiedBytes += report.copiedBytes;
  counts.unchangedFiles += report.unchangedFiles;
  counts.lockFiles += report.lockFiles;
}

void carryOutDestination(const Text& base, const RunPlan& plan, const PlannedStep& step,
                         SyncOutcome& out, RunProgress& progress, PlacedFiles& placed) {
  addLogLineOnTop(step.text);
  ++out.destinations;
  progress.startDestination();
  Text reason = refusalNow(base, step);
  bool made = false;
  if (reason.empty()) {
    Failure failure;
    // Found or made without a failure, the folder is there: asked again
    // only when something went wrong on the way.
    bool there = makePath(step.text, &failure, &made) == 1 && !failure;
    if (!there && fileSize(step.text) != -2)
      reason = kCannotCreateOpen + (failure ? failureWords(failure) : Text()) + u"）";
  }
  if (reason.empty()) {
    CopyReport report;
    if (progress.shown()) {
      report.progress = RunProgress::onBytes;
      report.progressContext = &progress;
    }
    if (placed.begin(step.materialIndex, step.text)) report.placed = PlacedFiles::onPlaced;
    report.unmatched = PlacedFiles::onUnmatched;
    report.placedContext = &placed;
    int flags = kCopyRecursive | kCopyForce | (made ? kCopyIntoNew : 0);
    if (copyTree(step.material, step.text, flags, &report) == 0 ||
        report.failedEntries > 0)
      reason = kFilesFailedOpen + intToText(std::max(report.failedEntries, 1)) +
               kFilesFailedExample + report.firstFailedPath + u"（" +
               failureWords(report.firstFailure) + u"）";
    const PlacedFiles::Replaced& replaced = placed.replaced();
    if (reason.empty() && replaced.count > 0)
      reason = kFilesFailedOpen + intToText(replaced.count) + kReplacedMiddle +
               plan.materialNames[static_cast<size_t>(replaced.earlier)] + kReplacedExample +
               replaced.example + kReplacedAdvice;
    addCounts(out.counts, report);
  }
  if (!reason.empty()) reportFailure(out, step.text + u"：" + reason);
  progress.endDestination(!reason.empty());
}

// Why the table could not be read, as the headline says it (without the
// workbook's path) and as the log and summary say it (with it).
void reportTableFailure(const Text& workbook, const WorkbookStatus& status, SyncOutcome& out) {
  TableFailureWords words = tableFailureWords(workbook, status);
  if (words.logged.empty()) return;
  out.tableFailure = words.headline;
  reportFailure(out, words.logged);
}

// What the end dialog says under its headline: the end line, the record,
// and what to do when there was nothing to read from.
Text dialogNotes(const SyncOutcome& outcome, const Text& endLine, const Text& record,
                 const Text& recordProblem) {
  Text notes = endLine;
  if (!record.empty()) notes += u"\n" + (kRecordSaved + record);
  if (!recordProblem.empty()) notes += u"\n" + (kRecordNotSaved + recordProblem + u"）");
  if (outcome.nothingToReadFrom) notes += u"\n" + Text(kWhereThingsGo);
  return notes;
}

}  // namespace

void CarryOut(const Text& base, const RunPlan& plan, SyncOutcome& outcome, bool progress) {
  RunProgress strip(plan, progress);
  std::vector<Text> destinations;
  for (const PlannedStep& step : plan.steps)
    if (step.kind == PlannedStep::Kind::kDestination && step.materialIndex >= 0)
      destinations.push_back(step.text);
  PlacedFiles placed(destinations);
  for (const PlannedStep& step : plan.steps) {
    switch (step.kind) {
      case PlannedStep::Kind::kTitle:
        setWindowTitle(step.text);
        break;
      case PlannedStep::Kind::kDestination:
        carryOutDestination(base, plan, step, outcome, strip, placed);
        break;
      case PlannedStep::Kind::kNotice:
        addLogLineOnTop(kNoticePrefix + step.text);
        outcome.notices.push_back(step.text);
        break;
    }
  }
  // Old copies are decided once every entry is in: one entry's files are
  // never old copies of another's.
  for (const auto& [destination, paths] : placed.oldCopies()) {
    Text notice = destination + u"：" + kFilesFailedOpen + intToText(static_cast<int64_t>(paths.size())) +
                  kOldCopiesMiddle + paths.front();
    addLogLineOnTop(kNoticePrefix + notice);
    outcome.notices.push_back(notice);
    outcome.oldCopies.insert(outcome.oldCopies.end(), paths.begin(), paths.end());
  }
  outcome.summary += plan.summary;
}

void WalkTable(const Text& base, const Table& table, SyncOutcome& outcome) {
  RunPlan plan = PlanRun(base, table);
  CompareWithMaterials(plan, base + kSourceRootName + separator());
  CarryOut(base, plan, outcome, false);
}

Text SummaryText(const SyncOutcome& outcome) {
  Text text = outcome.summary;
  auto block = [&text](const Text& prefix, const std::vector<Text>& lines) {
    if (lines.empty()) return;
    text += prefix + kBlockCountOpen + intToText(static_cast<int64_t>(lines.size())) +
            kBlockCountClose;
    for (const Text& line : lines) text += line + u"\r\n";
  };
  block(kFailurePrefix, outcome.failures);
  block(kNoticePrefix, outcome.notices);
  return text;
}

Text SummaryHeadline(const SyncOutcome& outcome) {
  if (!outcome.tableFailure.empty()) return kHeadlineNoTable + outcome.tableFailure;
  Text total = kHeadlineDoneOpen + intToText(outcome.destinations) + kHeadlineDoneTargets;
  if (outcome.failures.empty()) return total + kHeadlineAllWell;
  return total + kHeadlineSomeFailedOpen +
         intToText(static_cast<int64_t>(outcome.failures.size())) + kHeadlineSomeFailedClose;
}

SyncOutcome RunOnce(const Text& base, bool progress) {
  SyncOutcome outcome;
  outcome.summary = kSummaryFirstLine;
  // Without its own folder the program would take every path as relative to
  // wherever it was started from.
  Text refusal = base.empty() ? Text(kProgramFolderUnknown)
                 : lockProgramFolder(base) == FolderLock::kBusy ? Text(kBusyFolder)
                                                                : Text();
  if (!refusal.empty()) {
    reportFailure(outcome, refusal);
    outcome.tableFailure = refusal;
    return outcome;
  }
  Text source = base + kSourceRootName + separator();
  Text workbook = source + kRelationTableName;
  Table table = ReadTable(workbook);
  outcome.nothingToReadFrom = fileSize(workbook) == -1;
  reportTableFailure(workbook, table.status, outcome);
  if (!table.status.failure) {
    RunPlan plan = PlanRun(base, table);
    table = Table();  // the plan holds all the run needs; the cells may be large
    CompareWithMaterials(plan, source);
    CarryOut(base, plan, outcome, progress);
  }
  unlockProgramFolder();
  return outcome;
}

int SyncRunIn(const Text& base) {
  for (int go = 1;; ++go) {
    if (go > 1) {
      clearRun();
      setWindowTitle(kTitleAtStart);
    }
    RunRecord record;
    record.started = LocalTimeNow();
    SyncOutcome outcome = RunOnce(base, true);
    setWindowTitle(kTitleDone);
    record.ended = LocalTimeNow();
    outcome.counts.destinations = outcome.destinations;
    outcome.counts.failures = static_cast<int64_t>(outcome.failures.size());
    outcome.counts.oldCopies = static_cast<int64_t>(outcome.oldCopies.size());
    record.headline = SummaryHeadline(outcome);
    record.endLine = endLine(outcome.counts);
    record.summary = SummaryText(outcome);
    record.oldCopies = outcome.oldCopies;
    bool failed = !outcome.failures.empty();
    showProgress(1.0, record.endLine, failed);
    Text source = base + kSourceRootName + separator();
    Text savedAt, problem;
    if (!base.empty() && fileSize(source) == -2) savedAt = WriteRunRecord(base, source, record, problem);
    SummaryDialog dialog{kSummaryTitle, record.headline,
                     dialogNotes(outcome, record.endLine, savedAt, problem), record.summary,
                     failed || !outcome.tableFailure.empty()};
    if (showSummary(dialog) != kDialogRetry) return static_cast<int>(outcome.failures.size());
  }
}

int SyncRun(int) {
  return SyncRunIn(programDirectory());
}
