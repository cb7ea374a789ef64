#include "app/sync_run.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <string_view>

#include "fs/copy_tree.h"
#include "fs/paths.h"
#include "fs/run_guard.h"
#include "ui/shell.h"
#include "workbook/workbook.h"

const Text kSourceRootName = u"0-所有履职材料";
const Text kRelationTableName = u"履职材料同步关系表.xlsx";

namespace {

constexpr int kFirstGroupColumn = 4;  // D
constexpr int kNameColumn = 3;  // C
constexpr int kHeaderRow = 2;
constexpr int kFirstEntryRow = 3;
const Text kFailurePrefix = u"【失败】";
const Text kNoticePrefix = u"【提示】";
const Text kBusyFolder = u"另一个同步正在此文件夹中进行，本次未执行";
// The longest name one folder component may have, in UTF-16 units, and how
// much of a longer one the log shows.
constexpr size_t kLongestName = 255;
constexpr size_t kShownLength = 100;

using TextView = std::u16string_view;

std::atomic<bool> runFinished{false};
std::atomic<bool> runFailed{false};

Text separator() { return Text(1, kSeparator); }

void reportFailure(SyncOutcome& outcome, const Text& line) {
  addLogLine(0, kFailurePrefix + line);
  outcome.failures.push_back(line);
}

TextView trimmedView(TextView s) {
  size_t first = s.find_first_not_of(u' ');
  if (first == TextView::npos) return TextView();
  return s.substr(first, s.find_last_not_of(u' ') - first + 1);
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Absolute, on a drive or share, or climbing with "..": the path would leave
// the program folder.
bool leavesProgramFolder(TextView s) {
  if (!s.empty() && isSeparator(s[0])) return true;
  if (s.size() >= 2 && s[1] == u':') return true;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && !isSeparator(s[i])) continue;
    if (trimmedView(s.substr(start, i - start)) == u"..") return true;
    start = i + 1;
  }
  return false;
}

// The path without "." and empty components, ending in a separator.
Text normalFolder(const Text& s) {
  Text result;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && !isSeparator(s[i])) continue;
    Text part = s.substr(start, i - start);
    if (!part.empty() && part != u".") result += part + separator();
    start = i + 1;
  }
  return result;
}

bool liesInside(const Text& destination, const Text& folder) {
  Text inner = normalFolder(destination), outer = normalFolder(folder);
  if (kFoldsLetterCase) inner = toUpper(inner), outer = toUpper(outer);
  return inner.compare(0, outer.size(), outer) == 0;
}

// A component longer than any file system takes. Such a text is refused
// before anything is made from it.
bool overlong(TextView s) {
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && !isSeparator(s[i])) continue;
    if (i - start > kLongestName) return true;
    start = i + 1;
  }
  return false;
}

// An over-long text as log lines and the summary show it: its beginning is
// enough to find it in the table, and a hostile cell of hundreds of megabytes
// is not copied into every line.
Text shown(TextView s) {
  if (!overlong(s)) return Text(s);
  return Text(s.substr(0, kShownLength)) + u"…";
}

// A run of separators reads as one, so an empty item's destination shows as
// its group folder.
Text withSingleSeparators(TextView s) {
  Text result;
  result.reserve(s.size());
  for (char16_t c : s)
    if (!isSeparator(c) || result.empty() || !isSeparator(result.back())) result += c;
  return result;
}

// The cell's text without a copy; empty when the map holds none.
TextView cellView(int column, int row) {
  return Cells.text(ColumnLetters(column) + intToText(row));
}

// A trimmed table text with "\" turned into the native separator.
Text tableName(TextView raw) {
  Text name(trimmedView(raw));
  if (kSeparator != u'\\') std::replace(name.begin(), name.end(), u'\\', kSeparator);
  return name;
}

struct Entry {
  TextView group;  // group name as the table gives it, without separator
  Text name;  // entry name, trimmed, without separator
  Text material;  // the entry's material folder, ending in a separator; empty when refused
};

// The first reason, if any, that keeps a destination from being made.
Text refusal(const Text& base, const Entry& entry, TextView item, const Text& destination) {
  if (entry.name.empty()) return u"条目名称为空";
  if (trimmedView(item).empty()) return u"目标文件夹名为空";
  if (overlong(entry.group) || overlong(entry.name) || overlong(item)) return u"名称过长";
  if (leavesProgramFolder(entry.group) || leavesProgramFolder(entry.name) ||
      leavesProgramFolder(item))
    return u"路径超出程序文件夹";
  if (passesThroughLink(base, destination)) return u"路径经过链接";
  if (liesInside(destination, entry.material)) return u"目标位于材料文件夹内";
  if (fileSize(entry.material) != -2) return u"找不到材料文件夹 " + entry.material;
  return Text();
}

void copyToDestination(const Text& base, const Entry& entry, TextView item, SyncOutcome& out) {
  Text shownDestination =
      base + withSingleSeparators(shown(entry.group) + separator() + shown(item) + separator());
  addLogLine(0, shownDestination);
  ++out.destinations;
  // Over-long texts never become a path: the refusal comes before the copy.
  Text destination = shownDestination;
  Text reason = refusal(base, entry, item, destination);
  if (reason.empty()) {
    Text message;
    makePath(destination, &message);
    if (fileSize(destination) != -2) reason = u"无法创建文件夹（" + message + u"）";
  }
  if (reason.empty()) {
    CopyReport report;
    if (copyTree(entry.material, destination, kCopyRecursive | kCopyForce, &report) == 0 ||
        report.failedEntries > 0)
      reason = u"有 " + intToText(std::max(report.failedEntries, 1)) + u" 个文件未能复制，例如 " +
               report.firstFailedPath + u"（" + report.firstFailedMessage + u"）";
  }
  if (!reason.empty()) reportFailure(out, shownDestination + u"：" + reason);
}

// Full-width list marks that a Chinese input method types where the table
// means a separator, in the order a notice names them.
constexpr char16_t kFullWidthMarks[] = u"，；、";

void noticeFullWidthMarks(int column, int row, const Entry& entry, TextView typed,
                          SyncOutcome& out) {
  Text found;
  for (char16_t mark : TextView(kFullWidthMarks))
    if (typed.find(mark) != TextView::npos) found += mark;
  if (found.empty()) return;
  Text notice = u"单元格 " + ColumnLetters(column) + intToText(row) + u"（" + shown(entry.group) +
                u" / " + shown(entry.name) + u"）中的「" + shown(typed) + u"」含有全角标点「" + found +
                u"」，已按一个文件夹名处理；若要分成多个文件夹，请改用半角逗号 , 或分号 ;";
  addLogLine(0, kNoticePrefix + notice);
  out.notices.push_back(notice);
}

// cell is the trimmed cell text as the walk reads it: ";" already ",", "\"
// already the native separator.
void walkEntry(const Text& base, const Entry& entry, const Text& cell, SyncOutcome& out) {
  TextView rest(cell);
  for (;;) {
    size_t comma = rest.find(u',');
    TextView item = rest.substr(0, comma);
    size_t first = item.find_first_not_of(kSeparator);
    TextView bare = first == TextView::npos
                        ? TextView()
                        : item.substr(first, item.find_last_not_of(kSeparator) - first + 1);
    out.summary += shown(bare) + u"、";
    copyToDestination(base, entry, item, out);
    if (comma == TextView::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

// Splits a reference written exactly as the walk would build it ("D12": upper
// case letters, then a row without leading zeros); false for any other key.
bool canonicalReference(TextView key, int64_t& column, int64_t& row) {
  size_t letters = 0;
  while (letters < key.size() && key[letters] >= u'A' && key[letters] <= u'Z') ++letters;
  if (letters == 0 || letters > 7 || letters == key.size() || key[letters] == u'0') return false;
  if (key.size() - letters > 10) return false;
  for (size_t i = letters; i < key.size(); ++i)
    if (key[i] < u'0' || key[i] > u'9') return false;
  column = 0;
  for (size_t i = 0; i < letters; ++i) column = column * 26 + (key[i] - u'A' + 1);
  row = parseInt(key.substr(letters));
  return row <= INT32_MAX && column <= INT32_MAX;
}

// The rows holding a cell, per column that has a header cell, so the walk
// costs in proportion to the cells present rather than to the extent.
std::map<int, std::vector<int>> presentCells(int maxColumn, int maxRow) {
  std::map<int, std::vector<int>> columns;
  std::map<int, std::vector<int>> rows;
  for (const auto& [key, value] : Cells) {
    int64_t column, row;
    if (!canonicalReference(key, column, row)) continue;
    if (column < kFirstGroupColumn || column > maxColumn) continue;
    if (row == kHeaderRow) columns[static_cast<int>(column)];
    if (row >= kFirstEntryRow && row <= maxRow) rows[static_cast<int>(column)].push_back(static_cast<int>(row));
  }
  for (auto& [column, list] : columns) {
    auto found = rows.find(column);
    if (found == rows.end()) continue;
    list.swap(found->second);
    std::sort(list.begin(), list.end());
  }
  return columns;
}

void walkGroup(const Text& base, int column, const std::vector<int>& rows, SyncOutcome& out) {
  Text group = tableName(cellView(column, kHeaderRow));
  if (group.empty()) return;
  setWindowTitle(u"Varnelo-当前同步【" + shown(group) + u"】");
  out.summary += u"【" + shown(group) + u"】:";
  for (int row : rows) {
    TextView typed = trimmedView(cellView(column, row));
    if (typed.empty()) continue;
    Text cell(typed);
    for (char16_t& c : cell) {
      if (c == u';') c = u',';
      else if (c == u'\\') c = kSeparator;
    }
    Entry entry{group, tableName(cellView(kNameColumn, row)), Text()};
    if (!entry.name.empty() && !overlong(entry.name))
      entry.material = base + kSourceRootName + separator() + entry.name + separator();
    walkEntry(base, entry, cell, out);
    noticeFullWidthMarks(column, row, entry, typed, out);
  }
  // Only the group's own line loses its trailing marks; the marks in front
  // of it cannot be "、", since every earlier line ends in a line break.
  while (!out.summary.empty() && out.summary.back() == u'、') out.summary.pop_back();
  out.summary += u"\r\n";
}

// Reads the table into Cells through a folder of this run's own, removed
// again before anything is copied. Returns the extent, or empty when the
// workbook gave no table: a table read only in part, or with its names turned
// into shared-string numbers, would copy into wrong folders.
Text readTable(const Text& workbook, SyncOutcome& out) {
  Text parts = createPartsFolder();
  WorkbookStatus status;
  Text extent;
  if (parts.empty()) {
    status.fault = WorkbookFault::kCannotOpen;
    status.cause = lastSystemMessage();
  } else if (ExtractWorkbookParts(workbook, parts, status)) {
    Text problem;
    // Without a shared-strings part the cells keep their index texts.
    if (status.hasSharedStrings) LoadSharedStrings(parts + u"sharedStrings.xml", problem);
    else LoadSharedStrings(parts + u"sharedStrings.xml");
    if (problem.empty()) extent = LoadWorksheet(parts + u"sheet1.xml", problem);
    // The cells hold their own copies; the strings are not needed again.
    SharedStrings.clear();
    SharedStrings.shrink_to_fit();
    if (!problem.empty()) status = WorkbookStatus{WorkbookFault::kDamaged, problem, false};
  }
  // A part left behind is only litter in a folder of our own, so a failed
  // delete is no reason to hold up the copy the user is waiting for.
  removePartsFolder();
  switch (status.fault) {
    case WorkbookFault::kNone: return extent;
    case WorkbookFault::kCannotOpen:
      out.tableFailure = u"无法打开关系表（" + status.cause + u"）";
      reportFailure(out, u"无法打开关系表：" + workbook + u"（" + status.cause + u"）");
      break;
    case WorkbookFault::kNoWorksheet:
      out.tableFailure = u"关系表缺少工作表";
      reportFailure(out, u"关系表缺少工作表：" + workbook);
      break;
    case WorkbookFault::kDamaged:
      out.tableFailure = u"关系表已损坏（" + status.cause + u"）";
      reportFailure(out, u"关系表已损坏：" + workbook + u"（" + status.cause + u"）");
      break;
  }
  Cells.clear();
  return Text();
}

}  // namespace

void WalkTable(const Text& base, int maxColumn, int maxRow, SyncOutcome& outcome) {
  for (const auto& [column, rows] : presentCells(maxColumn, maxRow))
    walkGroup(base, column, rows, outcome);
}

Text SummaryText(const SyncOutcome& outcome) {
  Text text = outcome.summary;
  auto block = [&text](const Text& prefix, const std::vector<Text>& lines) {
    if (lines.empty()) return;
    text += prefix + u"共 " + intToText(static_cast<int64_t>(lines.size())) + u" 项：\r\n";
    for (const Text& line : lines) text += line + u"\r\n";
  };
  block(kFailurePrefix, outcome.failures);
  block(kNoticePrefix, outcome.notices);
  return text;
}

Text SummaryHeadline(const SyncOutcome& outcome) {
  if (!outcome.tableFailure.empty()) return u"未能同步：" + outcome.tableFailure;
  Text total = u"同步完成：共 " + intToText(outcome.destinations) + u" 个目标，";
  if (outcome.failures.empty()) return total + u"全部成功。";
  return total + u"其中 " + intToText(static_cast<int64_t>(outcome.failures.size())) +
         u" 项未能完成，详见下方【失败】。";
}

int SyncRunIn(const Text& base) {
  SyncOutcome outcome;
  outcome.summary = u"【同步完毕】同步内容：\r\n";
  if (lockProgramFolder(base) == FolderLock::kBusy) {
    reportFailure(outcome, kBusyFolder);
    outcome.tableFailure = kBusyFolder;
  } else {
    Text workbook = base + kSourceRootName + separator() + kRelationTableName;
    Text extent = readTable(workbook, outcome);
    if (!extent.empty()) {
      int maxColumn = static_cast<int32_t>(parseInt(fieldAt(extent, 1, u":")));
      int maxRow = static_cast<int32_t>(parseInt(fieldAt(extent, 2, u":")));
      WalkTable(base, maxColumn, maxRow, outcome);
    }
    unlockProgramFolder();
  }
  setWindowTitle(u"Varnelo-完成");
  showSummary(EndDialog{u"同步提示", SummaryHeadline(outcome), Text(), SummaryText(outcome), false});
  return static_cast<int>(outcome.failures.size());
}

int SyncRun(int) {
  runFailed = SyncRunIn(programDirectory()) > 0;
  runFinished = true;
  return 0;
}

bool SyncRunFinished() { return runFinished; }
bool SyncRunFailed() { return runFailed; }
