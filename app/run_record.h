#pragma once
// The record a run leaves in the source folder, so that what it did can be
// looked up afterwards: "同步记录/同步记录 YYYY-MM-DD HH.MM.SS.txt".

#include <ctime>
#include <string>
#include <vector>

#include "text/text.h"

struct RunRecord {
  Text headline;
  Text endLine;
  Text summary;  // lines already ended by CR LF
  std::vector<Text> oldCopies;  // in destinations, gone from the material, never deleted
  std::tm started{};  // local time
  std::tm ended{};
};

// The record's bytes: UTF-8 with a byte-order mark and CR LF line ends, so
// that Notepad on Windows 7 shows it right.
std::string RecordBytes(const RunRecord& record, const Text& programFolder);
// Writes the record into sourceFolder (ending in a separator) below the
// program folder base, making its folder when missing. Its path; empty on
// failure, with why saying what went wrong. Never replaces a record.
Text WriteRunRecord(const Text& base, const Text& sourceFolder, const RunRecord& record,
                    Text& why);
// The local time now.
std::tm LocalTimeNow();
