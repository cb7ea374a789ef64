#define _CRT_RAND_S  // rand_s from stdlib.h
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "fs/copy_parts.h"
#include "fs/copy_tree.h"
#include "fs/native_win32.h"
#include "fs/part_name.h"
#include "fs/system_error_text.h"
#include "fs/win32_path_text.h"

void (*copyChunkHook)() = nullptr;

namespace {

struct Level {
  int flags;
  CopyReport* report;
};

// Set on the way out; CopyFileExW looks at it between its pieces and removes
// what it wrote.
BOOL cancelCopies = FALSE;

struct CopyProgress {
  const Level* level;
  int64_t reported;
};

// Called by CopyFileExW as the data moves.
DWORD CALLBACK onCopyProgress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER,
                              LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID data) {
  auto* progress = static_cast<CopyProgress*>(data);
  int64_t now = transferred.QuadPart;
  if (now > progress->reported) reportBytes(progress->level->report, now - progress->reported);
  progress->reported = std::max(progress->reported, now);
  return abandoningCopies() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

void failWith(const Level& level, const Text& path, const Text& message) {
  if (level.report == nullptr) return;
  if (level.report->failedEntries++ == 0) {
    level.report->firstFailedPath = path;
    level.report->firstFailedMessage = message;
  }
}

void fail(const Level& level, const Text& path, DWORD error,
          ErrorContext context = ErrorContext::kOther) {
  failWith(level, path, reasonForError(static_cast<int>(error), context));
}

void fail(const Level& level, const Text& path, ErrorKind kind) {
  failWith(level, path, plainReason(kind));
}

Text nameOf(const WIN32_FIND_DATAW& found) {
  return fromWide(found.cFileName, wcslen(found.cFileName));
}

bool isFolder(const Text& path) {
  DWORD attributes = GetFileAttributesW(win32Name(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The attributes of what a search finds at probe; INVALID_FILE_ATTRIBUTES when
// nothing. A search rather than the attributes: a probe that still ends in
// "\" (the destination had two) names no folder, as the search sees it.
DWORD probeAttributes(const Text& probe) {
  if (probe.empty()) return INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(probe).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
  FindClose(search);
  return found.dwFileAttributes;
}

// Drawn once per process; with the process id it makes the run's part names
// its own.
uint32_t runToken() {
  static const uint32_t token = [] {
    unsigned int value = 0;
    if (rand_s(&value) != 0)
      value = GetTickCount() ^ static_cast<unsigned int>(GetCurrentThreadId());
    return static_cast<uint32_t>(value);
  }();
  return token;
}

Text nextPartName() {
  static std::atomic<uint32_t> counter{0};
  return partName(GetCurrentProcessId(), runToken(), counter++);
}

// A process that may still be writing its part files; one we may not open
// is alive too.
bool processAlive(uint32_t id) {
  if (id == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

bool deleteAnyFile(const Text& path) {
  std::wstring name = win32Name(path);
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(name.c_str());
}

// Removes the part files that an interrupted run left in folder. A name of
// that form that the source also holds is material, and a part whose writer
// is still running is that run's business.
void removeLeftoverParts(const Text& sourceFolder, const Text& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(folder + u".~varnelo-*.part").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    Text name = nameOf(found);
    uint32_t owner = 0;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !isPartName(name, &owner) ||
        processAlive(owner))
      continue;
    if (GetFileAttributesW(win32Name(sourceFolder + name).c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
      deleteAnyFile(folder + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

uint64_t sizeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool sameFile(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
  return sizeOf(a) == sizeOf(b) && CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

bool attributesOf(const std::wstring& name, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data);
}

// Copies into a part file and renames it over the target, so the target is
// never seen half-written. Empty when copied (or already in place), else the
// reason.
Text copyFile(const Text& source, const WIN32_FIND_DATAW& found, const Text& folder,
              const Level& level) {
  Text target = folder + nameOf(found);
  std::wstring sourceName = win32Name(source), targetName = win32Name(target);
  WIN32_FILE_ATTRIBUTE_DATA before, existing;
  if (!attributesOf(sourceName, before))
    return reasonForError(GetLastError(), ErrorContext::kReadingSource);
  bool present = attributesOf(targetName, existing);
  if (present) {
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      return plainReason(ErrorKind::kFolderInTheWay);
    if (sameFile(before, existing)) {
      countUnchanged(level.report, static_cast<int64_t>(sizeOf(existing)));
      return Text();
    }
    // Without the force flag a read-only target stays. Said here, not left to
    // the rename: not every system refuses to replace a read-only file.
    if ((existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && !(level.flags & kCopyForce))
      return reasonForError(ERROR_ACCESS_DENIED);
  }
  bool readOnlyTarget = present && (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
  Text part = folder + nextPartName();
  std::wstring partName = win32Name(part);
  // The copy carries the time and attributes over; a read-only part can
  // still be renamed. It never replaces a file: the name is this run's own.
  std::string partKept = toUtf8(part);
  if (!keepPart(partKept)) return reasonForError(ERROR_REQUEST_ABORTED);
  CopyProgress progress{&level, 0};
  if (!CopyFileExW(sourceName.c_str(), partName.c_str(), onCopyProgress, &progress, &cancelCopies,
                   COPY_FILE_FAIL_IF_EXISTS)) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) deleteAnyFile(part);
    forgetPart(partKept);
    return reasonForError(error, ErrorContext::kReadingSource);
  }
  // Not every system calls back as the data moves; what it did not report
  // is reported now.
  int64_t whole = static_cast<int64_t>(sizeOf(before));
  if (whole > progress.reported) reportBytes(level.report, whole - progress.reported);
  if (copyChunkHook != nullptr) copyChunkHook();
  // The source as it is now, and the copy, must both match what it was
  // before the copy started; otherwise the copy may mix old and new content.
  WIN32_FILE_ATTRIBUTE_DATA after, copied;
  Text reason;
  if (!attributesOf(sourceName, after))
    reason = reasonForError(GetLastError(), ErrorContext::kReadingSource);
  else if (!sameFile(before, after) || !attributesOf(partName, copied) ||
           sizeOf(copied) != sizeOf(before))
    reason = plainReason(ErrorKind::kSourceChanged);
  // A read-only target loses the attribute only now, when it is replaced;
  // a target that stays keeps it.
  DWORD writable = existing.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
  if (reason.empty() && readOnlyTarget)
    SetFileAttributesW(targetName.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
  if (reason.empty() &&
      !MoveFileExW(partName.c_str(), targetName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    reason = reasonForError(GetLastError(), ErrorContext::kReplacingTarget);
    if (readOnlyTarget) SetFileAttributesW(targetName.c_str(), existing.dwFileAttributes);
  }
  if (!reason.empty()) deleteAnyFile(part);
  forgetPart(partKept);
  if (reason.empty()) countCopied(level.report, whole);
  return reason;
}

int copyLevel(const Text& source, const Text& destination, const Level& level);

// Whether the folder *context (ending in a separator) holds an entry called name.
bool existsIn(const Text& name, void* context) {
  const Text& folder = *static_cast<const Text*>(context);
  return GetFileAttributesW(win32Name(folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Copies one entry of a source folder; false when it failed.
bool copyEntry(const Text& sourceFolder, const Text& destFolder, const WIN32_FIND_DATAW& found,
               const Level& level) {
  Text name = nameOf(found);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!(level.flags & kCopyRecursive)) return true;
    // A junction or folder link may lead back up the tree: never followed.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      fail(level, destFolder + name, ErrorKind::kFolderLinkSkipped);
      return false;
    }
    return copyLevel(sourceFolder + name, destFolder + name, level) == 1;
  }
  if (isOfficeLockFile(name, existsIn, const_cast<Text*>(&sourceFolder))) {
    if (level.report != nullptr) ++level.report->lockFiles;
    return true;
  }
  Text reason = copyFile(sourceFolder + name, found, destFolder, level);
  if (reason.empty()) return true;
  failWith(level, destFolder + name, reason);
  return false;
}

bool createDestination(const Text& destination, const Text& probe, DWORD attributes,
                       const Level& level) {
  if (!probe.empty() && probe.back() == u':') return true;  // a drive root is there or not at all
  if (CreateDirectoryW(win32Name(destination).c_str(), nullptr)) return true;
  DWORD error = GetLastError();
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    fail(level, destination, ErrorKind::kFileInTheWay);
  else
    fail(level, destination, error);
  return false;
}

int copyLevel(const Text& source, const Text& destination, const Level& level) {
  Text probe = destination;
  if (probe.back() == u'\\' || probe.back() == u'/') probe.pop_back();
  DWORD attributes = probeAttributes(probe);
  bool present = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  Text sourceFolder = source.back() == u'\\' || source.back() == u'/' ? source : source + u"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(sourceFolder + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    fail(level, source, GetLastError(), ErrorContext::kReadingSource);
    return 0;
  }
  // A junction or folder link in the destination would take the copy
  // wherever it points.
  if (present && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    FindClose(search);
    fail(level, probe, ErrorKind::kDestinationIsLink);
    return 0;
  }
  if (!present && !createDestination(destination, probe, attributes, level)) {
    FindClose(search);
    return 0;
  }
  Text destFolder = destination.back() == u'\\' ? destination : destination + u"\\";
  if (present) removeLeftoverParts(sourceFolder, destFolder);
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

bool measureTree(const Text& folder, TreeSize& size, const std::atomic<bool>* stop) {
  Text prefix = folder.back() == u'\\' || folder.back() == u'/' ? folder : folder + u"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(prefix + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool whole = true;
  do {
    if (stop != nullptr && *stop) {
      whole = false;
      break;
    }
    Text name = nameOf(found);
    if (name == u"." || name == u"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Folder links are never copied, so never counted.
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        whole = measureTree(prefix + name, size, stop) && whole;
      continue;
    }
    if (isOfficeLockFile(name, existsIn, &prefix)) continue;
    ++size.files;
    size.bytes += static_cast<int64_t>(static_cast<uint64_t>(found.nFileSizeHigh) << 32 |
                                       found.nFileSizeLow);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return whole;
}

void lowerThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

void cancelSystemCopies() { cancelCopies = TRUE; }

int copyTree(const Text& source, const Text& destination, int flags, CopyReport* report) {
  if (source.empty() || destination.empty()) return 0;
  Level level{flags, report};
  if (isFolder(source) && isSameOrInside(canonical(destination), canonical(source))) {
    fail(level, destination, ErrorKind::kInsideSource);
    return 0;
  }
  return copyLevel(source, destination, level);
}
