#pragma once
// Recursive folder copy.

#include <atomic>
#include <cstdint>
#include <string>

#include "fs/failure.h"
#include "text/text.h"

constexpr int kCopyRecursive = 1;
constexpr int kCopyForce = 2;    // overwrite read-only destination files
constexpr int kCopyIntoNew = 4;  // the caller has just made destination: it is empty

// A destination path as the copy tells it to the report: a copy's every file
// is told, so the path is put together only when someone asks for it, and
// its key is ready at once. The key is the same for every spelling the file
// system takes as one path (on Windows, any letter case); 64 bits even in a
// 32-bit program.
class ToldPath {
 public:
  // The folder (ending with a separator) and a name in it, in UTF-8; both
  // must outlive the told path. folderKey, when given, is pathKey(folder):
  // a folder's many names are told without hashing the folder each time.
  ToldPath(const std::string& folder, const char* name);
  ToldPath(const std::string& folder, uint64_t folderKey, const char* name);
  explicit ToldPath(const Text& path);
  uint64_t key() const;
  Text text() const;
  // Appends the path's UTF-8 form from its byte skip on.
  void appendUtf8(std::string& out, size_t skip) const;

 private:
  uint64_t folderKey_ = 0;
  bool folderKeyKnown_ = false;
  const std::string* folder_ = nullptr;
  const char* name_ = nullptr;
  const Text* path_ = nullptr;
};
// The key a told path of this path has.
uint64_t pathKey(const Text& path);
uint64_t pathKey(const std::string& utf8);

struct CopyReport {
  int failedEntries = 0;
  // The first entry in the order of the walk that failed, whichever was
  // copied first: files copied at once end in any order.
  Text firstFailedPath;  // its destination path
  Failure firstFailure;  // why
  uint64_t firstFailedOrder = UINT64_MAX;  // its place in the walk
  int64_t copiedFiles = 0;  // links included
  int64_t copiedBytes = 0;
  int64_t unchangedFiles = 0;  // already there with the same size and time
  int64_t unchangedBytes = 0;
  int64_t lockFiles = 0;  // office lock files, never copied
  // When set, called as data is done, on whichever thread copies it (one at
  // a time): bytes newly copied, or (unchanged) a whole file found already
  // in place.
  void (*progress)(void* context, int64_t bytes, bool unchanged) = nullptr;
  void* progressContext = nullptr;
  // When set, told of every file the copy put in place (copied) or found in
  // place already. One call at a time, from whichever thread placed the
  // file.
  // Folders walked into are told too, as found in place. And, with the
  // same context, every entry of a destination folder that was there
  // before the copy whose name the source does not have at that place: a
  // file, or a folder not walked into. Lock files, part files and the
  // record folder are not told. Nothing is ever removed for it.
  void (*placed)(void* context, const ToldPath& path, bool copied) = nullptr;
  void (*unmatched)(void* context, const ToldPath& path) = nullptr;
  void* placedContext = nullptr;
};

// Copies the content of source (not source itself) into destination, creating
// destination when it is missing and its parent exists. Links to folders
// are not followed: a symbolic link is reproduced as a link, a Windows reparse
// folder is skipped and counted as failed. A destination that is source or
// lies inside it, or that is itself a link, is refused, as is a link met
// inside the destination where a folder of the source goes: nothing is
// written through a link. Each file is written under a temporary name of the
// run's own and renamed over its target, keeping the source's time and
// permissions; a target with the same size and time is left alone. A source
// file that changes while it is copied is not renamed into place: the target
// keeps its old content and the file counts as failed. What an interrupted
// run left behind is removed, unless the source holds a file of that name.
// Office lock files (isOfficeLockFile) are never copied, only counted.
// Where the source or the destination lies on a network share, up to
// kShareCopyWorkers (fs/copy_workers.h) files are copied at once; the
// folders, the counts and the report come out as from one file at a time.
// 1 when every copy succeeded or there was nothing to copy, else 0; a missing
// source gives 0 before anything is created. report, when given, counts the
// entries that failed and names the first.
int copyTree(const Text& source, const Text& destination, int flags,
             CopyReport* report = nullptr);

// Stops every copy before its next piece of data and removes the file it was
// writing under its temporary name, so that no part file outlives the
// process; waits up to a second for the copy to let go of it. For the way
// out (window closed, SIGINT, SIGTERM), from any thread; copies started
// afterwards fail at once.
void abandonCopies();

// Files and bytes below a folder, as the copy would see them: regular files
// (lock files left out), links counted as files of no size, links to
// folders not followed.
struct TreeSize {
  int64_t files = 0;
  int64_t bytes = 0;
};
// Adds what lies below folder to size; false when the folder cannot be read
// (what could be read is counted). Gives up early, false, once stop is set.
bool measureTree(const Text& folder, TreeSize& size, const std::atomic<bool>* stop = nullptr);
// The calling thread gives way to the program's others from now on: a count
// beside the copying must not slow it.
void lowerThreadPriority();

// An office program keeps a lock file beside each document it has open:
// "~$" + name (Microsoft Office, and WPS Office on Windows) or ".~lock." +
// name + "#" (LibreOffice). Copied beside the copy of the document, it
// makes everyone who opens that copy believe someone else has it open.
// WPS Office on Linux writes "." + "~" + name; that form is taken for a lock
// file only beside its document; siblingExists tells whether a name is there.
bool isOfficeLockFile(const Text& name, bool (*siblingExists)(const Text& name, void* context),
                      void* context);

// Called while a file's data is copied, after each chunk of it has moved (on
// Windows once, after the system's copy); null in the program. Tests set it
// to change a source file in the middle of its copy.
extern void (*copyChunkHook)();

// Files copied at once by every copy from now on, whatever the file system;
// 0, as in the program, lets the file systems decide. Tests compare the two
// ways on the local disk with it.
extern int forcedCopyWorkers;
