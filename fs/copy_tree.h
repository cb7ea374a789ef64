#pragma once
// Recursive folder copy.

#include "text/text.h"

constexpr int kCopyRecursive = 1;
constexpr int kCopyForce = 2;  // overwrite read-only destination files

struct CopyReport {
  int failedEntries = 0;
  Text firstFailedPath;  // destination path of the first entry that failed
  Text firstFailedMessage;  // why, in plain words (fs/system_error_text.h)
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
// 1 when every copy succeeded or there was nothing to copy, else 0; a missing
// source gives 0 before anything is created. report, when given, counts the
// entries that failed and names the first.
int copyTree(const Text& source, const Text& destination, int flags,
             CopyReport* report = nullptr);

// Called while a file's data is copied, after each chunk of it has moved (on
// Windows once, after the system's copy); null in the program. Tests set it
// to change a source file in the middle of its copy.
extern void (*copyChunkHook)();
