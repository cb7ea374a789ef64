#pragma once
// Writes a workbook for the benchmarks: the two parts the program reads,
// zipped with libarchive under the names a spreadsheet program gives them.

#include <archive.h>
#include <archive_entry.h>

#include <string>

inline bool AddWorkbookEntry(archive* zip, const char* name, const std::string& bytes) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, name);
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0644);
  archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
  bool ok =
      archive_write_header(zip, entry) == ARCHIVE_OK &&
      archive_write_data(zip, bytes.data(), bytes.size()) == static_cast<la_ssize_t>(bytes.size());
  archive_entry_free(entry);
  return ok;
}

inline bool WriteWorkbookFile(const char* path, const std::string& sharedStrings,
                              const std::string& sheet) {
  archive* zip = archive_write_new();
  archive_write_set_format_zip(zip);
  archive_write_zip_set_compression_deflate(zip);
  bool ok = archive_write_open_filename(zip, path) == ARCHIVE_OK &&
            AddWorkbookEntry(zip, "xl/sharedStrings.xml", sharedStrings) &&
            AddWorkbookEntry(zip, "xl/worksheets/sheet1.xml", sheet);
  ok = archive_write_close(zip) == ARCHIVE_OK && ok;
  archive_write_free(zip);
  return ok;
}
