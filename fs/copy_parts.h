#pragma once
// What the two realisations of the tree copy share: copyTree's rules before
// the walk (inside-source refusal, shares, copying threads, order), the part
// files' names and which of them are left over, the part files being written
// now, which the way out removes (abandonCopies), and the counts and
// progress a copy reports, and the rules of the count beside the copy
// (measureTree). Each realisation (copy_tree_posix.cpp, copy_tree_win32.cpp)
// keeps only its walk, its listing for the count and the calls declared last
// here.

#include <cstdint>
#include <memory>
#include <string>

#include "fs/copy_tree.h"

// Notes the part file at path (UTF-8) as being written; false once the
// program is on its way out, when no part may be made any more.
bool keepPart(const std::string& path);
// The part at path is renamed into place or removed.
void forgetPart(const std::string& path);
// Whether the program is on its way out: a copy stops before its next piece
// of data.
bool abandoningCopies();
// Each realisation's own: cancels a copy the system is making right now.
// Called once, by abandonCopies.
void cancelSystemCopies();

// report may be null; any thread may call these for the same report.
void reportBytes(CopyReport* report, int64_t bytes);
void countCopied(CopyReport* report, int64_t bytes);
// A file found already in place: counted, and its bytes reported as done.
void countUnchanged(CopyReport* report, int64_t bytes);
void countLockFile(CopyReport* report);
// A file copied to path, or found in place there, for the report's placed
// call; an entry the source lacks, for its unmatched call.
void notePlaced(CopyReport* report, const ToldPath& path, bool copied);
void noteUnmatched(CopyReport* report, const ToldPath& path);
// Whether a destination entry that the source lacks is someone's concern:
// not the program's own part files or record folder, nor an office lock
// file (whose document siblingExists looks for).
bool isLeftOverCandidate(const Text& name, bool (*siblingExists)(const Text& name, void* context),
                         void* context);
bool isLeftOverCandidate(const std::string& name,
                         bool (*siblingExists)(const Text& name, void* context), void* context);
// An entry that failed, order being its place in the walk.
void countFailure(CopyReport* report, uint64_t order, const Text& path, const Failure& reason);

// A fresh name for a part file of this process (fs/part_name.h).
Text nextPartName();
// Whether name is a part file whose writing process has gone. Such a file
// is left over from an interrupted run, unless the source has that name.
bool abandonedPart(const Text& name);

// Each realisation's own.
uint32_t currentProcessId();
// Drawn from the system, or from the clock where it cannot say.
uint32_t randomToken();
// Whether a process may still be writing its part files: one we may not
// ask about is taken as alive.
bool processAlive(uint32_t id);
// Whether destination is the folder source or lies inside it.
bool destinationInsideSource(const Text& source, const Text& destination);
// Which sides of a copy lie on a network share.
struct CopySides {
  bool destinationOnShare = false;
  bool either = false;
};
CopySides copySides(const Text& source, const Text& destination);
// One entry of a folder as the count (measureTree) sees it. The rules of
// the count are the same everywhere (copy_parts.cpp); only the listing is
// each realisation's, so that it can use whatever its listing tells.
struct MeasuredEntry {
  enum class Kind {
    kFile,        // counted: a file, a link, or anything else the copy meets
    kFolder,      // walked into
    kNotCounted,  // never copied: a Windows folder link
    kUnreadable,  // could not be asked about
  };
  Text name;
  Kind kind = Kind::kFile;
  int64_t bytes = 0;  // a regular file's size, else 0
};
class MeasuredFolder {
 public:
  virtual ~MeasuredFolder() = default;
  // The next entry, "." and ".." left out; false at the end.
  virtual bool next(MeasuredEntry& entry) = 0;
  // Whether the listing was read to its end.
  virtual bool complete() const = 0;
  // The folder entry just given, opened for the count; null when it cannot be.
  virtual std::unique_ptr<MeasuredFolder> open(const MeasuredEntry& entry) = 0;
  // Whether the folder holds an entry called name: a lock file's document.
  virtual bool holds(const Text& name) = 0;
};
// Each realisation's own: the folder at path opened for the count, null
// when it cannot be.
std::unique_ptr<MeasuredFolder> openMeasuredFolder(const Text& path);

// Walks source into destination, copying up to workers files at once, and
// returns once every file handed over is done; the walk's entries are
// numbered from firstOrder. false when something failed here.
bool walkCopy(const Text& source, const Text& destination, int flags, CopyReport* report,
              CopySides sides, int workers, uint64_t firstOrder);
