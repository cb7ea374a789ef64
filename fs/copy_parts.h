#pragma once
// What the two realisations of the tree copy share: the part files being
// written now, which the way out removes (abandonCopies), and the counts and
// progress a copy reports.

#include <cstdint>
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
void countFailure(CopyReport* report, uint64_t order, const Text& path, const Text& reason);
