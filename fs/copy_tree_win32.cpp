#include <windows.h>
// After windows.h, which it builds on.
#include <shlwapi.h>

#include "fs/copy_tree.h"
#include "fs/native_win32.h"
#include "fs/win32_path_text.h"

namespace {

// Files being written carry this prefix and suffix until they are renamed
// over their target; one left by an interrupted run is removed next time.
const Text kPartPrefix = u".~varnelo-";
const Text kPartSuffix = u".part";
const Text kInsideSource = u"destination lies inside the source folder";
const Text kFolderLink = u"a link to a folder is not followed";

struct Level {
  int flags;
  std::wstring pattern;
  CopyReport* report;
};

void failWith(const Level& level, const Text& path, const Text& message) {
  if (level.report == nullptr) return;
  if (level.report->failedEntries++ == 0) {
    level.report->firstFailedPath = path;
    level.report->firstFailedMessage = message;
  }
}

void fail(const Level& level, const Text& path, DWORD error) {
  failWith(level, path, win32Message(error));
}

Text nameOf(const WIN32_FIND_DATAW& found) {
  return fromWide(found.cFileName, wcslen(found.cFileName));
}

bool isFolder(const Text& path) {
  DWORD attributes = GetFileAttributesW(win32Name(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A search rather than the attributes: a probe that still ends in "\" (the
// destination had two) names no folder, as the search sees it.
bool probeFindsFolder(const Text& probe) {
  if (probe.empty()) return false;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(probe).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
}

bool deleteAnyFile(const Text& path) {
  std::wstring name = win32Name(path);
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(name.c_str());
}

void removeLeftoverParts(const Text& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search =
      FindFirstFileW(win32Name(folder + kPartPrefix + u"*" + kPartSuffix).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) deleteAnyFile(folder + nameOf(found));
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

bool sameFile(const WIN32_FIND_DATAW& source, const WIN32_FILE_ATTRIBUTE_DATA& target) {
  return source.nFileSizeHigh == target.nFileSizeHigh &&
         source.nFileSizeLow == target.nFileSizeLow &&
         CompareFileTime(&source.ftLastWriteTime, &target.ftLastWriteTime) == 0;
}

// Copies into a part file and renames it over the target, so the target is
// never seen half-written. 0 on success, else the system's error code.
DWORD copyFile(const Text& source, const WIN32_FIND_DATAW& found, const Text& folder,
               const Level& level) {
  Text target = folder + nameOf(found);
  std::wstring targetName = win32Name(target);
  WIN32_FILE_ATTRIBUTE_DATA existing;
  if (GetFileAttributesExW(targetName.c_str(), GetFileExInfoStandard, &existing)) {
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
    if (sameFile(found, existing)) return 0;
    // Without the force flag a read-only target stays. Said here, not left to
    // the rename: not every system refuses to replace a read-only file.
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      if (!(level.flags & kCopyForce)) return ERROR_ACCESS_DENIED;
      SetFileAttributesW(targetName.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
  Text part = folder + kPartPrefix + nameOf(found) + kPartSuffix;
  std::wstring partName = win32Name(part);
  deleteAnyFile(part);
  // CopyFileW carries the time and attributes over; a read-only part can
  // still be renamed.
  if (!CopyFileW(win32Name(source).c_str(), partName.c_str(), FALSE)) {
    DWORD error = GetLastError();
    deleteAnyFile(part);
    return error;
  }
  if (!MoveFileExW(partName.c_str(), targetName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DWORD error = GetLastError();
    deleteAnyFile(part);
    return error;
  }
  return 0;
}

int copyLevel(const Text& source, const Text& destination, const Level& level);

// Copies one entry of a source folder; false when it failed.
bool copyEntry(const Text& sourceFolder, const Text& destFolder, const WIN32_FIND_DATAW& found,
               const Level& level) {
  Text name = nameOf(found);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!(level.flags & kCopyRecursive)) return true;
    // A junction or folder link may lead back up the tree: never followed.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      failWith(level, destFolder + name, kFolderLink);
      return false;
    }
    return copyLevel(sourceFolder + name, destFolder + name, level) == 1;
  }
  if (!PathMatchSpecW(found.cFileName, level.pattern.c_str())) return true;
  DWORD error = copyFile(sourceFolder + name, found, destFolder, level);
  if (error == 0) return true;
  fail(level, destFolder + name, error);
  return false;
}

bool createDestination(const Text& destination, const Text& probe, const Level& level) {
  if (!probe.empty() && probe.back() == u':') return true;  // a drive root is there or not at all
  if (CreateDirectoryW(win32Name(destination).c_str(), nullptr)) return true;
  fail(level, destination, GetLastError());
  return false;
}

int copyLevel(const Text& source, const Text& destination, const Level& level) {
  Text probe = destination;
  if (probe.back() == u'\\' || probe.back() == u'/') probe.pop_back();
  bool present = probeFindsFolder(probe);
  Text sourceFolder = source.back() == u'\\' || source.back() == u'/' ? source : source + u"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(sourceFolder + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    fail(level, source, GetLastError());
    return 0;
  }
  if (!present && !createDestination(destination, probe, level)) {
    FindClose(search);
    return 0;
  }
  Text destFolder = destination.back() == u'\\' ? destination : destination + u"\\";
  if (present) removeLeftoverParts(destFolder);
  int result = 1;
  do {
    Text name = nameOf(found);
    if (name == u"." || name == u"..") continue;
    if (!copyEntry(sourceFolder, destFolder, found, level)) result = 0;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return result;
}

// The full, long-named path of a folder that may not exist yet: the nearest
// existing ancestor in its long form, the rest appended. Short 8.3 aliases
// then compare like the names they stand for.
Text canonical(const Text& path) {
  Text head = trimTrailing(withoutLongPathPrefix(fullPathName(path)), u"\\/");
  Text rest;
  while (!head.empty()) {
    std::wstring name = toWide(head.size() == 2 && head[1] == u':' ? head + u"\\" : head);
    wchar_t buffer[MAX_PATH + 1];
    DWORD length = GetLongPathNameW(name.c_str(), buffer, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH) return fromWide(buffer, length) + u"\\" + rest;
    if (length > MAX_PATH) return head + u"\\" + rest;  // too long for a short alias anyway
    size_t cut = head.find_last_of(u"\\/");
    if (cut == Text::npos) break;
    rest = head.substr(cut + 1) + u"\\" + rest;
    head = head.substr(0, cut);
  }
  return fullPathName(path);
}

}  // namespace

int copyTree(const Text& source, const Text& destination, const Text& pattern, int flags,
             CopyReport* report) {
  if (source.empty() || destination.empty()) return 0;
  Level level{flags, toWide(pattern.empty() ? Text(u"*.*") : pattern), report};
  if (isFolder(source) && isSameOrInside(canonical(destination), canonical(source))) {
    failWith(level, destination, kInsideSource);
    return 0;
  }
  return copyLevel(source, destination, level);
}
