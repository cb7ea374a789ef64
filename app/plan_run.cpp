// Deciding a run from the table alone: which titles, destinations and
// notices it has, in the order the walk meets them, and what the table
// itself rules out. Nothing here touches the file system.
#include <algorithm>
#include <map>
#include <string_view>

#include "app/sync_run.h"
#include "fs/paths.h"
#include "text/catalogue.h"

const Text kSourceRootName = u"0-所有履职材料";
const Text kRelationTableName = u"履职材料同步关系表.xlsx";

namespace {

constexpr int kFirstGroupColumn = 4;  // D
constexpr int kNameColumn = 3;  // C
constexpr int kHeaderRow = 2;
constexpr int kFirstEntryRow = 3;
// The longest name one folder component may have, in UTF-16 units, and how
// much of a longer one the log shows.
constexpr size_t kLongestName = 255;
constexpr size_t kShownLength = 100;

using TextView = std::u16string_view;

Text separator() { return Text(1, kSeparator); }

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
  Text inner = comparedName(normalFolder(destination));
  Text outer = comparedName(normalFolder(folder));
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
// its group folder; and the part below the program folder starts with none,
// since the program folder already ends in one.
Text belowProgramFolder(TextView s) {
  Text result;
  result.reserve(s.size());
  for (char16_t c : s)
    if (!isSeparator(c) || (!result.empty() && !isSeparator(result.back()))) result += c;
  return result;
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

// The first reason, if any, that the table alone gives against a destination.
Text tableRefusal(const Entry& entry, TextView item) {
  if (entry.name.empty()) return kEmptyEntryName;
  if (trimmedView(item).empty()) return kEmptyFolderName;
  if (overlong(entry.group) || overlong(entry.name) || overlong(item)) return kNameTooLong;
  if (leavesProgramFolder(entry.group) || leavesProgramFolder(entry.name) ||
      leavesProgramFolder(item))
    return kLeavesProgramFolder;
  return Text();
}

struct Planner {
  const Text& base;
  const Table& table;
  RunPlan plan;
  std::map<Text, int> materialIndex;

  TextView cell(int column, int row) const {
    return table.cells.text(ColumnLetters(column) + intToText(row));
  }

  // Rows naming one folder share its index, in the letter case the file
  // system ignores too: their material is one entry's.
  int materialOf(const Entry& entry) {
    Text key = comparedName(entry.material);
    auto [found, added] = materialIndex.emplace(key, static_cast<int>(plan.materials.size()));
    if (added) {
      plan.materials.push_back(entry.material);
      plan.materialNames.push_back(entry.name);
    }
    return found->second;
  }

  void destination(const Entry& entry, TextView item) {
    PlannedStep step;
    step.text = base + belowProgramFolder(shown(entry.group) + separator() + shown(item) +
                                          separator());
    step.material = entry.material;
    step.refusal = tableRefusal(entry, item);
    if (step.refusal.empty()) {
      step.insideMaterial = liesInside(step.text, entry.material);
      if (!step.insideMaterial) step.materialIndex = materialOf(entry);
    }
    plan.steps.push_back(std::move(step));
    ++plan.destinations;
  }

  // cell is the trimmed cell text as the walk reads it: ";" already ",",
  // "\" already the native separator.
  void items(const Entry& entry, const Text& cell) {
    TextView rest(cell);
    for (;;) {
      size_t comma = rest.find(u',');
      TextView item = rest.substr(0, comma);
      size_t first = item.find_first_not_of(kSeparator);
      TextView bare = first == TextView::npos
                          ? TextView()
                          : item.substr(first, item.find_last_not_of(kSeparator) - first + 1);
      plan.summary += shown(bare) + u"、";
      destination(entry, item);
      if (comma == TextView::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }

  // Full-width list marks that a Chinese input method types where the table
  // means a separator, in the order a notice names them.
  void fullWidthNotice(int column, int row, const Entry& entry, TextView typed) {
    static constexpr char16_t kMarks[] = u"，；、";
    Text found;
    for (char16_t mark : TextView(kMarks))
      if (typed.find(mark) != TextView::npos) found += mark;
    if (found.empty()) return;
    PlannedStep notice;
    notice.kind = PlannedStep::Kind::kNotice;
    notice.text = kNoticeCellOpen + ColumnLetters(column) + intToText(row) + u"（" +
                  shown(entry.group) + u" / " + shown(entry.name) + kNoticeTyped + shown(typed) +
                  kNoticeMarks + found + kNoticeAdvice;
    plan.steps.push_back(std::move(notice));
  }

  void group(int column, const std::vector<int>& rows) {
    Text group = tableName(cell(column, kHeaderRow));
    if (group.empty()) return;
    PlannedStep title;
    title.kind = PlannedStep::Kind::kTitle;
    title.text = kTitleGroupOpen + shown(group) + u"】";
    plan.steps.push_back(std::move(title));
    plan.summary += u"【" + shown(group) + u"】:";
    for (int row : rows) {
      TextView typed = trimmedView(cell(column, row));
      if (typed.empty()) continue;
      Text text(typed);
      for (char16_t& c : text) {
        if (c == u';') c = u',';
        else if (c == u'\\') c = kSeparator;
      }
      Entry entry{group, tableName(cell(kNameColumn, row)), Text()};
      if (!entry.name.empty() && !overlong(entry.name))
        entry.material = base + kSourceRootName + separator() + entry.name + separator();
      items(entry, text);
      fullWidthNotice(column, row, entry, typed);
    }
    // Only the group's own line loses its trailing marks; the marks in front
    // of it cannot be "、", since every earlier line ends in a line break.
    while (!plan.summary.empty() && plan.summary.back() == u'、') plan.summary.pop_back();
    plan.summary += u"\r\n";
  }
};

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
std::map<int, std::vector<int>> presentCells(const Table& table) {
  std::map<int, std::vector<int>> columns;
  std::map<int, std::vector<int>> rows;
  for (const auto& [key, value] : table.cells) {
    int64_t column, row;
    if (!canonicalReference(key, column, row)) continue;
    if (column < kFirstGroupColumn || column > table.maxColumn) continue;
    if (row == kHeaderRow) columns[static_cast<int>(column)];
    if (row >= kFirstEntryRow && row <= table.maxRow)
      rows[static_cast<int>(column)].push_back(static_cast<int>(row));
  }
  for (auto& [column, list] : columns) {
    auto found = rows.find(column);
    if (found == rows.end()) continue;
    list.swap(found->second);
    std::sort(list.begin(), list.end());
  }
  return columns;
}

}  // namespace

RunPlan PlanRun(const Text& base, const Table& table) {
  Planner planner{base, table, RunPlan(), {}};
  for (const auto& [column, rows] : presentCells(table)) planner.group(column, rows);
  for (const auto& [key, value] : table.cells) {
    int64_t column, row;
    if (!canonicalReference(key, column, row) || column != kNameColumn || row < kFirstEntryRow ||
        row > table.maxRow)
      continue;
    Text name = tableName(value);
    if (!name.empty() && !overlong(name)) planner.plan.entryNames.push_back(std::move(name));
  }
  return std::move(planner.plan);
}
