#define _CRT_RAND_S  // rand_s from stdlib.h
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "fs/copy_parts.h"
#include "fs/copy_tree.h"
#include "fs/copy_workers.h"
#include "fs/native_win32.h"
#include "fs/system_error_text.h"
#include "fs/win32_path_text.h"

namespace {

struct Level {
  int flags;
  CopyReport* report;
};

// A target already in a destination folder, as the folder's listing gave it.
struct Existing {
  DWORD attributes;
  uint64_t size;
  FILETIME written;
  std::wstring name;  // as the folder spells it
  bool inSource = false;  // the source has it too: set by the walk
};

// A destination folder's content by name, keyed in capitals, as the file
// system compares names without regard to case; nothing when the copy made
// the folder.
struct Listing {
  bool fresh = false;
  bool complete = false;  // listed to its end: a name not in it is not there
  std::unordered_map<std::wstring, Existing> names;
};

std::wstring keyOf(const wchar_t* name) {
  std::wstring key = name;
  if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  return key;
}

struct Walk {
  Level level;
  CopyWorkers& workers;
  uint64_t nextOrder = 0;  // entries met so far, in the order of the walk
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

void fail(const Level& level, uint64_t order, const Text& path, const Failure& reason) {
  countFailure(level.report, order, path, reason);
}

Failure reasonFor(DWORD error, ErrorContext context = ErrorContext::kOther) {
  return systemFailure(static_cast<int>(error), context);
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

bool deleteAnyFile(const Text& path) {
  std::wstring name = win32Name(path);
  SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(name.c_str());
}

// Lists a destination folder that was there before the copy: what it holds
// goes into listing, so that no file needs a call of its own to learn
// whether its target is in place, and the part files an interrupted run left
// are removed. A part name that the source also holds is material, and a
// part whose writer is still running is that run's business.
void listDestination(const Text& sourceFolder, const Text& folder, Listing& listing) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(folder + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    Text name = nameOf(found);
    if (name == u"." || name == u"..") continue;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && abandonedPart(name) &&
        GetFileAttributesW(win32Name(sourceFolder + name).c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      deleteAnyFile(folder + name);
      continue;
    }
    listing.names[keyOf(found.cFileName)] =
        Existing{found.dwFileAttributes,
                 static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow,
                 found.ftLastWriteTime, found.cFileName};
  } while (FindNextFileW(search, &found));
  listing.complete = GetLastError() == ERROR_NO_MORE_FILES;
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

// The source as its folder's listing found it.
WIN32_FILE_ATTRIBUTE_DATA listed(const WIN32_FIND_DATAW& found) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  data.dwFileAttributes = found.dwFileAttributes;
  data.ftLastWriteTime = found.ftLastWriteTime;
  data.nFileSizeHigh = found.nFileSizeHigh;
  data.nFileSizeLow = found.nFileSizeLow;
  return data;
}

// Copies into a part file and renames it over the target, so the target is
// never seen half-written. existing is the target as the folder's listing
// found it, null when there is none. kNone when copied (or already in
// place), else the reason.
Failure copyFile(const Text& source, const WIN32_FIND_DATAW& found, const Text& folder,
              const Existing* existing, const Level& level) {
  Text target = folder + nameOf(found);
  std::wstring sourceName = win32Name(source), targetName = win32Name(target);
  WIN32_FILE_ATTRIBUTE_DATA before = listed(found);
  bool readOnlyTarget = false;
  if (existing != nullptr) {
    if (existing->attributes & FILE_ATTRIBUTE_DIRECTORY) return Failure{ErrorKind::kFolderInTheWay};
    if (existing->size == sizeOf(before) &&
        CompareFileTime(&existing->written, &before.ftLastWriteTime) == 0) {
      countUnchanged(level.report, static_cast<int64_t>(existing->size));
      notePlaced(level.report, ToldPath(target), false);
      return Failure();
    }
    // Without the force flag a read-only target stays. Said here, not left to
    // the rename: not every system refuses to replace a read-only file.
    readOnlyTarget = existing->attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnlyTarget && !(level.flags & kCopyForce)) return reasonFor(ERROR_ACCESS_DENIED);
  }
  Text part = folder + nextPartName();
  std::wstring partName = win32Name(part);
  // The copy carries the time and attributes over; a read-only part can
  // still be renamed. It never replaces a file: the name is this run's own.
  std::string partKept = toUtf8(part);
  if (!keepPart(partKept)) return reasonFor(ERROR_REQUEST_ABORTED);
  CopyProgress progress{&level, 0};
  if (!CopyFileExW(sourceName.c_str(), partName.c_str(), onCopyProgress, &progress, &cancelCopies,
                   COPY_FILE_FAIL_IF_EXISTS)) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) deleteAnyFile(part);
    forgetPart(partKept);
    return reasonFor(error, ErrorContext::kReadingSource);
  }
  // Not every system calls back as the data moves; what it did not report
  // is reported now.
  int64_t whole = static_cast<int64_t>(sizeOf(before));
  if (whole > progress.reported) reportBytes(level.report, whole - progress.reported);
  if (copyChunkHook != nullptr) copyChunkHook();
  // The source as it is now, and the copy, must both match what it was
  // before the copy started; otherwise the copy may mix old and new content.
  WIN32_FILE_ATTRIBUTE_DATA after, copied;
  Failure reason;
  if (!attributesOf(sourceName, after))
    reason = reasonFor(GetLastError(), ErrorContext::kReadingSource);
  else if (!sameFile(before, after) || !attributesOf(partName, copied) ||
           sizeOf(copied) != sizeOf(before))
    reason = Failure{ErrorKind::kSourceChanged};
  // A read-only target loses the attribute only now, when it is replaced;
  // a target that stays keeps it.
  DWORD kept = readOnlyTarget ? existing->attributes : 0;
  DWORD writable = kept & ~FILE_ATTRIBUTE_READONLY;
  if (!reason && readOnlyTarget)
    SetFileAttributesW(targetName.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
  if (!reason &&
      !MoveFileExW(partName.c_str(), targetName.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    reason = reasonFor(GetLastError(), ErrorContext::kReplacingTarget);
    if (readOnlyTarget) SetFileAttributesW(targetName.c_str(), kept);
  }
  if (reason) deleteAnyFile(part);
  forgetPart(partKept);
  if (!reason) {
    countCopied(level.report, whole);
    notePlaced(level.report, ToldPath(target), true);
  }
  return reason;
}

// What the walk knows of a destination folder before it asks.
enum class Known {
  kNothing,
  kMade,     // the caller has just made it: it holds nothing
  kMissing,  // its folder was made by this copy, or listed without it: not there yet
  kListed,   // its folder's listing gave its attributes
};

bool copyLevel(const Text& source, const Text& destination, Walk& walk, Known known, DWORD listed,
               uint64_t order);

// Whether the folder *context (ending in a separator) holds an entry called name.
bool existsIn(const Text& name, void* context) {
  const Text& folder = *static_cast<const Text*>(context);
  return GetFileAttributesW(win32Name(folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Takes one entry of a listing: a folder is walked into now, a file handed
// to a copying thread. false when it failed here already.
bool walkEntry(const Text& sourceFolder, const Text& destFolder, Listing& listing,
               const WIN32_FIND_DATAW& found, Walk& walk) {
  const Level& level = walk.level;
  uint64_t order = walk.nextOrder++;
  Text name = nameOf(found);
  auto there = listing.names.find(keyOf(found.cFileName));
  bool present = there != listing.names.end();
  if (present) there->second.inSource = true;
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!(level.flags & kCopyRecursive)) return true;
    // A junction or folder link may lead back up the tree: never followed.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      fail(level, order, destFolder + name, Failure{ErrorKind::kFolderLinkSkipped});
      return false;
    }
    notePlaced(level.report, ToldPath(destFolder + name), false);
    Known known = present                             ? Known::kListed
                  : listing.fresh || listing.complete ? Known::kMissing
                                                      : Known::kNothing;
    return copyLevel(sourceFolder + name, destFolder + name, walk, known,
                     present ? there->second.attributes : 0, order);
  }
  if (isOfficeLockFile(name, existsIn, const_cast<Text*>(&sourceFolder))) {
    countLockFile(level.report);
    return true;
  }
  Existing existing = present ? there->second : Existing{};
  walk.workers.run([sourceFolder, destFolder, found, present, existing, order, &level] {
    Text name = nameOf(found);
    Failure reason =
        copyFile(sourceFolder + name, found, destFolder, present ? &existing : nullptr, level);
    if (reason) fail(level, order, destFolder + name, reason);
  });
  return true;
}

bool createDestination(const Text& destination, const Text& probe, DWORD attributes,
                       const Level& level, uint64_t order) {
  if (!probe.empty() && probe.back() == u':') return true;  // a drive root is there or not at all
  if (CreateDirectoryW(win32Name(destination).c_str(), nullptr)) return true;
  DWORD error = GetLastError();
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    fail(level, order, destination, Failure{ErrorKind::kFileInTheWay});
  else
    fail(level, order, destination, reasonFor(error));
  return false;
}

// Copies the content of source into destination; order is the folder's
// place in the walk, listed the destination's attributes when known is
// kListed. false when something failed here; what the copying threads find
// goes to the report.
bool copyLevel(const Text& source, const Text& destination, Walk& walk, Known known, DWORD listed,
               uint64_t order) {
  const Level& level = walk.level;
  Text probe = destination;
  if (probe.back() == u'\\' || probe.back() == u'/') probe.pop_back();
  Text sourceFolder = source.back() == u'\\' || source.back() == u'/' ? source : source + u"\\";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(win32Name(sourceFolder + u"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    fail(level, order, source, reasonFor(GetLastError(), ErrorContext::kReadingSource));
    return false;
  }
  // A folder known to be missing is made at once; only when that fails is
  // it asked what lies there.
  bool fresh = known == Known::kMade || (known == Known::kMissing &&
                                         CreateDirectoryW(win32Name(destination).c_str(), nullptr));
  DWORD attributes = fresh                     ? FILE_ATTRIBUTE_DIRECTORY
                     : known == Known::kListed ? listed
                                               : probeAttributes(probe);
  bool present = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  // A junction or folder link in the destination would take the copy
  // wherever it points.
  if (present && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    FindClose(search);
    fail(level, order, probe, Failure{ErrorKind::kDestinationIsLink});
    return false;
  }
  if (!present) {
    if (!createDestination(destination, probe, attributes, level, order)) {
      FindClose(search);
      return false;
    }
    fresh = true;
  }
  Text destFolder = destination.back() == u'\\' ? destination : destination + u"\\";
  Listing listing;
  listing.fresh = fresh;
  if (!fresh) listDestination(sourceFolder, destFolder, listing);
  // A listed destination may hold names the source lacks.
  bool compare = listing.complete && level.report != nullptr && level.report->unmatched != nullptr;
  bool whole = true;
  do {
    if (abandoningCopies()) break;
    Text name = nameOf(found);
    if (name == u"." || name == u"..") continue;
    whole = walkEntry(sourceFolder, destFolder, listing, found, walk) && whole;
  } while (FindNextFileW(search, &found));
  // A listing that breaks off is a failure, not the folder's end.
  DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES && !abandoningCopies()) {
    fail(level, walk.nextOrder++, source, reasonFor(error, ErrorContext::kReadingSource));
    return false;
  }
  if (!compare) return whole;
  for (const auto& [key, existing] : listing.names) {
    Text name = fromWide(existing.name.c_str(), existing.name.size());
    if (!existing.inSource && isLeftOverCandidate(name, existsIn, &destFolder))
      noteUnmatched(level.report, ToldPath(destFolder + name));
  }
  return whole;
}

// Whether a path lies on a server: a share named by its path, or a drive
// mapped to one.
bool onNetwork(const Text& path) {
  Text full = withoutLongPathPrefix(fullPathName(path));
  if (isSharePath(full)) return true;
  Text root = full.size() >= 2 ? driveRootOf(full.substr(0, 2)) : Text();
  return !root.empty() && GetDriveTypeW(toWide(root).c_str()) == DRIVE_REMOTE;
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

// A folder listed for the count: the listing tells each entry's size.
class Win32MeasuredFolder : public MeasuredFolder {
 public:
  ~Win32MeasuredFolder() override { FindClose(search_); }
  static std::unique_ptr<MeasuredFolder> openPath(const Text& path) {
    auto folder = std::make_unique<Win32MeasuredFolder>();
    folder->prefix_ = path.back() == u'\\' || path.back() == u'/' ? path : path + u"\\";
    folder->search_ = FindFirstFileW(win32Name(folder->prefix_ + u"*").c_str(), &folder->found_);
    if (folder->search_ == INVALID_HANDLE_VALUE) return nullptr;
    return folder;
  }
  bool next(MeasuredEntry& entry) override {
    for (;;) {
      if (!first_ && !FindNextFileW(search_, &found_)) {
        complete_ = GetLastError() == ERROR_NO_MORE_FILES;
        return false;
      }
      first_ = false;
      entry.name = nameOf(found_);
      if (entry.name == u"." || entry.name == u"..") continue;
      entry.bytes = 0;
      if (found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Folder links are never copied, so never counted.
        entry.kind = found_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT
                         ? MeasuredEntry::Kind::kNotCounted
                         : MeasuredEntry::Kind::kFolder;
        return true;
      }
      entry.kind = MeasuredEntry::Kind::kFile;
      entry.bytes = static_cast<int64_t>(static_cast<uint64_t>(found_.nFileSizeHigh) << 32 |
                                         found_.nFileSizeLow);
      return true;
    }
  }
  bool complete() const override { return complete_; }
  std::unique_ptr<MeasuredFolder> open(const MeasuredEntry& entry) override {
    return openPath(prefix_ + entry.name);
  }
  bool holds(const Text& name) override { return existsIn(name, &prefix_); }

 private:
  Text prefix_;
  HANDLE search_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW found_{};
  bool first_ = true;
  bool complete_ = false;
};

}  // namespace

std::unique_ptr<MeasuredFolder> openMeasuredFolder(const Text& path) {
  return Win32MeasuredFolder::openPath(path);
}

void lowerThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

void cancelSystemCopies() { cancelCopies = TRUE; }

uint32_t randomToken() {
  unsigned int value = 0;
  if (rand_s(&value) != 0) value = GetTickCount() ^ static_cast<unsigned int>(GetCurrentThreadId());
  return static_cast<uint32_t>(value);
}

uint32_t currentProcessId() { return GetCurrentProcessId(); }

bool processAlive(uint32_t id) {
  if (id == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

bool destinationInsideSource(const Text& source, const Text& destination) {
  return isFolder(source) && isSameOrInside(canonical(destination), canonical(source));
}

CopySides copySides(const Text& source, const Text& destination) {
  CopySides sides;
  sides.destinationOnShare = onNetwork(destination);
  sides.either = sides.destinationOnShare || onNetwork(source);
  return sides;
}

bool walkCopy(const Text& source, const Text& destination, int flags, CopyReport* report,
              CopySides, int workers, uint64_t firstOrder) {
  CopyWorkers copying(workers);
  Walk walk{Level{flags, report}, copying};
  walk.nextOrder = firstOrder;
  uint64_t order = walk.nextOrder++;
  bool whole = copyLevel(source, destination, walk,
                         (flags & kCopyIntoNew) != 0 ? Known::kMade : Known::kNothing, 0, order);
  // The copying threads' jobs refer to the walk: all are done before it goes.
  copying.finish();
  return whole;
}
