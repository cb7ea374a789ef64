#include "app/sync_run.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "fs/copy_tree.h"
#include "fs/paths.h"
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

std::atomic<bool> runFinished{false};
std::atomic<bool> runFailed{false};

Text separator() { return Text(1, kSeparator); }

void reportFailure(SyncOutcome& outcome, const Text& line) {
  addLogLine(0, kFailurePrefix + line);
  outcome.failures.push_back(line);
}

// Texts from the table name folders with "\", whatever the platform, so one
// workbook gives the same tree everywhere.
Text tableText(const Text& s) { return replaceAll(s, u"\\", separator()); }

Text cellAt(int column, int row) { return CellText(ColumnLetters(column) + intToText(row)); }

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Absolute, on a drive or share, or climbing with "..": the path would leave
// the program folder.
bool leavesProgramFolder(const Text& s) {
  if (!s.empty() && isSeparator(s[0])) return true;
  if (s.size() >= 2 && s[1] == u':') return true;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i < s.size() && !isSeparator(s[i])) continue;
    if (trimSpaces(s.substr(start, i - start)) == u"..") return true;
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

struct Entry {
  Text header;  // group name with a separator appended
  Text name;  // entry name, trimmed, without separator
  Text material;  // the entry's material folder, ending in a separator
};

// The first reason, if any, that keeps a destination from being made.
Text refusal(const Entry& entry, const Text& item, const Text& destination) {
  if (entry.name.empty()) return u"条目名称为空";
  if (trimSpaces(item).empty()) return u"目标文件夹名为空";
  if (leavesProgramFolder(entry.header) || leavesProgramFolder(entry.name) ||
      leavesProgramFolder(item))
    return u"路径超出程序文件夹";
  if (liesInside(destination, entry.material)) return u"目标位于材料文件夹内";
  if (fileSize(entry.material) != -2) return u"找不到材料文件夹 " + entry.material;
  return Text();
}

void copyToDestination(const Text& base, const Entry& entry, const Text& item, SyncOutcome& out) {
  Text destination = base + entry.header + item + separator();
  addLogLine(0, destination);
  Text reason = refusal(entry, item, destination);
  if (reason.empty()) {
    Text message;
    makePath(destination, &message);
    if (fileSize(destination) != -2) reason = u"无法创建文件夹（" + message + u"）";
  }
  if (reason.empty()) {
    CopyReport report;
    if (copyTree(entry.material, destination, Text(), kCopyRecursive | kCopyForce, &report) == 0 ||
        report.failedEntries > 0)
      reason = u"有 " + intToText(std::max(report.failedEntries, 1)) + u" 个文件未能复制，例如 " +
               report.firstFailedPath + u"（" + report.firstFailedMessage + u"）";
  }
  if (!reason.empty()) reportFailure(out, destination + u"：" + reason);
}

void walkEntry(const Text& base, const Text& header, const Text& cell, int row, SyncOutcome& out) {
  Entry entry{header, tableText(trimSpaces(cellAt(kNameColumn, row))), Text()};
  entry.material = base + kSourceRootName + separator() + entry.name + separator();
  int64_t items = countOf(cell, u",") + 1;
  for (int64_t k = 1; k <= items; ++k) {
    Text item = fieldAt(cell, k, u",");
    out.summary += trimChar(item + separator(), separator()) + u"、";
    copyToDestination(base, entry, item, out);
  }
}

// Splits a reference written exactly as the walk would build it ("D12": upper
// case letters, then a row without leading zeros); false for any other key.
bool canonicalReference(const Text& key, int64_t& column, int64_t& row) {
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
  Text header = tableText(trimSpaces(cellAt(column, kHeaderRow)));
  if (header.empty()) return;
  setWindowTitle(u"Varnelo-当前同步【" + header + u"】");
  out.summary += u"【" + header + u"】:";
  header += separator();
  for (int row : rows) {
    Text cell = replaceAll(trimSpaces(cellAt(column, row)), u";", u",");
    if (cell.empty()) continue;
    walkEntry(base, header, tableText(cell), row, out);
  }
  out.summary = trimChar(out.summary, u"、") + u"\r\n";
}

// Reads the table into Cells through a folder of this run's own, removed
// again before anything is copied. Returns the extent, or empty when the
// workbook gave no table: a table read only in part, or with its names turned
// into shared-string numbers, would copy into wrong folders.
Text readTable(const Text& workbook, SyncOutcome& out) {
  Text parts = createPrivateFolder(tempDirectory());
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
  if (!parts.empty()) {
    removeFilesIn(parts);
    removeDirectory(parts);
  }
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
  if (outcome.failures.empty()) return text;
  text += kFailurePrefix + u"共 " + intToText(static_cast<int64_t>(outcome.failures.size())) +
          u" 项：\r\n";
  for (const Text& line : outcome.failures) text += line + u"\r\n";
  return text;
}

int SyncRunIn(const Text& base) {
  SyncOutcome outcome;
  outcome.summary = u"【同步完毕】同步内容：\r\n";
  Text workbook = base + kSourceRootName + separator() + kRelationTableName;
  Text extent = readTable(workbook, outcome);
  if (!extent.empty()) {
    int maxColumn = static_cast<int32_t>(parseInt(fieldAt(extent, 1, u":")));
    int maxRow = static_cast<int32_t>(parseInt(fieldAt(extent, 2, u":")));
    WalkTable(base, maxColumn, maxRow, outcome);
  }
  setWindowTitle(u"Varnelo-完成");
  showMessage(u"同步提示", SummaryText(outcome));
  return static_cast<int>(outcome.failures.size());
}

int SyncRun(int) {
  runFailed = SyncRunIn(programDirectory()) > 0;
  runFinished = true;
  return 0;
}

bool SyncRunFinished() { return runFinished; }
bool SyncRunFailed() { return runFailed; }
