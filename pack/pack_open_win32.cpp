#include "pack/pack_open.h"

#include <windows.h>

#include <archive.h>

#include <string>

#include "fs/native_win32.h"
#include "fs/paths.h"

// The wide call reaches every name; the narrow one would pass through the ANSI
// code page and lose characters outside it.
int openArchiveFile(archive* reader, const Text& path, std::size_t blockSize) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide characters are UTF-16 here");
  return archive_read_open_filename_w(reader, reinterpret_cast<const wchar_t*>(path.c_str()),
                                      blockSize);
}

// Opened with the same sharing the archive reader asks for, so a workbook that
// the spreadsheet program holds locked shows here as in use.
FileAccess probeFile(const Text& path, std::string& head, Failure& failure) {
  HANDLE file =
      CreateFileW(win32Name(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileAccess::kMissing;
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
      return FileAccess::kInUse;
    failure.code = static_cast<int>(error);
    return FileAccess::kFailed;
  }
  DWORD got = 0;
  if (!ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, nullptr)) got = 0;
  head.resize(got);
  CloseHandle(file);
  return FileAccess::kReadable;
}

bool replaceFile(const Text& from, const Text& to) {
  return MoveFileExW(win32Name(from).c_str(), win32Name(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
         0;
}
