#pragma once
// Workbooks for the readers' tests: the entries given, stored uncompressed in
// a zip file, then read through ReadTable as the program reads them.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"
#include "workbook/workbook.h"

using ZipEntries = std::vector<std::pair<std::string, std::string>>;
inline const char* const kSheetPart = "xl/worksheets/sheet1.xml";
inline const char* const kStringsPart = "xl/sharedStrings.xml";

inline Table ReadEntries(const Text& path, const ZipEntries& entries) {
  // Little-endian fields of the given byte counts.
  auto put = [](std::string& to, std::initializer_list<std::pair<size_t, int>> fields) {
    for (auto [value, bytes] : fields)
      for (int i = 0; i < bytes; ++i) to += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  std::string files, directory, end;
  for (const auto& [name, data] : entries) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
      crc ^= byte;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    // Version 2.0, UTF-8 names, stored, no time; checksum, sizes, name and extra lengths.
    std::string fields;
    put(fields, {{20, 2}, {0x800, 2}, {0, 2}, {0, 4}, {~crc, 4}, {data.size(), 4},
                 {data.size(), 4}, {name.size(), 2}, {0, 2}});
    put(directory, {{0x02014b50, 4}, {20, 2}});
    directory += fields;
    put(directory, {{0, 6}, {0, 4}, {files.size(), 4}});  // comment, disk, attributes, offset
    directory += name;
    put(files, {{0x04034b50, 4}});
    files += fields + name + data;
  }
  put(end, {{0x06054b50, 4}, {0, 4}, {entries.size(), 2}, {entries.size(), 2},
            {directory.size(), 4}, {files.size(), 4}, {0, 2}});
  writeFile(path, files + directory + end);
  return ReadTable(path);
}
